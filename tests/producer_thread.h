// Library producers on threads that the test joins, started as Start
// starts them, in an environment of the test's.
#pragma once

#include <chrono>
#include <future>
#include <thread>
#include <utility>
#include <vector>

#include "producer/pause.h"
#include "producer/producer.h"
#include "tavisor/producer.h"

namespace tavisor::testing {

// Returns once the producer has printed its first line and registered its
// stop callback, as Start does. `env`'s pause unit must outlive the thread.
inline std::jthread StartProducerThread(char letter, void* shared, const ProducerEnvironment& env) {
  std::promise<void> set_up;
  std::future<void> ready = set_up.get_future();
  // The producer stops on the client's token, never on the thread's own.
  std::jthread thread([letter, shared, env, set_up = std::move(set_up)]() mutable {
    RunProducer(letter, shared, env, std::move(set_up));
  });
  ready.get();
  return thread;
}

// Producer threads of one test, each running the library's producer, joined
// when the test ends. Declared after the graveyard, before the producers:
// producers stop, then the threads are joined, then the graveyard goes.
class ProducerThreads {
 public:
  ~ProducerThreads() { JoinAll(); }
  // Starts producers as Start does: each call returns once its producer is
  // set up. They pause `pause_unit` steps.
  tavisor::Launcher launcher() {
    return [this](char letter, void* shared) {
      threads_.push_back(StartProducerThread(letter, shared, {&pause_unit}));
    };
  }
  void JoinAll() {
    for (std::jthread& t : threads_) {
      if (t.joinable()) t.join();
    }
  }

  PauseUnit pause_unit{std::chrono::milliseconds(5)};  // pauses of 5 to 50 ms

 private:
  std::vector<std::jthread> threads_;
};

}  // namespace tavisor::testing
