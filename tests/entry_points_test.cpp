#include <gtest/gtest.h>

#include <functional>
#include <memory>

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

}  // namespace
}  // namespace tavisor
