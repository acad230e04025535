# Compiler settings shared by every target of the project.

if(MSVC)
  # CMake's default /EHsc lets the compiler assume that extern "C" functions
  # never throw; the exports do (see below).
  string(REPLACE "/EHsc" "" CMAKE_CXX_FLAGS "${CMAKE_CXX_FLAGS}")
endif()

function(tavisor_set_compiler_options target)
  if(MSVC)
    # /EHs, not /EHsc: the exported extern "C" functions throw.
    target_compile_options(${target} PRIVATE /W4 /permissive- /utf-8 /EHs /Zc:__cplusplus)
    # fopen and friends are used as the standard defines them.
    target_compile_definitions(${target} PRIVATE _CRT_SECURE_NO_WARNINGS)
    # The DLL and its clients share one C++ runtime: the DLL form, and the
    # same configuration (a Debug client needs a Debug library).
    set_target_properties(${target} PROPERTIES
      MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>DLL")
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    # Clang checks what guards what (tavisor/internal/thread_annotations.h);
    # with CMAKE_COMPILE_WARNING_AS_ERROR (the clang preset) a member touched
    # without its mutex fails the build.
    if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
      target_compile_options(${target} PRIVATE -Wthread-safety)
    endif()
    # Inline functions keep default visibility: libstdc++'s barrier/latch
    # wait table is a static inside one, and must stay shareable (see
    # cmake/tavisor.map). The version script decides what is exported.
    set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden)
    # No build path in the objects (debug information, __FILE__): a build
    # at another path gives the same bytes. The build directory comes last,
    # so it wins where it lies inside the source tree.
    target_compile_options(${target} PRIVATE -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
                                             -ffile-prefix-map=${PROJECT_BINARY_DIR}=.)
  endif()
  # Every <windows.h> of the project: without the min and max macros, which
  # break std::min and std::max, and without the rarely used APIs.
  if(WIN32)
    target_compile_definitions(${target} PRIVATE NOMINMAX WIN32_LEAN_AND_MEAN)
  endif()
  tavisor_harden(${target})
endfunction()

# Debian's hardening flags (what dpkg-buildflags gives a package build) in
# release builds: the optimizing configurations Release, RelWithDebInfo (the
# default, and what the packages are made from) and MinSizeRel. ELF
# platforms only (-z relro/now are ELF's; MinGW would need libssp for the
# rest). Not in Debug (_FORTIFY_SOURCE needs optimization) nor in sanitizer
# and fuzzer builds, whose instrumentation checks the same calls itself.
function(tavisor_harden target)
  if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang"
     OR TAVISOR_SANITIZE OR TAVISOR_BUILD_FUZZERS)
    return()
  endif()
  set(release $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)
  target_compile_definitions(${target} PRIVATE $<${release}:_FORTIFY_SOURCE=2>)
  target_compile_options(${target} PRIVATE $<${release}:-fstack-protector-strong>)
  target_link_options(${target} PRIVATE $<${release}:LINKER:-z,relro,-z,now>)
endfunction()

# Exports exactly the four entry points from a shared library. On Windows
# only what is marked dllexport leaves the DLL anyway.
function(tavisor_limit_exports target)
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    set(map ${PROJECT_SOURCE_DIR}/cmake/tavisor.map)
    target_link_options(${target} PRIVATE "LINKER:--version-script=${map}"
                                          "LINKER:--no-undefined")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${map})
  endif()
endfunction()
