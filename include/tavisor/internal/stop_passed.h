// The moment a stop's request has run the stop callbacks of a structure's
// producers.
#pragma once

#include "tavisor/build_requirements.h"

#include <condition_variable>
#include <stop_token>

#include "tavisor/delivery.h"
#include "tavisor/internal/thread_annotations.h"

namespace tavisor::internal {

// Whether the stop's request has run this side's stop callback. It is
// registered before the producer starts, and request_stop() runs callbacks
// newest first, so by then it has run the producer's OnRequest (or found
// it deregistered): a producer that sends no last signal has made its last
// look at the queue before that.
class StopPassed {
 public:
  explicit StopPassed(const std::stop_token& token) : callback_(token, Mark{this}) {}
  StopPassed(const StopPassed&) = delete;
  StopPassed& operator=(const StopPassed&) = delete;

  bool Await(const Deadline& deadline) {
    UniqueLock lock(mutex_);
    const auto passed = [this]() TAVISOR_REQUIRES(mutex_) { return passed_; };
    if (!deadline) {
      passed_cv_.wait(lock.native(), passed);
      return true;
    }
    return passed_cv_.wait_until(lock.native(), *deadline, passed);
  }

 private:
  struct Mark {
    StopPassed* self;
    void operator()() const {
      {
        const MutexLock lock(self->mutex_);
        self->passed_ = true;
      }
      self->passed_cv_.notify_all();
    }
  };

  Mutex mutex_;
  std::condition_variable passed_cv_;
  bool passed_ TAVISOR_GUARDED_BY(mutex_) = false;
  // Last, so that it is deregistered before the members it sets go.
  std::stop_callback<Mark> callback_;
};

}  // namespace tavisor::internal
