// A library producer on a thread that the test joins, started as Start
// starts one, in an environment of the test's.
#pragma once

#include <future>
#include <thread>
#include <utility>

#include "producer/producer.h"

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

}  // namespace tavisor::testing
