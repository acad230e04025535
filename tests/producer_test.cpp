// The producers' protocols, driven in-process with short pauses.
#include <gtest/gtest.h>

#include <atomic>
#include <sstream>

#include "api/entry_points.h"
#include "producer/producer.h"
#include "producer_client.h"
#include "test_support.h"

namespace tavisor {
namespace {

using namespace std::chrono_literals;
using testing::Batch;
using testing::ProducerClient;

// What a producer printed: its start line, the records it announced, and
// the stop lines.
struct Console {
  int started = 0, batches = 0, records = 0, broken_off = 0, type_a_command = 0, other = 0;
  std::string text;

  explicit Console(std::string printed) : text(std::move(printed)) {
    std::istringstream in(text);
    std::string line;
    const std::string count_suffix = " items generated";
    while (std::getline(in, line)) {
      if (line == "Generator in DLL started") {
        ++started;
      } else if (line.size() == 1 + count_suffix.size() && line[0] >= '1' && line[0] <= '4' &&
                 line.ends_with(count_suffix)) {
        ++batches;
        records += line[0] - '0';
      } else if (line == "Loop in DLL broken off") {
        ++broken_off;
      } else if (line == "Type a command") {
        ++type_a_command;
      } else {
        ++other;
      }
    }
  }
};

void ExpectValid(const Batch& batch) {
  EXPECT_GE(batch.size(), 1u);
  EXPECT_LE(batch.size(), 4u);
  for (const auto& item : batch) {
    EXPECT_FALSE(item->name.empty());
    EXPECT_GE(item->observations.size(), 1u);
    EXPECT_LE(item->observations.size(), 15u);
  }
}

template <class T>
class ProducerTest : public ::testing::Test {
 protected:
  static constexpr char kLetter = T::value;
  using Client = ProducerClient<kLetter>;

  static void SetUpTestSuite() {
    testing::WorkingDirectory cwd(testing::BundledData());
    InitializeLibrary();
  }
  void SetUp() override {
#if defined(__MINGW32__)
    if (kLetter == 'B') {
      captured_ = true;  // nothing for TearDown to collect
      GTEST_SKIP() << "std::barrier of MinGW's libstdc++ (g++ 12) can lose a wake-up even "
                      "within one module: without a futex, a notification that falls between "
                      "a waiter's last check and its sleep is missed, and B hangs now and then";
    }
#endif
    SetPauseUnit(5ms);  // pauses of 5 to 50 ms
    ::testing::internal::CaptureStdout();
  }
  void TearDown() override {
    SetPauseUnit(1000ms);
    if (!captured_) ::testing::internal::GetCapturedStdout();
  }
  Console Printed() {
    captured_ = true;
    return Console(::testing::internal::GetCapturedStdout());
  }
  static std::jthread Run(Client& client) {
    return std::jthread([shared = client.shared()] { RunProducer(kLetter, shared); });
  }

 private:
  bool captured_ = false;
};

using testing::Letter;
using testing::LetterName;
using Variants = ::testing::Types<Letter<'A'>, Letter<'B'>, Letter<'C'>, Letter<'D'>, Letter<'E'>>;
TYPED_TEST_SUITE(ProducerTest, Variants, LetterName);

TYPED_TEST(ProducerTest, HandsOverWholeBatchesUntilStoppedInTheFinalWait) {
  typename TestFixture::Client client;
  int received = 0;
  {
    std::jthread producer = TestFixture::Run(client);
    for (int i = 0; i < 4; ++i) {
      const std::optional<Batch> batch = client.Take(5s);
      ASSERT_TRUE(batch.has_value()) << "batch " << i;
      ExpectValid(*batch);
      received += static_cast<int>(batch->size());
    }
    // The fifth batch is announced but the client leaves it where it is
    // and does not notify: the producer stays in its final wait.
    ASSERT_TRUE(client.Announced(5s));
    std::this_thread::sleep_for(150ms);  // longer than the re-test interval
    client.RequestStop();
    producer.join();
    // The batch is still there; nothing was sent after the stop.
    const std::optional<Batch> left = client.Take(0ms);
    ASSERT_TRUE(left.has_value());
    ExpectValid(*left);
    received += static_cast<int>(left->size());
    EXPECT_FALSE(client.Signalled());
  }
  const Console printed = this->Printed();
  EXPECT_EQ(printed.started, 1);
  EXPECT_EQ(printed.broken_off, 1);
  EXPECT_EQ(printed.type_a_command, 1);
  EXPECT_EQ(printed.other, 0) << printed.text;
  EXPECT_EQ(printed.batches, 5);
  EXPECT_EQ(printed.records, received);
}

TYPED_TEST(ProducerTest, StopBeforeStartEndsAtOnceWithoutSignal) {
  typename TestFixture::Client client;
  client.RequestStop();
  TestFixture::Run(client).join();
  EXPECT_FALSE(client.Signalled());
  const Console printed = this->Printed();
  EXPECT_EQ(printed.started, 1);
  EXPECT_EQ(printed.broken_off, 1);
  EXPECT_EQ(printed.type_a_command, 1);
  EXPECT_EQ(printed.batches, 0);
}

TYPED_TEST(ProducerTest, StopDuringPauseCutsItShortAndSendsTheLastSignal) {
  SetPauseUnit(3000ms);  // a pause of 3 to 30 s, cut short by the stop
  typename TestFixture::Client client;
  std::jthread producer = TestFixture::Run(client);
  std::this_thread::sleep_for(100ms);
  const auto stop_time = std::chrono::steady_clock::now();
  client.RequestStop();
  if constexpr (TestFixture::kLetter != 'A') {
    // B to E send one last signal with no records.
    const std::optional<Batch> last = client.Take(2s);
    ASSERT_TRUE(last.has_value());
    EXPECT_TRUE(last->empty());
  }
  producer.join();
  EXPECT_LT(std::chrono::steady_clock::now() - stop_time, 2500ms);
  if constexpr (TestFixture::kLetter == 'A') {
    EXPECT_TRUE(client.state().mxShared.try_lock());  // released
    client.state().mxShared.unlock();
    EXPECT_TRUE(client.state().queue.empty());
  }
  const Console printed = this->Printed();
  EXPECT_EQ(printed.broken_off, 1);
  EXPECT_EQ(printed.type_a_command, 1);
  EXPECT_EQ(printed.batches, 0);
}

TYPED_TEST(ProducerTest, TwoProducersOnOneStopSourcePrintTwoPairsOfStopLines) {
  std::stop_source source;
  typename TestFixture::Client first(source), second(source);
  {
    std::jthread p1 = TestFixture::Run(first), p2 = TestFixture::Run(second);
    ASSERT_TRUE(first.Take(5s).has_value());
    ASSERT_TRUE(second.Take(5s).has_value());
    source.request_stop();
    first.AbsorbLastSignal();
    second.AbsorbLastSignal();
  }
  const Console printed = this->Printed();
  EXPECT_EQ(printed.started, 2);
  EXPECT_EQ(printed.broken_off, 2);
  EXPECT_EQ(printed.type_a_command, 2);
}

// A client that empties the queue but forgets to notify is still seen, by
// the final wait's periodic re-test (A re-tests under mxShared on every
// wake-up and needs the notification).
TYPED_TEST(ProducerTest, ClientThatDoesNotNotifyStillGetsTheNextBatch) {
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "without the notification nothing orders the client's removals before the "
                  "producer's next appends; the race detector rightly reports that";
#endif
  if constexpr (TestFixture::kLetter == 'A') {
    GTEST_SKIP() << "variant A waits for the client's notification by design";
  } else {
    typename TestFixture::Client client;
    std::jthread producer = TestFixture::Run(client);
    for (int i = 0; i < 3; ++i) {
      const std::optional<Batch> batch = client.Take(5s, /*notify=*/false);
      ASSERT_TRUE(batch.has_value()) << "batch " << i;
      ExpectValid(*batch);
    }
    client.RequestStop();
    client.AbsorbLastSignal();
  }
}

}  // namespace
}  // namespace tavisor

namespace tavisor {
namespace {

// All five variants at once, each on its own structure, while another
// thread keeps making records through the same engines.
TEST(Producers, RunSideBySideWithGetItem) {
  {
    testing::WorkingDirectory cwd(testing::BundledData());
    InitializeLibrary();
  }
  SetPauseUnit(5ms);
  ::testing::internal::CaptureStdout();
  std::atomic<bool> done{false};
  std::atomic<int> made{0};
  std::jthread maker([&] {
    while (!done) {
      std::unique_ptr<Item> item(NewRandomItem());
      if (!item->observations.empty()) ++made;
    }
  });
  testing::ProducerClient<'A'> a;
  testing::ProducerClient<'B'> b;
  testing::ProducerClient<'C'> c;
  testing::ProducerClient<'D'> d;
  testing::ProducerClient<'E'> e;
  int received = 0;
  const auto consume = [&](auto& client) {
    for (int i = 0; i < 3; ++i) {
      const std::optional<testing::Batch> batch = client.Take(5s);
      ASSERT_TRUE(batch.has_value());
      ExpectValid(*batch);
      received += static_cast<int>(batch->size());
    }
    client.RequestStop();
    client.AbsorbLastSignal();
  };
  {
    std::jthread pa([&] { RunProducer('A', a.shared()); });
    std::jthread pb([&] { RunProducer('B', b.shared()); });
    std::jthread pc([&] { RunProducer('C', c.shared()); });
    std::jthread pd([&] { RunProducer('D', d.shared()); });
    std::jthread pe([&] { RunProducer('E', e.shared()); });
    consume(a);
    consume(b);
    consume(c);
    consume(d);
    consume(e);
  }
  done = true;
  maker.join();
  SetPauseUnit(1000ms);
  const Console printed(::testing::internal::GetCapturedStdout());
  EXPECT_EQ(printed.started, 5);
  EXPECT_EQ(printed.broken_off, 5);
  EXPECT_EQ(printed.other, 0) << printed.text;
  EXPECT_GE(printed.records, received);
  EXPECT_GT(made.load(), 0);
}

}  // namespace
}  // namespace tavisor

namespace tavisor {
namespace {

// A stop that comes while a B producer waits at the barrier with its batch:
// the batch is still handed over whole, then the producer ends without a
// further arrival.
TEST(Producers, StopWhileAnnouncingStillHandsOverTheBatch) {
  {
    testing::WorkingDirectory cwd(testing::BundledData());
    InitializeLibrary();
  }
  SetPauseUnit(5ms);  // the pause is over long before the stop
  ::testing::internal::CaptureStdout();
  testing::ProducerClient<'B'> client;
  testing::Batch batch;
  {
    std::jthread producer([&] { RunProducer('B', client.shared()); });
    std::this_thread::sleep_for(400ms);  // it waits at the barrier now
    client.RequestStop();
    std::optional<testing::Batch> taken = client.Take(5s);
    ASSERT_TRUE(taken.has_value());
    batch = std::move(*taken);
  }
  SetPauseUnit(1000ms);
  ExpectValid(batch);
  const Console printed(::testing::internal::GetCapturedStdout());
  EXPECT_EQ(printed.batches, 1);
  EXPECT_EQ(printed.records, static_cast<int>(batch.size()));
  EXPECT_EQ(printed.broken_off, 1);
}

}  // namespace
}  // namespace tavisor
