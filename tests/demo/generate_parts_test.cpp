// The parts of generate that read the command line and compress: one file
// under two names, whole numbers, compressed pieces.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "compression.h"
#include "console_control.h"
#include "generate_options.h"
#include "output_files.h"
#include "test_support.h"

#if defined(TAVISOR_GENERATE_HAVE_ZLIB)
#include <zlib.h>
#endif

namespace generate {
namespace {

namespace fs = std::filesystem;
using tavisor::testing::TempDir;

TEST(SameFile, BySystemFileAndByResolvedPath) {
  const TempDir dir;
  const fs::path a = dir.path() / "a.jsonl";
  dir.Write("a.jsonl", "x");
  struct Case {
    std::string first, second;
    bool same;
  };
  std::vector<Case> cases = {
      {a.string(), a.string(), true},
      {a.string(), (dir.path() / "." / "a.jsonl").string(), true},
      {(dir.path() / "new.csv").string(), (dir.path() / "sub" / ".." / "new.csv").string(), true},
      {a.string(), (dir.path() / "b.jsonl").string(), false},
  };
#if !defined(_WIN32)
  fs::create_symlink(a, dir.path() / "link.csv");
  fs::create_symlink("later.jsonl", dir.path() / "dangling.csv");
  cases.push_back({a.string(), (dir.path() / "link.csv").string(), true});
  cases.push_back(
      {(dir.path() / "later.jsonl").string(), (dir.path() / "dangling.csv").string(), true});
#endif
  for (const Case& c : cases) {
    EXPECT_EQ(SameFile(c.first, c.second), c.same) << c.first << " / " << c.second;
    EXPECT_EQ(SameFile(c.second, c.first), c.same) << c.second << " / " << c.first;
  }
}

TEST(WholeNumber, DecimalDigitsOnly) {
  struct Case {
    const char* text;
    std::uint64_t low, high;
    std::string problem;  // empty: accepted
    std::uint64_t value = 0;
  };
  const std::uint64_t most = ~std::uint64_t{0};
  for (const Case& c : {Case{"010", 1, 100, "", 10}, Case{"0", 0, 5, "", 0},
                        Case{"18446744073709551615", 0, most, "", most},
                        Case{"18446744073709551616", 0, most,
                             "18446744073709551616 is not in the range 0 to 18446744073709551615"},
                        Case{"0", 1, 64, "0 is not in the range 1 to 64"},
                        Case{"", 1, 64, "\"\" is not a whole number"},
                        Case{"0x10", 1, 64, "\"0x10\" is not a whole number"},
                        Case{"1e3", 1, 64, "\"1e3\" is not a whole number"},
                        Case{"10k", 1, 64, "\"10k\" is not a whole number"},
                        Case{" 5", 1, 64, "\" 5\" is not a whole number"},
                        Case{"+5", 1, 64, "\"+5\" is not a whole number"},
                        Case{"-5", 1, 64, "\"-5\" is not a whole number"}}) {
    std::uint64_t value = 12345;
    EXPECT_EQ(ParseWholeNumber(c.text, c.low, c.high, value), c.problem) << c.text;
    if (c.problem.empty()) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

// Pieces compressed apart, in one gzip member, are the text they hold.
TEST(Compression, PiecesMakeOneGzipFile) {
  if (!CompressionAvailable()) GTEST_SKIP() << "built without zlib";
#if defined(TAVISOR_GENERATE_HAVE_ZLIB)
  const std::string pieces[] = {"record,order\r\n", "", std::string(300000, 'x') + "\n",
                                "J\xC3\xB5geva vald\n"};
  Deflater deflater;
  ByteBuffer file;
  file.Append(GzipHeader());
  std::uint32_t crc = 0;
  std::string text;
  for (const std::string& piece : pieces) {
    crc = CombineCrc(crc, deflater.CompressPiece(piece, file), piece.size());
    text += piece;
  }
  file.Append(GzipTrailer(crc, text.size()));
  EXPECT_EQ(crc,
            crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
  z_stream z = {};
  ASSERT_EQ(inflateInit2(&z, 16 + 15), Z_OK);  // gzip only
  std::string out(text.size() + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(file.data()));
  z.avail_in = static_cast<uInt>(file.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);  // the trailer's CRC and length checked
  EXPECT_EQ(z.avail_in, 0u);
  out.resize(z.total_out);
  inflateEnd(&z);
  EXPECT_EQ(out, text);
#endif
}

}  // namespace
}  // namespace generate
