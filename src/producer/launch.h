// Starting a producer thread.
#pragma once

#include "producer/environment.h"

namespace tavisor {

// Starts a detached producer of variant `letter` ('A' to 'E') on `shared`
// in `env` and returns once it has printed its first line and registered
// its stop callback.
void LaunchProducer(char letter, void* shared, const ProducerEnvironment& env);

}  // namespace tavisor
