// A producer of one variant running the internal RunProducer on a thread of
// its own (so that its CPU time can be read and it can be joined), with the
// client side of the public headers (tavisor/producer.h), pausing steps of
// a PauseUnit of the benchmark's.
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
  explicit ProducerRun(const PauseUnit& pause_unit) : pause_unit_(pause_unit) {}
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
  const PauseUnit& pause_unit_;
  Graveyard graveyard_{Clock::duration::zero()};  // the thread is joined first
  std::thread thread_;
  Producer<Variant> producer_{[this](char letter, void* shared) {
                                thread_ = std::thread([letter, shared, unit = &pause_unit_] {
                                  RunProducer(letter, shared, {unit});
                                });
                              },
                              graveyard_};
};

}  // namespace tavisor::bench
