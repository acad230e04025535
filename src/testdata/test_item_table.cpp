// Texts are Windows-1252 bytes, written as escapes.
#include "testdata/test_item_table.h"

namespace tavisor {

namespace {

using std::chrono::day;
using std::chrono::month;
using std::chrono::year;
using Count = std::optional<std::int32_t>;
constexpr Count kNoCount = std::nullopt;

// One sighting: place, date (year, month, day, stored unchecked), time of
// day from hours and minutes, and the count.
Observation Seen(Location place, int y, unsigned m, unsigned d, int hours, int minutes,
                 Count count) {
  return {std::move(place), std::chrono::year_month_day{year{y}, month{m}, day{d}},
          MakeTime(hours, minutes, 0), count};
}

Location At(int lat_deg, int lat_min, int lat_sec, int lon_deg, int lon_min, int lon_sec) {
  return Coordinates(lat_deg, lat_min, lat_sec, lon_deg, lon_min, lon_sec);
}

DataItem Entry(const char* name, const char* order, const char* family,
               std::vector<Observation> observations) {
  return DataItem(order, family, name, 'A', std::move(observations));
}

const char* const kOonetuvi = "\xD5\xF5netuvi";
const char* const kTuvilised = "tuvilised";
const char* const kTuvilased = "tuvilased";
const char* const kVarvulised = "v\xE4rvulised";
const char* const kTihaslased = "tihaslased";
const char* const kKurelised = "kurelised";
const char* const kKurvitsalised = "kurvitsalised";
const char* const kVoruVald = "V\xF5ru vald";
const char* const kJarvaVald = "J\xE4rva vald";
const char* const kTallinnaLinn = "Tallinna linn";

TestItemTableType BuildTable() {
  return {
      Entry(kOonetuvi, kTuvilised, kTuvilased, {Seen(kVoruVald, 2025, 9, 17, 16, 40, 1)}),
      Entry(kOonetuvi, kTuvilised, kTuvilased, {Seen(kVoruVald, 2025, 9, 17, 16, 40, kNoCount)}),
      Entry(kOonetuvi, kTuvilised, kTuvilased, {Seen(kVoruVald, 2025, 9, 16, 16, 40, 1)}),
      Entry(kOonetuvi, kTuvilised, kTuvilased,
            {Seen(At(58, 50, 35, 25, 27, 0), 2025, 8, 7, 7, 20, kNoCount)}),
      Entry(kOonetuvi, kTuvilised, kTuvilased,
            {Seen(At(58, 50, 35, 25, 27, 0), 2025, 8, 7, 17, 4, kNoCount)}),
      Entry(kOonetuvi, kTuvilised, kTuvilased,
            {Seen(At(58, 50, 35, 25, 23, 0), 2025, 8, 7, 10, 40, kNoCount)}),
      Entry("Lasuurtihane", kVarvulised, kTihaslased,
            {Seen("N\xF5o vald", 2024, 1, 10, 11, 20, 4)}),
      Entry("Suur-turteltuvi", kTuvilised, kTuvilased,
            {Seen(At(59, 10, 53, 23, 48, 40), 2024, 7, 13, 19, 10, 2)}),
      Entry("Rukkir\xE4\xE4k", kKurelised, "ruiklased", {Seen(kJarvaVald, 2024, 6, 12, 1, 30, 1)}),
      Entry("Sookurg", kKurelised, "kurglased",
            {Seen(At(58, 44, 0, 23, 42, 0), 2024, 9, 13, 19, 10, kNoCount)}),
      Entry("Mudatilder", kKurvitsalised, "kurvitslased",
            {Seen(At(58, 34, 43, 26, 7, 32), 2020, 5, 11, 6, 17, kNoCount),
             Seen("Vinni vald", 2019, 7, 8, 12, 26, 6),
             Seen(At(58, 56, 5, 23, 28, 20), 2020, 7, 11, 11, 27, kNoCount)}),
      Entry("Kaelustuvi (meigas)", kTuvilised, kTuvilased,
            {Seen(kJarvaVald, 2021, 5, 27, 18, 20, 2)}),
      // The name lacks its closing parenthesis and the family has three l;
      // both are kept as they are.
      Entry("Kiivitaja (harilik kiivitaja", kKurvitsalised, "t\xFClllased",
            {Seen(At(58, 4, 3, 22, 31, 19), 2020, 4, 6, 16, 52, 10),
             Seen(At(59, 3, 28, 24, 21, 42), 2023, 5, 6, 16, 11, kNoCount),
             Seen(At(59, 58, 54, 25, 20, 26), 2021, 6, 11, 11, 27, 8)}),
      Entry("Suur\xE4nn", kKurvitsalised, "\xE4nlased",
            {Seen("Ruhnu vald", 2024, 12, 11, 16, 55, 7)}),
      Entry(
          "Musttihane", kVarvulised, kTihaslased,
          {Seen(kTallinnaLinn, 2020, 2, 11, 12, 17, kNoCount),
           Seen(kTallinnaLinn, 2021, 1, 8, 9, 11, 1), Seen(kTallinnaLinn, 2020, 2, 11, 9, 27, 2)}),
      Entry("Naerukajakas", kKurvitsalised, "kajaklased",
            {Seen(At(59, 21, 55, 24, 43, 5), 2020, 11, 11, 7, 5, kNoCount),
             Seen(At(59, 35, 40, 23, 30, 24), 2023, 8, 19, 12, 47, kNoCount),
             Seen("Vormsi vald", 2023, 3, 23, 11, 36, kNoCount),
             // 31 April: stored and handed out as it is.
             Seen("Loksa linn", 2021, 4, 31, 18, 12, kNoCount)}),
      Entry("Musttihane", kVarvulised, kTihaslased,
            {Seen("Tartu linn", 2024, 12, 17, 12, 12, kNoCount)}),
  };
}

// Built at load, before any export can run.
const TestItemTableType table = BuildTable();

}  // namespace

const TestItemTableType& TestItemTable() { return table; }

}  // namespace tavisor
