// A client of one producer variant, driving the internal RunProducer on a
// thread of its own, with the hand-over protocol of each SharedState layout
// (tavisor/shared_state.h).
#pragma once

#include <barrier>
#include <chrono>
#include <cstddef>
#include <future>
#include <latch>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

#include "producer/producer.h"
#include "tavisor/shared_state.h"

namespace tavisor::bench {

using Clock = std::chrono::steady_clock;

// Deletes the records in `queue` and empties it; returns how many there were.
inline std::size_t DeleteRecords(ItemQueue& queue) {
  const std::size_t n = queue.size();
  for (Item* pit : queue) delete pit;
  queue.clear();
  return n;
}

// The client side of each variant:
//   explicit Side(std::stop_token);
//   void* Shared();
//   void AwaitBatch();     blocks until the producer has announced a batch;
//                          on return the client holds it
//   std::size_t TakeBatch();  removes and deletes the records, hands the
//                          queue back (notify), returns the batch size
//   void AfterStopRequest();  what the producer may still need to end
// The destructor frees what is left, once the producer has ended.
template <char Variant>
class ClientSide;

template <>
class ClientSide<'A'> {
 public:
  explicit ClientSide(std::stop_token token) : shared_(std::move(token)) {}
  void* Shared() { return &shared_; }
  void AwaitBatch() {
    std::unique_lock lock(shared_.mxShared);
    shared_.cvShared.wait(lock, [this] { return !shared_.queue.empty(); });
  }
  std::size_t TakeBatch() {
    std::unique_lock lock(shared_.mxShared);
    const std::size_t n = DeleteRecords(shared_.queue);
    lock.unlock();
    shared_.cvShared.notify_all();
    return n;
  }
  void AfterStopRequest() {}
  ~ClientSide() { DeleteRecords(shared_.queue); }

 private:
  SharedState<'A'> shared_;
};

// B to D: once the announcement is seen the batch is in the client's queue;
// the client empties it and notifies cvShared.
template <class State>
std::size_t HandBackQueue(State& shared) {
  const std::size_t n = DeleteRecords(shared.queue);
  shared.cvShared.notify_all();
  return n;
}

template <>
class ClientSide<'B'> {
 public:
  // The producer and this one client take part in each phase.
  explicit ClientSide(std::stop_token token) : shared_(std::move(token), 2) {}
  void* Shared() { return &shared_; }
  void AwaitBatch() { shared_.barrier.arrive_and_wait(); }
  std::size_t TakeBatch() { return HandBackQueue(shared_); }
  // A stop during a pause makes the producer arrive once more; arriving
  // without waiting lets that phase complete, and costs nothing if the
  // producer ends without it.
  void AfterStopRequest() { [[maybe_unused]] auto token = shared_.barrier.arrive(); }
  ~ClientSide() { DeleteRecords(shared_.queue); }

 private:
  SharedState<'B'> shared_;
};

template <>
class ClientSide<'C'> {
 public:
  explicit ClientSide(std::stop_token token) : shared_(std::move(token), 0) {}
  void* Shared() { return &shared_; }
  void AwaitBatch() { shared_.semaphore.acquire(); }
  std::size_t TakeBatch() { return HandBackQueue(shared_); }
  void AfterStopRequest() {}
  ~ClientSide() { DeleteRecords(shared_.queue); }

 private:
  SharedState<'C'> shared_;
};

template <>
class ClientSide<'D'> {
 public:
  explicit ClientSide(std::stop_token token) : shared_(std::move(token), NewLatch()) {}
  void* Shared() { return &shared_; }
  void AwaitBatch() { shared_.pLatch->wait(); }
  std::size_t TakeBatch() {
    // The fresh latch goes in first: the producer re-tests the queue on its
    // own now and then, and may see it empty before the notification.
    shared_.pLatch = NewLatch();
    return HandBackQueue(shared_);
  }
  void AfterStopRequest() {}
  ~ClientSide() { DeleteRecords(shared_.queue); }

 private:
  // Latches are kept until the end: the producer may still be inside
  // count_down on the previous one when the client wakes.
  std::latch* NewLatch() {
    latches_.push_back(std::make_unique<std::latch>(1));
    return latches_.back().get();
  }
  std::vector<std::unique_ptr<std::latch>> latches_;
  SharedState<'D'> shared_;
};

template <>
class ClientSide<'E'> {
 public:
  explicit ClientSide(std::stop_token token) : shared_(std::move(token), NewPromise()) {}
  void* Shared() { return &shared_; }
  void AwaitBatch() {
    if (ItemQueue* buffer = future_.get()) last_buffer_ = buffer;
  }
  std::size_t TakeBatch() {
    // The fresh promise goes in first: the producer re-tests the buffer on
    // its own now and then, and may see it empty before the notification.
    shared_.pPromise = NewPromise();
    const std::size_t n = DeleteRecords(*last_buffer_);
    shared_.cvShared.notify_all();
    return n;
  }
  void AfterStopRequest() {}
  ~ClientSide() {
    // The buffer delivered last belongs to the client once the producer has
    // ended; the producer freed the earlier ones.
    if (last_buffer_ != nullptr) DeleteRecords(*last_buffer_);
    delete last_buffer_;
  }

 private:
  // Promises are kept until the end, like the latches of D.
  std::promise<ItemQueue*>* NewPromise() {
    promises_.push_back(std::make_unique<std::promise<ItemQueue*>>());
    future_ = promises_.back()->get_future();
    return promises_.back().get();
  }
  std::vector<std::unique_ptr<std::promise<ItemQueue*>>> promises_;
  std::future<ItemQueue*> future_;
  ItemQueue* last_buffer_ = nullptr;
  SharedState<'E'> shared_;
};

// A producer of variant `Variant` running on its own thread with its client.
template <char Variant>
class ProducerRun {
 public:
  ProducerRun() : producer_([this] { RunProducer(Variant, client_.Shared()); }) {}
  ~ProducerRun() { Stop(); }
  ProducerRun(const ProducerRun&) = delete;
  ProducerRun& operator=(const ProducerRun&) = delete;

  ClientSide<Variant>& Client() { return client_; }
  std::thread& Thread() { return producer_; }

  // Requests the stop and waits until the producer has ended.
  void Stop() {
    if (!producer_.joinable()) return;
    source_.request_stop();
    client_.AfterStopRequest();
    producer_.join();
  }

 private:
  std::stop_source source_;
  ClientSide<Variant> client_{source_.get_token()};
  std::thread producer_;
};

}  // namespace tavisor::bench
