// Bus faults that fdcgen injects on request, each with the parameters that shape it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fdc::gen {

enum class FaultKind : std::uint8_t {
  kOutage,     // a slave stops answering for a while
  kLate,       // replies after the slot time
  kEarly,      // replies before the shortest station delay
  kDiagnosis,  // replies that flag diagnosis (DH)
  kUe,         // negative replies: user error
  kRr,         // negative replies: no resource
  kRs,         // negative replies: no service activated
  kCorrupt,    // replies the module records damaged
  kMaster,     // a further master joins the token ring, with slaves of its own
  kAppear,     // a new slave, first seen midway
  kMissing,    // a configured slave that never answers
  // DP faults: what a DP master and its slaves get wrong above the FDL telegrams.
  kDpDrop,              // a slave falls silent; the master carries on, then starts it anew
  kDpRs,                // the master pauses a slave beyond its watchdog; the slave refuses (RS)
  kPrmFault,            // start-ups whose parameters the slave rejects
  kCfgFault,            // start-ups whose configuration the slave rejects
  kChannelError,        // a channel error comes and goes in the slave's diagnosis
  kDpv1Alarm,           // a DP-V1 slave reports alarms in its diagnosis
  kClearData,           // the master sends Global_Control with Clear_Data
  kFcbNotToggled,       // the master keeps the frame count bit on a new request
  kFcbToggledOnRepeat,  // the master toggles the frame count bit on a repeat
  kCfgDiffers,          // a Get_Cfg reply whose totals differ from the configuration
  kIoLength,            // data exchange of the wrong length
  kMissedCycles,        // data exchange lost once or twice in a row; the master carries on
  kNone,                // nothing: only a clean line and its ground truth
};

// The parameters a kind takes, as bits.
inline constexpr unsigned kFaultAt = 1;
inline constexpr unsigned kFaultCount = 2;
inline constexpr unsigned kFaultCycles = 4;
inline constexpr unsigned kFaultRetries = 8;
inline constexpr unsigned kFaultSlaves = 16;

// How a kind picks its station when none is named.
enum class FaultStation : std::uint8_t { kSlave, kNewStation, kMaster, kNone };

struct FaultKindInfo {
  FaultKind kind;
  std::string_view name;
  FaultStation station;
  unsigned params;
  unsigned defaultAt;     // thousandths of the run's records
  unsigned defaultCount;  // replies, holds or slaves, by the kind
};

inline constexpr std::array<FaultKindInfo, 24> kFaultKinds = {{
    {FaultKind::kOutage, "outage", FaultStation::kSlave, kFaultAt | kFaultCycles | kFaultRetries,
     500, 3},
    {FaultKind::kLate, "late", FaultStation::kSlave, kFaultAt | kFaultCount, 500, 3},
    {FaultKind::kEarly, "early", FaultStation::kSlave, kFaultAt | kFaultCount, 500, 3},
    {FaultKind::kDiagnosis, "diag", FaultStation::kSlave, kFaultAt | kFaultCount, 500, 3},
    {FaultKind::kUe, "ue", FaultStation::kSlave, kFaultAt | kFaultCount, 500, 3},
    {FaultKind::kRr, "rr", FaultStation::kSlave, kFaultAt | kFaultCount, 500, 3},
    {FaultKind::kRs, "rs", FaultStation::kSlave, kFaultAt | kFaultCount, 500, 3},
    {FaultKind::kCorrupt, "corrupt", FaultStation::kSlave, kFaultAt | kFaultCount, 500, 3},
    {FaultKind::kMaster, "master", FaultStation::kNewStation, kFaultAt | kFaultSlaves, 0, 2},
    {FaultKind::kAppear, "appear", FaultStation::kNewStation, kFaultAt, 500, 0},
    {FaultKind::kMissing, "missing", FaultStation::kNewStation, kFaultAt | kFaultRetries, 0, 0},
    {FaultKind::kDpDrop, "dp_drop", FaultStation::kSlave, kFaultAt | kFaultCycles | kFaultRetries,
     500, 6},
    {FaultKind::kDpRs, "dp_rs", FaultStation::kSlave, kFaultAt | kFaultCycles, 500, 8},
    {FaultKind::kPrmFault, "prm_fault", FaultStation::kSlave, kFaultAt | kFaultCount, 0, 2},
    {FaultKind::kCfgFault, "cfg_fault", FaultStation::kSlave, kFaultAt | kFaultCount, 0, 2},
    {FaultKind::kChannelError, "channel_error", FaultStation::kSlave, kFaultAt | kFaultCycles, 500,
     3},
    {FaultKind::kDpv1Alarm, "dpv1_alarm", FaultStation::kSlave, kFaultAt | kFaultCount, 500, 1},
    {FaultKind::kClearData, "clear_data", FaultStation::kMaster, kFaultAt | kFaultCount, 500, 3},
    {FaultKind::kFcbNotToggled, "fcb_not_toggled", FaultStation::kSlave, kFaultAt | kFaultCount,
     500, 3},
    {FaultKind::kFcbToggledOnRepeat, "fcb_toggled_on_repeat", FaultStation::kSlave,
     kFaultAt | kFaultCount, 500, 3},
    {FaultKind::kCfgDiffers, "cfg_differs", FaultStation::kSlave, kFaultAt | kFaultCount, 500, 1},
    {FaultKind::kIoLength, "io_length", FaultStation::kSlave, kFaultAt | kFaultCount, 500, 3},
    {FaultKind::kMissedCycles, "missed_cycles", FaultStation::kSlave,
     kFaultAt | kFaultCount | kFaultRetries, 500, 3},
    {FaultKind::kNone, "none", FaultStation::kNone, 0, 0, 0},
}};

const FaultKindInfo& FaultInfo(FaultKind kind);
std::optional<FaultKind> FindFaultKind(std::string_view name);

// A master gives up on a station after at most this many repeats of one request.
inline constexpr unsigned kMaxRetries = 7;
inline constexpr unsigned kMaxFaultSlaves = 8;
inline constexpr unsigned kMaxFaultCount = 65535;

// One fault as asked for; what is not given takes the kind's default.
struct Fault {
  FaultKind kind = FaultKind::kNone;
  std::optional<std::uint8_t> station;  // 0..126
  std::optional<unsigned> at;           // thousandths of the run's records, 0..999
  std::optional<unsigned> count;        // replies (count=), holds (cycles=) or slaves (slaves=)
  unsigned retries = 2;

  unsigned At() const { return at.value_or(FaultInfo(kind).defaultAt); }
  unsigned Count() const { return count.value_or(FaultInfo(kind).defaultCount); }
};

// One line of a run's ground truth: a figure of the bus health report by its path
// ("stations.7.no_response", "run.corrupt") and the value the run must give it.
struct TruthLine {
  std::string path;
  std::string value;
  bool operator==(const TruthLine&) const = default;
};

// "late@7:count=2:at=300" as the command line takes it; returns the problem, or empty.
std::string ParseFault(std::string_view text, Fault& fault);
// "late@7", or "late" when no station is named: how messages name a fault.
std::string FaultName(const Fault& fault);

}  // namespace fdc::gen
