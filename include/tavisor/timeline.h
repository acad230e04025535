// A recorder of hand-over events: when each producer started, when a batch
// became available, when the client took it and handed the queue back,
// when the stop came, the last signal and the end. One lane per producer;
// lane 0 is the client's, for the client's own marks and spans.
//
//   auto timeline = std::make_shared<tavisor::Timeline>();
//   tavisor::AnyProducer producer('C', library);
//   producer.RecordTimeline(timeline, "producer 1 (C)");
//   ...
//   tavisor::Timeline::Snapshot s = timeline->Take();
//
// A producer records nothing unless told to: then its hand-over path costs
// one pointer test. When it records, the events go to a ring of the last
// `capacity` entries (older ones are dropped and counted), allocated once
// when the Timeline is made; a producer's event takes a short mutex and
// allocates nothing. Every call is safe from any thread.
//
// The time stamps are tavisor::Clock's, taken on the client's side: a
// batch counts as available when the client's side saw its announcement,
// which is when it was announced if the client was already waiting for it.
#pragma once

#include "tavisor/build_requirements.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tavisor/clock.h"
#include "tavisor/internal/thread_annotations.h"

namespace tavisor {

enum class TimelineEvent : std::uint8_t {
  kStarted,        // the producer object started its producer
  kAvailable,      // a batch was announced; `size` records
  kTaken,          // the client took the batch; `size` records
  kHandedBack,     // the client emptied the queue and notified the producer
  kStopRequested,  // a stop was requested for this producer
  kLastSignal,     // the producer's last signal came
  kEnded,          // nothing more comes from the producer; see `reason`
  kClientMark,     // the client's own moment, named by `text`
  kClientSpan,     // the client's own span from `at` to `until`, named by `text`
};

enum class EndReason : std::uint8_t {
  kNone,
  kLastSignal,            // it sent its last signal
  kBatchLeftWaiting,      // the stop found its batch not handed back: no last signal
  kStoppedWithoutSignal,  // variant A: after the stop it sends nothing
};

inline const char* EndReasonText(EndReason reason) {
  switch (reason) {
    case EndReason::kLastSignal:
      return "last signal";
    case EndReason::kBatchLeftWaiting:
      return "batch left waiting";
    case EndReason::kStoppedWithoutSignal:
      return "stopped, no last signal (A)";
    case EndReason::kNone:
      break;
  }
  return "";
}

struct TimelineEntry {
  Clock::time_point at{};
  Clock::time_point until{};  // kClientSpan only
  std::uint32_t lane = 0;
  TimelineEvent what = TimelineEvent::kClientMark;
  EndReason reason = EndReason::kNone;
  std::uint32_t size = 0;
  std::string text;  // client events only
};

class Timeline {
 public:
  static constexpr std::size_t kDefaultCapacity = 8192;
  static constexpr std::uint32_t kClientLane = 0;

  // Keeps the last `capacity` events (at least one).
  explicit Timeline(std::size_t capacity = kDefaultCapacity)
      : capacity_(capacity == 0 ? 1 : capacity), ring_(capacity_) {}
  Timeline(const Timeline&) = delete;
  Timeline& operator=(const Timeline&) = delete;

  // A new lane named `name`; returns its number.
  std::uint32_t AddLane(std::string name) {
    const internal::MutexLock lock(mutex_);
    lanes_.push_back(std::move(name));
    return static_cast<std::uint32_t>(lanes_.size() - 1);
  }

  void Record(std::uint32_t lane, TimelineEvent what, Clock::time_point at, std::uint32_t size = 0,
              EndReason reason = EndReason::kNone) {
    const internal::MutexLock lock(mutex_);
    TimelineEntry& e = Next();
    e.at = at;
    e.until = at;
    e.lane = lane;
    e.what = what;
    e.reason = reason;
    e.size = size;
    e.text.clear();
  }
  // The client's own moment and span, on the client's lane.
  void Mark(std::string text, Clock::time_point at = Clock::now()) {
    Client(TimelineEvent::kClientMark, std::move(text), at, at);
  }
  void Span(std::string text, Clock::time_point from, Clock::time_point until) {
    Client(TimelineEvent::kClientSpan, std::move(text), from, until);
  }

  struct Snapshot {
    std::vector<std::string> lanes;      // by number; 0 is the client's
    std::vector<TimelineEntry> entries;  // in the order recorded, oldest first
    std::uint64_t dropped = 0;           // older entries the ring let go
    Clock::time_point taken{};           // when the snapshot was taken
  };
  // A copy of what is recorded so far.
  Snapshot Take() const {
    Snapshot s;
    const internal::MutexLock lock(mutex_);
    s.taken = Clock::now();
    s.lanes = lanes_;
    const std::size_t kept = recorded_ < capacity_ ? recorded_ : capacity_;
    s.dropped = recorded_ - kept;
    s.entries.reserve(kept);
    for (std::size_t i = 0; i < kept; ++i) {
      s.entries.push_back(ring_[(next_ + capacity_ - kept + i) % capacity_]);
    }
    return s;
  }
  std::size_t capacity() const { return capacity_; }

 private:
  // The slot of the next entry.
  TimelineEntry& Next() TAVISOR_REQUIRES(mutex_) {
    TimelineEntry& e = ring_[next_];
    next_ = (next_ + 1) % capacity_;
    ++recorded_;
    return e;
  }
  void Client(TimelineEvent what, std::string text, Clock::time_point at, Clock::time_point until) {
    const internal::MutexLock lock(mutex_);
    TimelineEntry& e = Next();
    e = TimelineEntry{at, until, kClientLane, what, EndReason::kNone, 0, std::move(text)};
  }

  const std::size_t capacity_;
  mutable internal::Mutex mutex_;
  std::vector<TimelineEntry> ring_ TAVISOR_GUARDED_BY(mutex_);  // capacity_ entries
  std::size_t next_ TAVISOR_GUARDED_BY(mutex_) = 0;
  std::uint64_t recorded_ TAVISOR_GUARDED_BY(mutex_) = 0;
  std::vector<std::string> lanes_ TAVISOR_GUARDED_BY(mutex_){"client"};
};

}  // namespace tavisor
