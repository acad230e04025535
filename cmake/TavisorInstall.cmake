# Installing Tavisor for client authors:
#
#   cmake --install <build directory> --prefix <dir>
#
# puts in place the library (lib/libTavisor.so; bin/Tavisor.dll with the C++
# runtime DLLs it was built with), the public headers (include/tavisor/) and
# a CMake package (lib/cmake/Tavisor/). A client then does
#
#   find_package(Tavisor 1.0 REQUIRED)
#   target_link_libraries(my_client PRIVATE Tavisor::Tavisor)
#
# for the headers and what a client must be built with, and loads the
# library by name at run time. Tavisor::Library (an imported target) and the
# variable TAVISOR_LIBRARY name the installed library file, to copy beside
# the client or to put on its search path; on Windows TAVISOR_RUNTIME_DLLS
# lists the runtime DLLs that must sit beside the client as well.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TAVISOR_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tavisor)

# What every client must be built with.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  # A client program exports its symbols (as CMake's ENABLE_EXPORTS does):
  # its copy of libstdc++'s barrier/latch wait table is then the one the
  # library uses, so variants B and D can wake it.
  target_link_options(tavisor_headers INTERFACE
    $<$<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>:-rdynamic>)
endif()
if(MINGW)
  # The semaphores the library was built with (see tavisor/build_requirements.h).
  target_compile_definitions(tavisor_headers INTERFACE _GLIBCXX_USE_POSIX_SEMAPHORE=1)
endif()

set_target_properties(tavisor_headers PROPERTIES EXPORT_NAME Tavisor)
set_target_properties(Tavisor PROPERTIES EXPORT_NAME Library)
install(TARGETS Tavisor tavisor_headers EXPORT TavisorTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY include/tavisor DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.h")
if(TAVISOR_RUNTIME_DLLS)
  install(FILES ${TAVISOR_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})
  foreach(dll IN LISTS TAVISOR_RUNTIME_DLLS)
    cmake_path(GET dll FILENAME name)
    list(APPEND TAVISOR_RUNTIME_DLL_NAMES ${name})
  endforeach()
endif()
install(EXPORT TavisorTargets NAMESPACE Tavisor:: DESTINATION ${TAVISOR_INSTALL_CMAKEDIR})

configure_package_config_file(cmake/TavisorConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TavisorConfig.cmake
  INSTALL_DESTINATION ${TAVISOR_INSTALL_CMAKEDIR}
  PATH_VARS CMAKE_INSTALL_BINDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TavisorConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TavisorConfig.cmake
              ${PROJECT_BINARY_DIR}/TavisorConfigVersion.cmake
        DESTINATION ${TAVISOR_INSTALL_CMAKEDIR})
