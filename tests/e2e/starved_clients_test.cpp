// Clients of the real library, with its producers starved of CPU, taking
// batches the plain way and freeing each structure on its last signal, or
// once the stop has returned when a batch was out: one written from the
// layouts of tavisor/shared_state.h alone, one through tavisor/producer.h. The thread sanitizer
// stage runs it with library and client built for the race detector, and nothing of the library's
// own code is exempt from its reports. TAVISOR_STARVED_SECONDS sets how long new cycles begin
// (default 6, the thread sanitizer stage 30; each cycle takes 0 to 2 real batches, every other one
// a batch more left out).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <latch>
#include <memory>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#include "../starvation.h"
#include "../test_support.h"
#include "../variant_types.h"
#include "tavisor/library.h"
#include "tavisor/producer.h"
#include "tavisor/shared_state.h"

namespace tavisor {
namespace {

using namespace std::chrono_literals;

// What the client waits on, per variant; the rest of the protocol is the
// same for all: take the records, empty the queue, notify cvShared.
template <char V>
struct Signals;

// B and C: the batch comes in the structure's own queue, and nothing needs
// renewing.
template <char V>
struct QueueSignals {
  template <class... Args>
  explicit QueueSignals(std::stop_token token, Args... args) : state(std::move(token), args...) {}
  ItemQueue* Received() { return &state.queue; }
  void Renew() {}
  SharedState<V> state;
};

template <>
struct Signals<'B'> : QueueSignals<'B'> {
  explicit Signals(std::stop_token token) : QueueSignals(std::move(token), 2) {}
  void Await() { state.barrier.arrive_and_wait(); }
};

template <>
struct Signals<'C'> : QueueSignals<'C'> {
  using QueueSignals::QueueSignals;
  void Await() { state.semaphore.acquire(); }
};

template <>
struct Signals<'D'> {
  explicit Signals(std::stop_token token) : state(std::move(token), nullptr) { Renew(); }
  void Await() { state.pLatch->wait(); }
  ItemQueue* Received() { return &state.queue; }
  // The next latch is in place before the queue looks empty; the one just
  // passed lives one batch longer (its count_down may not have returned).
  void Renew() {
    previous = std::move(current);
    current = std::make_unique<std::latch>(1);
    state.pLatch = current.get();
  }
  SharedState<'D'> state;
  std::unique_ptr<std::latch> previous, current;
};

template <>
struct Signals<'E'> {
  explicit Signals(std::stop_token token) : state(std::move(token), nullptr) { Renew(); }
  ~Signals() { delete last_buffer; }
  void Await() { received = future.get(); }
  // Null: the last signal. The buffer delivered last is the client's to
  // delete once the producer has ended.
  ItemQueue* Received() {
    if (received != nullptr) last_buffer = received;
    return received;
  }
  void Renew() {
    previous = std::move(current);
    current = std::make_unique<std::promise<ItemQueue*>>();
    future = current->get_future();
    state.pPromise = current.get();
  }
  SharedState<'E'> state;
  std::unique_ptr<std::promise<ItemQueue*>> previous, current;
  std::future<ItemQueue*> future;
  ItemQueue* received = nullptr;
  ItemQueue* last_buffer = nullptr;
};

// One cycle of a plain client: start, take `batches`, with `leave_out` let
// the next batch come and leave it in the queue, stop on this thread, then
// take what the stop brings: the last signal (true), or a batch that was
// out when the stop came or went out after it (false), whose records are
// taken and whose queue is left as it is. Either way the structure goes at
// once: after a batch, because request_stop() has returned and the
// producer's last look at the queue is over by then.
template <char V>
bool PlainCycle(const Library& lib, testing::Starvation& starvation, int batches, bool leave_out) {
  std::stop_source source;
  auto side = std::make_unique<Signals<V>>(source.get_token());
  starvation.Run([&] { lib.Start(V, &side->state); });
  for (int i = 0; i < batches; ++i) {
    side->Await();
    ItemQueue* const queue = side->Received();
    EXPECT_TRUE(queue != nullptr && !queue->empty());
    if (queue == nullptr) return false;
    for (Item* item : *queue) delete item;
    side->Renew();
    queue->clear();
    side->state.cvShared.notify_all();
  }
  if (leave_out) side->Await();
  source.request_stop();
  if (!leave_out) side->Await();
  ItemQueue* const queue = side->Received();
  if (queue == nullptr || queue->empty()) return true;
  for (Item* item : *queue) delete item;
  return false;
}

// The same through the client header, which keeps what it cannot free yet.
template <char V>
bool HeaderCycle(const Library& lib, testing::Starvation& starvation, int batches, bool leave_out) {
  std::optional<Producer<V>> producer;
  starvation.Run([&] { producer.emplace(lib); });
  for (int i = 0; i < batches; ++i) EXPECT_EQ(producer->Wait().what, Arrival::kBatch);
  if (leave_out) {
    EXPECT_TRUE(producer->AwaitAnnouncement(std::nullopt));
  }
  producer->Stop();
  while (producer->Wait().what == Arrival::kBatch) {
  }
  return producer->outlook() == Outlook::kEnded;
}

template <class T>
class StarvedClientTest : public ::testing::Test {};
using testing::Letter;
using testing::LetterName;
using Variants = testing::LastSignalVariants;
TYPED_TEST_SUITE(StarvedClientTest, Variants, LetterName);

TYPED_TEST(StarvedClientTest, PlainAndHeaderClientsTakeBatchesAndFreeOnTheLastSignal) {
  constexpr char kLetter = TypeParam::value;
  if (!VariantUnavailableReason(kLetter).empty()) GTEST_SKIP() << VariantUnavailableReason(kLetter);
  const char* seconds_text = std::getenv("TAVISOR_STARVED_SECONDS");
  const auto budget = std::chrono::seconds(
      seconds_text != nullptr && std::atoi(seconds_text) > 0 ? std::atoi(seconds_text) : 6);
  const Library lib(TAVISOR_LIBRARY_PATH);
  testing::InitializeOnBundledLists(lib);
  ::testing::internal::CaptureStdout();
  std::atomic<int> cycles{0}, last_signals{0};
  {
    testing::Starvation starvation;
    const auto until = std::chrono::steady_clock::now() + budget;
    std::vector<std::jthread> clients;
    for (int c = 0; c < 4; ++c) {
      clients.emplace_back([&, c] {
        std::mt19937 engine(20261209 + c);
        std::uniform_int_distribution<int> batches(0, 2);
        // Every other cycle leaves its last batch out at the stop, the
        // first one of each client never.
        for (bool leave_out = false; std::chrono::steady_clock::now() < until;
             leave_out = !leave_out) {
          const int n = batches(engine);
          const bool ended = c % 2 == 0 ? PlainCycle<kLetter>(lib, starvation, n, leave_out)
                                        : HeaderCycle<kLetter>(lib, starvation, n, leave_out);
          EXPECT_EQ(ended, !leave_out);
          ++cycles;
          last_signals += ended ? 1 : 0;
        }
      });
    }
  }
  (void)::testing::internal::GetCapturedStdout();
  EXPECT_GE(cycles, 4);
  EXPECT_GE(last_signals, 4);
  std::fprintf(stderr, "%c: %d cycles, %d ended by the last signal\n", kLetter, cycles.load(),
               last_signals.load());
}

}  // namespace
}  // namespace tavisor
