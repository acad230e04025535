// The client's view of a producer's queue across a stop.
#pragma once

#include "tavisor/build_requirements.h"

#include <algorithm>
#include <cstddef>

#include "tavisor/delivery.h"
#include "tavisor/shared_state.h"

namespace tavisor::internal {

// A queue as this side sees it: the records from `given` on are new; the
// ones before were given out after a stop and left in place.
class QueueView {
 public:
  // Moves the new records into a Delivery: a batch or, when there are none,
  // the producer's last signal. `hand_back`: empties the queue, which tells
  // the producer the batch has been taken; otherwise leaves it as it is.
  Delivery Take(ItemQueue& queue, bool hand_back) {
    Delivery d;
    given_ = std::min(given_, queue.size());
    d.what = queue.size() == given_ ? Arrival::kEnded : Arrival::kBatch;
    for (auto it = queue.begin() + static_cast<std::ptrdiff_t>(given_); it != queue.end(); ++it) {
      d.batch.emplace_back(*it);
    }
    if (hand_back) {
      queue.clear();
      given_ = 0;
    } else {
      given_ = queue.size();
    }
    return d;
  }
  // The records nobody took; empties the queue.
  Batch Leftovers(ItemQueue& queue) { return Take(queue, true).batch; }

 private:
  std::size_t given_ = 0;
};

}  // namespace tavisor::internal
