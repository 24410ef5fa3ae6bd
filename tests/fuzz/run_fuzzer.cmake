# Runs the settings fuzzer for a bounded time as a test and shows how many inputs it tried.
#   cmake -DFUZZER=<exe> -DSECONDS=<n> -DWORK_CORPUS=<dir> -DSEED_CORPUS=<dir> -P run_fuzzer.cmake
# New inputs go to WORK_CORPUS (in the build tree); the committed seeds are only read.
file(MAKE_DIRECTORY "${WORK_CORPUS}")
execute_process(
  COMMAND "${FUZZER}" -max_total_time=${SECONDS} -timeout=10 -print_final_stats=1
          "${WORK_CORPUS}" "${SEED_CORPUS}"
  RESULT_VARIABLE result
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output)

if(NOT result EQUAL 0)
  message("${output}")
  message(FATAL_ERROR "settings fuzzer failed (exit ${result})")
endif()

string(REGEX MATCH "Done [0-9]+ runs in [0-9]+ second\\(s\\)" done "${output}")
if(NOT done)
  message("${output}")
  message(FATAL_ERROR "settings fuzzer ended without its summary")
endif()
string(REGEX MATCH "stat::number_of_executed_units: *[0-9]+" executed "${output}")
string(REGEX MATCHALL "cov: [0-9]+ ft: [0-9]+ corp: [0-9]+/[^ ]+" coverage "${output}")
list(POP_BACK coverage final_coverage)
message("settings fuzzer: ${done} (${executed}); at the end ${final_coverage}")
