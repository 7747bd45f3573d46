# End-to-end tests of the world editor.
add_executable(zekoedit_test zekoedit_test.cpp)
target_link_libraries(zekoedit_test PRIVATE zeko_test_harness GTest::gtest_main)
target_compile_definitions(zekoedit_test PRIVATE
  ZEKOEDIT_PATH="$<TARGET_FILE:zekoedit>"
  ZEKOPROG_PATH="${CMAKE_BINARY_DIR}/bin/zekoprog"
  TEMPLATE_WORLD="${PROJECT_SOURCE_DIR}/examples/welt0.zko")
add_dependencies(zekoedit_test zekoedit)
gtest_discover_tests(zekoedit_test DISCOVERY_TIMEOUT 30)
