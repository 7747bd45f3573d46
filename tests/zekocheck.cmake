# End-to-end tests of zekocheck: the task collection with its model and wrong
# solutions, the reasons of every end of a learner program, the machine
# outputs, and the world-file check.
add_executable(zekocheck_test zekocheck_test.cpp)
target_link_libraries(zekocheck_test PRIVATE GTest::gtest_main)
add_dependencies(zekocheck_test zekocheck zekoinc)
target_compile_definitions(zekocheck_test PRIVATE
  ZEKOCHECK_PATH="$<TARGET_FILE:zekocheck>"
  ZEKOC_PATH="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/zekoc"
  SOLUTIONS_DIR="${CMAKE_CURRENT_SOURCE_DIR}/aufgaben"
  TASKS_DIR="${PROJECT_SOURCE_DIR}/aufgaben")
gtest_discover_tests(zekocheck_test DISCOVERY_TIMEOUT 30 PROPERTIES TIMEOUT 120)
zeko_runs_learner_programs(zekocheck_test)
