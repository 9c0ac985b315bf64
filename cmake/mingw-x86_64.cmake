# Cross build of the same sources for 64-bit Windows, for machines whose
# kernel runs no 32-bit programs: its tests run under wine64 there. The
# shipped DLL stays the 32-bit one (mingw-i686.cmake).
set(PALLADOR_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
