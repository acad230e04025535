// The MT19937 sequence a block at a time: the state advances by one twist,
// which yields the next 624 words untempered, and each word is tempered when
// it is used. The parameters are Mt19937's; word by word the sequence is
// that of Mt19937 (and std::mt19937) with the same seed.
//
// The record engines hand whole blocks to threads (random_engines.h): the
// twist is the only step that needs the shared state, and it costs about a
// sixth of drawing the words it yields; the thread that takes the words
// tempers them, outside the engine's lock.
#pragma once

#include <cstdint>
#include <cstring>
#include <random>

namespace tavisor {

// The MT19937 engine with its state held in 32-bit words: the parameters and
// the sequence are those of std::mt19937, which holds its words in
// uint_fast32_t. That type is 64 bits wide on 64-bit Linux, where g++ then
// makes each draw more than twice as slow; draws are most of the cost of a
// record.
using Mt19937 =
    std::mersenne_twister_engine<std::uint32_t, 32, 624, 397, 31, 0x9908b0dfU, 11, 0xffffffffU, 7,
                                 0x9d2c5680U, 15, 0xefc60000U, 18, 1812433253U>;

class Mt19937Blocks {
 public:
  static constexpr int kWords = static_cast<int>(Mt19937::state_size);

  explicit Mt19937Blocks(std::uint32_t seed) { Seed(seed); }

  // The state that Mt19937's single-value seeding gives.
  void Seed(std::uint32_t seed) {
    state_[0] = seed;
    for (int i = 1; i < kWords; ++i) {
      const std::uint32_t previous = state_[i - 1];
      state_[i] = Mt19937::initialization_multiplier * (previous ^ (previous >> 30)) +
                  static_cast<std::uint32_t>(i);
    }
  }

  // The state that Mt19937's seeding from a seed sequence gives: the
  // sequence generates the state words, and an all-zero state (only its
  // first word's upper bit counts) becomes 2^31 in its first word.
  void SeedWith(std::seed_seq& sequence) {
    sequence.generate(state_, state_ + kWords);
    bool all_zero = (state_[0] & kUpperMask) == 0;
    for (int i = 1; i < kWords && all_zero; ++i) all_zero = state_[i] == 0;
    if (all_zero) state_[0] = kUpperMask;
  }

  // Advances the state by one twist and copies the next kWords words,
  // untempered, to `block`.
  void TwistInto(std::uint32_t* block) {
    constexpr int kShift = static_cast<int>(Mt19937::shift_size);
    int i = 0;
    for (; i < kWords - kShift; ++i) state_[i] = Mix(state_[i], state_[i + 1], state_[i + kShift]);
    for (; i < kWords - 1; ++i) {
      state_[i] = Mix(state_[i], state_[i + 1], state_[i + kShift - kWords]);
    }
    state_[i] = Mix(state_[i], state_[0], state_[kShift - 1]);
    std::memcpy(block, state_, sizeof state_);
  }

  static std::uint32_t Temper(std::uint32_t y) {
    y ^= (y >> Mt19937::tempering_u) & Mt19937::tempering_d;
    y ^= (y << Mt19937::tempering_s) & Mt19937::tempering_b;
    y ^= (y << Mt19937::tempering_t) & Mt19937::tempering_c;
    return y ^ (y >> Mt19937::tempering_l);
  }

 private:
  static constexpr std::uint32_t kUpperMask = ~std::uint32_t{0} << Mt19937::mask_bits;
  static constexpr std::uint32_t kLowerMask = ~kUpperMask;

  // The twist of one word: its upper bit and the next word's lower bits,
  // mixed into the word `shift_size` places on.
  static std::uint32_t Mix(std::uint32_t word, std::uint32_t next, std::uint32_t shifted) {
    const std::uint32_t y = (word & kUpperMask) | (next & kLowerMask);
    return shifted ^ (y >> 1) ^ ((y & 1U) != 0 ? Mt19937::xor_mask : 0U);
  }

  std::uint32_t state_[kWords];
};

}  // namespace tavisor
