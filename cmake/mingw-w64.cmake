# Cross-builds for Windows with Debian's MinGW-w64 (the POSIX thread model,
# which std::thread and std::mutex need) and runs what it builds under Wine:
# ctest starts every test program through CMAKE_CROSSCOMPILING_EMULATOR.
# Included by the toolchain file of each word size, which sets
# QX25_MINGW_PREFIX, CMAKE_SYSTEM_PROCESSOR and QX25_WINE_LOADER first.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${QX25_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QX25_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QX25_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QX25_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ runtime, libgcc and winpthread go into every binary, so that
# qx25.dll and the test programs need no MinGW DLL beside them. On 32-bit
# this means an exception cannot unwind from one module into another (DWARF-2
# unwinding, one frame registry per module): the DLL lets none out there.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Debian keeps Wine's loaders off PATH.
set(CMAKE_CROSSCOMPILING_EMULATOR ${QX25_WINE_LOADER})
