# The 32-bit Windows product.
set(ASIOCHAN_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
