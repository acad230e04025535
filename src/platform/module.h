// The library's own module, as the platform's loader sees it.
#pragma once

namespace tavisor::platform {

// Keeps the module that holds this code loaded until the process ends,
// whatever the client unloads. Called once a producer has been started: a
// producer's thread still runs library code after its last signal (it
// returns, destroys its objects, ends), and the client cannot see when it
// is through, so the library must not be unloaded under it. Costs nothing
// after the first call.
void KeepLoadedForGood();

}  // namespace tavisor::platform
