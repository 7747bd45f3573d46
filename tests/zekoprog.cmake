# End-to-end tests of the recorder zekoprog.
add_executable(zekoprog_test zekoprog_test.cpp)
target_link_libraries(zekoprog_test PRIVATE zeko_test_harness GTest::gtest_main)
add_dependencies(zekoprog_test zekoprog)

# The replay test builds a generated program with the learner-program
# compiler zekoc against the library; without zekoc that one test skips.
if(TARGET zekoinc)
  add_dependencies(zekoprog_test zekoinc)
endif()
target_compile_definitions(zekoprog_test PRIVATE
  ZEKOPROG_PATH="$<TARGET_FILE:zekoprog>"
  ZEKOC_PATH="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/zekoc")
gtest_discover_tests(zekoprog_test DISCOVERY_TIMEOUT 30)
zeko_runs_learner_programs(zekoprog_test)
