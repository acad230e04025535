// The pause before each batch.
#pragma once

#include <chrono>
#include <stop_token>

namespace tavisor {

// How often a pause looks at the stop state besides being woken by its own
// stop callback (see PauseBeforeBatch).
inline constexpr std::chrono::milliseconds kStopCheckInterval{50};

// Sleeps 1 to 10 pause steps on a pause thread of its own, joined at once;
// a stop request on `stop` ends the sleep at once, or within
// kStopCheckInterval when a stop callback ahead of the pause's own blocks.
void PauseBeforeBatch(const std::stop_token& stop);

}  // namespace tavisor
