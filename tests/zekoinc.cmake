# End-to-end tests of the learner library: learner programs are compiled at
# test time (Free Pascal through zekoc, C++ through zekoinc.h) and run on a pty.
add_executable(zekoinc_test zekoinc_test.cpp)
target_link_libraries(zekoinc_test PRIVATE zeko_test_harness GTest::gtest_main)
add_dependencies(zekoinc_test zekoinc)
target_compile_definitions(zekoinc_test PRIVATE
  ZEKOC_PATH="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/zekoc"
  ZEKOINC_LIB_DIR="$<TARGET_FILE_DIR:zekoinc>"
  ZEKOINC_INCLUDE_DIR="${PROJECT_SOURCE_DIR}/zekoinc"
  LEARNER_CXX="${CMAKE_CXX_COMPILER}"
  LEARNER_DIR="${CMAKE_CURRENT_SOURCE_DIR}/learner")
gtest_discover_tests(zekoinc_test DISCOVERY_TIMEOUT 30)

# The benchmark behind "make bench" runs learner programs the same way.
add_executable(zekoinc_bench ${PROJECT_SOURCE_DIR}/tools/bench/zekoinc_bench.cpp)
target_link_libraries(zekoinc_bench PRIVATE zeko_test_harness)
add_dependencies(zekoinc_bench zekoinc)
target_compile_definitions(zekoinc_bench PRIVATE ZEKOC_PATH="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/zekoc")

foreach(target zekoinc_test zekoinc_bench)
  zeko_runs_learner_programs(${target})
endforeach()
