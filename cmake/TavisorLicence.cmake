# The licence of an installed tree, and the notices of the code it holds that
# is not Tavisor's own, in the machine-readable Debian copyright format:
# debian/copyright (Tavisor's own files, under the MIT licence, which the
# format calls Expat) is the head of every copyright file; every file in
# packaging/copyright/ is the notice of some code that a part of the build
# installs, registered with tavisor_add_notice().
#
# A plain install and the Windows zip get README.md, LICENSE (LICENSE.txt on
# Windows) and THIRD-PARTY-NOTICES.txt, the copyright file of the whole tree,
# with the licence texts that go with it (component Documentation). Each
# Debian package carries its own copyright file instead: a Linux build
# writes copyright/<component> into the build directory, which debian/rules
# installs.

# tavisor_add_notice(NOTICE COMPONENT <component> [TEXTS <file>...]): the
# component installs code under the terms in packaging/copyright/NOTICE;
# TEXTS are licence texts that must go with it.
function(tavisor_add_notice notice)
  cmake_parse_arguments(arg "" "COMPONENT" "TEXTS" ${ARGN})
  set_property(GLOBAL APPEND PROPERTY TAVISOR_NOTICES ${notice})
  set_property(GLOBAL APPEND PROPERTY TAVISOR_NOTICES_${arg_COMPONENT} ${notice})
  set_property(GLOBAL APPEND PROPERTY TAVISOR_NOTICE_TEXTS ${arg_TEXTS})
endfunction()

# tavisor_write_copyright(OUTPUT [NOTICE...]): the copyright file of a tree
# that holds Tavisor's files and the code of the NOTICEs.
function(tavisor_write_copyright output)
  file(READ ${PROJECT_SOURCE_DIR}/debian/copyright text)
  foreach(notice IN LISTS ARGN)
    file(READ ${PROJECT_SOURCE_DIR}/packaging/copyright/${notice} notice_text)
    string(APPEND text "\n${notice_text}")
  endforeach()
  set(old "")
  if(EXISTS ${output})
    file(READ ${output} old)
  endif()
  if(NOT old STREQUAL text)  # unchanged files keep their time stamps
    file(WRITE ${output} "${text}")
  endif()
endfunction()

# Run at the end of the top directory, when every notice is registered.
function(_tavisor_install_documentation)
  if(WIN32)
    set(docdir .)
    set(licence_name LICENSE.txt)
  else()
    set(docdir ${CMAKE_INSTALL_DATAROOTDIR}/doc/tavisor)
    set(licence_name LICENSE)
  endif()
  install(FILES README.md DESTINATION ${docdir} COMPONENT Documentation)
  install(FILES LICENSE DESTINATION ${docdir} RENAME ${licence_name} COMPONENT Documentation)
  get_property(notices GLOBAL PROPERTY TAVISOR_NOTICES)
  get_property(texts GLOBAL PROPERTY TAVISOR_NOTICE_TEXTS)
  set(notices_file ${PROJECT_BINARY_DIR}/THIRD-PARTY-NOTICES.txt)
  tavisor_write_copyright(${notices_file} ${notices})
  install(FILES ${notices_file} ${texts} DESTINATION ${docdir} COMPONENT Documentation)
  if(NOT WIN32)
    foreach(component IN ITEMS Runtime Development Tools)
      get_property(notices GLOBAL PROPERTY TAVISOR_NOTICES_${component})
      tavisor_write_copyright(${PROJECT_BINARY_DIR}/copyright/${component} ${notices})
    endforeach()
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL _tavisor_install_documentation)
