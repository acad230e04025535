// The 17 fixed test records behind GetTestItem.
#pragma once

#include <array>
#include <cstddef>

#include "items/data_item.h"

namespace tavisor {

inline constexpr std::size_t kTestItemCount = 17;

using TestItemTableType = std::array<DataItem, kTestItemCount>;

// Built when the library is loaded; read-only afterwards.
const TestItemTableType& TestItemTable();

}  // namespace tavisor
