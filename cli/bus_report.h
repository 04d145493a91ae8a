// The bus health report's writers — the complete figures as JSON, the station table as CSV, the
// text report for people — and the findings that the text report and the desktop's health view
// lead with.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "engine/bus_statistics.h"

namespace fdc {

// What a finding is about, in the order in which the report lists the kinds.
enum class FindingKind : std::uint8_t {
  kNoResponse,
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

// {"run": {...}, "stations": [...], "minutes": [...]}, absent figures as null.
void WriteBusJson(const BusFigures& figures, std::ostream& out);
// The station table: a header row, then one row per station, RFC 4180 (CRLF line ends, quoted
// where needed), absent figures as empty fields.
void WriteBusCsv(const BusFigures& figures, std::ostream& out);
// The report for people, at most 100 columns wide: findings (or the healthy line), the live list,
// the station table, the run summary.
void WriteBusTextReport(const BusFigures& figures, std::ostream& out);

// The line the text report prints when there are no findings.
inline constexpr std::string_view kHealthyBusLine = "The bus looked healthy: nothing to report.";

// One CSV field: quoted, with its quotes doubled, when it holds a comma, a quote, CR or LF.
std::string CsvField(std::string_view text);

}  // namespace fdc
