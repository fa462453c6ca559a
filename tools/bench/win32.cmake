# bench_store: a store run's work in both modes against its file-system
# floor, under Wine (prints figures; not a test, so not given to ctest).
# tools/bench/run-store-bench.sh builds and runs it.
add_executable(bench_store ${CMAKE_CURRENT_LIST_DIR}/bench_store.cpp ${CMAKE_SOURCE_DIR}/tests/support/files.cpp
  ${CMAKE_SOURCE_DIR}/res/vestibar.rc)
target_include_directories(bench_store PRIVATE ${CMAKE_SOURCE_DIR}/tests/support)
target_link_libraries(bench_store PRIVATE vestibar_core psapi)
