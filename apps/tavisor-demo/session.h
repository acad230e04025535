// One producer started by the demo and the client thread that takes its
// batches, on the client side of the public headers (tavisor/producer.h).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "output.h"
#include "tavisor/internal/thread_annotations.h"
#include "tavisor/producer.h"
#include "tavisor/timeline.h"

namespace demo {

using Clock = tavisor::Clock;

class Session {
 public:
  // Starts a producer of variant `letter` ('A' to 'E') through `launch` and
  // a client thread that prints every record as it comes and deletes it.
  // With a `timeline`, the producer's hand-over goes on a lane of its own
  // and the printing of each batch on the client's lane. Throws what
  // starting throws; then nothing runs.
  Session(char letter, const tavisor::Launcher& launch, tavisor::Graveyard& graveyard,
          console::Output& output, int number,
          std::shared_ptr<tavisor::Timeline> timeline = nullptr)
      : output_(output),
        number_(number),
        producer_(letter, launch, graveyard),
        timeline_(std::move(timeline)) {
    if (timeline_) producer_.RecordTimeline(timeline_, Name());
    consumer_ = std::thread([this] { Consume(); });
  }
  // Producers stops and finishes every session first; this is a safety net.
  ~Session() {
    if (consumer_.joinable()) {
      RequestStop();
      Finish();
    }
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  char Letter() const { return producer_.Letter(); }
  // Asks the producer to stop. The library prints its two stop lines on
  // this thread, inside the call.
  void RequestStop() { producer_.Stop(); }
  // Waits until the client thread has seen that nothing more comes (the
  // producer's last signal, or a batch that was out when the stop came),
  // and joins it. True when the producer ended without a last signal.
  bool Finish() {
    if (!consumer_.joinable()) return false;
    consumer_.join();
    return !producer_.Ended();
  }
  // Deletes the records that came after the client thread had finished
  // and returns how many. Only once the producer has ended.
  std::size_t ReleaseLeftovers() {
    std::size_t released = 0;
    for (tavisor::Delivery d = producer_.Poll(); d.what == tavisor::Arrival::kBatch;
         d = producer_.Poll()) {
      released += d.batch.size();
    }
    return released;
  }

  std::size_t Batches() const {
    const tavisor::internal::MutexLock lock(mutex_);
    return batches_;
  }
  std::size_t Records() const {
    const tavisor::internal::MutexLock lock(mutex_);
    return records_;
  }
  // Waits until `batches` batches have come, or until `deadline`.
  bool AwaitBatches(std::size_t batches, Clock::time_point deadline) {
    tavisor::internal::UniqueLock lock(mutex_);
    const auto done = [&]() TAVISOR_REQUIRES(mutex_) { return batches_ >= batches || finished_; };
    return changed_.wait_until(lock.native(), deadline, done) && batches_ >= batches;
  }

 private:
  // After a stop the producer sends at most one more batch, then its last
  // signal or nothing; either way the wait says kEnded once nothing more
  // comes, so the thread needs no time limit.
  void Consume() {
    for (tavisor::Delivery d = producer_.Wait(); d.what != tavisor::Arrival::kEnded;
         d = producer_.Wait()) {
      if (d.what == tavisor::Arrival::kBatch) Show(d.batch);  // deletes the records when `d` goes
    }
    const tavisor::internal::MutexLock lock(mutex_);
    finished_ = true;
    changed_.notify_all();
  }

  std::string Name() const { return "producer " + std::to_string(number_) + " (" + Letter() + ")"; }

  void Show(const tavisor::Batch& batch) {
    const std::size_t batch_number = Batches() + 1;
    const Clock::time_point began = Clock::now();
    for (std::size_t i = 0; i < batch.size(); ++i) {
      output_.Record("--- " + Name() + ", batch " + std::to_string(batch_number) + ", record " +
                         std::to_string(i + 1) + " of " + std::to_string(batch.size()),
                     *batch[i]);
    }
    if (timeline_) {
      timeline_->Span("prints batch " + std::to_string(batch_number) + " of " + Name(), began,
                      Clock::now());
    }
    const tavisor::internal::MutexLock lock(mutex_);
    batches_ = batch_number;
    records_ += batch.size();
    changed_.notify_all();
  }

  console::Output& output_;
  const int number_;
  tavisor::AnyProducer producer_;
  const std::shared_ptr<tavisor::Timeline> timeline_;
  std::thread consumer_;
  mutable tavisor::internal::Mutex mutex_;
  std::condition_variable changed_;
  bool finished_ TAVISOR_GUARDED_BY(mutex_) = false;
  std::size_t batches_ TAVISOR_GUARDED_BY(mutex_) = 0;
  std::size_t records_ TAVISOR_GUARDED_BY(mutex_) = 0;
};

}  // namespace demo
