// A test client for each producer variant: it takes batches by the
// variant's protocol and owns everything it receives.
#pragma once

#include <chrono>
#include <deque>
#include <future>
#include <latch>
#include <list>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "tavisor/shared_state.h"

namespace tavisor::testing {

using Batch = std::vector<std::unique_ptr<Item>>;

// Variant letters as types, for typed tests over the five variants.
template <char C>
struct Letter {
  static constexpr char value = C;
};

struct LetterName {
  template <class T>
  static std::string GetName(int) {
    return std::string(1, T::value);
  }
};
using namespace std::chrono_literals;

inline Batch TakeAll(ItemQueue& queue) {
  Batch batch;
  while (!queue.empty()) {
    batch.emplace_back(queue.front());
    queue.pop_front();
  }
  return batch;
}

template <char Variant>
class ProducerClient;

// Every client offers Announced(timeout) (waits for the next announcement
// and leaves the batch where it is; returns the queue or buffer holding it),
// Take(timeout, notify), Signalled() (whether a signal is waiting that
// nobody took) and AbsorbLastSignal() (after a stop: takes the last signal,
// if the producer sends one, so that it can end).
//
// Common part: the stop source and the structure, kept alive as long as
// the client (and so at least as long as the test's producer thread).
template <char Variant>
class ClientBase {
 public:
  // Records still queued when the test ends are the client's too.
  ~ClientBase() {
    if constexpr (Variant != 'E') {
      for (Item* pit : state_->queue) delete pit;
    }
  }
  ClientBase(const ClientBase&) = delete;
  ClientBase& operator=(const ClientBase&) = delete;

  void RequestStop() { source_.request_stop(); }
  // Waits for the next announcement, takes the batch (none: the last signal
  // of a producer stopped during a pause) and notifies; nullopt when nothing
  // came within `timeout`. Variant A overrides it: it takes under mxShared.
  std::optional<Batch> Take(std::chrono::milliseconds timeout, bool notify = true) {
    const std::optional<ItemQueue*> queue = Self().Announced(timeout);
    if (!queue) return std::nullopt;
    Batch batch = *queue != nullptr ? TakeAll(**queue) : Batch{};
    if (notify) state_->cvShared.notify_all();
    return batch;
  }
  // The signal of a producer stopped during a pause comes at once, if at all.
  void AbsorbLastSignal() { Self().Take(300ms); }
  std::stop_source& source() { return source_; }
  void* shared() { return state_.get(); }
  SharedState<Variant>& state() { return *state_; }

 protected:
  template <class... Args>
  explicit ClientBase(std::stop_source source, Args&&... args)
      : source_(std::move(source)),
        state_(std::make_unique<SharedState<Variant>>(source_.get_token(),
                                                      std::forward<Args>(args)...)) {}
  ProducerClient<Variant>& Self() { return static_cast<ProducerClient<Variant>&>(*this); }

  std::stop_source source_;
  std::unique_ptr<SharedState<Variant>> state_;
};

template <>
class ProducerClient<'A'> : public ClientBase<'A'> {
 public:
  explicit ProducerClient(std::stop_source s = {}) : ClientBase(std::move(s)) {}
  std::optional<ItemQueue*> Announced(std::chrono::milliseconds timeout) {
    std::unique_lock lock(state_->mxShared);
    if (!state_->cvShared.wait_for(lock, timeout, [&] { return !state_->queue.empty(); })) {
      return std::nullopt;
    }
    return &state_->queue;
  }
  std::optional<Batch> Take(std::chrono::milliseconds timeout, bool notify = true) {
    std::unique_lock lock(state_->mxShared);
    if (!state_->cvShared.wait_for(lock, timeout, [&] { return !state_->queue.empty(); })) {
      return std::nullopt;
    }
    Batch batch = TakeAll(state_->queue);
    if (notify) state_->cvShared.notify_all();
    return batch;
  }
  // Variant A sends nothing after a stop.
  bool Signalled() { return false; }
};

template <>
class ProducerClient<'B'> : public ClientBase<'B'> {
 public:
  explicit ProducerClient(std::stop_source s = {}) : ClientBase(std::move(s), 2) {}
  // A barrier has no timed wait: the test's own time limit catches a hang.
  std::optional<ItemQueue*> Announced(std::chrono::milliseconds) {
    state_->barrier.arrive_and_wait();
    return &state_->queue;
  }
  // Arriving would block: a barrier phase needs the producer too.
  bool Signalled() { return false; }
  // Arrives without waiting: completes the phase of a producer that is
  // waiting at the barrier, and harms nothing if the producer has ended.
  void AbsorbLastSignal() { (void)state_->barrier.arrive(); }
};

template <>
class ProducerClient<'C'> : public ClientBase<'C'> {
 public:
  explicit ProducerClient(std::stop_source s = {}) : ClientBase(std::move(s), 0) {}
  std::optional<ItemQueue*> Announced(std::chrono::milliseconds timeout) {
    if (!state_->semaphore.try_acquire_for(timeout)) return std::nullopt;
    return &state_->queue;
  }
  bool Signalled() { return state_->semaphore.try_acquire(); }
};

template <>
class ProducerClient<'D'> : public ClientBase<'D'> {
 public:
  explicit ProducerClient(std::stop_source s = {}) : ClientBase(std::move(s), nullptr) {
    latches_.emplace_back(1);
    state_->pLatch = &latches_.back();
  }
  std::optional<ItemQueue*> Announced(std::chrono::milliseconds timeout) {
    std::latch& current = *state_->pLatch;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!current.try_wait()) {
      if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
      std::this_thread::sleep_for(1ms);
    }
    latches_.emplace_back(1);  // old latches stay alive: a std::list keeps them in place
    state_->pLatch = &latches_.back();
    return &state_->queue;
  }
  bool Signalled() { return latches_.back().try_wait(); }

 private:
  std::list<std::latch> latches_;
};

template <>
class ProducerClient<'E'> : public ClientBase<'E'> {
 public:
  explicit ProducerClient(std::stop_source s = {}) : ClientBase(std::move(s), nullptr) {
    RenewPromise();
  }
  // Buffers before the last one are the producer's to free; the last one is
  // the client's once the producer has ended.
  ~ProducerClient() {
    if (last_buffer_ != nullptr) {
      for (Item* pit : *last_buffer_) delete pit;
      delete last_buffer_;
    }
  }
  std::optional<ItemQueue*> Announced(std::chrono::milliseconds timeout) {
    if (future_.wait_for(timeout) != std::future_status::ready) return std::nullopt;
    ItemQueue* buffer = future_.get();
    if (buffer != nullptr) last_buffer_ = buffer;
    RenewPromise();
    return buffer;
  }
  bool Signalled() { return future_.wait_for(0s) == std::future_status::ready; }

 private:
  void RenewPromise() {
    promises_.emplace_back();
    future_ = promises_.back().get_future();
    state_->pPromise = &promises_.back();
  }

  std::list<std::promise<ItemQueue*>> promises_;
  std::future<ItemQueue*> future_;
  ItemQueue* last_buffer_ = nullptr;
};

}  // namespace tavisor::testing
