# The Windows zip for client authors, made by `cpack` in a MinGW (or MSVC)
# build directory from what `cmake --install` puts in place
# (cmake/TavisorInstall.cmake):
#
#   packages/tavisor-<version>-win64.zip   (everything, one top directory)
#
# The Debian packages are made by dpkg-buildpackage from debian/, with
# debhelper's CMake build system, from the same install rules.
if(NOT WIN32)
  return()
endif()

set(CPACK_PACKAGE_NAME tavisor)
set(CPACK_PACKAGE_VENDOR Tavisor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "Tavisor developers <dev@tavisor.invalid>")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
# Only what an installed tree holds; the package is made from the build's
# install rules, never from the source tree.
set(CPACK_SOURCE_GENERATOR "")

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
# Reproducible: the same source makes the same zip (see the two scripts).
include(TavisorSourceDate)
set(CPACK_TAVISOR_SOURCE_DATE_EPOCH ${TAVISOR_SOURCE_DATE_EPOCH})
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/TavisorCPackOptions.cmake)
set(CPACK_TAVISOR_RUNTIME_DLL_NAMES "${TAVISOR_RUNTIME_DLL_NAMES}")
set(CPACK_TAVISOR_STRIP "${CMAKE_STRIP}")
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/TavisorZipStage.cmake)
include(CPack)
