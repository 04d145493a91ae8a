// The DP tab's timeline without a display: each slave's states over the run as segments, drawn
// from the tracker's state changes (never per record), with markers for diagnosis changes,
// Clear_Data and failed checks; the segments one band shows in a range at a width, at most one a
// pixel, a short fault never hidden by what surrounds it; and what lies under a point.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/bus_statistics.h"

namespace fdc::ui {

// The timeline's x: nanoseconds on the module's clock, or reference numbers when the run's times
// are unknown (unknown baud rate).
enum class DpAxis { kTime, kReference };

struct DpSegment {
  double start = 0;
  double end = 0;
  DpState state = DpState::kUnknown;
  std::string cause;              // of the change that began it; empty for the run's start
  std::uint32_t ref = 0;          // the request that began it; 0 for the run's start
  std::optional<std::int64_t> startNs;
  std::optional<std::int64_t> lengthNs;
};

enum class DpMarkerKind : std::uint8_t { kDiagnosis, kClearData, kCheck };

struct DpMarker {
  double at = 0;
  DpMarkerKind kind = DpMarkerKind::kCheck;
  std::uint32_t ref = 0;
  std::string text;  // the event's line, as fdcstat --format events writes it
};

struct DpBand {
  std::uint8_t address = 0;
  std::vector<DpSegment> segments;  // in order, end to end over the run
  std::vector<DpMarker> markers;    // by x
};

struct DpTimeline {
  DpAxis axis = DpAxis::kReference;
  double begin = 0;
  double end = 1;
  std::vector<DpBand> bands;  // the slaves that received DP requests, by address
};

DpTimeline DpTimelineOf(const BusFigures& figures);

// A stretch of pixels [from, to) of one band in one state.
struct DpPixelSpan {
  int from = 0;
  int to = 0;
  DpState state = DpState::kUnknown;
  friend bool operator==(const DpPixelSpan&, const DpPixelSpan&) = default;
};
// The spans that draw `band` between x0 and x1 over `width` pixels: one state a pixel; where
// several segments share a pixel, the worst of them (no response, refused, startup, unknown, data
// exchange) takes it.
std::vector<DpPixelSpan> DpPixelSpans(const DpBand& band, double x0, double x1, int width);

// The segment at x (none outside the run), and the marker nearest to x within `slack`.
const DpSegment* DpSegmentAt(const DpBand& band, double x);
const DpMarker* DpMarkerNear(const DpBand& band, double x, double slack);

// The tooltip of a segment: "data_exchange (answered) from 09:00:28.579.808 for 12.345 ms,
// record 504".
QString DpSegmentTip(const DpSegment& segment, DpAxis axis);
// An x as the axis shows it: a clock time, or "#1234".
QString DpAxisText(double x, DpAxis axis);

}  // namespace fdc::ui
