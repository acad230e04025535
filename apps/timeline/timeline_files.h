// What a tavisor::Timeline recorded, laid out as spans and marks per lane,
// and written as a trace (.json, Trace Event Format), a picture (.svg) or
// a page with the picture and each span's details on hover (.html).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tavisor/timeline.h"

namespace timeline {

enum class SpanKind {
  kMaking,   // the producer pauses and makes a batch
  kWaiting,  // a batch is announced and waits for the client
  kHolding,  // the client takes the batch and hands the queue back
  kClient,   // the client's own span
};

enum class MarkKind { kStarted, kStop, kLastSignal, kEnded, kClient };

struct Span {
  std::size_t lane = 0;
  SpanKind kind = SpanKind::kMaking;
  double from = 0;  // seconds since the first event
  double to = 0;
  std::string name;    // what the span is
  std::string detail;  // what happened in it
};

struct Mark {
  std::size_t lane = 0;
  MarkKind kind = MarkKind::kStarted;
  double at = 0;
  std::string name;
};

struct Layout {
  std::vector<std::string> lanes;  // 0: the client
  std::vector<Span> spans;
  std::vector<Mark> marks;
  double length = 0;          // seconds from the first event to the snapshot
  std::uint64_t dropped = 0;  // events the ring let go before the snapshot
};

// Pairs each lane's events into spans; spans still open when the snapshot
// was taken end there.
Layout Arrange(const tavisor::Timeline::Snapshot& snapshot);

std::string TraceJson(const Layout& layout);
// `standalone`: an SVG file of its own; otherwise for inline use in HTML,
// which needs no namespace declaration.
std::string PictureSvg(const Layout& layout, bool standalone = true);
std::string PageHtml(const Layout& layout);

// Whether `file`'s extension names a form WriteTimeline writes: .json,
// .svg, .html or .htm, in any case.
bool IsTimelineFile(const std::filesystem::path& file);

// Writes `layout` to `file` in the form its extension names. Throws
// std::invalid_argument for any other extension, std::runtime_error when
// the file cannot be written.
void WriteTimeline(const std::filesystem::path& file, const Layout& layout);

// The picture's geometry, for whoever checks where the lanes are.
struct Geometry {
  static constexpr int kWidth = 1200;
  static constexpr int kPlotLeft = 170;  // lane names to the left
  static constexpr int kPlotRight = 1180;
  static constexpr int kLanesTop = 76;
  static constexpr int kLaneHeight = 34;
  static constexpr int kBarHeight = 20;
  static int LaneMiddle(std::size_t lane) {
    return kLanesTop + static_cast<int>(lane) * kLaneHeight + kLaneHeight / 2;
  }
};

}  // namespace timeline
