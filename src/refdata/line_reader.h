// Reads a list file line by line in bounded memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

namespace tavisor {

// Where a LineReader's bytes come from: a file, or memory (the fuzzer reads
// without the file system in the way).
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Copies up to `size` (more than 0) next bytes to `into` and returns how
  // many: 0 only at the end of the bytes or on a read error.
  virtual std::size_t Read(char* into, std::size_t size) = 0;
  // True once a read has failed.
  virtual bool Failed() const = 0;
};

// A file opened for reading in binary, shared with other processes for
// reading and writing; null when it cannot be opened.
std::unique_ptr<ByteSource> OpenFileSource(const std::filesystem::path& path);

// Bytes in memory, which must outlive the source, handed out at most
// `most_per_read` (more than 0) at a time.
std::unique_ptr<ByteSource> MemorySource(std::string_view bytes,
                                         std::size_t most_per_read = SIZE_MAX);

// How much the reader asks of its source at a time.
inline constexpr std::size_t kReadBlockSize = 64 * 1024;

// The rules of Windows text mode, on every platform: a line ends at a line
// feed, and a carriage return right before the line feed belongs to the line
// break; a Ctrl-Z byte (0x1A) ends the file, so the line it interrupts is
// the last one. A file that ends with a line break (also one right before a
// Ctrl-Z) is followed by one more, empty line.
class LineReader {
 public:
  enum class Status {
    kLine,       // a line was read and more may follow
    kLastLine,   // the line was the last one of the file
    kTooLong,    // the line has more than `max_length` characters
    kReadError,  // the file could not be read further
  };

  // Reads `source` in blocks of at most kReadBlockSize bytes.
  LineReader(ByteSource& source, std::size_t max_length);
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // False when the source failed before its first byte (a directory opens
  // as a file on some systems, but cannot be read).
  bool IsReadable() const { return readable_; }

  // Reads the next line into `line`, valid until the next call.
  Status Next(std::string_view& line);

 private:
  bool Refill();

  ByteSource& source_;
  std::size_t max_length_;
  std::unique_ptr<char[]> buffer_;  // kReadBlockSize bytes
  std::size_t begin_ = 0;           // unread part of buffer_ is [begin_, end_)
  std::size_t end_ = 0;
  bool at_eof_ = false;
  bool read_error_ = false;
  bool readable_ = true;
  std::vector<char> carry_;  // a line that spans two buffer fills
};

}  // namespace tavisor
