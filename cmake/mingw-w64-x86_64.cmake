# Cross-builds riruride.exe for 64-bit Windows with Debian's MinGW-w64
# (package g++-mingw-w64-x86-64). The programs are linked statically, so the
# .exe needs no DLL besides the system's own.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(RIRURIDE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RIRURIDE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RIRURIDE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${RIRURIDE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${RIRURIDE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
