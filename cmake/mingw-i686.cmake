# Cross build of the 32-bit Windows artefacts with MinGW-w64 (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)

set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# SSE2 arithmetic rounds Doubles exactly as x86-64 does, so both builds agree bit for bit.
set(CMAKE_C_FLAGS_INIT "-mfpmath=sse -msse2")
set(CMAKE_CXX_FLAGS_INIT "-mfpmath=sse -msse2")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run")

set(FR_WINE_LOADER /usr/lib/wine/wine)
set(FR_WINE_ARCH win32)
# The Windows version of the prefix for what older systems do.
set(FR_WINE_XP winxp)
