# Compiler settings shared by every target of the project.

function(tavisor_set_compiler_options target)
  if(MSVC)
    # /EHs, not /EHsc: the exported extern "C" functions throw.
    target_compile_options(${target} PRIVATE /W4 /permissive- /utf-8 /EHs)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    # Inline functions keep default visibility: libstdc++'s barrier/latch
    # wait table is a static inside one, and must stay shareable (see
    # cmake/tavisor.map). The version script decides what is exported.
    set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden)
  endif()
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
