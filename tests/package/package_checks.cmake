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

# expect_equal(ACTUAL EXPECTED WHAT): fails the test unless ACTUAL is EXPECTED.
function(expect_equal actual expected what)
  if(NOT actual STREQUAL expected)
    message(FATAL_ERROR "${what}: '${actual}', expected '${expected}'")
  endif()
endfunction()

# expect_deb_fields(DEB PATTERN...): the control fields of the package match
# each PATTERN, and none of those written "!PATTERN".
function(expect_deb_fields deb)
  run(dpkg-deb --field ${deb})
  foreach(pattern IN LISTS ARGN)
    if(pattern MATCHES "^!(.*)")
      if(output MATCHES "${CMAKE_MATCH_1}")
        message(FATAL_ERROR "fields of ${deb} match '${CMAKE_MATCH_1}':\n${output}")
      endif()
    elseif(NOT output MATCHES "${pattern}")
      message(FATAL_ERROR "fields of ${deb} do not match '${pattern}':\n${output}")
    endif()
  endforeach()
endfunction()

# build_cmake_client(PREFIX OUT_VARIABLE): configures and builds the test
# client (tests/package/client, CLIENT_SOURCE_DIR) with the compiler of the
# build (CXX_COMPILER, GENERATOR, TOOLCHAIN_FILE) against the package
# installed or unpacked in PREFIX, which find_package must find there and
# nowhere else; OUT_VARIABLE is set to the program.
function(build_cmake_client prefix out_var)
  set(package_dir ${prefix}/${LIBDIR}/cmake/Tavisor)
  set(args -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_PREFIX_PATH=${prefix}
           -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF
           -DCMAKE_FIND_USE_CMAKE_SYSTEM_PATH=OFF)
  if(TOOLCHAIN_FILE)
    # A cross toolchain searches packages only below its root paths.
    list(APPEND args -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE} -DTavisor_DIR=${package_dir})
  endif()
  set(build_dir ${WORK_DIR}/client)
  run(${CMAKE_COMMAND} -S ${CLIENT_SOURCE_DIR} -B ${build_dir} -G ${GENERATOR} ${args})
  file(STRINGS ${build_dir}/CMakeCache.txt found REGEX "^Tavisor_DIR:")
  string(REGEX REPLACE "^Tavisor_DIR:[A-Z]+=" "" found "${found}")
  expect_equal("${found}" "${package_dir}" "find_package's Tavisor_DIR")
  run(${CMAKE_COMMAND} --build ${build_dir})
  set(${out_var} ${build_dir}/package_client${EXE_SUFFIX} PARENT_SCOPE)
endfunction()
