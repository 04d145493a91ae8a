// The DP timeline from the tracker's events.
#include "ui/health/dp_timeline.h"

#include <algorithm>
#include <cmath>

#include "common/text_appenders.h"
#include "report/dp_report.h"

namespace fdc::ui {

namespace {

// How bad a state is, for the pixel that several states share.
int Badness(DpState state) {
  switch (state) {
    case DpState::kDataExchange:
      return 0;
    case DpState::kUnknown:
      return 1;
    case DpState::kStartup:
      return 2;
    case DpState::kRefused:
      return 3;
    case DpState::kNoResponse:
      return 4;
  }
  return 0;
}

std::optional<DpMarkerKind> MarkerKindOf(const DpEvent& e) {
  switch (e.kind) {
    case DpEventKind::kSlaveDiag:
      return DpMarkerKind::kDiagnosis;
    case DpEventKind::kGlobalControl: {
      const auto* control = std::get_if<dp::GlobalControl>(&e.Detail().decoded);
      if (control != nullptr && control->clearData) return DpMarkerKind::kClearData;
      return std::nullopt;
    }
    case DpEventKind::kFcbNotToggled:
    case DpEventKind::kFcbToggledOnRepeat:
    case DpEventKind::kWatchdogExceeded:
    case DpEventKind::kCfgMismatch:
    case DpEventKind::kIoLengthMismatch:
      return DpMarkerKind::kCheck;
    default:
      return std::nullopt;
  }
}

QString Clock(std::int64_t ns) {
  std::string text;
  StringSink sink{text};
  AppendClock(sink, ns);
  return QString::fromStdString(text);
}

// A length of time in ms with three decimals.
QString Millis(std::int64_t ns) {
  return QString::number(static_cast<double>(ns) / 1e6, 'f', 3) + QStringLiteral(" ms");
}

}  // namespace

DpTimeline DpTimelineOf(const BusFigures& figures) {
  DpTimeline timeline;
  const bool timed = figures.rateKnown && figures.run.startNs && figures.run.endNs;
  timeline.axis = timed ? DpAxis::kTime : DpAxis::kReference;
  timeline.begin = timed ? static_cast<double>(*figures.run.startNs) : 1.0;
  timeline.end = timed ? static_cast<double>(*figures.run.endNs)
                       : static_cast<double>(figures.run.records + 1);
  if (timeline.end <= timeline.begin) timeline.end = timeline.begin + 1;

  std::vector<int> bandOf(figures.dp.slaves.size(), -1);
  for (std::size_t a = 0; a < figures.dp.slaves.size(); ++a) {
    if (!figures.dp.slaves[a]) continue;
    bandOf[a] = static_cast<int>(timeline.bands.size());
    DpBand& band = timeline.bands.emplace_back();
    band.address = static_cast<std::uint8_t>(a);
    DpSegment start;
    start.start = timeline.begin;
    start.startNs = figures.run.startNs;
    band.segments.push_back(start);
  }
  // An event without a time (an untimed record) stands where the one before it did.
  double last = timeline.begin;
  const auto xOf = [&](const DpEvent& e) {
    if (timeline.axis == DpAxis::kReference) return static_cast<double>(e.ref);
    if (e.timeNs) last = std::clamp(static_cast<double>(*e.timeNs), timeline.begin, timeline.end);
    return last;
  };
  for (const DpEvent& e : figures.dp.events) {
    const double x = xOf(e);
    const auto marker = MarkerKindOf(e);
    if (e.kind == DpEventKind::kState && e.station < bandOf.size() && bandOf[e.station] >= 0) {
      DpSegment segment;
      segment.start = x;
      segment.state = e.to;
      segment.cause = e.Detail().cause;
      segment.ref = e.ref;
      segment.startNs = e.timeNs;
      timeline.bands[static_cast<std::size_t>(bandOf[e.station])].segments.push_back(
          std::move(segment));
    } else if (marker) {
      const DpMarker m{x, *marker, e.ref, DpEventLine(e)};
      if (e.kind == DpEventKind::kGlobalControl) {
        // Clear_Data goes to the slaves the master owns (all of them when it owns none).
        const auto& master = figures.dp.masters[e.station & 0x7F];
        const bool owns = master && !master->slavesOwned.empty();
        for (DpBand& band : timeline.bands) {
          if (!owns || std::count(master->slavesOwned.begin(), master->slavesOwned.end(),
                                  band.address) > 0) {
            band.markers.push_back(m);
          }
        }
      } else if (e.station < bandOf.size() && bandOf[e.station] >= 0) {
        timeline.bands[static_cast<std::size_t>(bandOf[e.station])].markers.push_back(m);
      }
    }
  }
  for (DpBand& band : timeline.bands) {
    auto& segments = band.segments;
    for (std::size_t i = 0; i < segments.size(); ++i) {
      segments[i].end = i + 1 < segments.size() ? segments[i + 1].start : timeline.end;
      const std::optional<std::int64_t> endNs =
          i + 1 < segments.size() ? segments[i + 1].startNs : figures.run.endNs;
      if (timeline.axis == DpAxis::kTime && segments[i].startNs && endNs) {
        segments[i].lengthNs = *endNs - *segments[i].startNs;
      }
    }
    // A change at the run's first moment replaces the unknown start.
    if (segments.size() > 1 && segments[1].start <= segments[0].start) {
      segments.erase(segments.begin());
    }
  }
  return timeline;
}

std::vector<DpPixelSpan> DpPixelSpans(const DpBand& band, double x0, double x1, int width) {
  std::vector<DpPixelSpan> spans;
  if (width <= 0 || x1 <= x0) return spans;
  const double scale = width / (x1 - x0);
  const auto pixel = [&](double x) {
    return static_cast<int>(std::clamp(std::floor((x - x0) * scale), 0.0, double(width)));
  };
  const auto& segments = band.segments;
  auto it = std::partition_point(segments.begin(), segments.end(),
                                 [x0](const DpSegment& s) { return s.end <= x0; });
  int next = 0;  // the first pixel not drawn yet
  for (; it != segments.end() && it->start < x1; ++it) {
    // A segment covers at least the pixel it begins in.
    const int from = pixel(std::max(it->start, x0));
    const int to = std::max(pixel(std::min(it->end, x1)), from + 1);
    if (to <= next) {
      // Within the pixel drawn last: the worse state takes it.
      if (spans.empty() || Badness(it->state) <= Badness(spans.back().state)) continue;
      if (spans.back().to - spans.back().from > 1) {
        --spans.back().to;
        spans.push_back({spans.back().to, spans.back().to + 1, it->state});
      } else {
        spans.back().state = it->state;
      }
      continue;
    }
    const int begin = std::max(from, next);
    if (!spans.empty() && spans.back().to == begin && spans.back().state == it->state) {
      spans.back().to = to;
    } else {
      spans.push_back({begin, to, it->state});
    }
    next = to;
  }
  // Neighbours that came to share a state are one span.
  std::vector<DpPixelSpan> merged;
  for (const DpPixelSpan& s : spans) {
    if (!merged.empty() && merged.back().to == s.from && merged.back().state == s.state) {
      merged.back().to = s.to;
    } else {
      merged.push_back(s);
    }
  }
  return merged;
}

const DpSegment* DpSegmentAt(const DpBand& band, double x) {
  const auto& segments = band.segments;
  auto it = std::partition_point(segments.begin(), segments.end(),
                                 [x](const DpSegment& s) { return s.end <= x; });
  if (it == segments.end() || x < it->start) return nullptr;
  return &*it;
}

const DpMarker* DpMarkerNear(const DpBand& band, double x, double slack) {
  const DpMarker* best = nullptr;
  auto it = std::partition_point(band.markers.begin(), band.markers.end(),
                                 [&](const DpMarker& m) { return m.at < x - slack; });
  for (; it != band.markers.end() && it->at <= x + slack; ++it) {
    if (best == nullptr || std::abs(it->at - x) < std::abs(best->at - x)) best = &*it;
  }
  return best;
}

QString DpAxisText(double x, DpAxis axis) {
  if (axis == DpAxis::kReference) return QStringLiteral("#%1").arg(static_cast<qint64>(x));
  return Clock(static_cast<std::int64_t>(x));
}

QString DpSegmentTip(const DpSegment& segment, DpAxis axis) {
  QString tip = QString::fromUtf8(DpStateName(segment.state).data(),
                                  static_cast<int>(DpStateName(segment.state).size()));
  if (!segment.cause.empty()) tip += QStringLiteral(" (%1)").arg(QString::fromStdString(segment.cause));
  if (axis == DpAxis::kTime && segment.startNs) {
    tip += QStringLiteral(" from ") + Clock(*segment.startNs);
    if (segment.lengthNs) tip += QStringLiteral(" for ") + Millis(*segment.lengthNs);
  } else {
    tip += QStringLiteral(" from record %1 to %2")
               .arg(static_cast<qint64>(segment.start))
               .arg(static_cast<qint64>(segment.end));
  }
  if (segment.ref != 0) tip += QStringLiteral(", began at record %1").arg(segment.ref);
  return tip;
}

}  // namespace fdc::ui
