# Makes the Debian package with cpack, unpacks it into a fresh root
# (dpkg-deb -x) and uses it there as a client author would: a client built
# with pkg-config, one built with find_package, each run on the packaged
# library and lists, and the packaged tavisor-demo.
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DCLIENT_SOURCE_DIR=...
#         -DCXX_COMPILER=... -DGENERATOR=... -DVERSION=... -DNM=... -P deb_package.cmake
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/package_checks.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
run(${CMAKE_CPACK_COMMAND} --config ${BUILD_DIR}/CPackConfig.cmake -G DEB
    -B ${WORK_DIR}/packages)
file(GLOB deb ${WORK_DIR}/packages/*.deb)
list(LENGTH deb count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "cpack made ${count} .deb files: ${deb}")
endif()

# Metadata: the project's version, and the run-time dependencies that
# dpkg-shlibdeps found in the binaries.
run(dpkg-deb --field ${deb} Package Version Depends)
foreach(pattern IN ITEMS "Package: tavisor\n" "Version: ${VERSION}\n" "Depends: [^\n]*libc6"
                         "Depends: [^\n]*libstdc\\+\\+6")
  if(NOT output MATCHES "${pattern}")
    message(FATAL_ERROR "package fields do not match '${pattern}':\n${output}")
  endif()
endforeach()

set(root ${WORK_DIR}/root)
set(usr ${root}/usr)
run(dpkg-deb -x ${deb} ${root})
expect_public_headers(${usr}/include ${SOURCE_DIR})
expect_files(${usr} lib/libTavisor.so lib/pkgconfig/tavisor.pc
             lib/cmake/Tavisor/TavisorConfig.cmake bin/tavisor-demo share/doc/tavisor/README.md)
set(lists "Eesti linnud.txt" "Eesti omavalitsused.txt")
foreach(list IN LISTS lists)
  run(${CMAKE_COMMAND} -E compare_files "${usr}/share/tavisor/${list}" "${SOURCE_DIR}/data/${list}")
endforeach()

# pkg-config, finding only the unpacked package (the .pc file locates the
# prefix from its own place).
set(pkg_config_env PKG_CONFIG_LIBDIR=${usr}/lib/pkgconfig PKG_CONFIG_PATH=)
run(${CMAKE_COMMAND} -E env ${pkg_config_env} pkg-config --modversion tavisor)
if(NOT output STREQUAL "${VERSION}\n")
  message(FATAL_ERROR "pkg-config --modversion: ${output}")
endif()
run(${CMAKE_COMMAND} -E env ${pkg_config_env} pkg-config --variable=library tavisor)
string(STRIP "${output}" library)
cmake_path(NORMAL_PATH library)
if(NOT library STREQUAL "${usr}/lib/libTavisor.so")
  message(FATAL_ERROR "pkg-config --variable=library: ${library}")
endif()
run(${CMAKE_COMMAND} -E env ${pkg_config_env} pkg-config --cflags --libs tavisor)
separate_arguments(flags UNIX_COMMAND "${output}")
foreach(flag IN ITEMS -std=c++20 -pthread -rdynamic)
  if(NOT flag IN_LIST flags)
    message(FATAL_ERROR "pkg-config --cflags --libs lacks ${flag}: ${flags}")
  endif()
endforeach()
list(FILTER flags INCLUDE REGEX "^-I")
list(TRANSFORM flags REPLACE "^-I" "")
cmake_path(NORMAL_PATH flags OUTPUT_VARIABLE include_dir)
if(NOT include_dir STREQUAL "${usr}/include")
  message(FATAL_ERROR "pkg-config --cflags gives the include path ${flags}")
endif()
run(${CMAKE_COMMAND} -E env ${pkg_config_env} pkg-config --cflags --libs tavisor)
separate_arguments(flags UNIX_COMMAND "${output}")
set(pc_client ${WORK_DIR}/pkg_config_client)
run(${CXX_COMPILER} ${CLIENT_SOURCE_DIR}/client.cpp -o ${pc_client} ${flags})
expect_symbols_exported(${NM} ${pc_client})
# The loader finds the library where the package put it.
run_client(${pc_client} ${usr}/share/tavisor LD_LIBRARY_PATH=${usr}/lib)

# find_package, finding only the unpacked package.
run(${CMAKE_COMMAND} -S ${CLIENT_SOURCE_DIR} -B ${WORK_DIR}/client -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DCMAKE_PREFIX_PATH=${usr}
    -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF
    -DCMAKE_FIND_USE_CMAKE_SYSTEM_PATH=OFF)
file(STRINGS ${WORK_DIR}/client/CMakeCache.txt tavisor_dir REGEX "^Tavisor_DIR:")
if(NOT tavisor_dir STREQUAL "Tavisor_DIR:PATH=${usr}/lib/cmake/Tavisor")
  message(FATAL_ERROR "find_package found another Tavisor: ${tavisor_dir}")
endif()
run(${CMAKE_COMMAND} --build ${WORK_DIR}/client)
set(cmake_client ${WORK_DIR}/client/package_client)
expect_symbols_exported(${NM} ${cmake_client})
run_client(${cmake_client} ${usr}/share/tavisor)  # its run path names the library's directory

# The packaged reference client on the packaged lists, one producer batch.
# It finds the library through its run path ($ORIGIN/../lib) and the lists
# in ../share/tavisor, without being told.
execute_process(COMMAND ${usr}/bin/tavisor-demo --batches 1
                WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE rc OUTPUT_VARIABLE out
                ERROR_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "Generator in DLL started\n")
  message(FATAL_ERROR "packaged tavisor-demo (${rc}):\n${out}")
endif()
message(STATUS "the package ${deb} installs and serves its clients")
file(REMOVE_RECURSE ${WORK_DIR})
