// Random dates and times of day, as the generator draws them.
#pragma once

#include <chrono>

#include "tavisor/item.h"

namespace tavisor {

// Year 1950 to 2025, month, day 1 to 31 fitted into the month.
std::chrono::year_month_day RandomDate();
// 00:00:00 to 24:01:00: minutes and seconds of 60 carry.
TimeOfDay RandomTime();

}  // namespace tavisor
