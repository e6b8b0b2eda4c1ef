# The volume list's rules and the mode choices, without widgets.
add_executable(test_volume_list_model ${CMAKE_CURRENT_LIST_DIR}/volume_list_model_test.cpp)
target_link_libraries(test_volume_list_model PRIVATE quarvell_core GTest::gtest GTest::gtest_main)
gtest_discover_tests(test_volume_list_model DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "core")

# The desktop wizard's pages, driven with QTest on the offscreen platform.
if(TARGET quarvell_pages)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  add_executable(test_gui
    ${CMAKE_CURRENT_LIST_DIR}/GuiTestMain.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RecordingServices.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RecordingServices.h
    ${CMAKE_CURRENT_LIST_DIR}/FixtureDisk.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FixtureDisk.h
    ${CMAKE_CURRENT_LIST_DIR}/WizardDriver.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WizardDriver.h
    ${CMAKE_CURRENT_LIST_DIR}/FsFixture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FsFixture.h
    ${CMAKE_CURRENT_LIST_DIR}/scan_page_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/wizard_flow_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/volume_list_page_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mode_page_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/drive_parsing_modes_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/qt_ui_sink_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/program_start_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/advanced_options_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/raw_recovery_test.cpp)
  target_link_libraries(test_gui PRIVATE quarvell_pages Qt6::Test GTest::gtest)
  # The report tests read the pages' DFXML reports back as the report's own tests do.
  target_include_directories(test_gui PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../support ${CMAKE_CURRENT_LIST_DIR}/../unit/report)
  target_compile_definitions(test_gui PRIVATE
    QUARVELL_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    QUARVELL_GUI_PROGRAM="$<TARGET_FILE:quarvell>")
  add_dependencies(test_gui quarvell)
  gtest_discover_tests(test_gui DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "gui" ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 60)
endif()
