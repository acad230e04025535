// A producer of the loaded Tavisor library together with the client's side
// of its hand-over: tavisor::Producer<'A'> to tavisor::Producer<'E'> when
// the variant is known when compiling, tavisor::AnyProducer when it is
// chosen at run time. Both are a tavisor::BasicProducer, which has every
// call; they differ only in how they are made.
//
// A Producer owns the variant's SharedState and everything it points to,
// starts the producer through the Library when it is constructed, hands
// each batch over as owning pointers, and stops the producer when asked or
// when it is destroyed.
//
//   tavisor::Library library;
//   library.Initialize();
//   tavisor::Producer<'C'> producer(library);
//   for (int i = 0; i < 3; ++i) {
//     tavisor::Delivery d = producer.WaitFor(std::chrono::seconds(12));
//     for (const auto& item : d.batch) std::cout << tavisor::DisplayName(*item) << '\n';
//   }
//   producer.Stop();
//
// Main calls:
//   Wait()            blocks until the next batch, or the producer's last
//                     signal; no time limit and no polling.
//   WaitFor(d), WaitUntil(t)
//                     the same with a time limit: kNothing when it passes.
//   Poll()            the same without blocking.
//   Stop()            requests a stop on the producer's stop source, and so
//                     on every producer that shares it; StopThis() stops
//                     this producer alone. The library prints "Loop in DLL
//                     broken off" and "Type a command" (once per producer)
//                     before the call returns.
//   AwaitAnnouncement(deadline)
//                     waits for the next batch but leaves it with the
//                     producer, who waits until it is taken (the next
//                     Wait/Poll takes it).
//   AnnouncedAt()     when the last batch's announcement was seen, for
//                     clients that time the hand-over.
//   RecordTimeline(timeline, name)
//                     records the hand-over's events on a lane of a
//                     tavisor::Timeline (tavisor/timeline.h) from now on.
// Each of the waits returns a Delivery: kBatch with 1 to 4 records that
// the caller owns; kEnded once nothing more will come (the producer's last
// signal; variant A, which sends none, once it has let go of the queue
// after a stop), and again on every later call; kNothing when the time
// limit passed.
//
// After a stop a producer sends one more thing at most: the batch it was
// making, then nothing; or, if no batch of its was waiting to be taken, its
// last signal (not A). Wait() after a stop returns kEnded at once where
// nothing more can come (outlook() tells what is still to come).
//
// When it may be destroyed: at any time; the destructor stops the producer
// (this one only). The structure cannot always go with the object: until
// its last signal the detached producer may still use it. It goes to the
// Library's graveyard (tavisor/graveyard.h): at once when the last signal
// has come, as soon as it comes when it is due, after a batch that came
// instead of it as soon as the stop's request has returned, and for
// variant A a grace period after the stop. The Library waits for what is still there before it
// unloads. Records nobody took and E's last buffer are deleted with the structure. A Producer must
// not outlive its Library, and cannot be made from a temporary one.
//
// Thread-safety: one thread at a time calls the waits; Stop() and
// StopThis() may be called from any thread, also while another waits or
// hands a batch back: the hand-back finishes first, so the producer sees
// the queue emptied or untouched, never in between. (A wait without a time
// limit then returns once the stop's batch or last signal comes.) Destroy
// the object once no thread waits on it. A batch returned happens after the
// producer's appends of it; the hand-back happens before its next appends.
//
// Variant B needs a helper thread per producer, which ends with the
// producer's last signal. B and D are refused where the library cannot
// wake this program (see VariantUnavailableReason in tavisor/variants.h):
// the constructors that take a Library throw std::runtime_error for them
// and start nothing.
#pragma once

#include "tavisor/build_requirements.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>

#include "tavisor/delivery.h"
#include "tavisor/graveyard.h"
#include "tavisor/internal/hand_over.h"
#include "tavisor/library.h"
#include "tavisor/timeline.h"
#include "tavisor/variants.h"

namespace tavisor {

// Starts a producer of variant `letter` on the structure at `shared`:
// Library::Start, or a function of the caller's (a test's thread).
using Launcher = std::function<void(char letter, void* shared)>;

// Library::Start of `library`, for variant `letter` ('A' to 'E', either
// case). Throws std::runtime_error if the variant cannot work across the
// library's boundary in this build (VariantUnavailableReason).
inline Launcher LauncherFor(const Library& library, char letter) {
  if (std::string reason = VariantUnavailableReason(NormalizedVariantLetter(letter));
      !reason.empty()) {
    throw std::runtime_error(reason);
  }
  return [&library](char l, void* shared) { library.Start(l, shared); };
}
Launcher LauncherFor(const Library&&, char) = delete;  // the Library must outlive the producer

namespace internal {

// A producer's structure with the client's side of its hand-over, kept
// until the producer is done with them.
class Grave final : public Graveyard::Grave {
 public:
  explicit Grave(std::unique_ptr<ClientSide> client_side) : side(std::move(client_side)) {}

  bool Settle(const std::optional<Graveyard::Clock::time_point>& deadline,
              Graveyard::Clock::duration grace) override {
    for (;;) {
      switch (side->outlook()) {
        case Outlook::kEnded:
          return true;
        case Outlook::kNoLastSignal:
          // B to E: a batch came after the stop; the producer is done once
          // the stop's request has returned. A: nothing tells, a grace
          // period does.
          if (side->Letter() != 'A') return side->AwaitProducerDone(deadline);
          return AwaitGraceEnd(deadline, grace);
        default:
          // After the stop exactly one more thing comes: the last signal,
          // or a batch that went out after it. Take it and look again.
          if (!side->AwaitAnnouncement(deadline)) return false;
          (void)side->Take();  // after the stop: the queue stays as it is
      }
    }
  }

  const std::unique_ptr<ClientSide> side;

 private:
  // The grace period, from the moment it is known to be needed; A's
  // producer may also still hold mxShared, in a pause it has not yet left.
  bool AwaitGraceEnd(const std::optional<Graveyard::Clock::time_point>& deadline,
                     Graveyard::Clock::duration grace) {
    if (grace_ends_ == Graveyard::Clock::time_point::max()) {
      grace_ends_ = Graveyard::Clock::now() + grace;
    }
    if (deadline) return Graveyard::Clock::now() >= grace_ends_ && side->ProducerLetGo(false);
    std::this_thread::sleep_until(grace_ends_);
    return side->ProducerLetGo(true);
  }

  // When the grace period ends, once it is known that one is needed.
  Graveyard::Clock::time_point grace_ends_ = Graveyard::Clock::time_point::max();
};

// The client's side of variant `letter` ('A' to 'E', either case).
inline std::unique_ptr<ClientSide> MakeSide(char letter, std::stop_token token) {
  return VisitVariant(
      letter,
      [&token]<char V>() -> std::unique_ptr<ClientSide> {
        return std::make_unique<HandOver<V>>(std::move(token));
      },
      [letter]() -> std::unique_ptr<ClientSide> {
        throw std::invalid_argument(std::string("No producer variant '") + letter + "' (A to E)");
      });
}

}  // namespace internal

// What every producer offers, whatever its letter: the calls above.
class BasicProducer {
 public:
  virtual ~BasicProducer() {
    Unlink();
    if (grave_ == nullptr) return;  // moved from
    if (!launched_) return;         // the structure goes at once: no producer ran
    if (!StopRequested()) {
      // A batch waiting to be taken goes back first (nobody wants its
      // records): the stop then finds no batch out, and the producer ends
      // with its last signal rather than leaving the batch waiting.
      if (grave_->side->AwaitAnnouncement(HandOverClock::now())) (void)grave_->side->Take();
    }
    StopThis();
    graveyard_->Bury(std::move(grave_));
  }
  // Movable, so that producers can be kept in containers; a moved-from
  // producer may only be destroyed.
  BasicProducer(BasicProducer&&) noexcept = default;
  BasicProducer& operator=(BasicProducer&&) = delete;

  char Letter() const { return grave_->side->Letter(); }

  Delivery Wait() { return Next(kNoTimeLimit); }
  template <class Rep, class Period>
  Delivery WaitFor(std::chrono::duration<Rep, Period> limit) {
    return Next(HandOverClock::now() + std::chrono::duration_cast<HandOverClock::duration>(limit));
  }
  Delivery WaitUntil(HandOverClock::time_point deadline) { return Next(deadline); }
  Delivery Poll() { return Next(HandOverClock::now()); }

  bool AwaitAnnouncement(const Deadline& deadline) {
    return grave_->side->AwaitAnnouncement(deadline);
  }
  HandOverClock::time_point AnnouncedAt() const { return grave_->side->AnnouncedAt(); }
  // Whether the producer's last signal has come (A: whether a wait has
  // returned kEnded).
  bool Ended() const { return grave_->side->Ended(); }
  // What the producer will still send.
  Outlook outlook() const { return grave_->side->outlook(); }

  // Records this producer's hand-over events, from when it started, on a
  // new lane of `timeline` named `lane` (default "producer X"); returns the
  // lane's number. Once only, and before any other thread uses the
  // producer. The timeline is kept as long as the structure.
  std::uint32_t RecordTimeline(std::shared_ptr<Timeline> timeline, std::string lane = {}) {
    const std::uint32_t number =
        timeline->AddLane(lane.empty() ? std::string("producer ") + Letter() : std::move(lane));
    internal::TimelineLane& recorder = grave_->side->timeline;
    recorder.Attach(std::move(timeline), number);
    recorder.Note(TimelineEvent::kStarted, started_at_);
    if (StopRequested()) recorder.Note(TimelineEvent::kStopRequested, recorder.Now());
    return number;
  }

  // Stops every producer on source() (this one's alone unless one was
  // passed to the constructor). Safe from any thread: a batch being handed
  // back is handed back whole first.
  void Stop() {
    if (shared_) {
      source_.request_stop();  // StopOwn fences each producer's own stop
    } else {
      RequestOwnStop();
    }
  }
  // Stops this producer only, also when it shares a stop source.
  void StopThis() { RequestOwnStop(); }
  bool StopRequested() const { return own_.stop_requested(); }
  std::stop_source source() const { return source_; }

 protected:
  // The structure of variant `letter`, with a stop source of its own or one
  // shared with other producers (either way it gets a token of its own,
  // stopped with it); stopped structures go to `graveyard`, which must
  // outlive the producer thread. Then starts the producer through `launch`;
  // should that throw, no producer runs and the structure goes at once.
  BasicProducer(char letter, const Launcher& launch, Graveyard& graveyard,
                std::optional<std::stop_source> shared)
      : source_(shared ? std::move(*shared) : std::stop_source()),
        own_(shared ? std::stop_source() : source_),
        shared_(shared.has_value()),
        graveyard_(&graveyard),
        grave_(std::make_unique<internal::Grave>(internal::MakeSide(letter, own_.get_token()))) {
    // The link's stop fences the hand-back, which exists now.
    if (shared_) {
      link_ = std::make_unique<std::stop_callback<StopOwn>>(source_.get_token(), OwnStop());
    }
    started_at_ = Clock::now();
    launch(grave_->side->Letter(), grave_->side->Shared());
    launched_ = true;
  }

 private:
  static constexpr HandOverClock::time_point kNoTimeLimit = HandOverClock::time_point::max();

  Delivery Next(HandOverClock::time_point deadline) {
    internal::ClientSide& side = *grave_->side;
    // Stopped with a batch out, which has been taken: nothing more comes.
    if (side.Letter() != 'A' && side.outlook() == Outlook::kNoLastSignal) {
      return Delivery{Arrival::kEnded, {}};
    }
    if (!side.AwaitAnnouncement(deadline == kNoTimeLimit ? Deadline() : Deadline(deadline))) {
      return {};
    }
    return side.Take();
  }

  // Stops this producer's own source once a hand-back in progress has
  // finished. Holds nothing of the producer object, which may move.
  struct StopOwn {
    internal::ClientSide* side;
    std::stop_source own;
    void operator()() {
      side->FenceStop();
      const internal::TimelineLane::Stamp at = side->timeline.Now();
      if (own.request_stop()) side->timeline.Note(TimelineEvent::kStopRequested, at);
    }
  };
  StopOwn OwnStop() const { return StopOwn{grave_->side.get(), own_}; }
  void RequestOwnStop() { OwnStop()(); }
  // Ends the link to a shared stop source; a stop of it that is running
  // finishes first.
  void Unlink() { link_.reset(); }

  std::stop_source source_;
  std::stop_source own_;
  bool shared_ = false;
  Graveyard* graveyard_;
  std::unique_ptr<internal::Grave> grave_;
  bool launched_ = false;
  Clock::time_point started_at_{};
  std::unique_ptr<std::stop_callback<StopOwn>> link_;
};

template <char Variant>
class Producer final : public BasicProducer {
  static_assert(Variant >= 'A' && Variant <= 'E', "a producer variant is 'A' to 'E'");

 public:
  static constexpr char kLetter = Variant;

  // Starts a producer through `library`, with a stop source of its own or
  // one shared with other producers.
  explicit Producer(const Library& library)
      : BasicProducer(Variant, LauncherFor(library, Variant), library.graveyard(), std::nullopt) {}
  Producer(const Library& library, std::stop_source source)
      : BasicProducer(Variant, LauncherFor(library, Variant), library.graveyard(),
                      std::move(source)) {}
  // A temporary Library would be unloaded before the producer ends.
  explicit Producer(const Library&&) = delete;
  Producer(const Library&&, std::stop_source) = delete;

  // Starts it through `launch`; the stopped structure goes to `graveyard`,
  // which must outlive the producer thread. No variant is refused here:
  // the caller knows whether `launch` crosses a module boundary.
  Producer(const Launcher& launch, Graveyard& graveyard)
      : BasicProducer(Variant, launch, graveyard, std::nullopt) {}
  Producer(const Launcher& launch, Graveyard& graveyard, std::stop_source source)
      : BasicProducer(Variant, launch, graveyard, std::move(source)) {}
};

// A producer whose letter ('A' to 'E', either case) is chosen at run time;
// a letter other than those throws std::invalid_argument.
class AnyProducer final : public BasicProducer {
 public:
  AnyProducer(char letter, const Library& library)
      : BasicProducer(letter, LauncherFor(library, letter), library.graveyard(), std::nullopt) {}
  AnyProducer(char letter, const Library& library, std::stop_source source)
      : BasicProducer(letter, LauncherFor(library, letter), library.graveyard(),
                      std::move(source)) {}
  AnyProducer(char, const Library&&) = delete;
  AnyProducer(char, const Library&&, std::stop_source) = delete;

  AnyProducer(char letter, const Launcher& launch, Graveyard& graveyard)
      : BasicProducer(letter, launch, graveyard, std::nullopt) {}
  AnyProducer(char letter, const Launcher& launch, Graveyard& graveyard, std::stop_source source)
      : BasicProducer(letter, launch, graveyard, std::move(source)) {}
};

}  // namespace tavisor
