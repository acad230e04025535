#include "producer/launch.h"

#include <future>
#include <thread>
#include <utility>

#include "platform/module.h"
#include "producer/producer.h"

namespace tavisor {

void LaunchProducer(char letter, void* shared, const ProducerEnvironment& env) {
  platform::KeepLoadedForGood();
  std::promise<void> set_up;
  std::future<void> ready = set_up.get_future();
  // Detached: leaving here neither stops nor joins it. The producer takes
  // no stop token of the thread's: it stops on the client's.
  std::thread(RunProducer, letter, shared, env, std::move(set_up)).detach();
  // Short: the producer prints a line and registers a callback, then its
  // first pause begins on its own.
  ready.get();
}

}  // namespace tavisor
