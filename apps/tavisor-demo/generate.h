// The generate command: records made on one or more threads, written in
// their order to one or more files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app.h"
#include "options.h"
#include "output.h"
#include "tavisor/item.h"
#include "tavisor/record_stream.h"

namespace demo {

// Makes record `index` (from 0) of a run into `record`. Every thread that
// makes records has a maker of its own.
class RecordMaker {
 public:
  virtual ~RecordMaker() = default;
  virtual void Make(std::uint64_t index, tavisor::Item& record) = 0;
};
using NewRecordMaker = std::function<std::unique_ptr<RecordMaker>()>;

// The records of a run to write: numbers `first` to `end` (excluded), from
// 0; a shard of a run starts further on.
struct RecordRange {
  std::uint64_t first = 0;
  std::uint64_t end = 0;
};

// Writes the records of `range` from the makers as `options` say. Reports
// on `messages` (standard error in the program): a progress bar when
// standard error is a terminal and the run takes a while, and at the end how
// many records went out and how fast, followed by `repeat_note`. Returns the
// exit code: 0; 1 when a file could not be written (every file is then left
// as it was); 128 + the signal after Ctrl-C, SIGTERM or SIGHUP (the files
// then hold whole records only).
// Relative file names are taken from `start_directory`.
int Generate(const GenerateOptions& options, const std::filesystem::path& start_directory,
             RecordRange range, const NewRecordMaker& new_maker, Output& messages,
             const std::string& repeat_note = {});

// Makers of the records of `stream`'s seed, each from a copy of it.
NewRecordMaker StreamRecordMakers(const tavisor::RecordStream& stream);

// Writes the records that `options` ask for: the library's test records,
// or random records from a seeded stream on the lists that `app` loaded.
// Returns the exit code as Generate does.
int GenerateRecords(App& app, const GenerateOptions& options, Output& messages);

}  // namespace demo
