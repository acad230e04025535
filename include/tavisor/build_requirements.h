// What a program built against these headers must share with the library.
// Every public header includes this one first.
#pragma once

// C++20 at least: the records and the SharedState layouts are built from
// C++20 types (std::stop_token, std::barrier, std::latch, ...). A later
// standard is fine; the build setting is not forced on the client (neither
// tavisor.pc nor the CMake target Tavisor::Tavisor lowers it). MSVC keeps
// __cplusplus at 199711L unless /Zc:__cplusplus is given, so its _MSVC_LANG
// counts there.
#if defined(_MSVC_LANG)
#define TAVISOR_DETAIL_CPLUSPLUS _MSVC_LANG
#else
#define TAVISOR_DETAIL_CPLUSPLUS __cplusplus
#endif
#if TAVISOR_DETAIL_CPLUSPLUS <= 201703L
#error "Tavisor's headers need C++20 or later: compile with -std=c++20 (MSVC: /std:c++20) or newer"
#endif
#undef TAVISOR_DETAIL_CPLUSPLUS

// MinGW-w64 with GCC's libstdc++: std::counting_semaphore and
// std::binary_semaphore, which std::stop_callback also uses internally, must
// run on the POSIX semaphores of winpthreads, in the library and in every
// client alike. The default implementation of g++ 12 keeps its waiters in a
// table in inline header code, one copy per module, so a release in
// Tavisor.dll never wakes a waiter in the client; and without a futex it can
// lose a wake-up even within one module, which leaves a stop request or a
// stop_callback's destruction blocked for ever. The two implementations are
// not interchangeable, so the setting must be the same on both sides:
// Tavisor.dll is built with it, and the CMake target Tavisor::Tavisor passes
// it on to clients.
#if defined(__MINGW32__) && !defined(_GLIBCXX_USE_POSIX_SEMAPHORE)
#error \
    "MinGW clients of Tavisor must be compiled with -D_GLIBCXX_USE_POSIX_SEMAPHORE=1, as the library is (linking the CMake target Tavisor::Tavisor sets it)"
#endif
