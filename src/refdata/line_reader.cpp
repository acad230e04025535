#include "refdata/line_reader.h"

#include <cstring>

namespace tavisor {

namespace {
constexpr std::size_t kBufferSize = 64 * 1024;

std::FILE* OpenForReading(const std::filesystem::path& path) {
#if defined(_WIN32)
  // _wfopen shares the file for reading and writing with other processes.
  return ::_wfopen(path.c_str(), L"rb");
#else
  return std::fopen(path.c_str(), "rb");
#endif
}
}  // namespace

LineReader::LineReader(const std::filesystem::path& path, std::size_t max_length)
    : file_(OpenForReading(path)), max_length_(max_length) {
  if (file_ == nullptr) return;
  buffer_.resize(kBufferSize);
  // A path that opens but cannot be read (a directory, for one) counts as a
  // file that cannot be opened.
  if (!Refill() && read_error_) {
    std::fclose(file_);
    file_ = nullptr;
  }
}

LineReader::~LineReader() {
  if (file_ != nullptr) std::fclose(file_);
}

bool LineReader::Refill() {
  begin_ = 0;
  end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
  if (end_ < buffer_.size()) {
    at_eof_ = true;
    read_error_ = std::ferror(file_) != 0;
  }
  return end_ > 0;
}

LineReader::Status LineReader::Next(std::string_view& line) {
  carry_.clear();
  for (;;) {
    const char* start = buffer_.data() + begin_;
    const std::size_t available = end_ - begin_;
    const auto* newline = static_cast<const char*>(std::memchr(start, '\n', available));
    if (newline != nullptr) {
      const auto length = static_cast<std::size_t>(newline - start);
      begin_ += length + 1;
      std::string_view content(start, length);
      if (!carry_.empty()) {
        carry_.insert(carry_.end(), start, newline);
        content = std::string_view(carry_.data(), carry_.size());
      }
      if (!content.empty() && content.back() == '\r') content.remove_suffix(1);
      if (content.size() > max_length_) return Status::kTooLong;
      line = content;
      return Status::kLine;
    }
    carry_.insert(carry_.end(), start, start + available);
    begin_ = end_;
    // One character more than the limit may still be the CR of a CRLF.
    if (carry_.size() > max_length_ + 1) return Status::kTooLong;
    if (at_eof_) {
      if (read_error_) return Status::kReadError;
      if (carry_.size() > max_length_) return Status::kTooLong;
      line = std::string_view(carry_.data(), carry_.size());
      return Status::kLastLine;
    }
    Refill();
  }
}

}  // namespace tavisor
