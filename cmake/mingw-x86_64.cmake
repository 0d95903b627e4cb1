# Cross build of the 64-bit Windows artefacts. x86-64 does its Double arithmetic in SSE2
# already, as the 32-bit build is made to.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(FR_MINGW_TARGET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Its tests run under Wine's 64-bit loader, named outright: Debian's wine script would start
# the 32-bit one whenever it is installed, even where the kernel cannot run it. The prefix for
# what older systems do reports XP's 64-bit edition.
set(FR_WINE_LOADER /usr/lib/wine/wine64)
set(FR_WINE_ARCH win64)
set(FR_WINE_XP winxp64)
