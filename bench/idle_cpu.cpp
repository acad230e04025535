// CPU time of idle producers: one producer of every variant waiting for its
// batch to be taken, then also one of every variant in the middle of a
// pause, each measured over a window of 30 s (or the seconds given as the
// first argument). An idle producer blocks; it must not spin or poll
// busily (a pause looks at the stop state every 50 ms, a final wait at the
// queue every 100 ms).
//
// Prints the process's CPU time over the window (which includes the pause
// threads) and, on POSIX systems, each producer thread's own CPU time.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <sstream>
#include <thread>

#if defined(__unix__)
#include <pthread.h>
#endif

#include "producer/producer.h"
#include "producer_client.h"

namespace tavisor::bench {
namespace {

// CPU seconds used by `thread` so far, or -1 where that cannot be read.
double ThreadCpuSeconds([[maybe_unused]] std::thread& thread) {
#if defined(__unix__)
  clockid_t clock;
  timespec ts;
  if (pthread_getcpuclockid(thread.native_handle(), &clock) == 0 &&
      clock_gettime(clock, &ts) == 0) {
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
  }
#endif
  return -1;
}

double ProcessCpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// The process's CPU seconds over a window of `seconds`.
double CpuOver(int seconds) {
  const double start = ProcessCpuSeconds();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  return ProcessCpuSeconds() - start;
}

template <char Variant>
struct IdlePair {
  explicit IdlePair(const PauseUnit& unit) : waiting(unit) {}
  ProducerRun<Variant> waiting;
  std::unique_ptr<ProducerRun<Variant>> paused;
  double waiting_start = 0, paused_start = 0;
};

template <char Variant>
void Report(IdlePair<Variant>& p) {
  std::printf("  %c: waiting producer %8.1f us, paused producer %8.1f us\n", Variant,
              (ThreadCpuSeconds(p.waiting.Thread()) - p.waiting_start) * 1e6,
              (ThreadCpuSeconds(p.paused->Thread()) - p.paused_start) * 1e6);
}

int Run(int seconds) {
  // Silence the producers' console lines.
  std::ostringstream discarded;
  std::streambuf* previous = std::cout.rdbuf(discarded.rdbuf());

  // Waiting: every producer announces a first batch, which the client holds
  // but never takes.
  const PauseUnit short_pause(std::chrono::milliseconds(1));
  IdlePair<'A'> a(short_pause);
  IdlePair<'B'> b(short_pause);
  IdlePair<'C'> c(short_pause);
  IdlePair<'D'> d(short_pause);
  IdlePair<'E'> e(short_pause);
  a.waiting.Client().AwaitAnnouncement(std::nullopt);
  b.waiting.Client().AwaitAnnouncement(std::nullopt);
  c.waiting.Client().AwaitAnnouncement(std::nullopt);
  d.waiting.Client().AwaitAnnouncement(std::nullopt);
  e.waiting.Client().AwaitAnnouncement(std::nullopt);
  // The waiting producers alone first: what the paused ones add is theirs
  // (their pause threads' wake-ups included).
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const double waiting_only = CpuOver(seconds);
  // Paused: a pause of 1 to 10 minutes, longer than the window.
  const PauseUnit long_pause(std::chrono::minutes(1));
  a.paused = std::make_unique<ProducerRun<'A'>>(long_pause);
  b.paused = std::make_unique<ProducerRun<'B'>>(long_pause);
  c.paused = std::make_unique<ProducerRun<'C'>>(long_pause);
  d.paused = std::make_unique<ProducerRun<'D'>>(long_pause);
  e.paused = std::make_unique<ProducerRun<'E'>>(long_pause);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));

  const auto mark = [](auto& p) {
    p.waiting_start = ThreadCpuSeconds(p.waiting.Thread());
    p.paused_start = ThreadCpuSeconds(p.paused->Thread());
  };
  mark(a), mark(b), mark(c), mark(d), mark(e);
  const double process_start = ProcessCpuSeconds();
  const auto wall_start = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double process_cpu = ProcessCpuSeconds() - process_start;
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();

  std::printf("idle producers: 5 waiting + 5 paused, window %.1f s\n", wall);
  std::printf("process CPU over the window: %.1f us (%.4f %% of one core)\n", process_cpu * 1e6,
              100.0 * process_cpu / wall);
  std::printf(
      "the 5 waiting producers alone: %.1f us; so per paused producer: %.1f us "
      "(%.4f %% of one core)\n",
      waiting_only * 1e6, (process_cpu - waiting_only) / 5 * 1e6,
      100.0 * (process_cpu - waiting_only) / 5 / wall);
  std::printf("producer threads' own CPU over the window:\n");
  Report(a), Report(b), Report(c), Report(d), Report(e);
  std::fflush(stdout);

  a.paused->Stop(), b.paused->Stop(), c.paused->Stop(), d.paused->Stop(), e.paused->Stop();
  a.waiting.Stop(), b.waiting.Stop(), c.waiting.Stop(), d.waiting.Stop(), e.waiting.Stop();
  std::cout.rdbuf(previous);
  return 0;
}

}  // namespace
}  // namespace tavisor::bench

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
  return tavisor::bench::Run(seconds > 0 ? seconds : 30);
}
