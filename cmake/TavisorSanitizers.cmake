# Builds every target of the project with the sanitizers named in
# TAVISOR_SANITIZE, e.g. "address;undefined" or "thread" (GCC and Clang).
# Any finding ends the program, so a test that trips one fails.

set(TAVISOR_SANITIZE "" CACHE STRING "Sanitizers for every target: address;undefined or thread")

if(TAVISOR_SANITIZE)
  if(MSVC)
    message(FATAL_ERROR "TAVISOR_SANITIZE is for GCC and Clang builds")
  endif()
  list(JOIN TAVISOR_SANITIZE "," tavisor_sanitizers)
  add_compile_options(-fsanitize=${tavisor_sanitizers} -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${tavisor_sanitizers})
endif()
