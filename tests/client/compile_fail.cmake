# A source whose lines marked "// refused" must not compile, each failing
# with an error that matches EXPECT (by default: about a deleted function) on
# its own line, while the same source compiles with -D<CONTROL> (so that the
# refusals fail for that reason, not for a typo).
#   cmake -DSOURCE=<file> -DCONTROL=<macro> [-DEXPECT=<regex>] -DCXX_COMPILER=...
#         "-DCOMPILE_FLAGS=..." -P compile_fail.cmake
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/client_checks.cmake)

if(NOT DEFINED EXPECT)
  set(EXPECT "deleted")
endif()

compile_client(${SOURCE} "" SYNTAX_ONLY DEFINES ${CONTROL})
if(NOT compiled)
  message(FATAL_ERROR "${SOURCE} does not compile with -D${CONTROL}:\n${diagnostics}")
endif()

compile_client(${SOURCE} "" SYNTAX_ONLY)
if(compiled)
  message(FATAL_ERROR "${SOURCE} compiles without -D${CONTROL}")
endif()

# The refused lines, by number.
file(READ ${SOURCE} rest)
set(number 0)
set(refused "")
while(NOT rest STREQUAL "")
  pop_line(rest line)
  math(EXPR number "${number} + 1")
  if(line MATCHES "// refused$")
    list(APPEND refused ${number})
  endif()
endwhile()
if(NOT refused)
  message(FATAL_ERROR "${SOURCE} marks no line \"// refused\"")
endif()

set(failures "")
foreach(number IN LISTS refused)
  if(NOT diagnostics MATCHES ":${number}:[0-9]+: error: [^\n]*${EXPECT}")
    string(APPEND failures " ${number}")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${SOURCE}: no error matching \"${EXPECT}\" on line(s)${failures}:\n"
                      "${diagnostics}")
endif()
list(LENGTH refused count)
message(STATUS "${SOURCE}: ${count} refused lines fail with \"${EXPECT}\"")
