# Cross-building the Windows in-process server with Debian's mingw-w64 (posix threads: the
# component uses <thread>). Used by scripts/windows.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TAMSEL_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TAMSEL_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAMSEL_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${TAMSEL_MINGW}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TAMSEL_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Test programs run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
