# The table of ends: every program, every way to end, what stays behind.
add_executable(ends_test ${CMAKE_CURRENT_LIST_DIR}/ends_test.cpp)
target_link_libraries(ends_test PRIVATE zeko_test_harness GTest::gtest_main)
add_dependencies(ends_test zekoinc zekoprog zekoedit)
target_compile_definitions(ends_test PRIVATE
  ZEKOC_PATH="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/zekoc"
  ZEKOPROG_PATH="$<TARGET_FILE:zekoprog>"
  ZEKOEDIT_PATH="$<TARGET_FILE:zekoedit>"
  TEMPLATE_WORLD="${PROJECT_SOURCE_DIR}/examples/welt0.zko")
zeko_runs_learner_programs(ends_test)
gtest_discover_tests(ends_test DISCOVERY_TIMEOUT 30)
