// The filter bar's logic: the ShowOnly equation typed (or taken from an option file) with its four
// arguments, the quick filters that write conditions for the user (a station, a service, a gap
// above a limit) and "faults only", which no equation can say; compiled into the one filter the
// table and its exports use, with a compiler error placed back in the typed text where it can be.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/bus_findings.h"
#include "engine/record_filter.h"
#include "engine/run_index.h"
#include "options/show_only.h"

namespace fdc::ui {

enum class QuickService : std::uint8_t {
  kAny,
  kDataExchange,
  kDiagnosis,
  kParameters,
  kConfiguration,
  kDp,  // every DP service: data exchange and the requests and replies on the DP SAPs
  kTokens,
};

struct QuickServiceInfo {
  QuickService service;
  std::string_view label;
  std::string_view condition;  // ShowOnly; empty for any service
};
extern const std::array<QuickServiceInfo, 7> kQuickServices;

// The kinds of "faults only" (RecordMarkKind bits), as the filter bar offers them: all faults
// (damaged frames and protocol faults, the default), damaged frames, protocol faults.
struct FaultChoice {
  std::uint16_t kinds;
  std::string_view label;
};
extern const std::array<FaultChoice, 3> kFaultChoices;

struct QuickFilters {
  // Frames sent by or to it (on the side chosen), and the short acknowledgements (SC) that answer
  // its requests.
  std::optional<std::uint8_t> station;
  StationSide stationSide = StationSide::kEither;
  QuickService service = QuickService::kAny;
  std::optional<std::int32_t> gapAboveUs;  // idle gap before the frame above this
  // Records with a mark of these kinds: faults only, or the records of a finding; 0: any record.
  std::uint16_t marks = 0;
  std::optional<std::uint8_t> corruptCause;  // damaged frames of one cause
  // The requests that carry a DP event of the health figures, and their replies.
  bool dpEvents = false;
  // Those of one finding's events only (ascending reference numbers); null: every event's.
  std::shared_ptr<const std::vector<std::uint32_t>> findingRefs;
  // The finding whose records these are, in words; empty when the filters are the user's own.
  std::string finding;
  bool Any() const {
    return station || service != QuickService::kAny || gapAboveUs || marks != 0 || corruptCause ||
           dpEvents;
  }
  friend bool operator==(const QuickFilters&, const QuickFilters&) = default;
};

// The records a finding of the health view is about, and how the table shows them.
struct FindingRecords {
  QuickFilters quick;
  // The finding's records are event rows of this kind of the unfiltered table (the quick
  // filters are then empty); none: they are the rows the quick filters show.
  std::optional<RowKind> eventRows;
};
// The station's requests without a valid reply in time for no response and repeats; the late,
// illegal, early, negative or flagging replies; the master's frames sent too early; the tokens
// passed to a master whose rotations took too long; the damaged frames of a cause; the records
// of a DP finding's events (`dpRefs`, ascending; empty: its station's DP services); the event
// rows of files cut short and a cut record; for the rest the whole run.
FindingRecords RecordsOfFinding(const BusFinding& finding, std::vector<std::uint32_t> dpRefs);

// The ShowOnly condition of the quick filters other than the marks and the cause, each part in
// parentheses (one alone too) and joined by "&&"; empty when none is set. The station's part
// lets every short acknowledgement through: which of them answer the station's requests the
// record filter tells.
std::string QuickFilterEquation(const QuickFilters& quick);

// A station the filter bar offers: its address and its role in the health figures ("master",
// "slave"; empty when not known).
struct StationChoice {
  std::uint8_t address = 0;
  std::string role;
  friend bool operator==(const StationChoice&, const StationChoice&) = default;
};

// The stations of the health figures (stations that sent or were asked for valid frames), with
// their roles.
std::vector<StationChoice> StationChoicesOf(const std::vector<StationFigures>& stations);

struct FilterInput {
  std::string equation;             // as typed: one line, ";" starts a comment, "#" ends it
  std::array<std::string, 4> args;  // the argument fields' texts; empty reads as 0
  QuickFilters quick;
  // The slot time within which an acknowledgement answers (the health view's); 0: by the run's
  // baud rate.
  std::uint32_t slotTimeBits = 0;
  // The requests that carry a DP event (ascending reference numbers, from the health figures),
  // for the quick filter of DP events; null: not known yet, and that filter shows nothing.
  std::shared_ptr<const std::vector<std::uint32_t>> eventRefs = nullptr;
  friend bool operator==(const FilterInput&, const FilterInput&) = default;
};

// A compiler message, and where in the typed equation it points when that can be told.
struct FilterError {
  std::string message;
  bool placed = false;
  std::size_t start = 0;  // characters of the typed text to underline
  std::size_t length = 0;
};

// The compiled filter: the record filter of the table's match index, its reader and the exports.
class TableFilter {
 public:
  // Anything to filter: an equation that is not empty, a quick filter, faults only.
  bool Active() const { return records_.Active(); }
  // The program's text is the equation with the quick conditions.
  const RecordFilter& Records() const { return records_; }
  const std::array<std::int32_t, 4>& CmdArgs() const { return records_.cmdArgs; }
  // One line for people: the equation, the quick conditions, "faults only".
  const std::string& Description() const { return description_; }
  // The finding whose records the filter shows; empty: none.
  const std::string& Finding() const { return finding_; }

 private:
  friend struct FilterCompiler;
  std::unique_ptr<ShowOnlyProgram> program_;
  std::shared_ptr<const std::vector<std::uint32_t>> eventRefs_;
  RecordFilter records_;
  std::string finding_;
  std::string description_;
};

struct FilterCompilation {
  std::shared_ptr<const TableFilter> filter;  // null when the equation has an error
  std::optional<FilterError> error;
};

FilterCompilation CompileTableFilter(const FilterInput& input);

// The typed equation as the bar's field shows it: nothing typed (blanks or a comment only), an
// equation that compiles, or one that does not.
enum class EquationState : std::uint8_t { kEmpty, kValid, kInvalid };
EquationState CheckEquation(const std::string& typed);

// The name being typed at `cursor` (letters, digits and "_" before and after it): its start and
// length in `text`.
struct TypedWord {
  std::size_t start = 0;
  std::size_t length = 0;
};
TypedWord WordAt(std::string_view text, std::size_t cursor);

// The names offered while an equation is typed: the identifiers, then each argument the option
// file names, as "CmdArg[0] (Slave)"; `argNames` empty where an argument has no name.
std::vector<std::string> EquationNames(const std::array<std::string, 4>& argNames);
// What choosing an offered name puts into the equation: "CmdArg[0]" for "CmdArg[0] (Slave)".
std::string_view InsertedName(std::string_view offered);

}  // namespace fdc::ui
