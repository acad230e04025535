# Every ```cpp block of the README is a complete client program: each is
# compiled and linked on its own, with the flags a client builds with, so
# that an example can no longer drift from the headers. Blocks fenced
# otherwise (```cmake, ```json, plain ```) are left alone.
#   cmake -DREADME=<README.md> -DWORK_DIR=<dir> -DCXX_COMPILER=... "-DCOMPILE_FLAGS=..."
#         "-DLINK_FLAGS=..." [-DEXTRA_LINK=<static libraries>] -P readme_blocks.cmake
# EXTRA_LINK: what an example may use beyond the headers (Tavisor::Records).
cmake_minimum_required(VERSION 3.25)

include(${CMAKE_CURRENT_LIST_DIR}/client_checks.cmake)

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

# Each block goes to block-<line of its fence>.cpp, whose #line directive makes
# the compiler name README.md and its lines.
file(READ ${README} rest)
set(number 0)
set(fence_line "")  # the fence of the block being read
set(in_other FALSE)  # inside a block fenced otherwise
set(blocks "")
while(NOT rest STREQUAL "")
  pop_line(rest line)
  math(EXPR number "${number} + 1")
  string(REGEX REPLACE "\r$" "" line "${line}")
  if(fence_line)
    if(line MATCHES "^```[ \t]*$")
      file(WRITE ${WORK_DIR}/block-${fence_line}.cpp "${code}")
      list(APPEND blocks ${fence_line})
      set(fence_line "")
    else()
      string(APPEND code "${line}\n")
    endif()
  elseif(in_other)
    if(line MATCHES "^```[ \t]*$")
      set(in_other FALSE)
    endif()
  elseif(line MATCHES "^```cpp([ \t].*)?$")
    set(fence_line ${number})
    math(EXPR first "${number} + 1")
    set(code "#line ${first} \"${README}\"\n")
  elseif(line MATCHES "^```")
    set(in_other TRUE)
  endif()
endwhile()
if(fence_line)
  message(FATAL_ERROR "${README}:${fence_line}: the ```cpp block is never closed")
endif()
if(NOT blocks)
  message(FATAL_ERROR "${README} has no ```cpp block")
endif()

set(LINK_FLAGS ${EXTRA_LINK} ${LINK_FLAGS})
set(failures "")
foreach(block IN LISTS blocks)
  compile_client(${WORK_DIR}/block-${block}.cpp ${WORK_DIR}/block-${block})
  if(NOT compiled)
    string(APPEND failures "${README}:${block}: the ```cpp block starting on line ${block} "
                           "does not compile and link as a program:\n${diagnostics}\n")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
list(LENGTH blocks count)
string(REPLACE ";" ", " lines "${blocks}")
message(STATUS "${README}: ${count} ```cpp blocks (lines ${lines}) compile and link")
