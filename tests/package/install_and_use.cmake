# Installs the build into a fresh prefix, then configures, builds and runs a
# client against it with find_package(Tavisor).
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DCLIENT_SOURCE_DIR=... -DDATA_DIR=...
#         -DCXX_COMPILER=... -DGENERATOR=... [-DEXE_SUFFIX=.exe] [-DNM=nm]
#         [-DTOOLCHAIN_FILE=... -DEMULATOR=...] -P install_and_use.cmake
cmake_minimum_required(VERSION 3.25)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "${command}\nfailed (${rc}):\n${out}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(file IN ITEMS include/tavisor/api.h include/tavisor/item.h include/tavisor/library.h
                      include/tavisor/shared_state.h lib/cmake/Tavisor/TavisorConfig.cmake
                      lib/cmake/Tavisor/TavisorConfigVersion.cmake)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

set(configure_args -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_PREFIX_PATH=${prefix})
if(TOOLCHAIN_FILE)
  # A cross toolchain searches packages only below its root paths.
  list(APPEND configure_args -DCMAKE_TOOLCHAIN_FILE=${TOOLCHAIN_FILE}
                             -DTavisor_DIR=${prefix}/lib/cmake/Tavisor)
endif()
run(${CMAKE_COMMAND} -S ${CLIENT_SOURCE_DIR} -B ${WORK_DIR}/client -G ${GENERATOR}
    ${configure_args})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/client)
set(client ${WORK_DIR}/client/package_client${EXE_SUFFIX})

# The program exports its symbols (Tavisor::Tavisor makes it so on Linux).
if(NM)
  run(${NM} -D --defined-only ${client})
  if(NOT output MATCHES "[TtWw] main\n")
    message(FATAL_ERROR "the client does not export its symbols:\n${output}")
  endif()
endif()

execute_process(COMMAND ${EMULATOR} ${client} WORKING_DIRECTORY ${DATA_DIR} RESULT_VARIABLE rc
                OUTPUT_VARIABLE out ERROR_VARIABLE out)
string(REPLACE "\r\n" "\n" out "${out}")  # a Windows program's text-mode output
if(NOT rc EQUAL 0 OR NOT out MATCHES "^test record 0: [^\n]+netuvi\nrandom record: [0-9]+ sightings\n$")
  message(FATAL_ERROR "client run (${rc}):\n${out}")
endif()
message(STATUS "client against the installed package:\n${out}")
file(REMOVE_RECURSE ${WORK_DIR})
