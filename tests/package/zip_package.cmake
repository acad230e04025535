# Makes the Windows zip with cpack, unpacks it, runs its tavisor-demo.exe
# under Wine on the lists bundled in it, and builds a client against the
# unpacked tree alone and runs it there.
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DVERSION=... -DEMULATOR=...
#         -DCLIENT_SOURCE_DIR=... -DCXX_COMPILER=... -DGENERATOR=... -DTOOLCHAIN_FILE=...
#         -DLIBDIR=lib -DEXE_SUFFIX=.exe -P zip_package.cmake
# WORK_DIR lies on Wine's drive C:, where the program cannot reach the source
# tree's data/ (its last resort), so only the bundled lists can serve it.
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/package_checks.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
run(${CMAKE_CPACK_COMMAND} --config ${BUILD_DIR}/CPackConfig.cmake -G ZIP
    -B ${WORK_DIR}/packages)
set(name tavisor-${VERSION}-win64)
expect_files(${WORK_DIR}/packages ${name}.zip)
file(ARCHIVE_EXTRACT INPUT ${WORK_DIR}/packages/${name}.zip DESTINATION ${WORK_DIR}/unpacked)
set(top ${WORK_DIR}/unpacked/${name})
expect_public_headers(${top}/include ${SOURCE_DIR})
expect_files(${top} bin/Tavisor.dll lib/libTavisor.dll.a bin/libstdc++-6.dll
             bin/libgcc_s_seh-1.dll bin/libwinpthread-1.dll bin/tavisor-demo.exe
             lib/cmake/Tavisor/TavisorConfig.cmake lib/pkgconfig/tavisor.pc README.md
             LICENSE.txt THIRD-PARTY-NOTICES.txt GPL-3.txt)
# The licence, and the notices of what the zip holds that is not Tavisor's:
# the runtime DLLs (GCC's runtime library exception, winpthreads' licence) and
# the header-only libraries in tavisor-demo.exe.
file(READ ${top}/LICENSE.txt licence)
file(READ ${top}/THIRD-PARTY-NOTICES.txt notices)
foreach(text IN ITEMS "MIT License\n\nCopyright (c) 2026 The Tavisor developers\n"
                      "GCC RUNTIME LIBRARY EXCEPTION" "Files: bin/libstdc++-6.dll bin/libgcc_s_seh-1.dll"
                      "Files: bin/libwinpthread-1.dll" "Copyright: 2011-2016 mingw-w64 project"
                      "Files: *bin/tavisor-demo *bin/tavisor-demo.exe" "License: BSD-3-clause\n")
  string(FIND "${licence}${notices}" "${text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the zip's LICENSE.txt and THIRD-PARTY-NOTICES.txt lack '${text}'")
  endif()
endforeach()
file(READ ${top}/lib/pkgconfig/tavisor.pc pc)
if(NOT pc MATCHES "\nCflags: [^\n]*-D_GLIBCXX_USE_POSIX_SEMAPHORE=1")
  message(FATAL_ERROR "tavisor.pc lacks the MinGW semaphore setting:\n${pc}")
endif()
set(lists "Eesti linnud.txt" "Eesti omavalitsused.txt")
foreach(list IN LISTS lists)
  run(${CMAKE_COMMAND} -E compare_files "${top}/data/${list}" "${SOURCE_DIR}/data/${list}")
endforeach()

# run_demo(OUT_VARIABLE): tavisor-demo.exe as a user starts it from the
# unpacked tree, with no options but one producer batch.
function(run_demo out_var)
  execute_process(COMMAND ${EMULATOR} ${top}/bin/tavisor-demo.exe --batches 1
                  WORKING_DIRECTORY ${top} RESULT_VARIABLE rc OUTPUT_VARIABLE out
                  ERROR_VARIABLE out)
  string(REPLACE "\r\n" "\n" out "${out}")
  set(${out_var} "${rc}: ${out}" PARENT_SCOPE)
endfunction()

# Without the bundled lists the program finds none: nothing else serves it.
file(RENAME ${top}/data ${top}/data-aside)
run_demo(result)
if(result MATCHES "Generator in DLL started")
  message(FATAL_ERROR "tavisor-demo.exe found lists outside the package:\n${result}")
endif()
file(RENAME ${top}/data-aside ${top}/data)
run_demo(result)
if(NOT result MATCHES "^0: .*Generator in DLL started\n")
  message(FATAL_ERROR "tavisor-demo.exe from the zip:\n${result}")
endif()
message(STATUS "tavisor-demo.exe from ${name}.zip:\n${result}")

# A client built against the unpacked zip alone, with Tavisor.dll and the
# runtime DLLs copied beside it, on the bundled lists.
build_cmake_client(${top} client)
run_client(${client} ${top}/data)
file(REMOVE_RECURSE ${WORK_DIR})
