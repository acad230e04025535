// Polling for the waits that have no timed form.
#pragma once

#include "tavisor/build_requirements.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "tavisor/delivery.h"

namespace tavisor::internal {

// Tries `ready` until it holds or `deadline` passes, napping 50 us at first
// and up to 4 ms later (a few hundred wake-ups a second at most). For waits
// that have no timed form.
template <class Ready>
bool RetryUntil(Ready ready, HandOverClock::time_point deadline) {
  std::chrono::microseconds nap(50);
  while (!ready()) {
    const auto now = HandOverClock::now();
    if (now >= deadline) return false;
    std::this_thread::sleep_for(std::min<HandOverClock::duration>(nap, deadline - now));
    nap = std::min(nap * 2, std::chrono::microseconds(4000));
  }
  return true;
}

}  // namespace tavisor::internal
