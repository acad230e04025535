// The real library, loaded by name and used only through its four exports,
// the way a client does, with the real 1 to 10 s pauses.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <vector>

#include "../producer_client.h"
#include "../test_support.h"
#include "../variant_types.h"
#include "tavisor/library.h"
#include "tavisor/producer.h"

namespace tavisor {
namespace {

using testing::MessageOf;

using namespace std::chrono_literals;

#if defined(__linux__)
// The name a client loads by default is the built library's soname: with
// the library loaded by its path, the loader finds it under that name
// among the loaded objects, without searching any directory.
TEST(ExportedLibrary, LoadsByItsSonameByDefault) {
  const Library lib(TAVISOR_LIBRARY_PATH);
  void* const same = ::dlopen(Library::DefaultName(), RTLD_NOW | RTLD_NOLOAD);
  EXPECT_NE(same, nullptr) << Library::DefaultName() << " is not the soname of "
                           << TAVISOR_LIBRARY_PATH;
  if (same != nullptr) ::dlclose(same);
}

// Linked with exports, as a client must be: the loaded library waits and
// wakes through this program's copy of the barrier/latch wait table, so B
// and D are not refused (the opposite case is tests/client).
TEST(ExportedLibrary, SharesTheProgramsWaitTable) {
  EXPECT_TRUE(internal::ProgramSharesWaitTable());
  EXPECT_EQ(VariantUnavailableReason('B'), "");
  EXPECT_EQ(VariantUnavailableReason('D'), "");
}
#endif

TEST(ExportedLibrary, FollowsTheCallingOrder) {
  const Library lib(TAVISOR_LIBRARY_PATH);
  std::unique_ptr<Item> test_item(lib.GetTestItem(16));
  EXPECT_EQ(test_item->name, "Musttihane");
  EXPECT_EQ(MessageOf([&] { delete lib.GetItem(); }),
            "Reference lists are not loaded: call Initialize first");
  {
    testing::TempDir empty;
    testing::WorkingDirectory cwd(empty.path());
    EXPECT_EQ(MessageOf([&] { lib.Initialize(); }), testing::kNoBirdFile);
  }
  {
    testing::WorkingDirectory cwd(testing::BundledData());
    EXPECT_EQ(MessageOf([&] { lib.Initialize(); }), "(no exception)");
  }
  std::unique_ptr<Item> item(lib.GetItem());
  EXPECT_FALSE(item->observations.empty());
  int untouched = 7;
  EXPECT_EQ(MessageOf([&] { lib.Start('f', &untouched); }), "Unknown version");
  EXPECT_EQ(untouched, 7);
  // No structure at all: refused before any line or thread; a bad letter
  // still comes first.
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(MessageOf([&] { lib.Start('a', nullptr); }), "Start: the SharedState pointer is null");
  EXPECT_EQ(MessageOf([&] { lib.Start('E', nullptr); }), "Start: the SharedState pointer is null");
  EXPECT_EQ(MessageOf([&] { lib.Start('f', nullptr); }), "Unknown version");
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
}

template <class T>
class ExportedProducer : public ::testing::Test {};

using testing::Letter;
using testing::LetterName;
using Variants = testing::AllVariants;
TYPED_TEST_SUITE(ExportedProducer, Variants, LetterName);

// One batch through Start, then a stop during the next pause: the lines on
// the requesting thread and, for B to E, the last signal.
TYPED_TEST(ExportedProducer, HandsOverABatchAndStopsDuringThePause) {
  constexpr char kLetter = TypeParam::value;
#if defined(__MINGW32__)
  if (kLetter == 'B' || kLetter == 'D') {
    // The header refuses them; the refusal is tested below.
    GTEST_SKIP() << VariantUnavailableReason(kLetter);
  }
#endif
  const Library lib(TAVISOR_LIBRARY_PATH);
  testing::InitializeOnBundledLists(lib);
  ::testing::internal::CaptureStdout();
  std::string stop_lines;
  {
    // The library takes variant letters in lower case too.
    const Launcher lower_case = [&lib](char letter, void* shared) {
      lib.Start(static_cast<char>(letter + ('a' - 'A')), shared);
    };
    AnyProducer producer(kLetter, lower_case, lib.graveyard());
    const Delivery batch = producer.WaitFor(12s);
    ASSERT_EQ(batch.what, Arrival::kBatch);
    ASSERT_GE(batch.batch.size(), 1u);
    ASSERT_LE(batch.batch.size(), 4u);
    for (const auto& item : batch.batch) EXPECT_FALSE(item->observations.empty());
    std::this_thread::sleep_for(300ms);  // the producer is in its next pause now
    producer.Stop();
    stop_lines = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(stop_lines.find("Generator in DLL started\n"), std::string::npos);
    EXPECT_NE(stop_lines.find(std::to_string(batch.batch.size()) + " items generated\n"),
              std::string::npos);
    // B to E send their last signal; A lets go of its queue.
    EXPECT_EQ(producer.WaitFor(2s).what, Arrival::kEnded);
  }
  // Printed inside request_stop, on this thread.
  EXPECT_TRUE(stop_lines.ends_with("Loop in DLL broken off\nType a command\n")) << stop_lines;
  // B to E: the last signal has come, so the structure went at once; A's
  // waits out its grace period.
  EXPECT_EQ(lib.graveyard().size(), kLetter == 'A' ? 1u : 0u);
}

// A producer of every variant this build can run, all on `source`; the
// others are refused.
std::vector<AnyProducer> StartEveryVariant(const Library& lib, const std::stop_source& source) {
  std::vector<AnyProducer> producers;
  for (const char letter : std::string("ABCDE")) {
    if (VariantUnavailableReason(letter).empty()) {
      producers.emplace_back(letter, lib, source);
    } else {
      EXPECT_THROW(AnyProducer(letter, lib, source), std::runtime_error) << letter;
    }
  }
  return producers;
}

// Every variant this build can run, all on one stop source, through the
// loaded library: one batch each, then one stop ends them all, whichever
// point of its cycle each was at.
TEST(ExportedProducer, OneStopSourceEndsEveryVariant) {
  const Library lib(TAVISOR_LIBRARY_PATH);
  testing::InitializeOnBundledLists(lib);
  ::testing::internal::CaptureStdout();
  std::stop_source source;
  std::vector<AnyProducer> producers = StartEveryVariant(lib, source);
  for (AnyProducer& p : producers) EXPECT_EQ(p.WaitFor(12s).what, Arrival::kBatch);
  // Left with the producer: this one stays in its final wait.
  ASSERT_TRUE(producers.back().AwaitAnnouncement(Clock::now() + 12s));
  source.request_stop();
  EXPECT_EQ(producers.back().Poll().what, Arrival::kBatch);
  const std::size_t started = producers.size();
  producers.clear();
  const std::string printed = ::testing::internal::GetCapturedStdout();
  // One pair of stop lines per producer, all on this thread.
  for (const std::string line : {"Loop in DLL broken off\n", "Type a command\n"}) {
    std::size_t count = 0;
    for (auto at = printed.find(line); at != std::string::npos; at = printed.find(line, at + 1)) {
      ++count;
    }
    EXPECT_EQ(count, started) << line;
  }
  // A ends without a last signal: its structure waits out the grace
  // period. E, whose batch was out, went at once: the stop has returned.
  // The others go once their last signal has come.
  EXPECT_GE(lib.graveyard().size(), 1u);
  EXPECT_LT(lib.graveyard().size(), started);
}

// Every variant with its next batch out when one stop comes: B to E send
// nothing more, and their structures go the moment the producer objects
// do, since the producers' last look at their queues is over once the stop
// has returned. (The thread sanitizer stage sees whether that look is
// ordered before the structures go.) A's waits out its grace period.
TEST(ExportedProducer, StopWithBatchesOutFreesTheStructuresOnceItReturns) {
  const Library lib(TAVISOR_LIBRARY_PATH);
  testing::InitializeOnBundledLists(lib);
  ::testing::internal::CaptureStdout();
  std::stop_source source;
  std::vector<AnyProducer> producers = StartEveryVariant(lib, source);
  for (AnyProducer& p : producers) {
    ASSERT_TRUE(p.AwaitAnnouncement(HandOverClock::now() + 12s)) << p.Letter();
  }
  source.request_stop();
  for (AnyProducer& p : producers) {
    EXPECT_EQ(p.Poll().what, Arrival::kBatch) << p.Letter();
    if (p.Letter() != 'A') {
      EXPECT_EQ(p.outlook(), Outlook::kNoLastSignal) << p.Letter();
    }
  }
  producers.clear();
  (void)::testing::internal::GetCapturedStdout();
  EXPECT_EQ(lib.graveyard().size(), 1u);
}

// A stop callback of the client's, registered after Start, that takes
// mxShared, and a stop during the pause: the producer frees mxShared, the
// stop returns, and the stop lines come once.
TEST(ExportedLibrary, ClientStopCallbackTakingTheMutexDoesNotHangTheStop) {
  const Library lib(TAVISOR_LIBRARY_PATH);
  testing::InitializeOnBundledLists(lib);
  testing::ProducerClient<'A'> client;
  SharedState<'A'>& s = client.state();
  std::atomic<bool> callback_took_the_mutex{false};
  std::optional<std::stop_callback<std::function<void()>>> callback;
  ::testing::internal::CaptureStdout();
  lib.Start('A', client.shared());
  {
    std::unique_lock lock(s.mxShared);
    ASSERT_TRUE(s.cvShared.wait_for(lock, 12s, [&] { return !s.queue.empty(); }));
    // Now, before the next pause begins: so that pause's wake-up runs first,
    // then this callback, then the library's.
    callback.emplace(client.source().get_token(), [&] {
      const std::lock_guard taken(s.mxShared);
      callback_took_the_mutex = true;
    });
    for (Item* pit : s.queue) delete pit;
    s.queue.clear();
    s.cvShared.notify_all();
  }
  std::this_thread::sleep_for(300ms);  // the producer is in its next pause
  testing::MustReturnWithin(5s, "request_stop", [&] { client.RequestStop(); });
  EXPECT_TRUE(callback_took_the_mutex);
  // The library gives no end signal: let the producer finish before the
  // structure goes and the library is unloaded.
  std::this_thread::sleep_for(200ms);
  const std::string printed = ::testing::internal::GetCapturedStdout();
  EXPECT_TRUE(printed.ends_with("Loop in DLL broken off\nType a command\n")) << printed;
  EXPECT_EQ(printed.find("Loop in DLL broken off"), printed.rfind("Loop in DLL broken off"));
}

// Two producers on one structure, for C and for E, through the loaded
// library with its real pauses: they take turns, and one stop, while they
// pause, gives each structure one last signal (two values on E's promise
// would end the process).
TEST(ExportedLibrary, TwoProducersOnOneStructureTakeTurnsAndEndOnce) {
  const Library lib(TAVISOR_LIBRARY_PATH);
  testing::InitializeOnBundledLists(lib);
  ::testing::internal::CaptureStdout();
  std::stop_source source;
  testing::ProducerClient<'C'> c(source);
  testing::ProducerClient<'E'> e(source);
  for (int i = 0; i < 2; ++i) {
    lib.Start('C', c.shared());
    lib.Start('E', e.shared());
  }
  const auto take_one = [](auto& client) {
    const std::optional<Batch> batch = client.Take(12s);
    return batch && !batch->empty() && batch->size() <= 4;
  };
  EXPECT_TRUE(take_one(c));
  EXPECT_TRUE(take_one(e));
  std::this_thread::sleep_for(300ms);  // both structures' producers pause now, or one makes a batch
  source.request_stop();
  // Each structure: its last signal, or the batch that was being made and
  // then nothing.
  const auto ends_once = [](auto& client) {
    if (!client.Announced(5s)) return false;
    if (client.side().Take().what == Arrival::kBatch) {
      return client.side().outlook() == Outlook::kNoLastSignal && !client.Announced(300ms);
    }
    return client.side().outlook() == Outlook::kEnded;
  };
  EXPECT_TRUE(ends_once(c));
  EXPECT_TRUE(ends_once(e));
  if (c.side().outlook() == Outlook::kEnded) {
    EXPECT_FALSE(c.state().semaphore.try_acquire());  // one release, not one per producer
  }
  const std::string printed = ::testing::internal::GetCapturedStdout();
  std::size_t pairs = 0;
  for (auto at = printed.find("Type a command\n"); at != std::string::npos;
       at = printed.find("Type a command\n", at + 1)) {
    ++pairs;
  }
  EXPECT_EQ(pairs, 4u);
}

}  // namespace
}  // namespace tavisor
