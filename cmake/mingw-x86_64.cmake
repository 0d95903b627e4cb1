# Cross build of the 64-bit Windows artefacts with MinGW-w64 (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# x86-64 does its Double arithmetic in SSE2 already, as the other builds are made to.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Debian's wine script starts the 32-bit loader whenever it is installed, even on a machine
# that cannot run it: the 64-bit prefix is served by the 64-bit loader named outright.
set(FR_WINE_LOADER /usr/lib/wine/wine64)
set(FR_WINE_ARCH win64)
# The Windows version of the prefix for what older systems do: XP's 64-bit edition.
set(FR_WINE_XP winxp64)
