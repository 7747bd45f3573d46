# Documentation and the Debian package (make package).

# The Kurzanleitung is the pupils' German section of README.md; installed on
# its own as well, so pupils find it beside the samples.
file(READ ${PROJECT_SOURCE_DIR}/README.md readme)
string(FIND "${readme}" "\n## Kurzanleitung" start)
if(start EQUAL -1)
  message(FATAL_ERROR "README.md has no section \"## Kurzanleitung ...\"")
endif()
math(EXPR start "${start} + 4")
string(SUBSTRING "${readme}" ${start} -1 kurz)
string(FIND "${kurz}" "\n## " next)
if(NOT next EQUAL -1)
  string(SUBSTRING "${kurz}" 0 ${next} kurz)
endif()
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/Kurzanleitung.md CONTENT "# Zeko – ${kurz}\n" @ONLY)
set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/README.md)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${CMAKE_BINARY_DIR}/Kurzanleitung.md DESTINATION ${ZEKO_INSTALL_DOCDIR})
# The documents teachers and admins need beside the README, below docs/ as in
# the source tree so that the README's links hold; those only contributors
# need (figures, fuzzing, writing tests, the source tree) stay out.
install(FILES ${PROJECT_SOURCE_DIR}/docs/learner-programs.md ${PROJECT_SOURCE_DIR}/docs/worlds.md
  ${PROJECT_SOURCE_DIR}/docs/zekocheck.md ${PROJECT_SOURCE_DIR}/docs/sandbox.md ${PROJECT_SOURCE_DIR}/docs/ci.md
  ${PROJECT_SOURCE_DIR}/docs/packaging.md DESTINATION ${ZEKO_INSTALL_DOCDIR}/docs)

# The Debian package's own documents: the copyright file (machine-readable)
# and the changelog in Debian's format, compressed as Debian wants it. The
# changelog's first entry must name the version being built.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^zeko \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog: the first entry is not version ${PROJECT_VERSION}: ${changelog_head}")
endif()
find_program(GZIP_PROGRAM gzip REQUIRED)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND ${GZIP_PROGRAM} -9n -c ${CMAKE_CURRENT_LIST_DIR}/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog VERBATIM)
add_custom_target(zeko_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${ZEKO_INSTALL_DOCDIR})
# The CI files for schools, beside the documentation that explains them.
install(FILES ${PROJECT_SOURCE_DIR}/docs/ci/gitlab-ci.yml ${PROJECT_SOURCE_DIR}/docs/ci/github-workflow.yml
  DESTINATION ${ZEKO_INSTALL_DOCDIR}/ci)

# Learner programs compiled before the library moved to its own folder look
# for it in lib/ (their rpath): a link there keeps them running.
file(RELATIVE_PATH library_from_libdir "${CMAKE_INSTALL_FULL_LIBDIR}" "${ZEKO_INSTALL_FULL_LIBRARYDIR}/libzekoinc.so")
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/compat)
file(CREATE_LINK ${library_from_libdir} ${CMAKE_BINARY_DIR}/compat/libzekoinc.so SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/compat/libzekoinc.so DESTINATION ${CMAKE_INSTALL_LIBDIR})
# The system-wide file naming the school's collections and world folders,
# all comments as shipped: /etc/zeko/zeko.conf from the package (its prefix
# /usr), beside the prefix for other installs; a conffile, so that the
# school's changes survive an upgrade.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/zeko.conf DESTINATION ../etc/zeko)
file(WRITE ${CMAKE_BINARY_DIR}/debian/conffiles "${ZEKO_SYSTEM_CONFIG}\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/debian/conffiles)
# Where a rule of Debian's checker does not fit, with the reason.
install(FILES ${CMAKE_CURRENT_LIST_DIR}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
  RENAME zeko)

# zeko_<version>_<arch>.deb holding everything "cmake --install" installs,
# below /usr, with binaries and library stripped (learner programs get their
# own line information from zekoc, not from the library).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zeko)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Zeko-Projekt <zeko@schulen.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Lernumgebung: Roboter ZEKO fuer erste Pascal-Programme")
# Debian's shape: lines of at most 80 characters, each indented by CPack.
set(CPACK_PACKAGE_DESCRIPTION "Eine deutschsprachige Lernumgebung fuer den Anfang im Programmieren:
der Roboter ZEKO lebt in einer Welt von 17 x 10 Feldern im Textterminal.
Lernende steuern ihn aus eigenen Pascal-Programmen (zekoc), nehmen
Programme mit Tasten auf (zekoprog) und bauen Welten (zekoedit);
Lehrkraefte pruefen die Programme einer Klasse mit zekocheck.")
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
# Free Pascal compiles the learner programs; the programs and the library
# need the C and C++ runtime.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fp-compiler, libc6, libstdc++6, libgcc-s1, libseccomp2")
# zekocheck runs each learner program inside bubblewrap when it is there;
# gcc speaks German to C and C++ learners with its message catalogue.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bubblewrap, gcc-12-locales")
# zekoc compiles C and C++ learner programs with the system's cc and c++.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gcc, g++")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
