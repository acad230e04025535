# Makes the Windows zip of this build, then builds the library and the
# programs that the zip holds a second time, from a copy of the source tree
# at another path (same toolchain and build type, no tests), makes its zip
# and compares the two byte for byte: the same source gives the same zip.
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DVERSION=... -DGENERATOR=...
#         -DTOOLCHAIN_FILE=... -DBUILD_TYPE=... -DBUILD_TYPE_FLAGS=... -P zip_reproducible.cmake
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/package_checks.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
set(zip tavisor-${VERSION}-win64.zip)
run(${CMAKE_CPACK_COMMAND} --config ${BUILD_DIR}/CPackConfig.cmake -G ZIP -B ${WORK_DIR}/first)

set(source ${WORK_DIR}/second/sources/at/another/path)
copy_source_tree(${source})
string(TOUPPER "${BUILD_TYPE}" build_type_upper)
cmake_path(RELATIVE_PATH TOOLCHAIN_FILE BASE_DIRECTORY ${SOURCE_DIR} OUTPUT_VARIABLE toolchain)
run(${CMAKE_COMMAND} -S ${source} -B ${source}/build -G ${GENERATOR}
    -DCMAKE_TOOLCHAIN_FILE=${source}/${toolchain} -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
    "-DCMAKE_CXX_FLAGS_${build_type_upper}=${BUILD_TYPE_FLAGS}"
    -DTAVISOR_BUILD_TESTS=OFF)
# A compiler a core: this build is the Windows stage's longest test by far,
# and the other tests end long before it, leaving it the machine.
cmake_host_system_information(RESULT cores QUERY NUMBER_OF_LOGICAL_CORES)
run(${CMAKE_COMMAND} --build ${source}/build --parallel ${cores})
run(${CMAKE_CPACK_COMMAND} --config ${source}/build/CPackConfig.cmake -G ZIP -B ${WORK_DIR}/second)

execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK_DIR}/first/${zip}
                        ${WORK_DIR}/second/${zip} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  # Which files differ, for the report.
  foreach(build IN ITEMS first second)
    file(ARCHIVE_EXTRACT INPUT ${WORK_DIR}/${build}/${zip} DESTINATION ${WORK_DIR}/unpacked/${build})
  endforeach()
  execute_process(COMMAND diff -rq ${WORK_DIR}/unpacked/first ${WORK_DIR}/unpacked/second
                  OUTPUT_VARIABLE out ERROR_VARIABLE out)
  message(FATAL_ERROR "two builds of the same source make different zips "
                      "(diffoscope shows how; the files that differ):\n${out}")
endif()
message(STATUS "built twice, byte for byte the same: ${zip}")
file(REMOVE_RECURSE ${WORK_DIR})
