// The cycle that every producer variant runs. A variant supplies only what
// differs: where the batch goes, how it is announced, the lock of a cycle,
// how it waits for the batch to be taken, and its end.
#pragma once

#include <future>
#include <stop_token>
#include <string>
#include <utility>

#include "items/data_item.h"
#include "items/random_engines.h"
#include "producer/environment.h"
#include "producer/stop_notice.h"

namespace tavisor {

inline int DrawBatchSize() {
  return BatchEngine().Draw(
      [](Mt19937& engine, BatchDistributions& d) { return d.batch_size(engine); });
}

// Variant is constructed on the client's SharedState and offers:
//   CycleLock BeginCycle();                 lock held through pause and batch
//   bool TakeTurn(const std::stop_token&);  waits while another producer of
//                                           the structure has a batch out;
//                                           false once a stop is requested
//   void PassTurn();                        the batch has been taken
//   void BeginBatch();                      before the first record of a batch
//   void Append(Item* pit);
//   bool AnnounceAndAwait(CycleLock&, const std::stop_token&);
//                                           announces the batch and waits
//                                           for the client to take it: true
//                                           once taken, false when a stop
//                                           came first
//   void OnStopRequested();                 in OnRequest: judges a batch out
//   void End();                             its last signal, where one is due
//
// `set_up` is fulfilled once the producer has printed its first line and
// registered its stop callback: Start returns then, so a stop requested
// after Start always finds the callback.
template <class Variant, class State>
void RunFrame(State& shared, std::promise<void> set_up, const ProducerEnvironment& env) {
  env.console.WriteLine("Generator in DLL started");
  // The producer tests its own copy of the token, and keeps it to the end:
  // after its last signal it touches nothing of the client's.
  const std::stop_token stop = shared.stoken;
  Variant variant(shared);
  StopNotice notice(env.console);
  // OnRequest: the two lines, then the judgement of a batch out in the
  // final wait (B to E), both inside the request.
  const auto on_stop = [&notice, &variant] {
    notice();
    variant.OnStopRequested();
  };
  const std::stop_callback<decltype(on_stop)> on_request(stop, on_stop);
  set_up.set_value();
  // A stop that finds no batch of this producer waiting to be taken (in a
  // pause, before the first one, or after the client took the last batch)
  // ends it with the last signal (B to E); one that ends the final wait
  // while the batch is still out ends it without (the variant retires the
  // structure then, and keeps the turn).
  while (!stop.stop_requested()) {
    auto cycle_lock = variant.BeginCycle();
    PauseBeforeBatch(stop, *env.pause_unit);
    // A: leaving the cycle lets go of the client's mutex first; a stop
    // callback of the client's may be waiting for it.
    if (stop.stop_requested() || !variant.TakeTurn(stop)) break;
    const int n = DrawBatchSize();
    variant.BeginBatch();
    // A batch once begun is made whole: no stop test in here.
    for (int i = 0; i < n; ++i) {
      DataItem dit;
      variant.Append(MakeItem(std::move(dit)));
    }
    env.console.WriteLine(std::to_string(n), " items generated");
    if (!variant.AnnounceAndAwait(cycle_lock, stop)) break;
    variant.PassTurn();
  }
  // The stop lines come before the last signal.
  notice.EnsurePrinted();
  variant.End();
}

}  // namespace tavisor
