# bench_store: a store run's work in both modes against its file-system
# floor, under Wine (prints figures; not a test, so not given to ctest).
# tools/bench/run-store-bench.sh builds and runs it.
# It builds its stores with the tests' helpers: the mailbox and index images,
# the file helpers, the converter tests' mail generator; message boxes are
# recorded, and any ends it.
add_executable(bench_store ${CMAKE_CURRENT_LIST_DIR}/bench_store.cpp
  ${CMAKE_SOURCE_DIR}/tests/support/files.cpp ${CMAKE_SOURCE_DIR}/tests/support/msgbox_recorder.cpp
  ${CMAKE_SOURCE_DIR}/tests/convert/store_builder.cpp
  ${CMAKE_SOURCE_DIR}/tests/nkf32/nkf_text_generator.cpp ${CMAKE_SOURCE_DIR}/tests/nkf32/nkf_test_util.cpp
  ${CMAKE_SOURCE_DIR}/res/vestibar.rc)
target_include_directories(bench_store PRIVATE ${CMAKE_SOURCE_DIR}/tests/support ${CMAKE_SOURCE_DIR}/tests/convert
  ${CMAKE_SOURCE_DIR}/tests/nkf32)
target_link_libraries(bench_store PRIVATE vestibar_core nkfcore gtest psapi)

# The ceiling: a copy of bench_store beside an NKF32.dll that only copies
# (copy_nkf32.cpp), in a folder of their own; run-store-bench.sh runs it.
set(VESTIBAR_BENCH_COPY_DIR ${CMAKE_BINARY_DIR}/bench-copy)
if(VESTIBAR_BITS EQUAL 32)
  add_library(copy_nkf32 SHARED ${CMAKE_CURRENT_LIST_DIR}/copy_nkf32.cpp ${CMAKE_SOURCE_DIR}/nkf32/nkf32-x86.def)
  target_link_options(copy_nkf32 PRIVATE -Wl,--kill-at)
else()
  add_library(copy_nkf32 SHARED ${CMAKE_CURRENT_LIST_DIR}/copy_nkf32.cpp ${CMAKE_SOURCE_DIR}/nkf32/nkf32.def)
endif()
target_include_directories(copy_nkf32 PRIVATE ${CMAKE_SOURCE_DIR}/nkf32)
target_link_options(copy_nkf32 PRIVATE -static -static-libgcc -static-libstdc++)
set_target_properties(copy_nkf32 PROPERTIES OUTPUT_NAME NKF32 PREFIX ""
  RUNTIME_OUTPUT_DIRECTORY ${VESTIBAR_BENCH_COPY_DIR})
add_custom_command(TARGET bench_store POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VESTIBAR_BENCH_COPY_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:bench_store> ${VESTIBAR_BENCH_COPY_DIR}/
  VERBATIM)
add_dependencies(bench_store copy_nkf32)
