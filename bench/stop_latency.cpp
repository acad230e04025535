// How long request_stop() takes for a producer in its pause, without and
// with a stop callback of the client's that waits for what the producer
// gives up (A: mxShared; B to E: the last signal), registered right after
// Start or inside the pause (then it runs before the pause's own wake-up,
// and the pause must notice the stop by itself); and how long Start takes
// to return; and how soon the graveyard frees the structure of a Producer
// destroyed in its pause, with no further call. 200 stops per variant and
// case (or the number given as the first argument; 3 for A's freeing, which
// waits out its grace period), with the library's pauses of 1 to 10 s.
//
// Prints the median, the 99th percentile and the maximum, in microseconds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <stop_token>
#include <thread>
#include <vector>

#include "api/entry_points.h"
#include "hand_over_peer.h"
#include "producer_thread.h"
#include "tavisor/internal/hand_over.h"
#include "tavisor/producer.h"
#include "test_support.h"

namespace tavisor::bench {
namespace {

using Clock = std::chrono::steady_clock;

struct Figures {
  std::vector<double> us;
  void Add(Clock::duration d) {
    us.push_back(std::chrono::duration<double, std::micro>(d).count());
  }
  void Print(const char* what) {
    std::sort(us.begin(), us.end());
    const auto at = [&](double q) { return us[static_cast<std::size_t>(q * (us.size() - 1))]; };
    std::printf("    %-36s p50 %9.1f   p99 %9.1f   max %9.1f us\n", what, at(0.5), at(0.99),
                us.back());
  }
};

// What a client's stop callback waits for: the producer lets go of
// mxShared (A), or its last signal comes (B to E).
template <char V>
void AwaitProducer(internal::HandOver<V>& side) {
  if constexpr (V == 'A') {
    const std::lock_guard lock(internal::HandOverPeer::State(side).mxShared);
  } else {
    if (side.AwaitAnnouncement(Clock::now() + std::chrono::seconds(30))) (void)side.Take();
  }
}

enum class Registered { kNone, kRightAfterStart, kInsideThePause };

template <char V>
void Measure(int stops) {
  Figures stop[3], start;
  for (int i = 0; i < 3 * stops; ++i) {
    const auto when = static_cast<Registered>(i % 3);
    std::stop_source source;
    internal::HandOver<V> side(source.get_token());
    const auto before_start = Clock::now();
    std::jthread producer = testing::StartProducerThread(V, side.Shared(), {});
    start.Add(Clock::now() - before_start);
    std::optional<std::stop_callback<std::function<void()>>> registered;
    const auto register_callback = [&] {
      registered.emplace(source.get_token(), [&side] { AwaitProducer(side); });
    };
    if (when == Registered::kRightAfterStart) register_callback();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));  // the first pause has begun
    if (when == Registered::kInsideThePause) register_callback();
    const auto before_stop = Clock::now();
    source.request_stop();
    stop[i % 3].Add(Clock::now() - before_stop);
    if (when == Registered::kNone) AwaitProducer(side);
    producer.join();
  }
  std::printf("  %c:\n", V);
  stop[0].Print("request_stop, no client callback");
  stop[1].Print("  callback right after Start");
  stop[2].Print("  callback inside the pause");
  start.Print("Start");
}

template <char V>
void MeasureFreeing(int stops) {
  Figures freed;
  Graveyard graveyard;
  const Launcher start = [](char letter, void* shared) { StartProducer(letter, shared); };
  for (int i = 0; i < stops; ++i) {
    {
      Producer<V> producer(start, graveyard);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));  // the first pause has begun
    }
    const auto destroyed = Clock::now();
    while (graveyard.size() != 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
    freed.Add(Clock::now() - destroyed);
  }
  std::printf("  %c:\n", V);
  freed.Print("freed after ~Producer, no call");
}

int Run(int stops) {
  {
    testing::WorkingDirectory cwd(testing::BundledData());
    InitializeLibrary();
  }
  std::ostringstream discarded;  // the producers' console lines
  std::streambuf* console = std::cout.rdbuf(discarded.rdbuf());
  std::printf("%d stops per variant and case, producers in their first pause (1 to 10 s)\n", stops);
  Measure<'A'>(stops);
  Measure<'B'>(stops);
  Measure<'C'>(stops);
  Measure<'D'>(stops);
  Measure<'E'>(stops);
  MeasureFreeing<'A'>(3);
  MeasureFreeing<'B'>(stops);
  MeasureFreeing<'C'>(stops);
  MeasureFreeing<'D'>(stops);
  MeasureFreeing<'E'>(stops);
  std::cout.rdbuf(console);
  return 0;
}

}  // namespace
}  // namespace tavisor::bench

int main(int argc, char** argv) {
  const int stops = argc > 1 ? std::atoi(argv[1]) : 200;
  return tavisor::bench::Run(stops > 0 ? stops : 200);
}
