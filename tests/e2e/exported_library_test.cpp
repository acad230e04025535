// The real library, loaded by name and used only through its four exports,
// the way a client does, with the real 1 to 10 s pauses.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

#include "../producer_client.h"
#include "../test_support.h"
#include "tavisor/library.h"

namespace tavisor {
namespace {

using testing::MessageOf;

using namespace std::chrono_literals;

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
using Variants = ::testing::Types<Letter<'A'>, Letter<'B'>, Letter<'C'>, Letter<'D'>, Letter<'E'>>;
TYPED_TEST_SUITE(ExportedProducer, Variants, LetterName);

// One batch through Start, then a stop during the next pause: the lines on
// the requesting thread and, for B to E, the last signal.
TYPED_TEST(ExportedProducer, HandsOverABatchAndStopsDuringThePause) {
  constexpr char kLetter = TypeParam::value;
#if defined(__MINGW32__)
  if (kLetter == 'B') {
    GTEST_SKIP() << "MinGW's libstdc++ (g++ 12) wakes std::barrier waiters through a table in "
                    "inline header code, one copy per module: an arrival inside Tavisor.dll "
                    "never wakes a waiter in the executable, nor the reverse";
  }
#endif
  const Library lib(TAVISOR_LIBRARY_PATH);
  {
    testing::WorkingDirectory cwd(testing::BundledData());
    lib.Initialize();
  }
  testing::ProducerClient<kLetter> client;
  ::testing::internal::CaptureStdout();
  lib.Start(static_cast<char>(kLetter + ('a' - 'A')), client.shared());  // lower case works too
  const std::optional<testing::Batch> batch = client.Take(12s);
  ASSERT_TRUE(batch.has_value());
  ASSERT_GE(batch->size(), 1u);
  ASSERT_LE(batch->size(), 4u);
  for (const auto& item : *batch) EXPECT_FALSE(item->observations.empty());
  std::this_thread::sleep_for(300ms);  // the producer is in its next pause now
  client.RequestStop();
  const std::string stop_lines = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(stop_lines.find("Generator in DLL started\n"), std::string::npos);
  EXPECT_NE(stop_lines.find(std::to_string(batch->size()) + " items generated\n"),
            std::string::npos);
  // Out by the time request_stop returns.
  EXPECT_TRUE(stop_lines.ends_with("Loop in DLL broken off\nType a command\n")) << stop_lines;
  if constexpr (kLetter != 'A') {
    const std::optional<testing::Batch> last = client.Take(2s);
    ASSERT_TRUE(last.has_value());
    EXPECT_TRUE(last->empty());
  }
  // The library gives no signal once the producer has returned: give it a
  // moment before the structure goes and the library is unloaded.
  std::this_thread::sleep_for(200ms);
}

// A stop callback of the client's, registered after Start, that takes
// mxShared, and a stop during the pause: the producer frees mxShared, the
// stop returns, and the stop lines come once.
TEST(ExportedLibrary, ClientStopCallbackTakingTheMutexDoesNotHangTheStop) {
  const Library lib(TAVISOR_LIBRARY_PATH);
  {
    testing::WorkingDirectory cwd(testing::BundledData());
    lib.Initialize();
  }
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
    testing::TakeAll(s.queue);
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

}  // namespace
}  // namespace tavisor
