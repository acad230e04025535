// Producers starved of CPU: busy threads on every core and a launcher
// thread at the lowest scheduling class, whose threads inherit it.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

namespace tavisor::testing {

// Keeps every core busy at normal priority and starts producers from a
// thread at the lowest scheduling class (SCHED_IDLE on Linux), which the
// producer threads inherit: they then run only in the gaps, and may be held
// up at any point of their work, right after a last signal too.
class Starvation {
 public:
  Starvation() {
    const unsigned cores = std::max(2u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < cores; ++i) {
      // Mostly busy: the producers get the short gaps, wherever their work
      // happens to be.
      busy_.emplace_back([this] {
        while (!done_.load(std::memory_order_relaxed)) {
          const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(2);
          while (std::chrono::steady_clock::now() < until) {
          }
          std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
      });
    }
    launcher_ = std::thread([this] { Serve(); });
  }
  ~Starvation() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    changed_.notify_all();
    launcher_.join();
    for (std::thread& t : busy_) t.join();
  }
  Starvation(const Starvation&) = delete;
  Starvation& operator=(const Starvation&) = delete;

  // Runs `job` on the starved thread and returns once it has run: a
  // producer started there runs starved too.
  void Run(std::function<void()> job) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !job_; });  // another caller's job first
    job_ = std::move(job);
    changed_.notify_all();
    changed_.wait(lock, [this] { return !job_; });
  }

 private:
  void Serve() {
#if defined(__linux__)
    const sched_param param{};
    pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
#endif
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return job_ || done_; });
      if (done_) return;
      job_();
      job_ = nullptr;
      changed_.notify_all();
    }
  }

  std::atomic<bool> done_{false};
  std::vector<std::thread> busy_;
  std::thread launcher_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> job_;
};

}  // namespace tavisor::testing
