// The fixed test records behind GetTestItem (kTestItemCount, tavisor/api.h).
#pragma once

#include <array>
#include <cstddef>

#include "items/data_item.h"
#include "tavisor/api.h"

namespace tavisor {

using TestItemTableType = std::array<DataItem, static_cast<std::size_t>(kTestItemCount)>;

// Built when the library is loaded; read-only afterwards.
const TestItemTableType& TestItemTable();

}  // namespace tavisor
