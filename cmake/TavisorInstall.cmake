# Installing Tavisor for client authors:
#
#   cmake --install <build directory> --prefix <dir>
#
# puts in place the library (lib/<multiarch>/libTavisor.so.1 with its
# development link libTavisor.so on Debian; bin/Tavisor.dll with its import
# library and the C++ runtime DLLs it was built with on Windows), the public
# headers (include/tavisor/), a CMake package (<libdir>/cmake/Tavisor/), a
# pkg-config file (<libdir>/pkgconfig/tavisor.pc), the programs tavisor-demo
# and tavisor-generate with their manual pages, the bundled reference lists,
# the README and the licence. A client then does
#
#   find_package(Tavisor 1.0 REQUIRED)
#   target_link_libraries(my_client PRIVATE Tavisor::Tavisor)
#
# (or `pkg-config --cflags --libs tavisor`) for the headers and what a client
# must be built with, and loads the library by name at run time.
# Tavisor::Library (an imported target) and the variable TAVISOR_LIBRARY name
# the installed library file, to copy beside the client or to put on its
# search path; on Windows TAVISOR_RUNTIME_DLLS lists the runtime DLLs that
# must sit beside the client as well.
#
# Every install rule belongs to one component, and each Debian package holds
# one component's files (debian/<package>.install):
#
#   Runtime        the library (libtavisor1; on Windows also the runtime DLLs)
#   Development    headers, the libTavisor.so link, static libraries, the
#                  CMake package, tavisor.pc (libtavisor-dev)
#   Tools          tavisor-demo, tavisor-generate, their manual pages, the
#                  lists (tavisor-tools)
#   Documentation  README and licence of a plain install and of the zip; each
#                  Debian package carries its own in /usr/share/doc/<package>
#
# A rule that names no component is Development's, so a new header or static
# library goes to the development package without further ado.
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME Development)

# Debian's multiarch library directory (lib/x86_64-linux-gnu). GNUInstallDirs
# chooses it only when the prefix is /usr; the packages are made from this
# build's install rules whatever prefix it was configured with, and below any
# prefix Debian's loader, pkg-config and find_package look there as well.
if(CMAKE_LIBRARY_ARCHITECTURE AND NOT CMAKE_CROSSCOMPILING AND NOT DEFINED CMAKE_INSTALL_LIBDIR
   AND EXISTS /etc/debian_version)
  set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE}
      CACHE PATH "Object code libraries (lib/${CMAKE_LIBRARY_ARCHITECTURE})")
endif()
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TAVISOR_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tavisor)

# What every client must be built with, for the CMake package and tavisor.pc
# alike: TAVISOR_CLIENT_DEFINITIONS for compiling, TAVISOR_CLIENT_LINK_OPTIONS
# for linking a program.
set(TAVISOR_CLIENT_DEFINITIONS "")
set(TAVISOR_CLIENT_LINK_OPTIONS "")
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
  # A client program exports its symbols (as CMake's ENABLE_EXPORTS does):
  # its copy of libstdc++'s barrier/latch wait table is then the one the
  # library uses, so variants B and D can wake it.
  list(APPEND TAVISOR_CLIENT_LINK_OPTIONS -rdynamic)
endif()
if(MINGW)
  # The semaphores the library was built with (see tavisor/build_requirements.h).
  list(APPEND TAVISOR_CLIENT_DEFINITIONS _GLIBCXX_USE_POSIX_SEMAPHORE=1)
endif()
target_compile_definitions(tavisor_headers INTERFACE ${TAVISOR_CLIENT_DEFINITIONS})
foreach(option IN LISTS TAVISOR_CLIENT_LINK_OPTIONS)
  target_link_options(tavisor_headers INTERFACE
    $<$<STREQUAL:$<TARGET_PROPERTY:TYPE>,EXECUTABLE>:${option}>)
endforeach()

set_target_properties(tavisor_headers PROPERTIES EXPORT_NAME Tavisor)
set_target_properties(Tavisor PROPERTIES EXPORT_NAME Library)
# Tavisor::Records: seeded records in-process (tavisor/record_stream.h), a
# static library (lib/libtavisor_records.a) linked into the client.
set_target_properties(tavisor_records PROPERTIES EXPORT_NAME Records)
install(TARGETS Tavisor tavisor_headers tavisor_records EXPORT TavisorTargets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime
                NAMELINK_COMPONENT Development
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development)
install(DIRECTORY include/tavisor DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT Development FILES_MATCHING PATTERN "*.h")
if(TAVISOR_RUNTIME_DLLS)
  install(FILES ${TAVISOR_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
  foreach(dll IN LISTS TAVISOR_RUNTIME_DLLS)
    cmake_path(GET dll FILENAME name)
    list(APPEND TAVISOR_RUNTIME_DLL_NAMES ${name})
  endforeach()
endif()
install(EXPORT TavisorTargets NAMESPACE Tavisor:: DESTINATION ${TAVISOR_INSTALL_CMAKEDIR}
        COMPONENT Development)

configure_package_config_file(cmake/TavisorConfig.cmake.in
  ${PROJECT_BINARY_DIR}/TavisorConfig.cmake
  INSTALL_DESTINATION ${TAVISOR_INSTALL_CMAKEDIR}
  PATH_VARS CMAKE_INSTALL_BINDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/TavisorConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/TavisorConfig.cmake
              ${PROJECT_BINARY_DIR}/TavisorConfigVersion.cmake
        DESTINATION ${TAVISOR_INSTALL_CMAKEDIR} COMPONENT Development)

# pkg-config: tavisor.pc finds its prefix from its own place (${pcfiledir}),
# so the same file serves /usr, any --prefix, an unpacked package and the
# Windows zip. `--libs` gives what a program needs to load the library at run
# time (it is loaded by name, not linked); the variable `library` names the
# installed library file.
set(TAVISOR_PKGCONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
cmake_path(RELATIVE_PATH CMAKE_INSTALL_PREFIX
           BASE_DIRECTORY ${CMAKE_INSTALL_PREFIX}/${TAVISOR_PKGCONFIG_DIR}
           OUTPUT_VARIABLE TAVISOR_PC_TO_PREFIX)
# No -std=: a client chooses its standard, C++20 or later (the headers
# refuse an older one, see tavisor/build_requirements.h), as the CMake
# target's cxx_std_20 minimum does.
set(TAVISOR_PC_CFLAGS "-pthread")
foreach(definition IN LISTS TAVISOR_CLIENT_DEFINITIONS)
  string(APPEND TAVISOR_PC_CFLAGS " -D${definition}")
endforeach()
list(JOIN TAVISOR_CLIENT_LINK_OPTIONS " " TAVISOR_PC_LIBS)
string(APPEND TAVISOR_PC_LIBS " -pthread")
foreach(lib IN LISTS CMAKE_DL_LIBS)
  string(APPEND TAVISOR_PC_LIBS " -l${lib}")
endforeach()
string(STRIP "${TAVISOR_PC_LIBS}" TAVISOR_PC_LIBS)
if(WIN32)
  set(TAVISOR_PC_LIBRARY "\${prefix}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:Tavisor>")
else()
  # The name clients load: the soname.
  set(TAVISOR_PC_LIBRARY "\${prefix}/${CMAKE_INSTALL_LIBDIR}/$<TARGET_SONAME_FILE_NAME:Tavisor>")
endif()
configure_file(cmake/tavisor.pc.in ${PROJECT_BINARY_DIR}/tavisor.pc.in @ONLY)
file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/tavisor.pc INPUT ${PROJECT_BINARY_DIR}/tavisor.pc.in)
install(FILES ${PROJECT_BINARY_DIR}/tavisor.pc DESTINATION ${TAVISOR_PKGCONFIG_DIR}
        COMPONENT Development)

# The bundled reference lists, for the programs. On Windows they sit at the
# top of the tree, in data/ where the programs (in bin/) look for them; on
# Linux in the usual shared place.
if(WIN32)
  set(TAVISOR_INSTALL_DATADIR data)
else()
  set(TAVISOR_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/tavisor)
endif()
install(FILES "data/Eesti linnud.txt" "data/Eesti omavalitsused.txt"
        DESTINATION ${TAVISOR_INSTALL_DATADIR} COMPONENT Tools)
