// A growing run of bytes that keeps its storage when cleared: the writers
// put each record straight into it through a plain pointer, after making
// room for the most the record can take.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

namespace generate {

class ByteBuffer {
 public:
  // Room for `bytes` more bytes: write them from the pointer returned, then
  // Commit the end of what was written.
  char* Reserve(std::size_t bytes) {
    if (capacity_ - size_ < bytes) Grow(size_ + bytes);
    return data_.get() + size_;
  }
  void Commit(const char* end) { size_ = static_cast<std::size_t>(end - data_.get()); }

  void Append(std::string_view bytes) {
    char* to = Reserve(bytes.size());
    if (!bytes.empty()) std::memcpy(to, bytes.data(), bytes.size());
    size_ += bytes.size();
  }

  const char* data() const { return data_.get(); }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  std::string_view view() const { return {data_.get(), size_}; }
  void clear() { size_ = 0; }

 private:
  void Grow(std::size_t needed) {
    std::size_t capacity = capacity_ < 4096 ? 4096 : capacity_;
    while (capacity < needed) capacity *= 2;
    std::unique_ptr<char[]> grown(new char[capacity]);  // not zeroed: every byte is written first
    if (size_ > 0) std::memcpy(grown.get(), data_.get(), size_);
    data_ = std::move(grown);
    capacity_ = capacity;
  }

  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace generate
