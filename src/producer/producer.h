// Producer threads: what Start runs, and the seams tests use.
#pragma once

#include <chrono>

namespace tavisor {

using ProducerFunction = void (*)(void* shared);

// The producer of variant `letter` ('A' to 'E'), or null for any other.
ProducerFunction ProducerFor(char letter);

// Runs the producer of variant `letter` ('A' to 'E') on `shared` on the
// calling thread, until a stop is requested on its stop token.
void RunProducer(char letter, void* shared);

// The length of one pause step: a pause lasts 1 to 10 steps. One second in
// the library; tests shorten it. Not exported.
void SetPauseUnit(std::chrono::milliseconds unit);

}  // namespace tavisor
