// A program linked without exports keeps its wait table to itself even
// when another module of the process exports one: loaded with RTLD_GLOBAL
// before the library, that module's copy is the one the library would bind
// to, not the program's. Its own process: ProgramSharesWaitTable() answers
// once, on its first call, which must come after the module is loaded.
#include <gtest/gtest.h>

#include "tavisor/internal/wait_table.h"

#if defined(TAVISOR_CHECKS_WAIT_TABLE)
#include <dlfcn.h>
#endif

namespace tavisor {
namespace {

TEST(ForeignWaitTable, AnotherModulesExportedTableIsNotTheProgramsOwn) {
#if !defined(TAVISOR_CHECKS_WAIT_TABLE)
  GTEST_SKIP() << "this standard library shares its wait table without exports";
#else
  void* const module = ::dlopen(TAVISOR_WAIT_TABLE_MODULE, RTLD_NOW | RTLD_GLOBAL);
  ASSERT_NE(module, nullptr) << ::dlerror();
  // The module's copy is in the process's global scope now.
  ASSERT_NE(::dlsym(RTLD_DEFAULT, "_ZZNSt8__detail18__waiter_pool_base6_S_forEPKvE3__w"), nullptr);
  EXPECT_FALSE(internal::ProgramSharesWaitTable());
#endif
}

}  // namespace
}  // namespace tavisor
