// The client's side of each producer variant's hand-over, one class per
// letter: tavisor::internal::HandOver<'A'> to
// tavisor::internal::HandOver<'E'>.
//
// A HandOver owns the variant's SharedState (tavisor/shared_state.h) and
// everything its pointer members name: D's latches, E's promises and the
// last buffer E's producer leaves behind. It knows the variant's protocol:
// how to wait for an announcement, in what order to take a batch, renew
// the latch or promise and hand the queue back, what the producer's last
// signal looks like, and what is still to come after a stop (outlook()). It
// neither starts nor stops a producer: most clients want tavisor::Producer
// (tavisor/producer.h), which adds that and the lifetime rules. Tests of
// the library drive a HandOver directly.
//
//   tavisor::internal::HandOver<'C'> side(source.get_token());
//   library.Start('C', side.Shared());
//   if (side.AwaitAnnouncement(tavisor::HandOverClock::now() + 12s)) {
//     tavisor::Delivery d = side.Take();   // d.batch owns the records
//   }
//
// Calls:
//   AwaitAnnouncement(deadline)  waits until the producer has announced a
//                                batch or sent its last signal (no deadline:
//                                without a time limit); true if one is
//                                pending. Returns at once while one is.
//   Take()                       takes what is pending (see Delivery) and,
//                                until a stop is requested, hands the queue
//                                back: empties it and notifies cvShared.
//   FenceStop()                  before a stop requested from another thread
//                                than the consuming one (see Take).
//   outlook()                    what the producer will still send.
//   TakeLeftovers()              once the producer has ended: the records
//                                nobody took; E's last buffer is deleted.
//   ReleaseLeftovers()           the same, deleting the records.
//   AnnouncedAt()                when the last pending announcement was seen.
//
// After a stop, Take still gives the records of a batch but leaves the
// queue as it is: the producer looks at the queue once more after the stop
// to see whether its batch was taken, and sends its last signal only when
// it was. A stop requested from another thread than the consuming one goes
// through FenceStop() first, so that it never crosses a hand-back. So this
// side always knows whether a last signal will come.
//
// Threads: one thread at a time may call AwaitAnnouncement and Take (the
// consuming thread); the destructor and the leftovers calls only once the
// producer has ended and nobody waits. A Take happens after the producer's
// appends of that batch (each primitive orders its signal after them), and
// the hand-back of a batch happens before the producer's next appends
// (through cvShared's own lock).
//
// Per variant:
//   A  waits for mxShared and on cvShared for a non-empty queue; with a
//      time limit it tries the mutex and looks at the queue repeatedly
//      instead, since the producer holds the mutex through its whole pause
//      and a wait on cvShared could not return without it. A has no last
//      signal: once a stop has been requested, holding mxShared with the
//      queue empty means that the producer will append nothing more, and
//      Take reports that as kEnded.
//   B  a helper thread is this side's participant at the barrier (a
//      barrier has no timed wait): it arrives when a wait for a batch
//      begins, or a stop is requested, and the batch before has been
//      taken; it stays there when the wait's time limit passes, and ends
//      once the last signal has come or can no longer come.
//   C  acquires the semaphore.
//   D  waits on the latch (with a time limit: tests try_wait() repeatedly);
//      a fresh latch goes in before the queue is emptied, and the one just
//      passed lives one batch longer (its count_down may not have returned
//      yet).
//   E  waits on the future; a fresh promise goes in before the buffer is
//      emptied; the previous promise lives one batch longer.
#pragma once

#include "tavisor/build_requirements.h"

#include <barrier>
#include <chrono>
#include <condition_variable>
#include <future>
#include <latch>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <utility>

#include "tavisor/internal/hand_over_base.h"
#include "tavisor/internal/retry_until.h"
#include "tavisor/internal/thread_annotations.h"
#include "tavisor/shared_state.h"

namespace tavisor::internal {

template <>
class HandOver<'A'> : public HandOverBase<'A'> {
 public:
  explicit HandOver(std::stop_token token) : HandOverBase(std::move(token)) {}
  ~HandOver() { ReleaseLeftovers(); }

  Batch TakeLeftovers() {
    std::lock_guard lock(state_.mxShared);
    return queue_view_.Leftovers(state_.queue);
  }
  // Holding mxShared: the producer is not inside a cycle.
  bool ProducerLetGo(bool wait) override {
    std::unique_lock lock(state_.mxShared, std::defer_lock);
    if (wait) {
      lock.lock();
      return true;
    }
    return lock.try_lock();
  }

 private:
  friend HandOverBase<'A'>;
  // Holding mxShared after a stop means the producer is not inside a cycle:
  // what it will ever append is in the queue now.
  Seen AwaitSignal(const Deadline& deadline) {
    const auto ready = [this] { return !state_.queue.empty() || state_.stoken.stop_requested(); };
    if (!deadline) {
      std::unique_lock lock(state_.mxShared);
      state_.cvShared.wait(lock, state_.stoken, [this] { return !state_.queue.empty(); });
      return SeenNow();
    }
    // No wait on cvShared here: leaving it means taking mxShared again, which
    // the producer may have taken meanwhile for a whole pause.
    const auto look = [&] {
      const std::unique_lock lock(state_.mxShared, std::try_to_lock);
      return lock.owns_lock() && ready();
    };
    if (!RetryUntil(look, *deadline)) return {};
    return SeenNow();
  }
  // A has no last signal to keep apart from a batch: the queue is always
  // handed back, under mxShared.
  Delivery TakeSignal(bool notify, bool hand_back) {
    std::lock_guard lock(state_.mxShared);
    return TakeQueue(state_.queue, notify, hand_back);
  }
};

template <>
class HandOver<'B'> : public HandOverBase<'B'> {
 public:
  // The barrier's participants: the producer and this side's helper.
  explicit HandOver(std::stop_token token) : HandOverBase(std::move(token), 2) {
    helper_ = std::thread([this] { Arrive(); });
    on_stop_.emplace(state_.stoken, WantArrival{this});
  }
  // Once the producer has ended: a helper still at the barrier (only when a
  // last signal that might have come did not) is let out by an arrival in
  // the producer's place.
  ~HandOver() {
    (void)AwaitProducerDone(std::nullopt);
    on_stop_.reset();
    {
      const MutexLock lock(mutex_);
      closing_ = true;
      if (at_barrier_) (void)state_.barrier.arrive();
    }
    changed_.notify_all();
    helper_.join();
    ReleaseLeftovers();
  }

 private:
  friend HandOverBase<'B'>;
  Seen AwaitSignal(const Deadline& deadline) {
    UniqueLock lock(mutex_);
    if (!wanted_) {
      wanted_ = true;
      changed_.notify_all();
    }
    const auto announced = [this]() TAVISOR_REQUIRES(mutex_) { return announced_; };
    if (!deadline) {
      changed_.wait(lock.native(), announced);
    } else if (!changed_.wait_until(lock.native(), *deadline, announced)) {
      return {};
    }
    return seen_at_;
  }
  Delivery TakeSignal(bool notify, bool hand_back) {
    Delivery d = TakeQueue(state_.queue, notify, hand_back);
    {
      const MutexLock lock(mutex_);
      announced_ = false;
      // After a stop the helper arrives at once for the last signal, unless
      // that has come or can no longer come (a batch after the stop).
      wanted_ = state_.stoken.stop_requested();
      finished_ = d.what == Arrival::kEnded || !hand_back;
    }
    changed_.notify_all();
    return d;
  }

  struct WantArrival {
    HandOver* self;
    void operator()() const {
      {
        const MutexLock lock(self->mutex_);
        self->wanted_ = true;
      }
      self->changed_.notify_all();
    }
  };

  // The helper: arrives once a wait for a batch has begun (or a stop has
  // been requested) and the batch before has been taken, as a client
  // thread of its own would; ends when nothing more can come.
  void Arrive() {
    UniqueLock lock(mutex_);
    const auto due = [this]() TAVISOR_REQUIRES(mutex_) {
      return (wanted_ && !announced_) || closing_ || finished_;
    };
    for (;;) {
      changed_.wait(lock.native(), due);
      if (closing_ || finished_) break;
      // Arrives under the lock, so that at_barrier_ always means that this
      // side's arrival is in the phase: the destructor's stand-in arrival
      // then completes that phase, never begins the next one.
      std::barrier<>::arrival_token token = state_.barrier.arrive();
      at_barrier_ = true;
      lock.unlock();
      state_.barrier.wait(std::move(token));
      const auto seen = HandOverClock::now();
      lock.lock();
      at_barrier_ = false;
      if (closing_) break;
      announced_ = true;
      seen_at_ = seen;
      changed_.notify_all();
    }
  }

  // Between the helper and the consumer.
  Mutex mutex_;
  std::condition_variable changed_;
  // A wait for the next batch has begun.
  bool wanted_ TAVISOR_GUARDED_BY(mutex_) = false;
  // The helper has left a completed phase.
  bool announced_ TAVISOR_GUARDED_BY(mutex_) = false;
  // The helper's arrival is in the current phase.
  bool at_barrier_ TAVISOR_GUARDED_BY(mutex_) = false;
  // Nothing more will come.
  bool finished_ TAVISOR_GUARDED_BY(mutex_) = false;
  bool closing_ TAVISOR_GUARDED_BY(mutex_) = false;
  HandOverClock::time_point seen_at_ TAVISOR_GUARDED_BY(mutex_){};
  // The consumer's alone (constructor and destructor).
  std::thread helper_;
  std::optional<std::stop_callback<WantArrival>> on_stop_;
};

template <>
class HandOver<'C'> : public HandOverBase<'C'> {
 public:
  explicit HandOver(std::stop_token token) : HandOverBase(std::move(token), 0) {}
  ~HandOver() { ReleaseLeftovers(); }

 private:
  friend HandOverBase<'C'>;
  Seen AwaitSignal(const Deadline& deadline) {
    if (!deadline) {
      state_.semaphore.acquire();
    } else if (!state_.semaphore.try_acquire_until(*deadline)) {
      return {};
    }
    return SeenNow();
  }
  Delivery TakeSignal(bool notify, bool hand_back) {
    return TakeQueue(state_.queue, notify, hand_back);
  }
};

template <>
class HandOver<'D'> : public HandOverBase<'D'> {
 public:
  explicit HandOver(std::stop_token token)
      : HandOverBase(std::move(token), nullptr), current_(std::make_unique<std::latch>(1)) {
    state_.pLatch = current_.get();
  }
  ~HandOver() { ReleaseLeftovers(); }

 private:
  friend HandOverBase<'D'>;
  Seen AwaitSignal(const Deadline& deadline) {
    if (!deadline) {
      current_->wait();
    } else if (!RetryUntil([this] { return current_->try_wait(); }, *deadline)) {
      return {};
    }
    return SeenNow();
  }
  Delivery TakeSignal(bool notify, bool hand_back) {
    if (hand_back) {
      // The next latch is in place before the queue looks empty: the
      // producer counts down again as soon as it finds it empty. The latch
      // just passed lives one batch longer: its count_down may not have
      // returned yet.
      previous_ = std::exchange(current_, std::make_unique<std::latch>(1));
      state_.pLatch = current_.get();
    }
    return TakeQueue(state_.queue, notify, hand_back);
  }

  std::unique_ptr<std::latch> previous_;
  std::unique_ptr<std::latch> current_;
};

template <>
class HandOver<'E'> : public HandOverBase<'E'> {
 public:
  explicit HandOver(std::stop_token token)
      : HandOverBase(std::move(token), nullptr), current_(std::make_unique<Promise>()) {
    future_ = current_->get_future();
    state_.pPromise = current_.get();
  }
  ~HandOver() { ReleaseLeftovers(); }

  // The buffer delivered last is the client's once the producer has ended;
  // a batch delivered but never taken came in a newer one (the producer
  // deleted the older one when it made it).
  Batch TakeLeftovers() {
    if (future_.valid() && future_.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
      if (ItemQueue* const pBuf = future_.get()) Receive(pBuf);
    }
    if (last_buffer_ == nullptr) return {};
    Batch left = queue_view_.Leftovers(*last_buffer_);
    delete std::exchange(last_buffer_, nullptr);
    return left;
  }

 private:
  friend HandOverBase<'E'>;
  using Promise = std::promise<ItemQueue*>;

  Seen AwaitSignal(const Deadline& deadline) {
    if (!deadline) {
      future_.wait();
    } else if (future_.wait_until(*deadline) != std::future_status::ready) {
      return {};
    }
    return SeenNow();
  }
  Delivery TakeSignal(bool notify, bool hand_back) {
    ItemQueue* const pBuf = future_.get();
    if (pBuf == nullptr) return Delivery{Arrival::kEnded, {}};
    Receive(pBuf);
    if (hand_back) {
      // As with D's latches: the next promise is in place before the buffer
      // looks empty, and the one just used lives one batch longer.
      previous_ = std::exchange(current_, std::make_unique<Promise>());
      future_ = current_->get_future();
      state_.pPromise = current_.get();
    }
    Delivery d = TakeQueue(*pBuf, notify, hand_back);
    // Only a null buffer ends E: a buffer, even an empty one, is a batch.
    d.what = Arrival::kBatch;
    return d;
  }
  // A new buffer: its records are all new to this side.
  void Receive(ItemQueue* pBuf) {
    last_buffer_ = pBuf;
    queue_view_ = {};
  }

  std::unique_ptr<Promise> previous_;
  std::unique_ptr<Promise> current_;
  std::future<ItemQueue*> future_;
  ItemQueue* last_buffer_ = nullptr;
};

}  // namespace tavisor::internal
