// The process's first load, while another thread already makes records:
// what records draw from is published only once it is complete. Each check
// runs in a process of its own, where the load is the first.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>

#include "api/entry_points.h"
#include "in_process.h"
#include "items/data_item.h"
#include "refdata/reference_lists.h"
#include "test_support.h"

namespace tavisor {
namespace {

// Loads the lists for the first time while another thread keeps looking at
// what records draw from; exits 0 when that thread only ever saw nothing
// published or the whole first 414 species and 79 municipalities, and a
// record made from them was whole.
[[noreturn]] void FirstLoadWhileLooking() {
  const ReferenceLists* const unpublished = &DrawnLists();
  std::atomic<bool> go{false};
  bool whole = false;
  std::thread looker([&] {
    go = true;
    for (;;) {
      const ReferenceLists& drawn = DrawnLists();
      if (&drawn == unpublished) continue;
      whole = drawn.birds.size() == kMinimumSpecies &&
              drawn.communities.size() == kMinimumCommunities && !drawn.birds.back().name.empty() &&
              !drawn.communities.back().empty();
      const std::unique_ptr<Item> record(MakeItem(DataItem(drawn)));
      whole = whole && !record->name.empty() && !record->observations.empty();
      return;
    }
  });
  while (!go) {
  }
  testing::LoadBundledLists();
  looker.join();
  std::exit(whole ? 0 : 1);
}

TEST(FirstLoadDeathTest, PublishesWhatRecordsDrawFromOnlyWhenComplete) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (int i = 0; i < 10; ++i) {
    EXPECT_EXIT(FirstLoadWhileLooking(), ::testing::ExitedWithCode(0), "") << "process " << i;
  }
}

}  // namespace
}  // namespace tavisor
