# libasiochan.so and libasiochan_sim.so: the library on Linux over the simulated
# drivers, for development and CI (no real device is reached from Linux). Built
# as the product is, without the tests' seams, with only the header's exports
# visible: hidden visibility for everything but the export files, and a version
# script made from the .def. Both land in lib/ of the build, side by side.
set(ASIOCHAN_LINUX_LIB_DIR ${CMAKE_BINARY_DIR}/lib)
file(GLOB ASIOCHAN_LINUX_PLATFORM_SOURCES CONFIGURE_DEPENDS src/platform/linux/*.cpp)

set(asiochan_linux_exports ${ASIOCHAN_PORTABLE_SOURCES})
list(FILTER asiochan_linux_exports INCLUDE REGEX "/src/exports/[a-z_]+_exports\\.cpp$")
set(asiochan_linux_internals ${ASIOCHAN_PORTABLE_SOURCES})
list(FILTER asiochan_linux_internals EXCLUDE REGEX "/src/exports/[a-z_]+_exports\\.cpp$")

function(asiochan_linux_objects target visibility)
    add_library(${target} OBJECT ${ARGN})
    asiochan_includes(${target})
    asiochan_warnings(${target})
    set_target_properties(${target} PROPERTIES POSITION_INDEPENDENT_CODE ON
        CXX_VISIBILITY_PRESET ${visibility} VISIBILITY_INLINES_HIDDEN ON)
endfunction()

function(asiochan_linux_library target output script)
    add_library(${target} SHARED ${ARGN})
    set_target_properties(${target} PROPERTIES OUTPUT_NAME ${output}
        LIBRARY_OUTPUT_DIRECTORY ${ASIOCHAN_LINUX_LIB_DIR} LINK_DEPENDS ${script})
    # Never unloaded (the library's and the drivers' threads run in it), no symbol
    # left undefined, nothing exported but the script's names.
    target_link_options(${target} PRIVATE -Wl,--version-script=${script} -Wl,--no-undefined -Wl,-z,nodelete)
    target_link_libraries(${target} PRIVATE Threads::Threads ${CMAKE_DL_LIBS})
endfunction()

# libasiochan.so: the .def's names, and the Linux instance that installs the
# simulated drivers before the library is made.
include(${ASIOCHAN_ROOT}/cmake/def_exports.cmake)
read_def_exports(${ASIOCHAN_ROOT}/src/exports/asiochan.def asiochan_def_names)
list(JOIN asiochan_def_names ";\n        " asiochan_map_names)
set(asiochan_map ${CMAKE_BINARY_DIR}/asiochan.map)
file(CONFIGURE OUTPUT ${asiochan_map} CONTENT "{\n    global:\n        ${asiochan_map_names};\n    local: *;\n};\n")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ASIOCHAN_ROOT}/src/exports/asiochan.def)

asiochan_linux_objects(asiochan_linux_internals hidden
    ${asiochan_linux_internals} ${ASIOCHAN_HOST_PLATFORM_SOURCES} ${ASIOCHAN_LINUX_PLATFORM_SOURCES})
asiochan_linux_objects(asiochan_linux_exports default ${asiochan_linux_exports})
asiochan_linux_library(asiochan_linux asiochan ${asiochan_map}
    $<TARGET_OBJECTS:asiochan_linux_internals> $<TARGET_OBJECTS:asiochan_linux_exports>)
target_include_directories(asiochan_linux INTERFACE $<INSTALL_INTERFACE:include>)
set_target_properties(asiochan_linux PROPERTIES EXPORT_NAME asiochan)

# libasiochan_sim.so: the simulated driver's core and classes over the same host
# stand-ins; exported are its sim* functions (the control ones asiochan_sim.dll has,
# and the class list libasiochan.so reads).
set(asiochan_sim_map ${CMAKE_BINARY_DIR}/asiochan_sim.map)
file(CONFIGURE OUTPUT ${asiochan_sim_map} CONTENT "{\n    global:\n        sim*;\n    local: *;\n};\n")
set(asiochan_sim_exported ${ASIOCHAN_ROOT}/tools/simdriver/classes/sim_control.cpp
    ${ASIOCHAN_ROOT}/tools/simdriver/linux/sim_library.cpp)
set(asiochan_sim_internals ${ASIOCHAN_SIMCORE_SOURCES} ${ASIOCHAN_SIMCLASS_SOURCES})
list(REMOVE_ITEM asiochan_sim_internals ${asiochan_sim_exported})
asiochan_linux_objects(asiochan_sim_linux_internals hidden ${asiochan_sim_internals}
    ${ASIOCHAN_HOST_PLATFORM_SOURCES} ${ASIOCHAN_ROOT}/src/platform/class_id.cpp)
asiochan_linux_objects(asiochan_sim_linux_exports default ${asiochan_sim_exported})
asiochan_linux_library(asiochan_sim_linux asiochan_sim ${asiochan_sim_map}
    $<TARGET_OBJECTS:asiochan_sim_linux_internals> $<TARGET_OBJECTS:asiochan_sim_linux_exports>)
add_dependencies(asiochan_linux asiochan_sim_linux)

# Each library exports exactly its list: the header's functions, and the sim ones.
add_test(NAME linux_exports
    COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DLIBRARY=$<TARGET_FILE:asiochan_linux>
            -DSIM_LIBRARY=$<TARGET_FILE:asiochan_sim_linux> -DHEADER=${ASIOCHAN_ROOT}/include/asiochan.h
            -DSIM_DEF=${ASIOCHAN_ROOT}/tools/simdriver/com/asiochan_sim.def
            -DSIM_EXPORTS=${ASIOCHAN_ROOT}/tools/simdriver/linux/asiochan_sim.exports
            -P ${ASIOCHAN_ROOT}/cmake/check_linux_exports.cmake)
set_tests_properties(linux_exports PROPERTIES TIMEOUT 60)

# cmake --install: both libraries, the header, a CMake package (asiochan::asiochan)
# and a pkg-config file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)
install(TARGETS asiochan_linux EXPORT asiochanTargets LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS asiochan_sim_linux LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${ASIOCHAN_ROOT}/include/asiochan.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT asiochanTargets NAMESPACE asiochan:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/asiochan)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/linux_package/asiochanConfig.cmake CONTENT
"# asiochan on Linux over the simulated drivers (development and CI): find_package(asiochan CONFIG)
# gives asiochan::asiochan, libasiochan.so with its header.
include(\${CMAKE_CURRENT_LIST_DIR}/asiochanTargets.cmake)
" @ONLY)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/linux_package/asiochanConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/linux_package/asiochanConfig.cmake
    ${CMAKE_BINARY_DIR}/linux_package/asiochanConfigVersion.cmake
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/asiochan)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/linux_package/asiochan.pc.in CONTENT
"prefix=\${pcfiledir}/../..
libdir=\${prefix}/@CMAKE_INSTALL_LIBDIR@
includedir=\${prefix}/@CMAKE_INSTALL_INCLUDEDIR@

Name: asiochan
Description: asiochan on Linux over the simulated drivers (development and CI)
Version: @PROJECT_VERSION@
Libs: -L\${libdir} -lasiochan
Cflags: -I\${includedir}
" @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/linux_package/asiochan.pc.in
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig RENAME asiochan.pc)

# The installed library as an application uses it: pkg-config and find_package.
add_test(NAME linux_install
    COMMAND ${ASIOCHAN_ROOT}/tests/linux/install_test.sh ${CMAKE_BINARY_DIR} ${CMAKE_BINARY_DIR}/linux-install-test)
set_tests_properties(linux_install PROPERTIES TIMEOUT 120)
