# Helpers of the package tests (cmake -P scripts).

# run(COMMAND...): runs a command, fails the test with its output if it
# fails; its output is left in `output`.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "${command}\nfailed (${rc}):\n${out}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

# expect_files(ROOT FILE...): each FILE exists below ROOT.
function(expect_files root)
  foreach(file IN LISTS ARGN)
    if(NOT EXISTS "${root}/${file}")
      message(FATAL_ERROR "missing from ${root}: ${file}")
    endif()
  endforeach()
endfunction()

# expect_public_headers(INCLUDE_DIR SOURCE_DIR): every public header of the
# source tree is there.
function(expect_public_headers include_dir source_dir)
  file(GLOB headers RELATIVE ${source_dir}/include ${source_dir}/include/tavisor/*.h)
  if(NOT headers)
    message(FATAL_ERROR "no public headers in ${source_dir}/include")
  endif()
  expect_files(${include_dir} ${headers})
endfunction()

# expect_symbols_exported(NM PROGRAM): the program exports its symbols, as
# a Linux client must (B and D wake it through its copy of the wait table).
function(expect_symbols_exported nm program)
  run(${nm} -D --defined-only ${program})
  if(NOT output MATCHES "[TtWw] main\n")
    message(FATAL_ERROR "${program} does not export its symbols:\n${output}")
  endif()
endfunction()

# run_client(PROGRAM WORKING_DIR [ENV VAR=VALUE...]): runs the test client
# (tests/package/client) and checks what it prints.
function(run_client program working_dir)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env ${ARGN} ${EMULATOR} ${program}
                  WORKING_DIRECTORY ${working_dir} RESULT_VARIABLE rc
                  OUTPUT_VARIABLE out ERROR_VARIABLE out)
  string(REPLACE "\r\n" "\n" out "${out}")  # a Windows program's text-mode output
  if(NOT rc EQUAL 0 OR NOT out MATCHES "^test record 0: [^\n]+netuvi\nrandom record: [0-9]+ sightings\n$")
    message(FATAL_ERROR "${program} (${rc}):\n${out}")
  endif()
  message(STATUS "${program}:\n${out}")
endfunction()
