# Documentation and the Debian package (make package).

# The Kurzanleitung is the German section of README.md; installed on its own
# as well, so pupils find it beside the samples.
file(READ ${PROJECT_SOURCE_DIR}/README.md readme)
string(FIND "${readme}" "\n## Kurzanleitung\n" start)
if(start EQUAL -1)
  message(FATAL_ERROR "README.md has no section \"## Kurzanleitung\"")
endif()
string(SUBSTRING "${readme}" ${start} -1 kurz)
string(LENGTH "\n## Kurzanleitung\n" heading)
string(SUBSTRING "${kurz}" ${heading} -1 kurz)
string(FIND "${kurz}" "\n## " next)
if(NOT next EQUAL -1)
  string(SUBSTRING "${kurz}" 0 ${next} kurz)
endif()
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/Kurzanleitung.md CONTENT "# Zeko – Kurzanleitung\n${kurz}\n" @ONLY)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/README.md)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${CMAKE_BINARY_DIR}/Kurzanleitung.md DESTINATION ${ZEKO_INSTALL_DOCDIR})

# zeko_<version>_<arch>.deb holding everything "cmake --install" installs,
# below /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zeko)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Zeko <zeko@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Roboter ZEKO: erste Schritte im Programmieren mit Pascal")
set(CPACK_PACKAGE_DESCRIPTION "Eine deutschsprachige Lernumgebung: der Roboter ZEKO lebt in einer \
Welt von 17 x 10 Feldern im Textterminal. Lernende steuern ihn aus eigenen \
Pascal-Programmen (zekoc), nehmen Programme mit Tasten auf (zekoprog) und \
bauen Welten (zekoedit).")
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Free Pascal compiles the learner programs; the programs and the library
# need the C and C++ runtime.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fp-compiler, libc6, libstdc++6, libgcc-s1")
# zekocheck runs each learner program inside bubblewrap when it is there.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bubblewrap")
# zekoc compiles C and C++ learner programs with the system's cc and c++.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gcc, g++, gcc-12-locales")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
