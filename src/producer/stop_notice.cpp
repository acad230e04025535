#include "producer/stop_notice.h"

namespace tavisor {

void StopNotice::PrintOnce() {
  {
    internal::UniqueLock lock(mutex_);
    if (progress_ != Progress::kNotBegun) {
      // The other side claimed the pair first; it only prints.
      printed_cv_.wait(lock.native(), [this]() TAVISOR_REQUIRES(mutex_) {
        return progress_ == Progress::kPrinted;
      });
      return;
    }
    progress_ = Progress::kPrinting;
  }
  // One write for both lines, so that no other line comes between them.
  console_.WriteLines({"Loop in DLL broken off", "Type a command"});
  const internal::MutexLock lock(mutex_);
  progress_ = Progress::kPrinted;
  printed_cv_.notify_all();
}

}  // namespace tavisor
