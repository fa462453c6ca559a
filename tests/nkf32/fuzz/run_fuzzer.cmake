# Runs a libFuzzer target for a bounded number of inputs as a test:
#   cmake -DFUZZER=<exe> -DWORK=<dir> -DCORPUS=<dir> -DRUNS=<n> -P run_fuzzer.cmake
# New inputs go to a fresh scratch corpus, never into the checked-in seeds,
# and the fixed seed makes every run try the same inputs.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
execute_process(
  COMMAND "${FUZZER}" -runs=${RUNS} -seed=1 -max_len=4096 -timeout=20
          "-artifact_prefix=${WORK}/" "${WORK}" "${CORPUS}"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${result}); crash input in ${WORK}")
endif()
