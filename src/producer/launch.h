// Starting a producer thread.
#pragma once

namespace tavisor {

// Starts a detached producer of variant `letter` ('A' to 'E') on `shared`.
void LaunchProducer(char letter, void* shared);

}  // namespace tavisor
