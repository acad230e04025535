// Keeps the client structures of stopped producers until nothing touches
// them any more.
//
// A producer thread is detached and sends no word when it ends; once a
// stop has been requested it ends within moments (a stop cuts its pause
// and its final wait short; a batch it has begun takes milliseconds), but
// until then it may still use its structure: its last signal, the return
// from it, its final wait. So a client that lets go of a stopped producer
// hands the structure to a Graveyard, which destroys it:
//   * at a later Bury(), once settle_time has passed since the producer's
//     last signal came (after it, the producer only returns from that call
//     and ends);
//   * otherwise in Clear() or the destructor, which first wait until
//     settle_time has passed since each structure's burial.
// tavisor::Library owns one and empties it before it unloads the library.
//
// Thread-safety: Bury() and Clear() may be called from any thread. Burial
// happens after everything the burying thread did with the structure.
#pragma once

#include "tavisor/build_requirements.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace tavisor {

class Graveyard {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kSettleTime{1};

  // What a Graveyard keeps. Its destructor releases everything that is left
  // (records, buffers, helper threads).
  class Grave {
   public:
    virtual ~Grave() = default;
    // When the producer's last signal came, if it has.
    virtual std::optional<Clock::time_point> SettledAt() const = 0;
  };

  // `settle_time`: zero for producers whose threads the caller joins.
  explicit Graveyard(Clock::duration settle_time = kSettleTime) : settle_time_(settle_time) {}
  ~Graveyard() { Clear(); }
  Graveyard(const Graveyard&) = delete;
  Graveyard& operator=(const Graveyard&) = delete;

  void Bury(std::unique_ptr<Grave> grave) {
    std::vector<Entry> released;  // destroyed after the lock is let go
    std::lock_guard lock(mutex_);
    const Clock::time_point now = Clock::now();
    for (Entry& kept : graves_) {
      const auto settled = kept.grave->SettledAt();
      if (settled && now - *settled >= settle_time_) released.push_back(std::move(kept));
    }
    std::erase_if(graves_, [](const Entry& e) { return e.grave == nullptr; });
    graves_.push_back(Entry{std::move(grave), now});
  }

  // Destroys every structure kept, settle_time after its burial at the
  // earliest. Every producer must have been stopped.
  void Clear() {
    std::vector<Entry> released;
    {
      std::lock_guard lock(mutex_);
      released.swap(graves_);
    }
    Clock::time_point safe{};
    for (const Entry& e : released) safe = std::max(safe, e.buried_at + settle_time_);
    std::this_thread::sleep_until(safe);
  }

  std::size_t size() const {
    std::lock_guard lock(mutex_);
    return graves_.size();
  }

 private:
  struct Entry {
    std::unique_ptr<Grave> grave;
    Clock::time_point buried_at;
  };

  const Clock::duration settle_time_;
  mutable std::mutex mutex_;
  std::vector<Entry> graves_;
};

}  // namespace tavisor
