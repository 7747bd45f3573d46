# Set-up, installation and packaging: the package installer script against
# fakes, the manual pages, the installed tree and the Debian package.
set(install_tests_dir ${CMAKE_CURRENT_LIST_DIR}/install)

add_test(NAME install_deps
  COMMAND ${install_tests_dir}/install_deps_test.sh ${PROJECT_SOURCE_DIR}/tools/install-deps)
