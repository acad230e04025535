#include "producer/launch.h"

#include "platform/module.h"
#include "producer/producer.h"

namespace tavisor {

void LaunchProducer(char letter, void* shared) {
  platform::KeepLoadedForGood();
  // Detached once set up: leaving here neither stops nor joins it.
  StartProducerThread(letter, shared).detach();
}

}  // namespace tavisor
