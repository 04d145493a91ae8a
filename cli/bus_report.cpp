// The bus health report: findings, the JSON and CSV writers and the text report.
#include "cli/bus_report.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <span>

#include "capture/baud_rate_table.h"
#include "capture/capture_file_set.h"
#include "capture/capture_format.h"
#include "capture/fdl_protocol.h"

namespace fdc {

namespace {

// Kept in the order of insertion, so that the JSON reads in the order the figures are defined.
using Json = nlohmann::ordered_json;

// --- Small text helpers ------------------------------------------------------------------------

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
Format(const char* format, ...) {
  char buffer[512];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0) return {};
  return std::string(buffer, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buffer - 1));
}

std::string Dec(std::uint64_t value) { return std::to_string(value); }
std::string Dec(std::int64_t value) { return std::to_string(value); }

// "1 late response", "3 late responses".
std::string Counted(std::uint64_t n, std::string_view one, std::string_view many) {
  return Dec(n) + " " + std::string(n == 1 ? one : many);
}

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

// The magnitude of a signed value, through unsigned so that the most negative one has one too.
std::uint64_t Magnitude(std::int64_t value) {
  return value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
}

// value / unit with `decimals` digits after the point, cut toward zero (ns as "12.345" ms).
std::string Fixed(std::int64_t value, std::uint64_t unit, std::size_t decimals) {
  const std::uint64_t magnitude = Magnitude(value);
  std::uint64_t step = unit;
  for (std::size_t i = 0; i < decimals; ++i) step /= 10;
  std::string text = (value < 0 ? "-" : "") + Dec(magnitude / unit);
  if (decimals > 0) {
    std::string fraction = Dec(magnitude % unit / std::max<std::uint64_t>(step, 1));
    fraction.insert(0, decimals - std::min(fraction.size(), decimals), '0');
    text += "." + fraction;
  }
  return text;
}

// An absolute time as the time of day of the module's clock, as the dump shows it to the
// microsecond: "11:59:00.125171".
std::string ClockTime(std::int64_t ns) {
  const std::uint64_t v = Magnitude(ns);
  return Format("%s%02llu:%02llu:%02llu.%06llu", ns < 0 ? "-" : "",
                static_cast<unsigned long long>(v / 3'600'000'000'000),
                static_cast<unsigned long long>(v / 60'000'000'000 % 60),
                static_cast<unsigned long long>(v / 1'000'000'000 % 60),
                static_cast<unsigned long long>(v / 1'000 % 1'000'000));
}

std::string Right(std::string_view text, std::size_t width) {
  std::string out;
  if (text.size() < width) out.assign(width - text.size(), ' ');
  out += text;
  return out;
}

std::string Left(std::string_view text, std::size_t width) {
  std::string out(text);
  if (out.size() < width) out.append(width - out.size(), ' ');
  return out;
}

// The stations in address order, whatever order they came in.
std::vector<const StationFigures*> ByAddress(const BusFigures& figures) {
  std::vector<const StationFigures*> stations;
  stations.reserve(figures.stations.size());
  for (const StationFigures& s : figures.stations) stations.push_back(&s);
  std::stable_sort(
      stations.begin(), stations.end(),
      [](const StationFigures* a, const StationFigures* b) { return a->address < b->address; });
  return stations;
}

// --- The figures' names --------------------------------------------------------------------------

std::string_view StationTypeWord(std::uint8_t type) { return kStationTypes[type & 3].word; }

// The status letters as keys ("s" ... "e").
const std::array<std::string_view, 8>& StatusKeys() {
  static const std::array<std::string_view, 8> keys = [] {
    std::array<std::string_view, 8> k;
    for (std::size_t i = 0; i < k.size(); ++i) k[i] = std::string_view(&kStatusBits[i].letter, 1);
    return k;
  }();
  return keys;
}

constexpr std::array<std::string_view, 3> kNegativeKeys = {"ue", "rr", "rs"};
constexpr std::array<std::string_view, 3> kCauseKeys = {"no_reply", "late", "corrupt"};

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

// --- JSON ----------------------------------------------------------------------------------------

class JsonSink {
 public:
  explicit JsonSink(Json& object) : object_(object) {}

  void Count(std::string_view name, std::uint64_t value) { Set(name, value); }
  void Count(std::string_view name, const std::optional<std::uint64_t>& value) {
    Set(name, value ? Json(*value) : Json(nullptr));
  }
  void Time(std::string_view name, const std::optional<std::int64_t>& value) {
    Set(name, value ? Json(*value) : Json(nullptr));
  }
  void Text(std::string_view name, const std::optional<std::string_view>& value) {
    Set(name, value ? Json(std::string(*value)) : Json(nullptr));
  }
  void Series(std::string_view name, const std::optional<SeriesFigures>& series) {
    if (!series) {
      Set(name, nullptr);
      return;
    }
    // With nothing counted there is no minimum, maximum or mean.
    const bool any = series->count > 0;
    Json object = Json::object();
    object["count"] = series->count;
    object["min"] = any ? Json(series->min) : Json(nullptr);
    object["max"] = any ? Json(series->max) : Json(nullptr);
    object["mean"] = any ? Json(series->mean) : Json(nullptr);
    Set(name, std::move(object));
  }
  void Counts(std::string_view name, std::span<const std::string_view> keys,
              std::span<const std::uint64_t> values) {
    Json object = Json::object();
    for (std::size_t i = 0; i < keys.size() && i < values.size(); ++i) {
      object[std::string(keys[i])] = values[i];
    }
    Set(name, std::move(object));
  }
  void List(std::string_view name, std::span<const std::uint8_t> values) {
    Json array = Json::array();
    for (std::uint8_t v : values) array.push_back(v);
    Set(name, std::move(array));
  }

 private:
  void Set(std::string_view name, Json value) { object_[std::string(name)] = std::move(value); }
  Json& object_;
};

Json RunJson(const RunFigures& run) {
  Json object = Json::object();
  JsonSink sink(object);
  sink.Count("files", run.files);
  sink.Count("records", run.records);
  sink.Count("valid", run.valid);
  sink.Count("corrupt", run.corrupt);
  sink.Count("sync_losses", run.syncLosses);
  sink.Count("files_cut_short", run.filesCutShort);
  object["pending_request"] = run.pendingRequest;
  if (run.lastRecordCut) {
    object["last_record_cut"] = {{"file", run.lastRecordCut->file},
                                 {"offset", run.lastRecordCut->offset},
                                 {"bytes", run.lastRecordCut->bytes}};
  } else {
    object["last_record_cut"] = nullptr;
  }
  sink.Count("clock_steps_back", run.clockStepsBack);
  Json changes = Json::array();
  for (const BaudChange& change : run.baudChanges) {
    changes.push_back({{"file", change.file}, {"baud", change.baud}});
  }
  object["baud_changes"] = std::move(changes);
  sink.Text("error", run.error ? std::optional<std::string_view>(*run.error) : std::nullopt);
  sink.Time("start_ns", run.startNs);
  sink.Time("end_ns", run.endNs);
  sink.Time("bus_load_permille", run.busLoadPermille);
  sink.Counts("status_bits", StatusKeys(), run.statusBits);
  sink.Counts("malformed", kMalformedKeys, run.malformed);
  sink.Count("fcs_errors", run.fcsErrors);
  sink.Count("ed_errors", run.edErrors);
  sink.List("silent_stations", run.silentStations);
  return object;
}

Json MinuteJson(const MinuteFigures& minute) {
  Json object = Json::object();
  JsonSink sink(object);
  sink.Text("file", std::string_view(minute.file));
  sink.Count("records", minute.records);
  sink.Count("corrupt", minute.corrupt);
  sink.Count("no_response", minute.noResponse);
  sink.Count("no_reply", minute.noReply);
  sink.Count("late", minute.late);
  sink.Count("corrupt_reply", minute.corruptReply);
  sink.Count("corrupt_other", minute.corruptOther);
  sink.Count("repeats", minute.repeats);
  sink.Count("sync_losses", minute.syncLosses);
  return object;
}

// --- CSV -----------------------------------------------------------------------------------------

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

void WriteCsvRow(const std::vector<std::string>& fields, std::ostream& out) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out << ',';
    out << CsvField(fields[i]);
  }
  out << "\r\n";
}

// --- Findings ------------------------------------------------------------------------------------

struct CorruptCause {
  std::string_view name;  // the figure's JSON path in "run"
  std::string_view text;  // what follows the count
};

constexpr std::array<CorruptCause, 8> kStatusCauses = {{
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

constexpr std::array<CorruptCause, kMalformedCount> kMalformedCauses = {{
    {"malformed.empty", "malformed: empty (frame length 0)"},
    {"malformed.length", "malformed: wrong frame length"},
    {"malformed.le", "malformed: wrong LE"},
    {"malformed.ler", "malformed: LEr differs from LE"},
    {"malformed.second_sd", "malformed: second start delimiter differs"},
    {"malformed.unknown_sd", "malformed: unknown start delimiter"},
}};

constexpr CorruptCause kFcsCause = {"fcs_errors", "with a wrong FCS"};
constexpr CorruptCause kEdCause = {"ed_errors", "with a wrong end delimiter"};

// Every cause with its count, in the order of the run's JSON figures.
template <class Visit>
void ForEachCorruptCause(const RunFigures& run, Visit visit) {
  for (std::size_t i = 0; i < kStatusCauses.size(); ++i) visit(kStatusCauses[i], run.statusBits[i]);
  for (std::size_t i = 0; i < kMalformedCauses.size(); ++i) {
    visit(kMalformedCauses[i], run.malformed[i]);
  }
  visit(kFcsCause, run.fcsErrors);
  visit(kEdCause, run.edErrors);
}

constexpr std::array<std::string_view, 14> kFindingTitles = {
    "No response",        "Repeats",
    "Illegal responses",  "Late responses",
    "Early responses",    "Negative responses",
    "Diagnosis flagged",  "TSYN violations",
    "Rotations over TTR", "Corrupt frames",
    "Files cut short",    "Baud rate changes",
    "Clock steps back",   "Last record cut short",
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

void AddCorruptFinding(const RunFigures& run, const CorruptCause& cause, std::uint64_t count,
                       FindingList& list) {
  list.Add(FindingKind::kCorruptFrames, std::nullopt, count,
           {{cause.name, count}, {"corrupt", run.corrupt}, {"records", run.records}},
           Format("Corrupt frames: %llu %.*s", static_cast<unsigned long long>(count),
                  static_cast<int>(cause.text.size()), cause.text.data()));
}

// --- Text report ---------------------------------------------------------------------------------

void WriteTitle(const BusFigures& figures, std::ostream& out) {
  const std::string first = figures.minutes.empty() ? "(no capture file)" : figures.minutes[0].file;
  out << "Bus health report: " << first << ", " << Counted(figures.run.files, "file", "files")
      << ", " << Counted(figures.run.records, "record", "records") << "\n";
  if (figures.run.error) {
    out << "Reading ended early: " << *figures.run.error
        << "\nThe figures below cover the records read before it.\n";
  }
  out << "\n";
}

// A finding as lines of at most 100 columns, broken at blanks, its continuation lines indented
// further (a word longer than a line, such as a long path, stands alone).
void WriteWrapped(std::string_view text, std::ostream& out) {
  constexpr std::size_t kWidth = 100;
  std::string line = "  ";
  std::size_t at = 0;
  bool first = true;
  while (at < text.size()) {
    std::size_t end = text.find(' ', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view word = text.substr(at, end - at);
    if (!first && line.size() + 1 + word.size() > kWidth) {
      out << line << "\n";
      line = "    ";
    } else if (!first) {
      line += ' ';
    }
    line += word;
    first = false;
    at = end + 1;
  }
  out << line << "\n";
}

void WriteFindings(const BusFigures& figures, std::ostream& out) {
  if (figures.run.records == 0) {
    out << NoRecordsLine(figures) << "\n\n";
    return;
  }
  const std::vector<BusFinding> findings = BusFindings(figures);
  if (findings.empty()) {
    out << kHealthyBusLine << "\n\n";
    return;
  }
  out << "Findings\n";
  for (const BusFinding& f : findings) WriteWrapped(f.text, out);
  out << "\n";
}

// A 16 x 8 grid of the addresses 0..127.
void WriteLiveList(const BusFigures& figures, std::ostream& out) {
  std::array<char, 128> marks;
  marks.fill('.');
  unsigned masters = 0;
  unsigned slaves = 0;
  for (const StationFigures& s : figures.stations) {
    if (s.address >= marks.size()) continue;
    marks[s.address] = s.master ? 'M' : 'S';
    ++(s.master ? masters : slaves);
  }
  // Addressed but never heard: a slave entry only because requests went to it.
  for (std::uint8_t address : figures.run.silentStations) {
    if (address < marks.size() && marks[address] == 'S') marks[address] = 'x';
  }
  out << "Live list: " << Counted(masters, "master", "masters") << ", "
      << Counted(slaves, "slave", "slaves")
      << " (M master, S slave, x addressed but never heard, . not seen)\n";
  out << "     ";
  for (unsigned column = 0; column < 16; ++column)
    out << Right("+" + Dec(std::uint64_t{column}), 4);
  out << "\n";
  for (unsigned row = 0; row < 8; ++row) {
    out << Right(Dec(std::uint64_t{row * 16}), 5);
    for (unsigned column = 0; column < 16; ++column) {
      out << "   " << marks[row * 16 + column];
    }
    out << "\n";
  }
  out << "\n";
}

// The columns of the station table; the widths keep a row within 98 characters.
struct TableColumn {
  std::string_view group;  // the heading above it ("Response bits"), or empty
  std::string_view name;
  std::size_t width;
  std::size_t gap;  // blanks before it
};

constexpr std::array<TableColumn, 13> kTableColumns = {{
    {"", "Addr", 4, 0},
    {"", "Role", 6, 1},
    {"", "Sent", 10, 1},
    {"", "Requests", 9, 1},
    {"", "No resp", 7, 1},
    {"", "Repeats", 7, 1},
    {"", "Late", 5, 1},
    {"", "Illegal", 7, 1},
    {"", "Early", 5, 1},
    {"Response bits", "min", 5, 2},
    {"Response bits", "mean", 5, 1},
    {"Response bits", "max", 5, 1},
    {"Cycle", "ms", 9, 2},
}};

void WriteTableRow(const std::array<std::string, kTableColumns.size()>& cells, std::ostream& out) {
  std::string line;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const TableColumn& column = kTableColumns[i];
    line.append(column.gap, ' ');
    line += i == 1 ? Left(cells[i], column.width) : Right(cells[i], column.width);
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  out << line << "\n";
}

void WriteTableHeading(std::ostream& out) {
  // The group headings, each centred over its columns.
  std::string groups;
  std::size_t at = 0;
  for (std::size_t i = 0; i < kTableColumns.size();) {
    const TableColumn& first = kTableColumns[i];
    std::size_t span = first.width;
    std::size_t j = i + 1;
    for (;
         j < kTableColumns.size() && !first.group.empty() && kTableColumns[j].group == first.group;
         ++j) {
      span += kTableColumns[j].gap + kTableColumns[j].width;
    }
    at += first.gap;
    if (!first.group.empty()) {
      const std::size_t pad = span > first.group.size() ? span - first.group.size() : 0;
      // A single column's heading is right-aligned over it, like its numbers.
      const std::size_t left = j - i > 1 ? pad / 2 : pad;
      groups.resize(at, ' ');
      groups.append(left, ' ');
      groups += first.group;
    }
    at += span;
    i = j;
  }
  out << groups << "\n";
  std::array<std::string, kTableColumns.size()> names;
  for (std::size_t i = 0; i < names.size(); ++i) names[i] = kTableColumns[i].name;
  WriteTableRow(names, out);
}

std::string SeriesCell(const std::optional<SeriesFigures>& series,
                       std::int64_t SeriesFigures::*part) {
  if (!series || series->count == 0) return "-";
  return Dec((*series).*part);
}

void WriteStationTable(const BusFigures& figures, std::ostream& out) {
  out << "Stations\n";
  if (figures.stations.empty()) {
    out << "  none seen\n\n";
    return;
  }
  WriteTableHeading(out);
  for (const StationFigures* station : ByAddress(figures)) {
    const StationFigures& s = *station;
    const std::optional<SeriesFigures>& cycle = s.master ? s.tokenRotationNs : s.cycleNs;
    WriteTableRow({Dec(std::uint64_t{s.address}), s.master ? "master" : "slave", Dec(s.framesSent),
                   Dec(s.requestsReceived), Dec(s.noResponse), Dec(s.repeats), Dec(s.lateResponses),
                   Dec(s.illegalResponses), s.earlyResponses ? Dec(*s.earlyResponses) : "-",
                   SeriesCell(s.responseTimeBits, &SeriesFigures::min),
                   SeriesCell(s.responseTimeBits, &SeriesFigures::mean),
                   SeriesCell(s.responseTimeBits, &SeriesFigures::max),
                   cycle && cycle->count > 0 ? Fixed(cycle->mean, 1'000'000, 3) : "-"},
                  out);
  }
  out << "Sent: valid frames sent. Requests: requests received that expect a reply, judged by\n"
         "the record after them.\n"
         "Cycle: mean time between data exchanges with a slave; a master's mean token "
         "rotation.\n\n";
}

std::string CorruptCauses(const RunFigures& run) {
  std::string text;
  ForEachCorruptCause(run, [&text](const CorruptCause& cause, std::uint64_t count) {
    if (count == 0) return;
    if (!text.empty()) text += ", ";
    text += std::string(cause.name) + " " + Dec(count);
  });
  return text;
}

// A summary line: the label, then the value, wrapped after a ", " where it would pass the 100th
// column, its continuation lines under the value's first character.
void WriteSummaryLine(std::string_view label, std::string_view value, std::ostream& out) {
  constexpr std::size_t kIndent = 17;
  constexpr std::size_t kWidth = 100;
  std::string line = "  " + Left(label, kIndent - 3) + " ";
  std::size_t at = 0;
  bool first = true;
  while (at < value.size()) {
    std::size_t end = value.find(", ", at);
    end = end == std::string_view::npos ? value.size() : end + 1;  // the comma stays on its line
    const std::string_view piece = value.substr(at, end - at);
    if (!first && line.size() + 1 + piece.size() > kWidth) {
      out << line << "\n";
      line = std::string(kIndent, ' ');
    } else if (!first) {
      line += ' ';
    }
    line += piece;
    first = false;
    at = end < value.size() && value[end] == ' ' ? end + 1 : end;
  }
  out << line << "\n";
}

std::string Settings(const BusFigures& figures) {
  if (!figures.rateKnown) {
    return "baud rate unknown (code " + Dec(std::uint64_t{figures.baudCode}) +
           "): no times, no slot time test";
  }
  return "baud rate " + std::string(BaudRateName(figures.baudCode)) + ", slot time " +
         Dec(std::uint64_t{figures.tslBits}) + " bit times, " +
         (figures.ttrBits ? "TTR " + Dec(std::uint64_t{*figures.ttrBits}) + " bit times"
                          : "no TTR given");
}

void WriteRunSummary(const BusFigures& figures, std::ostream& out) {
  const RunFigures& run = figures.run;
  const auto line = [&out](std::string_view label, const std::string& value) {
    WriteSummaryLine(label, value, out);
  };
  out << "Run\n";
  std::string files = Dec(run.files);
  if (!figures.minutes.empty()) {
    files += ": " + figures.minutes.front().file;
    if (figures.minutes.size() > 1) files += " to " + figures.minutes.back().file;
  }
  line("Files", files);
  line("Records",
       Dec(run.records) + " (" + Dec(run.valid) + " valid, " + Dec(run.corrupt) + " corrupt)");
  if (run.startNs && run.endNs) {
    // A clock that stepped back leaves no span to tell.
    line("Time", ClockTime(*run.startNs) + " to " + ClockTime(*run.endNs) +
                     (*run.endNs >= *run.startNs
                          ? ", " + Fixed(*run.endNs - *run.startNs, 1'000'000'000, 6) + " s"
                          : std::string()));
  }
  line("Bus load", run.busLoadPermille ? Fixed(*run.busLoadPermille, 10, 1) + " %" : "-");
  line("Settings", Settings(figures));
  line("Sync losses", Dec(run.syncLosses) + "; files cut short " + Dec(run.filesCutShort));
  line("Corrupt frames", Dec(run.corrupt) + (run.corrupt > 0 ? ": " + CorruptCauses(run) : ""));
  std::string silent;
  for (std::uint8_t address : run.silentStations) {
    silent += (silent.empty() ? "" : ", ") + Dec(std::uint64_t{address});
  }
  line("Silent", silent.empty() ? "none" : silent);
  if (run.error) line("Ended early", *run.error);
}

}  // namespace

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

void WriteBusJson(const BusFigures& figures, std::ostream& out) {
  Json root = Json::object();
  root["run"] = RunJson(figures.run);
  Json stations = Json::array();
  for (const StationFigures* s : ByAddress(figures)) {
    Json object = Json::object();
    JsonSink sink(object);
    VisitStation(*s, sink);
    stations.push_back(std::move(object));
  }
  root["stations"] = std::move(stations);
  Json minutes = Json::array();
  for (const MinuteFigures& m : figures.minutes) minutes.push_back(MinuteJson(m));
  root["minutes"] = std::move(minutes);
  // File names and reader messages may hold bytes that are not UTF-8; they are replaced rather
  // than failing the whole report.
  out << root.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
}

std::vector<FlatFigure> FlattenStation(const StationFigures& station) {
  FlatSink sink;
  VisitStation(station, sink);
  return std::move(sink.figures);
}

void WriteBusCsv(const BusFigures& figures, std::ostream& out) {
  // The CSV's column names join nested names by "_".
  std::vector<std::string> names;
  for (FlatFigure& figure : FlattenStation(StationFigures{})) {
    std::replace(figure.name.begin(), figure.name.end(), '.', '_');
    names.push_back(std::move(figure.name));
  }
  WriteCsvRow(names, out);
  for (const StationFigures* s : ByAddress(figures)) {
    std::vector<std::string> cells;
    for (const FlatFigure& figure : FlattenStation(*s)) {
      if (const auto* count = std::get_if<std::uint64_t>(&figure.value)) {
        cells.push_back(Dec(*count));
      } else if (const auto* time = std::get_if<std::int64_t>(&figure.value)) {
        cells.push_back(Dec(*time));
      } else if (const auto* text = std::get_if<std::string>(&figure.value)) {
        cells.push_back(*text);
      } else {
        cells.emplace_back();  // null
      }
    }
    WriteCsvRow(cells, out);
  }
}

void WriteBusTextReport(const BusFigures& figures, std::ostream& out) {
  WriteTitle(figures, out);
  WriteFindings(figures, out);
  WriteLiveList(figures, out);
  WriteStationTable(figures, out);
  WriteRunSummary(figures, out);
}

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

}  // namespace fdc
