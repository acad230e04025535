// Waits that only a notification ends. A producer that waits for the turn,
// or a client that waits for A's batch without a time limit, is woken by
// nothing else: a missing notify shows here as a starved producer or a
// client that never wakes, not as a batch that comes late.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "in_process.h"
#include "platform/console.h"
#include "producer/producer.h"
#include "producer_client.h"
#include "tavisor/shared_state.h"
#include "test_support.h"

namespace tavisor {
namespace {

using namespace std::chrono_literals;

// The batches each thread has announced, told by the thread that prints
// its "items generated" line.
class BatchesByThread {
 public:
  BatchesByThread() { platform::SetConsoleWriteHook(&Hook); }
  ~BatchesByThread() {
    platform::SetConsoleWriteHook(nullptr);
    const std::lock_guard lock(mutex_);
    counts_.clear();
  }
  BatchesByThread(const BatchesByThread&) = delete;
  BatchesByThread& operator=(const BatchesByThread&) = delete;

  static int Of(std::thread::id thread) {
    const std::lock_guard lock(mutex_);
    const auto it = counts_.find(thread);
    return it == counts_.end() ? 0 : it->second;
  }

 private:
  static void Hook(std::string_view text, bool written) {
    if (!written || !text.ends_with(" items generated\n")) return;
    const std::lock_guard lock(mutex_);
    ++counts_[std::this_thread::get_id()];
  }
  static inline std::mutex mutex_;
  static inline std::map<std::thread::id, int> counts_;
};

template <class T>
class TurnsTest : public testing::VariantTest<T> {
 protected:
  void TearDown() override { SetPauseUnit(1000ms); }
};

using testing::Letter;
#if defined(__MINGW32__)
using Variants = ::testing::Types<Letter<'C'>, Letter<'D'>, Letter<'E'>>;  // B: see producer_test
#else
using Variants = ::testing::Types<Letter<'B'>, Letter<'C'>, Letter<'D'>, Letter<'E'>>;
#endif
TYPED_TEST_SUITE(TurnsTest, Variants, testing::LetterName);

// 2 to 8 producers on one structure, pausing 1 to 10 ms, and a client that
// keeps each batch 12 ms before it takes it: by then every other producer
// waits for the turn, so the turn goes on only if passing it wakes them.
// Each producer must get several turns well within 40 batches apiece.
TYPED_TEST(TurnsTest, EveryProducerOnAStructureGetsTurns) {
  constexpr char kLetter = TestFixture::kLetter;
  constexpr int kTurnsEach = 3;
  for (const int producers : {2, 4, 8}) {
    SCOPED_TRACE(std::to_string(producers) + " producers");
    SetPauseUnit(1ms);
    const BatchesByThread counted;
    ::testing::internal::CaptureStdout();
    testing::ProducerClient<kLetter> client;
    std::vector<std::jthread> threads;
    for (int i = 0; i < producers; ++i) {
      threads.push_back(StartProducerThread(kLetter, client.shared()));
    }
    const testing::StopOnExit stop(client.source());
    const auto fewest = [&] {
      int least = INT_MAX;
      for (const std::jthread& t : threads) least = std::min(least, counted.Of(t.get_id()));
      return least;
    };
    for (int batches = 0; fewest() < kTurnsEach && batches < 40 * producers; ++batches) {
      ASSERT_TRUE(client.Announced(10s)) << "no batch within 10 s after " << batches;
      std::this_thread::sleep_for(12ms);
      (void)client.side().Take();
    }
    const int least = fewest();
    std::ostringstream each;
    for (const std::jthread& t : threads) each << ' ' << counted.Of(t.get_id());
    testing::MustReturnWithin(10s, "the stop", [&] {
      client.RequestStop();
      threads.clear();
    });
    (void)::testing::internal::GetCapturedStdout();
    EXPECT_GE(least, kTurnsEach) << "batches per producer:" << each.str();
  }
}

class AnnouncementTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::LoadBundledLists(); }
  void TearDown() override { SetPauseUnit(1000ms); }
};

// A client of A's layout that holds mxShared from one wait for a batch to
// the next, the usual consumer loop, and waits on cvShared with no time
// limit: from the second batch on, the producer's announcement is all that
// wakes it. A watchdog ends a wait that nothing ends, by requesting the
// stop, and records that it had to.
TEST_F(AnnouncementTest, AWakesAClientThatWaitsWithoutATimeLimit) {
  constexpr int kBatches = 5;
  SetPauseUnit(1ms);
  ::testing::internal::CaptureStdout();
  std::stop_source source;
  SharedState<'A'> state(source.get_token());
  std::jthread producer = StartProducerThread('A', &state);
  std::atomic<bool> watchdog_stopped_it{false};
  std::jthread watchdog([&](std::stop_token own) {
    std::mutex mutex;
    std::condition_variable_any never_notified;
    std::unique_lock lock(mutex);
    (void)never_notified.wait_for(lock, own, 10s, [] { return false; });
    if (!own.stop_requested()) {
      watchdog_stopped_it = true;
      source.request_stop();
    }
  });
  int batches = 0;
  {
    std::unique_lock lock(state.mxShared);
    for (; batches < kBatches; ++batches) {
      if (!state.cvShared.wait(lock, source.get_token(), [&] { return !state.queue.empty(); })) {
        break;
      }
      for (Item* pit : state.queue) delete pit;
      state.queue.clear();
      state.cvShared.notify_all();
    }
  }
  watchdog.request_stop();
  watchdog.join();
  testing::MustReturnWithin(10s, "the stop", [&] {
    source.request_stop();
    producer.join();
  });
  for (Item* pit : state.queue) delete pit;
  (void)::testing::internal::GetCapturedStdout();
  EXPECT_FALSE(watchdog_stopped_it) << "a wait for a batch was still blocked after 10 s";
  EXPECT_EQ(batches, kBatches);
}

}  // namespace
}  // namespace tavisor
