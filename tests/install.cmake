# Set-up, installation and packaging: the package installer script against
# fakes, the manual pages, the installed tree and the Debian package.
set(install_tests_dir ${CMAKE_CURRENT_LIST_DIR}/install)

add_test(NAME install_deps
  COMMAND ${install_tests_dir}/install_deps_test.sh ${PROJECT_SOURCE_DIR}/tools/install-deps)

# The installed tree and the Debian package, each used from an empty folder.
foreach(mode prefix deb)
  add_test(NAME installed_${mode} COMMAND ${install_tests_dir}/installed_test.sh ${mode} ${CMAKE_BINARY_DIR})
  if(ZEKO_SANITIZE)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
      OUTPUT_VARIABLE asan_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
    set_tests_properties(installed_${mode} PROPERTIES ENVIRONMENT "ZEKO_TEST_PRELOAD=${asan_runtime}")
  endif()
endforeach()
