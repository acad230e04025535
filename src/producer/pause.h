// The pause before each batch.
#pragma once

#include <stop_token>

namespace tavisor {

// Sleeps 1 to 10 pause steps on a pause thread of its own, joined at once;
// a stop request on `stop` ends the sleep at once.
void PauseBeforeBatch(const std::stop_token& stop);

}  // namespace tavisor
