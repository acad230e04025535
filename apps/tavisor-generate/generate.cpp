#include "generate.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "byte_buffer.h"
#include "compression.h"
#include "console_control.h"
#include "database_file.h"
#include "job_array.h"
#include "output_files.h"
#include "paths.h"
#include "schemas.h"
#include "tavisor/clock.h"
#include "tavisor/internal/thread_annotations.h"
#include "tavisor/record_stream.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace generate {

namespace {

using Clock = tavisor::Clock;
using namespace std::chrono_literals;

// Records are made and written in chunks: a thread makes one chunk at a
// time, and the chunks go out in their order, so every run writes its
// records in the order of their numbers whatever the number of threads. A
// chunk is the records of one chunk of the seeded stream, so that no
// thread draws records that another makes.
constexpr std::uint64_t kChunkRecords = tavisor::RecordStream::kChunkRecords;
// The text of the chunks made and not yet written is kept under this, to
// bound the memory whatever the count (each thread holds at least one).
constexpr std::size_t kTextInFlight = std::size_t{8} << 20;
// The writer goes through a chunk in groups of records of at most about
// this size per file, and looks at Ctrl-C between them: every file then
// ends after the same record.
constexpr std::size_t kGroupBytes = std::size_t{256} << 10;
constexpr auto kWriterTick = 100ms;  // how often the writer looks at Ctrl-C and the bar
// After Ctrl-C a pipe gets this long to take the rest of the group it is
// in, and as long again for the rest of its last record: twice this, and a
// writer tick, keep the run's end within a second of Ctrl-C.
constexpr auto kPipePatience = 400ms;
constexpr auto kProgressAfter = 1s;  // shorter runs get no bar
constexpr auto kProgressEvery = 250ms;
constexpr int kProgressWidth = 30;

// One chunk's records in the form of one file.
struct ChunkText {
  ByteBuffer bytes;
  std::vector<std::size_t> ends;  // where each record ends in `bytes`
  ByteBuffer compressed;          // compressed files: `bytes`, compressed by the maker
};

struct Chunk {
  std::uint64_t first = 0;       // the number of its first record
  std::uint64_t records = 0;     // made; fewer than asked for after Ctrl-C
  std::vector<ChunkText> texts;  // one per file
};

// Hands out chunk numbers to the threads that make them, passes the made
// chunks to the writer in order, and keeps the written ones for reuse.
class ChunkQueue {
 public:
  ChunkQueue(std::uint64_t chunks, std::uint64_t ahead) : chunks_(chunks), ahead_(ahead) {}

  // The next chunk to make, with a chunk to make it in; nothing when all
  // are handed out or the run ends.
  std::optional<std::uint64_t> Claim(std::unique_ptr<Chunk>& chunk) {
    tavisor::internal::UniqueLock lock(mutex_);
    taken_.wait(lock.native(), [&]() TAVISOR_REQUIRES(mutex_) {
      return ended_ || next_claim_ < next_write_ + ahead_;
    });
    if (ended_ || next_claim_ == chunks_) return std::nullopt;
    if (!free_.empty()) {
      chunk = std::move(free_.back());
      free_.pop_back();
    }
    return next_claim_++;
  }

  void Deliver(std::uint64_t number, std::unique_ptr<Chunk> chunk) {
    {
      const tavisor::internal::MutexLock lock(mutex_);
      made_.emplace(number, std::move(chunk));
    }
    delivered_.notify_all();
  }

  // The chunk due next, if it comes within `timeout`.
  std::unique_ptr<Chunk> TakeNext(Clock::duration timeout) {
    tavisor::internal::UniqueLock lock(mutex_);
    const auto made = [&]() TAVISOR_REQUIRES(mutex_) { return made_.count(next_write_) > 0; };
    if (!delivered_.wait_for(lock.native(), timeout, made)) {
      return nullptr;
    }
    const auto found = made_.find(next_write_);
    std::unique_ptr<Chunk> chunk = std::move(found->second);
    made_.erase(found);
    return chunk;
  }

  // The writer is done with the chunk it took.
  void Written(std::unique_ptr<Chunk> chunk) {
    {
      const tavisor::internal::MutexLock lock(mutex_);
      free_.push_back(std::move(chunk));
      ++next_write_;
    }
    taken_.notify_all();
  }

  // A thread failed to make a record: the run ends.
  void Fail(std::exception_ptr failure) {
    {
      const tavisor::internal::MutexLock lock(mutex_);
      if (!failure_) failure_ = failure;
      ended_ = true;
    }
    taken_.notify_all();
  }

  std::exception_ptr Failure() {
    const tavisor::internal::MutexLock lock(mutex_);
    return failure_;
  }

  void End() {
    {
      const tavisor::internal::MutexLock lock(mutex_);
      ended_ = true;
    }
    taken_.notify_all();
  }

 private:
  const std::uint64_t chunks_;
  const std::uint64_t ahead_;
  tavisor::internal::Mutex mutex_;
  std::condition_variable taken_;      // the writer took a chunk, or the run ended
  std::condition_variable delivered_;  // a chunk was made
  std::map<std::uint64_t, std::unique_ptr<Chunk>> made_ TAVISOR_GUARDED_BY(mutex_);
  std::vector<std::unique_ptr<Chunk>> free_ TAVISOR_GUARDED_BY(mutex_);
  std::uint64_t next_claim_ TAVISOR_GUARDED_BY(mutex_) = 0;
  std::uint64_t next_write_ TAVISOR_GUARDED_BY(mutex_) = 0;
  bool ended_ TAVISOR_GUARDED_BY(mutex_) = false;
  std::exception_ptr failure_ TAVISOR_GUARDED_BY(mutex_);
};

struct Sink {
  std::string name;  // "-": standard output
  RecordForm form;
  Compression compression = Compression::kNone;
  OutputFile file;
  std::uint64_t bytes = 0;  // written to the file
  // A database instead of `file`: it takes rows, not text.
  std::unique_ptr<DatabaseFile> database = nullptr;

  bool Compressed() const { return compression != Compression::kNone; }
};

// One compressor for each file, to be used by one thread.
std::vector<Compressor> CompressorsFor(const std::vector<Sink>& sinks, std::optional<int> level) {
  std::vector<Compressor> compressors;
  compressors.reserve(sinks.size());
  for (const Sink& sink : sinks) compressors.emplace_back(sink.compression, level);
  return compressors;
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
#if defined(_WIN32)
    if (active_ && previous_mode_ != -1) ::_setmode(::_fileno(stdout), previous_mode_);
#endif
  }
  BinaryStandardOutput(const BinaryStandardOutput&) = delete;
  BinaryStandardOutput& operator=(const BinaryStandardOutput&) = delete;

 private:
  const bool active_;
  [[maybe_unused]] int previous_mode_ = -1;
};

// 1234567 as 1,234,567.
std::string Thousands(std::uint64_t n) {
  const std::string digits = std::to_string(n);
  std::string text;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text;
}

// A bar on standard error, drawn over itself, with the rate and the time
// left; only on a terminal, only once the run has lasted a while, unless
// `hidden`.
class ProgressBar {
 public:
  ProgressBar(std::uint64_t total, bool hidden)
      : total_(total),
        enabled_(!hidden && total > 0 && console::IsTerminal(stderr)),
        start_(Clock::now()) {}

  void Show(std::uint64_t done) {
    const Clock::time_point now = Clock::now();
    if (!enabled_ || now - start_ < kProgressAfter || now - last_ < kProgressEvery) return;
    last_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = static_cast<double>(done) / seconds;
    const int filled = static_cast<int>(done * kProgressWidth / total_);
    std::string bar = "\r[" + std::string(filled, '#') + std::string(kProgressWidth - filled, '-') +
                      "] " + std::to_string(done * 100 / total_) + "% " + Thousands(done) + " of " +
                      Thousands(total_) + " records, " +
                      Thousands(static_cast<std::uint64_t>(rate)) + "/s";
    if (rate > 0) {
      const auto left = static_cast<std::uint64_t>(static_cast<double>(total_ - done) / rate);
      bar += ", " + (left >= 60 ? std::to_string(left / 60) + " min " : std::string()) +
             std::to_string(left % 60) + " s left";
    }
    if (bar.size() < drawn_) bar += std::string(drawn_ - bar.size(), ' ');
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

// The chunks of a run: chunk k holds the records of the stream's chunk
// first / kChunkRecords + k that lie in the range.
struct ChunkPlan {
  RecordRange range;

  std::uint64_t Count() const {
    if (range.end <= range.first) return 0;
    return (range.end - 1) / kChunkRecords - range.first / kChunkRecords + 1;
  }
  RecordRange Of(std::uint64_t k) const {
    const std::uint64_t start = (range.first / kChunkRecords + k) * kChunkRecords;
    return {std::max(start, range.first), std::min(start + kChunkRecords, range.end)};
  }
};

void MakeChunks(ChunkQueue& queue, const std::vector<Sink>& sinks, std::optional<int> level,
                const ChunkPlan& plan, const NewRecordMaker& new_maker,
                const console::InterruptCatcher& catcher) {
  console::KeepInterruptsFromThisThread();
  try {
    const std::unique_ptr<RecordMaker> maker = new_maker();
    std::vector<Compressor> compressors = CompressorsFor(sinks, level);
    tavisor::Item record;
    std::unique_ptr<Chunk> chunk;
    while (const std::optional<std::uint64_t> number = queue.Claim(chunk)) {
      if (!chunk) chunk = std::make_unique<Chunk>();
      chunk->texts.resize(sinks.size());
      for (ChunkText& text : chunk->texts) {
        text.bytes.clear();
        text.ends.clear();
      }
      const RecordRange records = plan.Of(*number);
      chunk->first = records.first;
      chunk->records = 0;
      // After Ctrl-C the chunk ends early, still with whole records.
      for (std::uint64_t index = records.first; index < records.end && !catcher.Requested();
           ++index) {
        maker->Make(index, record);
        for (std::size_t i = 0; i < sinks.size(); ++i) {
          ChunkText& text = chunk->texts[i];
          AppendRecord(text.bytes, record, sinks[i].form, index + 1, index == plan.range.first);
          text.ends.push_back(text.bytes.size());
        }
        ++chunk->records;
      }
      for (std::size_t i = 0; i < sinks.size(); ++i) {
        ChunkText& text = chunk->texts[i];
        text.compressed.clear();
        compressors[i].Compress(text.bytes.view(), text.compressed);
      }
      queue.Deliver(*number, std::move(chunk));
    }
  } catch (...) {
    queue.Fail(std::current_exception());
  }
}

// Writes the chunks to the files, in order, and keeps every file whole.
class Writer {
 public:
  Writer(std::vector<Sink>& sinks, std::optional<int> level,
         const console::InterruptCatcher& catcher, console::Output& messages)
      : sinks_(sinks),
        catcher_(catcher),
        messages_(messages),
        compressors_(CompressorsFor(sinks, level)) {
    // Files that cannot take back what they got come first in each group:
    // where they stop, the others stop too.
    // Compressed files and databases are written after them, apart.
    for (const bool seekable : {false, true}) {
      for (std::size_t i = 0; i < sinks_.size(); ++i) {
        const Sink& sink = sinks_[i];
        if (sink.file.Seekable() == seekable && !sink.Compressed() && !sink.database) {
          order_.push_back(i);
        }
      }
    }
  }

  // Text around the records (headers, footers), to every file.
  bool WriteToAll(std::string (*text_of)(const RecordForm&)) {
    for (Sink& sink : sinks_) {
      const std::string text = text_of(sink.form);
      if (!text.empty() && !WriteText(sink, text)) return false;
    }
    return true;
  }

  // Writes the chunk; returns how many of its records every file got. Fewer
  // than it holds after Ctrl-C or a failure.
  std::uint64_t WriteChunk(const Chunk& chunk) {
    std::uint64_t done = 0;
    while (done < chunk.records && !failed_) {
      if (catcher_.Requested()) break;
      std::uint64_t group_end = done + 1;
      while (group_end < chunk.records && GroupBytes(chunk, done, group_end + 1) <= kGroupBytes) {
        ++group_end;
      }
      const std::uint64_t written = WriteGroup(chunk, done, group_end);
      done = written;
      if (written < group_end) break;
    }
    // The databases take the rows of the records the files got.
    for (Sink& sink : sinks_) {
      if (!sink.database || failed_ || done == 0) continue;
      const ChunkText& rows = chunk.texts[IndexOf(sink)];
      if (!sink.database->Insert(rows.bytes.view().substr(0, rows.ends[done - 1]))) {
        failed_ = true;
        messages_.Error(sink.database->Error());
      }
    }
    // The compressed files last: the maker's member when the chunk went out
    // whole, otherwise what the others got, compressed here.
    for (Sink& sink : sinks_) {
      if (!sink.Compressed() || failed_ || done == 0) continue;
      const ChunkText& text = chunk.texts[IndexOf(sink)];
      if (done == chunk.records) {
        WriteBytes(sink, text.compressed.view());
      } else {
        WriteText(sink, text.bytes.view().substr(0, text.ends[done - 1]));
      }
    }
    return failed_ ? 0 : done;
  }

  // A compressed file that got no text gets an empty member or frame:
  // readers take it, where some refuse a file of no bytes.
  bool FinishCompressed() {
    for (Sink& sink : sinks_) {
      if (sink.Compressed() && sink.bytes == 0 && !WriteText(sink, {})) return false;
    }
    return true;
  }

  bool Failed() const { return failed_; }
  bool RecordCut() const { return record_cut_; }
  bool ReaderGone() const { return reader_gone_; }

 private:
  std::size_t IndexOf(const Sink& sink) const {
    return static_cast<std::size_t>(&sink - sinks_.data());
  }

  std::size_t GroupBytes(const Chunk& chunk, std::uint64_t from, std::uint64_t to) const {
    std::size_t most = 0;
    for (const std::size_t i : order_) {
      const ChunkText& text = chunk.texts[i];
      most = std::max(most, text.ends[to - 1] - (from == 0 ? 0 : text.ends[from - 1]));
    }
    return most;
  }

  // Records `from` to `to` of the chunk to every uncompressed file; returns
  // the record up to which all of them got it.
  std::uint64_t WriteGroup(const Chunk& chunk, std::uint64_t from, std::uint64_t to) {
    std::uint64_t end = to;
    for (const std::size_t i : order_) {
      Sink& sink = sinks_[i];
      const ChunkText& text = chunk.texts[i];
      const std::size_t start = from == 0 ? 0 : text.ends[from - 1];
      const std::string_view group(text.bytes.data() + start, text.ends[end - 1] - start);
      std::size_t written = sink.file.Write(group, catcher_, kPipePatience);
      if (written < group.size()) {
        // Where the file stopped, the others stop too.
        std::uint64_t whole = from;
        while (whole < end && text.ends[whole] <= start + written) ++whole;
        const bool in_record = (whole > from ? text.ends[whole - 1] : start) < start + written;
        if (sink.file.Error().empty() && in_record) {
          // Ctrl-C while a pipe was taking the group: it finishes the
          // record it is in, if it takes it in time.
          const std::string_view rest(text.bytes.data() + start + written,
                                      text.ends[whole] - (start + written));
          const std::size_t more = sink.file.Write(rest, catcher_, kPipePatience);
          written += more;
          if (more == rest.size()) {
            ++whole;
          } else {
            record_cut_ = true;
          }
        } else if (sink.file.ReaderGone()) {
          reader_gone_ = true;
        } else if (!sink.file.Error().empty()) {
          Fail(sink);
          return from;
        }
        end = whole;
      }
      sink.bytes += written;
      if (end == from) break;
    }
    return end;
  }

  bool WriteText(Sink& sink, std::string_view text) {
    if (!sink.Compressed()) return WriteBytes(sink, text);
    ByteBuffer member;
    compressors_[IndexOf(sink)].Compress(text, member);
    return WriteBytes(sink, member.view());
  }

  bool WriteBytes(Sink& sink, std::string_view bytes) {
    const std::size_t written = sink.file.Write(bytes, catcher_, kPipePatience);
    sink.bytes += written;
    if (written == bytes.size()) return true;
    if (sink.file.Error().empty()) {
      record_cut_ = true;  // a pipe that did not take the end in time
      return true;
    }
    Fail(sink);
    return !failed_;
  }

  void Fail(Sink& sink) {
    if (sink.file.ReaderGone()) {
      reader_gone_ = true;  // ends the run as a signal would, not as a failure
      return;
    }
    failed_ = true;
    messages_.Error(sink.file.Error());
  }

  std::vector<Sink>& sinks_;
  const console::InterruptCatcher& catcher_;
  console::Output& messages_;
  std::vector<std::size_t> order_;
  std::vector<Compressor> compressors_;  // for what the writer compresses itself
  bool failed_ = false;
  bool record_cut_ = false;
  bool reader_gone_ = false;
};

std::string Summary(std::uint64_t records, Clock::duration elapsed,
                    const std::vector<Sink>& sinks) {
  const double seconds = std::chrono::duration<double>(elapsed).count();
  std::uint64_t bytes = 0;
  for (const Sink& sink : sinks) bytes += sink.bytes;
  char timing[128];
  std::snprintf(timing, sizeof timing, " in %.2f s (%.0f records/s, %.1f MB/s)", seconds,
                seconds > 0 ? static_cast<double>(records) / seconds : 0.0,
                seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0.0);
  std::string text = std::to_string(records) + " records" + timing + ":";
  for (std::size_t i = 0; i < sinks.size(); ++i) {
    const Sink& sink = sinks[i];
    text += (i == 0 ? " " : ", ") + std::to_string(sink.bytes) + " bytes to " +
            (sink.database ? sink.database->Description() : sink.file.Description());
    if (sink.database && !sink.database->Committed()) text += " (left as it was)";
  }
  return text;
}

// Opens every file, or reports the first that fails; the others are then
// removed again when `sinks` goes.
bool OpenSinks(const GenerateOptions& options, const std::filesystem::path& start_directory,
               std::vector<Sink>& sinks, console::Output& messages) {
  std::vector<std::string> names = options.outputs;
  if (names.empty()) names.push_back("-");
  sinks.reserve(names.size());
  for (const std::string& given : names) {
    const std::string name = ShardFileName(given, options.shard);
    const RecordForm form = options.FormOf(given);
    const bool database = form.format == Format::kSqlite;
    Sink sink{name, form, options.CompressionOf(given),
              name == "-" || database
                  ? OutputFile()
                  : OutputFile(start_directory / name, name, {options.force, false})};
    if (database) {
      sink.database = std::make_unique<DatabaseFile>(start_directory / name, name, options.append);
    }
    if (const std::string problem = database ? sink.database->Open() : sink.file.Open();
        !problem.empty()) {
      messages.Error(problem);
      return false;
    }
    sinks.push_back(std::move(sink));
  }
  return true;
}

// Text in memory: the chunks ahead of the writer, per file about what a
// chunk of records takes in its form.
std::uint64_t ChunksAhead(const std::vector<Sink>& sinks, unsigned threads) {
  std::size_t chunk_bytes = 0;
  for (const Sink& sink : sinks) chunk_bytes += kChunkRecords * (sink.Compressed() ? 1600 : 1300);
  const std::uint64_t fits =
      std::max<std::uint64_t>(2, kTextInFlight / std::max<std::size_t>(1, chunk_bytes));
  return std::min<std::uint64_t>(fits, 4 * std::uint64_t{threads});
}

}  // namespace

int Generate(const GenerateOptions& options, const std::filesystem::path& start_directory,
             RecordRange range, const NewRecordMaker& new_maker, console::Output& messages,
             const std::string& repeat_note) {
  std::vector<Sink> sinks;
  if (!OpenSinks(options, start_directory, sinks, messages)) return 1;
  const bool to_stdout =
      std::any_of(sinks.begin(), sinks.end(), [](const Sink& sink) { return sink.name == "-"; });
  const BinaryStandardOutput binary_stdout(to_stdout);

  const Clock::time_point start = Clock::now();
  const console::InterruptCatcher catcher;
  Writer writer(sinks, options.level, catcher, messages);
  // Whether a shard's CSV file gets the header row is its form's (FormOf).
  bool ok = writer.WriteToAll(&FileHeader);

  const ChunkPlan plan{range};
  const std::uint64_t chunks = plan.Count();
  const std::uint64_t ahead = ChunksAhead(sinks, options.threads);
  ChunkQueue queue(chunks, ahead);
  // No more threads than chunks can be made at once: the others would only
  // wait, each holding memory of its own.
  const std::uint64_t threads = std::min<std::uint64_t>({options.threads, ahead, chunks});
  std::vector<std::jthread> makers;
  for (std::uint64_t i = 0; i < threads && ok; ++i) {
    makers.emplace_back([&] { MakeChunks(queue, sinks, options.level, plan, new_maker, catcher); });
  }

  // Records on the terminal the bar is drawn on would get its frames mixed
  // in.
  ProgressBar bar(range.end - range.first,
                  options.quiet || (to_stdout && StandardOutputOnErrorTerminal()));
  std::uint64_t written = 0;
  bool cut_short = false;
  for (std::uint64_t next = 0; next < chunks && ok && !cut_short;) {
    std::unique_ptr<Chunk> chunk = queue.TakeNext(kWriterTick);
    if (!chunk) {
      if (queue.Failure() || catcher.Requested()) break;
      bar.Show(written);
      continue;
    }
    const std::uint64_t records = writer.WriteChunk(*chunk);
    written += records;
    ok = !writer.Failed();
    cut_short = records < plan.Of(next).end - plan.Of(next).first || writer.ReaderGone();
    queue.Written(std::move(chunk));
    ++next;
    bar.Show(written);
  }
  queue.End();
  makers.clear();  // joins
  bar.Clear();
  // A JSON document closes its array even when the run was cut short.
  ok = ok && writer.WriteToAll(&FileFooter) && writer.FinishCompressed();
  const Clock::duration elapsed = Clock::now() - start;

  if (const std::exception_ptr failure = queue.Failure()) {
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& e) {
      messages.Error(std::string("making a record failed: ") + e.what());
    } catch (...) {
      messages.Error("making a record failed");
    }
    return 1;  // the files go, leaving what was there
  }
  if (!ok) return 1;
  const bool interrupted =
      writer.ReaderGone() ||
      (catcher.Requested() && (cut_short || written < range.end - range.first));
  // An interrupted run leaves the files it would replace as they were,
  // unless asked to keep the part written, and the databases as they were
  // always: a database holds whole runs only.
  std::string kept, replaced;
  for (Sink& sink : sinks) {
    if (sink.database && interrupted) {
      sink.database->Discard();
      continue;
    }
    if (!sink.database && interrupted && sink.file.Replaces()) {
      std::string& list = options.keep_partial ? replaced : kept;
      list += (list.empty() ? "" : ", ") + sink.file.Description();
      if (!options.keep_partial) {
        sink.file.Discard();
        continue;
      }
    }
    if (sink.database ? !sink.database->Commit() : !sink.file.Commit()) {
      messages.Error(sink.database ? sink.database->Error() : sink.file.Error());
      ok = false;
    } else if (sink.database) {
      sink.bytes = sink.database->Bytes();
    }
  }
  if (!ok) return 1;
  std::string note = kept.empty() ? "" : "; kept as it was (--keep-partial replaces it): " + kept;
  if (!replaced.empty()) note += "; replaced by the part written: " + replaced;
  if (!repeat_note.empty()) note += "; " + repeat_note;
  if (writer.ReaderGone()) {
    messages.Line("Interrupted: standard output was closed by its reader: " +
                  Summary(written, elapsed, sinks) + note);
    return 128 + 13;  // as SIGPIPE would have ended it
  }
  if (interrupted) {
    messages.Line("Interrupted: " + Summary(written, elapsed, sinks) +
                  (writer.RecordCut() ? " (whole records only, but for the last one on "
                                        "standard output, whose reader stopped taking it)"
                                      : " (whole records only)") +
                  note);
    return catcher.ExitStatus();
  }
  messages.Line("Wrote " + Summary(written, elapsed, sinks) + note);
  return 0;
}

namespace {

class TestRecordMaker : public RecordMaker {
 public:
  explicit TestRecordMaker(const tavisor::Library& library) : library_(library) {}
  void Make(std::uint64_t index, tavisor::Item& record) override {
    const std::unique_ptr<tavisor::Item> item(
        library_.GetTestItem(static_cast<std::int32_t>(index)));
    record = std::move(*item);
  }

 private:
  const tavisor::Library& library_;
};

class StreamRecordMaker : public RecordMaker {
 public:
  explicit StreamRecordMaker(const tavisor::RecordStream& stream) : stream_(stream) {}
  void Make(std::uint64_t index, tavisor::Item& record) override {
    if (stream_.position() != index) stream_.Seek(index);
    stream_.Next(record);
  }

 private:
  tavisor::RecordStream stream_;
};

}  // namespace

NewRecordMaker StreamRecordMakers(const tavisor::RecordStream& stream) {
  return [&stream] { return std::make_unique<StreamRecordMaker>(stream); };
}

namespace {

std::uint64_t FreshSeed() {
  std::random_device device;
  return (std::uint64_t{device()} << 32) | device();
}

}  // namespace

int GenerateTestRecords(const tavisor::Library& library, const GenerateOptions& options,
                        const std::filesystem::path& start_directory, console::Output& messages) {
  return Generate(
      options, start_directory, {0, tavisor::kTestItemCount},
      [&library] { return std::make_unique<TestRecordMaker>(library); }, messages);
}

std::optional<tavisor::RecordStream> OpenRecordStream(const GenerateOptions& options,
                                                      const std::filesystem::path& lists_directory,
                                                      console::Output& messages) {
  try {
    return tavisor::RecordStream(options.seed ? *options.seed : FreshSeed(), lists_directory);
  } catch (const std::exception& e) {
    messages.Error("Cannot load the reference lists from \"" + lists_directory.string() +
                   "\": " + e.what());
    return std::nullopt;
  }
}

int GenerateRandomRecords(const tavisor::RecordStream& stream, const GenerateOptions& options,
                          const std::filesystem::path& start_directory, console::Output& messages) {
  const std::uint64_t seed = stream.seed();
  const Shard& shard = options.shard;
  // Part I of N: the records from count * (I-1) / N on (no product above
  // 10^12 * 10^6 overflows).
  const std::uint64_t count = options.count.value_or(0);
  const RecordRange range{count * (shard.index - 1) / shard.parts,
                          count * shard.index / shard.parts};
  std::string repeat = "--seed " + std::to_string(seed);
  if (shard.parts > 1)
    repeat += " --shard " + std::to_string(shard.index) + "/" + std::to_string(shard.parts);
  return Generate(options, start_directory, range, StreamRecordMakers(stream), messages,
                  "seed " + std::to_string(seed) + ": repeat with " + repeat);
}

int RunGenerate(const GenerateOptions& options, const GenerateSources& sources,
                console::Output& messages) {
  if (options.schema) {
    const std::string schema = SchemaText(*options.schema);
    std::fwrite(schema.data(), 1, schema.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  const std::filesystem::path start_directory = std::filesystem::current_path();
  if (options.test) {
    const std::unique_ptr<tavisor::Library> library =
        console::OpenLibrary(sources.library, messages);
    if (!library) return 1;
    return GenerateTestRecords(*library, options, start_directory, messages);
  }
  std::filesystem::path lists_directory;
  std::optional<tavisor::RecordStream> stream;
  if (const std::optional<std::filesystem::path> lists =
          console::ListsDirectory(sources.data, messages)) {
    lists_directory = lists->is_absolute() ? *lists : start_directory / *lists;
    stream = OpenRecordStream(options, lists_directory, messages);
  }
  if (!stream) {
    messages.Error("no random records without the reference lists");
    return 1;
  }
  messages.Note("Reference lists loaded from \"" + lists_directory.string() + "\"");
  return GenerateRandomRecords(*stream, options, start_directory, messages);
}

}  // namespace generate
