# Fault campaign under Wine (tests/faults/): a full disk on a small tmpfs
# and folders that refuse new entries, both made by a host fixture before
# the program runs; a mailbox held open, missing folders.  Included from tests/CMakeLists.txt.
set(VESTIBAR_FAULTS_DIR ${CMAKE_BINARY_DIR}/faults)
set(VESTIBAR_FAULTS_HOST ${CMAKE_CURRENT_SOURCE_DIR}/faults/faults-host.sh)
string(REPLACE "/" "\\" VESTIBAR_FAULTS_DIR_WINE "Z:${VESTIBAR_FAULTS_DIR}")

vestibar_wine_test(faults_tests faults/faults_test.cpp convert/store_builder.cpp e2e/driver.cpp)
target_include_directories(faults_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/convert ${CMAKE_CURRENT_SOURCE_DIR}/e2e)

add_test(NAME faults_host_setup COMMAND ${VESTIBAR_FAULTS_HOST} setup ${VESTIBAR_FAULTS_DIR})
add_test(NAME faults_host_cleanup COMMAND ${VESTIBAR_FAULTS_HOST} cleanup ${VESTIBAR_FAULTS_DIR})
set_tests_properties(faults_host_setup PROPERTIES FIXTURES_SETUP faults_host LABELS wine)
set_tests_properties(faults_host_cleanup PROPERTIES FIXTURES_CLEANUP faults_host LABELS wine)
# The runs open progress and file dialogs, and set WinBiff's registry keys
# as the end-to-end tests do: one of them on the desktop at a time.
set_tests_properties(faults_tests PROPERTIES
  FIXTURES_REQUIRED "wine;faults_host"
  RESOURCE_LOCK desktop
  ENVIRONMENT "VESTIBAR_FAULTS_DIR=${VESTIBAR_FAULTS_DIR_WINE}")
