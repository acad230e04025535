// Producer threads: what Start runs, and the seams tests use.
#pragma once

#include <chrono>
#include <future>
#include <thread>

namespace tavisor {

// Runs a producer on `shared`; fulfils `set_up` once the producer has printed
// "Generator in DLL started" and registered its stop callback.
using ProducerFunction = void (*)(void* shared, std::promise<void> set_up);

// The producer of variant `letter` ('A' to 'E'), or null for any other.
ProducerFunction ProducerFor(char letter);

// Starts a producer of variant `letter` ('A' to 'E') on `shared` on a thread
// of its own and returns once the producer is set up (see ProducerFunction).
// Start detaches the thread; tests join it.
std::jthread StartProducerThread(char letter, void* shared);

// Runs the producer of variant `letter` ('A' to 'E') on `shared` on the
// calling thread, until it ends after a stop requested on its stop token.
void RunProducer(char letter, void* shared);

// The length of one pause step: a pause lasts 1 to 10 steps. One second in
// the library; tests shorten it. Not exported.
void SetPauseUnit(std::chrono::milliseconds unit);

}  // namespace tavisor
