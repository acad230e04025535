# Installs the build into a fresh prefix, then configures, builds and runs a
# client against it with find_package(Tavisor).
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DCLIENT_SOURCE_DIR=... -DDATA_DIR=...
#         -DLIBDIR=<the library directory> -DCXX_COMPILER=... -DGENERATOR=... [-DEXE_SUFFIX=.exe] [-DNM=nm]
#         [-DTOOLCHAIN_FILE=... -DEMULATOR=...] -P install_and_use.cmake
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/package_checks.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
expect_public_headers(${prefix}/include ${SOURCE_DIR})
expect_files(${prefix} ${LIBDIR}/cmake/Tavisor/TavisorConfig.cmake
             ${LIBDIR}/cmake/Tavisor/TavisorConfigVersion.cmake ${LIBDIR}/pkgconfig/tavisor.pc)

build_cmake_client(${prefix} client)

# The program exports its symbols (Tavisor::Tavisor makes it so on Linux).
if(NM)
  expect_symbols_exported(${NM} ${client})
endif()
run_client(${client} ${DATA_DIR})
file(REMOVE_RECURSE ${WORK_DIR})
