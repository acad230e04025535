// Starting a producer thread.
#pragma once

namespace tavisor {

// Starts a detached producer of variant `letter` ('A' to 'E') on `shared`
// and returns once it has printed its first line and registered its stop
// callback.
void LaunchProducer(char letter, void* shared);

}  // namespace tavisor
