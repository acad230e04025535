#include "producer/launch.h"

#include "producer/producer.h"

namespace tavisor {

void LaunchProducer(char letter, void* shared) {
  // Detached once set up: leaving here neither stops nor joins it.
  StartProducerThread(letter, shared).detach();
}

}  // namespace tavisor
