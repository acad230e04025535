// The files that `generate` writes, so that none is ever left damaged: a
// file is written as a temporary file beside it and takes its own name
// only when the run is done (Commit), so a run that fails or is refused
// leaves whatever was there before. On Linux the temporary file has no name
// until then (O_TMPFILE), so that even a killed run leaves nothing behind;
// elsewhere it is named after the process, and a later run removes the ones
// whose process has ended. A replaced file keeps its permissions (and owner
// and group, where the process may set them); one that the user may not
// write is refused, as a shell's `>` refuses it, unless forced. The data
// reaches the disk before the rename, and the rename after it. Standard
// output, devices and pipes (such as /dev/null or a named pipe) are written
// directly.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

namespace console {
class InterruptCatcher;
}

namespace generate {

struct ReplaceRules {
  bool force = false;  // replace files that the user may not write, as cp -f does
  // A named temporary file even where an unnamed one can be had.
  bool named_temporary = false;
};

class OutputFile {
 public:
  // Standard output.
  OutputFile();
  // `path` (absolute), named `shown` in messages; opens nothing yet.
  OutputFile(std::filesystem::path path, std::string shown, ReplaceRules rules = {});
  ~OutputFile();  // removes the temporary file unless committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&&) = delete;

  // Creates the temporary file (or opens the device). Returns an empty
  // text, or why it failed.
  std::string Open();

  // Whether what was written can be taken back to any length: temporary
  // files can; standard output, devices and pipes cannot.
  bool Seekable() const { return temporary_; }
  // Whether Commit replaces a file of that name (after Open).
  bool Replaces() const { return replaces_; }

  // Writes `bytes` and returns how many were written: all of them, or fewer
  // when the write failed (see Error) or, for a pipe that has not taken
  // them, once `catcher` has a request and `patience` has passed since it
  // came (bytes already in the pipe cannot be taken back).
  std::size_t Write(std::string_view bytes, const console::InterruptCatcher& catcher,
                    std::chrono::milliseconds patience);
  // Why the last write or Commit failed; empty if none did.
  const std::string& Error() const { return error_; }
  // True when the last write failed because the reader of a pipe is gone.
  bool ReaderGone() const { return reader_gone_; }

  // Closes the file and gives it its name (or flushes standard output).
  bool Commit();
  // Closes and removes the temporary file; the named file stays as it was.
  void Discard();

  // "standard output" or the file's name in double quotes.
  std::string Description() const;

 private:
  // Notes what the existing file `target_` keeps; refuses it when the user
  // may not write it and the rules do not force.
  std::string NoteReplaced();
  // Gives the named temporary file the target's name.
  bool PutInPlace();

  std::filesystem::path path_;  // empty: standard output
  std::string shown_;
  std::filesystem::path target_;          // the file that gets the name: `path_`, links followed
  std::filesystem::path temporary_path_;  // empty while the temporary file has no name
  ReplaceRules rules_;
  int fd_ = -1;
  bool temporary_ = false;
  bool replaces_ = false;
  unsigned long old_mode_ = 0;  // the replaced file's permissions (Windows: attributes)
  long old_owner_ = -1, old_group_ = -1;
  bool committed_ = false;
  bool reader_gone_ = false;
  std::size_t largest_write_ = 0;  // one write call at most this large
  std::string error_;
};

// Whether `a` and `b` name the same file: the same file of the system (a
// link or another path to it) or, for files that do not exist yet, the
// same path once "." and ".." and links are resolved. "-" is standard
// output, which is a file too when it is redirected to one.
bool SameFile(const std::string& a, const std::string& b);

// Whether standard output is the terminal that standard error is on.
bool StandardOutputOnErrorTerminal();

// A new name ".NAME.tavisor-PID-N" beside `target` NAME for a file of this
// run until it takes its name.
std::filesystem::path NewTemporaryName(const std::filesystem::path& target);

// Removes the temporary files that runs whose process has ended left beside
// `target` (a killed run that had no unnamed file); only files named as
// OutputFile names them. Returns how many it removed.
int RemoveAbandonedTemporaries(const std::filesystem::path& target);

}  // namespace generate
