// The files that `generate` writes, so that none is ever left damaged: a
// file is written under a temporary name beside it and takes its own name
// only when the run is done (Commit), so a run that fails or is refused
// leaves whatever was there before. Standard output, devices and pipes
// (such as /dev/null or a named pipe) are written directly.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

namespace console {
class InterruptCatcher;
}

namespace generate {

class OutputFile {
 public:
  // Standard output.
  OutputFile();
  // `path` (absolute), named `shown` in messages; opens nothing yet.
  OutputFile(std::filesystem::path path, std::string shown);
  ~OutputFile();  // removes the temporary file unless committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  OutputFile(OutputFile&& other) noexcept;
  OutputFile& operator=(OutputFile&&) = delete;

  // Creates the temporary file (or opens the device). Returns an empty
  // text, or why it failed.
  std::string Open();

  // Whether what was written can be taken back to any length: files under
  // a temporary name can; standard output, devices and pipes cannot.
  bool Seekable() const { return temporary_; }

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
  std::filesystem::path path_;  // empty: standard output
  std::string shown_;
  std::filesystem::path target_;  // the file that gets the name: `path_`, links followed
  std::filesystem::path temporary_path_;
  int fd_ = -1;
  bool temporary_ = false;
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

}  // namespace generate
