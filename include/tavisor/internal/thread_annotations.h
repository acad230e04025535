// What guards what, in a form the compiler checks: clang's thread-safety
// analysis (-Wthread-safety) over a mutex and locks that carry its
// attributes. Elsewhere the macros expand to nothing and the types are
// plain wrappers of std::mutex and std::unique_lock.
//
//   internal::Mutex mutex_;
//   int count_ TAVISOR_GUARDED_BY(mutex_) = 0;
//   void Bump() TAVISOR_REQUIRES(mutex_);      // the caller holds mutex_
//   ...
//   const internal::MutexLock lock(mutex_);    // as std::lock_guard
//   internal::UniqueLock lock(mutex_);         // as std::unique_lock
//   changed_.wait(lock.native(), [this]() TAVISOR_REQUIRES(mutex_) { ... });
//
// libstdc++'s std::mutex carries no such attributes, so members guarded by
// one (the client's mxShared) cannot be named here.
#pragma once

#include "tavisor/build_requirements.h"

#include <mutex>

#if defined(__clang__)
#define TAVISOR_THREAD_ANNOTATION(x) __attribute__((x))
#else
#define TAVISOR_THREAD_ANNOTATION(x)
#endif

// Types: a capability (a mutex), and an object that holds one for its scope.
#define TAVISOR_CAPABILITY(name) TAVISOR_THREAD_ANNOTATION(capability(name))
#define TAVISOR_SCOPED_CAPABILITY TAVISOR_THREAD_ANNOTATION(scoped_lockable)

// Data: read and written only while the capability is held (of a pointer:
// what it points to).
#define TAVISOR_GUARDED_BY(x) TAVISOR_THREAD_ANNOTATION(guarded_by(x))
#define TAVISOR_PT_GUARDED_BY(x) TAVISOR_THREAD_ANNOTATION(pt_guarded_by(x))

// Functions: called with the capability held, or not held; acquiring,
// releasing or trying to acquire it; returning it.
#define TAVISOR_REQUIRES(...) TAVISOR_THREAD_ANNOTATION(requires_capability(__VA_ARGS__))
#define TAVISOR_EXCLUDES(...) TAVISOR_THREAD_ANNOTATION(locks_excluded(__VA_ARGS__))
#define TAVISOR_ACQUIRE(...) TAVISOR_THREAD_ANNOTATION(acquire_capability(__VA_ARGS__))
#define TAVISOR_RELEASE(...) TAVISOR_THREAD_ANNOTATION(release_capability(__VA_ARGS__))
#define TAVISOR_TRY_ACQUIRE(...) TAVISOR_THREAD_ANNOTATION(try_acquire_capability(__VA_ARGS__))
#define TAVISOR_RETURN_CAPABILITY(x) TAVISOR_THREAD_ANNOTATION(lock_returned(x))

// A function the analysis cannot follow, checked by reading instead.
#define TAVISOR_NO_THREAD_SAFETY_ANALYSIS TAVISOR_THREAD_ANNOTATION(no_thread_safety_analysis)

namespace tavisor::internal {

// std::mutex as a capability. Lock/Unlock for this code; lock/unlock/
// try_lock for standard lock types (std::scoped_lock, a
// std::condition_variable_any's wait), which the analysis does not follow.
class TAVISOR_CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock() TAVISOR_ACQUIRE() { mutex_.lock(); }
  void Unlock() TAVISOR_RELEASE() { mutex_.unlock(); }
  bool TryLock() TAVISOR_TRY_ACQUIRE(true) { return mutex_.try_lock(); }

  void lock() TAVISOR_ACQUIRE() { mutex_.lock(); }
  void unlock() TAVISOR_RELEASE() { mutex_.unlock(); }
  bool try_lock() TAVISOR_TRY_ACQUIRE(true) { return mutex_.try_lock(); }

 private:
  friend class UniqueLock;
  std::mutex mutex_;
};

// Holds a Mutex for its scope, as std::lock_guard.
class TAVISOR_SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) TAVISOR_ACQUIRE(mutex) : mutex_(mutex) { mutex_.Lock(); }
  ~MutexLock() TAVISOR_RELEASE() { mutex_.Unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mutex_;
};

// Holds a Mutex for its scope, with a let-go and retake in between, as
// std::unique_lock; native() is what std::condition_variable waits on (its
// wait lets the mutex go and has it again on return, which to the analysis
// is holding it throughout). The condition variables stay std's own: no
// wrapper on the way of a notification.
class TAVISOR_SCOPED_CAPABILITY UniqueLock {
 public:
  explicit UniqueLock(Mutex& mutex) TAVISOR_ACQUIRE(mutex) : lock_(mutex.mutex_) {}
  ~UniqueLock() TAVISOR_RELEASE() = default;
  UniqueLock(const UniqueLock&) = delete;
  UniqueLock& operator=(const UniqueLock&) = delete;

  void lock() TAVISOR_ACQUIRE() { lock_.lock(); }
  void unlock() TAVISOR_RELEASE() { lock_.unlock(); }
  bool owns_lock() const { return lock_.owns_lock(); }

  std::unique_lock<std::mutex>& native() { return lock_; }

 private:
  std::unique_lock<std::mutex> lock_;
};

}  // namespace tavisor::internal
