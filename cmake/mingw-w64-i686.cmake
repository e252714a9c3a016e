# qx25.dll for 32-bit Windows (PE32), run by Wine's 32-bit loader (wine32).
set(QX25_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QX25_WINE_LOADER /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
