// The real library, loaded by name and used only through its four exports,
// the way a client does, with the real 1 to 10 s pauses.
#include <gtest/gtest.h>

#include <memory>

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
  // Printed inside request_stop, on this thread.
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

}  // namespace
}  // namespace tavisor
