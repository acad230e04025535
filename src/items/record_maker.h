// Making up a random record, on whichever engines the caller gives: the
// library's process-wide engines (generator.cpp) or the seeded engines of a
// record stream (record_stream.cpp). Both make their records with this one
// code, so they follow the same rules: the same draws in the same order,
// from the same ranges, out of the first 414 species and 79 municipalities.
//
// Each record takes all the draws it needs from one engine in one go. The
// values drawn from each engine, and their order, are those of drawing
// sighting by sighting; the strings and lists are built afterwards.
//
// `Engines` has three members, `item`, `coord` and `date`, each with
// Draw(body): body(source, distributions) draws from the engine through
// `source`, a uniform random bit generator of 32-bit words, with one of the
// distribution sets of items/distributions.h.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <variant>

#include "items/data_item.h"
#include "refdata/reference_lists.h"
#include "tavisor/item.h"

namespace tavisor {

namespace record_maker {

constexpr int kMostSightings = 15;

inline bool IsEven(int coin) { return coin % 2 == 0; }

template <class Source, class Distributions>
std::chrono::year_month_day DrawDate(Source& engine, Distributions& d) {
  using namespace std::chrono;
  const int y = d.year(engine);
  const int m = d.month(engine);
  const int drawn_day = d.day(engine);
  const auto last = static_cast<int>(
      unsigned((year{y} / month{static_cast<unsigned>(m)} / std::chrono::last).day()));
  const int fitted_day = drawn_day > last ? last : drawn_day;
  return year{y} / month{static_cast<unsigned>(m)} / day{static_cast<unsigned>(fitted_day)};
}

template <class Source, class Distributions>
TimeOfDay DrawTime(Source& engine, Distributions& d) {
  const int hours = d.hour(engine);
  const int minutes = d.minute(engine);
  const int seconds = d.second(engine);
  return MakeTime(hours, minutes, seconds);
}

// Seconds, then minutes, then degrees; stored as degrees, minutes, seconds.
template <class Source, class Distributions, class Degrees>
Angle DrawAngle(Source& engine, Distributions& d, Degrees& degrees) {
  const int seconds = d.arc_minutes_seconds(engine);
  const int minutes = d.arc_minutes_seconds(engine);
  return {degrees(engine), minutes, seconds};
}

template <class Source, class Distributions>
Coordinates DrawCoordinates(Source& engine, Distributions& d) {
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
// call (GCC, Clang). The sightings are built inline too, for the same
// reason; bench/README.md has what each saves per record.
#if defined(__GNUC__)
#define TAVISOR_INLINE_DRAWS [[gnu::flatten]]
#define TAVISOR_INLINE_SIGHTING [[gnu::always_inline]] inline
#else
#define TAVISOR_INLINE_DRAWS
#define TAVISOR_INLINE_SIGHTING inline
#endif

template <class Engines>
TAVISOR_INLINE_DRAWS void DrawRecord(RecordDraws& r, Engines& engines) {
  engines.item.Draw([&](auto& engine, auto& d) {
    r.species = d.species(engine);
    r.sightings = d.sightings(engine);
    for (int i = 0; i < r.sightings; ++i) {
      SightingDraws& s = r.sighting[i];
      s.at_coordinates = IsEven(d.coin(engine));
      if (!s.at_coordinates) s.community = d.community(engine);
      if (!IsEven(d.coin(engine))) s.count = d.birds(engine);
    }
  });
  engines.coord.Draw([&](auto& engine, auto& d) {
    for (int i = 0; i < r.sightings; ++i) {
      if (r.sighting[i].at_coordinates) r.sighting[i].position = DrawCoordinates(engine, d);
    }
  });
  engines.date.Draw([&](auto& engine, auto& d) {
    for (int i = 0; i < r.sightings; ++i) {
      r.sighting[i].date = DrawDate(engine, d);
      r.sighting[i].time = DrawTime(engine, d);
    }
  });
}

// A place as the list of `Place`s takes it: the position itself for an
// Observation, a DllCoordinates made from it for a DllObservation.
template <class Place>
decltype(auto) PlaceFrom(const Coordinates& position) {
  if constexpr (std::is_same_v<Place, Coordinates>) {
    return (position);
  } else {
    return Place(position);
  }
}

template <class Observations>
using PlaceOf =
    std::variant_alternative_t<1, std::tuple_element_t<0, typename Observations::value_type>>;

// Appends the sighting to each list, in the order given: lists of
// Observation or of DllObservation. The place is built where it ends up: no
// place made first and then moved into its sighting.
template <class... Lists>
TAVISOR_INLINE_SIGHTING void AppendSighting(const SightingDraws& s, const ReferenceLists& lists,
                                            Lists&... out) {
  if (s.at_coordinates) {
    (out.emplace_back(PlaceFrom<PlaceOf<Lists>>(s.position), s.date, s.time, s.count), ...);
  } else {
    // at() keeps a record made before the lists are loaded inside them.
    const std::string& community = lists.communities.at(static_cast<std::size_t>(s.community));
    (out.emplace_back(community, s.date, s.time, s.count), ...);
  }
}

}  // namespace record_maker

class DataItemGenerator {
 public:
  // A record in both of a DataItem's lists. A failure ends up in the
  // handler of the caller; the lists then hold what was appended, the
  // library-side one at most one sighting ahead.
  template <class Engines>
  static void Fill(DataItem& item, const ReferenceLists& lists, Engines& engines) {
    record_maker::RecordDraws draws;
    DrawWithSpecies(item, draws, lists, engines);
    item.observations.reserve(static_cast<std::size_t>(draws.sightings));
    item.dllObservations.reserve(static_cast<std::size_t>(draws.sightings));
    for (int i = 0; i < draws.sightings; ++i) {
      record_maker::AppendSighting(draws.sighting[i], lists, item.dllObservations,
                                   item.observations);
    }
  }

  // A record straight into an Item, whose storage it reuses.
  template <class Engines>
  static void Fill(Item& item, const ReferenceLists& lists, Engines& engines) {
    record_maker::RecordDraws draws;
    DrawWithSpecies(item, draws, lists, engines);
    item.observations.clear();
    for (int i = 0; i < draws.sightings; ++i) {
      record_maker::AppendSighting(draws.sighting[i], lists, item.observations);
    }
  }

 private:
  // Draws a record and gives `record` (a DataItem or an Item) its species.
  template <class Record, class Engines>
  static void DrawWithSpecies(Record& record, record_maker::RecordDraws& draws,
                              const ReferenceLists& lists, Engines& engines) {
    record_maker::DrawRecord(draws, engines);
    const BirdInfo& bi = lists.birds.at(static_cast<std::size_t>(draws.species));
    record.order = bi.order;
    record.family = bi.family;
    record.name = bi.name;
    record.rarity = bi.rarity;
  }
};

}  // namespace tavisor
