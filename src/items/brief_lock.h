// A lock for critical sections of a few hundred nanoseconds, such as the
// draws of one record from an engine.
#pragma once

#include <atomic>

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#include <immintrin.h>
#else
#include <thread>
#endif

// libstdc++ on Windows (MinGW) has no futex under std::atomic's wait: its
// waiters sleep on a condition variable that notify signals without taking
// the waiter's mutex, so a notification between a waiter's last check and
// its sleep is lost (g++ 12) and the lock would stay asleep for ever. There
// the lock sleeps on the system's own address wait instead.
#if defined(_WIN32) && defined(__GLIBCXX__)
#define TAVISOR_BRIEF_LOCK_WAIT_ON_ADDRESS 1
#include <windows.h>  // WaitOnAddress, WakeByAddressSingle (synchronization library)
#endif

namespace tavisor {

// A thread that finds the lock taken spins for a moment before it sleeps:
// a sleep and a wake-up in the kernel at every collision of two threads
// making records would take many times longer than the draws themselves
// (bench/README.md). Sleeping and waking go through the atomic's wait and
// notify, so a holder that is preempted costs its waiters no more than a
// brief spin.
class BriefLock {
 public:
  void lock() noexcept {
    for (int spin = 0; spin < kSpins; ++spin) {
      if (try_lock()) return;
      Relax();
    }
    // Marks the lock as having a sleeper, so that unlock wakes one.
    while (state_.exchange(kTakenWithSleepers, std::memory_order_acquire) != kFree) {
      WaitWhileTaken();
    }
  }

  bool try_lock() noexcept {
    int expected = kFree;
    return state_.load(std::memory_order_relaxed) == kFree &&
           state_.compare_exchange_strong(expected, kTaken, std::memory_order_acquire,
                                          std::memory_order_relaxed);
  }

  void unlock() noexcept {
    if (state_.exchange(kFree, std::memory_order_release) == kTakenWithSleepers) {
#if defined(TAVISOR_BRIEF_LOCK_WAIT_ON_ADDRESS)
      ::WakeByAddressSingle(&state_);
#else
      state_.notify_one();
#endif
    }
  }

 private:
  static constexpr int kFree = 0;
  static constexpr int kTaken = 1;
  static constexpr int kTakenWithSleepers = 2;
  // About a microsecond or two of pauses: several times the longest hold.
  static constexpr int kSpins = 64;

  // Until the state is no longer "taken with sleepers" (or spuriously).
  void WaitWhileTaken() noexcept {
#if defined(TAVISOR_BRIEF_LOCK_WAIT_ON_ADDRESS)
    int taken = kTakenWithSleepers;
    ::WaitOnAddress(&state_, &taken, sizeof taken, INFINITE);
#else
    state_.wait(kTakenWithSleepers, std::memory_order_relaxed);
#endif
  }

  static void Relax() noexcept {
#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
    _mm_pause();
#else
    std::this_thread::yield();
#endif
  }

  std::atomic<int> state_{kFree};
};

}  // namespace tavisor
