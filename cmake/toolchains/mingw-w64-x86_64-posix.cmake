# Cross-builds Tavisor.dll and the test programs as 64-bit Windows programs
# with MinGW-w64, POSIX thread model (std::thread over winpthreads), and runs
# them under Wine when CMake or CTest needs to execute one.
#
#   cmake --preset mingw            (or -DCMAKE_TOOLCHAIN_FILE=<this file>)
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAVISOR_MINGW_TRIPLET x86_64-w64-mingw32)
# The -posix compilers: the -win32 thread model has no std::thread in g++ 12.
set(CMAKE_C_COMPILER ${TAVISOR_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAVISOR_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TAVISOR_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${TAVISOR_MINGW_TRIPLET}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${TAVISOR_MINGW_TRIPLET}-ranlib CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${TAVISOR_MINGW_TRIPLET}-objdump CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${TAVISOR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows programs run through Wine with a prefix of their own inside the
# build directory (created on first use), never the user's ~/.wine.
cmake_path(SET _tavisor_wine_run NORMALIZE "${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine-run.sh")
set(CMAKE_CROSSCOMPILING_EMULATOR ${_tavisor_wine_run} ${CMAKE_BINARY_DIR}/wine-prefix)
