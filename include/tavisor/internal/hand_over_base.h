// What the client's side of every variant's hand-over shares.
#pragma once

#include "tavisor/build_requirements.h"

#include <optional>
#include <utility>

#include "tavisor/delivery.h"
#include "tavisor/internal/queue_view.h"
#include "tavisor/internal/stop_passed.h"
#include "tavisor/internal/thread_annotations.h"
#include "tavisor/internal/timeline_lane.h"
#include "tavisor/shared_state.h"

namespace tavisor::internal {

using Seen = std::optional<HandOverClock::time_point>;
inline Seen SeenNow() { return HandOverClock::now(); }

template <char Variant>
class HandOver;

// The library's tests reach into a hand-over through this (tests/).
struct HandOverPeer;

// The client's side of a hand-over, whatever its letter: what a producer
// object (tavisor/producer.h) and its grave use.
class ClientSide {
 public:
  virtual ~ClientSide() = default;
  virtual char Letter() const = 0;
  // The structure to pass to Start.
  virtual void* Shared() = 0;
  virtual bool AwaitAnnouncement(const Deadline& deadline) = 0;
  virtual Delivery Take() = 0;
  virtual void FenceStop() = 0;
  virtual bool Ended() const = 0;
  virtual Outlook outlook() const = 0;
  virtual HandOverClock::time_point AnnouncedAt() const = 0;
  virtual bool AwaitProducerDone(const Deadline& deadline) = 0;
  // A: whether the producer has let go of mxShared (`wait`: once it has);
  // true at once for the others.
  virtual bool ProducerLetGo(bool wait) = 0;

  // Where the hand-over's events go, if anywhere.
  TimelineLane timeline;
};

// What every variant shares: the structure, the pending and ended states,
// the outlook, the time stamp. A variant supplies
//   Seen AwaitSignal(const Deadline&);   waits for its primitive; when the
//                                        signal was seen, if it came
//   Delivery TakeSignal(bool notify, bool hand_back);
//                                        takes the batch; hands back if asked
//   Batch TakeLeftovers();               where its leftovers are not just
//                                        the queue's records (A, E)
template <char Variant>
class HandOverBase : public ClientSide {
 public:
  HandOverBase(const HandOverBase&) = delete;
  HandOverBase& operator=(const HandOverBase&) = delete;

  char Letter() const override { return Variant; }

  bool AwaitAnnouncement(const Deadline& deadline) override {
    if (pending_ || ended_) return true;
    if (batch_after_stop_) return false;  // nothing more comes
    const Seen seen = Self().AwaitSignal(deadline);
    if (!seen) return false;
    pending_ = true;
    announced_at_ = *seen;
    return true;
  }
  // Only after AwaitAnnouncement has returned true.
  Delivery Take() override { return TakeNotifying(true); }
  // For a stop requested from any thread but the consuming one: call it
  // first. It waits for a hand-back in progress, and every later Take
  // leaves the queue as it is. So no hand-back crosses the stop: the
  // producer, which looks at the queue once more after the stop, sees it
  // either emptied before the stop or untouched.
  void FenceStop() override {
    const MutexLock lock(hand_back_mutex_);
    stopping_ = true;
  }
  bool Ended() const override { return ended_; }

  Outlook outlook() const override {
    if (!state_.stoken.stop_requested()) return Outlook::kRunning;
    // A sends no last signal: after a stop nothing tells when the producer
    // has let go of the structure for good.
    if (!kHasLastSignal) return Outlook::kNoLastSignal;
    if (ended_) return Outlook::kEnded;
    if (batch_after_stop_) return Outlook::kNoLastSignal;
    return Outlook::kLastSignalDue;
  }

  void* Shared() override { return &state_; }
  static constexpr bool kHasLastSignal = Variant != 'A';
  HandOverClock::time_point AnnouncedAt() const override { return announced_at_; }

  // Waits until the producer is done with the structure, where its last
  // signal does not tell: B to E after a batch that came after the stop,
  // until the stop's request has returned. True at once otherwise.
  bool AwaitProducerDone(const Deadline& deadline) override {
    if (!kHasLastSignal || !batch_after_stop_) return true;
    return stop_passed_.Await(deadline);
  }

  bool ProducerLetGo(bool /*wait*/) override { return true; }

  // B to D: the records nobody took are in the queue. (A takes mxShared
  // first; E's are in its buffer: each has its own.)
  Batch TakeLeftovers() { return queue_view_.Leftovers(state_.queue); }
  // Frees what nobody took, once the producer no longer looks at it.
  std::size_t ReleaseLeftovers() {
    (void)AwaitProducerDone(std::nullopt);
    return Self().TakeLeftovers().size();
  }

 protected:
  template <class... Args>
  explicit HandOverBase(Args&&... args) : state_(std::forward<Args>(args)...) {}
  ~HandOverBase() override = default;

  // Moves the new records of `queue` into a Delivery (none: the producer's
  // last signal) and, if asked, hands the emptied queue back.
  Delivery TakeQueue(ItemQueue& queue, bool notify, bool hand_back) {
    Delivery d = queue_view_.Take(queue, hand_back);
    if (hand_back && notify) state_.cvShared.notify_all();
    return d;
  }

  SharedState<Variant> state_;
  QueueView queue_view_;  // of the queue the batches come in (E: its last buffer)
  // Registered here, before the structure goes to Start.
  StopPassed stop_passed_{state_.stoken};

 private:
  friend HandOverPeer;

  HandOver<Variant>& Self() { return static_cast<HandOver<Variant>&>(*this); }

  // `notify` false: the hand-back leaves cvShared unnotified, as a client
  // that forgets to would.
  Delivery TakeNotifying(bool notify) {
    if (ended_) return Delivery{Arrival::kEnded, {}};
    bool hand_back = true;
    Delivery d;
    const TimelineLane::Stamp taken = timeline.Now();
    if constexpr (kHasLastSignal) {
      const MutexLock lock(hand_back_mutex_);
      hand_back = !stopping_ && !state_.stoken.stop_requested();
      d = Self().TakeSignal(notify, hand_back);
    } else {
      // A always hands back, under mxShared, which its producer may hold for
      // a whole pause: a fenced stop must not wait for that.
      d = Self().TakeSignal(notify, hand_back);
    }
    timeline.NoteTake(announced_at_, taken, d, hand_back, kHasLastSignal);
    pending_ = false;
    if (d.what == Arrival::kEnded) {
      ended_ = true;
    } else if (!hand_back) {
      batch_after_stop_ = true;
    }
    return d;
  }

  bool pending_ = false;
  bool ended_ = false;
  bool batch_after_stop_ = false;  // a batch came after the stop
  Mutex hand_back_mutex_;          // a Take's hand-back against FenceStop
  bool stopping_ TAVISOR_GUARDED_BY(hand_back_mutex_) = false;
  HandOverClock::time_point announced_at_{};
};

}  // namespace tavisor::internal
