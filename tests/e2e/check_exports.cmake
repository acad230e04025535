# The library's dynamic symbol table: exactly the four entry points, plus
# libstdc++'s process-wide barrier/latch wait table (an object, kept shared
# on purpose so that a client exporting its own copy shares it).
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX REPLACE "[0-9a-f]+ " "" symbols "${symbols}")
string(STRIP "${symbols}" symbols)
string(REPLACE "\n" ";" symbols "${symbols}")
list(SORT symbols)
set(expected "T GetItem;T GetTestItem;T Initialize;T Start;u _ZZNSt8__detail18__waiter_pool_base6_S_forEPKvE3__w")
if(NOT symbols STREQUAL expected)
  message(FATAL_ERROR "exported symbols:\n${symbols}\nexpected:\n${expected}")
endif()
message(STATUS "exported: ${symbols}")
