// The filter bar's equation, arguments and quick filters compiled into one filter.
#include "ui/run_table/table_filter.h"

#include <algorithm>
#include <vector>

#include "engine/dump_request_rules.h"

namespace fdc::ui {

// Requests carry the service in their DSAP, responses in their SSAP (the master's own SAP is the
// other one), so each condition looks at the SAP of the frame's direction. An absent SAP reads as
// 65536: data exchange is SRD without SAPs and its responses with data and without SAPs.
const std::array<QuickServiceInfo, 6> kQuickServices = {{
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

QuickFilters QuickFiltersFor(std::optional<std::uint8_t> station, std::optional<FindingKind> kind) {
  QuickFilters quick;
  quick.station = station;
  if (!kind) return quick;
  switch (*kind) {
    case FindingKind::kCorruptFrames:
    case FindingKind::kIllegalResponses:
      quick.faultsOnly = true;
      break;
    case FindingKind::kDiagnosisFlagged:
      quick.service = QuickService::kDiagnosis;
      break;
    case FindingKind::kDpNeverReached:
    case FindingKind::kDpDropped:
    case FindingKind::kDpClearData:
    case FindingKind::kDpDiagnosis:
    case FindingKind::kDpWatchdog:
    case FindingKind::kDpFcb:
    case FindingKind::kDpConfig:
    case FindingKind::kDpIoLength:
    case FindingKind::kDpMinTsdr:
    case FindingKind::kDpMissedCycles:
    case FindingKind::kDpGsd:
      quick.service = QuickService::kDp;
      break;
    case FindingKind::kFilesCutShort:
    case FindingKind::kBaudChanges:
    case FindingKind::kClockStepsBack:
    case FindingKind::kLastRecordCut:
      quick.station.reset();
      break;
    default:
      // Timing, repeats and answers: the station's whole traffic shows them in order.
      break;
  }
  return quick;
}

std::string QuickFilterEquation(const QuickFilters& quick) {
  std::vector<std::string> parts;
  if (quick.station) {
    const std::string s = std::to_string(*quick.station);
    parts.push_back("DA == " + s + " || SA == " + s + " || SD == SC");
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

struct FilterCompiler {
  static FilterCompilation Compile(const FilterInput& input) {
    FilterCompilation compilation;
    auto filter = std::make_shared<TableFilter>();
    for (std::size_t i = 0; i < input.args.size(); ++i)
      filter->records_.cmdArgs[i] = ParseArgValue(input.args[i]);
    filter->records_.faultsOnly = input.quick.faultsOnly;
    filter->records_.station = input.quick.station;
    filter->records_.slotTimeBits = input.slotTimeBits;
    if (input.quick.dpEvents) {
      // Without the health figures' events there is no record to show.
      filter->eventRefs_ = input.eventRefs != nullptr
                               ? input.eventRefs
                               : std::make_shared<const std::vector<std::uint32_t>>();
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
    if (input.quick.station) {
      add("station " + std::to_string(*input.quick.station) + " and its acknowledgements");
    }
    if (input.quick.service != QuickService::kAny) add(ServiceLabel(input.quick.service));
    if (input.quick.gapAboveUs) add("gap above " + std::to_string(*input.quick.gapAboveUs) + " us");
    if (input.quick.faultsOnly) add("faults only");
    if (input.quick.dpEvents) add("DP events");
    filter->description_ = description;
    compilation.filter = std::move(filter);
    return compilation;
  }
};

FilterCompilation CompileTableFilter(const FilterInput& input) {
  return FilterCompiler::Compile(input);
}

}  // namespace fdc::ui
