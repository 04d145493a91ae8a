// The option file reader: keyword lines, time formats, graph settings and the ShowOnly section.
#include <array>
#include <cstring>
#include <string_view>

#include "common/char_class.h"
#include "common/text_reader.h"
#include "common/time_units.h"
#include "options/options.h"

namespace fdc {

namespace {

enum class Action { kFlag, kIgnore, kTimeFormat, kGraph };

struct Keyword {
  std::string_view name;
  std::size_t compared;  // leading characters that must match
  Action action;
  std::int32_t DumpOptions::*flag = nullptr;
  std::string DumpOptions::*format = nullptr;
  std::uint8_t DumpOptions::*width = nullptr;
  std::int64_t DumpOptions::*time = nullptr;
};

// Tried in this order; the first match wins, so a keyword that begins with another one stands
// before it ("NoDstSap" before "NoDst").
constexpr std::array<Keyword, 23> kKeywords = {{
    {"NoRef", 5, Action::kFlag, &DumpOptions::NoRef},
    {"ShowFileOfs", 7, Action::kFlag, &DumpOptions::ShowFileOfs},
    {"NoDelim", 7, Action::kFlag, &DumpOptions::NoDelim},
    {"NoDstSap", 8, Action::kFlag, &DumpOptions::NoDstSap},
    {"NoSrcSap", 8, Action::kFlag, &DumpOptions::NoSrcSap},
    {"NoDst", 5, Action::kFlag, &DumpOptions::NoDst},
    {"NoSrc", 5, Action::kFlag, &DumpOptions::NoSrc},
    {"NoFc", 4, Action::kFlag, &DumpOptions::NoFc},
    {"NoData", 6, Action::kFlag, &DumpOptions::NoData},
    {"DataSgn", 7, Action::kFlag, &DumpOptions::DataSgn},
    {"DataUns", 7, Action::kFlag, &DumpOptions::DataUns},
    {"Data16", 6, Action::kFlag, &DumpOptions::Data16},
    {"NoBad", 5, Action::kFlag, &DumpOptions::NoBad},
    {"DetailSts", 9, Action::kFlag, &DumpOptions::DetailSts},
    {"ShowFcbTyp", 10, Action::kFlag, &DumpOptions::ShowFcbTyp},
    {"ShowFcs", 7, Action::kFlag, &DumpOptions::ShowFcs},
    {"Descrip=", 8, Action::kIgnore},
    {"ArgName", 7, Action::kIgnore},
    {"TmeAbs", 6, Action::kTimeFormat, nullptr, &DumpOptions::TmeAbs},
    {"TmeGap", 6, Action::kTimeFormat, nullptr, &DumpOptions::TmeGap},
    {"TmeDelta", 8, Action::kTimeFormat, nullptr, &DumpOptions::TmeDelta},
    {"GrphGap", 7, Action::kGraph, nullptr, nullptr, &DumpOptions::GrphGapWidth,
     &DumpOptions::GrphGapTime},
    {"GrphDelta", 9, Action::kGraph, nullptr, nullptr, &DumpOptions::GrphDeltaWidth,
     &DumpOptions::GrphDeltaTime},
}};

Result ParseTimeFormat(std::string& line, std::size_t pos, std::string& format) {
  SkipBlanks(line, pos);
  const std::size_t end = TokenEnd(line, pos);
  line.resize(end);
  const std::string argument = line.substr(pos);
  if (argument.size() > kTimeFormatMaxLength) {
    return Fail("Time Format String Too Long '%s'", argument.c_str());
  }
  format = argument;
  return Result::Ok();
}

Result ParseGraph(std::string& line, std::size_t pos, std::string_view name, std::uint8_t& width,
                  std::int64_t& time) {
  SkipBlanks(line, pos);
  std::int32_t value = 0;
  Result number = ParseNumber(line, pos, value);
  if (!number.ok()) return number;
  const auto unsignedValue = static_cast<std::uint32_t>(value);
  if (unsignedValue < 5 || unsignedValue > 100) {
    return Fail("Invalid %.*s Width value '%d' (5-100)", static_cast<int>(name.size()), name.data(),
                value);
  }
  width = static_cast<std::uint8_t>(unsignedValue);
  SkipBlanks(line, pos);
  return ParseTimeValue(line, pos, time);
}

}  // namespace

void SkipBlanks(std::string& line, std::size_t& pos) {
  while (pos < line.size() && IsCSpace(static_cast<unsigned char>(line[pos]))) ++pos;
  if (pos < line.size() && line[pos] == ';') line.resize(pos);
}

std::size_t TokenEnd(std::string& line, std::size_t pos) {
  while (pos < line.size() && !IsCSpace(static_cast<unsigned char>(line[pos])) &&
         line[pos] != ';') {
    ++pos;
  }
  if (pos < line.size() && line[pos] == ';') line.resize(pos);
  return pos;
}

Result ParseNumber(std::string& line, std::size_t& pos, std::int32_t& value) {
  const std::string_view text = std::string_view(line).substr(pos);
  std::size_t taken = 0;
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    std::uint32_t number = 0;
    taken = 2;
    while (taken < text.size() && IsHexDigit(text[taken])) {
      number = (number << 4) | HexDigitValue(text[taken]);  // keeps the low 32 bits
      ++taken;
    }
    if (taken == 2) return Fail("Invalid Hex Numeric String '%s'", line.c_str() + pos);
    value = static_cast<std::int32_t>(number);
  } else if (!text.empty() && text[0] == '\'') {
    const char c = text.size() > 1 ? text[1] : '\0';
    value = static_cast<std::int8_t>(c);
    taken = text.size() > 1 ? 2 : 1;
  } else {
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
      negative = text[0] == '-';
      taken = 1;
    }
    const std::size_t digitsStart = taken;
    std::uint32_t number = 0;
    while (taken < text.size() && IsDigit(text[taken])) {
      number = number * 10u + static_cast<std::uint32_t>(text[taken] - '0');  // low 32 bits
      ++taken;
    }
    if (taken == digitsStart) return Fail("Invalid Dec Numeric String '%s'", line.c_str() + pos);
    value = static_cast<std::int32_t>(negative ? 0u - number : number);
  }
  // Whatever follows the number up to the next white space is passed over ("12abc" is 12).
  pos += taken;
  while (pos < line.size() && !IsCSpace(static_cast<unsigned char>(line[pos]))) ++pos;
  return Result::Ok();
}

Result ParseTimeValue(std::string& line, std::size_t& pos, std::int64_t& nanoseconds) {
  const std::size_t end = TokenEnd(line, pos);
  // The token is cut out for the call; the rest of the line stays as it was.
  std::string token = line.substr(pos, end - pos);
  if (token.size() < 2) return Fail("Time Numeric String too short '%s'", token.c_str());
  const std::string_view unitText = std::string_view(token).substr(token.size() - 2);
  const TimeUnit* unit = nullptr;
  for (const TimeUnit& candidate : kTimeUnits) {
    if (EqualNoCase(unitText, candidate.token)) {
      unit = &candidate;
      break;
    }
  }
  if (unit == nullptr) {
    return Fail("Time Numeric String Unit Expected '%s' (", std::string(unitText).c_str());
  }
  token.resize(token.size() - 2);
  std::size_t countPos = 0;
  std::int32_t count = 0;
  Result number = ParseNumber(token, countPos, count);
  if (!number.ok()) return number;
  // Wraps like the two's complement product rather than overflowing.
  nanoseconds = static_cast<std::int64_t>(static_cast<std::uint64_t>(std::int64_t{count}) *
                                          static_cast<std::uint64_t>(unit->nanoseconds));
  pos = end;
  return Result::Ok();
}

Result ParseOptionLine(std::string& line, DumpOptions& options) {
  for (const Keyword& keyword : kKeywords) {
    if (!StartsWithNoCase(line, keyword.name.substr(0, keyword.compared))) continue;
    switch (keyword.action) {
      case Action::kFlag:
        options.*keyword.flag = 1;
        return Result::Ok();
      case Action::kIgnore:
        return Result::Ok();
      case Action::kTimeFormat:
        return ParseTimeFormat(line, keyword.compared, options.*keyword.format);
      case Action::kGraph:
        return ParseGraph(line, keyword.compared, keyword.name, options.*keyword.width,
                          options.*keyword.time);
    }
  }
  return Fail("Invalid Option Argument '%s'", line.c_str());
}

Result ReadOptionFile(const std::string& path, DumpOptions& options, ShowOnlyProgram& program) {
  options = DumpOptions{};
  program.Clear();
  if (path.empty()) return Result::Ok();

  TextReader file;
  if (!file.Open(path)) return Fail("Unable to Open Option File %s", path.c_str());

  std::string line;
  while (file.ReadLine(line, kOptionLineChars)) {
    std::size_t start = 0;
    while (start < line.size() && IsCSpace(static_cast<unsigned char>(line[start]))) ++start;
    line.erase(0, start);
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (line.empty() || line[0] == ';') continue;

    if (StartsWithNoCase(line, "ShowOnly")) {
      options.ShowOnly = 1;
      Result compiled = CompileShowOnly(file, program);
      if (!compiled.ok()) return compiled;
      continue;  // reading goes on just after the "#"
    }
    Result applied = ParseOptionLine(line, options);
    if (!applied.ok()) return applied;
  }
  return Result::Ok();
}

}  // namespace fdc
