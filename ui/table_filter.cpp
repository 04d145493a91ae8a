// The filter bar's equation, arguments and quick filters compiled into one filter, and compiler
// errors placed back in the typed equation.
#include "ui/table_filter.h"

#include <algorithm>
#include <vector>

#include "common/char_class.h"
#include "engine/dump_request_rules.h"
#include "options/show_only_compiler.h"

namespace fdc::ui {

// Requests carry the service in their DSAP, responses in their SSAP (the master's own SAP is the
// other one), so each condition looks at the SAP of the frame's direction. An absent SAP reads as
// 65536: data exchange is SRD without SAPs and its responses with data and without SAPs.
const std::array<QuickServiceInfo, 5> kQuickServices = {{
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
}};

namespace {

constexpr std::string_view kTooLong = "Invalid Option ShowOnly Equation: Equation Too Long";
constexpr std::string_view kCodeErrorPrefix = "Option ShowOnly Expression Error: ";
constexpr std::string_view kTranslationPrefix = "Invalid Option ShowOnly Equation: ";

// Words of a program up to its terminator; value words are stepped over by kind, since they may
// be 0.
std::size_t CodeLength(const ShowOnlyProgram& program) {
  std::size_t i = 0;
  while (i < program.code.size() && program.code[i] != 0)
    i += HasValueWord(program.code[i]) ? 2 : 1;
  return std::min(i, program.code.size());
}

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

// --- Placing errors --------------------------------------------------------------------------

// A piece of the collected equation as the translation takes it: an identifier (with the index of
// DataByte, DataWord and CmdArg), a hexadecimal number, or one character.
struct Piece {
  std::size_t from = 0, to = 0;    // in the typed text
  std::size_t tFrom = 0, tTo = 0;  // in the translated text
};

bool AtHexPrefix(std::string_view text, std::size_t i) {
  return i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X');
}

// The end of the piece that starts at `pos`, as the translation reads it.
std::size_t PieceEnd(std::string_view text, std::size_t pos) {
  const char c = text[pos];
  if (IsAlpha(c) || c == '_') {
    std::size_t end = pos;
    while (end < text.size() && (IsAlnum(text[end]) || text[end] == '_')) ++end;
    std::uint8_t type = 0;
    std::int32_t value = 0;
    const std::string name(text.substr(pos, end - pos));
    if (!LookupIdentifier(name, type, value) || type < 'U' || type > 'W') return end;
    if (end >= text.size() || text[end] != '[') return end;
    ++end;
    bool (*isIndexDigit)(char) = IsDigit;
    if (AtHexPrefix(text, end)) {
      end += 2;
      isIndexDigit = IsHexDigit;
    }
    while (end < text.size() && isIndexDigit(text[end])) ++end;
    if (end < text.size() && text[end] == ']') ++end;
    return end;
  }
  if (AtHexPrefix(text, pos)) {
    std::size_t end = pos + 2;
    while (end < text.size() && IsHexDigit(text[end])) ++end;
    return end;
  }
  return pos + 1;
}

// How long a token of the typed text is from `pos`: what to underline there.
std::size_t TokenLength(std::string_view text, std::size_t pos) {
  const char c = text[pos];
  if (IsAlpha(c) || c == '_' || AtHexPrefix(text, pos)) return PieceEnd(text, pos) - pos;
  if (IsDigit(c)) {
    std::size_t end = pos;
    while (end < text.size() && IsDigit(text[end])) ++end;
    return end - pos;
  }
  static constexpr std::string_view kTwoCharacterOperators[] = {
      "<>", "!=", "<=", ">=", "==", "&&", "||"};
  for (std::string_view op : kTwoCharacterOperators) {
    if (text.substr(pos, 2) == op) return 2;
  }
  return 1;
}

// Underlines the token at `pos` (blanks skipped); at the end of the text, the last token.
FilterError Placed(std::string_view text, std::string message, std::size_t pos) {
  FilterError error{std::move(message)};
  while (pos < text.size() && text[pos] == ' ') ++pos;
  if (pos >= text.size()) {
    std::size_t end = text.size();
    while (end > 0 && text[end - 1] == ' ') --end;
    if (end == 0) return error;
    std::size_t start = end - 1;
    while (start > 0 && text[start - 1] != ' ') --start;
    error.placed = true;
    error.start = start;
    error.length = end - start;
    return error;
  }
  error.placed = true;
  error.start = pos;
  error.length = TokenLength(text, pos);
  return error;
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
    equation += parts.size() > 1 ? "(" + part + ")" : part;
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

    // The typed equation alone first, so that its messages are the dump's own.
    std::unique_ptr<ShowOnlyProgram> typed;
    if (!BlankOnly(input.equation)) {
      typed = std::make_unique<ShowOnlyProgram>();
      // A comment runs to the end of its line; without one the equation ends where the typed
      // text does, with no blank that a line end would add.
      const bool comment = input.equation.find(';') != std::string::npos;
      const Result compiled = CompileShowOnlyText(input.equation + (comment ? "\n#" : "#"), *typed);
      if (!compiled.ok()) {
        compilation.error = LocateFilterError(input.equation, compiled.ErrorText());
        return compilation;
      }
      if (typed->Empty()) typed.reset();
    }
    std::unique_ptr<ShowOnlyProgram> quick;
    const std::string quickText = QuickFilterEquation(input.quick);
    if (!quickText.empty()) {
      quick = std::make_unique<ShowOnlyProgram>();
      const Result compiled = CompileShowOnlyText(quickText + "#", *quick);
      if (!compiled.ok()) {
        compilation.error = FilterError{compiled.ErrorText()};
        return compilation;
      }
    }

    if (typed && quick) {
      // Postfix programs join by writing one after the other and the operator after both.
      const std::size_t a = CodeLength(*typed);
      const std::size_t b = CodeLength(*quick);
      if (a + b + 1 >= ShowOnlyProgram::kCodeWords) {
        compilation.error = FilterError{std::string(kTooLong)};
        return compilation;
      }
      std::copy_n(quick->code.begin(), b, typed->code.begin() + static_cast<std::ptrdiff_t>(a));
      typed->code[a + b] = kTokAnd;
      typed->text = "(" + typed->text + ") && " + quick->text;
      filter->program_ = std::move(typed);
    } else if (typed) {
      filter->program_ = std::move(typed);
    } else if (quick) {
      filter->program_ = std::move(quick);
    }
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
    filter->description_ = description;
    compilation.filter = std::move(filter);
    return compilation;
  }
};

FilterCompilation CompileTableFilter(const FilterInput& input) {
  return FilterCompiler::Compile(input);
}

FilterError LocateFilterError(std::string_view typed, const std::string& message) {
  // The collected equation is the typed one up to a comment or the end mark, with the same
  // positions: the typed text is one line.
  std::string collected(typed.substr(0, typed.find_first_of(";#")));
  for (char& c : collected) {
    if (c == '\t' || c == '\n') c = ' ';
  }
  const std::string_view text(collected);

  std::vector<Piece> pieces;
  std::size_t translatedLength = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t end = PieceEnd(text, pos);
    std::string translated;
    if (!TranslateShowOnly(text.substr(pos, end - pos), translated).ok()) {
      // The first piece that does not translate is the one the message names.
      if (!message.starts_with(kTranslationPrefix)) return FilterError{message};
      FilterError error{message, true, pos, end - pos};
      return error;
    }
    pieces.push_back({pos, end, translatedLength, translatedLength + translated.size()});
    translatedLength += translated.size();
    pos = end;
  }
  if (!message.starts_with(kCodeErrorPrefix)) return FilterError{message};

  std::string translated;
  if (!TranslateShowOnly(text, translated).ok()) return FilterError{message};
  auto scratch = std::make_unique<ShowOnlyProgram>();
  int offset = -1;
  const int kind = GenerateShowOnlyCode(translated, *scratch, offset);
  if (kind == kShowOnlyNoError) return FilterError{message};
  if (offset < 0) return Placed(text, message, 0);
  const auto at = static_cast<std::size_t>(offset);
  for (const Piece& piece : pieces) {
    if (at < piece.tFrom || at >= piece.tTo) continue;
    const bool sameLength = piece.to - piece.from == piece.tTo - piece.tFrom;
    return Placed(text, message, sameLength ? piece.from + (at - piece.tFrom) : piece.from);
  }
  return Placed(text, message, text.size());
}

}  // namespace fdc::ui
