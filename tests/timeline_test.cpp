// A producer's timeline (tavisor/timeline.h) against the library's real
// producers of every variant, run in-process with short pauses: each batch
// is available before it is taken and taken before it is handed back, and
// each stop ends in one last signal or one batch left waiting.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "in_process.h"
#include "producer_thread.h"
#include "tavisor/producer.h"
#include "tavisor/timeline.h"
#include "variant_types.h"

namespace tavisor {
namespace {

using namespace std::chrono_literals;
using testing::LetterName;
using Event = TimelineEvent;

constexpr int kBatches = 3;

// Where the stop finds the producer, and how its lane must end.
enum class StopAt { kPause, kBatchOut };

template <class T>
class TimelineTest : public testing::VariantTest<T> {
 protected:
  using testing::VariantTest<T>::kLetter;

  void SetUp() override {
    if (!VariantUnavailableReason(kLetter).empty()) {
      GTEST_SKIP() << VariantUnavailableReason(kLetter);
    }
  }

  // Takes kBatches batches, stops, and takes what comes until the end;
  // returns the events of the producer's lane.
  std::vector<TimelineEntry> Run(StopAt stop_at) {
    threads_.pause_unit.Set(1ms);
    Producer<kLetter> producer(threads_.launcher(), graveyard_);
    const std::uint32_t lane = producer.RecordTimeline(timeline_, "under test");
    EXPECT_EQ(timeline_->Take().lanes.at(lane), "under test");
    for (int i = 0; i < kBatches; ++i) {
      // The pause after the last batch lasts until the stop cuts it short.
      EXPECT_TRUE(producer.AwaitAnnouncement(std::nullopt));
      if (i == kBatches - 1 && stop_at == StopAt::kPause) threads_.pause_unit.Set(3000ms);
      EXPECT_EQ(producer.Wait().what, Arrival::kBatch);
    }
    if (stop_at == StopAt::kBatchOut) {
      EXPECT_TRUE(producer.AwaitAnnouncement(std::nullopt));
    }
    producer.Stop();
    while (producer.Wait().what != Arrival::kEnded) {
    }
    // The graveyard has no grace period: A's structure goes the moment the
    // producer object does, so its thread must have left first.
    threads_.JoinAll();
    taken_ += kBatches + (stop_at == StopAt::kBatchOut ? 1 : 0);
    std::vector<TimelineEntry> events;
    for (const TimelineEntry& e : timeline_->Take().entries) {
      if (e.lane == lane) events.push_back(e);
    }
    return events;
  }

  // The order and counts every run shows: started first; each batch
  // available, taken, handed back (or, after the stop, left waiting);
  // one stop; and one end, last.
  void ExpectHandOvers(const std::vector<TimelineEntry>& events) {
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.front().what, Event::kStarted);
    EXPECT_EQ(events.back().what, Event::kEnded);
    int batches = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
      if (events[i].what != Event::kAvailable) continue;
      ++batches;
      ASSERT_LT(i + 2, events.size());
      const TimelineEntry& taken = events[i + 1];
      const TimelineEntry& after = events[i + 2];
      EXPECT_EQ(taken.what, Event::kTaken);
      EXPECT_TRUE(after.what == Event::kHandedBack || after.what == Event::kEnded);
      EXPECT_GE(events[i].size, 1u);
      EXPECT_LE(events[i].size, 4u);
      EXPECT_EQ(taken.size, events[i].size);
      EXPECT_LE(events[i].at, taken.at);
      EXPECT_LE(taken.at, after.at);
    }
    EXPECT_EQ(batches, taken_);
    EXPECT_EQ(Count(events, Event::kStopRequested), 1);
    EXPECT_EQ(Count(events, Event::kEnded), 1);
  }

  static int Count(const std::vector<TimelineEntry>& events, Event what) {
    return static_cast<int>(std::count_if(
        events.begin(), events.end(), [what](const TimelineEntry& e) { return e.what == what; }));
  }

  Graveyard graveyard_{0s};
  testing::ProducerThreads threads_;
  std::shared_ptr<Timeline> timeline_ = std::make_shared<Timeline>();
  int taken_ = 0;
};

using Variants = testing::AllVariants;
TYPED_TEST_SUITE(TimelineTest, Variants, LetterName);

TYPED_TEST(TimelineTest, AStopInAPauseEndsWithTheLastSignal) {
  const std::vector<TimelineEntry> events = this->Run(StopAt::kPause);
  this->ExpectHandOvers(events);
  const bool a = TestFixture::kLetter == 'A';
  EXPECT_EQ(this->Count(events, Event::kLastSignal), a ? 0 : 1);
  EXPECT_EQ(events.back().reason, a ? EndReason::kStoppedWithoutSignal : EndReason::kLastSignal);
}

TYPED_TEST(TimelineTest, AStopWithABatchOutLeavesItWaiting) {
  const std::vector<TimelineEntry> events = this->Run(StopAt::kBatchOut);
  this->ExpectHandOvers(events);
  EXPECT_EQ(this->Count(events, Event::kLastSignal), 0);
  // A hands the batch back after the stop too, then ends without a signal.
  EXPECT_EQ(events.back().reason, TestFixture::kLetter == 'A' ? EndReason::kStoppedWithoutSignal
                                                              : EndReason::kBatchLeftWaiting);
}

TEST(Timeline, KeepsTheLastEventsOldestFirstAndCountsTheDropped) {
  Timeline timeline(4);
  const Clock::time_point t0{};
  for (std::uint32_t i = 0; i < 6; ++i) timeline.Record(1, Event::kAvailable, t0 + i * 1s, i);
  timeline.Mark("client", t0 + 6s);
  const Timeline::Snapshot s = timeline.Take();
  ASSERT_EQ(s.entries.size(), 4u);
  EXPECT_EQ(s.dropped, 3u);
  EXPECT_EQ(s.entries[0].size, 3u);
  EXPECT_EQ(s.entries[2].size, 5u);
  EXPECT_EQ(s.entries[3].text, "client");
  EXPECT_EQ(s.entries[3].lane, Timeline::kClientLane);
}

}  // namespace
}  // namespace tavisor
