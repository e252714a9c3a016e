# The Windows build, included by the top-level CMakeLists.txt when the target
# system is Windows: qx25.dll with the service window on the Win32 API
# (Debian has no Qt for MinGW; ui/win shows the same core as the Qt window),
# the serial dispatcher on the Win32 communications API, and the tests that
# run under Wine.
# The programs beside the DLL, so that a test host loads "qx25.dll" by name
# from its own folder as a station's program does.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
add_subdirectory(driver)
add_subdirectory(params)
# The INI module's file access on the Win32 file API, with UTF-16 names.
target_sources(qx25_params PRIVATE params/win/FileAccess.cpp)
add_subdirectory(ui/core)
add_subdirectory(ui/win)
# The window ships inside the driver, which slot 24 opens it from; it needs
# nothing beyond Windows' own DLLs.
target_sources(qx25 PRIVATE $<TARGET_OBJECTS:qx25_win_ui>)
target_link_libraries(qx25 PRIVATE qx25_ui_core qx25_params comctl32 comdlg32 gdi32 user32)

# A Windows host loads "qx25.dll" by that name and finds GetQX25 and the C
# interface's qx25_ functions undecorated; the DLL exports only what
# QX25_EXPORT and QX25_C_EXPORT mark (driver/CMakeLists.txt links the Win32
# serial dispatcher in for qx25_open, unexported).
target_compile_definitions(qx25_objects PRIVATE QX25_BUILDING_DLL)
set_target_properties(qx25 PROPERTIES PREFIX "" IMPORT_PREFIX "")
# On 32-bit the stdcall names lose their "@n" in the DLL, as Windows' own
# DLLs export them; qx25.def keeps them, for the import libraries that
# scripts/package-windows makes.
target_link_options(qx25 PRIVATE -Wl,--kill-at -Wl,--output-def,${CMAKE_BINARY_DIR}/bin/qx25.def)

add_subdirectory(serial/win)
add_subdirectory(testsupport)

if(QX25_BUILD_TESTS)
  # The C interface's host is plain C, as a host in another language sees it.
  enable_language(C)
  enable_testing()
  # GoogleTest from Debian's sources (package googletest), built by this
  # toolchain: the system's prebuilt libraries are for Linux.
  set(QX25_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${QX25_GOOGLETEST_SOURCE} googletest EXCLUDE_FROM_ALL SYSTEM)
  add_subdirectory(tests/windows)
endif()
