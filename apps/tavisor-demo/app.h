// What both the default run and the interactive mode do with the library.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "output.h"
#include "paths.h"
#include "producers.h"
#include "tavisor/library.h"
#include "tavisor/timeline.h"

namespace demo {

class App {
 public:
  App(const tavisor::Library& library, console::Output& output,
      std::filesystem::path start_directory)
      : library_(library),
        output_(output),
        producers_([&library](char version, void* shared) { library.Start(version, shared); },
                   library.graveyard(), output),
        start_directory_(std::move(start_directory)) {}

  // Makes `dir` (relative to the directory the program started in) the
  // working directory and loads both lists from it. Reports either way.
  bool LoadLists(const std::filesystem::path& dir);
  bool ListsLoaded() const { return lists_loaded_; }
  // The directory the lists were last loaded from.
  const std::filesystem::path& lists_directory() const { return lists_directory_; }

  // Prints `count` new random records and deletes them.
  void ShowRandom(int count);
  // Prints test record `n` and deletes it; reports an `n` outside 0 to
  // tavisor::kTestItemCount - 1.
  void ShowTest(std::int32_t n);
  // Starts a producer of variant `letter`; reports what went wrong.
  bool StartProducer(char letter);

  // Records the hand-over of every producer started from now on, and the
  // client's own doings, on one timeline.
  void RecordTimeline();
  // The timeline, or null when nothing is recorded.
  tavisor::Timeline* timeline() const { return timeline_.get(); }
  // Writes what was recorded so far to `file` (relative to the start
  // directory), in the form its extension names; reports either way.
  bool WriteTimeline(const std::filesystem::path& file);

  const tavisor::Library& library() const { return library_; }
  // Relative file names the user gives mean this directory, not the data
  // directory that LoadLists makes the working directory.
  const std::filesystem::path& start_directory() const { return start_directory_; }
  Producers& producers() { return producers_; }
  console::Output& output() { return output_; }

 private:
  // Why no record can be made yet, or an empty text.
  std::string MissingListsReason() const;

  const tavisor::Library& library_;
  console::Output& output_;
  Producers producers_;
  const std::filesystem::path start_directory_;
  std::filesystem::path lists_directory_;
  bool lists_loaded_ = false;
  bool load_failed_ = false;
  std::shared_ptr<tavisor::Timeline> timeline_;
};

}  // namespace demo
