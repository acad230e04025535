#include "app.h"

#include <exception>
#include <memory>
#include <system_error>

#include "tavisor/variants.h"
#include "timeline_files.h"

namespace demo {

namespace fs = std::filesystem;

bool App::LoadLists(const fs::path& dir) {
  if (producers_.Running() > 0) {
    output_.Line("Stop the running producers first: the lists must not change under them");
    return false;
  }
  const fs::path target = dir.is_absolute() ? dir : start_directory_ / dir;
  std::error_code ec;
  fs::current_path(target, ec);
  if (ec) {
    output_.Error("Cannot load the reference lists: cannot change to the directory \"" +
                  target.string() + "\": " + ec.message());
    load_failed_ = true;
    return false;
  }
  try {
    library_.Initialize();
  } catch (const std::exception& e) {
    output_.Error("Cannot load the reference lists from \"" + target.string() + "\": " + e.what());
    load_failed_ = true;
    return false;
  }
  // The library keeps lists it has loaded once, even if a later load fails.
  lists_loaded_ = true;
  lists_directory_ = target;
  output_.Note("Reference lists loaded from \"" + target.string() + "\"");
  return true;
}

std::string App::MissingListsReason() const {
  if (lists_loaded_) return {};
  return load_failed_ ? "the reference lists did not load (fix them and use: load DIR)"
                      : "the reference lists are not loaded (use: load DIR)";
}

void App::ShowRandom(int count) {
  if (const std::string reason = MissingListsReason(); !reason.empty()) {
    output_.Line("No random records: " + reason);
    return;
  }
  for (int i = 1; i <= count; ++i) {
    const std::unique_ptr<tavisor::Item> item(library_.GetItem());
    output_.Record("--- random record " + std::to_string(i) + " of " + std::to_string(count),
                   *item);
  }
}

void App::ShowTest(std::int32_t n) {
  // GetTestItem must not be given anything else.
  if (n < 0 || n >= tavisor::kTestItemCount) {
    output_.Line("Test record " + std::to_string(n) + " does not exist: use 0 to " +
                 std::to_string(tavisor::kTestItemCount - 1));
    return;
  }
  const std::unique_ptr<tavisor::Item> item(library_.GetTestItem(n));
  output_.Record("--- test record " + std::to_string(n), *item);
}

void App::RecordTimeline() {
  if (timeline_) return;
  timeline_ = std::make_shared<tavisor::Timeline>();
  producers_.RecordTimeline(timeline_);
}

bool App::WriteTimeline(const fs::path& file) {
  if (!timeline_) {
    output_.Line("No timeline is being recorded");
    return false;
  }
  const fs::path target = file.is_absolute() ? file : start_directory_ / file;
  const tavisor::Timeline::Snapshot snapshot = timeline_->Take();
  try {
    timeline::WriteTimeline(target, timeline::Arrange(snapshot));
  } catch (const std::exception& e) {
    output_.Error(std::string("Timeline not written: ") + e.what());
    return false;
  }
  output_.Line("Timeline of " + std::to_string(snapshot.entries.size()) +
               " event(s) written to \"" + target.string() + "\"");
  return true;
}

bool App::StartProducer(char letter) {
  if (const std::string reason = MissingListsReason(); !reason.empty()) {
    output_.Line(std::string("Producer ") + letter + " not started: " + reason);
    return false;
  }
  if (const std::string reason = tavisor::VariantUnavailableReason(letter); !reason.empty()) {
    output_.Line(reason);
    return false;
  }
  try {
    const int number = producers_.Start(letter);
    output_.Line("Started producer " + std::to_string(number) + " (variant " + letter + ")");
    return true;
  } catch (const std::exception& e) {
    output_.Line(std::string("Producer ") + letter + " not started: " + e.what());
    return false;
  }
}

}  // namespace demo
