# Makes the Windows zip with cpack, unpacks it, runs its tavisor-demo.exe
# under Wine on the lists bundled in it, and builds a client against the
# unpacked tree alone and runs it there.
#   cmake -DBUILD_DIR=... -DSOURCE_DIR=... -DWORK_DIR=... -DVERSION=... -DEMULATOR=...
#         -DCLIENT_SOURCE_DIR=... -DCXX_COMPILER=... -DGENERATOR=... -DTOOLCHAIN_FILE=...
#         -DLIBDIR=lib -DEXE_SUFFIX=.exe -DOBJDUMP=... -P zip_package.cmake
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
             bin/tavisor-generate.exe
             lib/cmake/Tavisor/TavisorConfig.cmake lib/pkgconfig/tavisor.pc README.md
             LICENSE.txt THIRD-PARTY-NOTICES.txt GPL-3.txt)
# The licence, and the notices of what the zip holds that is not Tavisor's:
# the runtime DLLs (GCC's runtime library exception, winpthreads' licence),
# the header-only libraries and zlib in the programs.
file(READ ${top}/LICENSE.txt licence)
file(READ ${top}/THIRD-PARTY-NOTICES.txt notices)
foreach(text IN ITEMS "MIT License\n\nCopyright (c) 2026 The Tavisor developers\n"
                      "GCC RUNTIME LIBRARY EXCEPTION" "Files: bin/libstdc++-6.dll bin/libgcc_s_seh-1.dll"
                      "Files: bin/libwinpthread-1.dll" "Copyright: 2011-2016 mingw-w64 project"
                      "Files: *bin/tavisor-demo *bin/tavisor-demo.exe" "License: BSD-3-clause\n"
                      "Files: bin/tavisor-demo.exe bin/tavisor-generate.exe\nCopyright: 1995-2022 Jean-loup Gailly and Mark Adler"
                      "License: Zlib\n This software")
  string(FIND "${licence}${notices}" "${text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the zip's LICENSE.txt and THIRD-PARTY-NOTICES.txt lack '${text}'")
  endif()
endforeach()
# pe_time_stamp(FILE OUT_VARIABLE): the time stamp in the PE header of FILE
# (the 32-bit TimeDateStamp, 8 bytes into the header that the DOS header's
# e_lfanew points to), in seconds since 1970.
function(pe_time_stamp file out_var)
  set(offset 60)
  foreach(field IN ITEMS header stamp)
    file(READ ${file} bytes OFFSET ${offset} LIMIT 4 HEX)
    string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" big_endian "${bytes}")
    math(EXPR offset "0x${big_endian} + 8")
  endforeach()
  math(EXPR stamp "0x${big_endian}")
  set(${out_var} ${stamp} PARENT_SCOPE)
endfunction()

# A library linked statically into Tavisor's own binaries leaves its
# copyright string there more often than not (zlib does): each one found
# must name holders that the notices name.
file(GLOB binaries ${top}/bin/Tavisor.dll ${top}/bin/tavisor-*.exe)
foreach(binary IN LISTS binaries)
  file(STRINGS ${binary} copyrights REGEX "Copyright ")
  foreach(line IN LISTS copyrights)
    if(NOT line MATCHES "Copyright (\\([Cc]\\) )?[0-9]+(-[0-9]+)?,? ([A-Za-z][^\n]*[A-Za-z.])")
      continue()
    endif()
    string(FIND "${notices}" "${CMAKE_MATCH_3}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${binary} holds \"${line}\", but THIRD-PARTY-NOTICES.txt does not "
                          "name ${CMAKE_MATCH_3}: add its notice (cmake/TavisorLicence.cmake)")
    endif()
  endforeach()
endforeach()
# Windows 8 or later (the library waits with WaitOnAddress), as the PE
# headers say; and their time stamp is the source's date, not the build's.
set(PROJECT_SOURCE_DIR ${SOURCE_DIR})
include(${SOURCE_DIR}/cmake/TavisorSourceDate.cmake)
foreach(binary IN LISTS binaries)
  run(${OBJDUMP} -p ${binary})
  foreach(field IN ITEMS "MajorOSystemVersion\t6" "MinorOSystemVersion\t2"
                         "MajorSubsystemVersion\t6" "MinorSubsystemVersion\t2")
    if(NOT output MATCHES "\n${field}\n")
      message(FATAL_ERROR "${binary}: no '${field}' in its PE header:\n${output}")
    endif()
  endforeach()
  pe_time_stamp(${binary} stamp)
  expect_equal("${stamp}" "${TAVISOR_SOURCE_DATE_EPOCH}" "${binary}'s PE time stamp")
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
