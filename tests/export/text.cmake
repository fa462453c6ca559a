# The exporter's text helpers (export/text/), natively.
add_executable(export_text_tests ${CMAKE_CURRENT_LIST_DIR}/text_test.cpp)
target_link_libraries(export_text_tests PRIVATE vexport_text gtest gtest_main)
add_test(NAME export_text_tests COMMAND export_text_tests)
