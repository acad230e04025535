// What this machine charges for handing one cache line from one core to the
// other. Threads making records together pass the random engines'
// state between cores this way many times per record, so this figure
// bounds what a second thread can add to GetItem (see bench/README.md).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdint>
#include <thread>

namespace tavisor::bench {
namespace {

alignas(64) std::atomic<std::uint64_t> ball{0};

// The threads take turns: each iteration moves the line holding `ball` to
// the thread's core and back out, and the reported time per iteration (the
// two threads' iterations counted together) is one hand-off.
void BM_CrossCoreHandOff(benchmark::State& state) {
  if (state.thread_index() == 0) ball.store(0);
  const std::uint64_t parity = static_cast<std::uint64_t>(state.thread_index());
  std::uint64_t turn = 0;
  for (auto _ : state) {
    const std::uint64_t mine = 2 * turn + parity;  // 0: 0, 2, 4 ...; 1: 1, 3, 5 ...
    // Spin; yield only after a long spin, when the other thread has lost
    // its core, so that a busy machine shows up as a slow figure rather
    // than a stalled run.
    for (int spins = 0; ball.load(std::memory_order_acquire) != mine;) {
      if (++spins == 4096) {
        spins = 0;
        std::this_thread::yield();
      }
    }
    ball.store(mine + 1, std::memory_order_release);
    ++turn;
  }
}
BENCHMARK(BM_CrossCoreHandOff)->Threads(2)->UseRealTime();

}  // namespace
}  // namespace tavisor::bench
