# Runs lookupgen for the pre-flop round in a fresh directory holding the test
# state table: the first run makes the four pre-flop files and the conversion
# table, the second finds them and makes nothing, the third finds a damaged
# equity table and a damaged conversion table of the right sizes and makes
# them again.
#   cmake -DLOOKUPGEN=<tool> -DTPT=<state table> -DWORK=<scratch dir> -P lookupgen_preflop.cmake
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/lookup")
file(CREATE_LINK "${TPT}" "${WORK}/lookup/tpt" SYMBOLIC)

execute_process(COMMAND "${LOOKUPGEN}" --rounds preflop --threads 2
  WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE status OUTPUT_VARIABLE first)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "first run failed (${status}):\n${first}")
endif()
foreach(file preflop_2p:1352 preflop_3p:1352 preflop_2p_c:169 preflop_3p_c:169)
  string(REPLACE ":" ";" parts "${file}")
  list(GET parts 0 name)
  list(GET parts 1 size)
  file(SIZE "${WORK}/lookup/${name}" actual)
  if(NOT actual EQUAL size)
    message(FATAL_ERROR "lookup/${name} has ${actual} bytes, expected ${size}")
  endif()
endforeach()
if(EXISTS "${WORK}/lookup/flop_2p")
  message(FATAL_ERROR "a round that was not asked for was generated")
endif()
foreach(line "lookup/tpt is present" "Indexing pre-flop hands..." "generating pre-flop clusters 3p")
  string(FIND "${first}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "first run did not print '${line}':\n${first}")
  endif()
endforeach()

execute_process(COMMAND "${LOOKUPGEN}" --rounds 0
  WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE status OUTPUT_VARIABLE second)
string(FIND "${second}" "Indexing" at)
if(NOT status EQUAL 0 OR NOT at EQUAL -1)
  message(FATAL_ERROR "second run generated again (${status}):\n${second}")
endif()

# Bytes "x" make equities near 1e272 and class ranks out of order.
string(REPEAT "x" 1352 bad_equities)
file(WRITE "${WORK}/lookup/preflop_2p" "${bad_equities}")
string(REPEAT "x" 147500 bad_indexes)
file(WRITE "${WORK}/lookup/tpt.indexes" "${bad_indexes}")
execute_process(COMMAND "${LOOKUPGEN}" --rounds 0
  WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE status OUTPUT_VARIABLE third)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "third run failed (${status}):\n${third}")
endif()
foreach(line "Warning: lookup/preflop_2p is damaged (an equity outside [0, 1] at entry 0)"
             "Warning: lookup/tpt.indexes is damaged" "Generating lookup/tpt.indexes"
             "Indexing pre-flop hands..." "generating pre-flop clusters 2p")
  string(FIND "${third}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "third run did not print '${line}':\n${third}")
  endif()
endforeach()
file(READ "${WORK}/lookup/preflop_2p" remade HEX LIMIT 8)
if(remade STREQUAL "7878787878787878")
  message(FATAL_ERROR "the damaged equity table was kept")
endif()
file(REMOVE_RECURSE "${WORK}")
