#include <gtest/gtest.h>

#include <memory>

#include "api/entry_points.h"
#include "testdata/test_item_table.h"

namespace tavisor {
namespace {

using namespace std::chrono;

struct EntryCase {
  int index;
  const char* name;
  const char* order;
  const char* family;
  std::size_t observations;
};

class TestItemEntryTest : public ::testing::TestWithParam<EntryCase> {};

TEST_P(TestItemEntryTest, HasItsFixedHeading) {
  const EntryCase& c = GetParam();
  std::unique_ptr<Item> item(NewTestItem(c.index));
  EXPECT_EQ(item->name, c.name);
  EXPECT_EQ(item->order, c.order);
  EXPECT_EQ(item->family, c.family);
  EXPECT_EQ(item->rarity, 'A');
  EXPECT_EQ(item->observations.size(), c.observations);
  EXPECT_TRUE(TestItemTable()[static_cast<std::size_t>(c.index)].GetDllObservations().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, TestItemEntryTest,
    ::testing::Values(EntryCase{0, "\xD5\xF5netuvi", "tuvilised", "tuvilased", 1},
                      EntryCase{1, "\xD5\xF5netuvi", "tuvilised", "tuvilased", 1},
                      EntryCase{2, "\xD5\xF5netuvi", "tuvilised", "tuvilased", 1},
                      EntryCase{3, "\xD5\xF5netuvi", "tuvilised", "tuvilased", 1},
                      EntryCase{4, "\xD5\xF5netuvi", "tuvilised", "tuvilased", 1},
                      EntryCase{5, "\xD5\xF5netuvi", "tuvilised", "tuvilased", 1},
                      EntryCase{6, "Lasuurtihane", "v\xE4rvulised", "tihaslased", 1},
                      EntryCase{7, "Suur-turteltuvi", "tuvilised", "tuvilased", 1},
                      EntryCase{8, "Rukkir\xE4\xE4k", "kurelised", "ruiklased", 1},
                      EntryCase{9, "Sookurg", "kurelised", "kurglased", 1},
                      EntryCase{10, "Mudatilder", "kurvitsalised", "kurvitslased", 3},
                      EntryCase{11, "Kaelustuvi (meigas)", "tuvilised", "tuvilased", 1},
                      EntryCase{12, "Kiivitaja (harilik kiivitaja", "kurvitsalised", "t\xFClllased",
                                3},
                      EntryCase{13, "Suur\xE4nn", "kurvitsalised", "\xE4nlased", 1},
                      EntryCase{14, "Musttihane", "v\xE4rvulised", "tihaslased", 3},
                      EntryCase{15, "Naerukajakas", "kurvitsalised", "kajaklased", 4},
                      EntryCase{16, "Musttihane", "v\xE4rvulised", "tihaslased", 1}),
    [](const auto& info) { return "entry" + std::to_string(info.param.index); });

// One row per observation: entry, position, place (name, or six numbers),
// date, hours and minutes, count (0: none).
struct SightingCase {
  int entry;
  std::size_t position;
  const char* community;  // nullptr: coordinates
  Coordinates coordinates;
  year_month_day date;
  int hours, minutes;
  int count;
};

class TestItemSightingTest : public ::testing::TestWithParam<SightingCase> {};

TEST_P(TestItemSightingTest, HoldsItsFixedSighting) {
  const SightingCase& c = GetParam();
  std::unique_ptr<Item> item(NewTestItem(c.entry));
  ASSERT_LT(c.position, item->observations.size());
  const auto& [location, ymd, hms, count] = item->observations[c.position];
  if (c.community != nullptr) {
    ASSERT_EQ(location.index(), 0u);
    EXPECT_EQ(std::get<0>(location), c.community);
  } else {
    ASSERT_EQ(location.index(), 1u);
    EXPECT_EQ(std::get<1>(location).latitude, c.coordinates.latitude);
    EXPECT_EQ(std::get<1>(location).longitude, c.coordinates.longitude);
  }
  EXPECT_EQ(ymd, c.date);
  EXPECT_EQ(hms.to_duration(), hours(c.hours) + minutes(c.minutes));
  EXPECT_EQ(count, c.count == 0 ? std::nullopt : std::optional<std::int32_t>(c.count));
}

const Coordinates kNone;
Coordinates At(int a, int b, int c, int d, int e, int f) { return Coordinates(a, b, c, d, e, f); }

INSTANTIATE_TEST_SUITE_P(
    Table, TestItemSightingTest,
    ::testing::Values(
        SightingCase{0, 0, "V\xF5ru vald", kNone, year{2025} / 9 / 17, 16, 40, 1},
        SightingCase{1, 0, "V\xF5ru vald", kNone, year{2025} / 9 / 17, 16, 40, 0},
        SightingCase{2, 0, "V\xF5ru vald", kNone, year{2025} / 9 / 16, 16, 40, 1},
        SightingCase{3, 0, nullptr, At(58, 50, 35, 25, 27, 0), year{2025} / 8 / 7, 7, 20, 0},
        SightingCase{4, 0, nullptr, At(58, 50, 35, 25, 27, 0), year{2025} / 8 / 7, 17, 4, 0},
        SightingCase{5, 0, nullptr, At(58, 50, 35, 25, 23, 0), year{2025} / 8 / 7, 10, 40, 0},
        SightingCase{6, 0, "N\xF5o vald", kNone, year{2024} / 1 / 10, 11, 20, 4},
        SightingCase{7, 0, nullptr, At(59, 10, 53, 23, 48, 40), year{2024} / 7 / 13, 19, 10, 2},
        SightingCase{8, 0, "J\xE4rva vald", kNone, year{2024} / 6 / 12, 1, 30, 1},
        SightingCase{9, 0, nullptr, At(58, 44, 0, 23, 42, 0), year{2024} / 9 / 13, 19, 10, 0},
        SightingCase{10, 0, nullptr, At(58, 34, 43, 26, 7, 32), year{2020} / 5 / 11, 6, 17, 0},
        SightingCase{10, 1, "Vinni vald", kNone, year{2019} / 7 / 8, 12, 26, 6},
        SightingCase{10, 2, nullptr, At(58, 56, 5, 23, 28, 20), year{2020} / 7 / 11, 11, 27, 0},
        SightingCase{11, 0, "J\xE4rva vald", kNone, year{2021} / 5 / 27, 18, 20, 2},
        SightingCase{12, 0, nullptr, At(58, 4, 3, 22, 31, 19), year{2020} / 4 / 6, 16, 52, 10},
        SightingCase{12, 1, nullptr, At(59, 3, 28, 24, 21, 42), year{2023} / 5 / 6, 16, 11, 0},
        SightingCase{12, 2, nullptr, At(59, 58, 54, 25, 20, 26), year{2021} / 6 / 11, 11, 27, 8},
        SightingCase{13, 0, "Ruhnu vald", kNone, year{2024} / 12 / 11, 16, 55, 7},
        SightingCase{14, 0, "Tallinna linn", kNone, year{2020} / 2 / 11, 12, 17, 0},
        SightingCase{14, 1, "Tallinna linn", kNone, year{2021} / 1 / 8, 9, 11, 1},
        SightingCase{14, 2, "Tallinna linn", kNone, year{2020} / 2 / 11, 9, 27, 2},
        SightingCase{15, 0, nullptr, At(59, 21, 55, 24, 43, 5), year{2020} / 11 / 11, 7, 5, 0},
        SightingCase{15, 1, nullptr, At(59, 35, 40, 23, 30, 24), year{2023} / 8 / 19, 12, 47, 0},
        SightingCase{15, 2, "Vormsi vald", kNone, year{2023} / 3 / 23, 11, 36, 0},
        // The impossible 31 April is handed out as stored.
        SightingCase{15, 3, "Loksa linn", kNone, year{2021} / 4 / 31, 18, 12, 0},
        SightingCase{16, 0, "Tartu linn", kNone, year{2024} / 12 / 17, 12, 12, 0}),
    [](const auto& info) {
      return "entry" + std::to_string(info.param.entry) + "_sighting" +
             std::to_string(info.param.position + 1);
    });

TEST(TestItemTable, HasTwentySixSightingsInAll) {
  std::size_t total = 0;
  for (const DataItem& entry : TestItemTable()) total += entry.GetObservations().size();
  EXPECT_EQ(total, 26u);
}

TEST(GetTestItem, SameIndexGivesSeparateEqualItems) {
  std::unique_ptr<Item> a(NewTestItem(12)), b(NewTestItem(12));
  EXPECT_NE(a.get(), b.get());
  EXPECT_EQ(a->name, b->name);
  EXPECT_EQ(a->observations.size(), b->observations.size());
  a->observations.clear();
  EXPECT_EQ(b->observations.size(), 3u);
}

TEST(GetTestItem, IndexOutsideTheTableIsRefusedWithTheRange) {
  for (const std::int32_t n : {-1, 17, 1000, INT32_MIN, INT32_MAX}) {
    try {
      std::unique_ptr<Item> item(NewTestItem(n));
      ADD_FAILURE() << "index " << n << " accepted";
    } catch (const std::out_of_range& e) {
      EXPECT_NE(std::string(e.what()).find("0 to 16"), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace tavisor
