// Producer threads: what Start runs.
#pragma once

#include <future>

#include "producer/environment.h"

namespace tavisor {

// Runs a producer on `shared` in `env`; fulfils `set_up` once the producer
// has printed "Generator in DLL started" and registered its stop callback.
using ProducerFunction = void (*)(void* shared, std::promise<void> set_up,
                                  const ProducerEnvironment& env);

// The producer of variant `letter` ('A' to 'E'), or null for any other.
ProducerFunction ProducerFor(char letter);

// Runs the producer of variant `letter` ('A' to 'E') on `shared` on the
// calling thread, until it ends after a stop requested on its stop token;
// `set_up` as for ProducerFunction. Start runs it on a detached thread;
// tests and benchmarks run it on threads they join.
void RunProducer(char letter, void* shared, const ProducerEnvironment& env = {},
                 std::promise<void> set_up = {});

}  // namespace tavisor
