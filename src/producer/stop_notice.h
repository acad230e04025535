// The two lines a producer prints when its stop is requested, exactly once.
#pragma once

#include <condition_variable>

#include "platform/console.h"
#include "tavisor/internal/thread_annotations.h"

namespace tavisor {

// Registered as the producer's stop callback (OnRequest), and called again
// by the producer itself on its way out. Whichever comes first prints the
// pair; the other waits only until that print is over, which depends on
// nothing but the console.
//
// Why both: request_stop() runs callbacks newest first, so the wake-up of a
// pause or final wait, and any stop callback of the client's registered
// after Start, run before OnRequest. A producer that has been woken and
// ends could otherwise deregister OnRequest before it ever ran, and the
// lines would never come; and a producer that waited for OnRequest would
// hang whenever a client callback ahead of it waits for the producer (takes
// mxShared, or waits for the last signal). So the producer never waits for
// OnRequest to begin: if it has not, the producer prints the pair itself.
//
// Either way the pair is whole when request_stop() returns, and comes
// before the last signal of a producer stopped during its pause.
class StopNotice {
 public:
  explicit StopNotice(platform::Console console) : console_(console) {}
  // OnRequest: runs on the thread that requests the stop, inside the request.
  void operator()() { PrintOnce(); }
  // The producer, once it has seen the stop: with no lock of the client's
  // held, and before its last signal.
  void EnsurePrinted() { PrintOnce(); }

 private:
  enum class Progress { kNotBegun, kPrinting, kPrinted };

  void PrintOnce();

  const platform::Console console_;
  internal::Mutex mutex_;
  std::condition_variable printed_cv_;
  Progress progress_ TAVISOR_GUARDED_BY(mutex_) = Progress::kNotBegun;
};

}  // namespace tavisor
