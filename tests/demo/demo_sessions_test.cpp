// The demo's client side of every producer variant, driven by the real
// producers with short pauses: stops at arbitrary moments must end every
// producer and client thread, and every record made must reach the client
// exactly once (taken and printed, or released at the end).
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "api/entry_points.h"
#include "producer/pause.h"
#include "producers.h"
#include "test_support.h"
#include "tavisor/variants.h"

namespace demo {
namespace {

using namespace std::chrono_literals;

struct Tally {
  long generated = 0;  // the sum over the producers' "N items generated" lines
  long started = 0;
  long stop_notices = 0;
  long headings = 0;  // the client's "--- producer ..." lines
};

Tally Count(const std::string& text) {
  Tally tally;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.size() == 17 && line[0] >= '1' && line[0] <= '4' &&
        line.compare(1, std::string::npos, " items generated") == 0) {
      tally.generated += line[0] - '0';
    }
    tally.started += line == "Generator in DLL started";
    tally.stop_notices += line == "Loop in DLL broken off";
    tally.headings += line.rfind("--- producer ", 0) == 0;
  }
  return tally;
}

// The variants that this build of the demo runs: a MinGW build refuses B
// and D (their waits are unreliable there even within one module).
std::string RunnableLetters() {
  std::string letters;
  for (const char letter : std::string("ABCDE")) {
    if (tavisor::VariantUnavailableReason(letter).empty()) letters += letter;
  }
  return letters;
}

class DemoSessions : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    const tavisor::testing::WorkingDirectory in_data(tavisor::testing::BundledData());
    tavisor::InitializeLibrary();
  }
  // Pauses of 2 to 20 ms. Static: detached producers read it until they end.
  static inline const tavisor::PauseUnit pause_unit{2ms};
  static void Start(char letter, void* shared) {
    tavisor::StartProducer(letter, shared, {&pause_unit});
  }
};

TEST_F(DemoSessions, EveryRecordReachesTheClientOnceWhereverTheStopFalls) {
  constexpr int kRounds = 30;
  const std::string letters = RunnableLetters();
  const tavisor::Launcher start = &DemoSessions::Start;
  tavisor::Graveyard graveyard(200ms);
  std::mt19937 engine(12345);
  std::uniform_int_distribution<int> stop_after_ms(0, 60);
  Totals sum;
  std::size_t stand_ins = 0;

  // The client's print-out and the library's console lines go to separate
  // streams, so that neither can split a line of the other.
  std::ostringstream printed;
  ::testing::internal::CaptureStdout();
  for (int round = 0; round < kRounds; ++round) {
    console::Output output(false, printed);
    Producers producers(start, graveyard, output);
    for (const char letter : letters) producers.Start(letter);
    std::this_thread::sleep_for(std::chrono::milliseconds(stop_after_ms(engine)));
    EXPECT_EQ(producers.StopAll(), letters.size());
    EXPECT_EQ(producers.Running(), 0u);
    const Totals totals = producers.Shutdown();
    stand_ins += producers.StandIns();
    EXPECT_EQ(totals.producers, letters.size());
    sum.batches += totals.batches;
    sum.records += totals.records;
    sum.leftovers += totals.leftovers;
  }
  const std::string text = ::testing::internal::GetCapturedStdout();

  const Tally tally = Count(text);
  EXPECT_EQ(tally.started, static_cast<long>(letters.size()) * kRounds);
  EXPECT_EQ(tally.stop_notices, static_cast<long>(letters.size()) * kRounds);
  EXPECT_EQ(static_cast<std::size_t>(tally.generated), sum.records + sum.leftovers);
  EXPECT_GT(sum.batches, 0u);
  // What the client printed is the records it took.
  EXPECT_EQ(static_cast<std::size_t>(Count(printed.str()).headings), sum.records);
  std::cout << "batches " << sum.batches << ", records " << sum.records << ", leftovers "
            << sum.leftovers << ", stand-ins " << stand_ins << '\n';
}

TEST_F(DemoSessions, ProducersDeliverBatchesUntilStopped) {
  const tavisor::Launcher start = &DemoSessions::Start;
  tavisor::Graveyard graveyard(200ms);
  std::ostringstream printed;
  console::Output output(false, printed);
  Producers producers(start, graveyard, output);
  ::testing::internal::CaptureStdout();
  for (const char letter : RunnableLetters()) producers.Start(letter);
  EXPECT_EQ(producers.RunningLetters(), RunnableLetters());
  EXPECT_TRUE(producers.AwaitMoreBatches(3, std::chrono::steady_clock::now() + 20s));
  producers.StopAll();
  const Totals totals = producers.Shutdown();
  ::testing::internal::GetCapturedStdout();
  EXPECT_GE(totals.batches, 3 * RunnableLetters().size());
  EXPECT_GE(totals.records, totals.batches);
}

TEST_F(DemoSessions, StartFailureLeavesNothingRunning) {
  const tavisor::Launcher refuse = [](char, void*) { throw std::runtime_error("refused"); };
  tavisor::Graveyard graveyard(0ms);
  std::ostringstream printed;
  console::Output output(false, printed);
  Producers producers(refuse, graveyard, output);
  for (const char letter : std::string("ABCDE")) {
    EXPECT_THROW(producers.Start(letter), std::runtime_error) << letter;
  }
  EXPECT_EQ(producers.Running(), 0u);
  EXPECT_EQ(producers.Shutdown().producers, 0u);
  EXPECT_EQ(printed.str(), "");
}

TEST(DemoOutput, ConvertsWindows1252ToUtf8) {
  EXPECT_EQ(console::Cp1252ToUtf8("N\xE4htud \xD5\xF5 58\xB0"
                                  "1 \x8A\x9E\x80 \x81"),
            "N\xC3\xA4htud \xC3\x95\xC3\xB5 58\xC2\xB0"
            "1 \xC5\xA0\xC5\xBE\xE2\x82\xAC \xEF\xBF\xBD");
}

}  // namespace
}  // namespace demo
