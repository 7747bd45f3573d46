# End-to-end tests of the world editor.
add_executable(zekoedit_test zekoedit_test.cpp)
target_link_libraries(zekoedit_test PRIVATE zeko_test_harness GTest::gtest_main)
target_compile_definitions(zekoedit_test PRIVATE
  ZEKOEDIT_PATH="$<TARGET_FILE:zekoedit>"
  ZEKOPROG_PATH="${CMAKE_BINARY_DIR}/bin/zekoprog"
  ZEKOC_PATH="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/zekoc"
  TEMPLATE_WORLD="${PROJECT_SOURCE_DIR}/examples/welt0.zko")
add_dependencies(zekoedit_test zekoedit)
gtest_discover_tests(zekoedit_test DISCOVERY_TIMEOUT 30)

# SIGKILL trials of the save (make kill-trials); not a test of every run.
add_executable(zekoedit_kill_trials ${PROJECT_SOURCE_DIR}/tools/kill_trials/zekoedit_kill_trials.cpp)
target_link_libraries(zekoedit_kill_trials PRIVATE zeko_test_harness)
add_dependencies(zekoedit_kill_trials zekoedit)
target_compile_definitions(zekoedit_kill_trials PRIVATE
  ZEKOEDIT_PATH="$<TARGET_FILE:zekoedit>"
  TEMPLATE_WORLD="${PROJECT_SOURCE_DIR}/examples/welt0.zko")
