#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <typeinfo>

#include "api/entry_points.h"
#include "platform/console.h"
#include "test_console.h"
#include "test_support.h"

namespace tavisor {
namespace {

using testing::MessageOf;

// The whole life of the library in one process, in calling order: nothing
// here may run after another test has loaded the lists.
TEST(EntryPoints, LifecycleFromLoadToReady) {
  TAVISOR_SKIP_WITHOUT_CONSOLE();
  const std::string not_loaded = "Reference lists are not loaded: call Initialize first";
  EXPECT_EQ(MessageOf([] { delete NewRandomItem(); }), not_loaded);
  int shared = 0;
  EXPECT_EQ(MessageOf([&] { StartProducer('a', &shared); }), not_loaded);
  std::unique_ptr<Item> first(NewTestItem(0)), last(NewTestItem(16));
  EXPECT_EQ(first->name, "\xD5\xF5netuvi");
  EXPECT_EQ(last->name, "Musttihane");

  testing::TempDir empty;
  {
    testing::WorkingDirectory cwd(empty.path());
    platform::SetConsoleOutputCodePage(850);
    EXPECT_EQ(MessageOf(InitializeLibrary), testing::kNoBirdFile);
    EXPECT_EQ(platform::GetConsoleOutputCodePage(), 850u);
    EXPECT_FALSE(ListsReady());
    EXPECT_EQ(MessageOf([] { delete NewRandomItem(); }), not_loaded);
  }
  {
    testing::WorkingDirectory cwd(testing::BundledData());
    EXPECT_NO_THROW(InitializeLibrary());
    EXPECT_EQ(platform::GetConsoleOutputCodePage(), 1252u);
  }
  EXPECT_TRUE(ListsReady());
  std::unique_ptr<Item> a(NewRandomItem()), b(NewRandomItem());
  EXPECT_NE(a.get(), b.get());
  EXPECT_FALSE(a->observations.empty());
  b.reset();
  EXPECT_FALSE(a->name.empty());
}

TEST(EntryPoints, UnknownVersionsAreRefusedBeforeAnythingElse) {
  int untouched = 12345;
  for (const char letter : {'F', 'f', '1', ' ', '\0', 'Z', '@', '\xC4'}) {
    EXPECT_EQ(MessageOf([&] { StartProducer(letter, &untouched); }), "Unknown version")
        << int(letter);
  }
  EXPECT_EQ(untouched, 12345);
}

// The dynamic type of what `call` throws, to compare two failures' kinds.
std::string ThrownTypeOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::exception& e) {
    return typeid(e).name();
  }
  return "(no exception)";
}

// A null structure is refused for every letter, before any line is printed
// and before any thread starts, and in the same way "Unknown version" is;
// a bad letter wins over a null structure.
TEST(EntryPoints, NullStructureIsRefusedBeforeAnyLineOrThread) {
  const std::string null_structure = "Start: the SharedState pointer is null";
  const std::optional<int> threads_before = testing::ThreadCount();
  ::testing::internal::CaptureStdout();
  for (const char letter : {'A', 'B', 'C', 'D', 'E', 'a', 'b', 'c', 'd', 'e'}) {
    EXPECT_EQ(MessageOf([&] { StartProducer(letter, nullptr); }), null_structure) << letter;
  }
  for (const char letter : {'F', '1', ' ', '\0'}) {
    EXPECT_EQ(MessageOf([&] { StartProducer(letter, nullptr); }), "Unknown version") << int(letter);
  }
  EXPECT_EQ(ThrownTypeOf([] { StartProducer('A', nullptr); }),
            ThrownTypeOf([] { StartProducer('F', nullptr); }));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::ThreadCount(), threads_before);
}

}  // namespace
}  // namespace tavisor
