# Cross build of the 32-bit Windows artefacts.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(FR_MINGW_TARGET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# SSE2 arithmetic rounds Doubles exactly as x86-64 does, so both builds agree bit for bit.
set(CMAKE_C_FLAGS_INIT "-mfpmath=sse -msse2")
set(CMAKE_CXX_FLAGS_INIT "-mfpmath=sse -msse2")

# Its tests run under Wine's 32-bit loader, in a 32-bit prefix; the prefix for what older
# systems do reports Windows XP.
set(FR_WINE_LOADER /usr/lib/wine/wine)
set(FR_WINE_ARCH win32)
set(FR_WINE_XP winxp)
