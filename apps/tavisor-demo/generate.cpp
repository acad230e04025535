#include "generate.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "console_control.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace demo {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Records are made and written in chunks: a thread makes one chunk at a
// time, and the chunks go out in their order, so every run writes its
// records in the order of their numbers whatever the number of threads.
constexpr std::uint64_t kChunkRecords = 256;
// Chunks made ahead of the writer, per thread: bounds the memory held.
constexpr std::uint64_t kChunksAheadPerThread = 4;
constexpr auto kWriterTick = 100ms;  // how often the writer looks at Ctrl-C and the bar
constexpr auto kProgressAfter = 1s;  // shorter runs get no bar
constexpr auto kProgressEvery = 250ms;
constexpr int kProgressWidth = 30;

struct Chunk {
  std::vector<ByteBuffer> texts;  // one per file
  std::uint64_t records = 0;      // fewer than asked for after Ctrl-C
};

// Hands out chunk numbers to the threads that make them and passes the
// made chunks to the writer in order.
class ChunkQueue {
 public:
  ChunkQueue(std::uint64_t chunks, std::uint64_t ahead) : chunks_(chunks), ahead_(ahead) {}

  // The next chunk to make; nothing when all are handed out or the run ends.
  std::optional<std::uint64_t> Claim() {
    std::unique_lock lock(mutex_);
    taken_.wait(lock, [&] { return ended_ || next_claim_ < next_write_ + ahead_; });
    if (ended_ || next_claim_ == chunks_) return std::nullopt;
    return next_claim_++;
  }

  void Deliver(std::uint64_t number, Chunk chunk) {
    {
      std::lock_guard lock(mutex_);
      made_.emplace(number, std::move(chunk));
    }
    delivered_.notify_all();
  }

  // The chunk due next, if it comes within `timeout`.
  std::optional<Chunk> TakeNext(Clock::duration timeout) {
    std::unique_lock lock(mutex_);
    if (!delivered_.wait_for(lock, timeout, [&] { return made_.count(next_write_) > 0; })) {
      return std::nullopt;
    }
    const auto found = made_.find(next_write_);
    Chunk chunk = std::move(found->second);
    made_.erase(found);
    ++next_write_;
    lock.unlock();
    taken_.notify_all();
    return chunk;
  }

  // A thread failed to make a record: the run ends.
  void Fail(std::exception_ptr failure) {
    {
      std::lock_guard lock(mutex_);
      if (!failure_) failure_ = failure;
      ended_ = true;
    }
    taken_.notify_all();
  }

  std::exception_ptr Failure() {
    std::lock_guard lock(mutex_);
    return failure_;
  }

  void End() {
    {
      std::lock_guard lock(mutex_);
      ended_ = true;
    }
    taken_.notify_all();
  }

 private:
  const std::uint64_t chunks_;
  const std::uint64_t ahead_;
  std::mutex mutex_;
  std::condition_variable taken_;      // the writer took a chunk, or the run ended
  std::condition_variable delivered_;  // a chunk was made
  std::map<std::uint64_t, Chunk> made_;
  std::uint64_t next_claim_ = 0;
  std::uint64_t next_write_ = 0;
  bool ended_ = false;
  std::exception_ptr failure_;
};

struct Sink {
  std::string name;  // "-": standard output
  RecordForm form;
  std::FILE* file = nullptr;
  std::uint64_t bytes = 0;
};

std::string Quoted(const std::string& name) {
  return name == "-" ? std::string("standard output") : '"' + name + '"';
}

std::FILE* OpenForWriting(const std::string& name) {
#if defined(_WIN32)
  return ::_wfopen(std::filesystem::path(name).c_str(), L"wb");
#else
  return std::fopen(name.c_str(), "wb");
#endif
}

// Bytes written as they are: no line-ending translation on Windows either.
// Does nothing unless `active`.
class BinaryStandardOutput {
 public:
  explicit BinaryStandardOutput(bool active) : active_(active) {
    if (!active_) return;
    std::fflush(stdout);
#if defined(_WIN32)
    previous_mode_ = ::_setmode(::_fileno(stdout), _O_BINARY);
#endif
  }
  ~BinaryStandardOutput() {
    if (!active_) return;
    std::fflush(stdout);
#if defined(_WIN32)
    if (previous_mode_ != -1) ::_setmode(::_fileno(stdout), previous_mode_);
#endif
  }
  BinaryStandardOutput(const BinaryStandardOutput&) = delete;
  BinaryStandardOutput& operator=(const BinaryStandardOutput&) = delete;

 private:
  const bool active_;
  [[maybe_unused]] int previous_mode_ = -1;
};

// A bar on standard error, drawn over itself; only on a terminal and only
// once the run has lasted a while.
class ProgressBar {
 public:
  explicit ProgressBar(std::uint64_t total)
      : total_(total), enabled_(IsTerminal(stderr)), start_(Clock::now()) {}

  void Show(std::uint64_t done) {
    const Clock::time_point now = Clock::now();
    if (!enabled_ || now - start_ < kProgressAfter || now - last_ < kProgressEvery) return;
    last_ = now;
    const int filled = static_cast<int>(done * kProgressWidth / total_);
    std::string bar = "\r[" + std::string(filled, '#') + std::string(kProgressWidth - filled, '-') +
                      "] " + std::to_string(done * 100 / total_) + "% " + std::to_string(done) +
                      " of " + std::to_string(total_) + " records";
    std::fputs(bar.c_str(), stderr);
    std::fflush(stderr);
    drawn_ = bar.size();
  }

  void Clear() {
    if (drawn_ == 0) return;
    std::fputs(('\r' + std::string(drawn_, ' ') + '\r').c_str(), stderr);
    std::fflush(stderr);
    drawn_ = 0;
  }

 private:
  const std::uint64_t total_;
  const bool enabled_;
  const Clock::time_point start_;
  Clock::time_point last_{};
  std::size_t drawn_ = 0;
};

void MakeChunks(ChunkQueue& queue, const std::vector<Sink>& sinks, std::uint64_t count,
                const RecordSource& source, const InterruptCatcher& catcher) {
  try {
    while (const std::optional<std::uint64_t> number = queue.Claim()) {
      Chunk chunk;
      chunk.texts.resize(sinks.size());
      const std::uint64_t first = *number * kChunkRecords;
      const std::uint64_t end = std::min(count, first + kChunkRecords);
      // After Ctrl-C the chunk ends early, still with whole records.
      for (std::uint64_t index = first; index < end && !catcher.Requested(); ++index) {
        const std::unique_ptr<tavisor::Item> item(source(index));
        for (std::size_t i = 0; i < sinks.size(); ++i) {
          AppendRecord(chunk.texts[i], *item, sinks[i].form, index + 1, index == 0);
        }
        ++chunk.records;
      }
      queue.Deliver(*number, std::move(chunk));
    }
  } catch (...) {
    queue.Fail(std::current_exception());
  }
}

bool WriteAll(Sink& sink, std::string_view text, Output& messages) {
  if (std::fwrite(text.data(), 1, text.size(), sink.file) == text.size()) {
    sink.bytes += text.size();
    return true;
  }
  messages.Line("generate: cannot write to " + Quoted(sink.name) + ": " + std::strerror(errno));
  return false;
}

// Opens every file, or reports the first that fails and closes the others.
bool OpenSinks(const GenerateOptions& options, std::vector<Sink>& sinks, Output& messages) {
  std::vector<std::string> names = options.outputs;
  if (names.empty()) names.push_back("-");
  for (const std::string& name : names) {
    Sink sink{name, options.FormOf(name)};
    sink.file = name == "-" ? stdout : OpenForWriting(name);
    if (sink.file == nullptr) {
      messages.Line("generate: cannot open " + Quoted(name) +
                    " for writing: " + std::strerror(errno));
      for (Sink& opened : sinks) {
        if (opened.file != stdout) std::fclose(opened.file);
      }
      return false;
    }
    sinks.push_back(sink);
  }
  return true;
}

bool CloseSinks(std::vector<Sink>& sinks, Output& messages) {
  bool ok = true;
  for (Sink& sink : sinks) {
    const bool closed =
        sink.file == stdout ? std::fflush(stdout) == 0 : std::fclose(sink.file) == 0;
    if (!closed) {
      messages.Line("generate: cannot write to " + Quoted(sink.name) + ": " + std::strerror(errno));
      ok = false;
    }
  }
  return ok;
}

std::string Summary(std::uint64_t records, Clock::duration elapsed,
                    const std::vector<Sink>& sinks) {
  const double seconds = std::chrono::duration<double>(elapsed).count();
  char timing[96];
  std::snprintf(timing, sizeof timing, " in %.2f s (%.0f records/s)", seconds,
                seconds > 0 ? static_cast<double>(records) / seconds : 0.0);
  std::string text = std::to_string(records) + " records" + timing + ":";
  for (std::size_t i = 0; i < sinks.size(); ++i) {
    text += (i == 0 ? " " : ", ") + std::to_string(sinks[i].bytes) + " bytes to " +
            Quoted(sinks[i].name);
  }
  return text;
}

}  // namespace

int Generate(const GenerateOptions& options, std::uint64_t count, const RecordSource& source,
             Output& messages) {
  std::vector<Sink> sinks;
  if (!OpenSinks(options, sinks, messages)) return 1;
  const bool to_stdout =
      std::any_of(sinks.begin(), sinks.end(), [](const Sink& sink) { return sink.file == stdout; });
  const BinaryStandardOutput binary_stdout(to_stdout);

  const Clock::time_point start = Clock::now();
  bool write_failed = false;
  for (Sink& sink : sinks) {
    write_failed = write_failed || !WriteAll(sink, FileHeader(sink.form), messages);
  }

  const InterruptCatcher catcher;
  const std::uint64_t chunks = (count + kChunkRecords - 1) / kChunkRecords;
  ChunkQueue queue(chunks, kChunksAheadPerThread * options.threads);
  std::vector<std::jthread> makers;
  for (unsigned i = 0; i < options.threads && !write_failed; ++i) {
    makers.emplace_back([&] { MakeChunks(queue, sinks, count, source, catcher); });
  }

  ProgressBar bar(count);
  std::uint64_t written = 0;
  bool cut_short = false;
  for (std::uint64_t next = 0; next < chunks && !write_failed && !cut_short;) {
    std::optional<Chunk> chunk = queue.TakeNext(kWriterTick);
    if (!chunk) {
      if (queue.Failure()) break;
      bar.Show(written);
      continue;
    }
    for (std::size_t i = 0; i < sinks.size() && !write_failed; ++i) {
      write_failed = !WriteAll(sinks[i], chunk->texts[i].view(), messages);
    }
    written += chunk->records;
    cut_short = chunk->records < std::min(kChunkRecords, count - next * kChunkRecords);
    ++next;
    bar.Show(written);
  }
  queue.End();
  makers.clear();  // joins
  bar.Clear();
  const Clock::duration elapsed = Clock::now() - start;
  for (Sink& sink : sinks) {
    write_failed = write_failed || !WriteAll(sink, FileFooter(sink.form), messages);
  }
  write_failed = !CloseSinks(sinks, messages) || write_failed;

  if (const std::exception_ptr failure = queue.Failure()) {
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& e) {
      messages.Line(std::string("generate: making a record failed: ") + e.what());
    } catch (...) {
      messages.Line("generate: making a record failed");
    }
    return 1;
  }
  if (write_failed) return 1;
  if (catcher.Requested() && cut_short) {
    messages.Line("Interrupted: " + Summary(written, elapsed, sinks) + " (whole records only)");
    return 130;
  }
  messages.Line("Wrote " + Summary(written, elapsed, sinks));
  return 0;
}

int GenerateRecords(App& app, const GenerateOptions& given, Output& messages) {
  GenerateOptions options = given;
  for (std::string& output : options.outputs) {
    if (output != "-") output = (app.start_directory() / output).string();
  }
  const tavisor::Library& library = app.library();
  if (options.test) {
    return Generate(
        options, kTestItemCount,
        [&library](std::uint64_t index) {
          return library.GetTestItem(static_cast<std::int32_t>(index));
        },
        messages);
  }
  if (!app.ListsLoaded()) {
    messages.Line("generate: no random records without the reference lists");
    return 1;
  }
  return Generate(
      options, options.count, [&library](std::uint64_t) { return library.GetItem(); }, messages);
}

}  // namespace demo
