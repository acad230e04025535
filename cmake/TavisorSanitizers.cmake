# The sanitizers of a build come from its preset (CMakePresets.json: asan,
# tsan), which sets the compiler and linker flags for every target and names
# them in TAVISOR_SANITIZE, e.g. "address;undefined" or "thread", so that the
# project can leave out what does not run under them.

set(TAVISOR_SANITIZE "" CACHE STRING "The sanitizers the preset builds with: address;undefined or thread")

if(TAVISOR_SANITIZE AND MSVC)
  message(FATAL_ERROR "TAVISOR_SANITIZE is for GCC and Clang builds")
endif()
