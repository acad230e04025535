# Builds the Debian packages a second time, at another path, in another time
# zone and with another umask, and compares them byte for byte with those
# that deb_build.cmake made (in DEB_DIR): the same source gives the same
# packages.
#   cmake -DDEB_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DVERSION=... -P deb_reproducible.cmake
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/package_checks.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
set(second ${WORK_DIR}/built/again/elsewhere)
build_debs(${second} BINARY_ONLY
           WITH ${CMAKE_COMMAND} -E env TZ=Pacific/Kiritimati sh -c "umask 0002 && exec \"$@\"" sh)
file(GLOB first_debs RELATIVE ${DEB_DIR} ${DEB_DIR}/*.deb)
file(GLOB second_debs RELATIVE ${second} ${second}/*.deb)
expect_equal("${second_debs}" "${first_debs}" "the packages of the second build")
set(differing "")
foreach(deb IN LISTS first_debs)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${DEB_DIR}/${deb} ${second}/${deb}
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    # Which files differ, for the report.
    set(unpacked ${WORK_DIR}/unpacked/${deb})
    run(dpkg-deb -R ${DEB_DIR}/${deb} ${unpacked}/first)
    run(dpkg-deb -R ${second}/${deb} ${unpacked}/second)
    execute_process(COMMAND diff -rq ${unpacked}/first ${unpacked}/second
                    OUTPUT_VARIABLE out ERROR_VARIABLE out)
    string(APPEND differing "${deb}:\n${out}")
  endif()
endforeach()
if(differing)
  message(FATAL_ERROR "two builds of the same source differ (diffoscope shows how):\n${differing}")
endif()
message(STATUS "built twice, byte for byte the same: ${first_debs}")
file(REMOVE_RECURSE ${WORK_DIR})
