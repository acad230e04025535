// One producer started by the demo and the client thread that takes its
// batches: the consumer frame shared by all variants.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

#include "output.h"
#include "protocols.h"

namespace demo {

using Clock = std::chrono::steady_clock;

// How long a stopped producer may take to send its last signal. A producer
// reacts to a stop at once: it cuts its pause short, finishes a batch it has
// begun (a matter of milliseconds) and sends at most one more signal. The
// library offers no signal for its end, so this is the demo's bound: what
// has not come by then will not come, and a producer stopped that long ago
// no longer touches its SharedState or the library.
inline constexpr std::chrono::seconds kStopGrace{2};

// Starts a producer: the library's Start(version, shared).
using Starter = std::function<void(char, void*)>;

class Session {
 public:
  virtual ~Session() = default;

  virtual char Letter() const = 0;
  // Asks the producer to stop. The library prints its two stop lines on
  // this thread, inside the call.
  virtual void RequestStop() = 0;
  // Waits until the client thread has taken the producer's last
  // announcement, or until `deadline`; then sends the producer's last
  // signal itself if it has not come (and returns true), and joins the
  // client thread.
  virtual bool Finish(Clock::time_point deadline) = 0;
  // Deletes the records that came after the client thread had finished and
  // returns how many. Only once the producer has ended.
  virtual std::size_t ReleaseLeftovers() = 0;

  virtual std::size_t Batches() const = 0;
  virtual std::size_t Records() const = 0;
  // Waits until `batches` batches have come, or until `deadline`.
  virtual bool AwaitBatches(std::size_t batches, Clock::time_point deadline) = 0;
};

// Starts a producer of Protocol's variant through `start` and a client
// thread that prints every record as it comes and deletes it. Throws what
// `start` throws; then nothing runs.
template <class Protocol>
class SessionOf final : public Session {
 public:
  SessionOf(const Starter& start, Output& output, int number)
      : output_(output), number_(number), protocol_(source_.get_token()) {
    // The client thread waits first: whatever the producer sends finds it.
    consumer_ = std::thread([this] { Consume(); });
    try {
      start(Protocol::kLetter, protocol_.Shared());
    } catch (...) {
      // No producer runs, so the client thread's last signal comes from here.
      source_.request_stop();
      protocol_.StandIn();
      consumer_.join();
      throw;
    }
  }
  // Producers stops and finishes every session first; this is a safety net.
  ~SessionOf() override {
    if (consumer_.joinable()) {
      RequestStop();
      Finish(Clock::now() + kStopGrace);
    }
  }

  char Letter() const override { return Protocol::kLetter; }
  void RequestStop() override { source_.request_stop(); }

  bool Finish(Clock::time_point deadline) override {
    if (!consumer_.joinable()) return false;
    std::unique_lock lock(mutex_);
    const bool stand_in = !changed_.wait_until(lock, deadline, [this] { return finished_; });
    lock.unlock();
    // The producer was waiting for its last batch to be taken when the stop
    // came: it ended without a word, and the client thread still waits for
    // one.
    if (stand_in) protocol_.StandIn();
    consumer_.join();
    return stand_in;
  }

  std::size_t ReleaseLeftovers() override { return protocol_.ReleaseLeftovers(); }

  std::size_t Batches() const override {
    std::lock_guard lock(mutex_);
    return batches_;
  }
  std::size_t Records() const override {
    std::lock_guard lock(mutex_);
    return records_;
  }
  bool AwaitBatches(std::size_t batches, Clock::time_point deadline) override {
    std::unique_lock lock(mutex_);
    return changed_.wait_until(lock, deadline, [&] { return batches_ >= batches || finished_; }) &&
           batches_ >= batches;
  }

 private:
  // After a stop the producer sends at most one more announcement, or none
  // if it was waiting for its batch to be taken. So the client thread ends
  // after the producer's last announcement, or after one wait that began
  // with the stop already requested (Finish stands in if nothing comes).
  void Consume() {
    const std::stop_token stop = source_.get_token();
    std::size_t batch_number = 0;
    for (bool last = false; !last;) {
      const bool stopping = stop.stop_requested();
      Batch batch;
      last = protocol_.Await(batch) || stopping;
      if (batch.empty()) continue;
      Show(++batch_number, batch);  // deletes the records when `batch` goes
      std::lock_guard lock(mutex_);
      batches_ = batch_number;
      records_ += batch.size();
      changed_.notify_all();
    }
    std::lock_guard lock(mutex_);
    finished_ = true;
    changed_.notify_all();
  }

  void Show(std::size_t batch_number, const Batch& batch) {
    for (std::size_t i = 0; i < batch.size(); ++i) {
      output_.Record("--- producer " + std::to_string(number_) + " (" + Protocol::kLetter +
                         "), batch " + std::to_string(batch_number) + ", record " +
                         std::to_string(i + 1) + " of " + std::to_string(batch.size()),
                     *batch[i]);
    }
  }

  Output& output_;
  const int number_;
  std::stop_source source_;
  Protocol protocol_;
  std::thread consumer_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool finished_ = false;
  std::size_t batches_ = 0;
  std::size_t records_ = 0;
};

// A session of variant `letter` ('A' to 'E').
std::unique_ptr<Session> StartSession(char letter, const Starter& start, Output& output,
                                      int number);

}  // namespace demo
