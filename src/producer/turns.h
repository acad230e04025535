// Producers that share one client structure take turns at its hand-over.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <stop_token>

#include "tavisor/internal/thread_annotations.h"
#include "tavisor/shared_state.h"

namespace tavisor {

// The hand-over of one client structure (variants B to E), shared by every
// producer started on it, so that the client sees exactly one producer's
// protocol however many run:
//   * a producer makes, appends and announces a batch only while it holds
//     the structure's turn, and holds it until the client has taken that
//     batch; so no two batches are ever out at once and no append overlaps
//     the client's removals;
//   * after a stop the structure gets one last signal, from the producer
//     that leaves it last, and only if no batch was left waiting to be
//     taken (a batch out and a last signal on top of it would be a second
//     release of C's semaphore, a count-down of D's spent latch or a second
//     value on E's promise).
//
// One object per structure address while any producer runs on it; the
// producers hold it, so nothing of it lives in the client's memory.
//
// Cost for the usual single producer: an atomic exchange to take the turn
// and a store to pass it; locks only when another producer waits.
class Turns {
 public:
  // The turns of the structure at `shared`, shared with every producer
  // that runs on it now; each call counts one producer more.
  static std::shared_ptr<Turns> Join(const void* shared);

  // Waits until no other producer of the structure holds the turn, and
  // takes it. False, without the turn, once a stop is requested on `stop`.
  bool Take(const std::stop_token& stop);

  // Gives the turn back: the client has taken the batch. Happens before
  // the next holder's appends.
  void Pass();

  // A batch of the structure's is left waiting for good (a stop came
  // first): the structure gets no last signal, and leaves the registry now,
  // before the client can learn of the stop's outcome and free it; a new
  // structure at the same address then starts with turns of its own.
  void Retire();

  // Counts this producer out. True for the producer that is to send the
  // structure's last signal: the last one out, unless the structure was
  // retired. After it, the producer no longer touches the structure: this
  // object is the library's own.
  bool Leave();

  // E: the buffer delivered last on the structure, which the client has
  // taken by the time the next holder asks for it; the holder exchanges it
  // for the one it is about to deliver. Only the turn's holder calls this.
  ItemQueue* ExchangeLatestBuffer(ItemQueue* newest) {
    ItemQueue* const previous = latest_buffer_;
    latest_buffer_ = newest;
    return previous;
  }

 private:
  // The structures that producers run on now (turns.cpp).
  struct Registry;
  // The registry's lock, under which producers join and leave.
  static internal::Mutex& RegistryMutex();

  explicit Turns(const void* shared) : shared_(shared) {}

  const void* const shared_;
  std::atomic<bool> held_{false};
  std::atomic<int> waiting_{0};  // producers blocked in Take
  // For the waits of Take; it guards no member (the turn is held_), it only
  // keeps a Pass from falling between a waiter's look and its block.
  internal::Mutex mutex_;
  std::condition_variable_any passed_;
  int producers_ TAVISOR_GUARDED_BY(RegistryMutex()) = 0;
  bool retired_ TAVISOR_GUARDED_BY(RegistryMutex()) = false;
  // Only the holder of the turn:
  ItemQueue* latest_buffer_ = nullptr;
};

}  // namespace tavisor
