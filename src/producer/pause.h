// The pause before each batch.
#pragma once

#include <atomic>
#include <chrono>
#include <stop_token>

namespace tavisor {

// How often a pause looks at the stop state besides being woken by its own
// stop callback (see PauseBeforeBatch).
inline constexpr std::chrono::milliseconds kStopCheckInterval{50};

// The length of one pause step: a pause lasts 1 to 10 steps. Read as each
// pause begins, so that its owner may change it while producers run (tests
// lengthen the next pause that way).
class PauseUnit {
 public:
  constexpr explicit PauseUnit(std::chrono::milliseconds unit) : ms_(unit.count()) {}
  std::chrono::milliseconds Get() const { return std::chrono::milliseconds(ms_.load()); }
  void Set(std::chrono::milliseconds unit) { ms_.store(unit.count()); }

 private:
  std::atomic<std::chrono::milliseconds::rep> ms_;
};

// The step of every producer that Start launches: one second.
inline constinit const PauseUnit kLibraryPauseUnit{std::chrono::seconds(1)};

// Sleeps 1 to 10 steps of `unit` on a pause thread of its own, joined at
// once; a stop request on `stop` ends the sleep at once, or within
// kStopCheckInterval when a stop callback ahead of the pause's own blocks.
void PauseBeforeBatch(const std::stop_token& stop, const PauseUnit& unit);

}  // namespace tavisor
