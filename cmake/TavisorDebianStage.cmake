# Run by cpack on the staged trees of the Debian packages
# (CPACK_PRE_BUILD_SCRIPTS), before it packs them:
# - compresses the manual pages and the documentation (all but the copyright
#   files) with `gzip -9n`, as Debian does;
# - runs dpkg-shlibdeps on the library and makes what it found the Depends
#   of the library package (cmake/TavisorPackaging.cmake says why cpack does
#   not run it there);
# - drops the project's summary, which cpack would put above the synopsis
#   line that each package's description starts with.
unset(CPACK_PACKAGE_DESCRIPTION_SUMMARY)

file(GLOB_RECURSE docs LIST_DIRECTORIES false
     "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/usr/share/man/*"
     "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/usr/share/doc/*")
list(FILTER docs EXCLUDE REGEX "/copyright$|\\.gz$")
foreach(doc IN LISTS docs)
  execute_process(COMMAND gzip -9n ${doc} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "gzip -9n ${doc} failed (${rc})")
  endif()
endforeach()

set(stage "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/${CPACK_TAVISOR_RUNTIME_COMPONENT}")
file(GLOB_RECURSE libraries LIST_DIRECTORIES false "${stage}/usr/lib/*.so.*")
list(FILTER libraries EXCLUDE REGEX "\\.so\\.[0-9]+$")  # the soname links
if(NOT libraries)
  message(FATAL_ERROR "no shared library in ${stage}")
endif()
# dpkg-shlibdeps wants to run in a source tree: one with debian/control.
set(work "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/shlibdeps")
file(MAKE_DIRECTORY "${work}/debian")
file(TOUCH "${work}/debian/control")
execute_process(COMMAND dpkg-shlibdeps -O ${libraries} WORKING_DIRECTORY "${work}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(REMOVE_RECURSE "${work}")
if(NOT rc EQUAL 0 OR NOT out MATCHES "shlibs:Depends=([^\n]+)")
  message(FATAL_ERROR "dpkg-shlibdeps -O ${libraries} failed (${rc}):\n${out}${err}")
endif()
string(TOUPPER ${CPACK_TAVISOR_RUNTIME_COMPONENT} component)
set(CPACK_DEBIAN_${component}_PACKAGE_DEPENDS "${CMAKE_MATCH_1}")
