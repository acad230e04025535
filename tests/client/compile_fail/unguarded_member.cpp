// A member guarded by a tavisor::internal::Mutex, reached without holding
// it: under clang's -Wthread-safety every line marked "refused" must fail
// with an error that names the mutex; with TAVISOR_LOCK_HELD (the control)
// the same lines hold it and compile.
#include "tavisor/internal/thread_annotations.h"

#if defined(TAVISOR_LOCK_HELD)
#define HOLD(mutex) const tavisor::internal::MutexLock hold(mutex)
#else
#define HOLD(mutex)
#endif

class Tally {
 public:
  void Bump() {
    HOLD(mutex_);
    ++count_;  // refused
  }
  int Read() const {
    HOLD(mutex_);
    return count_;  // refused
  }
  void BumpTwice() {
    HOLD(mutex_);
    BumpHeld();  // refused
    BumpHeld();  // refused
  }
  // A UniqueLock let go of no longer holds the mutex.
  void BumpAfterUnlock() {
    tavisor::internal::UniqueLock lock(mutex_);
#if !defined(TAVISOR_LOCK_HELD)
    lock.unlock();
#endif
    ++count_;  // refused
  }

 private:
  void BumpHeld() TAVISOR_REQUIRES(mutex_) { ++count_; }

  mutable tavisor::internal::Mutex mutex_;
  int count_ TAVISOR_GUARDED_BY(mutex_) = 0;
};

int main() {
  Tally tally;
  tally.Bump();
  tally.BumpTwice();
  tally.BumpAfterUnlock();
  return tally.Read() == 4 ? 0 : 1;
}
