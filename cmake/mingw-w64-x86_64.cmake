# Cross-builds for 64-bit Windows with Debian's MinGW-w64 (the POSIX thread
# model, which std::thread and std::mutex need) and runs what it builds under
# Wine: ctest starts every test program through CMAKE_CROSSCOMPILING_EMULATOR.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QX25_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QX25_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QX25_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${QX25_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QX25_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C++ runtime, libgcc and winpthread go into every binary, so that
# qx25.dll and the test programs need no MinGW DLL beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Debian's wine64 keeps its loader off PATH.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
