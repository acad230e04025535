// The Estonian print-out, byte for byte. Texts are Windows-1252 bytes;
// literals are split after each escape so that no digit joins it.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "items/data_item.h"
#include "refdata/reference_lists.h"
#include "tavisor/text.h"
#include "test_support.h"
#include "testdata/test_item_table.h"

namespace tavisor {
namespace {

using namespace std::chrono;
using Count = std::optional<std::int32_t>;

DllObservation Sighting(DllLocation place, year_month_day date, TimeOfDay time, Count count) {
  return {std::move(place), date, time, count};
}

DllLocation At(int a, int b, int c, int d, int e, int f) {
  return DllCoordinates(Coordinates(a, b, c, d, e, f));
}

template <class Observations>
std::string Printed(const std::string& name, char rarity, const Observations& observations) {
  std::ostringstream out;
  WriteRecord(out, name, "kurvitsalised", "kurvitslased", rarity, observations);
  return out.str();
}

const std::vector<DllObservation> kWorkedExample = {
    Sighting(At(58, 34, 43, 26, 7, 32), year{2020} / 5 / 11, MakeTime(6, 17, 0), std::nullopt),
    Sighting(std::string("Vinni vald"), year{2019} / 7 / 8, MakeTime(12, 26, 0), 6),
};

const char* const kWorkedExampleText =
    "Mudatilder  (selts: kurvitsalised, sugukond: kurvitslased)\n"
    "1)Asukoht: 58\xB0"
    "34'43\" N 26\xB0"
    "7'32\" E\n"
    "Vaatlus toimus: 06:17:00 11-05-2020\n"
    "Lindude arvu ei \xF5nnestunud kokku lugeda\n"
    "2)Asukoht: Vinni vald\n"
    "Vaatlus toimus: 12:26:00 08-07-2019\n"
    "N\xE4htud 6 lindu\n"
    "\n";

TEST(PrintOut, WorkedExampleByteForByte) {
  EXPECT_EQ(Printed("Mudatilder ", 'A', kWorkedExample), kWorkedExampleText);
}

TEST(PrintOut, ClientItemPrintsTheWorkedExampleToo) {
  std::vector<Observation> observations;
  for (const auto& [place, date, time, count] : kWorkedExample) {
    Location location;
    if (place.index() == 0) {
      location = std::get<0>(place);
    } else {
      location = std::get<1>(place);
    }
    observations.emplace_back(location, date, time, count);
  }
  const Item item("kurvitsalised", "kurvitslased", "Mudatilder ", 'A', observations);
  std::ostringstream out;
  out << item;
  EXPECT_EQ(out.str(), kWorkedExampleText);
}

TEST(TextForms, ExamplesOfEachForm) {
  const DllCoordinates c(Coordinates(58, 44, 0, 26, 7, 32));
  EXPECT_EQ(c.LatitudeText(),
            "58\xB0"
            "44'0\" N");
  EXPECT_EQ(c.LongitudeText(),
            "26\xB0"
            "7'32\" E");
  EXPECT_EQ(LatitudeText(Coordinates(-1, 0, 59, 0, 0, 0)),
            "-1\xB0"
            "0'59\" N");
  EXPECT_EQ(DateText(year{2025} / 8 / 7), "07-08-2025");
  EXPECT_EQ(DateText(year{2021} / 4 / 31), "31-04-2021");
  EXPECT_EQ(DateText(year{999} / 8 / 7), "07-08-999");
  EXPECT_EQ(DateText(year{2024} / 12 / 10), "10-12-2024");
  EXPECT_EQ(TimeText(MakeTime(23, 60, 60)), "24:01:00");
  EXPECT_EQ(TimeText(MakeTime(0, 0, 0)), "00:00:00");
  EXPECT_EQ(TimeText(MakeTime(9, 5, 7)), "09:05:07");
  EXPECT_EQ(TimeText(MakeTime(0, -1, 0)), "-00:01:00");
}

struct HeadingCase {
  char rarity;
  const char* suffix;
};

class HeadingTest : public ::testing::TestWithParam<HeadingCase> {};

TEST_P(HeadingTest, OnlyCapitalAIsCommon) {
  const std::vector<DllObservation> none;
  EXPECT_EQ(Printed("Mudatilder ", GetParam().rarity, none),
            std::string("Mudatilder  (selts: kurvitsalised, sugukond: kurvitslased)") +
                GetParam().suffix + "\n\n");
}

INSTANTIATE_TEST_SUITE_P(Rarity, HeadingTest,
                         ::testing::Values(HeadingCase{'A', ""}, HeadingCase{'a', " HARULDUS"},
                                           HeadingCase{'H', " HARULDUS"},
                                           HeadingCase{'\0', " HARULDUS"}));

struct CountCase {
  Count count;
  const char* line;
};

class CountLineTest : public ::testing::TestWithParam<CountCase> {};

TEST_P(CountLineTest, ThirdLineOfAnObservation) {
  const std::vector<DllObservation> one = {
      Sighting(std::string("Tartu linn"), year{2020} / 1 / 2, MakeTime(3, 4, 5), GetParam().count)};
  const std::string text = Printed("X ", 'A', one);
  EXPECT_EQ(text, std::string("X  (selts: kurvitsalised, sugukond: kurvitslased)\n"
                              "1)Asukoht: Tartu linn\n"
                              "Vaatlus toimus: 03:04:05 02-01-2020\n") +
                      GetParam().line + "\n\n");
}

INSTANTIATE_TEST_SUITE_P(
    Counts, CountLineTest,
    ::testing::Values(CountCase{1, "N\xE4htud 1 lind"}, CountCase{0, "N\xE4htud 0 lindu"},
                      CountCase{2, "N\xE4htud 2 lindu"}, CountCase{10, "N\xE4htud 10 lindu"},
                      CountCase{-1, "N\xE4htud -1 lindu"},
                      CountCase{std::nullopt, "Lindude arvu ei \xF5nnestunud kokku lugeda"}));

TEST(PrintOut, NumbersObservationsFromOneWithoutBlankBeforeAsukoht) {
  std::vector<DllObservation> ten;
  for (int i = 0; i < 10; ++i) {
    ten.push_back(Sighting(std::string(" Vald  ") + std::to_string(i), year{2000} / 1 / 1,
                           MakeTime(0, 0, 0), 1));
  }
  const std::string text = Printed("X ", 'A', ten);
  EXPECT_NE(text.find("\n1)Asukoht:  Vald  0\n"), std::string::npos);
  EXPECT_NE(text.find("\n9)Asukoht:  Vald  8\n"), std::string::npos);
  EXPECT_NE(text.find("\n10)Asukoht:  Vald  9\nVaatlus toimus: 00:00:00 01-01-2000\n"
                      "N\xE4htud 1 lind\n\n"),
            std::string::npos);
  // Heading, three lines per sighting, the empty line.
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1 + 3 * 10 + 1);
}

TEST(PrintOut, TestTableEntriesPrintTheHeadingAndAnEmptyLineOnly) {
  for (const DataItem& dit : TestItemTable()) {
    std::ostringstream out;
    out << dit;
    EXPECT_EQ(out.str(), dit.GetName() + " (selts: " + dit.GetOrder() +
                             ", sugukond: " + dit.GetFamily() + ")\n\n");
  }
}

TEST(PrintOut, ItemPrintsLikeTheDataItemItWasMadeFrom) {
  ReferenceLists lists;
  ASSERT_EQ(LoadReferenceLists(lists, testing::BundledData()), "");
  for (int i = 0; i < 50; ++i) {
    const DataItem dit(lists);
    ASSERT_FALSE(dit.GetDllObservations().empty());
    const std::unique_ptr<Item> item(MakeItem(dit));
    std::ostringstream from_data_item;
    std::ostringstream from_item;
    from_data_item << dit;
    from_item << *item;
    EXPECT_EQ(from_item.str(), from_data_item.str());
  }
}

}  // namespace
}  // namespace tavisor
