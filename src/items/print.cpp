// The Estonian print-out of the library's own record: its library-side
// observations, written by the same code that prints a client's Item.
#include "items/data_item.h"
#include "tavisor/text.h"

namespace tavisor {

std::ostream& operator<<(std::ostream& os, const DataItem& item) {
  return WriteRecord(os, item.name, item.order, item.family, item.rarity, item.dllObservations);
}

}  // namespace tavisor
