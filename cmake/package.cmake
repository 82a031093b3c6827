# This build's half of the folder Windows users get, laid out in
# build/<preset>/dist/asiochan: x86/ or x64/ with the DLL, its import libraries (MinGW's
# libasiochan.dll.a and an MSVC one, asiochan.lib), the simulated driver and asiochan.exe,
# and beside it the header, the .def, USAGE.md and the CMake package files.
# scripts/package.sh merges both bitnesses' into dist/asiochan; the Wine suite tests this one.
include(CMakePackageConfigHelpers)

set(ASIOCHAN_PACKAGE_DIR ${CMAKE_BINARY_DIR}/dist/asiochan)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(ASIOCHAN_PACKAGE_ARCH x64)
    set(asiochan_dlltool_machine i386:x86-64)
else()
    set(ASIOCHAN_PACKAGE_ARCH x86)
    set(asiochan_dlltool_machine i386)
endif()
set(asiochan_arch_dir ${ASIOCHAN_PACKAGE_DIR}/${ASIOCHAN_PACKAGE_ARCH})
set(asiochan_def ${ASIOCHAN_ROOT}/src/exports/asiochan.def)

# The MSVC import library, from the .def. In 32-bit code an MSVC compiler calls a cdecl
# function `f` through the symbol `_f`: llvm-dlltool gives each undecorated .def name that
# symbol and records the import by the name without the underscore, the DLL's own.
find_program(ASIOCHAN_LLVM_DLLTOOL llvm-dlltool REQUIRED)
add_custom_command(OUTPUT ${asiochan_arch_dir}/asiochan.lib
    COMMAND ${CMAKE_COMMAND} -E make_directory ${asiochan_arch_dir}
    COMMAND ${ASIOCHAN_LLVM_DLLTOOL} -m ${asiochan_dlltool_machine}
            -d ${asiochan_def} -l ${asiochan_arch_dir}/asiochan.lib
    DEPENDS ${asiochan_def}
    COMMENT "MSVC import library asiochan.lib (${ASIOCHAN_PACKAGE_ARCH})")

# The built binaries, and MinGW's import library, which the DLL's link writes.
set(asiochan_binaries $<TARGET_FILE:asiochan> $<TARGET_LINKER_FILE:asiochan>)
set(asiochan_binary_names asiochan.dll libasiochan.dll.a)
foreach(pair asiochan_sim:asiochan_sim.dll asiochan_cli:asiochan.exe)
    string(REPLACE ":" ";" pair ${pair})
    list(GET pair 0 target)
    if(TARGET ${target})
        list(APPEND asiochan_binaries $<TARGET_FILE:${target}>)
        list(GET pair 1 name)
        list(APPEND asiochan_binary_names ${name})
    endif()
endforeach()
list(TRANSFORM asiochan_binary_names PREPEND ${asiochan_arch_dir}/)
add_custom_command(OUTPUT ${asiochan_binary_names}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${asiochan_arch_dir}
    COMMAND ${CMAKE_COMMAND} -E copy ${asiochan_binaries} ${asiochan_arch_dir}
    DEPENDS ${asiochan_binaries}
    COMMENT "Packaging the ${ASIOCHAN_PACKAGE_ARCH} binaries")

# What both bitnesses share. The package's version file accepts either bitness: the
# package config picks the folder.
set(asiochan_shared_sources ${ASIOCHAN_ROOT}/include/asiochan.h ${asiochan_def} ${ASIOCHAN_ROOT}/dist/USAGE.md)
set(asiochan_shared ${ASIOCHAN_PACKAGE_DIR}/asiochan.h ${ASIOCHAN_PACKAGE_DIR}/asiochan.def
    ${ASIOCHAN_PACKAGE_DIR}/USAGE.md ${ASIOCHAN_PACKAGE_DIR}/asiochanConfig.cmake)
add_custom_command(OUTPUT ${asiochan_shared}
    COMMAND ${CMAKE_COMMAND} -E copy ${asiochan_shared_sources} ${ASIOCHAN_PACKAGE_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_LIST_DIR}/package_config.cmake
            ${ASIOCHAN_PACKAGE_DIR}/asiochanConfig.cmake
    DEPENDS ${asiochan_shared_sources} ${CMAKE_CURRENT_LIST_DIR}/package_config.cmake
    COMMENT "Packaging the header, the .def, USAGE.md and the CMake package config")
write_basic_package_version_file(${ASIOCHAN_PACKAGE_DIR}/asiochanConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)

add_custom_target(asiochan_package ALL
    DEPENDS ${asiochan_arch_dir}/asiochan.lib ${asiochan_binary_names} ${asiochan_shared})
