// What the health view draws, worked out from the bus figures without a display: the faults per
// minute file, each master's token rotation per minute, each station's response time histogram,
// the minute axis' labels, the live list's cells and their tooltips, and a slave's device as its
// GSD file names it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/bus_findings.h"
#include "engine/bus_statistics.h"

namespace fdc::ui {

// One minute file's faults at x = its index in the run. The stacked ones count each fault once:
// a request without a valid reply in time by its cause (in the request's file), the other
// corrupt records and the losses of synchronisation (in their own file). Repeats, which follow
// from no replies, are a line of their own.
struct FaultMinute {
  std::string label;                          // "12:00"
  std::optional<std::int64_t> firstRecordNs;  // where a click on it takes the record table
  std::uint64_t noReply = 0;
  std::uint64_t late = 0;
  std::uint64_t corruptReply = 0;
  std::uint64_t corruptOther = 0;
  std::uint64_t syncLosses = 0;
  std::uint64_t repeats = 0;
  std::uint64_t Total() const { return noReply + late + corruptReply + corruptOther + syncLosses; }
  friend bool operator==(const FaultMinute&, const FaultMinute&) = default;
};

std::vector<FaultMinute> FaultsPerMinute(const BusFigures& figures);

// A minute file's label on the time axis: "HH:MM" from its name "<name>HHMM.FdcCapt", else its
// number in the run from 1 ("#3").
std::string MinuteLabel(std::string_view file, std::size_t index);

// Every how many minutes the time axis carries a label, so that `count` minutes get at most
// `maxLabels`: 1, 2, 5, 10, 15, 30, 60, 120, 240 or 480.
std::size_t MinuteLabelStep(std::size_t count, std::size_t maxLabels);

// The token rotations that ended in one minute file, at x = that file's index.
struct RotationPoint {
  std::uint32_t minute = 0;
  std::uint64_t count = 0;
  std::int64_t minNs = 0;
  std::int64_t meanNs = 0;
  std::int64_t maxNs = 0;
  friend bool operator==(const RotationPoint&, const RotationPoint&) = default;
};

struct MasterRotation {
  std::uint8_t master = 0;
  std::vector<RotationPoint> points;  // minutes without a rotation have none
  friend bool operator==(const MasterRotation&, const MasterRotation&) = default;
};

// Per master (a station whose role is master) that received the token at least twice, by address.
std::vector<MasterRotation> RotationPerMinute(const BusFigures& figures);

struct ResponseHistogram {
  std::uint8_t station = 0;
  std::uint32_t tslBits = 0;
  // One bin a bit time from 0 to the slot time (earlier answers in the first, one at the slot
  // time itself in the last), then the late responses.
  std::vector<std::uint64_t> bins;
  std::uint64_t Answered() const;
  std::uint64_t Late() const { return bins.empty() ? 0 : bins.back(); }
  friend bool operator==(const ResponseHistogram&, const ResponseHistogram&) = default;
};

// Per station that answered or answered late, by address; none when the rate is unknown.
std::vector<ResponseHistogram> ResponseHistograms(const BusFigures& figures);

struct ChartPoint {
  double x = 0;
  double y = 0;
  friend bool operator==(const ChartPoint&, const ChartPoint&) = default;
};

// The histogram's answered bins as a step outline from the x axis and back to it: bin i spans
// i to i + 1 bit times; neighbouring bins of one count make one step.
std::vector<ChartPoint> HistogramOutline(const ResponseHistogram& histogram);
// The late bin as a step of its own, one bit time wide above the slot time; none when empty.
std::vector<ChartPoint> LateOutline(const ResponseHistogram& histogram);

// The distance between the labels of the histogram's time axis: the first of 1, 2, 5, 10, 20,
// 50 ... bit times that labels 0 to the slot time at most ten times over.
std::uint32_t HistogramTickStep(std::uint32_t tslBits);

// --- Live list ----------------------------------------------------------------------------------

enum class LiveRole : std::uint8_t {
  kNotSeen,
  kMaster,
  kSlave,
  kSilent,  // addressed with requests that expect a reply, never heard
};

struct LiveCell {
  LiveRole role = LiveRole::kNotSeen;
  bool faulty = false;  // a finding names the station
  std::string toolTip;  // empty for an address not seen
};

inline constexpr std::size_t kLiveListAddresses = 128;
inline constexpr std::size_t kLiveListColumns = 16;

std::array<LiveCell, kLiveListAddresses> LiveListCells(const BusFigures& figures,
                                                       const std::vector<BusFinding>& findings);

// The station's key figures, its device (DeviceLines) and its findings, a line each.
std::string StationToolTip(const BusFigures& figures, const StationFigures& station,
                           const std::vector<BusFinding>& findings);

// --- A slave's device by its GSD file ------------------------------------------------------------

// "Test Devices Ltd TD-8DI 1.2 (TEST7F01.GSD)"; "no GSD file for ident 0x7f01" when the run was
// read with GSD folders and none of their files has the slave's ident; empty otherwise.
std::string DeviceText(const DpFigures& dp, std::uint8_t address);
// The texts of the slave's GSD file for its last diagnosis, each in quotes, as the text report
// has them ("Wire break", "Not parameterised"); empty when there are none.
std::string LastDiagnosisTexts(const DpSlaveFigures& slave);
// "Device: ...", "Modules: 1 '8 DI'" and "Last diagnosis: ..." as far as each has something to
// say; none for a slave the run's GSD folders do not concern.
std::vector<std::string> DeviceLines(const DpFigures& dp, std::uint8_t address);

// --- Numbers as the report shows them -----------------------------------------------------------

// ns as milliseconds with three decimals, cut toward zero ("1536.481").
std::string Milliseconds(std::int64_t ns);
// An absolute time as the module's time of day to the microsecond ("12:00:00.251637").
std::string ClockTime(std::int64_t ns);

}  // namespace fdc::ui
