// Compressed files as parallel gzip tools write them: each chunk of text is
// compressed on its own, by the thread that made it, into a whole gzip
// member or zstd frame. A file is these one after the other, which gzip,
// zcat and zstd read as one stream, and which join to one file again when
// files are concatenated. The same text and level give the same bytes
// whatever thread compressed it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "byte_buffer.h"

namespace generate {

enum class Compression { kNone, kGzip, kZstd };

// The levels a compression takes in this build: gzip through libdeflate
// goes to 12, through zlib to 9; zstd stops short of its levels that need
// hundreds of megabytes.
struct Levels {
  int low = 0;
  int high = 0;
  int standard = 0;  // when no level is given
};
Levels LevelsOf(Compression compression);

// The file name extension (".gz", ".zst") and what this build compresses
// with ("libdeflate", "zlib", "libzstd"); empty when it cannot.
std::string ExtensionOf(Compression compression);
std::string LibraryOf(Compression compression);

// Compresses whole chunks of text at one level; keeps its state between
// chunks to spare the allocations. For kNone it does nothing.
class Compressor {
 public:
  // `level`: none for the compression's standard level.
  Compressor(Compression compression, std::optional<int> level);
  ~Compressor();
  Compressor(Compressor&&) noexcept;
  Compressor& operator=(Compressor&&) noexcept;

  // Appends `text` to `out` as one whole gzip member or zstd frame.
  void Compress(std::string_view text, ByteBuffer& out);

 private:
  struct State;
  Compression compression_;
  int level_;
  std::unique_ptr<State> state_;  // made when first needed
};

}  // namespace generate
