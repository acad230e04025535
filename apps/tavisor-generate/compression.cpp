#include "compression.h"

#include <stdexcept>

#if defined(TAVISOR_GENERATE_HAVE_ZLIB)
#include <zlib.h>
#endif

namespace generate {

#if defined(TAVISOR_GENERATE_HAVE_ZLIB)

struct Deflater::Stream {
  z_stream z = {};
};

bool CompressionAvailable() { return true; }

Deflater::Deflater() : stream_(std::make_unique<Stream>()) {
  // Raw deflate (negative window bits): the gzip header and trailer are
  // written around the pieces.
  if (deflateInit2(&stream_->z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) !=
      Z_OK) {
    throw std::runtime_error("zlib cannot start compressing");
  }
}

Deflater::~Deflater() { deflateEnd(&stream_->z); }

std::uint32_t Deflater::CompressPiece(std::string_view text, ByteBuffer& out) {
  z_stream& z = stream_->z;
  deflateReset(&z);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  // The bound of a whole stream, plus the empty stored block of the flush.
  const std::size_t room = deflateBound(&z, static_cast<uLong>(text.size())) + 16;
  char* to = out.Reserve(room);
  z.next_out = reinterpret_cast<Bytef*>(to);
  z.avail_out = static_cast<uInt>(room);
  deflate(&z, Z_FULL_FLUSH);
  out.Commit(to + (room - z.avail_out));
  return static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
}

std::uint32_t CombineCrc(std::uint32_t crc, std::uint32_t next, std::uint64_t size) {
  return static_cast<std::uint32_t>(crc32_combine(crc, next, static_cast<z_off_t>(size)));
}

#else

struct Deflater::Stream {};

bool CompressionAvailable() { return false; }

Deflater::Deflater() { throw std::logic_error("built without zlib"); }
Deflater::~Deflater() = default;
std::uint32_t Deflater::CompressPiece(std::string_view, ByteBuffer&) { return 0; }
std::uint32_t CombineCrc(std::uint32_t, std::uint32_t, std::uint64_t) { return 0; }

#endif

std::string GzipHeader() {
  // Magic, deflate, no flags, no time, no extra flags, OS unknown: the same
  // bytes for the same records.
  return std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10);
}

std::string GzipTrailer(std::uint32_t crc, std::uint64_t size) {
  std::string trailer("\x03\x00", 2);  // an empty final block (fixed codes)
  for (int i = 0; i < 4; ++i) trailer += static_cast<char>((crc >> (8 * i)) & 0xFF);
  for (int i = 0; i < 4; ++i) trailer += static_cast<char>((size >> (8 * i)) & 0xFF);
  return trailer;
}

}  // namespace generate
