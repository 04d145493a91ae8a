// The bus health figures put into words and lists for people: the findings that need attention,
// why a run yielded no record, and the station figures in the report's order and names, which
// the JSON, the CSV and the desktop's station table share.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "capture/fdl_protocol.h"
#include "engine/bus_statistics.h"

namespace fdc {

// What a finding is about, in the order in which the report lists the kinds.
enum class FindingKind : std::uint8_t {
  kNoResponse,
  // The DP layer's, after the no responses.
  kDpNeverReached,
  kDpDropped,
  kDpClearData,
  kDpDiagnosis,
  kDpWatchdog,
  kDpFcb,
  kDpConfig,
  kDpIoLength,
  kDpMinTsdr,
  kDpMissedCycles,
  kDpGsd,
  kRepeats,
  kIllegalResponses,
  kLateResponses,
  kEarlyResponses,
  kNegativeResponses,
  kDiagnosisFlagged,
  kTsynViolations,
  kTtrExceeded,
  kCorruptFrames,
  kFilesCutShort,
  kBaudChanges,
  kClockStepsBack,
  kLastRecordCut,
};

// The diagnosis flags that make a DP diagnosis finding.
inline constexpr std::array<dp::DiagFlag, 4> kDpFaultFlags = {dp::kCfgFault, dp::kPrmFault,
                                                              dp::kNotSupported, dp::kExtDiag};

// The kind as a heading ("No response", "Rotations over TTR").
std::string_view FindingKindTitle(FindingKind kind);

// One number of a finding, named as its figure is in the JSON, relative to the station or the run
// ("no_response", "negative_responses.rs", "status_bits.c", "malformed.le").
struct FindingNumber {
  std::string_view name;
  std::uint64_t value = 0;
};

struct BusFinding {
  FindingKind kind = FindingKind::kNoResponse;
  std::optional<std::uint8_t> station;  // none for the run's own findings
  std::uint64_t count = 0;              // what findings of one kind are ordered by
  // The counted figure first (for negative responses its three parts, which add up to the count),
  // then those that put it in proportion. For corrupt frames the first number names the cause.
  std::vector<FindingNumber> numbers;
  std::string text;  // one line for people, naming the station
};

// Everything that needs attention: kinds in FindingKind order, within a kind the largest count
// first (then by station address, or for corrupt frames by cause in the JSON's order); among the
// no responses an outage (a longest run of 3 or more) comes first, longest run first. Empty when
// the bus looked healthy.
std::vector<BusFinding> BusFindings(const BusFigures& figures);

// Why a run yielded no record: a file shorter than a capture file header, files that hold only
// their header, or what the reader said. Meant for figures of no record.
std::string NoRecordsReason(const BusFigures& figures);
// "No records could be read: REASON", which the report and the health view show in place of the
// findings when a run yielded no record.
std::string NoRecordsLine(const BusFigures& figures);

// A figure as the JSON holds it: null, an unsigned count, a signed time or a text.
using FigureValue = std::variant<std::monostate, std::uint64_t, std::int64_t, std::string>;

struct FlatFigure {
  std::string name;  // as in the JSON, nested names joined by "." ("cycle_ns.mean")
  FigureValue value;
};

// Every figure of a station in the report's order, series and groups of counts flattened: the
// CSV's columns, and the desktop's station table.
std::vector<FlatFigure> FlattenStation(const StationFigures& station);

// The line the text report prints when there are no findings.
inline constexpr std::string_view kHealthyBusLine = "The bus looked healthy: nothing to report.";

// The stations in address order, whatever order they came in.
std::vector<const StationFigures*> ByAddress(const BusFigures& figures);

// --- The figures' names ----------------------------------------------------------------------

inline std::string_view StationTypeWord(std::uint8_t type) { return kStationTypes[type & 3].word; }

// The status letters as keys ("s" ... "e").
inline const std::array<std::string_view, 8>& StatusKeys() {
  static const std::array<std::string_view, 8> keys = [] {
    std::array<std::string_view, 8> k;
    for (std::size_t i = 0; i < k.size(); ++i) k[i] = std::string_view(&kStatusBits[i].letter, 1);
    return k;
  }();
  return keys;
}

inline constexpr std::array<std::string_view, 3> kNegativeKeys = {"ue", "rr", "rs"};
inline constexpr std::array<std::string_view, 3> kCauseKeys = {"no_reply", "late", "corrupt"};

// Every station figure in the order in which the report defines them. The JSON object and the
// CSV row are both written from here, so their names and order cannot drift apart.
template <class Sink>
void VisitStation(const StationFigures& s, Sink& sink) {
  sink.Count("address", std::uint64_t{s.address});
  sink.Text("role", s.master ? "master" : "slave");
  sink.Text("station_type",
            s.stationType ? std::optional(StationTypeWord(*s.stationType)) : std::nullopt);
  sink.Time("first_seen_ns", s.firstSeenNs);
  sink.Time("last_seen_ns", s.lastSeenNs);
  sink.Count("frames_sent", s.framesSent);
  sink.Count("requests_sent", s.requestsSent);
  sink.Count("responses_sent", s.responsesSent);
  sink.Count("tokens_sent", s.tokensSent);
  sink.Count("tokens_received", s.tokensReceived);
  sink.Count("requests_received", s.requestsReceived);
  sink.Count("answered", s.answered);
  sink.Count("no_response", s.noResponse);
  const std::array<std::uint64_t, 3> causes = {s.noResponseCauses.noReply, s.noResponseCauses.late,
                                               s.noResponseCauses.corrupt};
  sink.Counts("no_response_causes", kCauseKeys, causes);
  sink.Count("absent_polls", s.absentPolls);
  sink.Count("late_responses", s.lateResponses);
  sink.Count("illegal_responses", s.illegalResponses);
  sink.Count("early_responses", s.earlyResponses);
  sink.Count("repeats", s.repeats);
  sink.Count("repeat_chain_max", s.repeatChainMax);
  sink.Count("no_response_run_max", s.noResponseRunMax);
  sink.Series("response_time_bits", s.responseTimeBits);
  const std::array<std::uint64_t, 3> negative = {s.negativeUe, s.negativeRr, s.negativeRs};
  sink.Counts("negative_responses", kNegativeKeys, negative);
  sink.Count("diagnosis_flagged", s.diagnosisFlagged);
  sink.Counts("services", kServiceKeys, s.services);
  sink.Series("cycle_ns", s.cycleNs);
  sink.Series("token_rotation_ns", s.tokenRotationNs);
  sink.Count("ttr_exceeded", s.ttrExceeded);
  sink.Count("tsyn_violations", s.tsynViolations);
}

// The parts of a slave's DP figures that are lists or objects: the JSON writes them, the flat
// forms leave them out.
enum class DpDetail : std::uint8_t {
  kConfig,
  kDropCauses,
  kDiagFlags,
  kLastDiag,
  kChannelErrors,
};

// Every DP figure of a slave in the order the JSON defines them.
template <class Sink>
void VisitDpSlave(const DpSlaveFigures& d, Sink& sink) {
  const auto small = [](const auto& v) -> std::optional<std::uint64_t> {
    if (!v) return std::nullopt;
    return static_cast<std::uint64_t>(*v);
  };
  sink.Text("state", DpStateName(d.state));
  sink.Time("state_since_ns", d.stateSinceNs);
  sink.Count("owner", small(d.owner));
  sink.Count("ident_number", small(d.identNumber));
  sink.Count("watchdog_ms", small(d.watchdogMs));
  sink.Count("min_tsdr_bits", small(d.minTsdrBits));
  sink.Count("group_ident", small(d.groupIdent));
  sink.Flag("dpv1", d.dpv1);
  sink.Detail("config", d, DpDetail::kConfig);
  sink.Count("entries", d.entries);
  sink.Count("drops", d.drops);
  sink.Detail("drop_causes", d, DpDetail::kDropCauses);
  sink.Count("missed_cycles", d.missedCycles);
  sink.Time("time_in_data_exchange_ns", d.timeInDataExchangeNs);
  sink.Time("longest_outage_ns", d.longestOutageNs);
  sink.Time("first_entry_ns", d.firstEntryNs);
  sink.Count("diag_replies", d.diagReplies);
  sink.Count("diag_changes", d.diagChanges);
  sink.Detail("diag_flags", d, DpDetail::kDiagFlags);
  sink.Detail("last_diag", d, DpDetail::kLastDiag);
  sink.Detail("channel_errors", d, DpDetail::kChannelErrors);
  sink.Count("fcb_not_toggled", d.fcbNotToggled);
  sink.Count("fcb_toggled_on_repeat", d.fcbToggledOnRepeat);
  sink.Count("watchdog_exceeded", d.watchdogExceeded);
  sink.Time("longest_cycle_in_data_exchange_ns", d.longestCycleInDataExchangeNs);
  sink.Count("cfg_mismatches", d.cfgMismatches);
  sink.Count("io_length_mismatches", d.ioLengthMismatches);
  sink.Count("min_tsdr_violations", d.minTsdrViolations);
}

// A slave's DP scalars, named "dp.state" and so on: the CSV's last columns. Every one is null for
// a station without DP figures.
std::vector<FlatFigure> FlattenDpSlave(const DpSlaveFigures* dp);

// A slave's DP figures, or none for a station that received no DP request.
inline const DpSlaveFigures* DpSlaveOf(const BusFigures& figures, std::uint8_t address) {
  const auto& slave = figures.dp.slaves[address & 0x7F];
  return slave ? &*slave : nullptr;
}

// --- Corrupt frames by cause ------------------------------------------------------------------

struct CorruptCause {
  std::string_view name;  // the figure's JSON path in "run"
  std::string_view text;  // what follows the count
};

inline constexpr std::array<CorruptCause, 8> kStatusCauses = {{
    {"status_bits.s", "with status bit s (STSSTP)"},
    {"status_bits.p", "with status bit p (STSPAR)"},
    {"status_bits.d", "with status bit d (STSSD)"},
    {"status_bits.r", "with status bit r (STSRPT)"},
    {"status_bits.u", "with status bit u (STSUND)"},
    {"status_bits.o", "with status bit o (STSOVR)"},
    {"status_bits.c", "with status bit c (STSCHK)"},
    {"status_bits.e", "with status bit e (STSED)"},
}};
static_assert(kStatusCauses.size() == kStatusBits.size());

inline constexpr std::array<CorruptCause, kMalformedCount> kMalformedCauses = {{
    {"malformed.empty", "malformed: empty (frame length 0)"},
    {"malformed.length", "malformed: wrong frame length"},
    {"malformed.le", "malformed: wrong LE"},
    {"malformed.ler", "malformed: LEr differs from LE"},
    {"malformed.second_sd", "malformed: second start delimiter differs"},
    {"malformed.unknown_sd", "malformed: unknown start delimiter"},
}};

inline constexpr CorruptCause kFcsCause = {"fcs_errors", "with a wrong FCS"};
inline constexpr CorruptCause kEdCause = {"ed_errors", "with a wrong end delimiter"};

// Every cause with its count, in the order of the run's JSON figures.
// The causes in ForEachCorruptCause's order: the status bits, the malformed frames, a wrong FCS,
// a wrong end delimiter.
inline constexpr std::size_t kCorruptCauseCount =
    kStatusCauses.size() + kMalformedCauses.size() + 2;
// The cause's place in that order, by its figure's name ("status_bits.c", "fcs_errors").
std::optional<std::uint8_t> CorruptCauseIndex(std::string_view name);
// Whether a frame (its bytes `record`) counts under the cause at that place.
bool HasCorruptCause(const Telegram& t, ByteView record, std::size_t cause);

template <class Visit>
void ForEachCorruptCause(const RunFigures& run, Visit visit) {
  for (std::size_t i = 0; i < kStatusCauses.size(); ++i) visit(kStatusCauses[i], run.statusBits[i]);
  for (std::size_t i = 0; i < kMalformedCauses.size(); ++i) {
    visit(kMalformedCauses[i], run.malformed[i]);
  }
  visit(kFcsCause, run.fcsErrors);
  visit(kEdCause, run.edErrors);
}

}  // namespace fdc
