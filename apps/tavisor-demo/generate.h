// The generate command: records made on one or more threads, written in
// their order to one or more files.
#pragma once

#include <cstdint>
#include <functional>

#include "app.h"
#include "options.h"
#include "output.h"
#include "tavisor/item.h"

namespace demo {

// Makes record `index` (from 0) of a run; the caller owns the result. Called
// from several threads at once.
using RecordSource = std::function<tavisor::Item*(std::uint64_t index)>;

// Writes `count` records from `source` as `options` say. Reports on
// `messages` (standard error in the program): a progress bar when standard
// error is a terminal and the run takes a while, and at the end how many
// records went out and how fast. Returns the exit code: 0, 1 when a file
// could not be written, 130 after Ctrl-C (the files then hold whole
// records only).
int Generate(const GenerateOptions& options, std::uint64_t count, const RecordSource& source,
             Output& messages);

// Writes the records that `options` ask for with `app`'s library: the test
// records, or random ones once the lists are loaded. Returns the exit code
// as Generate does.
int GenerateRecords(App& app, const GenerateOptions& options, Output& messages);

}  // namespace demo
