// What a producer hands the client: a Delivery of a batch of records, or
// word that nothing more comes, and what is still to come after a stop.
#pragma once

#include "tavisor/build_requirements.h"

#include <chrono>
#include <memory>
#include <optional>
#include <vector>

#include "tavisor/clock.h"
#include "tavisor/item.h"

namespace tavisor {

// Another name for tavisor::Clock, kept for clients that use it.
using HandOverClock = Clock;
// No value: no time limit.
using Deadline = std::optional<HandOverClock::time_point>;

// The records of one batch, owned by the client.
using Batch = std::vector<std::unique_ptr<Item>>;

enum class Arrival {
  kNothing,  // nothing came within the time limit
  kBatch,    // a batch of 1 to 4 records
  kEnded,    // the producer's last signal (A: its stop): nothing more comes
};

struct Delivery {
  Arrival what = Arrival::kNothing;
  Batch batch;  // the records, for kBatch
};

// What a producer will still send, as far as the client's side knows.
enum class Outlook {
  kRunning,        // no stop has been requested
  kLastSignalDue,  // stopped: one more batch or the last signal will come
  kEnded,          // the last signal has come: the producer no longer
                   // touches the structure
  kNoLastSignal,   // stopped with a batch out, or variant A: nothing more
                   // comes (B to E: the producer is done with the structure
                   // once the stop's request has returned)
  kUnsure [[deprecated("never reported: a hand-back no longer crosses a stop")]],
};

}  // namespace tavisor
