#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "items/mt19937_blocks.h"

namespace tavisor {
namespace {

// Block by block and tempered, the words must be std::mt19937's, from the
// first word on and across several twists, whatever the seed.
TEST(Mt19937Blocks, GiveTheStandardSequence) {
  for (const std::uint32_t seed : {0u, 1u, 5489u, 20251208u, 0xFFFFFFFFu}) {
    Mt19937Blocks blocks(seed);
    std::mt19937 reference(seed);
    std::uint32_t block[Mt19937Blocks::kWords];
    for (int b = 0; b < 5; ++b) {
      blocks.TwistInto(block);
      for (int i = 0; i < Mt19937Blocks::kWords; ++i) {
        ASSERT_EQ(Mt19937Blocks::Temper(block[i]), reference())
            << "seed " << seed << ", block " << b << ", word " << i;
      }
    }
  }
}

TEST(Mt19937Blocks, SeedingAgainRestartsTheSequence) {
  Mt19937Blocks blocks(1);
  std::uint32_t block[Mt19937Blocks::kWords];
  blocks.TwistInto(block);
  blocks.Seed(42);
  blocks.TwistInto(block);
  std::mt19937 reference(42);
  for (int i = 0; i < Mt19937Blocks::kWords; ++i) {
    ASSERT_EQ(Mt19937Blocks::Temper(block[i]), reference()) << i;
  }
}

// Seeded from a seed sequence, the state must be std::mt19937's from the
// same sequence.
TEST(Mt19937Blocks, SeededFromASequenceGiveTheStandardSequence) {
  for (const std::vector<std::uint32_t>& seeds :
       {std::vector<std::uint32_t>{}, {1, 2, 3, 4, 5}, {0xFFFFFFFFu, 0, 7}}) {
    std::seed_seq sequence(seeds.begin(), seeds.end());
    std::seed_seq same(seeds.begin(), seeds.end());
    Mt19937Blocks blocks(0);
    blocks.SeedWith(sequence);
    std::mt19937 reference(same);
    std::uint32_t block[Mt19937Blocks::kWords];
    for (int b = 0; b < 2; ++b) {
      blocks.TwistInto(block);
      for (int i = 0; i < Mt19937Blocks::kWords; ++i) {
        ASSERT_EQ(Mt19937Blocks::Temper(block[i]), reference()) << seeds.size() << ", word " << i;
      }
    }
  }
}

}  // namespace
}  // namespace tavisor
