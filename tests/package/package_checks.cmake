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

# copy_source_tree(DIR): copies the files of the source tree (SOURCE_DIR, a
# git checkout) that git knows of, tracked or new and not ignored, to DIR:
# what a clone would have, without build directories.
function(copy_source_tree dir)
  file(MAKE_DIRECTORY ${dir})
  execute_process(COMMAND git ls-files -z --cached --others --exclude-standard
                  COMMAND tar --null --files-from=- --ignore-failed-read -cf -
                  COMMAND tar -xf - -C ${dir}
                  WORKING_DIRECTORY ${SOURCE_DIR} RESULTS_VARIABLE rcs ERROR_VARIABLE err)
  if(NOT rcs STREQUAL "0;0;0")
    message(FATAL_ERROR "copying the files of ${SOURCE_DIR} (a git checkout) failed (${rcs}):\n${err}")
  endif()
endfunction()

# build_debs(DIR [BINARY_ONLY] [WITH COMMAND...]): builds the Debian
# packages of the source tree (SOURCE_DIR) as a Debian builder would: its
# files are copied to DIR/tavisor-<version> (copy_source_tree), beside an
# orig tarball of all but debian/, and dpkg-buildpackage builds the source
# package and the binary packages there (BINARY_ONLY: the binary packages).
# The test suite is not built. WITH is a command that runs the build (its
# command line follows), e.g. to change its environment. The tree is
# removed afterwards; the packages stay in DIR.
function(build_debs dir)
  cmake_parse_arguments(arg "BINARY_ONLY" "" "WITH" ${ARGN})
  run(dpkg-parsechangelog -l ${SOURCE_DIR}/debian/changelog -S Version)
  string(STRIP "${output}" deb_version)
  if(NOT deb_version MATCHES "^${VERSION}-[0-9]+$")
    message(FATAL_ERROR "The latest entry of debian/changelog is of version ${deb_version}, "
                        "not ${VERSION}-<revision>: add an entry for this version")
  endif()
  set(tree ${dir}/tavisor-${VERSION})
  file(REMOVE_RECURSE ${dir})
  copy_source_tree(${tree})
  if(NOT arg_BINARY_ONLY)
    run(tar --sort=name --mtime=@0 --owner=0 --group=0 --numeric-owner
            --exclude=tavisor-${VERSION}/debian -cJf ${dir}/tavisor_${VERSION}.orig.tar.xz
            -C ${dir} tavisor-${VERSION})
  endif()
  set(build dpkg-buildpackage -us -uc)
  if(arg_BINARY_ONLY)
    list(APPEND build -b)
  endif()
  # One compiler at a time: ctest counts a test as one process, and runs the
  # two builds side by side (tests/package/CMakeLists.txt).
  execute_process(COMMAND ${arg_WITH} ${CMAKE_COMMAND} -E env DEB_BUILD_OPTIONS=parallel=1
                          ${build}
                  WORKING_DIRECTORY ${tree} RESULT_VARIABLE rc OUTPUT_FILE ${dir}/build.log
                  ERROR_FILE ${dir}/build.log)
  if(NOT rc EQUAL 0)
    file(READ ${dir}/build.log log)
    string(LENGTH "${log}" length)
    if(length GREATER 20000)
      math(EXPR from "${length} - 20000")
      string(SUBSTRING "${log}" ${from} -1 log)
    endif()
    message(FATAL_ERROR "dpkg-buildpackage in ${tree} failed (${rc}):\n...${log}")
  endif()
  file(REMOVE_RECURSE ${tree})
endfunction()
