#include "tavisor/record_stream.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "items/distributions.h"
#include "refdata/reference_lists.h"
#include "reference_record.h"
#include "test_support.h"

namespace tavisor {
namespace {

using testing::Draws;

std::string DrawsOf(const Item& record) { return Draws(record.name, record.observations); }

std::vector<std::string> Records(RecordStream& stream, int count) {
  std::vector<std::string> made;
  Item record;
  for (int i = 0; i < count; ++i) {
    stream.Next(record);
    made.push_back(DrawsOf(record));
  }
  return made;
}

// Engine `engine` (0 item, 1 coordinates, 2 dates) of `chunk`, seeded as the
// stream documents it.
std::mt19937 ChunkEngine(std::uint64_t seed, std::uint64_t chunk, std::uint32_t engine) {
  std::seed_seq sequence{static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(seed >> 32),
                         static_cast<std::uint32_t>(chunk), static_cast<std::uint32_t>(chunk >> 32),
                         engine};
  return std::mt19937(sequence);
}

// The distributions draw the same values as std::uniform_int_distribution
// of libstdc++ from the same words, so that seeded records are made as the
// library makes its own there. (Other standard libraries draw otherwise.)
TEST(PortableUniform, DrawsAsLibstdcxxDoes) {
#if defined(__GLIBCXX__)
  for (const auto& [low, high] : std::vector<std::pair<int, int>>{{0, 413},
                                                                  {1, 15},
                                                                  {1, 100},
                                                                  {0, 78},
                                                                  {1, 10},
                                                                  {57, 59},
                                                                  {21, 28},
                                                                  {0, 59},
                                                                  {1950, 2025},
                                                                  {1, 12},
                                                                  {1, 31},
                                                                  {0, 23},
                                                                  {0, 60},
                                                                  {-5, 5},
                                                                  {0, 0}}) {
    std::mt19937 words(static_cast<std::mt19937::result_type>(low * 1000 + high));
    std::mt19937 same_words = words;
    PortableUniform portable(low, high);
    std::uniform_int_distribution<int> standard(low, high);
    for (int i = 0; i < 20000; ++i) {
      ASSERT_EQ(portable(words), standard(same_words)) << low << " to " << high << ", draw " << i;
    }
  }
#else
  GTEST_SKIP() << "compares with libstdc++";
#endif
}

// A range whose remainder is large rejects often; every value stays in it
// and each comes about equally often.
TEST(PortableUniform, StaysInItsRangeAndIsEven) {
  std::mt19937 words(3);
  PortableUniform uniform(0, 2);        // 2^32 mod 3 = 1: the rare rejection
  PortableUniform wide(0, 0x7FFFFFFF);  // 2^32 mod 2^31 = 0: never rejects
  int seen[3] = {};
  for (int i = 0; i < 30000; ++i) {
    const int value = uniform(words);
    ASSERT_GE(value, 0);
    ASSERT_LE(value, 2);
    ++seen[value];
    ASSERT_GE(wide(words), 0);
  }
  for (const int n : seen) EXPECT_NEAR(n, 10000, 600);
}

class RecordStreamTest : public ::testing::Test {
 protected:
  static constexpr std::uint64_t kSeed = 0x1234'5678'9ABC'DEF0;
};

// Chunk by chunk, the records are the library's rules drawn on engines
// seeded from the seed and the chunk number, on every platform.
TEST_F(RecordStreamTest, MakesTheDocumentedRecordOfEachChunk) {
  ReferenceLists lists;
  ASSERT_EQ(LoadReferenceLists(lists, TAVISOR_DATA_DIR), "");
  RecordStream stream(kSeed, TAVISOR_DATA_DIR);
  for (const std::uint64_t chunk : {0ull, 1ull, 7ull, 0x1'0000'0003ull}) {
    stream.Seek(chunk * RecordStream::kChunkRecords);
    std::mt19937 item = ChunkEngine(kSeed, chunk, 0);
    std::mt19937 coord = ChunkEngine(kSeed, chunk, 1);
    std::mt19937 date = ChunkEngine(kSeed, chunk, 2);
    Item record;
    for (std::uint64_t n = 0; n < RecordStream::kChunkRecords + 3; ++n) {
      if (n == RecordStream::kChunkRecords) {  // the next chunk starts afresh
        item = ChunkEngine(kSeed, chunk + 1, 0);
        coord = ChunkEngine(kSeed, chunk + 1, 1);
        date = ChunkEngine(kSeed, chunk + 1, 2);
      }
      stream.Next(record);
      const Item expected = testing::ReferenceRecord<PortableUniform>(lists, item, coord, date);
      ASSERT_EQ(DrawsOf(record), DrawsOf(expected)) << "chunk " << chunk << ", record " << n;
      ASSERT_EQ(record.order, expected.order);
      ASSERT_EQ(record.family, expected.family);
      ASSERT_EQ(record.rarity, expected.rarity);
    }
  }
}

// Where a stream starts, whether it is copied and how the records are
// split among streams changes nothing: record n is record n.
TEST_F(RecordStreamTest, RecordsDependOnlyOnSeedAndNumber) {
  RecordStream whole(kSeed, TAVISOR_DATA_DIR);
  constexpr int kRecords = RecordStream::kChunkRecords + 300;
  const std::vector<std::string> all = Records(whole, kRecords);
  EXPECT_EQ(whole.position(), std::uint64_t{kRecords});

  for (const std::uint64_t start :
       {std::uint64_t{0}, std::uint64_t{1}, RecordStream::kChunkRecords - 1,
        RecordStream::kChunkRecords, RecordStream::kChunkRecords + 44,
        std::uint64_t{kRecords - 1}}) {
    RecordStream part(kSeed, TAVISOR_DATA_DIR);
    part.Seek(start);
    const std::vector<std::string> rest = Records(part, static_cast<int>(kRecords - start));
    EXPECT_TRUE(std::equal(rest.begin(), rest.end(), all.begin() + static_cast<long>(start)))
        << "from " << start;
  }
  RecordStream first(kSeed, TAVISOR_DATA_DIR);
  Records(first, 100);
  RecordStream copy = first;
  EXPECT_EQ(Records(copy, 200), Records(first, 200));
  EXPECT_EQ(first.Next().name, copy.Next().name);

  RecordStream other_seed(kSeed + 1, TAVISOR_DATA_DIR);
  const std::vector<std::string> others = Records(other_seed, kRecords);
  int same = 0;
  for (std::size_t i = 0; i < all.size(); ++i) same += all[i] == others[i] ? 1 : 0;
  EXPECT_EQ(same, 0);
}

// The first records of two seeds, as they must come out on every platform.
TEST_F(RecordStreamTest, GivesTheSameFirstRecordsEverywhere) {
  RecordStream zero(0, TAVISOR_DATA_DIR);
  RecordStream big(kSeed, TAVISOR_DATA_DIR);
  big.Seek(1000);
  const Item a = zero.Next();
  const Item b = big.Next();
  EXPECT_EQ(DrawsOf(a).substr(0, 60),
            "Kuuse-k\xE4"
            "bilind |59 53 32 25 26 28 2011-3-24 6501 2;R\xE4pina va");
  EXPECT_EQ(DrawsOf(b).substr(0, 60),
            "V\xE4lja-loorkull |Otep\xE4\xE4 vald 2007-3-17 51849 0;Luunja vald 19");
}

TEST_F(RecordStreamTest, ListsThatCannotBeUsedAreReportedAsInitializeDoes) {
  const testing::TempDir empty;
  EXPECT_THROW(
      {
        try {
          RecordStream stream(1, empty.path());
        } catch (const std::runtime_error& e) {
          EXPECT_STREQ(e.what(), "Unable to open file \"Eesti linnud.txt\"");
          throw;
        }
      },
      std::runtime_error);
}

}  // namespace
}  // namespace tavisor
