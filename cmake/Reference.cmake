# The API reference from the public headers' comments, built with every
# release tree (doxygen, Debian's package of that name) and installed with
# libqx25-dev. A warning (a public name without a comment, a broken command)
# fails the build, as it fails the test reference_clean.
find_program(QX25_DOXYGEN doxygen)
if(NOT QX25_DOXYGEN)
  message(FATAL_ERROR "doxygen is missing: the API reference is built with the library "
                      "(sudo apt-get install doxygen, or configure with -DQX25_BUILD_REFERENCE=OFF)")
endif()

set(QX25_REFERENCE_DIR ${PROJECT_BINARY_DIR}/reference)
configure_file(docs/Doxyfile.in ${PROJECT_BINARY_DIR}/Doxyfile @ONLY)
set(QX25_REFERENCE_SOURCES docs/reference.md driver/QX25.h driver/PortDispatcher.h
                           params/ParameterUnit.h)
list(TRANSFORM QX25_REFERENCE_SOURCES PREPEND ${PROJECT_SOURCE_DIR}/)
add_custom_command(
  OUTPUT ${QX25_REFERENCE_DIR}/html/index.html
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${QX25_REFERENCE_DIR}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${QX25_REFERENCE_DIR}
  COMMAND ${QX25_DOXYGEN} ${PROJECT_BINARY_DIR}/Doxyfile
  DEPENDS ${QX25_REFERENCE_SOURCES} ${PROJECT_BINARY_DIR}/Doxyfile
  COMMENT "Building the API reference (doxygen)")
add_custom_target(qx25-reference ALL DEPENDS ${QX25_REFERENCE_DIR}/html/index.html)
install(DIRECTORY ${QX25_REFERENCE_DIR}/html/
        DESTINATION ${QX25_DOC_DIR}/${QX25_DEV_PACKAGE}/html COMPONENT Development)
