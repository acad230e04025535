#include "producer/turns.h"

#include <unordered_map>

namespace tavisor {

namespace {

// The structures that producers run on now, by address. Joined as a
// producer starts, left as it ends: never on the way of a batch.
struct Registry {
  std::mutex mutex;
  std::unordered_map<const void*, std::shared_ptr<Turns>> structures;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

std::shared_ptr<Turns> Turns::Join(const void* shared) {
  Registry& registry = TheRegistry();
  const std::lock_guard lock(registry.mutex);
  std::shared_ptr<Turns>& turns = registry.structures[shared];
  if (turns == nullptr) turns.reset(new Turns(shared));
  ++turns->producers_;
  return turns;
}

bool Turns::Take(const std::stop_token& stop) {
  const auto take = [this] { return !held_.exchange(true); };
  bool taken = take();
  if (!taken) {
    std::unique_lock lock(mutex_);
    ++waiting_;
    taken = passed_.wait(lock, stop, take);
    --waiting_;
  }
  // A producer that finds the stop makes no batch, whether or not the
  // turn came with it.
  if (taken && stop.stop_requested()) {
    Pass();
    return false;
  }
  return taken;
}

void Turns::Pass() {
  held_.store(false);
  // Both sequentially consistent: a producer that counts itself waiting
  // after this load finds the turn free in its own exchange; one counted
  // before is woken (it holds mutex_ from counting to blocking).
  if (waiting_.load() > 0) {
    { const std::lock_guard lock(mutex_); }
    passed_.notify_all();
  }
}

bool Turns::Leave(bool batch_left_waiting) {
  Registry& registry = TheRegistry();
  const std::lock_guard lock(registry.mutex);
  batch_left_waiting_ = batch_left_waiting_ || batch_left_waiting;
  if (--producers_ > 0) return false;
  // Out of the registry before the last signal: once the client has it, it
  // may free the structure and start producers on a new one at the same
  // address, which must not find this one.
  if (const auto it = registry.structures.find(shared_);
      it != registry.structures.end() && it->second.get() == this) {
    registry.structures.erase(it);
  }
  return !batch_left_waiting_;
}

}  // namespace tavisor
