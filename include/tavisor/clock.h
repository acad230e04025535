// The clock of every wait, deadline and grace period in Tavisor's client
// headers and library: monotonic, so that a change of the wall clock moves
// none of them.
#pragma once

#include <chrono>

namespace tavisor {

using Clock = std::chrono::steady_clock;

}  // namespace tavisor
