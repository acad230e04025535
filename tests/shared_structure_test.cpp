// Several producers on one client structure: they take turns at the
// hand-over, so that the client sees exactly one producer's protocol, and
// the structure gets one last signal after a stop.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "api/entry_points.h"
#include "in_process.h"
#include "platform/console.h"
#include "producer_client.h"
#include "producer_thread.h"
#include "test_support.h"
#include "variant_types.h"

namespace tavisor {
namespace {

using namespace std::chrono_literals;
using testing::Batch;
using testing::ProducerClient;

struct Printed {
  int started = 0, batches = 0, records = 0, pairs = 0;
  explicit Printed(const std::string& text) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
      if (line == "Generator in DLL started") ++started;
      if (line == "Loop in DLL broken off") ++pairs;
      if (line.ends_with(" items generated")) {
        ++batches;
        records += std::stoi(line);
      }
    }
  }
};

// The batches each thread has announced, told by the thread that prints
// its "items generated" line: producers write through console().
class BatchesByThread {
 public:
  BatchesByThread() = default;
  ~BatchesByThread() {
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
  static platform::Console console() { return platform::Console(&Hook); }

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
class SharedStructureTest : public testing::VariantTest<T> {
 protected:
  using testing::VariantTest<T>::kLetter;
  PauseUnit pause_unit_{1ms};
};

using testing::Letter;
using testing::LetterName;
// A needs no turns: mxShared, held for a whole cycle, already keeps its
// producers apart.
#if defined(__MINGW32__)
using Variants = ::testing::Types<Letter<'C'>, Letter<'D'>, Letter<'E'>>;  // B: see producer_test
#else
using Variants = testing::LastSignalVariants;
#endif
TYPED_TEST_SUITE(SharedStructureTest, Variants, LetterName);

// 2 and 8 producers on one structure with short pauses, stopped while all
// pause or while a batch waits to be taken. Every batch holds 1 to 4
// records (two batches announced together would make one of up to 8, or a
// second release of the semaphore, a count-down of a spent latch, a second
// value on a promise, which ends the process), every record comes once,
// and the structure gets one last signal, or none when the stop finds a
// batch out.
TYPED_TEST(SharedStructureTest, ProducersTakeTurnsAndTheStructureGetsOneLastSignal) {
  constexpr char kLetter = TestFixture::kLetter;
  enum class StopIn { kThePauses, kTheFinalWait };
  for (const int producers : {2, 8}) {
    for (const StopIn where : {StopIn::kThePauses, StopIn::kTheFinalWait}) {
      SCOPED_TRACE(std::to_string(producers) + " producers, stop in " +
                   (where == StopIn::kThePauses ? "the pauses" : "the final wait"));
      this->pause_unit_.Set(1ms);
      ::testing::internal::CaptureStdout();
      ProducerClient<kLetter> client;
      std::vector<std::jthread> threads;
      for (int i = 0; i < producers; ++i) {
        threads.push_back(
            testing::StartProducerThread(kLetter, client.shared(), {&this->pause_unit_}));
      }
      const testing::StopOnExit stop(client.source());
      std::set<const Item*> seen;
      std::vector<Batch> kept;
      int batches = 0, oversized = 0;
      const auto take = [&](std::chrono::milliseconds within) {
        std::optional<Batch> batch = client.Take(within);
        if (!batch) return false;
        ++batches;
        oversized += batch->empty() || batch->size() > 4 ? 1 : 0;
        for (const auto& item : *batch) seen.insert(item.get());
        kept.push_back(std::move(*batch));  // alive to the end: addresses stay unique
        return true;
      };
      for (int i = 0; i < 150; ++i) ASSERT_TRUE(take(5s)) << "batch " << i;
      if (where == StopIn::kThePauses) {
        // Every producer's next pause is long: once none has come for a
        // while, all pause.
        this->pause_unit_.Set(3000ms);
        while (take(300ms)) {
        }
      } else {
        ASSERT_TRUE(client.Announced(5s));  // left with the producers
        std::this_thread::sleep_for(150ms);
      }
      testing::MustReturnWithin(10s, "request_stop", [&] { client.RequestStop(); });
      testing::MustReturnWithin(10s, "the producers", [&] { threads.clear(); });
      ASSERT_TRUE(client.Announced(2s));
      Delivery last = client.side().Take();
      if (where == StopIn::kThePauses) {
        EXPECT_EQ(last.what, Arrival::kEnded);
      } else {
        EXPECT_EQ(last.what, Arrival::kBatch);  // the batch left waiting, and nothing after it
        batches += 1;
        for (const auto& item : last.batch) seen.insert(item.get());
        kept.push_back(std::move(last.batch));
      }
      // Nothing after that: no second release (the semaphore would be above
      // 1), no second count-down (the latch would be below zero); a second
      // value on E's promise would have ended the process.
      if constexpr (kLetter == 'C') {
        EXPECT_FALSE(client.state().semaphore.try_acquire());
      }
      if constexpr (kLetter == 'D') {
        EXPECT_TRUE(client.state().pLatch->try_wait());
      }
      const Printed printed(::testing::internal::GetCapturedStdout());
      EXPECT_EQ(oversized, 0);
      EXPECT_EQ(printed.started, producers);
      EXPECT_EQ(printed.pairs, producers);  // the console lines stay per producer
      EXPECT_EQ(printed.batches, batches);
      EXPECT_EQ(printed.records, static_cast<int>(seen.size()));
    }
  }
}

// 2 to 8 producers on one structure, pausing 1 to 10 ms, and a client that
// keeps each batch 12 ms before it takes it: by then every other producer
// waits for the turn, so the turn goes on only if passing it wakes them.
// Each producer must get several turns well within 40 batches apiece.
TYPED_TEST(SharedStructureTest, EveryProducerGetsTurns) {
  constexpr char kLetter = TestFixture::kLetter;
  constexpr int kTurnsEach = 3;
  for (const int producers : {2, 4, 8}) {
    SCOPED_TRACE(std::to_string(producers) + " producers");
    this->pause_unit_.Set(1ms);
    const BatchesByThread counted;
    ::testing::internal::CaptureStdout();
    testing::ProducerClient<kLetter> client;
    std::vector<std::jthread> threads;
    for (int i = 0; i < producers; ++i) {
      threads.push_back(testing::StartProducerThread(kLetter, client.shared(),
                                                     {&this->pause_unit_, counted.console()}));
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

}  // namespace
}  // namespace tavisor
