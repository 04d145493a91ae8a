// The health view's chart series, time axis labels, live list cells and tooltips, and the
// slaves' devices.
#include "ui/health/health_series.h"

#include <algorithm>
#include <cstdio>

#include "capture/fdl_protocol.h"
#include "report/dp_report.h"

namespace fdc::ui {

namespace {

constexpr std::string_view kCaptureExtension = ".FdcCapt";

std::uint64_t Magnitude(std::int64_t value) {
  return value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Dec(std::uint64_t value) { return std::to_string(value); }

const StationFigures* StationAt(const BusFigures& figures, std::uint8_t address) {
  for (const StationFigures& s : figures.stations) {
    if (s.address == address) return &s;
  }
  return nullptr;
}

bool IsSilent(const BusFigures& figures, std::uint8_t address) {
  const auto& silent = figures.run.silentStations;
  return std::find(silent.begin(), silent.end(), address) != silent.end();
}

std::string OptionalCount(const std::optional<std::uint64_t>& value) {
  return value ? Dec(*value) : "-";
}

// "26 / 27 / 29 bit times" style: min / mean / max of a series, each through `show`.
template <class Show>
std::string MinMeanMax(const SeriesFigures& series, Show show) {
  return show(series.min) + " / " + show(series.mean) + " / " + show(series.max);
}

}  // namespace

std::vector<FaultMinute> FaultsPerMinute(const BusFigures& figures) {
  std::vector<FaultMinute> minutes;
  minutes.reserve(figures.minutes.size());
  for (std::size_t i = 0; i < figures.minutes.size(); ++i) {
    const MinuteFigures& m = figures.minutes[i];
    minutes.push_back({MinuteLabel(m.file, i), m.firstRecordNs, m.noReply, m.late, m.corruptReply,
                       m.corruptOther, m.syncLosses, m.repeats});
  }
  return minutes;
}

std::string MinuteLabel(std::string_view file, std::size_t index) {
  const std::size_t tail = 4 + kCaptureExtension.size();
  if (file.size() >= tail) {
    const std::string_view hhmm = file.substr(file.size() - tail, 4);
    if (std::all_of(hhmm.begin(), hhmm.end(), IsDigit)) {
      return std::string(hhmm.substr(0, 2)) + ":" + std::string(hhmm.substr(2, 2));
    }
  }
  return "#" + Dec(index + 1);
}

std::size_t MinuteLabelStep(std::size_t count, std::size_t maxLabels) {
  constexpr std::array<std::size_t, 10> kSteps = {1, 2, 5, 10, 15, 30, 60, 120, 240, 480};
  maxLabels = std::max<std::size_t>(maxLabels, 1);
  for (std::size_t step : kSteps) {
    if ((count + step - 1) / step <= maxLabels) return step;
  }
  return kSteps.back();
}

std::vector<MasterRotation> RotationPerMinute(const BusFigures& figures) {
  std::vector<MasterRotation> masters;
  for (const StationSeries& series : figures.series) {
    const StationFigures* station = StationAt(figures, series.address);
    // The figures give token rotations to masters only; the chart shows what they show.
    if (station == nullptr || !station->master || series.rotationByMinute.empty()) continue;
    MasterRotation rotation;
    rotation.master = series.address;
    for (const StationSeries::MinuteRotation& m : series.rotationByMinute) {
      if (m.rotationNs.count == 0) continue;
      rotation.points.push_back(
          {m.minute, m.rotationNs.count, m.rotationNs.min, m.rotationNs.mean, m.rotationNs.max});
    }
    if (!rotation.points.empty()) masters.push_back(std::move(rotation));
  }
  std::stable_sort(
      masters.begin(), masters.end(),
      [](const MasterRotation& a, const MasterRotation& b) { return a.master < b.master; });
  return masters;
}

std::uint64_t ResponseHistogram::Answered() const {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i + 1 < bins.size(); ++i) sum += bins[i];
  return sum;
}

std::vector<ResponseHistogram> ResponseHistograms(const BusFigures& figures) {
  std::vector<ResponseHistogram> histograms;
  if (!figures.rateKnown) return histograms;
  for (const StationSeries& series : figures.series) {
    // tslBits answered bins and the late one, as the statistics keep them.
    if (series.responseHistogram.size() != std::size_t{figures.tslBits} + 1) continue;
    histograms.push_back({series.address, figures.tslBits, series.responseHistogram});
  }
  std::stable_sort(
      histograms.begin(), histograms.end(),
      [](const ResponseHistogram& a, const ResponseHistogram& b) { return a.station < b.station; });
  return histograms;
}

std::vector<ChartPoint> HistogramOutline(const ResponseHistogram& histogram) {
  std::vector<ChartPoint> points;
  if (histogram.bins.size() < 2) return points;
  const std::size_t answeredBins = histogram.bins.size() - 1;
  points.push_back({0, 0});
  double level = 0;
  for (std::size_t i = 0; i < answeredBins; ++i) {
    const double count = static_cast<double>(histogram.bins[i]);
    if (count == level) continue;
    const double x = static_cast<double>(i);
    points.push_back({x, level});
    points.push_back({x, count});
    level = count;
  }
  const double end = static_cast<double>(answeredBins);
  points.push_back({end, level});
  if (level != 0) points.push_back({end, 0});
  // The first step may start at the origin itself.
  if (points.size() > 1 && points[1] == points[0]) points.erase(points.begin());
  return points;
}

std::vector<ChartPoint> LateOutline(const ResponseHistogram& histogram) {
  if (histogram.Late() == 0) return {};
  const double from = static_cast<double>(histogram.tslBits);
  const double count = static_cast<double>(histogram.Late());
  return {{from, 0}, {from, count}, {from + 1, count}, {from + 1, 0}};
}

std::uint32_t HistogramTickStep(std::uint32_t tslBits) {
  constexpr std::uint32_t kMaxSteps = 10;
  std::uint32_t decade = 1;
  for (;;) {
    for (std::uint32_t factor : {1u, 2u, 5u}) {
      const std::uint32_t step = factor * decade;
      if ((tslBits + step - 1) / step <= kMaxSteps) return step;
    }
    decade *= 10;
  }
}

std::array<LiveCell, kLiveListAddresses> LiveListCells(const BusFigures& figures,
                                                       const std::vector<BusFinding>& findings) {
  std::array<LiveCell, kLiveListAddresses> cells;
  for (const StationFigures& s : figures.stations) {
    if (s.address >= cells.size()) continue;
    LiveCell& cell = cells[s.address];
    cell.role = s.master                       ? LiveRole::kMaster
                : IsSilent(figures, s.address) ? LiveRole::kSilent
                                               : LiveRole::kSlave;
    cell.toolTip = StationToolTip(figures, s, findings);
  }
  for (const BusFinding& f : findings) {
    if (f.station && *f.station < cells.size() && cells[*f.station].role != LiveRole::kNotSeen) {
      cells[*f.station].faulty = true;
    }
  }
  return cells;
}

std::string StationToolTip(const BusFigures& figures, const StationFigures& s,
                           const std::vector<BusFinding>& findings) {
  std::string text = "Station " + Dec(s.address) + ": " + (s.master ? "master" : "slave");
  if (s.stationType)
    text += ", station type " + std::string(kStationTypes[*s.stationType & 3].word);
  if (IsSilent(figures, s.address)) text += ", never heard";
  for (const std::string& line : DeviceLines(figures.dp, s.address)) text += "\n" + line;
  text += "\nFrames sent " + Dec(s.framesSent) + " (requests " + Dec(s.requestsSent) +
          ", responses " + Dec(s.responsesSent) + ", tokens " + Dec(s.tokensSent) + ")";
  if (!s.master || s.requestsReceived > 0) {
    text += "\nRequests received " + Dec(s.requestsReceived) + ": answered " + Dec(s.answered) +
            ", no response " + Dec(s.noResponse) + " (longest run " + Dec(s.noResponseRunMax) + ")";
    text += "\nRepeats " + Dec(s.repeats) + " (longest chain " + Dec(s.repeatChainMax) +
            "), late " + Dec(s.lateResponses) + ", illegal " + Dec(s.illegalResponses) +
            ", early " + OptionalCount(s.earlyResponses);
  }
  if (s.responseTimeBits && s.responseTimeBits->count > 0) {
    text += "\nResponse time " +
            MinMeanMax(*s.responseTimeBits, [](std::int64_t v) { return std::to_string(v); }) +
            " bit times (min / mean / max)";
  }
  const std::optional<SeriesFigures>& cycle = s.master ? s.tokenRotationNs : s.cycleNs;
  if (cycle && cycle->count > 0) {
    text += std::string(s.master ? "\nToken rotation " : "\nCycle ") +
            MinMeanMax(*cycle, Milliseconds) + " ms (min / mean / max)";
  }
  if (s.master && s.ttrExceeded) text += ", " + Dec(*s.ttrExceeded) + " over the TTR";
  bool first = true;
  for (const BusFinding& f : findings) {
    if (f.station != s.address) continue;
    text += first ? "\nFindings:\n  " : "\n  ";
    text += f.text;
    first = false;
  }
  return text;
}

std::string DeviceText(const DpFigures& dp, std::uint8_t address) {
  const std::optional<DpSlaveFigures>& slave = dp.slaves[address & kAddressMask];
  if (!slave) return {};
  if (slave->gsd) return GsdName(*slave);
  if (!dp.gsdRead || !slave->identNumber) return {};
  char text[48];
  std::snprintf(text, sizeof text, "no GSD file for ident 0x%04x", unsigned{*slave->identNumber});
  return text;
}

std::string LastDiagnosisTexts(const DpSlaveFigures& slave) {
  std::string text;
  if (!slave.lastDiag || !slave.lastDiag->texts) return text;
  for (const dp::GsdDiagText& t : *slave.lastDiag->texts) {
    text += (text.empty() ? "\"" : ", \"") + t.text + "\"";
  }
  return text;
}

std::vector<std::string> DeviceLines(const DpFigures& dp, std::uint8_t address) {
  std::vector<std::string> lines;
  const std::string device = DeviceText(dp, address);
  if (device.empty()) return lines;
  lines.push_back("Device: " + device);
  const DpSlaveFigures& slave = *dp.slaves[address & kAddressMask];
  if (const std::string modules = GsdModulesText(slave); !modules.empty()) {
    lines.push_back("Modules: " + modules);
  }
  if (const std::string texts = LastDiagnosisTexts(slave); !texts.empty()) {
    lines.push_back("Last diagnosis: " + texts);
  }
  return lines;
}

std::string Milliseconds(std::int64_t ns) {
  const std::uint64_t v = Magnitude(ns);
  char text[40];
  std::snprintf(text, sizeof text, "%s%llu.%03llu", ns < 0 ? "-" : "",
                static_cast<unsigned long long>(v / 1'000'000),
                static_cast<unsigned long long>(v % 1'000'000 / 1'000));
  return text;
}

std::string ClockTime(std::int64_t ns) {
  const std::uint64_t v = Magnitude(ns);
  char text[48];
  std::snprintf(text, sizeof text, "%s%02llu:%02llu:%02llu.%06llu", ns < 0 ? "-" : "",
                static_cast<unsigned long long>(v / 3'600'000'000'000),
                static_cast<unsigned long long>(v / 60'000'000'000 % 60),
                static_cast<unsigned long long>(v / 1'000'000'000 % 60),
                static_cast<unsigned long long>(v / 1'000 % 1'000'000));
  return text;
}

}  // namespace fdc::ui
