# The library's exported symbols, read from the built file.
#   cmake -DNM=<nm> -DLIBRARY=<libTavisor.so> -P check_exports.cmake
#   cmake -DOBJDUMP=<objdump> -DLIBRARY=<Tavisor.dll> [-DCLIENTS=<exe>;...] -P check_exports.cmake
cmake_minimum_required(VERSION 3.25)
if(DEFINED NM)
  # ELF: exactly the four entry points, plus libstdc++'s process-wide
  # barrier/latch wait table (an object, kept shared on purpose so that a
  # client exporting its own copy shares it).
  execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
                  OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "nm failed on ${LIBRARY}")
  endif()
  string(REGEX REPLACE "[0-9a-f]+ " "" symbols "${symbols}")
  string(STRIP "${symbols}" symbols)
  string(REPLACE "\n" ";" symbols "${symbols}")
  list(SORT symbols)
  # The table is a unique object (u) from GCC and a weak one (V) from Clang;
  # either way the dynamic linker binds the library to the client's copy.
  set(expected "T GetItem;T GetTestItem;T Initialize;T Start;[uV] _ZZNSt8__detail18__waiter_pool_base6_S_forEPKvE3__w")
  if(NOT symbols MATCHES "^${expected}$")
    message(FATAL_ERROR "exported symbols:\n${symbols}\nexpected:\n${expected}")
  endif()
  message(STATUS "exported: ${symbols}")
  return()
endif()

# PE: the export directory names the DLL Tavisor.dll and holds exactly the
# four plain names, nothing exported by ordinal only. The DLL and its
# clients import the one shared C++ runtime.
function(read_pe file out)
  execute_process(COMMAND ${OBJDUMP} -p ${file} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "objdump failed on ${file}")
  endif()
  set(${out} "${dump}" PARENT_SCOPE)
endfunction()

function(expect_shared_runtime file dump)
  foreach(dll IN ITEMS libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    string(FIND "${dump}" "DLL Name: ${dll}\n" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${file} does not import ${dll}: its C++ runtime is not the shared one")
    endif()
  endforeach()
endfunction()

read_pe(${LIBRARY} dump)
if(NOT dump MATCHES "\nName[ \t]+[0-9a-f]+ ([^\n]+)\n")
  message(FATAL_ERROR "${LIBRARY} has no export directory")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL "Tavisor.dll")
  message(FATAL_ERROR "export directory name: '${CMAKE_MATCH_1}', expected 'Tavisor.dll'")
endif()
if(NOT dump MATCHES "Export Address Table[ \t]+([0-9a-f]+)\n")
  message(FATAL_ERROR "no export address table in ${LIBRARY}")
endif()
math(EXPR address_count "0x${CMAKE_MATCH_1}")
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(([ \t]+\\[[ 0-9]+\\] [^\n]+\n)*)" table "${dump}")
string(REGEX REPLACE "[ \t]+\\[[ 0-9]+\\] ([^\n]+)\n" "\\1;" names "${CMAKE_MATCH_1}")
list(REMOVE_ITEM names "")
list(SORT names)
set(expected "GetItem;GetTestItem;Initialize;Start")
if(NOT names STREQUAL expected OR NOT address_count EQUAL 4)
  message(FATAL_ERROR "exported names: ${names} (${address_count} exports); expected: ${expected}")
endif()
expect_shared_runtime(${LIBRARY} "${dump}")
foreach(client IN LISTS CLIENTS)
  read_pe(${client} client_dump)
  expect_shared_runtime(${client} "${client_dump}")
endforeach()
message(STATUS "Tavisor.dll exports: ${names}")
