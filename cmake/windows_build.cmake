# The product build: asiochan.dll (PE32, i686) against the real Windows API, the
# simulated driver as a COM server, the command-line host, and the Wine tests.
# DLLs and executables side by side, so tests find the DLLs they load.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

file(GLOB ASIOCHAN_WIN32_PLATFORM_SOURCES CONFIGURE_DEPENDS src/platform/win32/*.cpp)

set(ASIOCHAN_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)
set(ASIOCHAN_WIN32_LIBS ole32 oleaut32 uuid advapi32 user32 setupapi kernel32)

add_library(asiochan_objects OBJECT ${ASIOCHAN_PORTABLE_SOURCES} ${ASIOCHAN_INSTANCE_SOURCE}
    ${ASIOCHAN_WIN32_PLATFORM_SOURCES})
asiochan_includes(asiochan_objects)
asiochan_warnings(asiochan_objects)

add_library(asiochan SHARED $<TARGET_OBJECTS:asiochan_objects> src/exports/asiochan.def)
asiochan_includes(asiochan)
set_target_properties(asiochan PROPERTIES PREFIX "" OUTPUT_NAME asiochan)
target_link_options(asiochan PRIVATE ${ASIOCHAN_STATIC_RUNTIME})
target_link_libraries(asiochan PRIVATE ${ASIOCHAN_WIN32_LIBS})

# Every export of the DLL, and only those, as the .def lists them.
add_test(NAME dll_exports
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DDLL=$<TARGET_FILE:asiochan>
            -DDEF=${ASIOCHAN_ROOT}/src/exports/asiochan.def -P ${ASIOCHAN_ROOT}/cmake/check_exports.cmake)
set_tests_properties(dll_exports PROPERTIES TIMEOUT 60)

if(EXISTS ${ASIOCHAN_ROOT}/examples/CMakeLists.txt)
    add_subdirectory(examples)
endif()
foreach(part simdriver cli)
    if(EXISTS ${ASIOCHAN_ROOT}/tools/${part}/CMakeLists.txt)
        add_subdirectory(tools/${part})
    endif()
endforeach()
include(${ASIOCHAN_ROOT}/cmake/package.cmake)
foreach(suite wine wineasio)
    if(EXISTS ${ASIOCHAN_ROOT}/tests/${suite}/CMakeLists.txt)
        add_subdirectory(tests/${suite})
    endif()
endforeach()

# The shipped binaries carry their runtime: no MinGW DLL among their imports.
set(asiochan_shipped $<TARGET_FILE:asiochan>)
foreach(target asiochan_sim asiochan_cli)
    if(TARGET ${target})
        string(APPEND asiochan_shipped "$<SEMICOLON>$<TARGET_FILE:${target}>")
    endif()
endforeach()
add_test(NAME runtime_imports
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} "-DFILES=${asiochan_shipped}"
            -P ${ASIOCHAN_ROOT}/cmake/check_imports.cmake)
set_tests_properties(runtime_imports PROPERTIES TIMEOUT 60)
