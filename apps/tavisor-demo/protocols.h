// The client's side of each producer variant: what differs between them.
//
// Each protocol owns the variant's SharedState and offers
//   void* Shared();                 the address to pass to Start
//   bool Await(Batch&);             waits for the next announcement, takes the
//                                   records, hands the queue back; true when
//                                   the announcement was the producer's last
//   void StandIn();                 the producer's last signal, sent by the
//                                   stopping thread when it did not come
//   size_t ReleaseLeftovers();      deletes the records left once the
//                                   producer has ended; returns how many
// The consumer frame (session.h) runs the rest.
#pragma once

#include <barrier>
#include <chrono>
#include <future>
#include <latch>
#include <memory>
#include <mutex>
#include <stop_token>
#include <utility>
#include <vector>

#include "tavisor/shared_state.h"

namespace demo {

using Batch = std::vector<std::unique_ptr<tavisor::Item>>;

// Moves every record of `queue` into `batch`, which owns them from then on.
inline void TakeAll(tavisor::ItemQueue& queue, Batch& batch) {
  for (tavisor::Item* pit : queue) batch.emplace_back(pit);
  queue.clear();
}

// Deletes the records left in `queue` and returns how many. An empty queue
// is only read.
inline std::size_t DeleteAll(tavisor::ItemQueue& queue) {
  Batch batch;
  if (!queue.empty()) TakeAll(queue, batch);
  return batch.size();
}

// A: the queue is guarded by mxShared; the producer holds it through each
// pause and batch and gives it up only while it waits for the queue to
// empty. It sends nothing after a stop, so the client's own wait watches the
// stop token.
class ProtocolA {
 public:
  static constexpr char kLetter = 'A';
  explicit ProtocolA(std::stop_token token) : state_(std::move(token)) {}
  void* Shared() { return &state_; }

  bool Await(Batch& batch) {
    std::unique_lock lock(state_.mxShared);
    state_.cvShared.wait(lock, state_.stoken, [this] { return !state_.queue.empty(); });
    // Holding mxShared after a stop means the producer is not inside a
    // cycle: whatever it will ever append is in the queue now.
    TakeAll(state_.queue, batch);
    state_.cvShared.notify_all();
    return state_.stoken.stop_requested();
  }
  void StandIn() {}
  std::size_t ReleaseLeftovers() {
    std::lock_guard lock(state_.mxShared);
    return DeleteAll(state_.queue);
  }

 private:
  tavisor::SharedState<'A'> state_;
};

// B: the producer and this client's thread meet at the barrier once per
// batch; after a stop during a pause the producer arrives with nothing.
class ProtocolB {
 public:
  static constexpr char kLetter = 'B';
  explicit ProtocolB(std::stop_token token) : state_(std::move(token), kParticipants) {}
  void* Shared() { return &state_; }

  bool Await(Batch& batch) {
    state_.barrier.arrive_and_wait();
    TakeAll(state_.queue, batch);
    state_.cvShared.notify_all();
    return batch.empty();
  }
  // Arrives in the producer's place and leaves the barrier, so that a late
  // arrival of the producer could not block it either.
  void StandIn() { state_.barrier.arrive_and_drop(); }
  std::size_t ReleaseLeftovers() { return DeleteAll(state_.queue); }

 private:
  static constexpr std::ptrdiff_t kParticipants = 2;  // the producer and this client
  tavisor::SharedState<'B'> state_;
};

// C: the producer releases the binary semaphore once per batch, and once
// more with nothing after a stop during a pause.
class ProtocolC {
 public:
  static constexpr char kLetter = 'C';
  explicit ProtocolC(std::stop_token token) : state_(std::move(token), 0) {}
  void* Shared() { return &state_; }

  bool Await(Batch& batch) {
    state_.semaphore.acquire();
    TakeAll(state_.queue, batch);
    state_.cvShared.notify_all();
    return batch.empty();
  }
  void StandIn() { state_.semaphore.release(); }
  std::size_t ReleaseLeftovers() { return DeleteAll(state_.queue); }

 private:
  tavisor::SharedState<'C'> state_;
};

// D: one latch per batch, counted down once by the producer; pLatch points
// at the next one before the client hands the queue back.
class ProtocolD {
 public:
  static constexpr char kLetter = 'D';
  explicit ProtocolD(std::stop_token token)
      : current_(std::make_unique<std::latch>(1)), state_(std::move(token), current_.get()) {}
  void* Shared() { return &state_; }

  bool Await(Batch& batch) {
    current_->wait();
    {
      std::lock_guard lock(mutex_);
      // The producer may still be inside its count-down of the latch just
      // passed (it wakes us before it returns), so that one lives one more
      // batch. The next latch is in place before the queue looks empty: the
      // producer may go on as soon as it sees it empty.
      previous_ = std::exchange(current_, std::make_unique<std::latch>(1));
      state_.pLatch = current_.get();
    }
    TakeAll(state_.queue, batch);
    state_.cvShared.notify_all();
    return batch.empty();
  }
  void StandIn() {
    std::lock_guard lock(mutex_);
    if (!current_->try_wait()) current_->count_down();
  }
  std::size_t ReleaseLeftovers() { return DeleteAll(state_.queue); }

 private:
  std::mutex mutex_;  // between the renewal and StandIn
  std::unique_ptr<std::latch> previous_;
  std::unique_ptr<std::latch> current_;
  tavisor::SharedState<'D'> state_;
};

// E: each batch comes in a buffer of the producer's, as the value of the
// promise that pPromise points to; a null value is the producer's last.
class ProtocolE {
 public:
  static constexpr char kLetter = 'E';
  explicit ProtocolE(std::stop_token token)
      : current_(std::make_unique<Promise>()),
        future_(current_->get_future()),
        state_(std::move(token), current_.get()) {}
  void* Shared() { return &state_; }

  bool Await(Batch& batch) {
    tavisor::ItemQueue* const pBuf = future_.get();
    if (pBuf == nullptr) return true;
    // The producer deleted the buffer before this one when it made this one.
    last_buffer_ = pBuf;
    {
      std::lock_guard lock(mutex_);
      // As with D's latches: the producer may still be inside set_value, and
      // the next promise is in place before the buffer looks empty.
      previous_ = std::exchange(current_, std::make_unique<Promise>());
      future_ = current_->get_future();
      state_.pPromise = current_.get();
    }
    TakeAll(*pBuf, batch);
    state_.cvShared.notify_all();
    return false;
  }
  void StandIn() {
    std::lock_guard lock(mutex_);
    try {
      current_->set_value(nullptr);
    } catch (const std::future_error&) {
      // The producer delivered after all; the consumer has it.
    }
  }
  // The buffer delivered last is the client's to delete. A batch delivered
  // after the consumer had finished replaced it (the producer deleted the
  // earlier one), so that one goes too.
  std::size_t ReleaseLeftovers() {
    std::size_t released = 0;
    if (future_.valid() && future_.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
      if (tavisor::ItemQueue* const pBuf = future_.get()) last_buffer_ = pBuf;
    }
    if (last_buffer_ != nullptr) {
      released = DeleteAll(*last_buffer_);
      delete last_buffer_;
      last_buffer_ = nullptr;
    }
    return released;
  }

 private:
  using Promise = std::promise<tavisor::ItemQueue*>;
  std::mutex mutex_;  // between the renewal and StandIn
  std::unique_ptr<Promise> previous_;
  std::unique_ptr<Promise> current_;
  std::future<tavisor::ItemQueue*> future_;
  tavisor::ItemQueue* last_buffer_ = nullptr;
  tavisor::SharedState<'E'> state_;
};

}  // namespace demo
