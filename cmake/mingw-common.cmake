# The MinGW-w64 cross build (posix threads) for FR_MINGW_TARGET, shared by both Windows
# toolchains.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${FR_MINGW_TARGET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FR_MINGW_TARGET}-g++-posix)
set(CMAKE_RC_COMPILER ${FR_MINGW_TARGET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FR_MINGW_TARGET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Libraries are linked into the programs: no DLLs of ours beside them.
set(ZLIB_USE_STATIC_LIBS ON)
