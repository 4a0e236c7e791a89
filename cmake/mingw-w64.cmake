# Cross build for 64-bit Windows in which every executable links its runtime statically, so a
# single .exe runs under Wine or on a Windows PC without any DLL beside it.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-dynamic.cmake)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests and tools run through Wine's loader.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
