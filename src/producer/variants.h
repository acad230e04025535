// The five producer variants: the parts of a cycle in which they differ.
#pragma once

#include <chrono>
#include <mutex>
#include <stop_token>
#include <utility>

#include "producer/queue_probe.h"
#include "tavisor/shared_state.h"

namespace tavisor {

using CycleLock = std::unique_lock<std::mutex>;

// How often the final wait of B to E re-tests the queue besides waking on
// notifications: a client notification that falls between the emptiness
// test and the moment the producer blocks is then late by this much at most.
inline constexpr std::chrono::milliseconds kRecheckInterval{100};

// A: the producer holds the client's mxShared from the start of a cycle to
// its end, except while it waits for the queue to empty.
class VariantA {
 public:
  explicit VariantA(SharedState<'A'>& shared) : shared_(shared) {}
  CycleLock BeginCycle() { return CycleLock(shared_.mxShared); }
  void BeginBatch() {}
  void Append(Item* pit) { shared_.queue.push_back(pit); }
  void Announce() { shared_.cvShared.notify_one(); }
  void AwaitConsumption(CycleLock& lock, const std::stop_token& stop) {
    // The queue is tested under mxShared, which the client holds while it
    // removes records, so no notification can be missed.
    shared_.cvShared.wait(lock, stop, [this] { return shared_.queue.empty(); });
  }
  void SignalStopAfterPause() {}

 private:
  SharedState<'A'>& shared_;
};

// B to E: no lock of the client's; the final wait is under a mutex of the
// producer's own.
template <class State>
class UnlockedVariant {
 public:
  explicit UnlockedVariant(State& shared) : shared_(shared) {}
  CycleLock BeginCycle() { return CycleLock(); }

 protected:
  void AwaitEmpty(const ItemQueue& queue, const std::stop_token& stop) {
    CycleLock lock(mx_);
    // The queue counts as emptied only when it is found empty right after a
    // wake-up of cvShared: the client's notification, the stop, or the end
    // of a re-test interval. Every wake-up goes through the condition
    // variable's own lock, which the client's notification takes too, so a
    // client that empties the queue and then notifies is ordered before this
    // producer's next appends (and its next read of pLatch or pPromise), even
    // when it was done before the producer got here; the producer then
    // waits one re-test interval at most. A client that forgets to notify is
    // seen at the next re-test.
    for (;;) {
      bool woken = false;
      const auto emptied = [&] { return std::exchange(woken, true) && QueueLooksEmpty(queue); };
      if (shared_.cvShared.wait_for(lock, stop, kRecheckInterval, emptied)) return;
      if (stop.stop_requested()) return;
    }
  }

  State& shared_;

 private:
  std::mutex mx_;
};

// The queue variants B to D append straight to the client's queue.
template <class State>
class QueueVariant : public UnlockedVariant<State> {
 public:
  using UnlockedVariant<State>::UnlockedVariant;
  void BeginBatch() {}
  void Append(Item* pit) { this->shared_.queue.push_back(pit); }
  void AwaitConsumption(CycleLock&, const std::stop_token& stop) {
    this->AwaitEmpty(this->shared_.queue, stop);
  }
};

// B: arrive at the client's barrier and wait for the phase to complete.
class VariantB : public QueueVariant<SharedState<'B'>> {
 public:
  using QueueVariant::QueueVariant;
  void Announce() { shared_.barrier.arrive_and_wait(); }
  void SignalStopAfterPause() { Announce(); }
};

// C: release the client's binary semaphore.
class VariantC : public QueueVariant<SharedState<'C'>> {
 public:
  using QueueVariant::QueueVariant;
  void Announce() { shared_.semaphore.release(); }
  void SignalStopAfterPause() { Announce(); }
};

// D: count down the latch that pLatch points to at that moment.
class VariantD : public QueueVariant<SharedState<'D'>> {
 public:
  using QueueVariant::QueueVariant;
  void Announce() { shared_.pLatch->count_down(); }
  void SignalStopAfterPause() { Announce(); }
};

// E: every batch goes into a new buffer of the producer's, delivered through
// the client's promise; a stop after a pause delivers a null pointer.
class VariantE : public UnlockedVariant<SharedState<'E'>> {
 public:
  using UnlockedVariant::UnlockedVariant;
  void BeginBatch() {
    // The client has emptied the previous buffer and no longer uses it.
    delete pBuf;
    pBuf = new ItemQueue();
  }
  void Append(Item* pit) { pBuf->push_back(pit); }
  void Announce() { shared_.pPromise->set_value(pBuf); }
  void AwaitConsumption(CycleLock&, const std::stop_token& stop) { AwaitEmpty(*pBuf, stop); }
  void SignalStopAfterPause() { shared_.pPromise->set_value(nullptr); }
  // The buffer delivered last is left to the client, which deletes it once
  // the producer has ended.

 private:
  ItemQueue* pBuf = nullptr;
};

}  // namespace tavisor
