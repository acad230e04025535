# GoogleTest for the tests: the system's package natively; for a cross build
# (its libraries are built for the host) compiled from the Debian source
# package googletest in /usr/src/googletest.
if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest REQUIRED)
  return()
endif()

set(TAVISOR_GOOGLETEST_SOURCE_DIR /usr/src/googletest
    CACHE PATH "GoogleTest sources for cross builds")
if(NOT EXISTS ${TAVISOR_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found in ${TAVISOR_GOOGLETEST_SOURCE_DIR} "
                      "(Debian package googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${TAVISOR_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(lib IN ITEMS gtest gtest_main gmock gmock_main)
  if(NOT TARGET GTest::${lib})
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()

# Test discovery runs each test program once right after linking, with a
# time limit of a few seconds; creating the emulator's fresh Wine prefix
# takes longer, so it is done here, once, at configure time.
if(CMAKE_CROSSCOMPILING_EMULATOR)
  execute_process(COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(WARNING "Preparing the emulator (${CMAKE_CROSSCOMPILING_EMULATOR}) failed: ${result}")
  endif()
endif()
