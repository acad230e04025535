// The client side's order within a hand-over, made visible: a fresh latch
// (D) or promise (E) must be in place before the queue is handed back,
// since the producer may announce its next batch as soon as it finds the
// queue empty. Allocations on the consuming thread are made slow, so that
// anything the client side still does after the hand-back (renewing the
// latch or promise allocates) comes after the producer's next announcement,
// and a stop requested from another thread falls in the middle of a Take.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <new>
#include <string>
#include <thread>

#include "api/entry_points.h"
#include "in_process.h"
#include "producer_client.h"
#include "producer_thread.h"
#include "test_support.h"
#include "variant_types.h"

namespace {

thread_local bool slow_allocations = false;
std::atomic<bool> slow_allocation_seen{false};

void* Allocate(std::size_t size) {
  if (slow_allocations) {
    slow_allocation_seen = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

void Release(void* p) noexcept { std::free(p); }

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }

namespace tavisor {
namespace {

using namespace std::chrono_literals;

template <class T>
class HandOverOrderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::LoadBundledLists();
    ::testing::internal::CaptureStdout();
  }
  void TearDown() override {
    const std::string printed = ::testing::internal::GetCapturedStdout();
    if (this->HasFailure()) std::cerr << printed;  // failures went there too
  }
  std::jthread StartProducer(char letter, void* shared) {
    return testing::StartProducerThread(letter, shared, {&pause_unit_});
  }
  PauseUnit pause_unit_{0ms};  // the next batch comes at once
};

using testing::Letter;
using testing::LetterName;
using Variants = ::testing::Types<Letter<'D'>, Letter<'E'>>;
TYPED_TEST_SUITE(HandOverOrderTest, Variants, LetterName);

TYPED_TEST(HandOverOrderTest, RenewsTheLatchOrPromiseBeforeHandingTheQueueBack) {
  constexpr char kLetter = TypeParam::value;
  testing::ProducerClient<kLetter> client;
  {
    std::jthread producer = this->StartProducer(kLetter, client.shared());
    const testing::StopOnExit stop(client.source());
    for (int i = 0; i < 20; ++i) {
      // A count-down onto the spent latch never reaches the new one (a
      // second value on the old promise ends the process).
      ASSERT_TRUE(client.Announced(2s)) << "batch " << i;
      slow_allocations = true;
      const Delivery d = client.side().Take();
      slow_allocations = false;
      ASSERT_EQ(d.what, Arrival::kBatch);
    }
    client.RequestStop();
    client.AbsorbLastSignal();
  }
}

template <class T>
class StopAcrossTakeTest : public HandOverOrderTest<T> {};
using testing::LastSignalVariants;
TYPED_TEST_SUITE(StopAcrossTakeTest, LastSignalVariants, LetterName);

// A stop from another thread while the consuming thread is in the middle of
// taking a batch: the hand-back finishes first, so the producer finds the
// queue emptied and sends its last signal, which the client side expects.
TYPED_TEST(StopAcrossTakeTest, HandBackFinishesBeforeTheStopAndTheLastSignalComes) {
  constexpr char kLetter = TypeParam::value;
  for (int round = 0; round < 5; ++round) {
    this->pause_unit_.Set(0ms);
    testing::ProducerClient<kLetter> client;
    std::jthread producer = this->StartProducer(kLetter, client.shared());
    const testing::StopOnExit stop(client.source());
    ASSERT_TRUE(client.Announced(2s));
    // The pause after this batch is long: the stop finds the producer in
    // its final wait or in that pause, never with a next batch out.
    this->pause_unit_.Set(3000ms);
    slow_allocation_seen = false;
    std::jthread stopper([&client] {
      while (!slow_allocation_seen) std::this_thread::yield();
      client.RequestStop();
    });
    slow_allocations = true;
    const Delivery d = client.side().Take();
    slow_allocations = false;
    stopper.join();
    ASSERT_EQ(d.what, Arrival::kBatch);
    EXPECT_EQ(client.side().outlook(), Outlook::kLastSignalDue) << "round " << round;
    ASSERT_TRUE(client.Announced(5s)) << "no last signal, round " << round;
    EXPECT_EQ(client.side().Take().what, Arrival::kEnded);
    EXPECT_EQ(client.side().outlook(), Outlook::kEnded);
    producer.join();
  }
}

}  // namespace
}  // namespace tavisor
