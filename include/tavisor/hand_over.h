// The client's side of each producer variant's hand-over, one class per
// letter: tavisor::HandOver<'A'> to tavisor::HandOver<'E'>.
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
//   tavisor::HandOver<'C'> side(source.get_token());
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
//   Take(notify)                 takes what is pending (see Delivery) and,
//                                until a stop is requested, hands the queue
//                                back: empties it and notifies cvShared
//                                (unless `notify` is false: a seam for tests
//                                of a client that forgets to).
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

#include <algorithm>
#include <atomic>
#include <barrier>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <future>
#include <latch>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tavisor/clock.h"
#include "tavisor/shared_state.h"
#include "tavisor/wait_table.h"

namespace tavisor {

// The former name of tavisor::Clock (tavisor/clock.h).
using HandOverClock = Clock;
// No value: no time limit.
using Deadline = std::optional<HandOverClock::time_point>;

// The records of one batch, owned by the client.
using Batch = std::vector<std::unique_ptr<Item>>;

enum class Arrival {
  kNothing,  // nothing came within the time limit
  kBatch,    // a batch of 1 to 4 records
  kEnded,    // the producer's last signal (A: its stop): nothing more comes
};

struct Delivery {
  Arrival what = Arrival::kNothing;
  Batch batch;  // the records, for kBatch
};

// What a producer will still send, as far as the client's side knows.
enum class Outlook {
  kRunning,        // no stop has been requested
  kLastSignalDue,  // stopped: one more batch or the last signal will come
  kEnded,          // the last signal has come: the producer no longer
                   // touches the structure
  kNoLastSignal,   // stopped with a batch out, or variant A: nothing more
                   // comes, and nothing tells when the producer is done
  kUnsure [[deprecated("never reported: a hand-back no longer crosses a stop")]],
};

// Why variant `letter` cannot be used with this build, or an empty text.
//
// std::barrier and std::latch of GCC's libstdc++ wake their waiters through
// a table in inline header code, one copy per module (tavisor/wait_table.h).
// On Linux the program exports its copy (link with -rdynamic) and the
// library uses it; a program that does not, and a MinGW-built DLL, which
// always keeps a copy of its own, would never be woken by B and D
// producers: they are refused rather than left to hang. (Within one
// module, as in the library's own tests, they work.)
inline std::string VariantUnavailableReason(char letter) {
  if (letter != 'B' && letter != 'D') return {};
#if defined(__MINGW32__)
  return std::string("Variant ") + letter +
         " does not work with a MinGW build: its wake-ups cannot cross the DLL boundary "
         "(use A, C or E)";
#else
  if (!ProgramSharesWaitTable()) {
    return std::string("Variant ") + letter +
           " cannot wake this program: link it with -rdynamic (CMake: ENABLE_EXPORTS, which "
           "Tavisor::Tavisor sets) so that the library shares its std::barrier/std::latch "
           "wait table (use A, C or E otherwise)";
  }
  return {};
#endif
}

template <char Variant>
class HandOver;

namespace hand_over_detail {

// Tries `ready` until it holds or `deadline` passes, napping 50 us at first
// and up to 4 ms later (a few hundred wake-ups a second at most). For waits
// that have no timed form.
template <class Ready>
bool RetryUntil(Ready ready, HandOverClock::time_point deadline) {
  std::chrono::microseconds nap(50);
  while (!ready()) {
    const auto now = HandOverClock::now();
    if (now >= deadline) return false;
    std::this_thread::sleep_for(std::min<HandOverClock::duration>(nap, deadline - now));
    nap = std::min(nap * 2, std::chrono::microseconds(4000));
  }
  return true;
}

// A queue as this side sees it: the records from `given` on are new; the
// ones before were given out after a stop and left in place.
class QueueView {
 public:
  // Moves the new records into a Delivery: a batch or, when there are none,
  // the producer's last signal. `hand_back`: empties the queue, which tells
  // the producer the batch has been taken; otherwise leaves it as it is.
  Delivery Take(ItemQueue& queue, bool hand_back) {
    Delivery d;
    given_ = std::min(given_, queue.size());
    d.what = queue.size() == given_ ? Arrival::kEnded : Arrival::kBatch;
    for (auto it = queue.begin() + static_cast<std::ptrdiff_t>(given_); it != queue.end(); ++it) {
      d.batch.emplace_back(*it);
    }
    if (hand_back) {
      queue.clear();
      given_ = 0;
    } else {
      given_ = queue.size();
    }
    return d;
  }
  // The records nobody took; empties the queue.
  Batch Leftovers(ItemQueue& queue) { return Take(queue, true).batch; }

 private:
  std::size_t given_ = 0;
};

using Seen = std::optional<HandOverClock::time_point>;
inline Seen SeenNow() { return HandOverClock::now(); }

// What every variant shares: the structure, the pending and ended states,
// the outlook, the time stamp. A variant supplies
//   Seen AwaitSignal(const Deadline&);   waits for its primitive; when the
//                                        signal was seen, if it came
//   Delivery TakeSignal(bool notify, bool hand_back);
//                                        takes the batch; hands back if asked
//   Batch TakeLeftovers();               where its leftovers are not just
//                                        the queue's records (A, E)
template <char Variant>
class Base {
 public:
  Base(const Base&) = delete;
  Base& operator=(const Base&) = delete;

  bool AwaitAnnouncement(const Deadline& deadline) {
    if (pending_ || ended_) return true;
    if (batch_after_stop_) return false;  // nothing more comes
    const Seen seen = Self().AwaitSignal(deadline);
    if (!seen) return false;
    pending_ = true;
    announced_at_ = *seen;
    return true;
  }
  // Only after AwaitAnnouncement has returned true.
  Delivery Take(bool notify = true) {
    if (ended_) return Delivery{Arrival::kEnded, {}};
    // A always hands back, under mxShared, which its producer may hold for a
    // whole pause: a fenced stop must not wait for that.
    std::unique_lock lock(hand_back_mutex_, std::defer_lock);
    if constexpr (kHasLastSignal) lock.lock();
    const bool hand_back = !kHasLastSignal || (!stopping_ && !state_.stoken.stop_requested());
    Delivery d = Self().TakeSignal(notify, hand_back);
    if (lock.owns_lock()) lock.unlock();
    pending_ = false;
    if (d.what == Arrival::kEnded) {
      ended_ = true;
    } else if (!hand_back) {
      batch_after_stop_ = true;
    }
    return d;
  }
  // For a stop requested from any thread but the consuming one: call it
  // first. It waits for a hand-back in progress, and every later Take
  // leaves the queue as it is. So no hand-back crosses the stop: the
  // producer, which looks at the queue once more after the stop, sees it
  // either emptied before the stop or untouched.
  void FenceStop() {
    const std::lock_guard lock(hand_back_mutex_);
    stopping_ = true;
  }
  bool Ended() const { return ended_; }

  Outlook outlook() const {
    if (!state_.stoken.stop_requested()) return Outlook::kRunning;
    // A sends no last signal: after a stop nothing tells when the producer
    // has let go of the structure for good.
    if (!kHasLastSignal) return Outlook::kNoLastSignal;
    if (ended_) return Outlook::kEnded;
    if (batch_after_stop_) return Outlook::kNoLastSignal;
    return Outlook::kLastSignalDue;
  }

  void* Shared() { return &state_; }
  SharedState<Variant>& state() { return state_; }
  static constexpr bool kHasLastSignal = Variant != 'A';
  HandOverClock::time_point AnnouncedAt() const { return announced_at_; }

  // B to D: the records nobody took are in the queue. (A takes mxShared
  // first; E's are in its buffer: each has its own.)
  Batch TakeLeftovers() { return queue_view_.Leftovers(state_.queue); }
  std::size_t ReleaseLeftovers() { return Self().TakeLeftovers().size(); }

 protected:
  template <class... Args>
  explicit Base(Args&&... args) : state_(std::forward<Args>(args)...) {}
  ~Base() = default;

  // Moves the new records of `queue` into a Delivery (none: the producer's
  // last signal) and, if asked, hands the emptied queue back.
  Delivery TakeQueue(ItemQueue& queue, bool notify, bool hand_back) {
    Delivery d = queue_view_.Take(queue, hand_back);
    if (hand_back && notify) state_.cvShared.notify_all();
    return d;
  }

  SharedState<Variant> state_;
  QueueView queue_view_;  // of the queue the batches come in (E: its last buffer)

 private:
  HandOver<Variant>& Self() { return static_cast<HandOver<Variant>&>(*this); }

  bool pending_ = false;
  bool ended_ = false;
  bool batch_after_stop_ = false;  // a batch came after the stop
  std::mutex hand_back_mutex_;     // a Take's hand-back against FenceStop
  bool stopping_ = false;          // guarded by hand_back_mutex_
  HandOverClock::time_point announced_at_{};
};

}  // namespace hand_over_detail

template <>
class HandOver<'A'> : public hand_over_detail::Base<'A'> {
 public:
  explicit HandOver(std::stop_token token) : Base(std::move(token)) {}
  ~HandOver() { ReleaseLeftovers(); }

  Batch TakeLeftovers() {
    std::lock_guard lock(state_.mxShared);
    return queue_view_.Leftovers(state_.queue);
  }

 private:
  friend Base;
  // Holding mxShared after a stop means the producer is not inside a cycle:
  // what it will ever append is in the queue now.
  hand_over_detail::Seen AwaitSignal(const Deadline& deadline) {
    const auto ready = [this] { return !state_.queue.empty() || state_.stoken.stop_requested(); };
    if (!deadline) {
      std::unique_lock lock(state_.mxShared);
      state_.cvShared.wait(lock, state_.stoken, [this] { return !state_.queue.empty(); });
      return hand_over_detail::SeenNow();
    }
    // No wait on cvShared here: leaving it means taking mxShared again, which
    // the producer may have taken meanwhile for a whole pause.
    const auto look = [&] {
      const std::unique_lock lock(state_.mxShared, std::try_to_lock);
      return lock.owns_lock() && ready();
    };
    if (!hand_over_detail::RetryUntil(look, *deadline)) return {};
    return hand_over_detail::SeenNow();
  }
  // A has no last signal to keep apart from a batch: the queue is always
  // handed back, under mxShared.
  Delivery TakeSignal(bool notify, bool hand_back) {
    std::lock_guard lock(state_.mxShared);
    return TakeQueue(state_.queue, notify, hand_back);
  }
};

template <>
class HandOver<'B'> : public hand_over_detail::Base<'B'> {
 public:
  // The barrier's participants: the producer and this side's helper.
  explicit HandOver(std::stop_token token) : Base(std::move(token), 2) {
    helper_ = std::thread([this] { Arrive(); });
    on_stop_.emplace(state_.stoken, WantArrival{this});
  }
  // Once the producer has ended: a helper still at the barrier (only when a
  // last signal that might have come did not) is let out by an arrival in
  // the producer's place.
  ~HandOver() {
    on_stop_.reset();
    {
      std::lock_guard lock(mutex_);
      closing_ = true;
      if (at_barrier_) (void)state_.barrier.arrive();
    }
    changed_.notify_all();
    helper_.join();
    ReleaseLeftovers();
  }

 private:
  friend Base;
  hand_over_detail::Seen AwaitSignal(const Deadline& deadline) {
    std::unique_lock lock(mutex_);
    if (!wanted_) {
      wanted_ = true;
      changed_.notify_all();
    }
    const auto announced = [this] { return announced_; };
    if (!deadline) {
      changed_.wait(lock, announced);
    } else if (!changed_.wait_until(lock, *deadline, announced)) {
      return {};
    }
    return seen_at_;
  }
  Delivery TakeSignal(bool notify, bool hand_back) {
    Delivery d = TakeQueue(state_.queue, notify, hand_back);
    {
      std::lock_guard lock(mutex_);
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
        std::lock_guard lock(self->mutex_);
        self->wanted_ = true;
      }
      self->changed_.notify_all();
    }
  };

  // The helper: arrives once a wait for a batch has begun (or a stop has
  // been requested) and the batch before has been taken, as a client
  // thread of its own would; ends when nothing more can come.
  void Arrive() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return (wanted_ && !announced_) || closing_ || finished_; });
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

  std::mutex mutex_;  // the members below, between the helper and the consumer
  std::condition_variable changed_;
  bool wanted_ = false;      // a wait for the next batch has begun
  bool announced_ = false;   // the helper has left a completed phase
  bool at_barrier_ = false;  // the helper's arrival is in the current phase
  bool finished_ = false;    // nothing more will come
  bool closing_ = false;
  HandOverClock::time_point seen_at_{};
  std::thread helper_;
  std::optional<std::stop_callback<WantArrival>> on_stop_;
};

template <>
class HandOver<'C'> : public hand_over_detail::Base<'C'> {
 public:
  explicit HandOver(std::stop_token token) : Base(std::move(token), 0) {}
  ~HandOver() { ReleaseLeftovers(); }

 private:
  friend Base;
  hand_over_detail::Seen AwaitSignal(const Deadline& deadline) {
    if (!deadline) {
      state_.semaphore.acquire();
    } else if (!state_.semaphore.try_acquire_until(*deadline)) {
      return {};
    }
    return hand_over_detail::SeenNow();
  }
  Delivery TakeSignal(bool notify, bool hand_back) {
    return TakeQueue(state_.queue, notify, hand_back);
  }
};

template <>
class HandOver<'D'> : public hand_over_detail::Base<'D'> {
 public:
  explicit HandOver(std::stop_token token)
      : Base(std::move(token), nullptr), current_(std::make_unique<std::latch>(1)) {
    state_.pLatch = current_.get();
  }
  ~HandOver() { ReleaseLeftovers(); }

 private:
  friend Base;
  hand_over_detail::Seen AwaitSignal(const Deadline& deadline) {
    if (!deadline) {
      current_->wait();
    } else if (!hand_over_detail::RetryUntil([this] { return current_->try_wait(); }, *deadline)) {
      return {};
    }
    return hand_over_detail::SeenNow();
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
class HandOver<'E'> : public hand_over_detail::Base<'E'> {
 public:
  explicit HandOver(std::stop_token token)
      : Base(std::move(token), nullptr), current_(std::make_unique<Promise>()) {
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
  friend Base;
  using Promise = std::promise<ItemQueue*>;

  hand_over_detail::Seen AwaitSignal(const Deadline& deadline) {
    if (!deadline) {
      future_.wait();
    } else if (future_.wait_until(*deadline) != std::future_status::ready) {
      return {};
    }
    return hand_over_detail::SeenNow();
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

}  // namespace tavisor
