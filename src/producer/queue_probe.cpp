#include "producer/queue_probe.h"

namespace tavisor {

#if defined(__GNUC__)
__attribute__((noinline))
#elif defined(_MSC_VER)
__declspec(noinline)
#endif
bool QueueLooksEmpty(const ItemQueue& queue) {
  return queue.empty();
}

}  // namespace tavisor
