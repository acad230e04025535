// The five producer variants: the parts of a cycle in which they differ.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <stop_token>
#include <utility>

#include "producer/turns.h"
#include "tavisor/internal/thread_annotations.h"
#include "tavisor/shared_state.h"

namespace tavisor {

using CycleLock = std::unique_lock<std::mutex>;

// The lock of B to E's final wait: the producer's own mutex, whose first
// release inside cvShared's wait announces the batch. A condition variable
// releases the lock and blocks as one step (std::condition_variable_any
// does both under its internal mutex, which notify_all takes too), so a
// notification that the client sends once it has seen the announcement
// cannot fall before the producer blocks: no re-test, no time-out.
template <class Announce>
class TAVISOR_SCOPED_CAPABILITY AnnouncingLock {
 public:
  AnnouncingLock(internal::Mutex& mx, Announce announce) TAVISOR_ACQUIRE(mx)
      : lock_(mx), announce_(std::move(announce)) {}
  ~AnnouncingLock() TAVISOR_RELEASE() = default;
  void lock() TAVISOR_ACQUIRE() { lock_.lock(); }
  // Announces before it lets go of the mutex: whoever takes the mutex next
  // finds the announcement made whole.
  void unlock() TAVISOR_RELEASE() {
    EnsureAnnounced();
    lock_.unlock();
  }
  // Whether the batch went out while the producer waited, that is before
  // its wait found the stop.
  bool announced() const { return announced_; }
  void EnsureAnnounced() {
    if (announced_) return;
    announced_ = true;
    announce_();
  }

 private:
  internal::UniqueLock lock_;
  Announce announce_;
  bool announced_ = false;
};

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
  void OnStopRequested() {}  // A sends nothing after a stop: nothing to judge
  bool AnnounceAndAwait(CycleLock& lock, const std::stop_token& stop) {
    shared_.cvShared.notify_one();
    // The queue is tested under mxShared, which the client holds while it
    // removes records, so no notification can be missed.
    return shared_.cvShared.wait(lock, stop, [this] { return shared_.queue.empty(); });
  }
  void End() {}

 private:
  SharedState<'A'>& shared_;
};

// B to E: no lock of the client's; the final wait is under a mutex of the
// producer's own. Producers on one structure take turns (producer/turns.h).
// Derived classes supply Announce() and SendLastSignal(), each a single
// step that never blocks (Announce runs inside cvShared's wait).
template <class State, class Derived>
class UnlockedVariant {
 public:
  explicit UnlockedVariant(State& shared) : shared_(shared), turns_(Turns::Join(&shared)) {}
  CycleLock BeginCycle() { return CycleLock(); }
  bool TakeTurn(const std::stop_token& stop) { return turns_->Take(stop); }
  void PassTurn() { turns_->Pass(); }
  // The last use of the structure: after the last signal the producer
  // touches nothing of the client's, which may free it at once.
  void End() {
    if (turns_->Leave()) static_cast<Derived&>(*this).SendLastSignal();
  }
  // OnRequest, on the thread that requests the stop and inside the request:
  // a batch out in the final wait is judged here, taken or not, unless the
  // producer has judged it already. So the producer's last look at the
  // queue is over before request_stop() returns, and a client that then
  // finds no last signal due may free the structure.
  void OnStopRequested() {
    const internal::MutexLock lock(mx_);
    Judge();
  }

 protected:
  // Announces the batch and waits until the client has taken it: true
  // once the client has emptied `queue`, false when a stop came first.
  //
  // The queue is read in two places only, each ordered after the client's
  // removals: after a wake-up with no stop requested, which is the client's
  // notification (sent once it has emptied the queue; the wait's own lock
  // orders it); and once after a stop that ended the wait, which the stop
  // itself orders after whatever the client did before requesting it (the
  // client leaves the queue alone from its stop request on). That one read
  // is made under mx_ by whichever comes first, OnRequest or this thread:
  // either way before request_stop() returns (OnRequest runs inside it, or
  // was deregistered, under the stop state's lock, before it got there). A
  // batch that goes out only after the stop is left waiting, unread.
  bool AwaitEmpty(const ItemQueue& queue, const std::stop_token& stop) {
    Derived& self = static_cast<Derived&>(*this);
    // Runs inside the lock's unlock(), with mx_ held: the analysis does not
    // follow the call there.
    AnnouncingLock lock(mx_, [&]() TAVISOR_NO_THREAD_SAFETY_ANALYSIS {
      self.Announce();
      out_ = &queue;
    });
    const bool taken =
        shared_.cvShared.wait(lock, stop, [&] { return !stop.stop_requested() && queue.empty(); });
    if (taken) {
      out_ = nullptr;
      return true;
    }
    if (!lock.announced()) {
      // Out after the stop, unread: retired before the client can have it.
      out_ = nullptr;
      turns_->Retire();
      lock.EnsureAnnounced();
      return false;
    }
    Judge();
    return std::exchange(taken_, false);
  }

  State& shared_;
  const std::shared_ptr<Turns> turns_;

 private:
  // The one look at the queue after a stop.
  void Judge() TAVISOR_REQUIRES(mx_) {
    if (out_ == nullptr) return;
    taken_ = out_->empty();
    out_ = nullptr;
    if (!taken_) turns_->Retire();
  }

  internal::Mutex mx_;
  // Announced, not judged.
  const ItemQueue* out_ TAVISOR_GUARDED_BY(mx_) = nullptr;
  // The judgement.
  bool taken_ TAVISOR_GUARDED_BY(mx_) = false;
};

// The queue variants B to D append straight to the client's queue.
template <class State, class Derived>
class QueueVariant : public UnlockedVariant<State, Derived> {
 public:
  using UnlockedVariant<State, Derived>::UnlockedVariant;
  void BeginBatch() {}
  void Append(Item* pit) { this->shared_.queue.push_back(pit); }
  bool AnnounceAndAwait(CycleLock&, const std::stop_token& stop) {
    return this->AwaitEmpty(this->shared_.queue, stop);
  }
};

// B: arrive at the client's barrier and wait for the phase to complete.
class VariantB : public QueueVariant<SharedState<'B'>, VariantB> {
 public:
  using QueueVariant::QueueVariant;
  // The producer arrives and does not wait for the phase to complete: it
  // announces inside its final wait, and the client's emptying of the queue,
  // which ends that wait, comes after the phase anyway. The last arrival is
  // not waited for either: once the client's arrival completes the phase,
  // the client may destroy the barrier, which a waiting producer would still
  // read.
  void Announce() { (void)shared_.barrier.arrive(); }
  void SendLastSignal() { Announce(); }
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
  bool AnnounceAndAwait(CycleLock&, const std::stop_token& stop) { return AwaitEmpty(*pBuf, stop); }
  // The buffer delivered last on the structure is left to the client, which
  // deletes it once it has the last signal (or the producer has ended).
  void SendLastSignal() { shared_.pPromise->set_value(nullptr); }

 private:
  ItemQueue* pBuf = nullptr;
};

}  // namespace tavisor
