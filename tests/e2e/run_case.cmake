# Runs ombrelk-convert once in a fresh work directory and checks what it did.
# Lists are given with "|" between entries (";" would split the test's
# command line).
#   CONVERT        the program
#   WORK           the work directory (emptied first)
#   COPY           fixture=name|...   files copied into WORK before the run
#   ARGS           the program's arguments
#   EXPECT_EXIT    its exit code
#   COMPARE        name=golden|...    files of WORK that must equal a golden file byte for byte
#   ABSENT         name|...           files of WORK that must not exist
#   STDOUT_MATCH, STDERR_MATCH        regular expressions the outputs must match
foreach(list COPY ARGS COMPARE ABSENT)
  string(REPLACE "|" ";" ${list} "${${list}}")
endforeach()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
foreach(pair IN LISTS COPY)
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 from)
  list(GET pair 1 to)
  get_filename_component(folder "${WORK}/${to}" DIRECTORY)
  file(MAKE_DIRECTORY "${folder}")
  file(COPY_FILE "${from}" "${WORK}/${to}")
endforeach()

execute_process(COMMAND "${CONVERT}" ${ARGS}
                WORKING_DIRECTORY "${WORK}"
                RESULT_VARIABLE exit_code
                OUTPUT_VARIABLE out
                ERROR_VARIABLE err)
if(NOT exit_code STREQUAL EXPECT_EXIT)
  message(FATAL_ERROR "exit code ${exit_code}, expected ${EXPECT_EXIT}\nstdout: ${out}\nstderr: ${err}")
endif()
if(DEFINED STDOUT_MATCH AND NOT out MATCHES "${STDOUT_MATCH}")
  message(FATAL_ERROR "stdout does not match '${STDOUT_MATCH}':\n${out}")
endif()
if(DEFINED STDERR_MATCH AND NOT err MATCHES "${STDERR_MATCH}")
  message(FATAL_ERROR "stderr does not match '${STDERR_MATCH}':\n${err}")
endif()

foreach(pair IN LISTS COMPARE)
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 produced)
  list(GET pair 1 golden)
  if(NOT EXISTS "${WORK}/${produced}")
    message(FATAL_ERROR "${produced} was not written")
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${WORK}/${produced}" "${golden}"
                  RESULT_VARIABLE differ)
  if(differ)
    message(FATAL_ERROR "${WORK}/${produced} differs from ${golden}")
  endif()
endforeach()
foreach(name IN LISTS ABSENT)
  if(EXISTS "${WORK}/${name}")
    message(FATAL_ERROR "${name} should not exist")
  endif()
endforeach()
