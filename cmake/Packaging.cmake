# What a host developer and a station's machine get: `cmake --install` puts
# the driver and the serial dispatcher, their headers under include/qx25, a
# CMake package (find_package(qx25 2.41) -> qx25::qx25, qx25::serial), qx25.pc,
# the programs and their man pages under the prefix; `cpack` makes the
# Debian packages libqx25-2, libqx25-dev and qx25-tools from the same rules.
include(CMakePackageConfigHelpers)

set(QX25_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/qx25)
set(QX25_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc)
set(QX25_RUNTIME_PACKAGE libqx25-2)
set(QX25_DEV_PACKAGE libqx25-dev)
set(QX25_TOOLS_PACKAGE qx25-tools)
set(QX25_MAINTAINER "qx25 developers <qx25-dev@example.org>"
    CACHE STRING "Maintainer named in the Debian packages")

# --- The libraries, their headers, the CMake package and qx25.pc ---

set(QX25_HIDDEN_STD ${PROJECT_SOURCE_DIR}/cmake/hidden-std.map)
foreach(library qx25 qx25_serial)
  target_link_options(${library} PRIVATE -Wl,--version-script=${QX25_HIDDEN_STD})
  set_property(TARGET ${library} APPEND PROPERTY LINK_DEPENDS ${QX25_HIDDEN_STD})
endforeach()

install(TARGETS qx25 qx25_serial EXPORT qx25Targets
        LIBRARY COMPONENT Runtime NAMELINK_COMPONENT Development
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# DriverLog.h because QX25.h includes it; qx25c.h is the C interface.
install(FILES driver/QX25.h driver/PortDispatcher.h driver/DriverLog.h driver/qx25c.h
              params/ParameterUnit.h serial/SerialDispatcher.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qx25 COMPONENT Development)
# The Python binding of the C interface (ctypes, no build step).
install(FILES tests/hosts/qx25.py DESTINATION ${CMAKE_INSTALL_DATADIR}/qx25/python
        COMPONENT Development)
# The API reference of those headers, under share/doc/libqx25-dev/html.
if(QX25_BUILD_REFERENCE AND NOT QX25_SANITIZE)
  include(cmake/Reference.cmake)
endif()
install(EXPORT qx25Targets NAMESPACE qx25:: DESTINATION ${QX25_CMAKE_DIR} COMPONENT Development)

configure_package_config_file(cmake/qx25Config.cmake.in
                              ${PROJECT_BINARY_DIR}/qx25Config.cmake
                              INSTALL_DESTINATION ${QX25_CMAKE_DIR})
# The soname changes with the major version only.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/qx25ConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/qx25Config.cmake ${PROJECT_BINARY_DIR}/qx25ConfigVersion.cmake
        DESTINATION ${QX25_CMAKE_DIR} COMPONENT Development)

# qx25.pc finds the prefix from its own place, so the same file serves any
# prefix and the packages' /usr.
file(RELATIVE_PATH QX25_PC_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" QX25_PC_PREFIX "${QX25_PC_PREFIX}")
configure_file(packaging/qx25.pc.in ${PROJECT_BINARY_DIR}/qx25.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/qx25.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT Development)

# --- The programs and their man pages ---

if(QX25_BUILD_TOOLS)
  # The programs find the libraries of their own prefix, wherever it is.
  file(RELATIVE_PATH QX25_BIN_TO_LIB /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${CMAKE_INSTALL_LIBDIR})
  set_target_properties(qx25ctl qx25-sim qx25-host PROPERTIES INSTALL_RPATH "$ORIGIN/${QX25_BIN_TO_LIB}")
  install(TARGETS qx25ctl qx25-sim qx25-host RUNTIME COMPONENT Tools)

  # The man pages are written by hand (UTF-8) beside each program's source;
  # the build only compresses them. A sanitizer tree ships nothing.
  if(NOT QX25_SANITIZE)
    set(pages)
    foreach(page tools/qx25ctl.1 sim/qx25-sim.1 packaging/qx25-host.1)
      get_filename_component(name ${page} NAME)
      set(man ${PROJECT_BINARY_DIR}/man/${name})
      add_custom_command(
        OUTPUT ${man}.gz
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
        COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/${page} ${man}
        COMMAND gzip -9nf ${man}
        DEPENDS ${PROJECT_SOURCE_DIR}/${page}
        COMMENT "Compressing the ${name} man page")
      list(APPEND pages ${man}.gz)
    endforeach()
    add_custom_target(qx25-man ALL DEPENDS ${pages})
    install(FILES ${pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Tools)
  endif()
endif()

# --- Debian packages ---

set(CPACK_PACKAGE_NAME qx25)
set(CPACK_PACKAGE_VENDOR "qx25 developers")
set(CPACK_PACKAGE_CONTACT "${QX25_MAINTAINER}")
# The synopsis of each package; the components' descriptions follow it.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "dispenser driver for nozzle controllers on a serial line")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Runtime Development)
if(QX25_BUILD_TOOLS)
  list(APPEND CPACK_COMPONENTS_ALL Tools)
endif()
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(QX25_DEB_VERSION "${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QX25_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Libraries from dpkg-shlibdeps (Qt 6 Widgets for the window inside the
# driver); the packages' own from the component dependencies below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The programs' libqx25.so.2 and libqx25serial.so.2, found where they are built.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/driver ${PROJECT_BINARY_DIR}/serial)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${QX25_RUNTIME_PACKAGE})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
# Qt's own translations: the service window's standard buttons and file
# dialogs in the user's language.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS qt6-translations-l10n)
# The loader's cache is refreshed through dpkg's trigger.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/triggers)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
    "libqx25.so is the driver a fuel-station control application loads to run
fuel dispensers over a serial line, with the parameter catalog and the
controllers' service window; libqx25serial.so is the serial-port dispatcher
for Linux serial devices and pseudo-terminals.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME ${QX25_DEV_PACKAGE})
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS Runtime)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
    "The headers of the driver, its C interface, the serial-port dispatcher and
the parameter catalog (#include <qx25/QX25.h>, <qx25/qx25c.h>), the CMake
package (find_package(qx25)), qx25.pc for pkg-config and the Python module
for the C interface.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ${QX25_TOOLS_PACKAGE})
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION misc)
set(CPACK_COMPONENT_TOOLS_DEPENDS Runtime)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
    "qx25ctl runs the driver from a shell, qx25-sim simulates nozzle controllers
on a pseudo-terminal or a serial device, and qx25-host is a small station
program that loads the driver and opens its service window.")

# Each package carries the copyright and changelog Debian asks for.
string(TIMESTAMP QX25_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
configure_file(packaging/changelog.in ${PROJECT_BINARY_DIR}/packaging/changelog.Debian @ONLY)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz
  COMMAND gzip -9nkf ${PROJECT_BINARY_DIR}/packaging/changelog.Debian
  DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.Debian)
add_custom_target(qx25-changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz)
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER ${component} upper)
  install(FILES packaging/copyright ${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz
          DESTINATION ${QX25_DOC_DIR}/${CPACK_DEBIAN_${upper}_PACKAGE_NAME} COMPONENT ${component})
endforeach()

include(CPack)
