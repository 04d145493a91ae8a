// DpTracker: the DP layer's view of a run. Fed by the statistics' pairing of each request with
// the record after it (and their repeat verdicts), it decodes what masters and slaves say in the
// DP services, follows each slave's state (unknown, startup, data exchange, refused, no response),
// checks FCB/FCV, watchdog, configuration, io lengths and the min TSDR, and keeps an event log.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "capture/capture_format.h"
#include "capture/telegram.h"
#include "dp/dp_services.h"
#include "dp/gsd.h"

namespace fdc {

class TimeBase;

enum class DpState : std::uint8_t { kUnknown, kDataExchange, kStartup, kRefused, kNoResponse };
inline constexpr std::array<std::string_view, 5> kDpStateNames = {
    "unknown", "data_exchange", "startup", "refused", "no_response"};
constexpr std::string_view DpStateName(DpState s) { return kDpStateNames[static_cast<int>(s)]; }

// The kinds of events, in the order in which events of one record and station are listed.
enum class DpEventKind : std::uint8_t {
  kState,
  kSlaveDiag,
  kSetPrm,
  kChkCfg,
  kGetCfg,
  kGlobalControl,
  kSetSlaveAdd,
  kFcbNotToggled,
  kFcbToggledOnRepeat,
  kWatchdogExceeded,
  kCfgMismatch,
  kIoLengthMismatch,
  kCount,
};
inline constexpr std::array<std::string_view, static_cast<int>(DpEventKind::kCount)>
    kDpEventKindNames = {"state",
                         "slave_diag",
                         "set_prm",
                         "chk_cfg",
                         "get_cfg",
                         "global_control",
                         "set_slave_add",
                         "fcb_not_toggled",
                         "fcb_toggled_on_repeat",
                         "watchdog_exceeded",
                         "cfg_mismatch",
                         "io_length_mismatch"};
constexpr std::string_view DpEventKindName(DpEventKind k) {
  return kDpEventKindNames[static_cast<int>(k)];
}

using DpDecoded = std::variant<std::monostate, dp::SlaveDiag, dp::SetPrm, dp::Config,
                               dp::GlobalControl, dp::SetSlaveAdd>;

// What an event says beyond its kind and place. Equal details of a slave's events are shared, so
// that a day's log of much the same events stays small.
struct DpEventDetail {
  // state
  std::string cause;
  std::optional<std::int64_t> outageNs;  // entries: the time since the previous drop
  // slave_diag, set_prm, chk_cfg, get_cfg, global_control, set_slave_add
  DpDecoded decoded;
  // watchdog_exceeded
  std::int64_t intervalNs = 0;
  std::uint32_t watchdogMs = 0;
  // cfg_mismatch: the configuration's totals and the reply's; io_length_mismatch: the
  // configuration's totals and the lengths judged
  std::uint32_t cfgInputBytes = 0;
  std::uint32_t cfgOutputBytes = 0;
  std::uint32_t inputBytes = 0;
  std::uint32_t outputBytes = 0;
  std::optional<std::uint32_t> requestBytes;
  std::optional<std::uint32_t> replyBytes;
  bool operator==(const DpEventDetail&) const = default;
};

struct DpEvent {
  std::optional<std::int64_t> timeNs;  // the request's; none when it is not timed
  std::uint32_t ref = 0;               // the request's
  DpEventKind kind = DpEventKind::kState;
  std::uint8_t station = 0;  // the slave; for global_control the master
  std::uint8_t master = 0;
  // state
  DpState from = DpState::kUnknown;
  DpState to = DpState::kUnknown;
  std::uint8_t da = 0;  // global_control

  // The detail, empty when none was set.
  const DpEventDetail& Detail() const { return detail_ ? *detail_ : kNoDetail; }
  // The detail to change: this event's own, copied first when it is shared.
  DpEventDetail& Edit();
  // Shares `other`'s detail when it equals this one's.
  bool ShareDetail(const std::shared_ptr<const DpEventDetail>& other);
  const std::shared_ptr<const DpEventDetail>& DetailPointer() const { return detail_; }

 private:
  static const DpEventDetail kNoDetail;
  std::shared_ptr<const DpEventDetail> detail_;
};

// The event log: a deque, so that a long run's log grows without copying or slack.
using DpEventLog = std::deque<DpEvent>;

// A piece of the configuration as the slave's GSD file names it: a module, or bytes no module
// matches (no name).
struct DpModuleFigures {
  std::optional<std::string> name;
  std::string bytes;                    // hex
  std::vector<std::string> candidates;  // every module of the same bytes, the named one first
};

struct DpConfigFigures {
  std::string identifiers;  // hex
  std::uint32_t inputBytes = 0;
  std::uint32_t outputBytes = 0;
  dp::Malformed malformed = dp::Malformed::kNone;
  std::optional<std::vector<DpModuleFigures>> modules;  // when the slave has a GSD file
};

// The GSD file that describes a slave.
struct DpGsdFigures {
  std::string file;
  std::string vendor;
  std::string model;
  std::string revision;
  std::vector<std::string> otherFiles;  // of the same ident, not used
};

struct DpChannelErrorCount {
  std::uint8_t module = 0;
  std::uint8_t channel = 0;
  std::string_view errorName;
  std::uint64_t count = 0;
};

// How a slave's device-related blocks are read in the records after `ref`.
struct Dpv1Reading {
  std::uint32_t ref = 0;
  bool dpv1 = false;
};

// A slave's DP figures (a station that received a DP request). Time figures are absent when the
// rate is unknown.
struct DpSlaveFigures {
  DpState state = DpState::kUnknown;
  std::string stateCause;  // of the last change (not in the JSON)
  std::optional<std::int64_t> stateSinceNs;
  std::optional<std::uint8_t> owner;
  std::optional<std::uint16_t> identNumber;
  std::optional<std::uint32_t> watchdogMs;
  std::optional<std::uint8_t> minTsdrBits;
  std::optional<std::uint8_t> groupIdent;
  std::optional<bool> dpv1;
  std::optional<DpConfigFigures> config;
  std::uint64_t entries = 0;
  std::uint64_t drops = 0;
  std::map<std::string, std::uint64_t> dropCauses;
  std::uint64_t missedCycles = 0;
  std::optional<std::int64_t> timeInDataExchangeNs;
  std::optional<std::int64_t> longestOutageNs;
  std::optional<std::int64_t> firstEntryNs;
  std::uint64_t diagReplies = 0;
  std::uint64_t diagChanges = 0;
  std::array<std::uint64_t, dp::kDiagFlagCount> diagFlags{};
  std::optional<dp::SlaveDiag> lastDiag;
  std::vector<DpChannelErrorCount> channelErrors;
  std::uint64_t fcbNotToggled = 0;
  std::uint64_t fcbToggledOnRepeat = 0;
  std::optional<std::uint64_t> watchdogExceeded;
  std::optional<std::int64_t> longestCycleInDataExchangeNs;
  std::uint64_t cfgMismatches = 0;
  std::uint64_t ioLengthMismatches = 0;
  std::optional<std::uint64_t> minTsdrViolations;
  // Checked against the slave's GSD file; absent without one.
  std::optional<DpGsdFigures> gsd;
  std::optional<bool> gsdRateUnsupported;  // the run's rate; absent when the rate is unknown
  std::optional<std::uint64_t> gsdMaxTsdrExceeded;
  std::optional<std::uint64_t> gsdDiagTooLong;
  std::optional<std::uint64_t> gsdMinSlaveIntervalViolations;
  std::optional<std::uint64_t> gsdUnknownConfigBytes;
  // How the slave's device-related diagnosis blocks are read (as DP-V1 alarms and status blocks
  // when the owner's accepted Set_Prm enables DP-V1): one entry per change, at the request whose
  // reply changed it. Before the first entry they are not. Not in the JSON.
  std::vector<Dpv1Reading> dpv1Readings;
};

struct DpMasterFigures {
  std::uint64_t globalControls = 0;
  std::uint64_t clearData = 0;
  std::optional<std::int64_t> firstClearDataNs;
  std::optional<std::uint32_t> firstClearDataRef;
  std::vector<std::uint8_t> slavesOwned;
};

struct DpFigures {
  bool gsdRead = false;  // the run was given GSD folders: a slave without a file says so
  std::array<std::optional<DpSlaveFigures>, 128> slaves;  // by address
  std::array<std::optional<DpMasterFigures>, 128> masters;
  DpEventLog events;  // by ref, then station, then kind
};

// What the statistics know of a valid request when they have classified it.
struct DpRequestSeen {
  const Telegram* telegram = nullptr;
  ByteView bytes{nullptr, 0};
  std::uint32_t ref = 0;
  std::int64_t ticks = 0;
  bool timed = false;
  bool expectsReply = false;  // a status poll included
  bool statusPoll = false;
  bool repeat = false;  // repeats the unanswered request before it (not for status polls)
  std::optional<std::int64_t> cycleNs;  // the cycle interval of the addressed slave it closes
};

// The outcome of the request that waited for the record after it.
struct DpReplySeen {
  bool answered = false;            // a valid matching reply in time
  bool illegal = false;             // a corrupt record came within the slot time
  const Telegram* reply = nullptr;  // the answering telegram, when answered
  ByteView bytes{nullptr, 0};
  std::optional<std::int64_t> responseBits;  // when answered and timed
};

// How the slave's device-related blocks are read in the record with reference number `ref`.
bool Dpv1ReadingAt(const DpSlaveFigures& slave, std::uint32_t ref);

class DpTracker {
 public:
  // `ticksPerBit` 0: the rate is unknown. The time base turns ticks into nanoseconds. Without
  // `keepEvents` the events are made and dropped: the figures are the same, the list is empty.
  // `gsd`: the GSD files the slaves are named and checked by, at the run's `baudCode`.
  DpTracker(std::int64_t ticksPerBit, const TimeBase* time, bool keepEvents = true,
            const dp::GsdLibrary* gsd = nullptr, std::uint16_t baudCode = 0);
  ~DpTracker();
  DpTracker(const DpTracker&) = delete;
  DpTracker& operator=(const DpTracker&) = delete;

  // A corrupt record or a sync loss: the capture may have lost something between its neighbours.
  void OnBreak() { ++breaks_; }
  // The clock stepped back at this record: no interval is measured across it.
  void OnStepBack() { ++stepsBack_; }
  void OnRequest(const DpRequestSeen& request);
  void OnReply(const DpReplySeen& reply);
  // A timed record: the run's end for an open period of data exchange.
  void OnTimedRecord(std::int64_t ticks) {
    lastTicks_ = ticks;
    lastSteps_ = stepsBack_;
    hasLast_ = true;
  }

  DpFigures Figures() const;
  // The figures, the event log moved out of the tracker rather than copied: the tracker is done.
  DpFigures TakeFigures();

 private:
  DpFigures FiguresWithoutEvents() const;
  struct State;
  std::unique_ptr<State> state_;
  std::uint64_t breaks_ = 0;
  std::uint64_t stepsBack_ = 0;
  bool hasLast_ = false;
  std::int64_t lastTicks_ = 0;
  std::uint64_t lastSteps_ = 0;
};

}  // namespace fdc
