# Tests of the foundation: the console layer and the world file. Each case
# runs in a forked child (tests/support), on a pseudo-terminal where it needs
# one.
add_library(zeko_test_support STATIC support/forked_child.cpp support/forked_child.h)
target_include_directories(zeko_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/support)
target_link_libraries(zeko_test_support PUBLIC zeko_console util)

add_executable(console_test console_test.cpp)
target_link_libraries(console_test PRIVATE zeko_test_support zeko_console GTest::gtest_main)
gtest_discover_tests(console_test DISCOVERY_TIMEOUT 30)

add_executable(world_file_test world_file_test.cpp)
target_link_libraries(world_file_test PRIVATE zeko_test_support zeko_core GTest::gtest_main)
gtest_discover_tests(world_file_test DISCOVERY_TIMEOUT 30)
