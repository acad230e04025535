# Installs the build into a fresh prefix, then configures, builds and runs a
# client against it with find_package(Tavisor).
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DCLIENT_SOURCE_DIR=... -DDATA_DIR=...
#         -DCXX_COMPILER=... -DGENERATOR=... [-DEXE_SUFFIX=.exe] [-DNM=nm]
#         [-DTOOLCHAIN_FILE=... -DEMULATOR=...] -P install_and_use.cmake
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/package_checks.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
expect_public_headers(${prefix}/include ${SOURCE_DIR})
expect_files(${prefix} lib/cmake/Tavisor/TavisorConfig.cmake
             lib/cmake/Tavisor/TavisorConfigVersion.cmake lib/pkgconfig/tavisor.pc)

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
  expect_symbols_exported(${NM} ${client})
endif()
run_client(${client} ${DATA_DIR})
file(REMOVE_RECURSE ${WORK_DIR})
