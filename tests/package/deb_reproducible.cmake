# Compares the Debian packages of two builds of the same source
# (deb_build.cmake: FIRST_DIR as the tests use them, AGAIN_DIR built at
# another path, in another time zone and with another umask) byte for byte.
#   cmake -DFIRST_DIR=... -DAGAIN_DIR=... -DWORK_DIR=... -P deb_reproducible.cmake
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/package_checks.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
file(GLOB first_debs RELATIVE ${FIRST_DIR} ${FIRST_DIR}/*.deb)
file(GLOB again_debs RELATIVE ${AGAIN_DIR} ${AGAIN_DIR}/*.deb)
if(NOT first_debs)
  message(FATAL_ERROR "no packages in ${FIRST_DIR}")
endif()
expect_equal("${again_debs}" "${first_debs}" "the packages of the second build")
set(differing "")
foreach(deb IN LISTS first_debs)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${FIRST_DIR}/${deb} ${AGAIN_DIR}/${deb}
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    # Which files differ, for the report.
    set(unpacked ${WORK_DIR}/${deb})
    file(MAKE_DIRECTORY ${unpacked})  # dpkg-deb -R makes the last directory only
    run(dpkg-deb -R ${FIRST_DIR}/${deb} ${unpacked}/first)
    run(dpkg-deb -R ${AGAIN_DIR}/${deb} ${unpacked}/again)
    execute_process(COMMAND diff -rq ${unpacked}/first ${unpacked}/again
                    OUTPUT_VARIABLE out ERROR_VARIABLE out)
    string(APPEND differing "${deb}:\n${out}")
  endif()
endforeach()
if(differing)
  message(FATAL_ERROR "two builds of the same source differ (diffoscope shows how):\n${differing}")
endif()
message(STATUS "built twice, byte for byte the same: ${first_debs}")
file(REMOVE_RECURSE ${WORK_DIR})
