#include <gtest/gtest.h>

#include <memory>

#include "items/data_item.h"

namespace tavisor {
namespace {

using namespace std::chrono;

struct TimeCase {
  int h, m, s;
  long hours, minutes, seconds;
};

class MakeTimeTest : public ::testing::TestWithParam<TimeCase> {};

TEST_P(MakeTimeTest, CarriesMinutesAndSecondsWithoutWrappingHours) {
  const TimeCase& c = GetParam();
  const TimeOfDay t = MakeTime(c.h, c.m, c.s);
  EXPECT_FALSE(t.is_negative());
  EXPECT_EQ(t.hours().count(), c.hours);
  EXPECT_EQ(t.minutes().count(), c.minutes);
  EXPECT_EQ(t.seconds().count(), c.seconds);
  EXPECT_EQ(t.subseconds().count(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Carry, MakeTimeTest,
    ::testing::Values(TimeCase{5, 60, 0, 6, 0, 0}, TimeCase{5, 10, 60, 5, 11, 0},
                      TimeCase{23, 60, 60, 24, 1, 0}, TimeCase{0, 0, 0, 0, 0, 0},
                      TimeCase{16, 40, 0, 16, 40, 0}, TimeCase{23, 59, 60, 24, 0, 0}));

TEST(MakeTime, NegativeTotalSetsTheFlag) {
  const TimeOfDay t = MakeTime(0, -1, 0);
  EXPECT_TRUE(t.is_negative());
  EXPECT_EQ(t.minutes().count(), 1);
}

TEST(Location, DefaultHoldsAnEmptyName) {
  const Location location;
  EXPECT_EQ(location.index(), 0u);
  EXPECT_EQ(std::get<0>(location), "");
}

TEST(Location, TakesTheSixNumbersOfDllCoordinates) {
  Location location = std::string("Tartu linn");
  const DllCoordinates g(Coordinates(58, 1, 2, 26, 3, 4));
  location = g;
  ASSERT_EQ(location.index(), 1u);
  EXPECT_EQ(std::get<1>(location).latitude, Angle(58, 1, 2));
  EXPECT_EQ(std::get<1>(location).longitude, Angle(26, 3, 4));
}

TEST(DataItem, MadeFromValuesHasNoLibrarySideObservationsEvenWhenCopied) {
  const DataItem original(
      "o", "f", "N ", 'A',
      {Observation{std::string("V"), year{2020} / 1 / 2, MakeTime(1, 2, 3), 4}});
  const DataItem copy = original;  // NOLINT(performance-unnecessary-copy-initialization)
  EXPECT_TRUE(copy.GetDllObservations().empty());
  EXPECT_EQ(copy.GetObservations().size(), 1u);
}

TEST(MakeItem, CopiesThePublicMembersAndStaysIndependent) {
  std::unique_ptr<Item> item;
  {
    const DataItem dit(
        "selts", "sugukond", "Nimi ", 'B',
        {Observation{std::string("Vald"), year{2021} / 4 / 31, MakeTime(9, 5, 0), std::nullopt},
         Observation{Coordinates(58, 1, 2, 26, 3, 4), year{1999} / 12 / 1, MakeTime(0, 0, 0), 7}});
    item.reset(MakeItem(dit));
    item->observations.clear();
    EXPECT_EQ(dit.GetObservations().size(), 2u);  // the record is untouched
    item.reset(MakeItem(dit));
  }
  // The record is gone; the Item is whole.
  EXPECT_EQ(item->order, "selts");
  EXPECT_EQ(item->family, "sugukond");
  EXPECT_EQ(item->name, "Nimi ");
  EXPECT_EQ(item->rarity, 'B');
  ASSERT_EQ(item->observations.size(), 2u);
  EXPECT_EQ(std::get<0>(std::get<0>(item->observations[0])), "Vald");
  EXPECT_EQ(std::get<1>(item->observations[0]), year{2021} / 4 / 31);
  EXPECT_EQ(std::get<3>(item->observations[1]), 7);
}

// GetItem and the producers hand their records over by moving: the Item
// must be the one that copying gives, long strings included.
TEST(MakeItem, FromARecordAboutToGoGivesTheSameItemAsCopying) {
  const DataItem original("v\xE4rvulised", "vindilised", "Pikk nimi, pikem kui \xFChegi puhvris ",
                          'C',
                          {Observation{std::string("Kohtla-J\xE4rve linn, pikk nimi"),
                                       year{2000} / 2 / 29, MakeTime(23, 60, 60), 3},
                           Observation{Coordinates(59, 59, 59, 28, 0, 0), year{1950} / 1 / 1,
                                       MakeTime(0, 0, 0), std::nullopt}});
  const std::unique_ptr<Item> copied(MakeItem(original));
  DataItem expiring = original;
  const std::unique_ptr<Item> moved(MakeItem(std::move(expiring)));
  EXPECT_EQ(moved->order, copied->order);
  EXPECT_EQ(moved->family, copied->family);
  EXPECT_EQ(moved->name, copied->name);
  EXPECT_EQ(moved->rarity, copied->rarity);
  ASSERT_EQ(moved->observations.size(), copied->observations.size());
  for (std::size_t i = 0; i < copied->observations.size(); ++i) {
    const Observation& m = moved->observations[i];
    const Observation& c = copied->observations[i];
    ASSERT_EQ(std::get<0>(m).index(), std::get<0>(c).index());
    if (const auto* place = std::get_if<std::string>(&std::get<0>(c))) {
      EXPECT_EQ(std::get<std::string>(std::get<0>(m)), *place);
    } else {
      EXPECT_EQ(std::get<Coordinates>(std::get<0>(m)).latitude,
                std::get<Coordinates>(std::get<0>(c)).latitude);
      EXPECT_EQ(std::get<Coordinates>(std::get<0>(m)).longitude,
                std::get<Coordinates>(std::get<0>(c)).longitude);
    }
    EXPECT_EQ(std::get<1>(m), std::get<1>(c));
    EXPECT_EQ(std::get<2>(m).to_duration(), std::get<2>(c).to_duration());
    EXPECT_EQ(std::get<3>(m), std::get<3>(c));
  }
}

TEST(MakeItem, EmptyRecordGivesEmptyItem) {
  const DataItem empty("", "", "", '\0', {});
  std::unique_ptr<Item> item(MakeItem(empty));
  EXPECT_EQ(item->name, "");
  EXPECT_EQ(item->rarity, '\0');
  EXPECT_TRUE(item->observations.empty());
}

}  // namespace
}  // namespace tavisor
