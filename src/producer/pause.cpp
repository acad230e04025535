#include "producer/pause.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "items/random_engines.h"
#include "tavisor/clock.h"

namespace tavisor {

namespace {

int DrawPauseLength() {
  return PauseEngine().Draw(
      [](Mt19937& engine, PauseDistributions& d) { return d.pause_seconds(engine); });
}

// A timed wait on the monotonic clock that nothing but a stop notifies: it
// ends at its deadline or as soon as a stop is requested.
//
// The stop's wake-up is a stop callback, and request_stop() runs callbacks
// newest first: a client's callback registered during this pause runs
// before it, and may wait for what the producer gives up only once it has
// woken (A's mxShared, the last signal of B to E). So the pause also looks
// at the stop state every kStopCheckInterval, which request_stop() sets
// before it runs any callback. The callback is registered once for the
// whole pause, and the slices are plain timed waits: idle, a paused
// producer costs some 20 short wake-ups a second.
void Pause(const std::stop_token& stop, std::chrono::milliseconds unit, std::mutex& mx_pause,
           std::condition_variable_any& cva) {
  const int nDelay = DrawPauseLength();
  const Clock::time_point deadline = Clock::now() + nDelay * unit;
  // Registered before mx_pause is taken: a stop requested already runs the
  // callback right here. Taking mx_pause in it keeps the notification from
  // falling between a slice's look at the stop state and its wait.
  const std::stop_callback wake(stop, [&] {
    { const std::lock_guard lock(mx_pause); }
    cva.notify_all();
  });
  std::unique_lock lck(mx_pause);
  for (Clock::time_point now = Clock::now(); now < deadline && !stop.stop_requested();
       now = Clock::now()) {
    cva.wait_until(lck, std::min(deadline, now + kStopCheckInterval));
  }
}

}  // namespace

void PauseBeforeBatch(const std::stop_token& stop, const PauseUnit& unit) {
  std::condition_variable_any cva_pause;
  std::mutex mx_pause;
  std::jthread pause(Pause, std::cref(stop), unit.Get(), std::ref(mx_pause), std::ref(cva_pause));
  pause.join();
}

}  // namespace tavisor
