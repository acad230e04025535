#include "producer/launch.h"

#include <stdexcept>
#include <string>

namespace tavisor {

void LaunchProducer(char letter, void*) {
  throw std::logic_error(std::string("Producer variant ") + letter + " is not available yet");
}

}  // namespace tavisor
