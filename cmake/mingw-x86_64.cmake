# The same sources built as 64-bit Windows programs. Wine runs these natively on
# machines whose kernel cannot execute 32-bit code; the tests of the Windows
# programs run on this build there, the 32-bit build gets a smoke run.
set(MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
