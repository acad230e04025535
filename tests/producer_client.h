// The library's tests drive producers on threads of their own, through the
// client side of the public headers (tavisor/internal/hand_over.h) with a stop
// source of the test's: this adaptor only words its calls the way the tests
// ask their questions.
#pragma once

#include <chrono>
#include <optional>
#include <stop_token>
#include <utility>

#include "hand_over_peer.h"
#include "tavisor/internal/hand_over.h"
#include "test_support.h"

namespace tavisor::testing {

using namespace std::chrono_literals;
using ::tavisor::Batch;

template <char Variant>
class ProducerClient {
 public:
  explicit ProducerClient(std::stop_source source = {})
      : source_(std::move(source)), side_(source_.get_token()) {}

  // As a client stops from any thread: a hand-back in progress first.
  void RequestStop() {
    side_.FenceStop();
    source_.request_stop();
  }
  std::stop_source& source() { return source_; }
  void* shared() { return side_.Shared(); }
  SharedState<Variant>& state() { return internal::HandOverPeer::State(side_); }
  internal::HandOver<Variant>& side() { return side_; }

  // What the producer sent within `timeout`: a batch, or no records for its
  // last signal; nullopt when it sent nothing (variant A never signals).
  // Without `notify` the queue is emptied but cvShared is not notified.
  std::optional<Batch> Take(std::chrono::milliseconds timeout, bool notify = true) {
    if (side_.Ended() || !Announced(timeout)) return std::nullopt;
    Delivery d = internal::HandOverPeer::Take(side_, notify);
    if (Variant == 'A' && d.what == Arrival::kEnded) return std::nullopt;
    return std::move(d.batch);
  }
  // Waits for the next announcement and leaves the batch with the producer;
  // the next Take takes it.
  bool Announced(std::chrono::milliseconds timeout) {
    return side_.AwaitAnnouncement(Clock::now() + timeout);
  }
  // Whether the producer has sent something that nobody took yet.
  bool Signalled() { return Take(0ms).has_value(); }
  // After a stop: lets the producer's last signal come, which it does at
  // once if at all, and leaves it for a later Take or the release.
  void AbsorbLastSignal() { (void)Announced(300ms); }

 private:
  std::stop_source source_;
  internal::HandOver<Variant> side_;
};

}  // namespace tavisor::testing
