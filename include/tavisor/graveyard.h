// Keeps the client structures of stopped producers until nothing touches
// them any more.
//
// A producer thread is detached and may still use its structure for a
// moment after a stop. Variants B to E end with a last signal when the stop
// finds no batch of theirs waiting to be taken, and after it touch nothing
// of the client's: a structure whose last signal has come may go at once,
// and one whose last signal is due goes as soon as it comes. Only a
// producer that ends without one (variant A; a stop that found a batch out)
// leaves no such moment: its structure is kept for a grace period from the
// moment that is known, time enough for a producer to leave a wait that the
// stop has already ended.
//
// So a Graveyard keeps each stopped structure (a Grave) until it has
// settled:
//   * at every Bury() it releases every structure that has settled by then,
//     without waiting: the graveyard holds only the structures of producers
//     that are still ending, and those within their grace period;
//   * Clear() and the destructor wait for each structure to settle: for a
//     last signal that is due (it comes once the producer gets to run), and
//     for a grace period only where there is no last signal. With none of
//     either, they do not wait at all.
// tavisor::Library owns one and empties it before it unloads the library.
//
// Thread-safety: Bury() and Clear() may be called from any thread. Burial
// happens after everything the burying thread did with the structure.
#pragma once

#include "tavisor/build_requirements.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace tavisor {

class Graveyard {
 public:
  using Clock = std::chrono::steady_clock;
  // The grace period of a producer that ends without a last signal.
  static constexpr std::chrono::seconds kGracePeriod{1};

  // What a Graveyard keeps. Its destructor releases everything that is left
  // (records, buffers, helper threads).
  class Grave {
   public:
    virtual ~Grave() = default;
    // Whether the structure may go now, waiting for that until `deadline`
    // at most (none: as long as it takes). `grace`: the graveyard's grace
    // period, for producers that end without a last signal.
    virtual bool Settle(const std::optional<Clock::time_point>& deadline,
                        Clock::duration grace) = 0;
  };

  // `grace`: zero for producers whose threads the caller joins.
  explicit Graveyard(Clock::duration grace = kGracePeriod) : grace_(grace) {}
  ~Graveyard() { Clear(); }
  Graveyard(const Graveyard&) = delete;
  Graveyard& operator=(const Graveyard&) = delete;

  void Bury(std::unique_ptr<Grave> grave) {
    std::vector<std::unique_ptr<Grave>> released;  // destroyed after the lock is let go
    std::lock_guard lock(mutex_);
    const Clock::time_point now = Clock::now();
    graves_.push_back(std::move(grave));
    for (std::unique_ptr<Grave>& kept : graves_) {
      if (kept->Settle(now, grace_)) released.push_back(std::move(kept));
    }
    std::erase(graves_, nullptr);
  }

  // Waits until every structure kept has settled and destroys it. Every
  // producer must have been stopped.
  void Clear() {
    std::vector<std::unique_ptr<Grave>> kept;
    {
      std::lock_guard lock(mutex_);
      kept.swap(graves_);
    }
    for (std::unique_ptr<Grave>& grave : kept) {
      grave->Settle(std::nullopt, grace_);
      grave.reset();
    }
  }

  // The structures kept now.
  std::size_t size() const {
    std::lock_guard lock(mutex_);
    return graves_.size();
  }

 private:
  const Clock::duration grace_;
  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<Grave>> graves_;
};

}  // namespace tavisor
