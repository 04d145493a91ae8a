// The filter bar's equation, arguments and quick filters compiled into one filter.
#include "ui/run_table/table_filter.h"

#include <algorithm>
#include <vector>

#include "engine/dump_request_rules.h"
#include "engine/record_marks.h"
#include "options/show_only_compiler.h"

namespace fdc::ui {

// Requests carry the service in their DSAP, responses in their SSAP (the master's own SAP is the
// other one), so each condition looks at the SAP of the frame's direction. An absent SAP reads as
// 65536: data exchange is SRD without SAPs and its responses with data and without SAPs.
const std::array<QuickServiceInfo, 7> kQuickServices = {{
    {QuickService::kAny, "Any service", ""},
    {QuickService::kDataExchange, "Data exchange",
     "((FC & TYPMSK) == SRDH || (FC & TYPMSK) == SRDL) && DSAP == 65536 || "
     "(FC & 64) == 0 && SSAP == 65536 && LEN > 0"},
    {QuickService::kDiagnosis, "Diagnosis",
     "(FC & 64) != 0 && DSAP == 60 || (FC & 64) == 0 && SSAP == 60"},
    {QuickService::kParameters, "Parameters",
     "(FC & 64) != 0 && DSAP == 61 || (FC & 64) == 0 && SSAP == 61"},
    {QuickService::kConfiguration, "Configuration",
     "(FC & 64) != 0 && (DSAP == 62 || DSAP == 59) || (FC & 64) == 0 && (SSAP == 62 || SSAP == "
     "59)"},
    {QuickService::kDp, "DP services",
     "(FC & 64) != 0 && (DSAP >= 55 && DSAP <= 62 || ((FC & TYPMSK) == SRDH || (FC & TYPMSK) == "
     "SRDL) && DSAP == 65536) || (FC & 64) == 0 && (SSAP >= 55 && SSAP <= 62 || SSAP == 65536 "
     "&& LEN > 0) || SD == SC"},
    {QuickService::kTokens, "Tokens", "SD == SD4"},
}};

const std::array<FaultChoice, 3> kFaultChoices = {{
    {static_cast<std::uint16_t>(kMarkDamaged | kProtocolMarks), "All faults"},
    {kMarkDamaged, "Damaged frames"},
    {kProtocolMarks, "Protocol faults"},
}};

namespace {

std::string_view ServiceLabel(QuickService service) {
  for (const QuickServiceInfo& info : kQuickServices) {
    if (info.service == service) return info.label;
  }
  return {};
}

std::string_view ServiceCondition(QuickService service) {
  for (const QuickServiceInfo& info : kQuickServices) {
    if (info.service == service) return info.condition;
  }
  return {};
}

bool BlankOnly(std::string_view text) {
  for (char c : text) {
    if (c == ';' || c == '#') return true;
    if (c != ' ' && c != '\t') return false;
  }
  return true;
}

}  // namespace

std::vector<StationChoice> StationChoicesOf(const std::vector<StationFigures>& stations) {
  std::vector<StationChoice> choices;
  for (const StationFigures& s : stations) {
    choices.push_back({s.address, s.master ? "master" : "slave"});
  }
  std::sort(choices.begin(), choices.end(),
            [](const StationChoice& a, const StationChoice& b) { return a.address < b.address; });
  return choices;
}

namespace {

// The station's part of a finding's records: which of its frames carry which marks.
struct StationRecords {
  StationSide side;
  std::uint16_t marks;
  QuickService service = QuickService::kAny;
};

std::optional<StationRecords> StationRecordsOf(FindingKind kind) {
  constexpr auto kUnanswered =
      static_cast<std::uint16_t>(kMarkNoReply | kMarkLateReply | kMarkCorruptReply);
  switch (kind) {
    case FindingKind::kNoResponse:
    case FindingKind::kRepeats:
      return StationRecords{StationSide::kAddressee, kUnanswered};
    case FindingKind::kLateResponses:
      return StationRecords{StationSide::kAnswering, kMarkLateAnswer};
    case FindingKind::kIllegalResponses:
      return StationRecords{StationSide::kAnswering, kMarkIllegalAnswer};
    case FindingKind::kEarlyResponses:
      return StationRecords{StationSide::kAnswering, kMarkEarlyReply};
    case FindingKind::kNegativeResponses:
      return StationRecords{StationSide::kSender, kMarkNegativeReply};
    case FindingKind::kDiagnosisFlagged:
      return StationRecords{StationSide::kSender, kMarkDiagnosisFlagged};
    case FindingKind::kTsynViolations:
      return StationRecords{StationSide::kSender, kMarkTsynViolation};
    case FindingKind::kTtrExceeded:
      return StationRecords{StationSide::kAddressee, 0, QuickService::kTokens};
    default:
      return std::nullopt;
  }
}

bool IsDpFinding(FindingKind kind) {
  return kind >= FindingKind::kDpNeverReached && kind <= FindingKind::kDpGsd;
}

}  // namespace

FindingRecords RecordsOfFinding(const BusFinding& finding, std::vector<std::uint32_t> dpRefs) {
  FindingRecords records;
  QuickFilters& quick = records.quick;
  quick.finding = finding.text;
  if (finding.kind == FindingKind::kFilesCutShort) {
    records.eventRows = RowKind::kFileCutShort;
  } else if (finding.kind == FindingKind::kLastRecordCut) {
    records.eventRows = RowKind::kRecordCut;
  } else if (finding.kind == FindingKind::kCorruptFrames && !finding.numbers.empty()) {
    quick.corruptCause = CorruptCauseIndex(finding.numbers.front().name);
  } else if (IsDpFinding(finding.kind) && !dpRefs.empty()) {
    quick.dpEvents = true;
    quick.findingRefs = std::make_shared<const std::vector<std::uint32_t>>(std::move(dpRefs));
  } else if (IsDpFinding(finding.kind) && finding.station) {
    quick.station = finding.station;
    quick.service = QuickService::kDp;
  } else if (const auto station = StationRecordsOf(finding.kind); station && finding.station) {
    quick.station = finding.station;
    quick.stationSide = station->side;
    quick.marks = station->marks;
    quick.service = station->service;
  }
  if (records.eventRows || !quick.Any()) quick.finding.clear();
  return records;
}

std::string QuickFilterEquation(const QuickFilters& quick) {
  std::vector<std::string> parts;
  if (quick.station) {
    const std::string s = std::to_string(*quick.station);
    switch (quick.stationSide) {
      case StationSide::kEither:
        parts.push_back("DA == " + s + " || SA == " + s + " || SD == SC");
        break;
      case StationSide::kSender:
        parts.push_back("SA == " + s + " || SD == SC");
        break;
      case StationSide::kAddressee:
        parts.push_back("DA == " + s);
        break;
      case StationSide::kAnswering:
        // Which records answer a request to it only the record before tells.
        break;
    }
  }
  if (quick.service != QuickService::kAny) parts.emplace_back(ServiceCondition(quick.service));
  if (quick.gapAboveUs) parts.push_back("GapTme > " + std::to_string(*quick.gapAboveUs));
  std::string equation;
  for (const std::string& part : parts) {
    if (!equation.empty()) equation += " && ";
    // Bracketed also alone, so that the equation's text reads right after "(typed) && ".
    equation += "(" + part + ")";
  }
  return equation;
}

namespace {

std::string_view FaultLabel(std::uint16_t kinds) {
  for (const FaultChoice& choice : kFaultChoices) {
    if (choice.kinds == kinds) return choice.label;
  }
  return "faults";
}

template <class Add>
void AddQuickDescription(const QuickFilters& quick, Add& add) {
  if (quick.station) {
    add("station " + std::to_string(*quick.station) + " and its acknowledgements");
  }
  if (quick.service != QuickService::kAny) add(ServiceLabel(quick.service));
  if (quick.gapAboveUs) add("gap above " + std::to_string(*quick.gapAboveUs) + " us");
  if (quick.marks != 0) add("faults only: " + std::string(FaultLabel(quick.marks)));
  if (quick.dpEvents) add("DP events");
}

}  // namespace

struct FilterCompiler {
  static FilterCompilation Compile(const FilterInput& input) {
    FilterCompilation compilation;
    auto filter = std::make_shared<TableFilter>();
    for (std::size_t i = 0; i < input.args.size(); ++i)
      filter->records_.cmdArgs[i] = ParseArgValue(input.args[i]);
    filter->records_.marks = input.quick.marks;
    filter->records_.corruptCause = input.quick.corruptCause;
    filter->records_.station = input.quick.station;
    filter->records_.stationSide = input.quick.stationSide;
    filter->records_.slotTimeBits = input.slotTimeBits;
    filter->finding_ = input.quick.finding;
    if (input.quick.dpEvents) {
      // Without the health figures' events there is no record to show.
      const auto& refs = input.quick.findingRefs ? input.quick.findingRefs : input.eventRefs;
      filter->eventRefs_ =
          refs != nullptr ? refs : std::make_shared<const std::vector<std::uint32_t>>();
      filter->records_.eventRefs = filter->eventRefs_.get();
    }

    // The typed equation alone first, so that its messages are the dump's own. The one line is
    // the collected text up to a comment, so the error's place is one in the typed text.
    std::unique_ptr<ShowOnlyProgram> program;
    if (!BlankOnly(input.equation)) {
      program = std::make_unique<ShowOnlyProgram>();
      // A comment runs to the end of its line; without one the equation ends where the typed
      // text does, with no blank that a line end would add.
      const bool comment = input.equation.find(';') != std::string::npos;
      ShowOnlyErrorPlace place;
      const Result compiled =
          CompileShowOnlyText(input.equation + (comment ? "\n#" : "#"), *program, place);
      if (!compiled.ok()) {
        compilation.error =
            FilterError{compiled.ErrorText(), place.placed, place.start, place.length};
        return compilation;
      }
      if (program->Empty()) program.reset();
    }
    const std::string quickText = QuickFilterEquation(input.quick);
    if (!quickText.empty()) {
      auto quick = std::make_unique<ShowOnlyProgram>();
      Result compiled = CompileShowOnlyText(quickText + "#", *quick);
      if (compiled.ok() && program) compiled = JoinShowOnlyAnd(*program, *quick);
      if (!compiled.ok()) {
        compilation.error = FilterError{compiled.ErrorText()};
        return compilation;
      }
      if (!program) program = std::move(quick);
    }
    filter->program_ = std::move(program);
    filter->records_.program = filter->program_.get();

    std::string description;
    auto add = [&description](std::string_view part) {
      if (!description.empty()) description += "; ";
      description += part;
    };
    if (!BlankOnly(input.equation)) add(input.equation);
    if (!input.quick.finding.empty()) {
      add("the records of: " + input.quick.finding);
    } else {
      AddQuickDescription(input.quick, add);
    }
    filter->description_ = description;
    compilation.filter = std::move(filter);
    return compilation;
  }
};

FilterCompilation CompileTableFilter(const FilterInput& input) {
  return FilterCompiler::Compile(input);
}

EquationState CheckEquation(const std::string& typed) {
  if (BlankOnly(typed)) return EquationState::kEmpty;
  FilterInput input;
  input.equation = typed;
  return CompileTableFilter(input).error ? EquationState::kInvalid : EquationState::kValid;
}

TypedWord WordAt(std::string_view text, std::size_t cursor) {
  const auto inWord = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  };
  cursor = std::min(cursor, text.size());
  std::size_t start = cursor;
  while (start > 0 && inWord(text[start - 1])) --start;
  std::size_t end = cursor;
  while (end < text.size() && inWord(text[end])) ++end;
  return {start, end - start};
}

std::vector<std::string> EquationNames(const std::array<std::string, 4>& argNames) {
  std::vector<std::string> names;
  for (std::string_view name : ShowOnlyIdentifierNames()) names.emplace_back(name);
  for (std::size_t i = 0; i < argNames.size(); ++i) {
    if (!argNames[i].empty()) {
      names.push_back("CmdArg[" + std::to_string(i) + "] (" + argNames[i] + ")");
    }
  }
  return names;
}

std::string_view InsertedName(std::string_view offered) {
  return offered.substr(0, offered.find(' '));
}

}  // namespace fdc::ui
