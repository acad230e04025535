// How long a batch takes from its announcement to the client holding it,
// per producer variant. The producer runs through the internal RunProducer
// with the pause shortened to 1 to 10 ms, so the client is always blocked in
// its wait when the batch comes.
//
// The announcement is timed where the producer prints its count line
// ("N items generated"): it writes that line, flushing it, right before the
// announcement itself. Standard output is redirected for the run to a
// stream buffer that notes the time of that flush.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include "producer/producer.h"
#include "producer_client.h"

namespace tavisor::bench {
namespace {

// Keeps the time at which the last count line was flushed.
class AnnouncementClock : public std::streambuf {
 public:
  Clock::time_point LastCountLine() const {
    return Clock::time_point(Clock::duration(stamp_.load(std::memory_order_acquire)));
  }

 protected:
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    line_.append(s, static_cast<std::size_t>(n));
    return n;
  }
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof()))
      line_.push_back(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
  }
  int sync() override {
    if (line_.find(" items generated") != std::string::npos) {
      stamp_.store(Clock::now().time_since_epoch().count(), std::memory_order_release);
    }
    line_.clear();
    return 0;
  }

 private:
  std::string line_;  // written only under the library's console lock
  std::atomic<Clock::rep> stamp_{0};
};

// Points std::cout at `buffer` for its lifetime.
class RedirectedCout {
 public:
  explicit RedirectedCout(std::streambuf* buffer) : previous_(std::cout.rdbuf(buffer)) {}
  ~RedirectedCout() { std::cout.rdbuf(previous_); }
  RedirectedCout(const RedirectedCout&) = delete;
  RedirectedCout& operator=(const RedirectedCout&) = delete;

 private:
  std::streambuf* previous_;
};

double Percentile(std::vector<double> v, double p) {
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

template <char Variant>
void BM_HandOver(benchmark::State& state) {
  AnnouncementClock announcements;
  RedirectedCout redirect(&announcements);
  const PauseUnit pause_unit(std::chrono::milliseconds(1));
  std::vector<double> latencies_us;
  std::size_t records = 0;
  {
    ProducerRun<Variant> run(pause_unit);
    for (auto _ : state) {
      // A wait without a time limit: the variant's own blocking wait.
      const Delivery delivery = run.Client().Wait();
      // When the client side saw the announcement (for B: its helper thread
      // at the barrier).
      const auto latency = run.Client().AnnouncedAt() - announcements.LastCountLine();
      state.SetIterationTime(std::chrono::duration<double>(latency).count());
      latencies_us.push_back(std::chrono::duration<double, std::micro>(latency).count());
      const std::size_t n = delivery.batch.size();
      if (n < 1 || n > 4) state.SkipWithError("a batch of 1 to 4 records was expected");
      records += n;
    }
    run.Stop();
  }
  state.counters["records"] = static_cast<double>(records);
  state.counters["p50_us"] = Percentile(latencies_us, 0.5);
  state.counters["p99_us"] = Percentile(latencies_us, 0.99);
  state.counters["max_us"] = Percentile(latencies_us, 1.0);
}

// About 5.5 ms of pause per batch: 300 batches take under 2 s a variant.
template <char Variant>
int RegisterHandOver() {
  benchmark::RegisterBenchmark((std::string("BM_HandOver/") + Variant).c_str(),
                               BM_HandOver<Variant>)
      ->UseManualTime()
      ->Iterations(300)
      ->Unit(benchmark::kMicrosecond);
  return 0;
}
[[maybe_unused]] const int registered = RegisterHandOver<'A'>() + RegisterHandOver<'B'>() +
                                        RegisterHandOver<'C'>() + RegisterHandOver<'D'>() +
                                        RegisterHandOver<'E'>();

}  // namespace
}  // namespace tavisor::bench
