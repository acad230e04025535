// Whether this program and the library share one wait table for
// std::barrier and std::latch.
//
// GCC's libstdc++ (up to g++ 13) wakes the waiters of std::barrier and
// std::latch through a table in inline header code: every module that uses
// them has a copy. A producer in the library counts down or arrives through
// the copy it was bound to when it was loaded; a client waiting through
// another copy is never woken. On Linux the loaded library binds to the
// program's copy when the program exports it (linked with -rdynamic, CMake
// ENABLE_EXPORTS); otherwise it keeps its own.
#pragma once

#include "tavisor/build_requirements.h"

#if defined(__GLIBCXX__) && defined(__linux__) && defined(_GLIBCXX_RELEASE) && \
    _GLIBCXX_RELEASE >= 11 && _GLIBCXX_RELEASE <= 13
#include <dlfcn.h>

#include <atomic>
#define TAVISOR_CHECKS_WAIT_TABLE 1
#endif

namespace tavisor::internal {

// True when the table that this code waits through is the one a library
// loaded into the process uses: the program's own, exported. Always true
// where the question does not arise (other standard libraries); a MinGW
// build cannot share it at all (see VariantUnavailableReason in tavisor/variants.h).
inline bool ProgramSharesWaitTable() {
#if defined(TAVISOR_CHECKS_WAIT_TABLE)
  // The same lookup the dynamic loader makes for the library: the first
  // exported definition in the process's global scope.
  static const bool shared = [] {
    const void* global =
        ::dlsym(RTLD_DEFAULT, "_ZZNSt8__detail18__waiter_pool_base6_S_forEPKvE3__w");
    const void* own = &std::__detail::__waiter_pool_base::_S_for(nullptr);
    return global == own;
  }();
  return shared;
#else
  return true;
#endif
}

}  // namespace tavisor::internal
