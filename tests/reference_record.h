// A record made the slow way, for comparison with the library's, and a
// record's values as text.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "items/data_item.h"
#include "refdata/reference_lists.h"
#include "tavisor/item.h"

namespace tavisor::testing {

// Follows the generation step by step on engines of its own, one draw after
// the other, exactly as the record is described, drawing through `U`: the
// batched draws of the library must give the same record.
template <class U = std::uniform_int_distribution<int>>
Item ReferenceRecord(const ReferenceLists& lists, std::mt19937& item, std::mt19937& coord,
                     std::mt19937& date) {
  using std::chrono::day, std::chrono::month, std::chrono::year;
  Item out;
  const BirdInfo& bi = lists.birds[static_cast<std::size_t>(U(0, 413)(item))];
  out.order = bi.order;
  out.family = bi.family;
  out.name = bi.name;
  out.rarity = bi.rarity;
  const int n = U(1, 15)(item);
  for (int i = 0; i < n; ++i) {
    Location location;
    if (U(1, 100)(item) % 2 == 0) {
      const int lat_s = U(0, 59)(coord), lat_m = U(0, 59)(coord), lat_d = U(57, 59)(coord);
      const int lon_s = U(0, 59)(coord), lon_m = U(0, 59)(coord), lon_d = U(21, 28)(coord);
      location = Coordinates(lat_d, lat_m, lat_s, lon_d, lon_m, lon_s);
    } else {
      location = lists.communities[static_cast<std::size_t>(U(0, 78)(item))];
    }
    const int y = U(1950, 2025)(date), m = U(1, 12)(date);
    int d = U(1, 31)(date);
    const int last = static_cast<int>(
        unsigned((year{y} / month{static_cast<unsigned>(m)} / std::chrono::last).day()));
    if (d > last) d = last;
    const int h = U(0, 23)(date), mi = U(0, 60)(date), s = U(0, 60)(date);
    std::optional<std::int32_t> count;
    if (U(1, 100)(item) % 2 != 0) count = U(1, 10)(item);
    out.observations.emplace_back(
        location, year{y} / month{static_cast<unsigned>(m)} / day{static_cast<unsigned>(d)},
        MakeTime(h, mi, s), count);
  }
  return out;
}

// Every value a record was given, as text.
inline std::string Draws(const std::string& name, const std::vector<Observation>& observations) {
  std::ostringstream out;
  out << name << '|';
  for (const auto& [location, ymd, hms, count] : observations) {
    if (location.index() == 0) {
      out << std::get<0>(location);
    } else {
      const Coordinates& c = std::get<1>(location);
      out << std::get<0>(c.latitude) << ' ' << std::get<1>(c.latitude) << ' '
          << std::get<2>(c.latitude) << ' ' << std::get<0>(c.longitude) << ' '
          << std::get<1>(c.longitude) << ' ' << std::get<2>(c.longitude);
    }
    out << ' ' << int(ymd.year()) << '-' << unsigned(ymd.month()) << '-' << unsigned(ymd.day())
        << ' ' << hms.to_duration().count() << ' ' << count.value_or(0) << ';';
  }
  return out.str();
}

}  // namespace tavisor::testing
