// The findings of the bus figures, why a run yielded no record, and the flattened station.
#include "engine/bus_findings.h"

#include <algorithm>
#include <map>

#include "capture/baud_rate_table.h"
#include "capture/capture_file_set.h"
#include "capture/capture_format.h"
#include "engine/figure_text.h"

namespace fdc {

namespace {

using namespace text;

// "3 no reply, 1 late": the causes that are not 0.
std::string CauseParts(const NoResponseCauses& causes) {
  std::string text;
  const auto part = [&text](std::uint64_t n, std::string_view what) {
    if (n == 0) return;
    if (!text.empty()) text += ", ";
    text += Dec(n) + " " + std::string(what);
  };
  part(causes.noReply, "no reply");
  part(causes.late, "late");
  part(causes.corrupt, "corrupt");
  return text;
}

// Flattens the station's figures: a series into its count, min, max and mean, a group of counts
// into its keys; nested names joined by ".".
class FlatSink {
 public:
  void Count(std::string_view name, std::uint64_t value) { Add(name, value); }
  void Count(std::string_view name, const std::optional<std::uint64_t>& value) {
    Add(name, value ? FigureValue(*value) : FigureValue());
  }
  void Time(std::string_view name, const std::optional<std::int64_t>& value) {
    Add(name, value ? FigureValue(*value) : FigureValue());
  }
  void Text(std::string_view name, const std::optional<std::string_view>& value) {
    Add(name, value ? FigureValue(std::string(*value)) : FigureValue());
  }
  void Flag(std::string_view name, const std::optional<bool>& value) {
    Add(name, value ? FigureValue(std::string(*value ? "true" : "false")) : FigureValue());
  }
  void Detail(std::string_view, const DpSlaveFigures&, DpDetail) {}
  void Series(std::string_view name, const std::optional<SeriesFigures>& series) {
    const std::string prefix = std::string(name) + ".";
    // With nothing counted there is no minimum, maximum or mean.
    const bool any = series && series->count > 0;
    Add(prefix + "count", series ? FigureValue(series->count) : FigureValue());
    Add(prefix + "min", any ? FigureValue(series->min) : FigureValue());
    Add(prefix + "max", any ? FigureValue(series->max) : FigureValue());
    Add(prefix + "mean", any ? FigureValue(series->mean) : FigureValue());
  }
  void Counts(std::string_view name, std::span<const std::string_view> keys,
              std::span<const std::uint64_t> values) {
    for (std::size_t i = 0; i < keys.size() && i < values.size(); ++i) {
      Add(std::string(name) + "." + std::string(keys[i]), values[i]);
    }
  }

  std::vector<FlatFigure> figures;

 private:
  void Add(std::string_view name, FigureValue value) {
    figures.push_back({std::string(name), std::move(value)});
  }
};

constexpr std::array<std::string_view, 25> kFindingTitles = {
    "No response",
    "Never in data exchange",
    "Dropped out of data exchange",
    "Clear_Data",
    "Slave diagnosis",
    "Watchdog exceeded",
    "FCB errors",
    "Configuration differs",
    "IO lengths differ",
    "Min TSDR violations",
    "Missed cycles",
    "GSD file checks",
    "Repeats",
    "Illegal responses",
    "Late responses",
    "Early responses",
    "Negative responses",
    "Diagnosis flagged",
    "TSYN violations",
    "Rotations over TTR",
    "Corrupt frames",
    "Files cut short",
    "Baud rate changes",
    "Clock steps back",
    "Last record cut short",
};
static_assert(kFindingTitles.size() == static_cast<std::size_t>(FindingKind::kLastRecordCut) + 1);

std::uint64_t NumberOf(const BusFinding& finding, std::string_view name) {
  for (const FindingNumber& n : finding.numbers) {
    if (n.name == name) return n.value;
  }
  return 0;
}

// A station that stopped answering for a while: the no-response finding that leads.
constexpr std::uint64_t kOutageRun = 3;

// Within a kind, the finding to list first; among the no responses an outage leads, the longest
// first.
bool ListedBefore(const BusFinding& a, const BusFinding& b) {
  if (a.kind != b.kind) return a.kind < b.kind;
  if (a.kind == FindingKind::kNoResponse) {
    const std::uint64_t runA = NumberOf(a, "no_response_run_max");
    const std::uint64_t runB = NumberOf(b, "no_response_run_max");
    const bool outageA = runA >= kOutageRun;
    const bool outageB = runB >= kOutageRun;
    if (outageA != outageB) return outageA;
    if (outageA && runA != runB) return runA > runB;
  }
  return a.count > b.count;
}

class FindingList {
 public:
  void Add(FindingKind kind, std::optional<std::uint8_t> station, std::uint64_t count,
           std::vector<FindingNumber> numbers, std::string text) {
    if (count == 0) return;
    list_.push_back({kind, station, count, std::move(numbers), std::move(text)});
  }
  std::vector<BusFinding> Sorted() && {
    // Stable: equal counts keep the order of addresses, or of causes, in which they were added.
    std::stable_sort(list_.begin(), list_.end(), ListedBefore);
    return std::move(list_);
  }

 private:
  std::vector<BusFinding> list_;
};

void AddStationFindings(const BusFigures& figures, const StationFigures& s, FindingList& list) {
  const unsigned address = s.address;
  const auto u = [](std::uint64_t v) { return static_cast<unsigned long long>(v); };
  const NoResponseCauses& causes = s.noResponseCauses;
  list.Add(FindingKind::kNoResponse, s.address, s.noResponse,
           {{"no_response", s.noResponse},
            {"requests_received", s.requestsReceived},
            {"no_response_run_max", s.noResponseRunMax},
            {"no_response_causes.no_reply", causes.noReply},
            {"no_response_causes.late", causes.late},
            {"no_response_causes.corrupt", causes.corrupt}},
           Format("Station %u: no valid reply in time to %llu of %llu requests received, longest "
                  "run %llu (%s)%s",
                  address, u(s.noResponse), u(s.requestsReceived), u(s.noResponseRunMax),
                  CauseParts(causes).c_str(), s.framesSent == 0 ? "; never heard" : ""));
  list.Add(FindingKind::kRepeats, s.address, s.repeats,
           {{"repeats", s.repeats}, {"repeat_chain_max", s.repeatChainMax}},
           Format("Station %u: %s, longest chain %llu", address,
                  Counted(s.repeats, "repeat", "repeats").c_str(), u(s.repeatChainMax)));
  list.Add(FindingKind::kIllegalResponses, s.address, s.illegalResponses,
           {{"illegal_responses", s.illegalResponses}, {"requests_received", s.requestsReceived}},
           Format("Station %u: %s (corrupt, within the slot time)", address,
                  Counted(s.illegalResponses, "illegal response", "illegal responses").c_str()));
  list.Add(
      FindingKind::kLateResponses, s.address, s.lateResponses,
      {{"late_responses", s.lateResponses}, {"requests_received", s.requestsReceived}},
      Format("Station %u: %s (after the slot time of %u bit times)", address,
             Counted(s.lateResponses, "late response", "late responses").c_str(), figures.tslBits));
  if (s.earlyResponses) {
    list.Add(FindingKind::kEarlyResponses, s.address, *s.earlyResponses,
             {{"early_responses", *s.earlyResponses}, {"answered", s.answered}},
             Format("Station %u: %s (under 11 bit times)", address,
                    Counted(*s.earlyResponses, "early response", "early responses").c_str()));
  }
  list.Add(FindingKind::kNegativeResponses, s.address, s.negativeUe + s.negativeRr + s.negativeRs,
           {{"negative_responses.ue", s.negativeUe},
            {"negative_responses.rr", s.negativeRr},
            {"negative_responses.rs", s.negativeRs}},
           Format("Station %u: %s (UE %llu, RR %llu, RS %llu)", address,
                  Counted(s.negativeUe + s.negativeRr + s.negativeRs, "negative response",
                          "negative responses")
                      .c_str(),
                  u(s.negativeUe), u(s.negativeRr), u(s.negativeRs)));
  list.Add(FindingKind::kDiagnosisFlagged, s.address, s.diagnosisFlagged,
           {{"diagnosis_flagged", s.diagnosisFlagged}, {"responses_sent", s.responsesSent}},
           Format("Station %u: diagnosis flagged in %s (DH or RDH)", address,
                  Counted(s.diagnosisFlagged, "response", "responses").c_str()));
  if (s.tsynViolations) {
    list.Add(FindingKind::kTsynViolations, s.address, *s.tsynViolations,
             {{"tsyn_violations", *s.tsynViolations},
              {"requests_sent", s.requestsSent},
              {"tokens_sent", s.tokensSent}},
             Format("Master %u: %s (request or token after under 33 bit times idle)", address,
                    Counted(*s.tsynViolations, "TSYN violation", "TSYN violations").c_str()));
  }
  if (s.ttrExceeded && figures.ttrBits) {
    const std::uint64_t rotations = s.tokenRotationNs ? s.tokenRotationNs->count : 0;
    std::string longest;
    if (s.tokenRotationNs && s.tokenRotationNs->count > 0) {
      longest = ", longest " + Fixed(s.tokenRotationNs->max, 1'000'000, 3) + " ms";
    }
    list.Add(
        FindingKind::kTtrExceeded, s.address, *s.ttrExceeded,
        {{"ttr_exceeded", *s.ttrExceeded}, {"token_rotation_ns.count", rotations}},
        Format("Master %u: %llu of %s over the TTR of %u bit times%s", address, u(*s.ttrExceeded),
               Counted(rotations, "token rotation", "token rotations").c_str(), *figures.ttrBits,
               longest.c_str()));
  }
}

// The run's own findings beyond corrupt frames: damage to the recording and times that do not
// count.
void AddRunFindings(const BusFigures& figures, FindingList& list) {
  const RunFigures& run = figures.run;
  list.Add(FindingKind::kFilesCutShort, std::nullopt, run.filesCutShort,
           {{"files_cut_short", run.filesCutShort}, {"files", run.files}},
           Counted(run.filesCutShort, "file", "files") +
               " cut short: no record mark found, the rest of the file was skipped");
  const std::string runBaud(BaudRateName(figures.baudCode));
  for (const BaudChange& change : run.baudChanges) {
    list.Add(FindingKind::kBaudChanges, std::nullopt, 1,
             {{"baud_changes", run.baudChanges.size()}, {"files", run.files}},
             change.file + " has baud rate " + change.baud + ", not the run's " + runBaud +
                 ": its records are not timed");
  }
  list.Add(FindingKind::kClockStepsBack, std::nullopt, run.clockStepsBack,
           {{"clock_steps_back", run.clockStepsBack}, {"records", run.records}},
           "The module clock steps back " + Counted(run.clockStepsBack, "time", "times") +
               " (first in " + run.firstStepBackFile + ")");
  if (run.lastRecordCut) {
    const RecordCut& cut = *run.lastRecordCut;
    list.Add(FindingKind::kLastRecordCut, std::nullopt, cut.bytes,
             {{"last_record_cut.bytes", cut.bytes}, {"last_record_cut.offset", cut.offset}},
             RecordCutText(cut.file, cut.offset, cut.bytes));
  }
}

// "lost_request 2, RS 1": counts by cause, largest first.
std::string CountsByName(const std::map<std::string, std::uint64_t>& counts) {
  std::vector<std::pair<std::string, std::uint64_t>> sorted(counts.begin(), counts.end());
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  std::string text;
  for (const auto& [name, count] : sorted) {
    text += (text.empty() ? "" : ", ") + name + " " + Dec(count);
  }
  return text;
}

// What the slave does against its GSD file.
void AddGsdFindings(std::uint8_t address, const DpSlaveFigures& d, std::string_view rateName,
                    FindingList& list) {
  const unsigned a = address;
  const char* file = d.gsd->file.c_str();
  const std::string rate(rateName);
  if (d.gsdRateUnsupported.value_or(false)) {
    list.Add(FindingKind::kDpGsd, address, 1, {{"dp.gsd_rate_unsupported", 1}},
             Format("Slave %u: its GSD file %s does not support the run's rate of %s", a, file,
                    rate.c_str()));
  }
  const auto count = [](const std::optional<std::uint64_t>& v) { return v.value_or(0); };
  list.Add(
      FindingKind::kDpGsd, address, count(d.gsdMaxTsdrExceeded),
      {{"dp.gsd_max_tsdr_exceeded", count(d.gsdMaxTsdrExceeded)}},
      Format("Slave %u: %s later than the max TSDR of its GSD file %s at %s", a,
             Counted(count(d.gsdMaxTsdrExceeded), "reply", "replies").c_str(), file, rate.c_str()));
  list.Add(FindingKind::kDpGsd, address, count(d.gsdDiagTooLong),
           {{"dp.gsd_diag_too_long", count(d.gsdDiagTooLong)}},
           Format("Slave %u: %s longer than Max_Diag_Data_Len of its GSD file %s", a,
                  Counted(count(d.gsdDiagTooLong), "diagnosis reply", "diagnosis replies").c_str(),
                  file));
  list.Add(FindingKind::kDpGsd, address, count(d.gsdMinSlaveIntervalViolations),
           {{"dp.gsd_min_slave_interval_violations", count(d.gsdMinSlaveIntervalViolations)}},
           Format("Slave %u: %s shorter than Min_Slave_Intervall of its GSD file %s", a,
                  Counted(count(d.gsdMinSlaveIntervalViolations), "data exchange cycle",
                          "data exchange cycles")
                      .c_str(),
                  file));
  list.Add(FindingKind::kDpGsd, address, count(d.gsdUnknownConfigBytes),
           {{"dp.gsd_unknown_config_bytes", count(d.gsdUnknownConfigBytes)}},
           Format("Slave %u: %s of its configuration %s no module of its GSD file %s", a,
                  Counted(count(d.gsdUnknownConfigBytes), "byte", "bytes").c_str(),
                  count(d.gsdUnknownConfigBytes) == 1 ? "matches" : "match", file));
}

// The diagnosis bits that say a slave cannot work as configured, with how many replies had each.
void AddDpSlaveFindings(std::uint8_t address, const DpSlaveFigures& d, std::string_view rateName,
                        FindingList& list) {
  const unsigned a = address;
  const auto u = [](std::uint64_t v) { return static_cast<unsigned long long>(v); };
  const std::string& lastCause = d.stateCause;
  if (d.entries == 0) {
    list.Add(FindingKind::kDpNeverReached, address, 1, {{"dp.entries", 0}},
             Format("Slave %u never reached data exchange: %s", a,
                    std::string(DpStateName(d.state)).c_str()) +
                 (lastCause.empty() ? std::string() : " (" + lastCause + ")"));
  }
  list.Add(FindingKind::kDpDropped, address, d.drops,
           {{"dp.drops", d.drops}, {"dp.entries", d.entries}},
           Format("Slave %u dropped out of data exchange %s (%s)", a,
                  Counted(d.drops, "time", "times").c_str(), CountsByName(d.dropCauses).c_str()));
  std::string flags;
  std::uint64_t flagged = 0;
  std::vector<FindingNumber> numbers;
  for (const dp::DiagFlag f : kDpFaultFlags) {
    const std::uint64_t n = d.diagFlags[f];
    if (n == 0) continue;
    flagged = std::max(flagged, n);
    flags += (flags.empty() ? "" : ", ") + std::string(dp::kDiagFlagNames[f]) + " " + Dec(n);
    numbers.push_back({dp::kDiagFlagNames[f], n});
  }
  if (flagged > 0) {
    numbers.push_back({"dp.diag_replies", d.diagReplies});
    std::string channels;
    for (const DpChannelErrorCount& c : d.channelErrors) {
      channels += (channels.empty() ? "; channel errors: " : ", ") + Dec(std::uint64_t{c.module}) +
                  "." + Dec(std::uint64_t{c.channel}) + " " + std::string(c.errorName);
    }
    list.Add(FindingKind::kDpDiagnosis, address, flagged, std::move(numbers),
             Format("Slave %u diagnosis: %s of %llu replies", a, flags.c_str(), u(d.diagReplies)) +
                 channels);
  }
  if (d.watchdogExceeded && *d.watchdogExceeded > 0) {
    list.Add(
        FindingKind::kDpWatchdog, address, *d.watchdogExceeded,
        {{"dp.watchdog_exceeded", *d.watchdogExceeded}},
        Format("Slave %u: %s in data exchange longer than its watchdog of %u ms (longest "
               "%s ms)",
               a, Counted(*d.watchdogExceeded, "cycle", "cycles").c_str(), d.watchdogMs.value_or(0),
               Fixed(d.longestCycleInDataExchangeNs.value_or(0), 1'000'000, 3).c_str()));
  }
  const std::uint64_t fcb = d.fcbNotToggled + d.fcbToggledOnRepeat;
  list.Add(
      FindingKind::kDpFcb, address, fcb,
      {{"dp.fcb_not_toggled", d.fcbNotToggled}, {"dp.fcb_toggled_on_repeat", d.fcbToggledOnRepeat}},
      Format("Slave %u: FCB not toggled %llu, toggled on a repeat %llu", a, u(d.fcbNotToggled),
             u(d.fcbToggledOnRepeat)));
  list.Add(FindingKind::kDpConfig, address, d.cfgMismatches,
           {{"dp.cfg_mismatches", d.cfgMismatches}},
           Format("Slave %u: Get_Cfg differs from the configuration %s", a,
                  Counted(d.cfgMismatches, "time", "times").c_str()));
  list.Add(FindingKind::kDpIoLength, address, d.ioLengthMismatches,
           {{"dp.io_length_mismatches", d.ioLengthMismatches}},
           Format("Slave %u: %s with io lengths other than the configuration's (%u output, %u "
                  "input bytes)",
                  a, Counted(d.ioLengthMismatches, "data exchange", "data exchanges").c_str(),
                  d.config ? d.config->outputBytes : 0, d.config ? d.config->inputBytes : 0));
  if (d.minTsdrViolations && *d.minTsdrViolations > 0) {
    list.Add(FindingKind::kDpMinTsdr, address, *d.minTsdrViolations,
             {{"dp.min_tsdr_violations", *d.minTsdrViolations}},
             Format("Slave %u: %s earlier than its min TSDR of %u bit times", a,
                    Counted(*d.minTsdrViolations, "reply", "replies").c_str(),
                    unsigned{d.minTsdrBits.value_or(0)}));
  }
  list.Add(FindingKind::kDpMissedCycles, address, d.missedCycles,
           {{"dp.missed_cycles", d.missedCycles}},
           Format("Slave %u: %s (data exchanges lost while the master carried on)", a,
                  Counted(d.missedCycles, "missed cycle", "missed cycles").c_str()));
  if (d.gsd) AddGsdFindings(address, d, rateName, list);
}

void AddDpFindings(const BusFigures& figures, FindingList& list) {
  for (const StationFigures* s : ByAddress(figures)) {
    if (const DpSlaveFigures* d = DpSlaveOf(figures, s->address)) {
      AddDpSlaveFindings(s->address, *d, BaudRateName(figures.baudCode), list);
    }
    const auto& master = figures.dp.masters[s->address];
    if (!s->master || !master || master->clearData == 0) continue;
    const std::string first =
        master->firstClearDataNs ? ClockTime(*master->firstClearDataNs) + " " : std::string();
    list.Add(FindingKind::kDpClearData, s->address, master->clearData,
             {{"dp_master.clear_data", master->clearData},
              {"dp_master.global_controls", master->globalControls}},
             Format("Master %u sent Global_Control Clear_Data %s, first at %s#%u",
                    unsigned{s->address}, Counted(master->clearData, "time", "times").c_str(),
                    first.c_str(), master->firstClearDataRef.value_or(0)));
  }
}

void AddCorruptFinding(const RunFigures& run, const CorruptCause& cause, std::uint64_t count,
                       FindingList& list) {
  list.Add(FindingKind::kCorruptFrames, std::nullopt, count,
           {{cause.name, count}, {"corrupt", run.corrupt}, {"records", run.records}},
           Format("Corrupt frames: %llu %.*s", static_cast<unsigned long long>(count),
                  static_cast<int>(cause.text.size()), cause.text.data()));
}

}  // namespace

std::vector<const StationFigures*> ByAddress(const BusFigures& figures) {
  std::vector<const StationFigures*> stations;
  stations.reserve(figures.stations.size());
  for (const StationFigures& s : figures.stations) stations.push_back(&s);
  std::stable_sort(
      stations.begin(), stations.end(),
      [](const StationFigures* a, const StationFigures* b) { return a->address < b->address; });
  return stations;
}

std::optional<std::uint8_t> CorruptCauseIndex(std::string_view name) {
  std::optional<std::uint8_t> index;
  std::uint8_t at = 0;
  ForEachCorruptCause(RunFigures{}, [&](const CorruptCause& cause, std::uint64_t) {
    if (cause.name == name) index = at;
    ++at;
  });
  return index;
}

bool HasCorruptCause(const Telegram& t, ByteView record, std::size_t cause) {
  if (cause < kStatusCauses.size()) return (t.status & kStatusBits[cause].mask) != 0;
  cause -= kStatusCauses.size();
  if (cause < kMalformedCauses.size()) return !t.Decoded() && MalformedIndexOf(t) == cause;
  cause -= kMalformedCauses.size();
  if (!t.HasBody()) return false;
  return cause == 0 ? !FcsMatches(record, t) : cause == 1 && t.ed != kEd;
}

std::string_view FindingKindTitle(FindingKind kind) {
  return kFindingTitles[static_cast<std::size_t>(kind)];
}

std::vector<BusFinding> BusFindings(const BusFigures& figures) {
  FindingList list;
  for (const StationFigures* s : ByAddress(figures)) AddStationFindings(figures, *s, list);
  const RunFigures& run = figures.run;
  ForEachCorruptCause(run, [&run, &list](const CorruptCause& cause, std::uint64_t count) {
    AddCorruptFinding(run, cause, count, list);
  });
  AddDpFindings(figures, list);
  AddRunFindings(figures, list);
  return std::move(list).Sorted();
}

std::string NoRecordsReason(const BusFigures& figures) {
  const RunFigures& run = figures.run;
  for (const MinuteFigures& m : figures.minutes) {
    if (m.size < kCaptureHeaderSize) return m.file + " is shorter than a capture file header";
  }
  // Files of their header alone end the run or fail its first search.
  const bool searchFailed =
      run.error && (*run.error == SyncFailureMessage(SyncFailure::kMarkNotFound) ||
                    *run.error == SyncFailureMessage(SyncFailure::kUnableToSync));
  const bool headersOnly =
      !figures.minutes.empty() &&
      std::all_of(figures.minutes.begin(), figures.minutes.end(),
                  [](const MinuteFigures& m) { return m.size == kCaptureHeaderSize; });
  if (headersOnly && (!run.error || searchFailed)) return "every file holds only its header";
  if (run.error) return *run.error;
  if (run.lastRecordCut) {
    return RecordCutText(run.lastRecordCut->file, run.lastRecordCut->offset,
                         run.lastRecordCut->bytes);
  }
  if (run.searchFailure) return *run.searchFailure;
  return "the run holds no record";
}

std::string NoRecordsLine(const BusFigures& figures) {
  return "No records could be read: " + NoRecordsReason(figures);
}

std::vector<FlatFigure> FlattenDpSlave(const DpSlaveFigures* dp) {
  FlatSink sink;
  VisitDpSlave(dp != nullptr ? *dp : DpSlaveFigures{}, sink);
  for (FlatFigure& f : sink.figures) {
    f.name.insert(0, "dp.");
    if (dp == nullptr) f.value.emplace<std::monostate>();
  }
  return std::move(sink.figures);
}

std::vector<FlatFigure> FlattenStation(const StationFigures& station) {
  FlatSink sink;
  VisitStation(station, sink);
  return std::move(sink.figures);
}

}  // namespace fdc
