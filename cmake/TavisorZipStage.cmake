# Run by cpack on the staged tree of the Windows zip (CPACK_PRE_BUILD_SCRIPTS):
# - strips the debugging information from the compiler's runtime DLLs, which
#   Debian ships with it (libstdc++-6.dll: 23 MB, 4 MB without); cpack strips
#   the project's own binaries itself (CPACK_STRIP_FILES);
# - gives every file and directory the time TAVISOR_SOURCE_DATE_EPOCH
#   (cmake/TavisorSourceDate.cmake) instead of that of the build, so that
#   two builds of the same source make the same zip.
foreach(name IN LISTS CPACK_TAVISOR_RUNTIME_DLL_NAMES)
  file(GLOB_RECURSE dlls "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/${name}")
  foreach(dll IN LISTS dlls)
    execute_process(COMMAND ${CPACK_TAVISOR_STRIP} --strip-debug ${dll} RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "${CPACK_TAVISOR_STRIP} --strip-debug ${dll} failed (${rc})")
    endif()
  endforeach()
endforeach()

find_program(touch_command touch)
if(touch_command)
  file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
  execute_process(COMMAND ${touch_command} -h -d @${CPACK_TAVISOR_SOURCE_DATE_EPOCH}
                          "${CPACK_TEMPORARY_INSTALL_DIRECTORY}" ${staged} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "touch -d @${CPACK_TAVISOR_SOURCE_DATE_EPOCH} on the staged files failed (${rc})")
  endif()
endif()
