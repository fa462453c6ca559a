# The exporter's text helpers (export/text/), natively.
add_executable(export_text_tests ${CMAKE_CURRENT_LIST_DIR}/text_test.cpp)
target_link_libraries(export_text_tests PRIVATE vexport_text gtest gtest_main)
add_test(NAME export_text_tests COMMAND export_text_tests)

# The same helpers against Python's email.utils, UTF-16/BASE64 and cp932
# codecs on generated inputs.
add_executable(export_text_probe ${CMAKE_CURRENT_LIST_DIR}/text_probe.cpp)
target_link_libraries(export_text_probe PRIVATE vexport_text)
find_program(VESTIBAR_PYTHON3 NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
add_test(NAME export_text_oracle
  COMMAND ${VESTIBAR_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/text_oracle.py $<TARGET_FILE:export_text_probe>)

# libFuzzer on all of them, for a bounded number of inputs (clang only).
if(VESTIBAR_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  add_executable(fuzz_export_text ${CMAKE_CURRENT_LIST_DIR}/fuzz_text.cpp
    ${CMAKE_CURRENT_LIST_DIR}/../../export/text/maildate.cpp ${CMAKE_CURRENT_LIST_DIR}/../../export/text/names.cpp)
  target_include_directories(fuzz_export_text PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../../export/text)
  target_compile_options(fuzz_export_text PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -g)
  target_link_options(fuzz_export_text PRIVATE -fsanitize=fuzzer,address,undefined)
  add_test(NAME fuzz.fuzz_export_text
    COMMAND ${CMAKE_COMMAND} -DFUZZER=$<TARGET_FILE:fuzz_export_text>
      -DWORK=${CMAKE_CURRENT_BINARY_DIR}/fuzz_export_text.work -DCORPUS=${CMAKE_CURRENT_LIST_DIR}/fuzz-corpus
      -DRUNS=20000 -P ${CMAKE_CURRENT_LIST_DIR}/../nkf32/fuzz/run_fuzzer.cmake)
  set_tests_properties(fuzz.fuzz_export_text PROPERTIES TIMEOUT 600)
endif()

# The exporter's mbox and Maildir output read back by Python's mailbox
# module and by Dovecot's doveadm.
if(TARGET vestibar-export)
  add_test(NAME export_readback
    COMMAND ${VESTIBAR_PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/test_readback.py $<TARGET_FILE:vestibar-export>
      ${CMAKE_CURRENT_BINARY_DIR}/readback)
endif()
