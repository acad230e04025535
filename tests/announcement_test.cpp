// A client of variant A that waits for a batch without a time limit: only
// the producer's announcement wakes it, so a missing notify shows as a
// client that never wakes, not as a batch that comes late.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <thread>

#include "in_process.h"
#include "producer_thread.h"
#include "tavisor/shared_state.h"
#include "test_support.h"

namespace tavisor {
namespace {

using namespace std::chrono_literals;

class AnnouncementTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testing::LoadBundledLists(); }
};

// A client of A's layout that holds mxShared from one wait for a batch to
// the next, the usual consumer loop, and waits on cvShared with no time
// limit: from the second batch on, the producer's announcement is all that
// wakes it. A watchdog ends a wait that nothing ends, by requesting the
// stop, and records that it had to.
TEST_F(AnnouncementTest, AWakesAClientThatWaitsWithoutATimeLimit) {
  constexpr int kBatches = 5;
  const PauseUnit pause_unit(1ms);
  ::testing::internal::CaptureStdout();
  std::stop_source source;
  SharedState<'A'> state(source.get_token());
  std::jthread producer = testing::StartProducerThread('A', &state, {&pause_unit});
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
