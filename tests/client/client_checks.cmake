# Helpers of the client build checks (cmake -P scripts). The compiler and the
# flags a client of the library builds with come from tests/client:
#   -DCXX_COMPILER=<compiler> "-DCOMPILE_FLAGS=<flags>" "-DLINK_FLAGS=<flags>"

# compile_client(SOURCE OUTPUT [SYNTAX_ONLY] [DEFINES NAME...]): compiles
# SOURCE as a client program; links it to OUTPUT unless SYNTAX_ONLY. Sets
# `compiled` (TRUE/FALSE) and `diagnostics` (what the compiler said).
function(compile_client source output)
  cmake_parse_arguments(arg "SYNTAX_ONLY" "" "DEFINES" ${ARGN})
  set(command ${CXX_COMPILER} ${COMPILE_FLAGS})
  foreach(name IN LISTS arg_DEFINES)
    list(APPEND command -D${name})
  endforeach()
  if(arg_SYNTAX_ONLY)
    list(APPEND command -fsyntax-only ${source})
  else()
    list(APPEND command ${source} -o ${output} ${LINK_FLAGS})
  endif()
  execute_process(COMMAND ${command} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(rc EQUAL 0)
    set(compiled TRUE PARENT_SCOPE)
  else()
    set(compiled FALSE PARENT_SCOPE)
  endif()
  set(diagnostics "${out}" PARENT_SCOPE)
endfunction()

# pop_line(TEXT LINE): moves the first line of the variable TEXT to the
# variable LINE, without its line break. Sources are read this way, never as
# CMake lists: code is full of ';' and '[]'.
function(pop_line text_var line_var)
  string(FIND "${${text_var}}" "\n" end)
  if(end EQUAL -1)
    set(${line_var} "${${text_var}}" PARENT_SCOPE)
    set(${text_var} "" PARENT_SCOPE)
  else()
    string(SUBSTRING "${${text_var}}" 0 ${end} first)
    math(EXPR end "${end} + 1")
    string(SUBSTRING "${${text_var}}" ${end} -1 remainder)
    set(${line_var} "${first}" PARENT_SCOPE)
    set(${text_var} "${remainder}" PARENT_SCOPE)
  endif()
endfunction()
