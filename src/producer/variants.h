// The five producer variants: the parts of a cycle in which they differ.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stop_token>
#include <utility>

#include "producer/queue_probe.h"
#include "producer/turns.h"
#include "tavisor/shared_state.h"

namespace tavisor {

using CycleLock = std::unique_lock<std::mutex>;

// How often the final wait of B to E re-tests the queue besides waking on
// notifications: a client notification that falls between the emptiness
// test and the moment the producer blocks is then late by this much at most.
inline constexpr std::chrono::milliseconds kRecheckInterval{100};
// The wait before a second look at a queue found empty without a
// notification: what a client that took the batch at once costs.
inline constexpr std::chrono::milliseconds kSecondLook{10};

// A: the producer holds the client's mxShared from the start of a cycle to
// its end, except while it waits for the queue to empty. mxShared already
// keeps several producers on one structure apart, and A has no last signal.
class VariantA {
 public:
  explicit VariantA(SharedState<'A'>& shared) : shared_(shared) {}
  CycleLock BeginCycle() { return CycleLock(shared_.mxShared); }
  bool TakeTurn(const std::stop_token&) { return true; }
  void PassTurn() {}
  void BeginBatch() {}
  void Append(Item* pit) { shared_.queue.push_back(pit); }
  void Announce() { shared_.cvShared.notify_one(); }
  bool AwaitConsumption(CycleLock& lock, const std::stop_token& stop) {
    // The queue is tested under mxShared, which the client holds while it
    // removes records, so no notification can be missed.
    return shared_.cvShared.wait(lock, stop, [this] { return shared_.queue.empty(); });
  }
  void End(bool /*batch_left_waiting*/) {}

 private:
  SharedState<'A'>& shared_;
};

// B to E: no lock of the client's; the final wait is under a mutex of the
// producer's own. Producers on one structure take turns (producer/turns.h).
// Derived classes supply Announce() and SendLastSignal().
template <class State, class Derived>
class UnlockedVariant {
 public:
  explicit UnlockedVariant(State& shared) : shared_(shared), turns_(Turns::Join(&shared)) {}
  CycleLock BeginCycle() { return CycleLock(); }
  bool TakeTurn(const std::stop_token& stop) { return turns_->Take(stop); }
  void PassTurn() { turns_->Pass(); }
  // The last use of the structure: after the last signal the producer
  // touches nothing of the client's, which may free it at once.
  void End(bool batch_left_waiting) {
    if (turns_->Leave(batch_left_waiting)) static_cast<Derived&>(*this).SendLastSignal();
  }

 protected:
  // True once the client has emptied `queue`; false when a stop ended the
  // wait first.
  bool AwaitEmpty(const ItemQueue& queue, const std::stop_token& stop) {
    // The client's notification is the only moment that orders its removals
    // before this producer's next appends (and before its next read of
    // pLatch or pPromise, and another producer's appends): it takes the
    // condition variable's own lock, which every wait takes too. So the
    // queue counts as emptied when it is found empty right after a
    // notification, or at two looks in a row, the second after a wait that
    // began after the first: a client that notified before this wait began,
    // or between the looks, is ordered before it then. (A client that
    // empties the queue and never notifies is seen too, without that order:
    // the documented misuse.) The stop ends the wait through a stop callback
    // of its own.
    const std::stop_callback wake(stop, [this] { shared_.cvShared.notify_all(); });
    CycleLock lock(mx_);
    bool empty_before = QueueLooksEmpty(queue);
    for (;;) {
      // After a stop, whether the client had emptied the queue: what it did
      // before it requested the stop is seen once the stop is.
      if (stop.stop_requested()) return QueueLooksEmpty(queue);
      const std::cv_status woken =
          shared_.cvShared.wait_for(lock, empty_before ? kSecondLook : kRecheckInterval);
      const bool empty = QueueLooksEmpty(queue);
      if (empty && (woken == std::cv_status::no_timeout || empty_before)) return true;
      empty_before = empty;
    }
  }

  State& shared_;
  const std::shared_ptr<Turns> turns_;

 private:
  std::mutex mx_;
};

// The queue variants B to D append straight to the client's queue.
template <class State, class Derived>
class QueueVariant : public UnlockedVariant<State, Derived> {
 public:
  using UnlockedVariant<State, Derived>::UnlockedVariant;
  void BeginBatch() {}
  void Append(Item* pit) { this->shared_.queue.push_back(pit); }
  bool AwaitConsumption(CycleLock&, const std::stop_token& stop) {
    return this->AwaitEmpty(this->shared_.queue, stop);
  }
};

// B: arrive at the client's barrier and wait for the phase to complete.
class VariantB : public QueueVariant<SharedState<'B'>, VariantB> {
 public:
  using QueueVariant::QueueVariant;
  void Announce() { shared_.barrier.arrive_and_wait(); }
  // The last arrival is not waited for: once the client's arrival completes
  // the phase, the client may destroy the barrier, which a waiting producer
  // would still read. So a stopped producer never blocks here either.
  void SendLastSignal() { (void)shared_.barrier.arrive(); }
};

// C: release the client's binary semaphore.
class VariantC : public QueueVariant<SharedState<'C'>, VariantC> {
 public:
  using QueueVariant::QueueVariant;
  void Announce() { shared_.semaphore.release(); }
  void SendLastSignal() { Announce(); }
};

// D: count down the latch that pLatch points to at that moment.
class VariantD : public QueueVariant<SharedState<'D'>, VariantD> {
 public:
  using QueueVariant::QueueVariant;
  void Announce() { shared_.pLatch->count_down(); }
  void SendLastSignal() { Announce(); }
};

// E: every batch goes into a new buffer of the producer's, delivered through
// the client's promise; the structure's last signal is a null pointer.
class VariantE : public UnlockedVariant<SharedState<'E'>, VariantE> {
 public:
  using UnlockedVariant::UnlockedVariant;
  void BeginBatch() {
    // The buffer delivered last on this structure, by this producer or
    // another: the client has emptied it and no longer uses it.
    delete turns_->ExchangeLatestBuffer(nullptr);
    pBuf = new ItemQueue();
  }
  void Append(Item* pit) { pBuf->push_back(pit); }
  void Announce() {
    turns_->ExchangeLatestBuffer(pBuf);
    shared_.pPromise->set_value(pBuf);
  }
  bool AwaitConsumption(CycleLock&, const std::stop_token& stop) { return AwaitEmpty(*pBuf, stop); }
  // The buffer delivered last on the structure is left to the client, which
  // deletes it once it has the last signal (or the producer has ended).
  void SendLastSignal() { shared_.pPromise->set_value(nullptr); }

 private:
  ItemQueue* pBuf = nullptr;
};

}  // namespace tavisor
