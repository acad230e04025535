// A producer of the loaded Tavisor library together with the client's side
// of its hand-over: tavisor::Producer<'A'> to tavisor::Producer<'E'> when
// the variant is known when compiling, tavisor::AnyProducer when it is
// chosen at run time. Both offer the same calls and are the same code.
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
// wake this program (see VariantUnavailableReason in tavisor/hand_over.h):
// the constructors that take a Library throw std::runtime_error for them
// and start nothing.
#pragma once

#include "tavisor/build_requirements.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>

#include "tavisor/graveyard.h"
#include "tavisor/hand_over.h"
#include "tavisor/library.h"

namespace tavisor {

// Starts a producer of variant `letter` on the structure at `shared`:
// Library::Start, or, in tests, a thread of the caller's own.
using Launcher = std::function<void(char letter, void* shared)>;

// `letter` in upper case if it is 'a' to 'e'; any other letter unchanged.
inline char VariantLetter(char letter) {
  return letter >= 'a' && letter <= 'e' ? static_cast<char>(letter - 'a' + 'A') : letter;
}

// Library::Start of `library`, for variant `letter` ('A' to 'E', either
// case). Throws std::runtime_error if the variant cannot work across the
// library's boundary in this build (VariantUnavailableReason).
inline Launcher LauncherFor(const Library& library, char letter) {
  if (std::string reason = VariantUnavailableReason(VariantLetter(letter)); !reason.empty()) {
    throw std::runtime_error(reason);
  }
  return [&library](char l, void* shared) { library.Start(l, shared); };
}
Launcher LauncherFor(const Library&&, char) = delete;  // the Library must outlive the producer

// What every Producer offers, whatever its letter.
class BasicProducer {
 public:
  virtual ~BasicProducer() = default;
  BasicProducer(const BasicProducer&) = delete;
  BasicProducer& operator=(const BasicProducer&) = delete;

  virtual char Letter() const = 0;

  Delivery Wait() { return Next(kNoTimeLimit); }
  template <class Rep, class Period>
  Delivery WaitFor(std::chrono::duration<Rep, Period> limit) {
    return Next(HandOverClock::now() + std::chrono::duration_cast<HandOverClock::duration>(limit));
  }
  Delivery WaitUntil(HandOverClock::time_point deadline) { return Next(deadline); }
  Delivery Poll() { return Next(HandOverClock::now()); }

  virtual bool AwaitAnnouncement(const Deadline& deadline) = 0;
  virtual HandOverClock::time_point AnnouncedAt() const = 0;
  // Whether the producer's last signal has come (A: whether a wait has
  // returned kEnded).
  virtual bool Ended() const = 0;
  // What the producer will still send.
  virtual Outlook outlook() const = 0;

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
  // A stop source of its own, or one shared with other producers; either
  // way this producer's structure gets a token of its own, stopped with it.
  BasicProducer() : source_(), own_(source_) {}
  explicit BasicProducer(std::stop_source shared) : source_(std::move(shared)), shared_(true) {}
  static constexpr HandOverClock::time_point kNoTimeLimit = HandOverClock::time_point::max();
  static Deadline AsDeadline(HandOverClock::time_point t) {
    return t == kNoTimeLimit ? Deadline() : Deadline(t);
  }
  std::stop_token Token() const { return own_.get_token(); }
  virtual Delivery Next(HandOverClock::time_point deadline) = 0;
  // Lets a hand-back in progress finish before the stop (HandOver::FenceStop).
  virtual void FenceStop() = 0;
  // Ends the link to a shared stop source; a stop of it that is running
  // finishes first. The destructor of a derived class calls it before it
  // lets go of anything FenceStop uses.
  void Unlink() { link_.reset(); }
  // Links this producer's own stop to a shared source: called by the
  // derived class's constructor once FenceStop works (a source stopped
  // already calls it at once).
  void Link() {
    if (shared_) link_.emplace(source_.get_token(), StopOwn{this});
  }

 private:
  struct StopOwn {
    BasicProducer* self;
    void operator()() const { self->RequestOwnStop(); }
  };
  void RequestOwnStop() {
    FenceStop();
    own_.request_stop();
  }

  std::stop_source source_;
  std::stop_source own_;
  bool shared_ = false;
  std::optional<std::stop_callback<StopOwn>> link_;
};

template <char Variant>
class Producer final : public BasicProducer {
 public:
  static constexpr char kLetter = Variant;

  // Starts a producer through `library`, with a stop source of its own or
  // one shared with other producers.
  explicit Producer(const Library& library) : Producer(library.graveyard()) {
    Launch(LauncherFor(library, Variant));
  }
  Producer(const Library& library, std::stop_source source)
      : Producer(library.graveyard(), std::move(source)) {
    Launch(LauncherFor(library, Variant));
  }
  // A temporary Library would be unloaded before the producer ends.
  explicit Producer(const Library&&) = delete;
  Producer(const Library&&, std::stop_source) = delete;

  // Starts it through `launch`; the stopped structure goes to `graveyard`,
  // which must outlive the producer thread. No variant is refused here:
  // the caller knows whether `launch` crosses a module boundary.
  Producer(const Launcher& launch, Graveyard& graveyard) : Producer(graveyard) { Launch(launch); }
  Producer(const Launcher& launch, Graveyard& graveyard, std::stop_source source)
      : Producer(graveyard, std::move(source)) {
    Launch(launch);
  }

  ~Producer() override {
    Unlink();
    if (!launched_) return;  // the structure goes at once: no producer ran
    if (!StopRequested()) {
      // A batch waiting to be taken goes back first (nobody wants its
      // records): the stop then finds no batch out, and the producer ends
      // with its last signal rather than leaving a grace period to wait.
      if (grave_->side.AwaitAnnouncement(HandOverClock::now())) (void)grave_->side.Take();
    }
    StopThis();
    graveyard_.Bury(std::move(grave_));
  }

  char Letter() const override { return Variant; }

  bool AwaitAnnouncement(const Deadline& deadline) override {
    return grave_->side.AwaitAnnouncement(deadline);
  }
  HandOverClock::time_point AnnouncedAt() const override { return grave_->side.AnnouncedAt(); }
  bool Ended() const override { return grave_->side.Ended(); }
  Outlook outlook() const override { return grave_->side.outlook(); }

 private:
  explicit Producer(Graveyard& graveyard)
      : graveyard_(graveyard), grave_(std::make_unique<Grave>(Token())) {}
  Producer(Graveyard& graveyard, std::stop_source source)
      : BasicProducer(std::move(source)),
        graveyard_(graveyard),
        grave_(std::make_unique<Grave>(Token())) {
    Link();
  }

  // Should it throw, no producer runs and the structure goes at once.
  void Launch(const Launcher& launch) {
    launch(Variant, grave_->side.Shared());
    launched_ = true;
  }

  // The structure and what it owns, kept until the producer is done with
  // them.
  struct Grave final : Graveyard::Grave {
    explicit Grave(std::stop_token token) : side(std::move(token)) {}

    bool Settle(const std::optional<Graveyard::Clock::time_point>& deadline,
                Graveyard::Clock::duration grace) override {
      for (;;) {
        switch (side.outlook()) {
          case Outlook::kEnded:
            return true;
          case Outlook::kNoLastSignal:
            // B to E: a batch came after the stop; the producer is done once
            // the stop's request has returned. A: nothing tells, a grace
            // period does.
            if constexpr (Variant == 'A') {
              return AwaitGraceEnd(deadline, grace);
            } else {
              return side.AwaitProducerDone(deadline);
            }
          default:
            // After the stop exactly one more thing comes: the last signal,
            // or a batch that went out after it. Take it and look again.
            if (!side.AwaitAnnouncement(deadline)) return false;
            (void)side.Take();  // after the stop: the queue stays as it is
        }
      }
    }

    // The grace period, from the moment it is known to be needed; A's
    // producer may also still hold mxShared, in a pause it has not yet left.
    bool AwaitGraceEnd(const std::optional<Graveyard::Clock::time_point>& deadline,
                       Graveyard::Clock::duration grace) {
      if (grace_ends == Graveyard::Clock::time_point::max()) {
        grace_ends = Graveyard::Clock::now() + grace;
      }
      if (deadline) return Graveyard::Clock::now() >= grace_ends && MutexFree(false);
      std::this_thread::sleep_until(grace_ends);
      return MutexFree(true);
    }
    // Whether A's producer has let go of mxShared (`wait`: once it has).
    bool MutexFree(bool wait) {
      if constexpr (Variant == 'A') {
        std::unique_lock lock(side.state().mxShared, std::defer_lock);
        if (wait) {
          lock.lock();
          return true;
        }
        return lock.try_lock();
      } else {
        (void)wait;
        return true;
      }
    }

    HandOver<Variant> side;
    // When the grace period ends, once it is known that one is needed.
    Graveyard::Clock::time_point grace_ends = Graveyard::Clock::time_point::max();
  };

  void FenceStop() override { grave_->side.FenceStop(); }

  Delivery Next(HandOverClock::time_point deadline) override {
    HandOver<Variant>& side = grave_->side;
    // Stopped with a batch out, which has been taken: nothing more comes.
    if (Variant != 'A' && side.outlook() == Outlook::kNoLastSignal) {
      return Delivery{Arrival::kEnded, {}};
    }
    if (!side.AwaitAnnouncement(AsDeadline(deadline))) return {};
    return side.Take();
  }

  Graveyard& graveyard_;
  std::unique_ptr<Grave> grave_;
  bool launched_ = false;
};

// A Producer whose letter ('A' to 'E', either case) is chosen at run time,
// with the same calls.
class AnyProducer {
 public:
  AnyProducer(char letter, const Library& library)
      : AnyProducer(letter, LauncherFor(library, letter), library.graveyard()) {}
  AnyProducer(char letter, const Library& library, std::stop_source source)
      : AnyProducer(letter, LauncherFor(library, letter), library.graveyard(), std::move(source)) {}
  AnyProducer(char, const Library&&) = delete;
  AnyProducer(char, const Library&&, std::stop_source) = delete;

  AnyProducer(char letter, const Launcher& launch, Graveyard& graveyard)
      : producer_(Make(letter, launch, graveyard, std::nullopt)) {}
  AnyProducer(char letter, const Launcher& launch, Graveyard& graveyard, std::stop_source source)
      : producer_(Make(letter, launch, graveyard, std::move(source))) {}

  char Letter() const { return producer_->Letter(); }
  Delivery Wait() { return producer_->Wait(); }
  template <class Rep, class Period>
  Delivery WaitFor(std::chrono::duration<Rep, Period> limit) {
    return producer_->WaitFor(limit);
  }
  Delivery WaitUntil(HandOverClock::time_point deadline) { return producer_->WaitUntil(deadline); }
  Delivery Poll() { return producer_->Poll(); }
  bool AwaitAnnouncement(const Deadline& deadline) {
    return producer_->AwaitAnnouncement(deadline);
  }
  HandOverClock::time_point AnnouncedAt() const { return producer_->AnnouncedAt(); }
  bool Ended() const { return producer_->Ended(); }
  Outlook outlook() const { return producer_->outlook(); }
  void Stop() { producer_->Stop(); }
  void StopThis() { producer_->StopThis(); }
  bool StopRequested() const { return producer_->StopRequested(); }
  std::stop_source source() const { return producer_->source(); }

 private:
  template <char V>
  static std::unique_ptr<BasicProducer> MakeOne(const Launcher& launch, Graveyard& graveyard,
                                                std::optional<std::stop_source> source) {
    if (source) return std::make_unique<Producer<V>>(launch, graveyard, std::move(*source));
    return std::make_unique<Producer<V>>(launch, graveyard);
  }
  static std::unique_ptr<BasicProducer> Make(char letter, const Launcher& launch,
                                             Graveyard& graveyard,
                                             std::optional<std::stop_source> source) {
    switch (VariantLetter(letter)) {
      case 'A':
        return MakeOne<'A'>(launch, graveyard, std::move(source));
      case 'B':
        return MakeOne<'B'>(launch, graveyard, std::move(source));
      case 'C':
        return MakeOne<'C'>(launch, graveyard, std::move(source));
      case 'D':
        return MakeOne<'D'>(launch, graveyard, std::move(source));
      case 'E':
        return MakeOne<'E'>(launch, graveyard, std::move(source));
      default:
        throw std::invalid_argument(std::string("No producer variant '") + letter + "' (A to E)");
    }
  }

  std::unique_ptr<BasicProducer> producer_;
};

}  // namespace tavisor
