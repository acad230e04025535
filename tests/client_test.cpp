// The client side in the public headers (tavisor/producer.h), against the
// library's own producers run in-process on joinable threads with short
// pauses; tests/e2e drives it through the loaded library with real pauses.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "api/entry_points.h"
#include "in_process.h"
#include "producer_thread.h"
#include "tavisor/producer.h"
#include "test_support.h"
#include "variant_types.h"

namespace tavisor {
namespace {

using namespace std::chrono_literals;
using testing::Letter;
using testing::LetterName;

using testing::ProducerThreads;

void ExpectBatch(const Delivery& d) {
  ASSERT_EQ(d.what, Arrival::kBatch);
  EXPECT_GE(d.batch.size(), 1u);
  EXPECT_LE(d.batch.size(), 4u);
  for (const auto& item : d.batch) EXPECT_FALSE(item->observations.empty());
}

template <class T>
class ClientTest : public testing::VariantTest<T> {
 protected:
  using testing::VariantTest<T>::kLetter;

  void SetUp() override {
    if (!VariantUnavailableReason(kLetter).empty()) {
      GTEST_SKIP() << VariantUnavailableReason(kLetter);
    }
    ::testing::internal::CaptureStdout();
  }
  void TearDown() override {
    if (!this->IsSkipped() && !captured_) Printed();
  }
  // What the producers printed so far; ends the capture.
  std::string Printed() {
    captured_ = true;
    return ::testing::internal::GetCapturedStdout();
  }
  static int Lines(const std::string& text, const std::string& line) {
    int n = 0;
    for (std::size_t at = text.find(line + "\n"); at != std::string::npos;
         at = text.find(line + "\n", at + 1)) {
      ++n;
    }
    return n;
  }
  Producer<kLetter> Start(std::stop_source source = {}) {
    return Producer<kLetter>(threads_.launcher(), graveyard_, std::move(source));
  }

  Graveyard graveyard_{0s};
  ProducerThreads threads_;

 private:
  bool captured_ = false;
};

using Variants = testing::AllVariants;
TYPED_TEST_SUITE(ClientTest, Variants, LetterName);

// The three places a stop can find a producer, and what the client sees
// after it.
TYPED_TEST(ClientTest, StopDuringThePauseEndsWithTheLastSignal) {
  this->threads_.pause_unit.Set(3000ms);  // a pause of 3 to 30 s, cut short by the stop
  Producer<TestFixture::kLetter> producer(this->threads_.launcher(), this->graveyard_);
  EXPECT_EQ(producer.WaitFor(50ms).what, Arrival::kNothing);  // the time limit holds
  EXPECT_EQ(producer.Poll().what, Arrival::kNothing);
  const auto stop_time = Clock::now();
  producer.Stop();
  // B to E send their last signal; A lets go of the queue.
  EXPECT_EQ(producer.WaitFor(5s).what, Arrival::kEnded);
  EXPECT_LT(Clock::now() - stop_time, 2500ms);
  EXPECT_TRUE(producer.Ended());
  EXPECT_EQ(producer.Wait().what, Arrival::kEnded);  // and again, at once
  this->threads_.JoinAll();
}

TYPED_TEST(ClientTest, StopInTheFinalWaitSendsNothingMoreAndLeavesTheBatch) {
  auto producer = this->Start();
  for (int i = 0; i < 3; ++i) ExpectBatch(producer.WaitFor(5s));
  // The next batch is announced but left where it is: the producer stays
  // in its final wait until the stop.
  ASSERT_TRUE(producer.AwaitAnnouncement(Clock::now() + 5s));
  std::this_thread::sleep_for(150ms);
  producer.Stop();
  this->threads_.JoinAll();
  ExpectBatch(producer.Poll());
  // The producer ended without a last signal, and the client knows that
  // nothing more comes.
  EXPECT_EQ(producer.outlook(), Outlook::kNoLastSignal);
  EXPECT_EQ(producer.Wait().what, Arrival::kEnded);
  EXPECT_EQ(producer.Ended(), TestFixture::kLetter == 'A');
}

// Records announced but never taken, and E's last buffer, go with the
// structure (the leak checker of the sanitizer stage watches this). The
// graveyard has no grace period: the threads end before the Producer goes.
TYPED_TEST(ClientTest, WhatNobodyTookIsReleased) {
  {
    auto producer = this->Start();
    ExpectBatch(producer.WaitFor(5s));
    ASSERT_TRUE(producer.AwaitAnnouncement(Clock::now() + 5s));
    producer.Stop();
    this->threads_.JoinAll();
  }
  this->graveyard_.Clear();
  EXPECT_EQ(this->graveyard_.size(), 0u);
}

// A producer stopped before it could hand anything over ends with its last
// signal (B to E): the client is never left waiting for a batch.
TYPED_TEST(ClientTest, StopBeforeTheStartEndsWithTheLastSignal) {
  std::stop_source source;
  source.request_stop();
  auto producer = this->Start(source);
  EXPECT_EQ(producer.WaitFor(5s).what, Arrival::kEnded);
  EXPECT_EQ(producer.outlook(),
            TestFixture::kLetter == 'A' ? Outlook::kNoLastSignal : Outlook::kEnded);
  this->threads_.JoinAll();
  const std::string printed = this->Printed();
  EXPECT_EQ(printed, "Generator in DLL started\nLoop in DLL broken off\nType a command\n");
}

TYPED_TEST(ClientTest, OneStopSourceStopsEveryProducerOnIt) {
  std::stop_source source;
  std::vector<std::unique_ptr<Producer<TestFixture::kLetter>>> producers;
  for (int i = 0; i < 3; ++i) {
    producers.push_back(std::make_unique<Producer<TestFixture::kLetter>>(this->threads_.launcher(),
                                                                         this->graveyard_, source));
  }
  for (auto& p : producers) ExpectBatch(p->WaitFor(5s));
  producers[1]->Stop();
  for (auto& p : producers) {
    EXPECT_TRUE(p->StopRequested());
    // Whatever each sends now (a batch it was making, its last signal or
    // nothing), it ends: the threads can be joined.
    while (p->WaitFor(200ms).what == Arrival::kBatch) {
    }
  }
  this->threads_.JoinAll();
  const std::string printed = this->Printed();
  EXPECT_EQ(this->Lines(printed, "Generator in DLL started"), 3);
  EXPECT_EQ(this->Lines(printed, "Loop in DLL broken off"), 3);
  EXPECT_EQ(this->Lines(printed, "Type a command"), 3);
}

// A graveyard releases each structure the moment it settles, with no
// further call, and Clear waits only for what has not settled yet.
TEST(Graveyard, ReleasesEachStructureTheMomentItSettles) {
  // A structure that settles once the test lets it: no timing involved.
  struct Marker final : Graveyard::Grave {
    Marker(const std::atomic<bool>& free, std::atomic<int>& gone) : free(free), gone(gone) {}
    ~Marker() override { ++gone; }
    bool Settle(const std::optional<Clock::time_point>& deadline, Clock::duration) override {
      if (deadline) return free;
      while (!free) std::this_thread::sleep_for(1ms);
      return true;
    }
    const std::atomic<bool>& free;
    std::atomic<int>& gone;
  };
  std::atomic<int> gone{0};
  const std::atomic<bool> settled{true};
  std::atomic<bool> first{false}, second{false};
  Graveyard graveyard;
  graveyard.Bury(std::make_unique<Marker>(settled, gone));
  EXPECT_EQ(gone, 1);
  graveyard.Bury(std::make_unique<Marker>(first, gone));
  graveyard.Bury(std::make_unique<Marker>(second, gone));  // what Clear waits for
  EXPECT_EQ(graveyard.size(), 2u);
  first = true;
  // Nobody called. The settler counts a plot settled just after its
  // structure is gone, so the size follows the count a moment later.
  EXPECT_TRUE(testing::Within(5s, [&] { return gone == 2 && graveyard.size() == 1; }));
  graveyard.Bury(std::make_unique<Marker>(settled, gone));
  EXPECT_EQ(gone, 3);
  EXPECT_EQ(graveyard.size(), 1u);
  second = true;
}

#if defined(__linux__)
// A Producer destroyed while its producer pauses: the stop brings the last
// signal (A: the grace period passes), and the structure goes with it, B's
// helper thread too, with no further call. The threads are not joined first,
// so the graveyard keeps its grace period.
TYPED_TEST(ClientTest, StructureOfADestroyedProducerGoesWithNoFurtherCall) {
  this->threads_.pause_unit.Set(3000ms);  // a pause of 3 to 30 s, cut short by the stop
  std::thread([] {}).join();  // a thread checker starts a thread of its own with the first
  const int threads_before = *testing::ThreadCount();
  Graveyard graveyard;
  {
    Producer<TestFixture::kLetter> producer(this->threads_.launcher(), graveyard);
    EXPECT_EQ(producer.WaitFor(20ms).what, Arrival::kNothing);
  }
  EXPECT_TRUE(testing::Within(5s, [&] { return graveyard.size() == 0; }));
  EXPECT_TRUE(testing::Within(5s, [&] { return *testing::ThreadCount() <= threads_before; }))
      << *testing::ThreadCount() << " threads, " << threads_before << " before";
  this->threads_.JoinAll();
}
#endif

// B's side whose producer never ran, stopped and destroyed: its helper,
// which a stop sends to the barrier for a last signal that cannot come, is
// let out by the destructor's arrival in the producer's place.
TEST(HandOverB, DestroyedAfterAStopWithoutAProducerEnds) {
  std::stop_source source;
  testing::MustReturnWithin(10s, "~HandOver<'B'>", [&] {
    internal::HandOver<'B'> side(source.get_token());
    source.request_stop();
    EXPECT_FALSE(side.AwaitAnnouncement(Clock::now() + 50ms));
  });
}

TEST(AnyProducer, ChoosesTheVariantAtRunTime) {
  testing::LoadBundledLists();
  ::testing::internal::CaptureStdout();
  Graveyard graveyard(0s);
  ProducerThreads threads;
  EXPECT_THROW(AnyProducer('F', threads.launcher(), graveyard), std::invalid_argument);
  std::vector<AnyProducer> producers;
  for (const char letter : {'a', 'B', 'c', 'D', 'e'}) {
    const char upper = static_cast<char>(letter & ~0x20);
    if (!VariantUnavailableReason(upper).empty()) continue;  // see ClientTest
    AnyProducer& producer = producers.emplace_back(letter, threads.launcher(), graveyard);
    EXPECT_EQ(producer.Letter(), upper);
    ExpectBatch(producer.WaitFor(5s));
  }
  // A graveyard without a grace period frees A's structure at once: its
  // producer thread must have ended by then.
  for (AnyProducer& producer : producers) producer.Stop();
  threads.JoinAll();
  producers.clear();
  const std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("Loop in DLL broken off"), std::string::npos);
}

}  // namespace
}  // namespace tavisor
