# Cross build of the shipped 32-bit Windows programs with mingw-w64.
set(MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
