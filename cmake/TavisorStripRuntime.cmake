# Run by cpack on the staged tree of the Windows zip (CPACK_PRE_BUILD_SCRIPTS):
# strips the debugging information from the compiler's runtime DLLs, which
# Debian ships with it (libstdc++-6.dll: 23 MB, 4 MB without). cpack strips
# the project's own binaries itself (CPACK_STRIP_FILES).
foreach(name IN LISTS CPACK_TAVISOR_RUNTIME_DLL_NAMES)
  file(GLOB_RECURSE dlls "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/${name}")
  foreach(dll IN LISTS dlls)
    execute_process(COMMAND ${CPACK_TAVISOR_STRIP} --strip-debug ${dll} RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "${CPACK_TAVISOR_STRIP} --strip-debug ${dll} failed (${rc})")
    endif()
  endforeach()
endforeach()
