set(PULLEY_MINGW_TRIPLE i686-w64-mingw32)
# Doubles computed as doubles, as in the x86_64 build: on the x87 unit they
# stay at 64-bit precision, so 25 m times 3.28 ends a hair under 82 and
# truncates to 81 ft. Every x86 Windows machine of this century has SSE2.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
