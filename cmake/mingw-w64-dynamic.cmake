# Cross build for 64-bit Windows with Debian's MinGW-w64 (POSIX threads flavour, which
# std::thread and std::mutex need), linking the compiler runtime as DLLs. Qt for Windows is
# built with this file, and so are the programs that load Qt's DLLs: a program and the Qt
# DLLs it loads must share one C++ runtime.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(HOOPWATCH_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${HOOPWATCH_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HOOPWATCH_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${HOOPWATCH_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${HOOPWATCH_MINGW_PREFIX} ${HOOPWATCH_QT_WINDOWS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
