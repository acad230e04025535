// OnRequest: the two lines a producer prints when its stop is requested.
#pragma once

#include <condition_variable>
#include <mutex>

namespace tavisor {

// Registered as the producer's stop callback. request_stop() may wake the
// producer (through a wait's own callback) before this one has run; if the
// producer then ended and deregistered it, the lines would never come. So a
// producer that has seen the stop calls AwaitPrinted() before it sends its
// last signal or ends.
class StopNotice {
 public:
  // OnRequest: runs on the thread that requests the stop, inside the request.
  void operator()();
  void AwaitPrinted();

 private:
  std::mutex mutex_;
  std::condition_variable printed_cv_;
  bool printed_ = false;
};

}  // namespace tavisor
