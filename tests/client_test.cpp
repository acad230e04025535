// The client side in the public headers (tavisor/producer.h), against the
// library's own producers run in-process on joinable threads with short
// pauses; tests/e2e drives it through the loaded library with real pauses.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "api/entry_points.h"
#include "producer/producer.h"
#include "tavisor/producer.h"
#include "test_support.h"

namespace tavisor {
namespace {

using namespace std::chrono_literals;
using testing::Letter;
using testing::LetterName;

// Producer threads of one test, each running the library's producer, joined
// when the test ends. Declared after the graveyard, before the producers:
// producers stop, then the threads are joined, then the graveyard goes.
class ProducerThreads {
 public:
  ~ProducerThreads() { JoinAll(); }
  Launcher launcher() {
    return [this](char letter, void* shared) {
      threads_.emplace_back([letter, shared] { RunProducer(letter, shared); });
    };
  }
  void JoinAll() {
    for (std::thread& t : threads_) {
      if (t.joinable()) t.join();
    }
  }

 private:
  std::vector<std::thread> threads_;
};

void ExpectBatch(const Delivery& d) {
  ASSERT_EQ(d.what, Arrival::kBatch);
  EXPECT_GE(d.batch.size(), 1u);
  EXPECT_LE(d.batch.size(), 4u);
  for (const auto& item : d.batch) EXPECT_FALSE(item->observations.empty());
}

template <class T>
class ClientTest : public ::testing::Test {
 protected:
  static constexpr char kLetter = T::value;

  static void SetUpTestSuite() {
    testing::WorkingDirectory cwd(testing::BundledData());
    InitializeLibrary();
  }
  void SetUp() override {
    if (!VariantUnavailableReason(kLetter).empty()) {
      GTEST_SKIP() << VariantUnavailableReason(kLetter);
    }
    SetPauseUnit(5ms);  // pauses of 5 to 50 ms
    ::testing::internal::CaptureStdout();
  }
  void TearDown() override {
    SetPauseUnit(1000ms);
    if (!IsSkipped() && !captured_) Printed();
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

using Variants = ::testing::Types<Letter<'A'>, Letter<'B'>, Letter<'C'>, Letter<'D'>, Letter<'E'>>;
TYPED_TEST_SUITE(ClientTest, Variants, LetterName);

// The three places a stop can find a producer, and what the client sees
// after it.
TYPED_TEST(ClientTest, StopDuringThePauseEndsWithTheLastSignal) {
  SetPauseUnit(3000ms);  // a pause of 3 to 30 s, cut short by the stop
  Producer<TestFixture::kLetter> producer(this->threads_.launcher(), this->graveyard_);
  EXPECT_EQ(producer.WaitFor(50ms).what, Arrival::kNothing);  // the time limit holds
  EXPECT_EQ(producer.Poll().what, Arrival::kNothing);
  const auto stop_time = HandOverClock::now();
  producer.Stop();
  // B to E send their last signal; A lets go of the queue.
  EXPECT_EQ(producer.WaitFor(5s).what, Arrival::kEnded);
  EXPECT_LT(HandOverClock::now() - stop_time, 2500ms);
  EXPECT_TRUE(producer.Ended());
  EXPECT_EQ(producer.Wait().what, Arrival::kEnded);  // and again, at once
  this->threads_.JoinAll();
}

TYPED_TEST(ClientTest, StopInTheFinalWaitSendsNothingMoreAndLeavesTheBatch) {
  auto producer = this->Start();
  for (int i = 0; i < 3; ++i) ExpectBatch(producer.WaitFor(5s));
  // The next batch is announced but left where it is: the producer stays
  // in its final wait until the stop.
  ASSERT_TRUE(producer.AwaitAnnouncement(HandOverClock::now() + 5s));
  std::this_thread::sleep_for(150ms);
  producer.Stop();
  this->threads_.JoinAll();
  ExpectBatch(producer.Poll());
  // The producer ended without a signal: only A can tell.
  const Arrival after = producer.WaitFor(100ms).what;
  EXPECT_EQ(after, TestFixture::kLetter == 'A' ? Arrival::kEnded : Arrival::kNothing);
}

// Records announced but never taken, and E's last buffer, go with the
// structure (the leak checker of the sanitizer stage watches this).
TYPED_TEST(ClientTest, WhatNobodyTookIsReleased) {
  {
    auto producer = this->Start();
    ExpectBatch(producer.WaitFor(5s));
    ASSERT_TRUE(producer.AwaitAnnouncement(HandOverClock::now() + 5s));
  }
  this->threads_.JoinAll();
  EXPECT_EQ(this->graveyard_.size(), 1u);
  this->graveyard_.Clear();
  EXPECT_EQ(this->graveyard_.size(), 0u);
}

TYPED_TEST(ClientTest, StopBeforeTheStartSendsNothing) {
  std::stop_source source;
  source.request_stop();
  auto producer = this->Start(source);
  this->threads_.JoinAll();
  EXPECT_EQ(producer.WaitFor(100ms).what,
            TestFixture::kLetter == 'A' ? Arrival::kEnded : Arrival::kNothing);
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

// A graveyard releases a structure soon after the producer's last signal,
// and one without it only when it is cleared.
TEST(Graveyard, ReleasesSettledStructuresAtTheNextBurial) {
  struct Marker final : Graveyard::Grave {
    Marker(std::optional<Graveyard::Clock::time_point> at, int& gone) : at(at), gone(gone) {}
    ~Marker() override { ++gone; }
    std::optional<Graveyard::Clock::time_point> SettledAt() const override { return at; }
    std::optional<Graveyard::Clock::time_point> at;
    int& gone;
  };
  int gone = 0;
  Graveyard graveyard(50ms);
  const auto now = Graveyard::Clock::now();
  graveyard.Bury(std::make_unique<Marker>(now, gone));           // settled long enough below
  graveyard.Bury(std::make_unique<Marker>(std::nullopt, gone));  // never settles
  graveyard.Bury(std::make_unique<Marker>(now + 1h, gone));      // settles later
  EXPECT_EQ(gone, 0);
  std::this_thread::sleep_for(60ms);
  graveyard.Bury(std::make_unique<Marker>(std::nullopt, gone));
  EXPECT_EQ(gone, 1);
  EXPECT_EQ(graveyard.size(), 3u);
  const auto clear_start = Graveyard::Clock::now();
  graveyard.Clear();
  EXPECT_EQ(gone, 4);
  EXPECT_GE(Graveyard::Clock::now() - clear_start, 40ms);  // the last burial's settle time
}

TEST(AnyProducer, ChoosesTheVariantAtRunTime) {
  {
    testing::WorkingDirectory cwd(testing::BundledData());
    InitializeLibrary();
  }
  SetPauseUnit(5ms);
  ::testing::internal::CaptureStdout();
  Graveyard graveyard(0s);
  ProducerThreads threads;
  EXPECT_THROW(AnyProducer('F', threads.launcher(), graveyard), std::invalid_argument);
  for (const char letter : {'a', 'B', 'c', 'D', 'e'}) {
    const char upper = static_cast<char>(letter & ~0x20);
    if (!VariantUnavailableReason(upper).empty()) continue;  // see ClientTest
    AnyProducer producer(letter, threads.launcher(), graveyard);
    EXPECT_EQ(producer->Letter(), upper);
    ExpectBatch(producer->WaitFor(5s));
  }
  threads.JoinAll();
  SetPauseUnit(1000ms);
  const std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("Loop in DLL broken off"), std::string::npos);
}

}  // namespace
}  // namespace tavisor
