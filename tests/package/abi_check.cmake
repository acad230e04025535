# The ABI of the packaged library against the stored baseline of its major
# version (tests/package/abi/<major>/): its exports, the record they hand
# over, and the SharedState layouts, which reach the library as a void* and
# so are dumped from a small library that names them (abi/layouts.cpp).
# libabigail's abidw dumps, abidiff compares; any difference fails, since a
# client built against the old headers would trip over it: such a change
# needs a new major version (include/tavisor/version.h), whose first build
# finds no baseline and tells what to store.
#   cmake -DDEB_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DVERSION=... -DLIBDIR=...
#         -DCXX_COMPILER=... -P abi_check.cmake
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/package_checks.cmake)

foreach(tool IN ITEMS abidw abidiff)
  find_program(${tool}_command ${tool})
  if(NOT ${tool}_command)
    message(FATAL_ERROR "${tool} is missing: run scripts/install-deps.sh (abigail-tools)")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK_DIR})
string(REGEX MATCH "^[0-9]+" major "${VERSION}")

# The library as packaged, with its debugging information from the -dbgsym
# package.
set(root ${WORK_DIR}/root)
file(MAKE_DIRECTORY ${root})
foreach(package IN ITEMS libtavisor${major} libtavisor${major}-dbgsym)
  file(GLOB deb ${DEB_DIR}/${package}_${VERSION}-*.deb)
  run(dpkg-deb -x ${deb} ${root})
endforeach()
set(library ${root}/usr/${LIBDIR}/libTavisor.so.${major})
# The layouts, compiled as the library is (g++ -O2 -g, C++20).
set(layouts ${WORK_DIR}/libtavisor_layouts.so)
run(${CXX_COMPILER} -std=c++20 -O2 -g -fPIC -shared -I${SOURCE_DIR}/include
    -ffile-prefix-map=${CMAKE_CURRENT_LIST_DIR}/abi=. ${CMAKE_CURRENT_LIST_DIR}/abi/layouts.cpp
    -o ${layouts})

set(abidw ${abidw_command} --exported-interfaces-only --no-corpus-path --no-comp-dir-path --no-show-locs
          --no-parameter-names)
run(${abidw} --debug-info-dir ${root}/usr/lib/debug --out-file ${WORK_DIR}/libTavisor.abi
    ${library})
run(${abidw} --out-file ${WORK_DIR}/layouts.abi ${layouts})

# The dumps describe what they must, or there is nothing to compare.
file(READ ${WORK_DIR}/libTavisor.abi dump)
foreach(name IN ITEMS "name='Initialize'" "name='GetItem'" "name='GetTestItem'" "name='Start'"
                      "class-decl name='Item'")
  string(FIND "${dump}" "${name}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the ABI dump of ${library} lacks ${name}")
  endif()
endforeach()
file(READ ${WORK_DIR}/layouts.abi dump)
foreach(variant IN ITEMS A B C D E)
  string(FIND "${dump}" "name='SharedState&lt;&apos;${variant}&apos;&gt;'" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the ABI dump of ${layouts} lacks SharedState<'${variant}'>")
  endif()
endforeach()

set(baseline_dir ${CMAKE_CURRENT_LIST_DIR}/abi/${major})
if(NOT EXISTS ${baseline_dir})
  message(STATUS "No ABI baseline of major version ${major}: store ${WORK_DIR}/libTavisor.abi and "
                 "${WORK_DIR}/layouts.abi in tests/package/abi/${major}/")
  return()
endif()
set(changes "")
foreach(dump IN ITEMS libTavisor.abi layouts.abi)
  execute_process(COMMAND ${abidiff_command} --no-show-locs ${baseline_dir}/${dump} ${WORK_DIR}/${dump}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    string(APPEND changes "abidiff tests/package/abi/${major}/${dump} (exit status ${rc}):\n${out}\n")
  endif()
endforeach()
if(changes)
  message(FATAL_ERROR "The ABI differs from that of version ${major}.0, which clients of "
                      "libTavisor.so.${major} are built against: a change of an export or a "
                      "layout needs a new major version (include/tavisor/version.h).\n${changes}")
endif()
message(STATUS "the ABI is that of version ${major}.0")
