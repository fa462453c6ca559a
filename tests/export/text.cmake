# The exporter's text helpers (export/text/), natively.
add_executable(export_text_tests ${CMAKE_CURRENT_LIST_DIR}/text_test.cpp)
target_link_libraries(export_text_tests PRIVATE vexport_text gtest gtest_main)
add_test(NAME export_text_tests COMMAND export_text_tests)

# Dates and code page 932 names against Python's email.utils and cp932
# codec, on generated inputs.
add_executable(export_text_probe ${CMAKE_CURRENT_LIST_DIR}/text_probe.cpp)
target_link_libraries(export_text_probe PRIVATE vexport_text)
find_program(VESTIBAR_PYTHON3 NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
add_test(NAME export_text_oracle
  COMMAND ${VESTIBAR_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/text_oracle.py $<TARGET_FILE:export_text_probe>)

# The exporter's mbox and Maildir output read back by Python's mailbox
# module and by Dovecot's doveadm.
if(TARGET vestibar-export)
  add_test(NAME export_readback
    COMMAND ${VESTIBAR_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/test_readback.py $<TARGET_FILE:vestibar-export>
      ${CMAKE_CURRENT_BINARY_DIR}/readback)
endif()
