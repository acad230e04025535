// The record as the library builds it, with its library-side parts.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

#include "tavisor/item.h"
#include "tavisor/text.h"

namespace tavisor {

struct ReferenceLists;
struct RecordEngines;

// A position that can draw itself at random and print itself.
struct DllCoordinates : Coordinates {
  // Draws a random position inside Estonia's box.
  DllCoordinates();
  explicit DllCoordinates(const Coordinates& c) : Coordinates(c) {}

  // The text forms of tavisor/text.h, as members.
  std::string LatitudeText() const { return tavisor::LatitudeText(*this); }
  std::string LongitudeText() const { return tavisor::LongitudeText(*this); }
};

using DllLocation = std::variant<std::string, DllCoordinates>;
using DllObservation =
    std::tuple<DllLocation, std::chrono::year_month_day, TimeOfDay, std::optional<std::int32_t>>;

class DataItem {
 public:
  // Generates a random record from the library's reference lists.
  DataItem();
  // Generates a random record from `lists`.
  explicit DataItem(const ReferenceLists& lists);
  // Generates a random record from `lists` on `engines` instead of the
  // library's (tests replay a seeded sequence so).
  DataItem(const ReferenceLists& lists, RecordEngines& engines);
  // A record made from values; it has no library-side observations.
  DataItem(std::string order, std::string family, std::string name, char rarity,
           std::vector<Observation> observations);

  std::string GetOrder() const { return order; }
  std::string GetFamily() const { return family; }
  std::string GetName() const { return name; }
  char GetRarity() const { return rarity; }
  std::vector<Observation> GetObservations() const { return observations; }
  const std::vector<DllObservation>& GetDllObservations() const { return dllObservations; }

 private:
  friend std::ostream& operator<<(std::ostream& os, const DataItem& item);
  friend class DataItemGenerator;
  friend Item* MakeItem(DataItem&& dit);

  std::string order;
  std::string family;
  std::string name;
  char rarity = '\0';
  std::vector<Observation> observations;
  std::vector<DllObservation> dllObservations;
};

// A new heap Item, made from copies of the record's public members. The
// caller owns it.
Item* MakeItem(const DataItem& dit);

// The same for a record that its caller destroys right afterwards, as
// GetItem and the producers do: the public members are moved
// into the Item instead of copied, which saves a copy of every observation
// and species string. `dit` keeps only its library-side observations.
Item* MakeItem(DataItem&& dit);

// A time of day from hours, minutes and seconds summed as seconds: 60
// minutes or seconds carry, and hours are not wrapped at 24. Inline: every
// sighting of a record makes one (bench/README.md has what a call costs).
inline TimeOfDay MakeTime(std::int32_t hours, std::int32_t minutes, std::int32_t seconds) {
  using namespace std::chrono;
  // The sum is held as a 32-bit count of seconds, then widened for the split.
  const duration<std::int32_t> dur = duration<std::int32_t, std::ratio<3600>>(hours) +
                                     duration<std::int32_t, std::ratio<60>>(minutes) +
                                     duration<std::int32_t>(seconds);
  return TimeOfDay(std::chrono::seconds(dur.count()));
}

// Estonian print-out of a record.
std::ostream& operator<<(std::ostream& os, const DataItem& item);

}  // namespace tavisor
