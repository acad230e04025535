# Packages for client authors, made by `cpack` in a build directory from what
# `cmake --install` puts in place (cmake/TavisorInstall.cmake):
#
#   Linux build:   packages/libtavisor1_<version>-<revision>_<arch>.deb      the library
#                  packages/libtavisor-dev_<version>-<revision>_<arch>.deb   for building clients
#                  packages/tavisor-tools_<version>-<revision>_<arch>.deb    tavisor-demo, the lists
#   Windows build: packages/tavisor-<version>-win64.zip   (everything, one top directory)
#
# The version is the project's (include/tavisor/version.h); the Debian
# revision is that of the latest entry in packaging/debian/changelog.
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

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  if(TAVISOR_RUNTIME_DLL_NAMES AND CMAKE_STRIP)
    set(CPACK_TAVISOR_RUNTIME_DLL_NAMES ${TAVISOR_RUNTIME_DLL_NAMES})
    set(CPACK_TAVISOR_STRIP ${CMAKE_STRIP})
    set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/TavisorStripRuntime.cmake)
  endif()
  include(CPack)
  return()
endif()

# Debian packages, one per component, named and split as Debian names and
# splits a library: the run-time package carries the soname's major version.
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Runtime Development Tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SOURCE tavisor)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(changelog ${PROJECT_SOURCE_DIR}/packaging/debian/changelog)
file(STRINGS ${changelog} latest LIMIT_COUNT 1)
if(NOT latest MATCHES "^tavisor \\(${PROJECT_VERSION}-([0-9]+)\\) ")
  message(FATAL_ERROR "The latest entry of packaging/debian/changelog is '${latest}', not "
                      "one of version ${PROJECT_VERSION}: add an entry for this version")
endif()
set(CPACK_DEBIAN_PACKAGE_RELEASE ${CMAKE_MATCH_1})
set(deb_version ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})

set(runtime_package libtavisor${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${runtime_package})
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libtavisor-dev)
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME tavisor-tools)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)

# Dependencies: the development package and the tools need this very version
# of the library (the headers are its record layout; tavisor-demo loads it by
# its soname, which dpkg-shlibdeps cannot see); the rest is what
# dpkg-shlibdeps finds in the binaries.
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS Runtime)
set(CPACK_COMPONENT_TOOLS_DEPENDS Runtime)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SHLIBDEPS ON)
# cpack's own dpkg-shlibdeps run would also give the library package
# maintainer scripts that call ldconfig; cmake/TavisorDebianStage.cmake runs
# it for the library instead, and an ldconfig trigger does the rest.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS OFF)
set(CPACK_TAVISOR_RUNTIME_COMPONENT Runtime)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/TavisorDebianStage.cmake)
# Building a client needs a C++20 compiler with the same libstdc++.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SUGGESTS
    "g++ (>= 4:12) | clang (>= 1:14), cmake (>= 3.25), pkgconf")

# The library package: the ldconfig trigger, and the shlibs file through
# which dpkg-shlibdeps finds the package of libTavisor.so.1 when a program
# links it.
set(shlibs ${PROJECT_BINARY_DIR}/debian/shlibs)
file(CONFIGURE OUTPUT ${shlibs} CONTENT
     "libTavisor ${PROJECT_VERSION_MAJOR} ${runtime_package} (>= ${PROJECT_VERSION})\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/packaging/debian/triggers ${shlibs})

# Descriptions: a synopsis line of its own for each package, then the text.
set(about "Tavisor makes up Estonian bird-observation records for a client program
that loads the library at run time and resolves its four exports: records
one at a time, or in batches handed over by producer threads.")
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
    "made-up Estonian bird-observation records - shared library
${about}

This package holds the shared library, libTavisor.so.${PROJECT_VERSION_MAJOR}.")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
    "made-up Estonian bird-observation records - development files
${about}

This package holds what a client is built with: the C++20 headers, a CMake
package (find_package(Tavisor)), a pkg-config file (tavisor) and the
libTavisor.so link.")
set(CPACK_DEBIAN_TOOLS_DESCRIPTION
    "made-up Estonian bird-observation records - reference client
${about}

This package holds tavisor-demo, the reference client, which shows records,
runs producers and writes records to files as JSON Lines, CSV or text, and
the bird and municipality lists it reads (/usr/share/tavisor).")

# What every Debian package carries in /usr/share/doc/<package>: its
# copyright file, the Debian changelog, and in the development package the
# README; and its lintian overrides, each with the reason for it. Only
# package builds install them (EXCLUDE_FROM_ALL); the staging script
# compresses the documentation.
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER ${component} upper)
  set(package ${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  set(docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package})
  get_property(notices GLOBAL PROPERTY TAVISOR_NOTICES_${component})
  tavisor_write_copyright(${PROJECT_BINARY_DIR}/debian/${package}/copyright ${notices})
  install(FILES ${PROJECT_BINARY_DIR}/debian/${package}/copyright DESTINATION ${docdir}
          COMPONENT ${component} EXCLUDE_FROM_ALL)
  install(FILES ${changelog} DESTINATION ${docdir} RENAME changelog.Debian
          COMPONENT ${component} EXCLUDE_FROM_ALL)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME ${package}
          COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/libtavisor-dev
        COMPONENT Development EXCLUDE_FROM_ALL)

include(CPack)
