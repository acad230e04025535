// Initialize again while other threads make records: a reload appends as
// every load does, and records made meanwhile are whole and drawn from the
// first entries, without a crash or (under ThreadSanitizer) a data race.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "api/entry_points.h"
#include "refdata/reference_lists.h"
#include "test_support.h"

namespace tavisor {
namespace {

constexpr int kReloadsPerThread = 150;

std::string SpeciesKey(const std::string& order, const std::string& family, const std::string& name,
                       char rarity) {
  return order + '\n' + family + '\n' + name + '\n' + rarity;
}

// Makes records until `stop`; counts them and the bad ones.
struct RecordMaker {
  const std::set<std::string>& species;
  const std::set<std::string>& places;
  std::atomic<bool>& stop;
  int made = 0;
  int bad = 0;

  void operator()() {
    while (!stop.load()) {
      const std::unique_ptr<Item> pit(NewRandomItem());
      ++made;
      bool ok = species.count(SpeciesKey(pit->order, pit->family, pit->name, pit->rarity)) == 1 &&
                !pit->observations.empty();
      for (const Observation& o : pit->observations) {
        if (const auto* place = std::get_if<std::string>(&std::get<Location>(o))) {
          ok = ok && places.count(*place) == 1;
        }
      }
      bad += ok ? 0 : 1;
    }
  }
};

TEST(Reload, InitializeWhileOtherThreadsMakeRecords) {
  const testing::WorkingDirectory cwd(testing::BundledData());
  // Other tests of this program may have loaded the lists before: count
  // from what is there.
  std::size_t birds_before = 0, communities_before = 0;
  ReadLibraryLists([&](const ReferenceLists& lists) {
    birds_before = lists.birds.size();
    communities_before = lists.communities.size();
  });
  InitializeLibrary();
  ReferenceLists first;  // what one load of the bundled files appends
  ASSERT_EQ(LoadReferenceLists(first, testing::BundledData()), "");
  ASSERT_GE(first.birds.size(), kMinimumSpecies);
  ASSERT_GE(first.communities.size(), kMinimumCommunities);
  std::set<std::string> species, places;
  for (std::size_t i = 0; i < kMinimumSpecies; ++i) {
    const BirdInfo& b = first.birds[i];
    species.insert(SpeciesKey(b.order, b.family, b.name, b.rarity));
  }
  places.insert(first.communities.begin(), first.communities.begin() + kMinimumCommunities);
  const ReferenceLists* const drawn = &DrawnLists();

  std::atomic<bool> stop{false};
  RecordMaker makers[2] = {{species, places, stop}, {species, places, stop}};
  {
    std::vector<std::jthread> threads;
    for (RecordMaker& maker : makers) threads.emplace_back(std::ref(maker));
    // Two threads reload at once: loads wait for each other, not for records.
    std::vector<std::jthread> reloaders;
    std::atomic<int> failed_reloads{0};
    for (int t = 0; t < 2; ++t) {
      reloaders.emplace_back([&] {
        for (int i = 0; i < kReloadsPerThread; ++i) {
          try {
            InitializeLibrary();
          } catch (const std::exception&) {
            ++failed_reloads;
          }
        }
      });
    }
    reloaders.clear();  // joins
    stop = true;
    EXPECT_EQ(failed_reloads.load(), 0);
  }
  for (const RecordMaker& maker : makers) {
    EXPECT_GT(maker.made, 0);
    EXPECT_EQ(maker.bad, 0) << "of " << maker.made;
  }

  // Every reload appended both files whole, behind what was there.
  const std::size_t loads = 1 + 2 * kReloadsPerThread;
  ReadLibraryLists([&](const ReferenceLists& lists) {
    ASSERT_EQ(lists.birds.size(), birds_before + loads * first.birds.size());
    ASSERT_EQ(lists.communities.size(), communities_before + loads * first.communities.size());
    for (std::size_t i = 0; i < loads * first.birds.size(); ++i) {
      const BirdInfo& a = lists.birds[birds_before + i];
      const BirdInfo& b = first.birds[i % first.birds.size()];
      ASSERT_EQ(SpeciesKey(a.order, a.family, a.name, a.rarity),
                SpeciesKey(b.order, b.family, b.name, b.rarity))
          << i;
    }
    for (std::size_t i = 0; i < loads * first.communities.size(); ++i) {
      ASSERT_EQ(lists.communities[communities_before + i],
                first.communities[i % first.communities.size()])
          << i;
    }
  });
  // What records draw from was published once and never moved.
  EXPECT_EQ(&DrawnLists(), drawn);
  EXPECT_EQ(drawn->birds.size(), kMinimumSpecies);
  EXPECT_EQ(drawn->communities.size(), kMinimumCommunities);
}

}  // namespace
}  // namespace tavisor
