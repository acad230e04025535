# Builds the source package and the Debian packages of the source tree with
# dpkg-buildpackage (see build_debs in package_checks.cmake), for the tests
# that check and use them (deb_package.cmake, deb_reproducible.cmake).
#   cmake -DSOURCE_DIR=... -DWORK_DIR=... -DVERSION=... -P deb_build.cmake
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/package_checks.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
build_debs(${WORK_DIR}/first)
file(GLOB built RELATIVE ${WORK_DIR}/first ${WORK_DIR}/first/*)
message(STATUS "dpkg-buildpackage made ${built}")
