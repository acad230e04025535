# Windows builds: Tavisor.dll and every program of the build share one C++
# runtime, because records and synchronisation objects cross the DLL boundary
# as native objects. With MinGW that means the runtime DLLs of the compiler
# (libstdc++, libgcc, winpthread), linked dynamically and copied beside the
# programs; every program and Tavisor.dll land in one directory so that the
# loader finds all of them there.
if(NOT WIN32)
  return()
endif()

if(NOT CMAKE_RUNTIME_OUTPUT_DIRECTORY)
  set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
endif()

if(MINGW)
  # Dynamic runtime, stated outright: -static or -static-libstdc++ would give
  # every module a C++ runtime of its own.
  add_link_options(-shared-libgcc)
  # Windows 8 or later: the library waits with WaitOnAddress. The PE headers
  # say so (6.2), and older Windows refuses to load the modules.
  add_link_options(LINKER:--major-os-version=6,--minor-os-version=2
                   LINKER:--major-subsystem-version=6,--minor-subsystem-version=2)
  # The PE time stamps (the header's and the export table's) are the time of
  # the link, or of a strip, unless SOURCE_DATE_EPOCH is set: links run with
  # it set, and so does cpack, which strips (cmake/TavisorPackaging.cmake).
  include(TavisorSourceDate)
  list(PREPEND CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env
       SOURCE_DATE_EPOCH=${TAVISOR_SOURCE_DATE_EPOCH})
  add_compile_definitions(_GLIBCXX_USE_POSIX_SEMAPHORE=1)

  set(_tavisor_runtime_dlls "")
  foreach(dll IN ITEMS libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
      message(FATAL_ERROR "The C++ runtime DLL ${dll} of ${CMAKE_CXX_COMPILER} was not found")
    endif()
    cmake_path(NORMAL_PATH path)
    set(copy ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${dll})
    add_custom_command(OUTPUT ${copy} COMMAND ${CMAKE_COMMAND} -E copy_if_different ${path} ${copy}
                       DEPENDS ${path} COMMENT "Copying ${dll}")
    list(APPEND _tavisor_runtime_dlls ${path})
    list(APPEND _tavisor_runtime_copies ${copy})
  endforeach()
  add_custom_target(tavisor_runtime_dlls ALL DEPENDS ${_tavisor_runtime_copies})
  # The runtime DLLs of the compiler, for installing beside Tavisor.dll, and
  # their licences, for the notices that go with them.
  set(TAVISOR_RUNTIME_DLLS ${_tavisor_runtime_dlls})
  tavisor_add_notice(mingw-runtime COMPONENT Runtime
                     TEXTS ${PROJECT_SOURCE_DIR}/packaging/copyright/GPL-3.txt)

  # Programs run right after linking (test discovery), so the copies must be
  # in place before anything that uses the library's code is linked.
  function(_tavisor_runtime_dlls_first)
    foreach(target IN ITEMS tavisor_core tavisor_headers)
      if(TARGET ${target})
        add_dependencies(${target} tavisor_runtime_dlls)
      endif()
    endforeach()
  endfunction()
  cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL _tavisor_runtime_dlls_first)
endif()
