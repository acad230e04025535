#include "producer/pause.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "items/random_engines.h"
#include "producer/producer.h"

namespace tavisor {

namespace {

std::atomic<std::chrono::milliseconds::rep> pause_unit_ms{1000};

int DrawPauseLength() {
  return PauseEngine().Draw(
      [](Mt19937& engine, PauseDistributions& d) { return d.pause_seconds(engine); });
}

// A timed wait on the monotonic clock that nothing notifies: it ends at its
// deadline or, through the stop token, as soon as a stop is requested.
void Pause(const std::stop_token& stop, std::mutex& mx_pause, std::condition_variable_any& cva) {
  const int nDelay = DrawPauseLength();
  std::unique_lock lck(mx_pause);
  cva.wait_for(lck, stop, nDelay * std::chrono::milliseconds(pause_unit_ms.load()),
               [] { return false; });
}

}  // namespace

void SetPauseUnit(std::chrono::milliseconds unit) { pause_unit_ms.store(unit.count()); }

void PauseBeforeBatch(const std::stop_token& stop) {
  std::condition_variable_any cva_pause;
  std::mutex mx_pause;
  std::jthread pause(Pause, std::cref(stop), std::ref(mx_pause), std::ref(cva_pause));
  pause.join();
}

}  // namespace tavisor
