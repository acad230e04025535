#include "producer/stop_notice.h"

#include "platform/console.h"

namespace tavisor {

void StopNotice::operator()() {
  platform::WriteConsoleLine("Loop in DLL broken off");
  platform::WriteConsoleLine("Type a command");
  std::lock_guard lock(mutex_);
  printed_ = true;
  printed_cv_.notify_all();
}

void StopNotice::AwaitPrinted() {
  std::unique_lock lock(mutex_);
  printed_cv_.wait(lock, [this] { return printed_; });
}

}  // namespace tavisor
