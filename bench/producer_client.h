// A producer of one variant running the internal RunProducer on a thread of
// its own (so that its CPU time can be read and it can be joined), with the
// client side of the public headers (tavisor/producer.h).
#pragma once

#include <chrono>
#include <thread>

#include "producer/producer.h"
#include "tavisor/producer.h"

namespace tavisor::bench {

using Clock = std::chrono::steady_clock;

template <char Variant>
class ProducerRun {
 public:
  ProducerRun() = default;
  ~ProducerRun() { Stop(); }
  ProducerRun(const ProducerRun&) = delete;
  ProducerRun& operator=(const ProducerRun&) = delete;

  Producer<Variant>& Client() { return producer_; }
  std::thread& Thread() { return thread_; }

  // Requests the stop and waits until the producer has ended.
  void Stop() {
    if (!thread_.joinable()) return;
    producer_.Stop();
    thread_.join();
  }

 private:
  Graveyard graveyard_{Clock::duration::zero()};  // the thread is joined first
  std::thread thread_;
  Producer<Variant> producer_{[this](char letter, void* shared) {
                                thread_ =
                                    std::thread([letter, shared] { RunProducer(letter, shared); });
                              },
                              graveyard_};
};

}  // namespace tavisor::bench
