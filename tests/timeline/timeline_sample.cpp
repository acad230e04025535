// Writes a made-up minute of five producers and their client, recorded on a
// tavisor::Timeline with fixed time stamps, to each file named on the
// command line (.json, .svg or .html): a picture whose every span and
// marker sits where the checks expect it.
#include <chrono>
#include <cstdint>
#include <exception>
#include <iostream>

#include "tavisor/timeline.h"
#include "timeline_files.h"

namespace {

using namespace std::chrono_literals;
using tavisor::EndReason;
using tavisor::TimelineEvent;

tavisor::Timeline::Snapshot MadeUpMinute() {
  tavisor::Timeline timeline;
  const tavisor::Clock::time_point t0 = tavisor::Clock::now();
  const auto at = [t0](double seconds) {
    return t0 + std::chrono::duration_cast<tavisor::Clock::duration>(
                    std::chrono::duration<double>(seconds));
  };
  const char letters[] = "ABCDE";
  constexpr double kStop = 57;
  for (int p = 0; p < 5; ++p) {
    const char letter = letters[p];
    const std::uint32_t lane =
        timeline.AddLane(std::string("producer ") + std::to_string(p + 1) + " (" + letter + ")");
    timeline.Record(lane, TimelineEvent::kStarted, at(0.1 * p));
    // Pauses of 1 to 10 s; the client lets every batch wait 0.4 s and holds
    // it 0.5 s, so that every kind of span is wide enough to see.
    double t = 0.1 * p;
    for (int batch = 0;; ++batch) {
      const double available = t + 1 + (p * 3 + batch * 7) % 10;
      if (available + 1 >= kStop) break;  // the stop's markers stand alone
      const auto size = static_cast<std::uint32_t>(1 + (p + batch) % 4);
      timeline.Record(lane, TimelineEvent::kAvailable, at(available), size);
      timeline.Record(lane, TimelineEvent::kTaken, at(available + 0.4), size);
      timeline.Record(lane, TimelineEvent::kHandedBack, at(available + 0.9));
      timeline.Span("prints a batch", at(available + 0.4), at(available + 0.6));
      t = available + 0.9;
    }
    timeline.Record(lane, TimelineEvent::kStopRequested, at(kStop));
    if (letter == 'A') {
      timeline.Record(lane, TimelineEvent::kEnded, at(kStop + 0.2), 0,
                      EndReason::kStoppedWithoutSignal);
    } else {
      timeline.Record(lane, TimelineEvent::kLastSignal, at(kStop + 0.1));
      timeline.Record(lane, TimelineEvent::kEnded, at(kStop + 0.1), 0, EndReason::kLastSignal);
    }
  }
  timeline.Mark("stop", at(kStop));
  tavisor::Timeline::Snapshot snapshot = timeline.Take();
  snapshot.taken = at(60);
  return snapshot;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const timeline::Layout layout = timeline::Arrange(MadeUpMinute());
    for (int i = 1; i < argc; ++i) timeline::WriteTimeline(argv[i], layout);
  } catch (const std::exception& e) {
    std::cerr << "timeline_sample: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
