// Keeps the client structures of stopped producers until nothing touches
// them any more, and frees each the moment that is so.
//
// A producer thread is detached and may still use its structure for a
// moment after a stop. Variants B to E end with a last signal when the stop
// finds no batch of theirs waiting to be taken, and after it touch nothing
// of the client's: a structure whose last signal has come may go at once,
// and one whose last signal is due goes as soon as it comes. One that ends
// without it, because a batch was out when the stop came or went out after
// it, has made its last look at the structure by the time the stop's
// request returns. Only variant A leaves no such moment: its structure is
// kept for a grace period from the stop, time enough for a producer to
// leave a wait that the stop has already ended.
//
// So a Graveyard keeps each stopped structure (a Grave) until it has
// settled. Bury() releases a structure that has settled already at once;
// any other gets a settler thread of its own, which waits for what settles
// it (the last signal, the stop's return, or for A the end of the grace
// period: a timer), releases it and ends. Nobody needs to call anything for
// that to happen. Clear() and the destructor wait for every settler. tavisor::Library owns one and
// empties it before it unloads the library.
//
// Thread-safety: Bury() and Clear() may be called from any thread. Burial
// happens after everything the burying thread did with the structure.
#pragma once

#include "tavisor/build_requirements.h"

#include <chrono>
#include <cstddef>
#include <list>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

#include "tavisor/clock.h"
#include "tavisor/internal/thread_annotations.h"

namespace tavisor {

class Graveyard {
 public:
  using Clock = tavisor::Clock;  // the former name, kept for clients
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

  // `grace`: zero only for producers whose threads the caller has joined
  // before it lets their Producers go (a test's own threads): A's producer
  // may otherwise still be leaving a wait that the stop has ended.
  explicit Graveyard(Clock::duration grace = kGracePeriod) : grace_(grace) {}
  ~Graveyard() { Clear(); }
  Graveyard(const Graveyard&) = delete;
  Graveyard& operator=(const Graveyard&) = delete;

  void Bury(std::unique_ptr<Grave> grave) {
    if (grave->Settle(Clock::now(), grace_)) return;  // released here
    std::list<Plot> settled;                          // joined after the lock is let go
    const internal::MutexLock lock(mutex_);
    for (auto it = plots_.begin(); it != plots_.end();) {
      const auto next = std::next(it);
      if (it->settled) settled.splice(settled.end(), plots_, it);
      it = next;
    }
    Plot& plot = plots_.emplace_back();
    plot.grave = std::move(grave);
    plot.settler = std::thread([this, &plot] { RunSettler(plot); });
  }

  // Waits until every structure kept has settled and been released. Every
  // producer must have been stopped.
  void Clear() {
    std::list<Plot> kept;
    {
      const internal::MutexLock lock(mutex_);
      kept.swap(plots_);
    }
    // A list node stays where it is, so a settler still reaches its plot.
  }

  // The structures kept now.
  std::size_t size() const {
    const internal::MutexLock lock(mutex_);
    std::size_t n = 0;
    for (const Plot& plot : plots_) n += plot.settled ? 0 : 1;
    return n;
  }

 private:
  struct Plot {
    std::unique_ptr<Grave> grave;  // the settler's alone
    std::thread settler;
    // Guarded by the graveyard's mutex_, which the analysis cannot name from here.
    bool settled = false;
    ~Plot() {
      if (settler.joinable()) settler.join();
    }
  };

  // The settler: after it has marked its plot settled it touches nothing of
  // the graveyard's but the mutex it lets go, and Clear() joins it before
  // the graveyard can go.
  void RunSettler(Plot& plot) {
    plot.grave->Settle(std::nullopt, grace_);
    plot.grave.reset();
    const internal::MutexLock lock(mutex_);
    plot.settled = true;
  }

  const Clock::duration grace_;
  mutable internal::Mutex mutex_;
  std::list<Plot> plots_ TAVISOR_GUARDED_BY(mutex_);
};

}  // namespace tavisor
