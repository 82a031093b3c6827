# asiochan's CMake package (shipped as asiochanConfig.cmake). Put this folder, or the one
# holding it, in CMAKE_PREFIX_PATH (or set asiochan_DIR to it), then:
#
#   find_package(asiochan CONFIG REQUIRED)
#   target_link_libraries(app PRIVATE asiochan::asiochan)
#
# asiochan::asiochan is the DLL of the project's bitness (x86/ or x64/ beside this file)
# with the import library of its compiler: asiochan.lib for MSVC, clang-cl and clang in
# MSVC mode, MinGW's libasiochan.dll.a for GCC and clang in MinGW mode. The DLL is the
# target's location: copy it beside the application, for example with
# $<TARGET_RUNTIME_DLLS:app> or $<TARGET_FILE:asiochan::asiochan>.

macro(asiochan_not_found why)
    set(asiochan_FOUND FALSE)
    set(asiochan_NOT_FOUND_MESSAGE "${why}")
    return()
endmacro()

if(NOT WIN32)
    asiochan_not_found("asiochan is a Windows DLL: the project must build for Windows.")
endif()
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(_asiochan_arch x64)
elseif(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(_asiochan_arch x86)
else()
    asiochan_not_found("the project's bitness is not known yet: enable C or C++ before find_package(asiochan).")
endif()
if(MSVC OR CMAKE_C_SIMULATE_ID STREQUAL "MSVC" OR CMAKE_CXX_SIMULATE_ID STREQUAL "MSVC")
    set(_asiochan_implib asiochan.lib)
else()
    set(_asiochan_implib libasiochan.dll.a)
endif()

set(_asiochan_dll ${CMAKE_CURRENT_LIST_DIR}/${_asiochan_arch}/asiochan.dll)
set(_asiochan_implib ${CMAKE_CURRENT_LIST_DIR}/${_asiochan_arch}/${_asiochan_implib})
foreach(_asiochan_file ${_asiochan_dll} ${_asiochan_implib} ${CMAKE_CURRENT_LIST_DIR}/asiochan.h)
    if(NOT EXISTS "${_asiochan_file}")
        asiochan_not_found("${_asiochan_file} is missing: this package lacks the ${_asiochan_arch} build the project needs.")
    endif()
endforeach()

if(NOT TARGET asiochan::asiochan)
    add_library(asiochan::asiochan SHARED IMPORTED)
    set_target_properties(asiochan::asiochan PROPERTIES
        IMPORTED_LOCATION "${_asiochan_dll}"
        IMPORTED_IMPLIB "${_asiochan_implib}"
        INTERFACE_INCLUDE_DIRECTORIES "${CMAKE_CURRENT_LIST_DIR}")
endif()
