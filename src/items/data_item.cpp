#include "items/data_item.h"

#include <memory>

namespace tavisor {

DataItem::DataItem(std::string order_, std::string family_, std::string name_, char rarity_,
                   std::vector<Observation> observations_)
    : order(std::move(order_)),
      family(std::move(family_)),
      name(std::move(name_)),
      rarity(rarity_),
      observations(std::move(observations_)) {}

Item* MakeItem(const DataItem& dit) {
  // `new` releases the storage again if the constructor throws, so no partly
  // built Item can escape.
  return new Item(dit.GetOrder(), dit.GetFamily(), dit.GetName(), dit.GetRarity(),
                  dit.GetObservations());
}

Item* MakeItem(DataItem&& dit) {
  return new Item(std::move(dit.order), std::move(dit.family), std::move(dit.name), dit.rarity,
                  std::move(dit.observations));
}

TimeOfDay MakeTime(std::int32_t hours, std::int32_t minutes, std::int32_t seconds) {
  using namespace std::chrono;
  // The sum is held as a 32-bit count of seconds, then widened for the split.
  const duration<std::int32_t> dur = duration<std::int32_t, std::ratio<3600>>(hours) +
                                     duration<std::int32_t, std::ratio<60>>(minutes) +
                                     duration<std::int32_t>(seconds);
  return TimeOfDay(std::chrono::seconds(dur.count()));
}

}  // namespace tavisor
