// Writing records to files: records made on one or more threads, written in
// their order to one or more files. tavisor-generate and the demo's generate
// command run this code.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "generate_options.h"
#include "output.h"
#include "tavisor/item.h"
#include "tavisor/library.h"
#include "tavisor/record_stream.h"

namespace generate {

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
// standard error is a terminal that the records do not go to and the run
// takes a while, and at the end how many records went out and how fast,
// followed by `repeat_note`. Returns the exit code: 0; 1 when a file could
// not be written (every file is then left as it was); 128 + the signal
// after Ctrl-C, SIGTERM or SIGHUP (new files then hold whole records only,
// and files that were there stay as they were unless
// `options.keep_partial`).
// Relative file names are taken from `start_directory`.
int Generate(const GenerateOptions& options, const std::filesystem::path& start_directory,
             RecordRange range, const NewRecordMaker& new_maker, console::Output& messages,
             const std::string& repeat_note = {});

// Makers of the records of `stream`'s seed, each from a copy of it.
NewRecordMaker StreamRecordMakers(const tavisor::RecordStream& stream);

// Writes the library's test records (GetTestItem) as `options` say.
// Returns the exit code as Generate does.
int GenerateTestRecords(const tavisor::Library& library, const GenerateOptions& options,
                        const std::filesystem::path& start_directory, console::Output& messages);

// A stream of `options.seed` (or of a fresh seed) on the lists of
// `lists_directory`, loaded here; nothing, after saying why on `messages`,
// when they cannot be used.
std::optional<tavisor::RecordStream> OpenRecordStream(const GenerateOptions& options,
                                                      const std::filesystem::path& lists_directory,
                                                      console::Output& messages);

// Writes the random records of `stream`'s seed as `options` say; the last
// line tells the seed. Returns the exit code as Generate does.
int GenerateRandomRecords(const tavisor::RecordStream& stream, const GenerateOptions& options,
                          const std::filesystem::path& start_directory, console::Output& messages);

// Where a run of the command takes what it needs from.
struct GenerateSources {
  std::optional<std::filesystem::path> data;     // the lists' directory (--data)
  std::optional<std::filesystem::path> library;  // the library file (--library)
};

// The command: with --test loads the library and writes its test records;
// otherwise finds and loads the lists, once, and writes random records,
// without the library. Relative names are taken from the working
// directory. Returns the exit code as Generate does.
int RunGenerate(const GenerateOptions& options, const GenerateSources& sources,
                console::Output& messages);

}  // namespace generate
