# Cross build of the 32-bit Windows DLL with mingw-w64: what ships.
set(PALLADOR_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-toolchain.cmake)
# SSE arithmetic, so that single-precision steps round as they do natively
# instead of carrying x87 excess precision.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
