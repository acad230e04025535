// .gz files made of pieces that threads compress apart: each piece is raw
// deflate data that ends on a byte boundary with a full flush (no window
// shared with the piece before it), so pieces made in any order follow each
// other in one deflate stream. The file is one gzip member: a header, the
// pieces, an empty final block, the CRC-32 and the length of all the text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "byte_buffer.h"

namespace generate {

// False when the program was built without zlib: .gz files are refused.
bool CompressionAvailable();

class Deflater {
 public:
  Deflater();
  ~Deflater();
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // Appends `text`, compressed, to `out`; returns the text's CRC-32.
  std::uint32_t CompressPiece(std::string_view text, ByteBuffer& out);

 private:
  struct Stream;
  std::unique_ptr<Stream> stream_;
};

// What a .gz file starts with, and what ends it after pieces holding `size`
// bytes of text with the CRC-32 `crc`.
std::string GzipHeader();
std::string GzipTrailer(std::uint32_t crc, std::uint64_t size);

// The CRC-32 of the text of `crc` followed by `size` bytes whose CRC-32 is
// `next`.
std::uint32_t CombineCrc(std::uint32_t crc, std::uint32_t next, std::uint64_t size);

}  // namespace generate
