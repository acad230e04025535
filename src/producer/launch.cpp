#include "producer/launch.h"

#include <thread>

#include "producer/producer.h"

namespace tavisor {

void LaunchProducer(char letter, void* shared) {
  // The thread runs the variant's producer with its own copy of `shared`;
  // the producer takes no stop token, so the thread object's own stop source
  // is never seen. Detached at once: leaving here neither stops nor joins it.
  std::jthread thr(ProducerFor(letter), shared);
  thr.detach();
}

}  // namespace tavisor
