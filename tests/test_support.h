// Small helpers shared by the tests.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <optional>
#include <random>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>

namespace tavisor::testing {

// A fresh directory that is removed again with everything in it.
class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() /
            ("tavisor-test-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Writes `bytes` unchanged (binary) to `name` inside the directory.
  void Write(const std::string& name, std::string_view bytes) const {
    std::ofstream out(path_ / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

 private:
  std::filesystem::path path_;
};

// Makes `dir` the working directory for the life of the guard.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::filesystem::path& dir)
      : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~WorkingDirectory() { std::filesystem::current_path(previous_); }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

 private:
  std::filesystem::path previous_;
};

// `count` lines "order family word<i> A" joined by `line_break`, with or
// without a line break after the last.
inline std::string BirdLines(int count, bool final_break, std::string_view line_break = "\r\n") {
  std::string text;
  for (int i = 0; i < count; ++i) {
    if (i > 0) text += line_break;
    text += "seltsilised sugukondlased liik" + std::to_string(i) + " A";
  }
  if (final_break) text += line_break;
  return text;
}

inline std::string CommunityLines(int count, bool final_break,
                                  std::string_view line_break = "\r\n") {
  std::string text;
  for (int i = 0; i < count; ++i) {
    if (i > 0) text += line_break;
    text += "Vald " + std::to_string(i);
  }
  if (final_break) text += line_break;
  return text;
}

// The four failures of a load, word for word.
inline const std::string kNoSpecies =
    "File \"Eesti linnud.txt\" is corrupted, number of species cannot be less than 414";
inline const std::string kNoCommunities =
    "File \"Eesti omavalitsused.txt\" is corrupted, number of communities cannot be less than 79";
inline const std::string kNoBirdFile = "Unable to open file \"Eesti linnud.txt\"";
inline const std::string kNoCommunityFile = "Unable to open file \"Eesti omavalitsused.txt\"";

// The message of the std::exception that `call` throws, or "(no exception)".
inline std::string MessageOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "(no exception)";
}

// Variant letters as types, for typed tests over the five variants.
template <char C>
struct Letter {
  static constexpr char value = C;
};

struct LetterName {
  template <class T>
  static std::string GetName(int) {
    return std::string(1, T::value);
  }
};

// The directory of the bundled reference lists.
inline std::filesystem::path BundledData() { return TAVISOR_DATA_DIR; }

// Initialises a loaded library (tavisor::Library) on the bundled lists,
// which it reads from the working directory.
template <class LoadedLibrary>
void InitializeOnBundledLists(const LoadedLibrary& lib) {
  const WorkingDirectory cwd(BundledData());
  lib.Initialize();
}

// Runs `call` on a thread of its own and waits up to `bound` for it. A call
// still blocked by then is a hang: the test cannot join the thread nor let
// it outlive the objects it uses, so it ends the process with a report.
inline void MustReturnWithin(std::chrono::seconds bound, const char* what,
                             const std::function<void()>& call) {
  std::packaged_task<void()> task(call);
  std::future<void> returned = task.get_future();
  std::thread runner(std::move(task));
  if (returned.wait_for(bound) != std::future_status::ready) {
    std::fprintf(stderr, "HANG: %s did not return within %lld s\n", what,
                 static_cast<long long>(bound.count()));
    std::fflush(stderr);
    std::abort();
  }
  runner.join();
  returned.get();
}

// Requests a stop on `source` when it goes. Declared after the threads of
// producers on that source, it ends them before the threads are joined,
// also when a failed assertion leaves the test early.
class StopOnExit {
 public:
  explicit StopOnExit(std::stop_source source) : source_(std::move(source)) {}
  ~StopOnExit() { source_.request_stop(); }
  StopOnExit(const StopOnExit&) = delete;
  StopOnExit& operator=(const StopOnExit&) = delete;

 private:
  std::stop_source source_;
};

// Waits up to `bound` for `ready`, looking every millisecond.
inline bool Within(std::chrono::milliseconds bound, const std::function<bool()>& ready) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (!ready()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Threads of this process right now, where the system tells.
inline std::optional<int> ThreadCount() {
#if defined(__linux__)
  int count = 0;
  std::error_code ec;
  for (std::filesystem::directory_iterator it("/proc/self/task", ec), end; !ec && it != end;
       it.increment(ec)) {
    ++count;
  }
  if (!ec) return count;
#endif
  return std::nullopt;
}

}  // namespace tavisor::testing
