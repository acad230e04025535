#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "items/data_item.h"
#include "items/random_engines.h"
#include "items/random_record.h"
#include "refdata/reference_lists.h"
#include "reference_record.h"

namespace tavisor {
namespace {

using testing::Draws;
using testing::ReferenceRecord;

using namespace std::chrono;

// A catalogue of 500 species and 100 communities, each recognisable by its
// position, so that draws beyond 413 and 78 would show.
std::string Numbered(std::string prefix, int i, std::string_view suffix = {}) {
  prefix.append(std::to_string(i)).append(suffix);
  return prefix;
}

ReferenceLists NumberedLists() {
  ReferenceLists lists;
  for (int i = 0; i < 500; ++i) {
    lists.birds.push_back({Numbered("o", i), Numbered("f", i), Numbered("Bird", i, " "),
                           static_cast<char>('A' + i % 5)});
  }
  for (int i = 0; i < 100; ++i) lists.communities.push_back(Numbered("Vald", i));
  return lists;
}

int Position(const std::string& text, std::size_t prefix) { return std::stoi(text.substr(prefix)); }

bool SameTime(const TimeOfDay& a, const TimeOfDay& b) { return a.to_duration() == b.to_duration(); }

TEST(Generator, DrawsInTheDocumentedOrder) {
  const ReferenceLists lists = NumberedLists();
  constexpr std::mt19937::result_type kSeed = 20251208;
  RecordEngines engines(kSeed);
  std::mt19937 item(kSeed), coord(kSeed), date(kSeed);
  for (int r = 0; r < 300; ++r) {
    const DataItem dit(lists, engines);
    const Item expected = ReferenceRecord(lists, item, coord, date);
    std::unique_ptr<Item> got(MakeItem(dit));
    ASSERT_EQ(got->name, expected.name) << "record " << r;
    ASSERT_EQ(got->rarity, expected.rarity);
    ASSERT_EQ(got->observations.size(), expected.observations.size());
    for (std::size_t i = 0; i < expected.observations.size(); ++i) {
      const Observation& g = got->observations[i];
      const Observation& e = expected.observations[i];
      ASSERT_EQ(std::get<0>(g).index(), std::get<0>(e).index());
      if (std::get<0>(e).index() == 0) {
        EXPECT_EQ(std::get<0>(std::get<0>(g)), std::get<0>(std::get<0>(e)));
      } else {
        EXPECT_EQ(std::get<1>(std::get<0>(g)).latitude, std::get<1>(std::get<0>(e)).latitude);
        EXPECT_EQ(std::get<1>(std::get<0>(g)).longitude, std::get<1>(std::get<0>(e)).longitude);
      }
      EXPECT_EQ(std::get<1>(g), std::get<1>(e));
      EXPECT_TRUE(SameTime(std::get<2>(g), std::get<2>(e)));
      EXPECT_EQ(std::get<3>(g), std::get<3>(e));
    }
  }
}

// Statistics over a large sample; every bound is many standard deviations
// wide, so the test cannot flake.
TEST(Generator, RecordsStayInRangeAndReachBothEnds) {
  const ReferenceLists lists = NumberedLists();
  std::set<int> species, communities, lat_degrees, lon_degrees, arc_values, years, sightings;
  std::map<int, int> counts;
  long total = 0, counted = 0, at_coordinates = 0, after_midnight = 0;
  for (int r = 0; r < 20000; ++r) {
    const DataItem dit(lists);
    const auto& obs = dit.GetObservations();
    const auto& dll = dit.GetDllObservations();
    ASSERT_GE(obs.size(), 1u);
    ASSERT_LE(obs.size(), 15u);
    ASSERT_EQ(obs.size(), dll.size());
    sightings.insert(static_cast<int>(obs.size()));
    species.insert(Position(dit.GetOrder(), 1));
    for (std::size_t i = 0; i < obs.size(); ++i) {
      const auto& [location, ymd, hms, count] = obs[i];
      const auto& [dll_location, dll_ymd, dll_hms, dll_count] = dll[i];
      ASSERT_EQ(location.index(), dll_location.index());
      if (location.index() == 0) {
        ASSERT_EQ(std::get<0>(location), std::get<0>(dll_location));
        communities.insert(Position(std::get<0>(location), 4));
      } else {
        const Coordinates& c = std::get<1>(location);
        ASSERT_EQ(c.latitude, std::get<1>(dll_location).latitude);
        ASSERT_EQ(c.longitude, std::get<1>(dll_location).longitude);
        lat_degrees.insert(std::get<0>(c.latitude));
        lon_degrees.insert(std::get<0>(c.longitude));
        for (int v : {std::get<1>(c.latitude), std::get<2>(c.latitude), std::get<1>(c.longitude),
                      std::get<2>(c.longitude)}) {
          arc_values.insert(v);
        }
        ++at_coordinates;
      }
      ASSERT_EQ(ymd, dll_ymd);
      ASSERT_EQ(hms.to_duration(), dll_hms.to_duration());
      ASSERT_EQ(count, dll_count);
      ASSERT_TRUE(ymd.ok()) << int(ymd.year()) << "-" << unsigned(ymd.month()) << "-"
                            << unsigned(ymd.day());
      years.insert(int(ymd.year()));
      ASSERT_FALSE(hms.is_negative());
      ASSERT_LE(hms.to_duration(), hours(24) + minutes(1));
      if (hms.hours() == hours(24)) ++after_midnight;
      if (count) {
        ++counted;
        ++counts[*count];
      }
      ++total;
    }
  }
  EXPECT_EQ(*species.begin(), 0);
  EXPECT_EQ(*species.rbegin(), 413);
  EXPECT_EQ(*communities.begin(), 0);
  EXPECT_EQ(*communities.rbegin(), 78);
  EXPECT_EQ(sightings, (std::set<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}));
  EXPECT_EQ(lat_degrees, (std::set<int>{57, 58, 59}));
  EXPECT_EQ(lon_degrees, (std::set<int>{21, 22, 23, 24, 25, 26, 27, 28}));
  EXPECT_EQ(arc_values.size(), 60u);
  EXPECT_EQ(*arc_values.begin(), 0);
  EXPECT_EQ(*arc_values.rbegin(), 59);
  EXPECT_EQ(*years.begin(), 1950);
  EXPECT_EQ(*years.rbegin(), 2025);
  EXPECT_EQ(counts.size(), 10u);
  EXPECT_EQ(counts.begin()->first, 1);
  EXPECT_EQ(counts.rbegin()->first, 10);
  EXPECT_GT(after_midnight, 0);
  EXPECT_NEAR(static_cast<double>(counted) / total, 0.5, 0.05);
  EXPECT_NEAR(static_cast<double>(at_coordinates) / total, 0.5, 0.05);
}

TEST(Generator, DaysAreFittedIntoTheirMonth) {
  std::map<unsigned, unsigned> last_day_seen;  // month -> largest day
  std::set<int> leap_feb29_years;
  for (int i = 0; i < 200000; ++i) {
    const year_month_day ymd = RandomDate();
    ASSERT_TRUE(ymd.ok());
    const unsigned m = unsigned(ymd.month());
    last_day_seen[m] = std::max(last_day_seen[m], unsigned(ymd.day()));
    if (m == 2 && unsigned(ymd.day()) == 29) leap_feb29_years.insert(int(ymd.year()));
  }
  EXPECT_EQ(last_day_seen[2], 29u);
  for (unsigned m : {4u, 6u, 9u, 11u}) EXPECT_EQ(last_day_seen[m], 30u) << m;
  for (unsigned m : {1u, 3u, 5u, 7u, 8u, 10u, 12u}) EXPECT_EQ(last_day_seen[m], 31u) << m;
  for (int y : leap_feb29_years) EXPECT_TRUE(year{y}.is_leap()) << y;
}

TEST(Generator, TimesNeverShowSixtyMinutesOrSeconds) {
  bool saw_midnight_carry = false;
  for (int i = 0; i < 300000; ++i) {
    const TimeOfDay t = RandomTime();
    ASSERT_LT(t.minutes().count(), 60);
    ASSERT_LT(t.seconds().count(), 60);
    ASSERT_LE(t.to_duration(), hours(24) + minutes(1));
    if (t.hours().count() == 24) saw_midnight_carry = true;
  }
  EXPECT_TRUE(saw_midnight_carry);
}

TEST(Generator, DefaultCoordinatesStayInsideTheBox) {
  for (int i = 0; i < 5000; ++i) {
    const DllCoordinates c;
    ASSERT_GE(std::get<0>(c.latitude), 57);
    ASSERT_LE(std::get<0>(c.latitude), 59);
    ASSERT_GE(std::get<0>(c.longitude), 21);
    ASSERT_LE(std::get<0>(c.longitude), 28);
  }
}

TEST(Generator, ListsTooShortEndGenerationThroughTheHandler) {
  ReferenceLists lists;  // empty: the species position is outside
  ::testing::internal::CaptureStdout();
  const DataItem dit(lists);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("Creating of item failed", 0), 0u) << out;
  EXPECT_EQ(out.back(), '\n');
  std::unique_ptr<Item> item(MakeItem(dit));
  EXPECT_EQ(item->name, "");
  EXPECT_EQ(item->rarity, '\0');
  EXPECT_TRUE(item->observations.empty());
}

TEST(Generator, ThreadsMakingRecordsAtOnceGetValidRecords) {
  const ReferenceLists lists = NumberedLists();
  std::vector<std::thread> threads;
  std::atomic<int> bad{0};
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 3000; ++i) {
        const DataItem dit(lists);
        const auto obs = dit.GetObservations();
        if (obs.empty() || obs.size() > 15 || obs.size() != dit.GetDllObservations().size()) ++bad;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(bad.load(), 0);
}

// Threads that start from the same engine state at the same moment must
// still be dealt different words: a record is about a hundred draws, so two
// equal records mean two threads were handed the same engine output.
TEST(Generator, ThreadsMakingRecordsAtOnceShareNoDraws) {
  const ReferenceLists lists = NumberedLists();
  constexpr int kThreads = 4;
  constexpr int kRecords = 2000;
  RecordEngines engines(7);
  std::barrier start(kThreads);
  std::vector<std::vector<std::string>> made(kThreads);
  std::atomic<int> invalid{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      for (int i = 0; i < kRecords; ++i) {
        const DataItem dit(lists, engines);
        const auto& obs = dit.GetObservations();
        if (obs.empty() || obs.size() > 15 || obs.size() != dit.GetDllObservations().size() ||
            Position(dit.GetOrder(), 1) > 413) {
          ++invalid;
        }
        for (const auto& [location, ymd, hms, count] : obs) {
          if (!ymd.ok() || (location.index() == 0 && Position(std::get<0>(location), 4) > 78)) {
            ++invalid;
          }
        }
        made[t].push_back(Draws(dit.GetName(), obs));
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(invalid.load(), 0);
  std::map<std::string, int> maker;
  int shared = 0;
  for (int t = 0; t < kThreads; ++t) {
    for (const std::string& draws : made[t]) {
      const auto [it, first] = maker.emplace(draws, t);
      if (!first && it->second != t) ++shared;
    }
  }
  EXPECT_EQ(shared, 0) << "records repeated by another thread";
}

// A thread that holds unused words of other engines (the library's, or a
// set of the same seed) must drop them: on new engines it sees their
// sequence from its first value.
TEST(Generator, NewEnginesAreSeenFromTheirFirstValue) {
  const ReferenceLists lists = NumberedLists();
  constexpr std::mt19937::result_type kSeed = 99;
  for (int r = 0; r < 3; ++r) const DataItem before(lists);  // leaves words unused
  {
    RecordEngines same_seed(kSeed);
    for (int r = 0; r < 3; ++r) const DataItem before(lists, same_seed);
  }
  RecordEngines engines(kSeed);
  std::mt19937 item(kSeed), coord(kSeed), date(kSeed);
  for (int r = 0; r < 50; ++r) {
    const DataItem dit(lists, engines);
    const Item expected = ReferenceRecord(lists, item, coord, date);
    ASSERT_EQ(Draws(dit.GetName(), dit.GetObservations()),
              Draws(expected.name, expected.observations))
        << "record " << r;
  }
}

}  // namespace
}  // namespace tavisor
