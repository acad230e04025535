# Packages for client authors, made by `cpack` in a build directory from what
# `cmake --install` puts in place (cmake/TavisorInstall.cmake):
#
#   Linux build:   packages/tavisor_<version>_<arch>.deb   (installs under /usr)
#   Windows build: packages/tavisor-<version>-win64.zip    (one top directory)
#
# The version is the project's, set once in project(VERSION).
set(CPACK_PACKAGE_NAME tavisor)
set(CPACK_PACKAGE_VENDOR Tavisor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "Tavisor developers <dev@tavisor.invalid>")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
# Only what an installed tree holds; the package is made from the build's
# install rules, never from the source tree.
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  if(TAVISOR_RUNTIME_DLL_NAMES AND CMAKE_STRIP)
    set(CPACK_TAVISOR_RUNTIME_DLL_NAMES ${TAVISOR_RUNTIME_DLL_NAMES})
    set(CPACK_TAVISOR_STRIP ${CMAKE_STRIP})
    set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/TavisorStripRuntime.cmake)
  endif()
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The run-time dependencies of the library and tavisor-demo, found by
  # dpkg-shlibdeps (package dpkg-dev) from the binaries themselves.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # Building a client needs a C++20 compiler with the same libstdc++.
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "g++ (>= 4:12) | clang (>= 1:14), cmake (>= 3.25), pkgconf")
  # Below the summary line (CPACK_PACKAGE_DESCRIPTION_SUMMARY).
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "Tavisor makes up Estonian bird-observation records for a client program
that loads libTavisor.so by name and resolves its four exports. The package
holds the library, the C++20 headers a client builds against, a CMake
package (find_package(Tavisor)), a pkg-config file (tavisor), the reference
client tavisor-demo and the reference lists it reads (/usr/share/tavisor).")
endif()

include(CPack)
