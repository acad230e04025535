// The one read of the client's queue that no lock serialises.
#pragma once

#include "tavisor/shared_state.h"

namespace tavisor {

// Whether the client has emptied `queue`. Variants B to E call it from the
// producer thread while the client may be removing records: the layouts of
// their structures hold no lock that both sides take around the queue. The
// producer only ever asks whether the queue is empty and asks again at least
// every re-test interval, so a torn answer costs one more interval at most.
// Kept out of line and alone so that race detectors can be told about
// exactly this read.
bool QueueLooksEmpty(const ItemQueue& queue);

}  // namespace tavisor
