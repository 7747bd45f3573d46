# World core: drawing primitives, world display and robot commands, checked
# on a pty through the terminal emulator of the harness.
set(core_tests_dir ${CMAKE_CURRENT_LIST_DIR})

add_executable(core_driver ${core_tests_dir}/tools/core_driver.cpp)
target_link_libraries(core_driver PRIVATE zeko_core)

add_executable(primitives_test ${core_tests_dir}/primitives_test.cpp)
target_link_libraries(primitives_test PRIVATE zeko_core zeko_test_harness GTest::gtest)
gtest_discover_tests(primitives_test DISCOVERY_TIMEOUT 30)

foreach(name display_test commands_test)
  add_executable(${name} ${core_tests_dir}/${name}.cpp ${core_tests_dir}/tools/driver_session.h)
  target_include_directories(${name} PRIVATE ${core_tests_dir}/tools)
  target_link_libraries(${name} PRIVATE zeko_test_harness GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE CORE_DRIVER_PATH="$<TARGET_FILE:core_driver>")
  add_dependencies(${name} core_driver)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30)
endforeach()
