// When a client may free what it gave a producer: on the last signal, with
// no time allowance, however late the producer's thread gets to run; and a
// long-running client that starts and stops producers does not grow.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "api/entry_points.h"
#include "in_process.h"
#include "producer/pause.h"
#include "starvation.h"
#include "tavisor/producer.h"
#include "test_support.h"
#include "variant_types.h"

namespace tavisor {
namespace {

using namespace std::chrono_literals;

// Pauses of 3 to 30 s: however late a thread gets to stop, the stop falls
// before the first batch. Static: detached producers read it until they end.
const PauseUnit long_pause_unit(3000ms);

template <class T>
class LifetimeTest : public testing::VariantTest<T> {
 protected:
  using testing::VariantTest<T>::kLetter;
  void SetUp() override {
#if defined(__MINGW32__)
    if (kLetter == 'B') GTEST_SKIP() << "see ProducerTest: MinGW's barrier loses wake-ups";
#endif
    ::testing::internal::CaptureStdout();
  }
  void TearDown() override {
    if (this->IsSkipped()) return;
    const std::string printed = ::testing::internal::GetCapturedStdout();
    if (this->HasFailure()) std::fputs(printed.c_str(), stderr);  // failures went there too
  }
};

using testing::LastSignalVariants;
using testing::Letter;
using testing::LetterName;
TYPED_TEST_SUITE(LifetimeTest, LastSignalVariants, LetterName);

// A client that destroys the structure, with its latch, promise and last
// buffer, the moment the last signal has come, while producer threads are
// starved: the library touches none of it after that signal (the address
// sanitizer stage reports any use after the free). Stops fall right after
// Start and inside the first pause.
TYPED_TEST(LifetimeTest, StructureMayGoTheMomentTheLastSignalHasCome) {
  constexpr char kLetter = TestFixture::kLetter;
  // As many cycles as fit in the time (about 100 alone here), but never
  // fewer than kLeastCycles: on a sanitizer build beside busy tests a cycle
  // may take a second.
  constexpr auto kBudget = 3s;
  constexpr int kLeastCycles = 10, kMostCycles = 3000;
  std::mt19937 engine(20261209);
  std::uniform_int_distribution<int> stop_after_us(0, 400);
  int cycles = 0, ended = 0;
  {
    testing::Starvation starvation;
    const auto until = std::chrono::steady_clock::now() + kBudget;
    for (; cycles < kMostCycles &&
           (cycles < kLeastCycles || std::chrono::steady_clock::now() < until);
         ++cycles) {
      std::stop_source source;
      auto side = std::make_unique<internal::HandOver<kLetter>>(source.get_token());
      starvation.Run([&] { StartProducer(kLetter, side->Shared(), {&long_pause_unit}); });
      std::this_thread::sleep_for(std::chrono::microseconds(stop_after_us(engine)));
      source.request_stop();
      if (!side->AwaitAnnouncement(Clock::now() + 30s)) break;
      ended += side->Take().what == Arrival::kEnded ? 1 : 0;
      side.reset();  // at once
    }
  }
  EXPECT_EQ(ended, cycles);
  EXPECT_GE(cycles, kLeastCycles);
  std::fprintf(stderr, "%c: %d structures freed on their last signal\n", kLetter, cycles);
}

// Many producers started and stopped through the client header: every
// structure goes as its last signal comes, so the graveyard holds only
// those of producers still ending, and B's helper threads end too.
// TAVISOR_CYCLES sets the number of cycles (default 1000, 400 on Windows,
// where threads are slow to come under Wine: 1000 took up to 50 s there).
TYPED_TEST(LifetimeTest, StartStopCyclesLeaveNothingBehind) {
  constexpr char kLetter = TestFixture::kLetter;
#if defined(_WIN32)
  constexpr int kDefaultCycles = 400;
#else
  constexpr int kDefaultCycles = 1000;
#endif
  const char* cycles_text = std::getenv("TAVISOR_CYCLES");
  const int kCycles = cycles_text != nullptr && std::atoi(cycles_text) > 0 ? std::atoi(cycles_text)
                                                                           : kDefaultCycles;
  const int kCheckEvery = std::max(1, kCycles / 4);
  const Launcher start = [](char letter, void* shared) { StartProducer(letter, shared); };
  Graveyard graveyard;
  std::thread([] {}).join();  // a thread checker starts a thread of its own with the first
  const std::optional<int> threads_before = testing::ThreadCount();
  std::vector<std::size_t> sizes;
  for (int i = 1; i <= kCycles; ++i) {
    { Producer<kLetter> producer(start, graveyard); }
    if (i % kCheckEvery == 0) sizes.push_back(graveyard.size());
  }
  for (const std::size_t size : sizes) EXPECT_LE(size, 16u) << "graveyard after a round";
  std::fprintf(stderr, "%c: graveyard after each %d cycles:", kLetter, kCheckEvery);
  for (const std::size_t size : sizes) std::fprintf(stderr, " %zu", size);
  std::fprintf(stderr, "\n");
  const auto clear_start = std::chrono::steady_clock::now();
  graveyard.Clear();
  // Only last signals still on their way: no grace period to wait out.
  EXPECT_LT(std::chrono::steady_clock::now() - clear_start, Graveyard::kGracePeriod);
  if (threads_before) {
    EXPECT_TRUE(testing::Within(5s, [&] { return *testing::ThreadCount() <= *threads_before; }));
  }
}

// Variant A sends no last signal: its structures wait out the grace period
// and go when it ends, by a timer, with no further call.
TEST(LifetimeA, StructuresGoOnceTheirGracePeriodHasPassed) {
  testing::LoadBundledLists();
  ::testing::internal::CaptureStdout();
  const Launcher start = [](char letter, void* shared) { StartProducer(letter, shared); };
  Graveyard graveyard(200ms);
  for (int i = 0; i < 300; ++i) {
    Producer<'A'> producer(start, graveyard);
  }
  EXPECT_GE(graveyard.size(), 1u);
  EXPECT_TRUE(testing::Within(10s, [&] { return graveyard.size() == 0; }));
  graveyard.Clear();
  (void)::testing::internal::GetCapturedStdout();
}

}  // namespace
}  // namespace tavisor
