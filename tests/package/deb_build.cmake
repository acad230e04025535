# Builds the Debian packages of the source tree with dpkg-buildpackage (see
# build_debs in package_checks.cmake) for the tests that check and use them
# (deb_package.cmake, abi_check.cmake): the source package and the binary
# packages. With -DAGAIN=ON it builds the binary packages a second time, at
# another path, in another time zone and with another umask, for
# deb_reproducible.cmake to compare with the first build.
#   cmake -DSOURCE_DIR=... -DWORK_DIR=... -DVERSION=... [-DAGAIN=ON] -P deb_build.cmake
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/package_checks.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
if(AGAIN)
  set(dir ${WORK_DIR}/built/again/elsewhere)
  build_debs(${dir} BINARY_ONLY
             WITH ${CMAKE_COMMAND} -E env TZ=Pacific/Kiritimati sh -c "umask 0002 && exec \"$@\"" sh)
else()
  set(dir ${WORK_DIR})
  build_debs(${dir})
endif()
file(GLOB built RELATIVE ${dir} ${dir}/*)
message(STATUS "dpkg-buildpackage made ${built} in ${dir}")
