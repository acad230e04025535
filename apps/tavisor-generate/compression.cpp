#include "compression.h"

#include <cstdint>
#include <stdexcept>

#if defined(TAVISOR_GENERATE_HAVE_LIBDEFLATE)
#include <libdeflate.h>
#elif defined(TAVISOR_GENERATE_HAVE_ZLIB)
#include <zlib.h>
#endif
#if defined(TAVISOR_GENERATE_HAVE_ZSTD)
#include <zstd.h>
#endif

namespace generate {

namespace {

// The standard levels favour speed: a file of records compresses almost as
// well at the fast levels as at the usual ones (chunks of about a megabyte,
// much alike), so they give the speed for a few per cent of size.
#if defined(TAVISOR_GENERATE_HAVE_LIBDEFLATE)
// libdeflate's 5 makes files about as small as gzip's own default, zlib's 6,
// in less time than its own 6.
constexpr Levels kGzipLevels{1, 12, 5};
#elif defined(TAVISOR_GENERATE_HAVE_ZLIB)
constexpr Levels kGzipLevels{1, 9, 6};
#endif
#if defined(TAVISOR_GENERATE_HAVE_ZSTD)
// 19 is the most the zstd command gives without --ultra. 1, not the zstd
// command's 3: on records, 3 costs a quarter more time for 2 % less size.
constexpr Levels kZstdLevels{1, 19, 1};
#endif

// Magic, deflate, no flags, no time, no extra flags, OS unknown: the same
// bytes for the same text on every system and with either deflater.
constexpr std::string_view kGzipHeader("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10);

// A gzip member ends with the CRC-32 of its text and the text's length
// modulo 2^32, both little-endian.
void AppendGzipTrailer(std::uint32_t crc, std::size_t size, ByteBuffer& out) {
  char* p = out.Reserve(8);
  for (int i = 0; i < 4; ++i) *p++ = static_cast<char>((crc >> (8 * i)) & 0xFF);
  for (int i = 0; i < 4; ++i) *p++ = static_cast<char>((size >> (8 * i)) & 0xFF);
  out.Commit(p);
}

}  // namespace

Levels LevelsOf(Compression compression) {
  switch (compression) {
    case Compression::kNone:
      break;
    case Compression::kGzip:
#if defined(TAVISOR_GENERATE_HAVE_LIBDEFLATE) || defined(TAVISOR_GENERATE_HAVE_ZLIB)
      return kGzipLevels;
#else
      break;
#endif
    case Compression::kZstd:
#if defined(TAVISOR_GENERATE_HAVE_ZSTD)
      return kZstdLevels;
#else
      break;
#endif
  }
  return {};
}

std::string ExtensionOf(Compression compression) {
  switch (compression) {
    case Compression::kNone:
      break;
    case Compression::kGzip:
      return ".gz";
    case Compression::kZstd:
      return ".zst";
  }
  return {};
}

std::string LibraryOf(Compression compression) {
  switch (compression) {
    case Compression::kNone:
      break;
    case Compression::kGzip:
#if defined(TAVISOR_GENERATE_HAVE_LIBDEFLATE)
      return "libdeflate";
#elif defined(TAVISOR_GENERATE_HAVE_ZLIB)
      return "zlib";
#else
      break;
#endif
    case Compression::kZstd:
#if defined(TAVISOR_GENERATE_HAVE_ZSTD)
      return "libzstd";
#else
      break;
#endif
  }
  return {};
}

struct Compressor::State {
#if defined(TAVISOR_GENERATE_HAVE_LIBDEFLATE)
  libdeflate_compressor* deflater = nullptr;
#elif defined(TAVISOR_GENERATE_HAVE_ZLIB)
  z_stream deflater = {};
  bool deflater_started = false;
#endif
#if defined(TAVISOR_GENERATE_HAVE_ZSTD)
  ZSTD_CCtx* zstd = nullptr;
#endif

  State(Compression compression, int level);
  ~State();
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  void Gzip(std::string_view text, ByteBuffer& out);
  void Zstd(std::string_view text, ByteBuffer& out);
};

Compressor::State::State(Compression compression, int level) {
  if (LibraryOf(compression).empty()) {
    throw std::logic_error("this build cannot write " + ExtensionOf(compression) + " files");
  }
  if (compression == Compression::kGzip) {
#if defined(TAVISOR_GENERATE_HAVE_LIBDEFLATE)
    deflater = libdeflate_alloc_compressor(level);
    if (deflater == nullptr) throw std::runtime_error("libdeflate cannot start compressing");
#elif defined(TAVISOR_GENERATE_HAVE_ZLIB)
    // Raw deflate (negative window bits): the member's header and trailer
    // are this file's, the same as with libdeflate.
    if (deflateInit2(&deflater, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
      throw std::runtime_error("zlib cannot start compressing");
    }
    deflater_started = true;
#endif
  }
#if defined(TAVISOR_GENERATE_HAVE_ZSTD)
  if (compression == Compression::kZstd) {
    zstd = ZSTD_createCCtx();
    // A checksum in every frame: zstd -t and -d find a damaged file.
    if (zstd == nullptr ||
        ZSTD_isError(ZSTD_CCtx_setParameter(zstd, ZSTD_c_compressionLevel, level)) ||
        ZSTD_isError(ZSTD_CCtx_setParameter(zstd, ZSTD_c_checksumFlag, 1))) {
      ZSTD_freeCCtx(zstd);
      throw std::runtime_error("libzstd cannot start compressing");
    }
  }
#endif
  static_cast<void>(level);
}

Compressor::State::~State() {
#if defined(TAVISOR_GENERATE_HAVE_LIBDEFLATE)
  libdeflate_free_compressor(deflater);
#elif defined(TAVISOR_GENERATE_HAVE_ZLIB)
  if (deflater_started) deflateEnd(&deflater);
#endif
#if defined(TAVISOR_GENERATE_HAVE_ZSTD)
  ZSTD_freeCCtx(zstd);
#endif
}

void Compressor::State::Gzip(std::string_view text, ByteBuffer& out) {
  out.Append(kGzipHeader);
#if defined(TAVISOR_GENERATE_HAVE_LIBDEFLATE)
  const std::size_t room = libdeflate_deflate_compress_bound(deflater, text.size());
  char* to = out.Reserve(room);
  const std::size_t written =
      libdeflate_deflate_compress(deflater, text.data(), text.size(), to, room);
  if (written == 0) throw std::runtime_error("libdeflate could not compress");
  out.Commit(to + written);
  AppendGzipTrailer(libdeflate_crc32(0, text.data(), text.size()), text.size(), out);
#elif defined(TAVISOR_GENERATE_HAVE_ZLIB)
  deflateReset(&deflater);
  deflater.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  deflater.avail_in = static_cast<uInt>(text.size());
  const std::size_t room = deflateBound(&deflater, static_cast<uLong>(text.size()));
  char* to = out.Reserve(room);
  deflater.next_out = reinterpret_cast<Bytef*>(to);
  deflater.avail_out = static_cast<uInt>(room);
  if (deflate(&deflater, Z_FINISH) != Z_STREAM_END) {
    throw std::runtime_error("zlib could not compress");
  }
  out.Commit(to + (room - deflater.avail_out));
  const auto crc = static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
  AppendGzipTrailer(crc, text.size(), out);
#else
  static_cast<void>(text);
#endif
}

void Compressor::State::Zstd(std::string_view text, ByteBuffer& out) {
#if defined(TAVISOR_GENERATE_HAVE_ZSTD)
  const std::size_t room = ZSTD_compressBound(text.size());
  char* to = out.Reserve(room);
  const std::size_t written = ZSTD_compress2(zstd, to, room, text.data(), text.size());
  if (ZSTD_isError(written)) {
    throw std::runtime_error(std::string("libzstd could not compress: ") +
                             ZSTD_getErrorName(written));
  }
  out.Commit(to + written);
#else
  static_cast<void>(text);
  static_cast<void>(out);
#endif
}

Compressor::Compressor(Compression compression, std::optional<int> level)
    : compression_(compression), level_(level.value_or(LevelsOf(compression).standard)) {}
Compressor::~Compressor() = default;
Compressor::Compressor(Compressor&&) noexcept = default;
Compressor& Compressor::operator=(Compressor&&) noexcept = default;

void Compressor::Compress(std::string_view text, ByteBuffer& out) {
  if (compression_ == Compression::kNone) return;
  if (!state_) state_ = std::make_unique<State>(compression_, level_);
  if (compression_ == Compression::kGzip) {
    state_->Gzip(text, out);
  } else {
    state_->Zstd(text, out);
  }
}

}  // namespace generate
