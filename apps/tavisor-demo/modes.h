// The demo's two ways of running. Each returns the process exit code.
#pragma once

#include <istream>

#include "app.h"
#include "options.h"

namespace demo {

// Prints a few random and test records, runs one producer for a few
// batches and stops it.
int RunDefault(App& app, const Options& options);

// Reads commands from `input` until quit or the end of the input.
int RunInteractive(App& app, std::istream& input);

// Stops every producer, waits until they have ended, releases what is left
// and reports the totals.
void EndProducers(App& app);

}  // namespace demo
