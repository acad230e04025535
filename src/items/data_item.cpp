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

}  // namespace tavisor
