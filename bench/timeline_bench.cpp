// The client's side of a hand-over with its timeline off and on: one batch
// of one record announced (variant C: the semaphore), awaited and taken,
// the queue handed back. The benchmark's thread plays the producer, so
// that no pause and no second thread blur the difference. Next to the time:
// the allocations of the client's side per batch, which recording must not
// raise.
#include <benchmark/benchmark.h>

#include <memory>
#include <stop_token>

#include "allocation_counter.h"
#include "hand_over_peer.h"
#include "tavisor/internal/hand_over.h"
#include "tavisor/timeline.h"

namespace tavisor::bench {
namespace {

void BM_ClientHandOver(benchmark::State& state) {
  const bool recording = state.range(0) != 0;
  std::stop_source source;
  internal::HandOver<'C'> side(source.get_token());
  const auto timeline = std::make_shared<Timeline>();
  if (recording) side.timeline.Attach(timeline, timeline->AddLane("producer C"));
  std::uint64_t client_allocations = 0;
  for (auto _ : state) {
    SharedState<'C'>& shared = internal::HandOverPeer::State(side);
    shared.queue.push_back(new Item{});
    shared.semaphore.release();
    const AllocationCount before = ThreadAllocations();
    if (!side.AwaitAnnouncement(std::nullopt)) state.SkipWithError("no announcement");
    const Delivery d = side.Take();
    client_allocations += (ThreadAllocations() - before).allocations;
    benchmark::DoNotOptimize(d.batch.data());
  }
  state.counters["client_allocs_per_batch"] =
      static_cast<double>(client_allocations) / static_cast<double>(state.iterations());
  state.counters["events"] = static_cast<double>(timeline->Take().entries.size());
}
BENCHMARK(BM_ClientHandOver)->ArgName("recording")->Arg(0)->Arg(1);

}  // namespace
}  // namespace tavisor::bench
