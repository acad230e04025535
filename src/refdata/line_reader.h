// Reads a list file line by line in bounded memory.
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <vector>

namespace tavisor {

// A line ends at a line feed; a carriage return right before the line feed
// belongs to the line break, as in Windows text mode, on every platform. A
// file that ends with a line break is followed by one more, empty line.
class LineReader {
 public:
  enum class Status {
    kLine,       // a line was read and more may follow
    kLastLine,   // the line was the last one of the file
    kTooLong,    // the line has more than `max_length` characters
    kReadError,  // the file could not be read further
  };

  // Opens `path` for reading; IsOpen() tells whether that worked.
  LineReader(const std::filesystem::path& path, std::size_t max_length);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  bool IsOpen() const { return file_ != nullptr; }

  // Reads the next line into `line`, valid until the next call.
  Status Next(std::string_view& line);

 private:
  bool Refill();

  std::FILE* file_ = nullptr;
  std::size_t max_length_;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;  // unread part of buffer_ is [begin_, end_)
  std::size_t end_ = 0;
  bool at_eof_ = false;
  bool read_error_ = false;
  std::vector<char> carry_;  // a line that spans two buffer fills
};

}  // namespace tavisor
