#include "producer/turns.h"

#include <new>
#include <unordered_map>

namespace tavisor {

// The structures that producers run on now, by address. Joined as a
// producer starts, left as it ends: never on the way of a batch.
struct Turns::Registry {
  // Never destroyed: a detached producer may still leave it while the
  // process exits. It holds no memory while no producer runs.
  static Registry& Get() {
    alignas(Registry) static unsigned char storage[sizeof(Registry)];
    static Registry* const registry = new (storage) Registry();
    return *registry;
  }

  // Takes the structure at `shared` out of the registry, if `turns` are its
  // turns there.
  void Forget(const void* shared, const Turns* turns) TAVISOR_REQUIRES(RegistryMutex()) {
    const auto it = structures.find(shared);
    if (it == structures.end() || it->second.get() != turns) return;
    structures.erase(it);
    if (structures.empty()) decltype(structures)().swap(structures);
  }

  internal::Mutex mutex;  // RegistryMutex()
  std::unordered_map<const void*, std::shared_ptr<Turns>> structures
      TAVISOR_GUARDED_BY(RegistryMutex());
};

internal::Mutex& Turns::RegistryMutex() { return Registry::Get().mutex; }

std::shared_ptr<Turns> Turns::Join(const void* shared) {
  const internal::MutexLock lock(RegistryMutex());
  std::shared_ptr<Turns>& turns = Registry::Get().structures[shared];
  if (turns == nullptr) turns.reset(new Turns(shared));
  ++turns->producers_;
  return turns;
}

bool Turns::Take(const std::stop_token& stop) {
  const auto take = [this] { return !held_.exchange(true); };
  bool taken = take();
  if (!taken) {
    internal::UniqueLock lock(mutex_);
    ++waiting_;
    taken = passed_.wait(lock.native(), stop, take);
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
    { const internal::MutexLock lock(mutex_); }
    passed_.notify_all();
  }
}

void Turns::Retire() {
  const internal::MutexLock lock(RegistryMutex());
  retired_ = true;
  Registry::Get().Forget(shared_, this);
}

bool Turns::Leave() {
  const internal::MutexLock lock(RegistryMutex());
  if (--producers_ > 0) return false;
  // Out of the registry before the last signal: once the client has it, it
  // may free the structure and start producers on a new one at the same
  // address, which must not find this one.
  Registry::Get().Forget(shared_, this);
  return !retired_;
}

}  // namespace tavisor
