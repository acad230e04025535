# Checks the Debian packages that deb_build.cmake made (in DEB_DIR) with
# lintian, checks what they hold, installs them with dpkg into a root with a
# package database of its own (the system stays as it is) and uses them there
# as a client author would: clients built with pkg-config (C++20 and C++23)
# and with find_package, each run on the installed library and lists, and
# the installed tavisor-demo. Then it removes the packages one by one: a
# client keeps working with the library package alone, and nothing is left
# behind.
#   cmake -DDEB_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DCLIENT_SOURCE_DIR=...
#         -DCXX_COMPILER=... -DGENERATOR=... -DVERSION=... -DNM=... -DLINTIAN=...
#         -DLIBDIR=<lib/multiarch> -P deb_package.cmake
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/package_checks.cmake)

if(NOT LINTIAN)
  message(FATAL_ERROR "lintian is missing: run scripts/install-deps.sh")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
string(REGEX MATCH "^[0-9]+" major "${VERSION}")
set(runtime libtavisor${major})
set(packages ${runtime} libtavisor-dev tavisor-tools)
# The binaries get their debugging information in automatic -dbgsym
# packages; the development package has none to give.
set(dbgsym_packages ${runtime}-dbgsym tavisor-tools-dbgsym)
set(debs "")
foreach(package IN LISTS packages dbgsym_packages)
  file(GLOB deb ${DEB_DIR}/${package}_${VERSION}-*.deb)
  if(NOT deb)
    message(FATAL_ERROR "dpkg-buildpackage made no ${package} package of version ${VERSION}")
  endif()
  set(${package}_deb ${deb})
endforeach()
foreach(package IN LISTS packages)
  list(APPEND debs ${${package}_deb})
endforeach()
file(GLOB all_debs ${DEB_DIR}/*.deb)
list(LENGTH all_debs count)
if(NOT count EQUAL 5)
  message(FATAL_ERROR "dpkg-buildpackage made ${count} packages: ${all_debs}")
endif()

# Debian's checks, on the source package and all binary packages: any error
# or warning that no override in debian/ excuses (each override says why)
# fails the test.
file(GLOB changes ${DEB_DIR}/*.changes)
run(${LINTIAN} --fail-on error,warning ${changes})
message(STATUS "lintian: ${output}")
file(STRINGS ${changes} files_line REGEX "\\.dsc$")
if(NOT files_line)
  message(FATAL_ERROR "${changes} lists no source package")
endif()

# Dependencies: dpkg-shlibdeps' for the binaries, the exact library version
# for the other two, and no libedit, zlib or SQLite for the library.
# Multi-Arch: the library and its development files of several
# architectures install side by side; the tools serve any architecture.
run(dpkg-deb --field ${${runtime}_deb} Version)
string(STRIP "${output}" deb_version)
expect_deb_fields(${${runtime}_deb} "Depends: libc6 [^\n]*libstdc\\+\\+6"
                  "!Depends: [^\n]*(libedit|zlib|sqlite)" "Multi-Arch: same\n")
expect_deb_fields(${libtavisor-dev_deb} "Depends: ${runtime} \\(= ${deb_version}\\)\n"
                  "Multi-Arch: same\n")
expect_deb_fields(${tavisor-tools_deb} "Depends: [^\n]*${runtime} \\(= ${deb_version}\\)"
                  "Depends: [^\n]*libedit" "Depends: [^\n]*libdeflate0"
                  "Depends: [^\n]*libzstd1" "Depends: [^\n]*libsqlite3-0"
                  "Multi-Arch: foreign\n")
# The library package: an ldconfig trigger, a shlibs file and a symbols file
# with the exports, no maintainer scripts (in none of the packages).
foreach(deb IN LISTS debs)
  run(dpkg-deb --info ${deb})
  if(output MATCHES "lines +\\*? *(preinst|postinst|prerm|postrm|config) ")
    message(FATAL_ERROR "${deb} has a maintainer script (${CMAKE_MATCH_1}):\n${output}")
  endif()
endforeach()
run(dpkg-deb --info ${${runtime}_deb} triggers)
if(NOT output MATCHES "\nactivate-noawait ldconfig\n$")
  message(FATAL_ERROR "triggers of ${runtime}:\n${output}")
endif()
run(dpkg-deb --info ${${runtime}_deb} shlibs)
expect_equal("${output}" "libTavisor ${major} ${runtime} (>= ${VERSION})\n" "shlibs of ${runtime}")
run(dpkg-deb --info ${${runtime}_deb} symbols)
foreach(export IN ITEMS Initialize GetItem GetTestItem Start)
  if(NOT output MATCHES "\n ${export}@Base ")
    message(FATAL_ERROR "the symbols file of ${runtime} lacks ${export}:\n${output}")
  endif()
endforeach()

# Installed into a root of its own. Its package database knows nothing of
# libc6 and the other system packages, hence --force-depends.
set(root ${WORK_DIR}/root)
set(usr ${root}/usr)
set(dpkg dpkg --root=${root} --force-not-root --force-depends)
file(MAKE_DIRECTORY ${root}/var/lib/dpkg/info ${root}/var/lib/dpkg/updates)
file(TOUCH ${root}/var/lib/dpkg/status)
run(${dpkg} --install ${debs})

# What each package holds: the library alone in the library package;
# headers, links for development and static libraries in the -dev package.
set(lib ${usr}/${LIBDIR})
run(objdump -p ${lib}/libTavisor.so.${major})
if(NOT output MATCHES "SONAME +libTavisor\\.so\\.${major}\n")
  message(FATAL_ERROR "the library's soname is not libTavisor.so.${major}:\n${output}")
endif()
expect_public_headers(${usr}/include ${SOURCE_DIR})
expect_files(${usr} ${LIBDIR}/libTavisor.so ${LIBDIR}/libtavisor_records.a
             ${LIBDIR}/pkgconfig/tavisor.pc ${LIBDIR}/cmake/Tavisor/TavisorConfig.cmake
             bin/tavisor-demo share/man/man1/tavisor-demo.1.gz
             bin/tavisor-generate share/man/man1/tavisor-generate.1.gz
             share/doc/libtavisor-dev/README.md.gz)
# The example client, as this test builds it.
foreach(file IN ITEMS client.cpp CMakeLists.txt)
  run(${CMAKE_COMMAND} -E compare_files ${usr}/share/doc/libtavisor-dev/examples/${file}
                                        ${CLIENT_SOURCE_DIR}/${file})
endforeach()
foreach(package IN LISTS packages)
  expect_files(${usr} share/doc/${package}/changelog.Debian.gz share/doc/${package}/changelog.gz)
  file(READ ${usr}/share/doc/${package}/copyright copyright)
  foreach(line IN ITEMS "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
                        "Copyright: 2026 The Tavisor developers" "License: Expat\n Permission")
    string(FIND "${copyright}" "${line}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${package}'s copyright file lacks '${line}':\n${copyright}")
    endif()
  endforeach()
  run(dpkg-deb --contents ${${package}_deb})
  set(${package}_contents "${output}")
endforeach()
# The notices of the code of others that the programs hold follow in their
# package's copyright file; the library holds Tavisor's code alone.
file(READ ${usr}/share/doc/tavisor-tools/copyright copyright)
string(FIND "${copyright}" "\nFiles: *bin/tavisor-demo *bin/tavisor-demo.exe *bin/tavisor-generate " at)
if(at EQUAL -1)
  message(FATAL_ERROR "tavisor-tools' copyright file lacks the notices of the programs:\n${copyright}")
endif()
run(${CMAKE_COMMAND} -E compare_files ${usr}/share/doc/${runtime}/copyright
                                      ${SOURCE_DIR}/debian/copyright)
if(NOT "${${runtime}_contents}" MATCHES "libTavisor\\.so\\.${major}\\.[0-9.]+\n"
   OR "${${runtime}_contents}" MATCHES "/include/|\\.a\n|libTavisor\\.so ->|/bin/")
  message(FATAL_ERROR "${runtime} holds more or less than the library:\n${${runtime}_contents}")
endif()
if("${tavisor-tools_contents}" MATCHES "/include/|\\.a\n|/lib/")
  message(FATAL_ERROR "tavisor-tools holds development files:\n${tavisor-tools_contents}")
endif()
set(lists "Eesti linnud.txt" "Eesti omavalitsused.txt")
foreach(list IN LISTS lists)
  run(${CMAKE_COMMAND} -E compare_files "${usr}/share/tavisor/${list}" "${SOURCE_DIR}/data/${list}")
endforeach()

# Stripped as Debian strips: no debugging information and no .comment in the
# binaries (it is in the -dbgsym packages, found by build ID) nor in the
# static library; no run path in the programs, which the loader serves from
# its default directories.
set(programs ${usr}/bin/tavisor-demo ${usr}/bin/tavisor-generate)
set(binaries ${lib}/libTavisor.so.${major} ${programs})
foreach(file IN LISTS binaries ITEMS ${lib}/libtavisor_records.a)
  run(objdump -h ${file})
  if(output MATCHES "[ .](debug_[a-z]+|comment)[ \n]")
    message(FATAL_ERROR "${file} keeps its .${CMAKE_MATCH_1} section:\n${output}")
  endif()
endforeach()
foreach(program IN LISTS programs)
  run(objdump -p ${program})
  if(output MATCHES "R(UN)?PATH")
    message(FATAL_ERROR "${program} has a run path:\n${output}")
  endif()
endforeach()
foreach(binary IN LISTS binaries)
  run(readelf -n ${binary})
  if(NOT output MATCHES "Build ID: ([0-9a-f][0-9a-f])([0-9a-f]+)")
    message(FATAL_ERROR "${binary} has no build ID:\n${output}")
  endif()
  set(debug_file usr/lib/debug/.build-id/${CMAKE_MATCH_1}/${CMAKE_MATCH_2}.debug)
  run(dpkg-deb --contents ${${runtime}-dbgsym_deb})
  set(contents "${output}")
  run(dpkg-deb --contents ${tavisor-tools-dbgsym_deb})
  string(FIND "${contents}${output}" "./${debug_file}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "no -dbgsym package holds ${debug_file} of ${binary}")
  endif()
endforeach()

# pkg-config, finding only the installed package (the .pc file locates the
# prefix from its own place). It sets no language standard.
set(pkg_config_env PKG_CONFIG_LIBDIR=${lib}/pkgconfig PKG_CONFIG_PATH=)
run(${CMAKE_COMMAND} -E env ${pkg_config_env} pkg-config --modversion tavisor)
expect_equal("${output}" "${VERSION}\n" "pkg-config --modversion")
run(${CMAKE_COMMAND} -E env ${pkg_config_env} pkg-config --variable=library tavisor)
string(STRIP "${output}" library)
cmake_path(NORMAL_PATH library)
expect_equal("${library}" "${lib}/libTavisor.so.${major}" "pkg-config --variable=library")
run(${CMAKE_COMMAND} -E env ${pkg_config_env} pkg-config --cflags --libs tavisor)
separate_arguments(flags UNIX_COMMAND "${output}")
foreach(flag IN ITEMS -pthread -rdynamic)
  if(NOT flag IN_LIST flags)
    message(FATAL_ERROR "pkg-config --cflags --libs lacks ${flag}: ${flags}")
  endif()
endforeach()
if(output MATCHES "-std=")
  message(FATAL_ERROR "pkg-config --cflags sets the language standard: ${output}")
endif()
set(include_flags ${flags})
list(FILTER include_flags INCLUDE REGEX "^-I")
list(TRANSFORM include_flags REPLACE "^-I" "")
cmake_path(NORMAL_PATH include_flags OUTPUT_VARIABLE include_dir)
expect_equal("${include_dir}" "${usr}/include" "pkg-config --cflags' include path")

# Clients of C++20 and C++23 (2b: clang 14 knows C++23 only by that name);
# the headers refuse C++17 with a clear message.
foreach(standard IN ITEMS 20 2b)
  set(client ${WORK_DIR}/pkg_config_client_cxx${standard})
  run(${CXX_COMPILER} -std=c++${standard} ${CLIENT_SOURCE_DIR}/client.cpp -o ${client} ${flags})
  expect_symbols_exported(${NM} ${client})
  # The loader finds the library where the package put it.
  run_client(${client} ${usr}/share/tavisor LD_LIBRARY_PATH=${lib})
endforeach()
execute_process(COMMAND ${CXX_COMPILER} -std=c++17 -fsyntax-only -Wfatal-errors ${flags}
                        ${CLIENT_SOURCE_DIR}/client.cpp
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(rc EQUAL 0 OR NOT out MATCHES "Tavisor's headers need C\\+\\+20 or later")
  message(FATAL_ERROR "a C++17 client is not refused by the headers (${rc}):\n${out}")
endif()

# find_package, finding only the installed package.
build_cmake_client(${usr} cmake_client)
expect_symbols_exported(${NM} ${cmake_client})
run_client(${cmake_client} ${usr}/share/tavisor)  # its run path names the library's directory

# The installed reference client on the installed lists, one producer batch.
# It finds the lists in ../share/tavisor without being told; the library is
# where the loader looks once the package is installed in /, here in ${lib}.
execute_process(COMMAND ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${lib} ${usr}/bin/tavisor-demo --batches 1
                WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE rc OUTPUT_VARIABLE out
                ERROR_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT out MATCHES "Generator in DLL started\n")
  message(FATAL_ERROR "installed tavisor-demo (${rc}):\n${out}")
endif()
# The installed tavisor-generate: random records on the installed lists,
# and the test records from the library.
foreach(args IN ITEMS "3;--seed;1" "--test")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${lib}
                          ${usr}/bin/tavisor-generate ${args}
                  WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE rc OUTPUT_VARIABLE out
                  ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "^{\"record\":1,")
    message(FATAL_ERROR "installed tavisor-generate ${args} (${rc}):\n${out}${err}")
  endif()
endforeach()

# With the library package alone, a client built earlier still runs. A
# library of another major version is refused: the client looks for the
# soname of its own. (Where the system has the library installed, the
# loader would find that one instead: both checks need it absent.)
run(${dpkg} --remove libtavisor-dev tavisor-tools)
set(client ${WORK_DIR}/pkg_config_client_cxx20)
execute_process(COMMAND /sbin/ldconfig -p OUTPUT_VARIABLE cache)
if(cache MATCHES "libTavisor\\.so\\.${major} ")
  message(STATUS "libTavisor.so.${major} is installed on this system: "
                 "the checks of the library package alone are skipped")
else()
  run_client(${client} ${SOURCE_DIR}/data LD_LIBRARY_PATH=${lib})
  math(EXPR other_major "${major} + 1")
  set(other ${WORK_DIR}/other-major)
  file(MAKE_DIRECTORY ${other})
  file(COPY_FILE ${lib}/libTavisor.so.${major} ${other}/libTavisor.so.${other_major})
  file(CREATE_LINK libTavisor.so.${other_major} ${other}/libTavisor.so SYMBOLIC)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LD_LIBRARY_PATH=${other} ${client}
                  WORKING_DIRECTORY ${SOURCE_DIR}/data RESULT_VARIABLE rc
                  OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(rc EQUAL 0 OR NOT out MATCHES "Tavisor library \"libTavisor\\.so\\.${major}\" cannot be loaded")
    message(FATAL_ERROR "a client loaded a library of major version ${other_major} (${rc}):\n${out}")
  endif()
endif()

# Removed, the packages leave no files and no half-removed state ("rc")
# behind; purging then finds nothing more to do.
run(${dpkg} --remove ${runtime})
run(dpkg --root=${root} --list)
if(output MATCHES "\n[a-z][a-z] +(libtavisor|tavisor)")
  message(FATAL_ERROR "dpkg still lists packages after their removal:\n${output}")
endif()
run(${dpkg} --purge ${packages})
file(GLOB_RECURSE left LIST_DIRECTORIES true RELATIVE ${root} ${root}/*)
list(FILTER left EXCLUDE REGEX "^var(/|$)")
if(left)
  message(FATAL_ERROR "the removed packages left behind: ${left}")
endif()
message(STATUS "the packages ${debs} pass lintian, install, serve their clients and go")
file(REMOVE_RECURSE ${WORK_DIR})
