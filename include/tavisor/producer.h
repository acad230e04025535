// A producer of the loaded Tavisor library together with the client's side
// of its hand-over: tavisor::Producer<'A'> to tavisor::Producer<'E'> when
// the variant is known when compiling, tavisor::AnyProducer when it is
// chosen at run time. Both are the same code.
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
//     for (const auto& item : d.batch) std::cout << item->name << '\n';
//   }
//   producer.Stop();
//
// Main calls:
//   Wait()            blocks until the next batch, or the producer's last
//                     signal; no time limit and no polling. After Stop() the
//                     last signal may never come (see below): use WaitFor.
//   WaitFor(d), WaitUntil(t)
//                     the same with a time limit: kNothing when it passes.
//   Poll()            the same without blocking.
//   Stop()            requests a stop on the producer's stop source: the
//                     library prints "Loop in DLL broken off" and "Type a
//                     command" before the call returns (from this thread,
//                     or from the producer's when it gets to its end first).
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
// After a stop a producer sends at most one more thing: the batch it was
// making, or, if it was pausing, its last signal (not A), or nothing if it
// was waiting for its batch to be taken.
//
// Several producers may share one stop source: pass it to each; a stop on
// it stops them all.
//
// When it may be destroyed: at any time; the destructor requests the stop.
// The structure cannot go with the object, since the detached producer may
// still use it for a moment after the stop and sends no word when it ends.
// It goes to the Library's graveyard (tavisor/graveyard.h), which destroys
// it a second after the producer's last signal has come, and otherwise when
// the Library is destroyed, which first waits until a second has passed
// since the last burial (a stopped producer ends within moments); the
// records nobody took and E's last buffer are deleted then. A Producer
// must not outlive its Library.
//
// Thread-safety: one thread at a time calls the waits; Stop() may be
// called from any thread, also while another waits (a wait without a time
// limit then returns for variant A only). Destroy the object once no
// thread waits on it. A batch returned happens after the producer's
// appends of it; the hand-back happens before its next appends.
//
// Variant B needs a helper thread per producer. With a MinGW build B and D
// cannot work across the DLL boundary (see VariantUnavailableReason in
// tavisor/hand_over.h): the constructors that take a Library throw
// std::runtime_error for them and start nothing.
#pragma once

#include "tavisor/build_requirements.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>
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

// What every Producer offers, whatever its letter.
class BasicProducer {
 public:
  virtual ~BasicProducer() = default;
  BasicProducer(const BasicProducer&) = delete;
  BasicProducer& operator=(const BasicProducer&) = delete;

  virtual char Letter() const = 0;

  Delivery Wait() { return Next(std::nullopt); }
  template <class Rep, class Period>
  Delivery WaitFor(std::chrono::duration<Rep, Period> limit) {
    return Next(HandOverClock::now() + std::chrono::duration_cast<HandOverClock::duration>(limit));
  }
  Delivery WaitUntil(HandOverClock::time_point deadline) { return Next(deadline); }
  Delivery Poll() { return Next(HandOverClock::now()); }

  virtual bool AwaitAnnouncement(const Deadline& deadline) = 0;
  virtual HandOverClock::time_point AnnouncedAt() const = 0;
  // Whether a wait has returned kEnded.
  virtual bool Ended() const = 0;

  void Stop() { source_.request_stop(); }
  bool StopRequested() const { return source_.stop_requested(); }
  std::stop_source source() const { return source_; }

 protected:
  explicit BasicProducer(std::stop_source source) : source_(std::move(source)) {}
  virtual Delivery Next(const Deadline& deadline) = 0;

 private:
  std::stop_source source_;
};

template <char Variant>
class Producer final : public BasicProducer {
 public:
  static constexpr char kLetter = Variant;

  // Starts a producer through `library`.
  explicit Producer(const Library& library, std::stop_source source = {})
      : Producer(LauncherFor(library, Variant), library.graveyard(), std::move(source)) {}

  // Starts it through `launch`; the stopped structure goes to `graveyard`,
  // which must outlive the producer thread. No variant is refused here:
  // the caller knows whether `launch` crosses a module boundary.
  Producer(const Launcher& launch, Graveyard& graveyard, std::stop_source source = {})
      : BasicProducer(source),
        graveyard_(graveyard),
        grave_(std::make_unique<Grave>(source.get_token())) {
    // Should it throw, no producer runs and the structure goes at once.
    launch(Variant, grave_->side.Shared());
  }

  ~Producer() override {
    Stop();
    graveyard_.Bury(std::move(grave_));
  }

  char Letter() const override { return Variant; }

  bool AwaitAnnouncement(const Deadline& deadline) override {
    return grave_->side.AwaitAnnouncement(deadline);
  }
  HandOverClock::time_point AnnouncedAt() const override { return grave_->side.AnnouncedAt(); }
  bool Ended() const override { return grave_->side.Ended(); }

 private:
  // The structure and what it owns, kept until the producer is done with
  // them.
  struct Grave final : Graveyard::Grave {
    explicit Grave(std::stop_token token) : side(std::move(token)) {}
    std::optional<HandOverClock::time_point> SettledAt() const override { return settled_at; }

    HandOver<Variant> side;
    std::optional<HandOverClock::time_point> settled_at;
  };

  Delivery Next(const Deadline& deadline) override {
    if (!grave_->side.AwaitAnnouncement(deadline)) return {};
    Delivery d = grave_->side.Take();
    if (d.what == Arrival::kEnded && !grave_->settled_at) grave_->settled_at = HandOverClock::now();
    return d;
  }

  Graveyard& graveyard_;
  std::unique_ptr<Grave> grave_;
};

// A Producer whose letter ('A' to 'E', either case) is chosen at run time.
class AnyProducer {
 public:
  AnyProducer(char letter, const Library& library, std::stop_source source = {})
      : AnyProducer(letter, LauncherFor(library, letter), library.graveyard(), std::move(source)) {}

  AnyProducer(char letter, const Launcher& launch, Graveyard& graveyard,
              std::stop_source source = {})
      : producer_(Make(letter, launch, graveyard, std::move(source))) {}

  BasicProducer& operator*() const { return *producer_; }
  BasicProducer* operator->() const { return producer_.get(); }

 private:
  static std::unique_ptr<BasicProducer> Make(char letter, const Launcher& launch,
                                             Graveyard& graveyard, std::stop_source source) {
    switch (VariantLetter(letter)) {
      case 'A':
        return std::make_unique<Producer<'A'>>(launch, graveyard, std::move(source));
      case 'B':
        return std::make_unique<Producer<'B'>>(launch, graveyard, std::move(source));
      case 'C':
        return std::make_unique<Producer<'C'>>(launch, graveyard, std::move(source));
      case 'D':
        return std::make_unique<Producer<'D'>>(launch, graveyard, std::move(source));
      case 'E':
        return std::make_unique<Producer<'E'>>(launch, graveyard, std::move(source));
      default:
        throw std::invalid_argument(std::string("No producer variant '") + letter + "' (A to E)");
    }
  }

  std::unique_ptr<BasicProducer> producer_;
};

}  // namespace tavisor
