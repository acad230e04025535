// The record that the library hands to its client.
//
// Client and library must be built from this one declaration and with the
// same standard library: an Item crosses the library boundary as a native
// object, and the client deletes it with the ordinary `delete`.
#pragma once

#include "tavisor/build_requirements.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

namespace tavisor {

// Degrees, minutes and seconds of arc.
using Angle = std::tuple<std::int32_t, std::int32_t, std::int32_t>;

// A position in whole degrees, minutes and seconds; latitude is always north
// and longitude always east.
struct Coordinates {
  Angle latitude{0, 0, 0};
  Angle longitude{0, 0, 0};

  Coordinates() = default;
  Coordinates(std::int32_t lat_deg, std::int32_t lat_min, std::int32_t lat_sec,
              std::int32_t lon_deg, std::int32_t lon_min, std::int32_t lon_sec)
      : latitude{lat_deg, lat_min, lat_sec}, longitude{lon_deg, lon_min, lon_sec} {}
};

// Index 0: the name of a municipality; index 1: a position.
using Location = std::variant<std::string, Coordinates>;

// Time of day; hours may reach 24 (see MakeTime in the library).
using TimeOfDay = std::chrono::hh_mm_ss<std::chrono::seconds>;

// Place, date, time of day and, when the birds were counted, their number.
using Observation =
    std::tuple<Location, std::chrono::year_month_day, TimeOfDay, std::optional<std::int32_t>>;

// One species with its sightings. 'A' in `rarity` marks a common species.
struct Item {
  std::string order;   // "selts"
  std::string family;  // "sugukond"
  std::string name;
  char rarity = '\0';
  std::vector<Observation> observations;

  Item() = default;
  Item(std::string order_, std::string family_, std::string name_, char rarity_,
       std::vector<Observation> observations_)
      : order(std::move(order_)),
        family(std::move(family_)),
        name(std::move(name_)),
        rarity(rarity_),
        observations(std::move(observations_)) {}
};

// The species name as it is shown: the bird list follows every word of a
// name with one blank, the last word too, and `name` keeps them all.
inline std::string_view DisplayName(const Item& item) {
  std::string_view name = item.name;
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  return name;
}

}  // namespace tavisor
