// Making up a random record.
//
// Each record takes all the draws it needs from one engine in one go, from
// the run of that engine's words that its thread holds (random_engines.h).
// The values drawn from each engine, and their order, are those of drawing
// sighting by sighting; the strings and lists are built afterwards.
#include <array>
#include <exception>

#include "items/data_item.h"
#include "items/random_engines.h"
#include "items/random_record.h"
#include "platform/console.h"
#include "refdata/reference_lists.h"

namespace tavisor {

namespace {

constexpr int kMostSightings = 15;

using ItemSource = RunSource<ItemDistributions>;
using CoordSource = RunSource<CoordDistributions>;
using DateSource = RunSource<DateDistributions>;

bool IsEven(int coin) { return coin % 2 == 0; }

std::chrono::year_month_day DrawDate(DateSource& engine, DateDistributions& d) {
  using namespace std::chrono;
  const int y = d.year(engine);
  const int m = d.month(engine);
  const int drawn_day = d.day(engine);
  const auto last = static_cast<int>(
      unsigned((year{y} / month{static_cast<unsigned>(m)} / std::chrono::last).day()));
  const int fitted_day = drawn_day > last ? last : drawn_day;
  return year{y} / month{static_cast<unsigned>(m)} / day{static_cast<unsigned>(fitted_day)};
}

TimeOfDay DrawTime(DateSource& engine, DateDistributions& d) {
  const int hours = d.hour(engine);
  const int minutes = d.minute(engine);
  const int seconds = d.second(engine);
  return MakeTime(hours, minutes, seconds);
}

// Seconds, then minutes, then degrees; stored as degrees, minutes, seconds.
Angle DrawAngle(CoordSource& engine, CoordDistributions& d, Uniform& degrees) {
  const int seconds = d.arc_minutes_seconds(engine);
  const int minutes = d.arc_minutes_seconds(engine);
  return {degrees(engine), minutes, seconds};
}

Coordinates DrawCoordinates(CoordSource& engine, CoordDistributions& d) {
  Coordinates c;
  c.latitude = DrawAngle(engine, d, d.latitude_degrees);
  c.longitude = DrawAngle(engine, d, d.longitude_degrees);
  return c;
}

// What the engines decided for one sighting.
struct SightingDraws {
  bool at_coordinates = false;
  int community = 0;
  std::optional<std::int32_t> count;
  Coordinates position;
  std::chrono::year_month_day date;
  TimeOfDay time;
};

struct RecordDraws {
  int species = 0;
  int sightings = 0;
  std::array<SightingDraws, kMostSightings> sighting;
};

// The draws of a record are most of its cost. Inlined into the loops that
// make them, each distribution's range is a constant and a draw costs no
// call (GCC, Clang; about a fifth fewer instructions per record).
#if defined(__GNUC__)
#define TAVISOR_INLINE_DRAWS [[gnu::flatten]]
#else
#define TAVISOR_INLINE_DRAWS
#endif

TAVISOR_INLINE_DRAWS void DrawRecord(RecordDraws& r) {
  ItemEngine().Draw([&](ItemSource& engine, ItemDistributions& d) {
    r.species = d.species(engine);
    r.sightings = d.sightings(engine);
    for (int i = 0; i < r.sightings; ++i) {
      SightingDraws& s = r.sighting[i];
      s.at_coordinates = IsEven(d.coin(engine));
      if (!s.at_coordinates) s.community = d.community(engine);
      if (!IsEven(d.coin(engine))) s.count = d.birds(engine);
    }
  });
  CoordEngine().Draw([&](CoordSource& engine, CoordDistributions& d) {
    for (int i = 0; i < r.sightings; ++i) {
      if (r.sighting[i].at_coordinates) r.sighting[i].position = DrawCoordinates(engine, d);
    }
  });
  DateEngine().Draw([&](DateSource& engine, DateDistributions& d) {
    for (int i = 0; i < r.sightings; ++i) {
      r.sighting[i].date = DrawDate(engine, d);
      r.sighting[i].time = DrawTime(engine, d);
    }
  });
}

}  // namespace

class DataItemGenerator {
 public:
  static void Fill(DataItem& item, const ReferenceLists& lists) {
    RecordDraws draws;
    DrawRecord(draws);
    // at() keeps a record made before the lists are loaded inside them: the
    // failure ends up in the handler of the caller.
    const BirdInfo& bi = lists.birds.at(static_cast<std::size_t>(draws.species));
    item.order = bi.order;
    item.family = bi.family;
    item.name = bi.name;
    item.rarity = bi.rarity;
    item.observations.reserve(static_cast<std::size_t>(draws.sightings));
    item.dllObservations.reserve(static_cast<std::size_t>(draws.sightings));
    for (int i = 0; i < draws.sightings; ++i) {
      const SightingDraws& s = draws.sighting[i];
      // The places are built where they end up: no place made first and
      // then moved into its sighting.
      if (s.at_coordinates) {
        item.dllObservations.emplace_back(DllCoordinates(s.position), s.date, s.time, s.count);
        item.observations.emplace_back(s.position, s.date, s.time, s.count);
      } else {
        const std::string& community = lists.communities.at(static_cast<std::size_t>(s.community));
        item.dllObservations.emplace_back(community, s.date, s.time, s.count);
        item.observations.emplace_back(community, s.date, s.time, s.count);
      }
    }
  }
};

DataItem::DataItem() : DataItem(DrawnLists()) {}

DataItem::DataItem(const ReferenceLists& lists) {
  try {
    DataItemGenerator::Fill(*this, lists);
  } catch (const std::exception& e) {
    platform::WriteConsoleLine("Creating of item failed", e.what());
  }
}

DllCoordinates::DllCoordinates()
    : Coordinates(CoordEngine().Draw(
          [](CoordSource& engine, CoordDistributions& d) { return DrawCoordinates(engine, d); })) {}

std::chrono::year_month_day RandomDate() {
  return DateEngine().Draw(
      [](DateSource& engine, DateDistributions& d) { return DrawDate(engine, d); });
}

TimeOfDay RandomTime() {
  return DateEngine().Draw(
      [](DateSource& engine, DateDistributions& d) { return DrawTime(engine, d); });
}

}  // namespace tavisor
