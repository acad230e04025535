#include "refdata/line_reader.h"

#include <algorithm>
#include <cstring>

namespace tavisor {

namespace {

// Text mode's end-of-file mark.
constexpr char kCtrlZ = '\x1A';

class FileSource final : public ByteSource {
 public:
  explicit FileSource(std::FILE* file) : file_(file) {}
  ~FileSource() override { std::fclose(file_); }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  std::size_t Read(char* into, std::size_t size) override {
    return std::fread(into, 1, size, file_);
  }
  bool Failed() const override { return std::ferror(file_) != 0; }

 private:
  std::FILE* file_;
};

class InMemorySource final : public ByteSource {
 public:
  InMemorySource(std::string_view bytes, std::size_t most_per_read)
      : rest_(bytes), most_per_read_(most_per_read) {}

  std::size_t Read(char* into, std::size_t size) override {
    const std::size_t n = std::min({size, most_per_read_, rest_.size()});
    if (n > 0) std::memcpy(into, rest_.data(), n);
    rest_.remove_prefix(n);
    return n;
  }
  bool Failed() const override { return false; }

 private:
  std::string_view rest_;
  std::size_t most_per_read_;
};

}  // namespace

std::unique_ptr<ByteSource> OpenFileSource(const std::filesystem::path& path) {
#if defined(_WIN32)
  // _wfopen shares the file for reading and writing with other processes.
  std::FILE* file = ::_wfopen(path.c_str(), L"rb");
#else
  std::FILE* file = std::fopen(path.c_str(), "rb");
#endif
  if (file == nullptr) return nullptr;
  return std::make_unique<FileSource>(file);
}

std::unique_ptr<ByteSource> MemorySource(std::string_view bytes, std::size_t most_per_read) {
  return std::make_unique<InMemorySource>(bytes, most_per_read);
}

LineReader::LineReader(ByteSource& source, std::size_t max_length)
    : source_(source),
      max_length_(max_length),
      buffer_(std::make_unique_for_overwrite<char[]>(kReadBlockSize)) {
  readable_ = Refill() || !read_error_;
}

bool LineReader::Refill() {
  begin_ = 0;
  end_ = source_.Read(buffer_.get(), kReadBlockSize);
  if (end_ == 0) {
    at_eof_ = true;
    read_error_ = source_.Failed();
  }
  // Nothing behind a Ctrl-Z is read, a read error there included.
  if (const void* mark = std::memchr(buffer_.get(), kCtrlZ, end_)) {
    end_ = static_cast<std::size_t>(static_cast<const char*>(mark) - buffer_.get());
    at_eof_ = true;
    read_error_ = false;
  }
  return end_ > 0;
}

LineReader::Status LineReader::Next(std::string_view& line) {
  carry_.clear();
  for (;;) {
    const char* start = buffer_.get() + begin_;
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
