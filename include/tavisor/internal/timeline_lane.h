// A producer's lane of a tavisor::Timeline, as its client's side records
// into it. Empty by default: then every call is a pointer test and reads
// no clock.
#pragma once

#include "tavisor/build_requirements.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include "tavisor/delivery.h"
#include "tavisor/timeline.h"

namespace tavisor::internal {

class TimelineLane {
 public:
  using Stamp = std::optional<Clock::time_point>;

  // Set once, before any thread but the one that made the producer uses it.
  void Attach(std::shared_ptr<Timeline> timeline, std::uint32_t lane) {
    timeline_ = std::move(timeline);
    lane_ = lane;
  }
  bool on() const { return timeline_ != nullptr; }
  // The time now when recording, else nothing.
  Stamp Now() const { return on() ? Stamp(Clock::now()) : Stamp(); }

  void Note(TimelineEvent what, const Stamp& at, std::uint32_t size = 0,
            EndReason reason = EndReason::kNone) const {
    if (on() && at) timeline_->Record(lane_, what, *at, size, reason);
  }

  // A Take: what the client's side saw at `seen` and took at `taken`.
  // `handed_back`: it emptied the queue and notified; `has_last_signal`:
  // not A, whose end is a stop with the queue handed back.
  void NoteTake(Clock::time_point seen, const Stamp& taken, const Delivery& d, bool handed_back,
                bool has_last_signal) const {
    if (!on()) return;
    if (d.what == Arrival::kEnded) {
      if (has_last_signal) Note(TimelineEvent::kLastSignal, seen);
      Note(TimelineEvent::kEnded, seen, 0,
           has_last_signal ? EndReason::kLastSignal : EndReason::kStoppedWithoutSignal);
      return;
    }
    const auto size = static_cast<std::uint32_t>(d.batch.size());
    Note(TimelineEvent::kAvailable, seen, size);
    Note(TimelineEvent::kTaken, taken, size);
    if (handed_back) {
      Note(TimelineEvent::kHandedBack, Now());
    } else {
      // After the stop: the producer finds its batch still there and ends.
      Note(TimelineEvent::kEnded, Now(), 0, EndReason::kBatchLeftWaiting);
    }
  }

 private:
  std::shared_ptr<Timeline> timeline_;
  std::uint32_t lane_ = 0;
};

}  // namespace tavisor::internal
