// A client program linked without -rdynamic (CMake ENABLE_EXPORTS): its copy
// of libstdc++'s barrier/latch wait table stays its own, so B and D would
// never wake it. The client header finds that out and refuses them before
// anything starts; the other variants work as anywhere.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "../test_support.h"
#include "tavisor/library.h"
#include "tavisor/producer.h"

namespace tavisor {
namespace {

using namespace std::chrono_literals;

class NoExports : public ::testing::Test {
 protected:
  void SetUp() override {
#if !defined(TAVISOR_CHECKS_WAIT_TABLE)
    GTEST_SKIP() << "this standard library shares its wait table without exports";
#endif
    // Loaded, so that a producer that got through would start.
    testing::InitializeOnBundledLists(lib_);
  }

  const Library lib_{TAVISOR_LIBRARY_PATH};
};

TEST_F(NoExports, ProgramKeepsItsWaitTable) { EXPECT_FALSE(internal::ProgramSharesWaitTable()); }

TEST_F(NoExports, BarrierAndLatchAreRefusedBeforeAnythingStarts) {
  const std::vector<std::pair<std::string, std::function<void()>>> makers = {
      {"Producer<'B'>", [this] { Producer<'B'> p(lib_); }},
      {"Producer<'D'>", [this] { Producer<'D'> p(lib_, std::stop_source()); }},
      {"AnyProducer('b')", [this] { AnyProducer p('b', lib_); }},
      {"AnyProducer('D')", [this] { AnyProducer p('D', lib_, std::stop_source()); }},
  };
  // ThreadSanitizer starts a thread of its own with the program's first.
  std::thread([] {}).join();
  const std::optional<int> threads = testing::ThreadCount();
  ::testing::internal::CaptureStdout();
  for (const auto& [what, make] : makers) {
    try {
      make();
      ADD_FAILURE() << what << " was not refused";
    } catch (const std::runtime_error& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find("-rdynamic"), std::string::npos) << what << ": " << message;
      EXPECT_NE(message.find("ENABLE_EXPORTS"), std::string::npos) << what << ": " << message;
    }
  }
  // No producer started: nothing printed, no thread left running.
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(testing::ThreadCount(), threads);
}

TEST_F(NoExports, SemaphoreWorks) {
  Producer<'C'> producer(lib_);
  const Delivery d = producer.WaitFor(12s);
  ASSERT_EQ(d.what, Arrival::kBatch);
  EXPECT_FALSE(d.batch.empty());
  std::this_thread::sleep_for(300ms);  // the producer is in its next pause
  producer.Stop();
  EXPECT_EQ(producer.WaitFor(2s).what, Arrival::kEnded);
}

}  // namespace
}  // namespace tavisor
