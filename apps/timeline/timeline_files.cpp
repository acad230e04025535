#include "timeline_files.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>

namespace timeline {

namespace {

using tavisor::TimelineEntry;
using tavisor::TimelineEvent;

struct Style {
  const char* name;  // in the legend and the trace
  const char* fill;
};

constexpr std::array<Style, 4> kSpanStyles = {{
    {"making / pausing", "#a6cee3"},
    {"batch waiting for the client", "#ff7f00"},
    {"client holds the batch", "#33a02c"},
    {"client's own span", "#6a3d9a"},
}};
constexpr std::array<Style, 5> kMarkStyles = {{
    {"started", "#1f78b4"},
    {"stop requested", "#000000"},
    {"last signal", "#e31a1c"},
    {"ended", "#666666"},
    {"client's own moment", "#6a3d9a"},
}};

const Style& StyleOf(SpanKind kind) { return kSpanStyles[static_cast<std::size_t>(kind)]; }
const Style& StyleOf(MarkKind kind) { return kMarkStyles[static_cast<std::size_t>(kind)]; }

std::string Number(double value, int decimals) {
  std::array<char, 64> text{};
  const auto result = std::to_chars(text.data(), text.data() + text.size(), value,
                                    std::chars_format::fixed, decimals);
  return std::string(text.data(), result.ptr);
}

std::string Records(std::uint32_t n) {
  return std::to_string(n) + (n == 1 ? " record" : " records");
}

// One lane's events made into spans: at most one span is open at a time.
class LaneSpans {
 public:
  LaneSpans(Layout& layout, std::size_t lane) : layout_(layout), lane_(lane) {}

  void Add(const TimelineEntry& e, double at) {
    switch (e.what) {
      case TimelineEvent::kStarted:
        layout_.marks.push_back({lane_, MarkKind::kStarted, at, StyleOf(MarkKind::kStarted).name});
        Open(SpanKind::kMaking, at, 0);
        break;
      case TimelineEvent::kAvailable:
        Close(at);
        ++batches_;
        Open(SpanKind::kWaiting, at, e.size);
        break;
      case TimelineEvent::kTaken:
        Close(at);
        Open(SpanKind::kHolding, at, e.size);
        break;
      case TimelineEvent::kHandedBack:
        Close(at);
        Open(SpanKind::kMaking, at, 0);
        break;
      case TimelineEvent::kStopRequested:
        layout_.marks.push_back({lane_, MarkKind::kStop, at, StyleOf(MarkKind::kStop).name});
        break;
      case TimelineEvent::kLastSignal:
        Close(at);
        layout_.marks.push_back(
            {lane_, MarkKind::kLastSignal, at, StyleOf(MarkKind::kLastSignal).name});
        break;
      case TimelineEvent::kEnded:
        Close(at);
        layout_.marks.push_back({lane_, MarkKind::kEnded, at,
                                 std::string("ended: ") + tavisor::EndReasonText(e.reason)});
        break;
      case TimelineEvent::kClientMark:
      case TimelineEvent::kClientSpan:
        break;  // the client's, not a producer's
    }
  }
  void Close(double at) {
    if (!open_) return;
    Span span{lane_, open_->kind, open_->from, std::max(at, open_->from), StyleOf(open_->kind).name,
              {}};
    const std::string took = Number(span.to - span.from, 3) + " s";
    switch (open_->kind) {
      case SpanKind::kMaking:
        span.detail =
            "the producer pauses and makes batch " + std::to_string(batches_ + 1) + ": " + took;
        break;
      case SpanKind::kWaiting:
        span.detail = "batch " + std::to_string(batches_) + " (" + Records(open_->size) +
                      ") waits for the client: " + took;
        break;
      default:
        span.detail = "the client holds batch " + std::to_string(batches_) + " (" +
                      Records(open_->size) + ") until it hands the queue back: " + took;
    }
    layout_.spans.push_back(std::move(span));
    open_.reset();
  }

 private:
  struct Pending {
    SpanKind kind;
    double from;
    std::uint32_t size;
  };
  void Open(SpanKind kind, double from, std::uint32_t size) { open_ = Pending{kind, from, size}; }

  Layout& layout_;
  std::size_t lane_;
  std::optional<Pending> open_;
  int batches_ = 0;
};

std::string Escaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        if (static_cast<unsigned char>(c) >= 0x20) out += c;
    }
  }
  return out;
}

// A step between axis ticks that gives at most about a dozen of them.
double TickStep(double length) {
  for (const double step : {0.001, 0.002, 0.005, 0.01, 0.02, 0.05, 0.1, 0.2, 0.5, 1.0, 2.0, 5.0,
                            10.0, 15.0, 30.0, 60.0, 120.0, 300.0, 600.0}) {
    if (length / step <= 12) return step;
  }
  return std::ceil(length / 12 / 600) * 600;
}

// Draws into an SVG text, with the geometry of Geometry.
class Drawing {
 public:
  explicit Drawing(const Layout& layout)
      : layout_(layout),
        // A little room after the last event, for its marker.
        scale_((Geometry::kPlotRight - Geometry::kPlotLeft) /
               std::max(layout.length * 1.02, 1e-3)) {}

  double X(double seconds) const { return Geometry::kPlotLeft + seconds * scale_; }
  int LanesBottom() const {
    return Geometry::kLanesTop + static_cast<int>(layout_.lanes.size()) * Geometry::kLaneHeight;
  }
  int Height() const { return LanesBottom() + 44; }

  void Rect(double x, double y, double w, double h, const char* fill, const std::string& title = {},
            const char* extra = "") {
    out_ += "<rect x=\"" + Number(x, 2) + "\" y=\"" + Number(y, 2) + "\" width=\"" + Number(w, 2) +
            "\" height=\"" + Number(h, 2) + "\" fill=\"" + fill + "\"" + extra;
    Close(title, "rect");
  }
  void Line(double x1, double y1, double x2, double y2, const char* stroke, double width,
            const std::string& title = {}) {
    out_ += "<line x1=\"" + Number(x1, 2) + "\" y1=\"" + Number(y1, 2) + "\" x2=\"" +
            Number(x2, 2) + "\" y2=\"" + Number(y2, 2) + "\" stroke=\"" + stroke +
            "\" stroke-width=\"" + Number(width, 1) + "\"";
    Close(title, "line");
  }
  void Text(double x, double y, const std::string& text, const char* extra = "") {
    out_ += "<text x=\"" + Number(x, 1) + "\" y=\"" + Number(y, 1) + "\"" + extra + ">" +
            Escaped(text) + "</text>\n";
  }
  // A marker of `kind` at `x` on the lane whose bar spans `top` to `bottom`.
  void Marker(MarkKind kind, double x, double top, double bottom, const std::string& title) {
    const char* colour = StyleOf(kind).fill;
    switch (kind) {
      case MarkKind::kStop:  // a line across the lane under a triangle
        Line(x, top - 4, x, bottom + 4, colour, 2, title);
        Polygon({x - 5, top - 9, x + 5, top - 9, x, top - 2}, colour, title);
        break;
      case MarkKind::kLastSignal:  // a diamond
        Polygon({x, top - 2, x + 7, (top + bottom) / 2, x, bottom + 2, x - 7, (top + bottom) / 2},
                colour, title);
        break;
      case MarkKind::kEnded:
        Rect(x, top - 2, 3, bottom - top + 4, colour, title);
        break;
      default:  // started, and the client's moments: a thin line with a dot
        Line(x, top, x, bottom, colour, 1.5, title);
        out_ += "<circle cx=\"" + Number(x, 2) + "\" cy=\"" + Number(top, 2) +
                "\" r=\"3\" fill=\"" + colour + "\"";
        Close(title, "circle");
    }
  }
  void Polygon(std::initializer_list<double> xy, const char* fill, const std::string& title) {
    out_ += "<polygon points=\"";
    bool first = true;
    for (const double v : xy) {
      if (!first) out_ += ' ';
      out_ += Number(v, 2);
      first = false;
    }
    out_ += "\" fill=\"" + std::string(fill) + "\"";
    Close(title, "polygon");
  }
  std::string& out() { return out_; }

 private:
  void Close(const std::string& title, const char* element) {
    if (title.empty()) {
      out_ += "/>\n";
    } else {
      out_ += "><title>" + Escaped(title) + "</title></" + element + ">\n";
    }
  }

  const Layout& layout_;
  const double scale_;  // pixels per second
  std::string out_;
};

}  // namespace

Layout Arrange(const tavisor::Timeline::Snapshot& snapshot) {
  Layout layout;
  layout.lanes = snapshot.lanes;
  layout.dropped = snapshot.dropped;
  std::vector<TimelineEntry> entries = snapshot.entries;
  // A Take records the announcement as seen, after later events of other
  // lanes: order by time, keeping the recorded order of equal stamps.
  std::stable_sort(entries.begin(), entries.end(),
                   [](const TimelineEntry& a, const TimelineEntry& b) { return a.at < b.at; });
  const auto origin = entries.empty() ? snapshot.taken : entries.front().at;
  const auto seconds = [origin](tavisor::Clock::time_point t) {
    return std::chrono::duration<double>(t - origin).count();
  };
  std::vector<LaneSpans> lanes;
  for (std::size_t i = 0; i < layout.lanes.size(); ++i) lanes.emplace_back(layout, i);
  for (const TimelineEntry& e : entries) {
    if (e.what == TimelineEvent::kClientMark) {
      layout.marks.push_back({e.lane, MarkKind::kClient, seconds(e.at), e.text});
    } else if (e.what == TimelineEvent::kClientSpan) {
      layout.spans.push_back({e.lane, SpanKind::kClient, seconds(e.at), seconds(e.until), e.text,
                              e.text + ": " + Number(seconds(e.until) - seconds(e.at), 3) + " s"});
    } else if (e.lane < lanes.size()) {
      lanes[e.lane].Add(e, seconds(e.at));
    }
  }
  layout.length = seconds(snapshot.taken);
  for (const Span& s : layout.spans) layout.length = std::max(layout.length, s.to);
  for (LaneSpans& lane : lanes) lane.Close(layout.length);
  return layout;
}

std::string TraceJson(const Layout& layout) {
  using nlohmann::json;
  json events = json::array();
  events.push_back({{"name", "process_name"},
                    {"ph", "M"},
                    {"pid", 1},
                    {"tid", 0},
                    {"args", {{"name", "Tavisor hand-over"}}}});
  for (std::size_t lane = 0; lane < layout.lanes.size(); ++lane) {
    events.push_back({{"name", "thread_name"},
                      {"ph", "M"},
                      {"pid", 1},
                      {"tid", lane},
                      {"args", {{"name", layout.lanes[lane]}}}});
    events.push_back({{"name", "thread_sort_index"},
                      {"ph", "M"},
                      {"pid", 1},
                      {"tid", lane},
                      {"args", {{"sort_index", lane}}}});
  }
  const auto micros = [](double seconds) { return std::round(seconds * 1e7) / 10; };
  for (const Span& s : layout.spans) {
    events.push_back({{"name", s.name},
                      {"cat", s.kind == SpanKind::kClient ? "client" : "hand-over"},
                      {"ph", "X"},
                      {"ts", micros(s.from)},
                      {"dur", std::max(0.0, micros(s.to) - micros(s.from))},
                      {"pid", 1},
                      {"tid", s.lane},
                      {"args", {{"detail", s.detail}}}});
  }
  for (const Mark& m : layout.marks) {
    events.push_back({{"name", m.name},
                      {"cat", m.kind == MarkKind::kClient ? "client" : "hand-over"},
                      {"ph", "i"},
                      {"s", "t"},
                      {"ts", micros(m.at)},
                      {"pid", 1},
                      {"tid", m.lane}});
  }
  const json trace = {{"traceEvents", events},
                      {"displayTimeUnit", "ms"},
                      {"otherData", {{"dropped_events", layout.dropped}}}};
  return trace.dump(1, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string PictureSvg(const Layout& layout, bool standalone) {
  Drawing d(layout);
  std::string& out = d.out();
  const std::string width = std::to_string(Geometry::kWidth);
  const std::string height = std::to_string(d.Height());
  out += "<svg";
  if (standalone) out += " xmlns=\"http://www.w3.org/2000/svg\"";
  out += " width=\"" + width + "\" height=\"" + height + "\" viewBox=\"0 0 " + width + " " +
         height + "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  d.Rect(0, 0, Geometry::kWidth, d.Height(), "#ffffff");

  std::string heading = "Hand-over timeline: " + std::to_string(layout.lanes.size() - 1) +
                        " producer(s), " + Number(layout.length, 1) + " s";
  if (layout.dropped > 0) {
    heading += " (the " + std::to_string(layout.dropped) + " oldest events were dropped)";
  }
  d.Text(10, 20, heading, " font-size=\"15\" font-weight=\"bold\"");

  // The legend, in one row.
  double x = 10;
  for (std::size_t k = 0; k < kSpanStyles.size(); ++k) {
    d.Rect(x, 34, 14, 14, kSpanStyles[k].fill, kSpanStyles[k].name, " class=\"legend\"");
    d.Text(x + 18, 45, kSpanStyles[k].name);
    x += 30 + 7 * static_cast<double>(std::string(kSpanStyles[k].name).size());
  }
  for (const MarkKind kind : {MarkKind::kStop, MarkKind::kLastSignal, MarkKind::kEnded}) {
    d.Marker(kind, x + 7, 38, 48, StyleOf(kind).name);
    d.Text(x + 18, 45, StyleOf(kind).name);
    x += 30 + 7 * static_cast<double>(std::string(StyleOf(kind).name).size());
  }

  // Grid and axis, in seconds.
  const int bottom = d.LanesBottom();
  const double step = TickStep(layout.length);
  const int decimals = step >= 1 ? 0 : step >= 0.1 ? 1 : step >= 0.01 ? 2 : 3;
  for (int i = 0; i * step <= layout.length + 1e-9; ++i) {
    const double tx = d.X(i * step);
    d.Line(tx, Geometry::kLanesTop, tx, bottom + 4, "#dddddd", 1);
    d.Text(tx - 8, bottom + 18, Number(i * step, decimals) + " s");
  }
  d.Line(Geometry::kPlotLeft, bottom, Geometry::kPlotRight, bottom, "#333333", 1);
  d.Text(Geometry::kPlotRight - 170, bottom + 36, "seconds since the first event");

  // Lanes: names, spans (the short ones at least 2 px wide), then marks.
  for (std::size_t lane = 0; lane < layout.lanes.size(); ++lane) {
    d.Text(10, Geometry::LaneMiddle(lane) + 4, layout.lanes[lane]);
  }
  for (const SpanKind kind :
       {SpanKind::kMaking, SpanKind::kClient, SpanKind::kWaiting, SpanKind::kHolding}) {
    for (const Span& s : layout.spans) {
      if (s.kind != kind) continue;
      const double top = Geometry::LaneMiddle(s.lane) - Geometry::kBarHeight / 2.0;
      const double w = std::max(d.X(s.to) - d.X(s.from), kind == SpanKind::kMaking ? 0.0 : 2.0);
      d.Rect(d.X(s.from), top, w, Geometry::kBarHeight, StyleOf(kind).fill,
             layout.lanes[s.lane] + ", " + Number(s.from, 3) + " s: " + s.detail,
             kind == SpanKind::kClient ? " fill-opacity=\"0.6\"" : "");
    }
  }
  for (const Mark& m : layout.marks) {
    const double top = Geometry::LaneMiddle(m.lane) - Geometry::kBarHeight / 2.0;
    d.Marker(m.kind, d.X(m.at), top, top + Geometry::kBarHeight,
             layout.lanes[m.lane] + ", " + Number(m.at, 3) + " s: " + m.name);
  }
  out += "</svg>\n";
  return out;
}

std::string PageHtml(const Layout& layout) {
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<title>Tavisor hand-over timeline</title>\n<style>\n"
         "body { font-family: sans-serif; margin: 16px; }\n"
         "#details { min-height: 1.5em; padding: 4px 8px; background: #f4f4f4; }\n"
         "svg rect:hover, svg polygon:hover { stroke: #000; stroke-width: 1; }\n"
         "</style>\n</head>\n<body>\n<p id=\"details\">Point at a span or a marker for its "
         "details.</p>\n" +
         PictureSvg(layout, false) +
         "<script>\n"
         "document.querySelector('svg').addEventListener('mouseover', (e) => {\n"
         "  const title = e.target.querySelector('title');\n"
         "  if (title) document.getElementById('details').textContent = title.textContent;\n"
         "});\n"
         "</script>\n</body>\n</html>\n";
}

namespace {

std::string LowerExtension(const std::filesystem::path& file) {
  std::string extension = file.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

}  // namespace

bool IsTimelineFile(const std::filesystem::path& file) {
  const std::string extension = LowerExtension(file);
  return extension == ".json" || extension == ".svg" || extension == ".html" || extension == ".htm";
}

void WriteTimeline(const std::filesystem::path& file, const Layout& layout) {
  const std::string extension = LowerExtension(file);
  std::string text;
  if (extension == ".json") {
    text = TraceJson(layout);
  } else if (extension == ".svg") {
    text = PictureSvg(layout);
  } else if (extension == ".html" || extension == ".htm") {
    text = PageHtml(layout);
  } else {
    throw std::invalid_argument("a timeline file ends in .json, .svg or .html, not \"" +
                                file.filename().string() + "\"");
  }
  std::ofstream stream(file, std::ios::binary);
  stream << text;
  stream.close();
  if (!stream) throw std::runtime_error("cannot write the timeline to " + file.string());
}

}  // namespace timeline
