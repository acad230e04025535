// The client side's order within a hand-over, made visible: a fresh latch
// (D) or promise (E) must be in place before the queue is handed back,
// since the producer may announce its next batch as soon as it finds the
// queue empty. Allocations on the consuming thread are made slow, so that
// anything the client side still does after the hand-back (renewing the
// latch or promise allocates) comes after the producer's next announcement.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <new>
#include <thread>

#include "api/entry_points.h"
#include "in_process.h"
#include "producer/producer.h"
#include "producer_client.h"
#include "test_support.h"

namespace {

thread_local bool slow_allocations = false;

void* Allocate(std::size_t size) {
  if (slow_allocations) std::this_thread::sleep_for(std::chrono::milliseconds(2));
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
    SetPauseUnit(0ms);  // the next batch comes at once
    ::testing::internal::CaptureStdout();
  }
  void TearDown() override {
    SetPauseUnit(1000ms);
    (void)::testing::internal::GetCapturedStdout();
  }
};

using testing::Letter;
using testing::LetterName;
using Variants = ::testing::Types<Letter<'D'>, Letter<'E'>>;
TYPED_TEST_SUITE(HandOverOrderTest, Variants, LetterName);

TYPED_TEST(HandOverOrderTest, RenewsTheLatchOrPromiseBeforeHandingTheQueueBack) {
  constexpr char kLetter = TypeParam::value;
  testing::ProducerClient<kLetter> client;
  {
    std::jthread producer = StartProducerThread(kLetter, client.shared());
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

}  // namespace
}  // namespace tavisor
