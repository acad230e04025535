// Stress: producers of all five variants side by side, each on its own
// SharedState, with clients that follow each protocol, threads calling
// GetItem and GetTestItem, and stops requested at random moments, for a
// fixed time (TAVISOR_STRESS_SECONDS, default 30). At the end every record
// announced on the console must have reached a client exactly once, valid,
// every producer must have ended, and nothing may hang (a watchdog aborts
// the run with the stuck thread's phase if any wait outlasts its bound).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "api/entry_points.h"
#include "in_process.h"
#include "producer/producer.h"
#include "producer_client.h"
#include "refdata/reference_lists.h"
#include "test_support.h"
#include "testdata/test_item_table.h"

namespace tavisor {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::Batch;
using testing::ProducerClient;

// Longest time any single wait may take before it counts as a hang. Pauses
// are 2 to 20 ms here, so a healthy run never comes near it.
constexpr auto kHangBound = 20s;
constexpr auto kPauseUnit = 2ms;
// Static: detached producers read it until they end.
const PauseUnit stress_pause_unit(kPauseUnit);
const ProducerEnvironment kStressEnvironment{&stress_pause_unit};

int StressSeconds() {
  const char* text = std::getenv("TAVISOR_STRESS_SECONDS");
  const int seconds = text != nullptr ? std::atoi(text) : 0;
  return seconds > 0 ? seconds : 30;
}

// --- Watchdog -------------------------------------------------------------

// Every thread of the test reports what it is doing; a thread that stays in
// one phase longer than kHangBound ends the process with a report, since a
// hung thread cannot be joined.
struct Heartbeat {
  std::string name;
  std::atomic<const char*> phase{"starting"};
  std::atomic<Clock::rep> since{Clock::now().time_since_epoch().count()};
  std::atomic<bool> done{false};

  void Beat(const char* what) {
    phase.store(what);
    since.store(Clock::now().time_since_epoch().count());
  }
};

class Watchdog {
 public:
  Heartbeat& Add(std::string name) {
    std::lock_guard lock(mutex_);
    beats_.push_back(std::make_unique<Heartbeat>());
    beats_.back()->name = std::move(name);
    return *beats_.back();
  }
  void Run(std::stop_token stop) {
    while (!stop.stop_requested()) {
      std::this_thread::sleep_for(100ms);
      std::lock_guard lock(mutex_);
      for (const auto& beat : beats_) {
        const auto stuck = Clock::now() - Clock::time_point(Clock::duration(beat->since.load()));
        if (!beat->done.load() && stuck > kHangBound) {
          std::fprintf(stderr, "HANG: %s stuck in \"%s\" for %lld s\n", beat->name.c_str(),
                       beat->phase.load(),
                       static_cast<long long>(
                           std::chrono::duration_cast<std::chrono::seconds>(stuck).count()));
          std::fflush(stderr);
          std::abort();
        }
      }
    }
  }

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<Heartbeat>> beats_;
};

// --- Record checks --------------------------------------------------------

// What a valid record may contain: a species of the first 414, places from
// the first 79 municipalities or inside the coordinate box, real dates.
class RecordRules {
 public:
  explicit RecordRules(const ReferenceLists& lists) {
    for (std::size_t i = 0; i < kMinimumSpecies; ++i) {
      const BirdInfo& b = lists.birds[i];
      species_.insert(b.order + '\n' + b.family + '\n' + b.name + '\n' + b.rarity);
    }
    communities_.insert(lists.communities.begin(), lists.communities.begin() + kMinimumCommunities);
  }

  // Empty when `item` is valid, otherwise what is wrong with it.
  std::string Problem(const Item& item) const {
    if (!species_.count(item.order + '\n' + item.family + '\n' + item.name + '\n' + item.rarity)) {
      return "unknown species \"" + item.name + "\"";
    }
    if (item.observations.empty() || item.observations.size() > 15) return "sighting count";
    for (const Observation& o : item.observations) {
      if (const auto* name = std::get_if<std::string>(&std::get<0>(o))) {
        if (!communities_.count(*name)) return "unknown municipality \"" + *name + "\"";
      } else {
        const Coordinates& c = std::get<Coordinates>(std::get<0>(o));
        const auto [lat, lat_min, lat_sec] = c.latitude;
        const auto [lon, lon_min, lon_sec] = c.longitude;
        if (lat < 57 || lat > 59 || lon < 21 || lon > 28) return "position outside the box";
        for (const int v : {lat_min, lat_sec, lon_min, lon_sec}) {
          if (v < 0 || v > 59) return "minutes or seconds of arc";
        }
      }
      const std::chrono::year_month_day date = std::get<1>(o);
      if (!date.ok() || date.year() < std::chrono::year(1950) ||
          date.year() > std::chrono::year(2025)) {
        return "date";
      }
      if (std::get<2>(o).to_duration() > 24h + 1min) return "time of day";
      const std::optional<std::int32_t>& count = std::get<3>(o);
      if (count && (*count < 1 || *count > 10)) return "bird count";
    }
    return {};
  }

 private:
  std::set<std::string> species_;
  std::set<std::string> communities_;
};

// --- Figures --------------------------------------------------------------

struct Figures {
  std::atomic<long> runs_in_test_threads{0}, runs_through_start{0};
  std::atomic<long> producers_ended{0};
  std::atomic<long> stops_requested{0};
  std::atomic<long> stops_before_start{0}, stops_right_after_start{0}, stops_after_a_batch{0},
      stops_in_final_wait{0}, stops_from_other_thread{0};
  std::atomic<long> batches_received{0}, records_received{0}, last_signals_received{0};
  std::atomic<long> batches_after_stop{0};
  std::atomic<long> get_item_calls{0}, get_test_item_calls{0};
  std::atomic<long> runs_per_variant[5]{};

  std::mutex problems_mutex;
  std::vector<std::string> problems;

  void Problem(std::string what) {
    std::lock_guard lock(problems_mutex);
    if (problems.size() < 50) problems.push_back(std::move(what));
  }
};

// --- One producer run -----------------------------------------------------

enum class StopAt { kBeforeStart, kRightAfterStart, kAfterABatch, kInFinalWait, kFromOtherThread };

struct Shared {
  Figures figures;
  Watchdog watchdog;
  std::unique_ptr<RecordRules> rules;
  Clock::time_point deadline;
};

// Everything one run of one producer leaves with its client: the client
// (and so the SharedState) and the records received, kept together until
// the producer has ended.
template <char V>
struct Run {
  ProducerClient<V> client;
  Batch received;
  int batches = 0;
  int last_signals = 0;
  std::atomic<bool> ended{false};
};

template <char V>
void Account(Run<V>& run, Batch batch, Shared& s, const char* source) {
  const bool stopped = run.client.source().stop_requested();
  if (batch.empty()) {
    // Only a producer that found the stop right after a pause sends a
    // signal with no records, and only once.
    if (!stopped || ++run.last_signals > 1) {
      s.figures.Problem(std::string(1, V) + ": empty announcement (" + source + ")");
    }
    return;
  }
  if (batch.size() > 4)
    s.figures.Problem(std::string(1, V) + ": batch of " + std::to_string(batch.size()));
  if (stopped) s.figures.batches_after_stop++;
  ++run.batches;
  for (auto& item : batch) run.received.push_back(std::move(item));
}

// After the producer has ended: whatever is still announced or queued.
template <char V>
void DrainAfterEnd(Run<V>& run, Shared& s) {
  // An announced batch left in place comes first.
  while (std::optional<Batch> batch = run.client.Take(0ms)) {
    Account(run, std::move(*batch), s, "after end");
  }
  // B's client side may not have seen the producer's last arrival yet (its
  // helper thread wakes a moment later): what is still queued counts too.
  if (Batch left = run.client.side().TakeLeftovers(); !left.empty()) {
    Account(run, std::move(left), s, "left over");
  }
}

// Checks what the run received and hands the figures over; the records are
// deleted with the run.
template <char V>
void Settle(Run<V>& run, Shared& s) {
  std::set<const Item*> distinct;
  for (auto& item : run.received) {
    if (!distinct.insert(item.get()).second) {
      s.figures.Problem(std::string(1, V) + ": record received twice");
      item.release();  // owned by the earlier entry; do not free it twice
      continue;
    }
    const std::string problem = s.rules->Problem(*item);
    if (!problem.empty()) s.figures.Problem(std::string(1, V) + ": invalid record: " + problem);
  }
  s.figures.batches_received += run.batches;
  s.figures.records_received += static_cast<long>(distinct.size());
  s.figures.last_signals_received += run.last_signals;
}

struct Plan {
  StopAt at;
  int batches_first;  // batches taken before the stop
  std::chrono::microseconds delay;
};

Plan DrawPlan(std::mt19937& rng, char variant) {
  // A client blocked at variant B's barrier cannot be reached by a stop
  // from another thread (the producer may end without arriving), so B's
  // client always requests its own stops.
  const int kinds = variant == 'B' ? 4 : 5;
  Plan plan;
  plan.at = static_cast<StopAt>(std::uniform_int_distribution<int>(0, kinds - 1)(rng));
  plan.batches_first = std::uniform_int_distribution<int>(0, 3)(rng);
  // Up to a little more than the longest pause (10 units), and for the
  // final wait beyond the producer's 100 ms re-test interval.
  const int max_us = plan.at == StopAt::kInFinalWait ? 150'000 : 25'000;
  plan.delay = std::chrono::microseconds(std::uniform_int_distribution<int>(0, max_us)(rng));
  return plan;
}

void CountStop(Figures& f, StopAt at) {
  f.stops_requested++;
  switch (at) {
    case StopAt::kBeforeStart:
      f.stops_before_start++;
      break;
    case StopAt::kRightAfterStart:
      f.stops_right_after_start++;
      break;
    case StopAt::kAfterABatch:
      f.stops_after_a_batch++;
      break;
    case StopAt::kInFinalWait:
      f.stops_in_final_wait++;
      break;
    case StopAt::kFromOtherThread:
      f.stops_from_other_thread++;
      break;
  }
}

// Drives one producer from start to stop. `launch` starts it; `ended` tells
// whether it has ended, when that can be known.
template <char V>
void DriveToStop(Run<V>& run, const Plan& plan, Heartbeat& beat, Shared& s,
                 const std::function<void()>& launch) {
  CountStop(s.figures, plan.at);
  if (plan.at == StopAt::kBeforeStart) run.client.RequestStop();
  beat.Beat("starting the producer");
  launch();
  if (plan.at == StopAt::kBeforeStart) return;

  for (int i = 0; i < plan.batches_first; ++i) {
    beat.Beat("taking a batch");
    std::optional<Batch> batch = run.client.Take(kHangBound);
    if (!batch) {
      s.figures.Problem(std::string(1, V) + ": no batch within the bound");
      break;
    }
    Account(run, std::move(*batch), s, "before the stop");
  }

  std::jthread stopper;
  switch (plan.at) {
    case StopAt::kBeforeStart:
      break;
    case StopAt::kRightAfterStart:
    case StopAt::kAfterABatch:
      beat.Beat("waiting to stop");
      std::this_thread::sleep_for(plan.at == StopAt::kRightAfterStart ? plan.delay / 20
                                                                      : plan.delay);
      break;
    case StopAt::kInFinalWait:
      beat.Beat("awaiting an announcement");
      // The batch stays where it is: the producer stays in its final wait.
      if (!run.client.Announced(kHangBound)) {
        s.figures.Problem(std::string(1, V) + ": no announcement within the bound");
      }
      beat.Beat("leaving the producer in its final wait");
      std::this_thread::sleep_for(plan.delay);
      break;
    case StopAt::kFromOtherThread: {
      // Another thread stops the producer while this one keeps taking: as
      // a client stops from any thread, fencing the hand-back first.
      const std::stop_source source = run.client.source();
      stopper = std::jthread([&client = run.client, delay = plan.delay] {
        std::this_thread::sleep_for(delay);
        client.RequestStop();
      });
      while (!source.stop_requested()) {
        beat.Beat("taking batches until stopped");
        if (std::optional<Batch> batch = run.client.Take(1ms)) {
          Account(run, std::move(*batch), s, "racing the stop");
        }
      }
      break;
    }
  }
  if (plan.at != StopAt::kFromOtherThread) run.client.RequestStop();
}

// After the stop, until the producer has ended (or `until` is reached for
// a producer whose end cannot be seen): takes what is announced.
template <char V>
void FollowToEnd(Run<V>& run, Heartbeat& beat, Shared& s, std::optional<Clock::time_point> until) {
  if constexpr (V == 'B') {
    // One arrival without waiting completes the phase of a producer that
    // announces once more, and harms nothing otherwise.
    (void)run.client.Announced(0ms);
  }
  beat.Beat("following the producer to its end");
  while (until ? Clock::now() < *until : !run.ended.load()) {
    if constexpr (V == 'B') {
      std::this_thread::sleep_for(1ms);
    } else if (std::optional<Batch> batch = run.client.Take(1ms)) {
      Account(run, std::move(*batch), s, "after the stop");
    }
  }
}

// One slot: producers of variant V, one after the other, each on a fresh
// SharedState, run on a thread of the test through RunProducer.
template <char V>
void TestThreadSlot(Shared& s, unsigned seed, int index) {
  Heartbeat& beat = s.watchdog.Add(std::string("slot ") + V + std::to_string(index));
  std::mt19937 rng(seed);
  while (Clock::now() < s.deadline) {
    Run<V> run;
    const Plan plan = DrawPlan(rng, V);
    std::thread producer;
    DriveToStop(run, plan, beat, s, [&] {
      producer = std::thread([&run] {
        RunProducer(V, run.client.shared(), kStressEnvironment);
        run.ended.store(true);
      });
    });
    FollowToEnd(run, beat, s, std::nullopt);
    producer.join();
    s.figures.producers_ended++;
    beat.Beat("draining");
    DrainAfterEnd(run, s);
    Settle(run, s);
    s.figures.runs_in_test_threads++;
    s.figures.runs_per_variant[V - 'A']++;
  }
  beat.done.store(true);
}

// Runs whose producers went through Start (detached): their end cannot be
// seen run by run, so the client and its records are kept until every
// producer thread of the process has gone.
struct DetachedRuns {
  std::mutex mutex;
  std::vector<std::function<void()>> settle_at_end;
};

template <char V>
void StartSlot(Shared& s, DetachedRuns& detached, unsigned seed) {
  Heartbeat& beat = s.watchdog.Add(std::string("Start slot ") + V);
  std::mt19937 rng(seed);
  while (Clock::now() < s.deadline) {
    auto run = std::make_shared<Run<V>>();
    const Plan plan = DrawPlan(rng, V);
    DriveToStop(*run, plan, beat, s,
                [&] { StartProducer(V, run->client.shared(), kStressEnvironment); });
    FollowToEnd(*run, beat, s, Clock::now() + 50ms);
    s.figures.runs_through_start++;
    s.figures.runs_per_variant[V - 'A']++;
    std::lock_guard lock(detached.mutex);
    detached.settle_at_end.push_back([run, &s] {
      // The producer's last act was to deregister its stop callback from
      // this stop state; reading the state orders all it did before that
      // (which the thread count has shown to be over) before the drain.
      (void)run->client.source().stop_requested();
      DrainAfterEnd(*run, s);
      Settle(*run, s);
    });
  }
  beat.done.store(true);
}

// Calls GetItem and GetTestItem in bursts while the producers run.
void DirectCallsSlot(Shared& s, bool test_items) {
  Heartbeat& beat = s.watchdog.Add(test_items ? "GetTestItem caller" : "GetItem caller");
  std::vector<std::string> expected_names;
  for (const DataItem& dit : TestItemTable()) expected_names.push_back(dit.GetName());
  int n = 0;
  while (Clock::now() < s.deadline) {
    beat.Beat(test_items ? "GetTestItem" : "GetItem");
    for (int i = 0; i < 10; ++i, ++n) {
      if (test_items) {
        const std::unique_ptr<Item> item(NewTestItem(n % 17));
        if (item->name != expected_names[n % 17]) s.figures.Problem("GetTestItem: wrong record");
        s.figures.get_test_item_calls++;
      } else {
        const std::unique_ptr<Item> item(NewRandomItem());
        const std::string problem = s.rules->Problem(*item);
        if (!problem.empty()) s.figures.Problem("GetItem: invalid record: " + problem);
        s.figures.get_item_calls++;
      }
    }
    std::this_thread::sleep_for(1ms);
  }
  beat.done.store(true);
}

// What the producers printed.
struct ConsoleCounts {
  long started = 0, batches = 0, records = 0, broken_off = 0, type_a_command = 0, other = 0;
  std::string first_other;

  explicit ConsoleCounts(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
      const std::string suffix = " items generated";
      if (line == "Generator in DLL started") {
        ++started;
      } else if (line == "Loop in DLL broken off") {
        ++broken_off;
      } else if (line == "Type a command") {
        ++type_a_command;
      } else if (line.size() == suffix.size() + 1 && line[0] >= '1' && line[0] <= '4' &&
                 line.compare(1, std::string::npos, suffix) == 0) {
        ++batches;
        records += line[0] - '0';
      } else if (++other == 1) {
        first_other = line;
      }
    }
  }
};

TEST(Stress, ProducersClientsAndRandomStopsLoseNothingAndNeverHang) {
  testing::LoadBundledLists();
  Shared s;
  s.rules = std::make_unique<RecordRules>(DrawnLists());
  const int seconds = StressSeconds();
  const unsigned seed = std::random_device{}();
  std::printf("stress: %d s, seed %u, pause unit %lld ms\n", seconds, seed,
              static_cast<long long>(kPauseUnit.count()));
  std::fflush(stdout);

  // A first thread, started and joined, brings up whatever threads the
  // runtime (a sanitizer) adds, so that the count below is the baseline.
  std::thread([] {}).join();
  const std::optional<int> baseline_threads = testing::ThreadCount();

  ::testing::internal::CaptureStdout();
  const auto started = Clock::now();
  s.deadline = started + std::chrono::seconds(seconds);
  DetachedRuns detached;
  {
    std::jthread watchdog([&s](std::stop_token stop) { s.watchdog.Run(stop); });
    std::vector<std::jthread> threads;
    unsigned n = seed;
    for (int i = 0; i < 2; ++i) {
      threads.emplace_back([&s, i, n] { TestThreadSlot<'A'>(s, n + 1, i); });
      threads.emplace_back([&s, i, n] { TestThreadSlot<'B'>(s, n + 2, i); });
      threads.emplace_back([&s, i, n] { TestThreadSlot<'C'>(s, n + 3, i); });
      threads.emplace_back([&s, i, n] { TestThreadSlot<'D'>(s, n + 4, i); });
      threads.emplace_back([&s, i, n] { TestThreadSlot<'E'>(s, n + 5, i); });
      n += 10;
    }
    if (baseline_threads) {
      threads.emplace_back([&] { StartSlot<'A'>(s, detached, n + 1); });
      threads.emplace_back([&] { StartSlot<'C'>(s, detached, n + 2); });
      threads.emplace_back([&] { StartSlot<'E'>(s, detached, n + 3); });
    }
    threads.emplace_back([&s] { DirectCallsSlot(s, false); });
    threads.emplace_back([&s] { DirectCallsSlot(s, true); });
    for (auto& t : threads) t.join();

    // Every thread of the test but the watchdog has ended; the detached
    // producers must follow.
    Heartbeat& beat = s.watchdog.Add("detached producers");
    beat.Beat("waiting for detached producers to end");
    while (baseline_threads && testing::ThreadCount().value_or(0) > *baseline_threads + 1) {
      std::this_thread::sleep_for(5ms);
    }
    beat.done.store(true);
  }
  for (const auto& settle : detached.settle_at_end) settle();
  if (baseline_threads) s.figures.producers_ended += s.figures.runs_through_start;
  const double elapsed = std::chrono::duration<double>(Clock::now() - started).count();
  const ConsoleCounts console(::testing::internal::GetCapturedStdout());

  const Figures& f = s.figures;
  const long producers = f.runs_in_test_threads + f.runs_through_start;
  std::printf(
      "stress: %.1f s; producers started %ld (test threads %ld, Start %ld; A %ld B %ld C %ld "
      "D %ld E %ld), ended %ld\n"
      "stress: stops requested %ld (before start %ld, right after start %ld, after a batch %ld, "
      "in the final wait %ld, from another thread %ld)\n"
      "stress: batches announced %ld / received %ld (%ld of them taken after the stop request); "
      "records announced %ld / received %ld; last signals received %ld\n"
      "stress: console: %ld start lines, %ld + %ld stop lines, %ld other lines\n"
      "stress: GetItem %ld, GetTestItem %ld; problems %zu; hangs 0\n",
      elapsed, producers, f.runs_in_test_threads.load(), f.runs_through_start.load(),
      f.runs_per_variant[0].load(), f.runs_per_variant[1].load(), f.runs_per_variant[2].load(),
      f.runs_per_variant[3].load(), f.runs_per_variant[4].load(), f.producers_ended.load(),
      f.stops_requested.load(), f.stops_before_start.load(), f.stops_right_after_start.load(),
      f.stops_after_a_batch.load(), f.stops_in_final_wait.load(), f.stops_from_other_thread.load(),
      console.batches, f.batches_received.load(), f.batches_after_stop.load(), console.records,
      f.records_received.load(), f.last_signals_received.load(), console.started,
      console.broken_off, console.type_a_command, console.other, f.get_item_calls.load(),
      f.get_test_item_calls.load(), s.figures.problems.size());

  for (const std::string& problem : s.figures.problems) ADD_FAILURE() << problem;
  EXPECT_EQ(f.producers_ended.load(), producers);
  EXPECT_EQ(console.started, producers);
  EXPECT_EQ(f.stops_requested.load(), producers);
  EXPECT_EQ(console.broken_off, f.stops_requested.load());
  EXPECT_EQ(console.type_a_command, f.stops_requested.load());
  EXPECT_EQ(console.other, 0) << console.first_other;
  EXPECT_EQ(console.batches, f.batches_received.load());
  EXPECT_EQ(console.records, f.records_received.load());
  for (const auto& runs : f.runs_per_variant) EXPECT_GT(runs.load(), 0);
  EXPECT_GT(f.batches_received.load(), 0);
  EXPECT_GT(f.get_item_calls.load(), 0);
}

}  // namespace
}  // namespace tavisor
