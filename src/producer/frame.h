// The cycle that every producer variant runs. A variant supplies only what
// differs: where the batch goes, how it is announced, the lock of a cycle,
// how it waits for the batch to be taken, and its last signal after a stop.
#pragma once

#include <functional>
#include <stop_token>
#include <string>
#include <utility>

#include "items/data_item.h"
#include "items/random_engines.h"
#include "platform/console.h"
#include "producer/pause.h"
#include "producer/stop_notice.h"

namespace tavisor {

inline int DrawBatchSize() {
  return BatchEngine().Draw(
      [](Mt19937& engine, BatchDistributions& d) { return d.batch_size(engine); });
}

// Variant is constructed on the client's SharedState and offers:
//   CycleLock BeginCycle();                 lock held through pause and batch
//   void BeginBatch();                      before the first record of a batch
//   void Append(Item* pit);
//   void Announce();
//   void AwaitConsumption(CycleLock&, const std::stop_token&);
//   void SignalStopAfterPause();
template <class Variant, class State>
void RunFrame(State& shared) {
  platform::WriteConsoleLine("Generator in DLL started");
  // The producer tests its own copy of the token: once it has seen the stop
  // it touches the client's structure only for its last signal.
  const std::stop_token stop = shared.stoken;
  StopNotice notice;
  const std::stop_callback on_request(stop, std::ref(notice));
  Variant variant(shared);
  while (!stop.stop_requested()) {
    auto cycle_lock = variant.BeginCycle();
    PauseBeforeBatch(stop);
    if (stop.stop_requested()) {
      // A: the client's mutex goes first; a stop callback of the client's
      // may be waiting for it. Then the stop lines, then the last signal.
      if (cycle_lock) cycle_lock.unlock();
      notice.EnsurePrinted();
      variant.SignalStopAfterPause();
      return;
    }
    const int n = DrawBatchSize();
    variant.BeginBatch();
    // A batch once begun is made whole: no stop test in here.
    for (int i = 0; i < n; ++i) {
      DataItem dit;
      variant.Append(MakeItem(std::move(dit)));
    }
    platform::WriteConsoleLine(std::to_string(n), " items generated");
    variant.Announce();
    variant.AwaitConsumption(cycle_lock, stop);
  }
  notice.EnsurePrinted();
}

}  // namespace tavisor
