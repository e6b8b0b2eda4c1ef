# Parser tests against volumes made by the project's own HFS+ image writer.
if(TARGET hfsplus_writer)
  add_executable(test_hfsplus_fixtures ${CMAKE_CURRENT_LIST_DIR}/fixture_volumes_test.cpp)
  target_include_directories(test_hfsplus_fixtures PRIVATE
    ${CMAKE_SOURCE_DIR}/tests/support ${CMAKE_SOURCE_DIR}/tests/unit/hfsplus ${CMAKE_SOURCE_DIR}/tests/unit/scan)
  target_link_libraries(test_hfsplus_fixtures PRIVATE quarvell_core hfsplus_writer GTest::gtest GTest::gtest_main)
  target_compile_definitions(test_hfsplus_fixtures PRIVATE
    QUARVELL_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    QUARVELL_CLI="$<TARGET_FILE:quarvell-cli>")
  add_dependencies(test_hfsplus_fixtures quarvell-cli)
  gtest_discover_tests(test_hfsplus_fixtures DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "core")
else()
  message(STATUS "hfsplus_writer is not defined before tests/hfsplus: its fixture tests are not built")
endif()
