// Reading GSD files: the text's lines joined into statements, the statements the analyser uses
// read into a GsdFile, and the files of the GSD folders indexed by ident number.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>
#include <system_error>
#include <tuple>
#include <utility>

#include "common/platform_io.h"
#include "common/text_encoding.h"
#include "dp/gsd.h"

namespace fdc::dp {

namespace {

constexpr std::int64_t kU32Max = std::numeric_limits<std::uint32_t>::max();
constexpr std::int64_t kI64Min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kI64Max = std::numeric_limits<std::int64_t>::max();

// --- Text ----------------------------------------------------------------------------------------

// A CR is a blank too: it ends the lines of most files.
constexpr bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
// The characters of a keyword; `.` for the rates in `MaxTsdr_1.5M`.
constexpr bool IsWordChar(char c) { return IsLetter(c) || IsDigit(c) || c == '_' || c == '.'; }
constexpr char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = Lower(c);
  return lower;
}

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

std::string_view TrimEnd(std::string_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return TrimEnd(text);
}

// A piece of the file quoted in a warning, cut short when long.
std::string Quote(std::string_view text) {
  constexpr std::size_t kMax = 40;
  const bool cut = text.size() > kMax;
  return "'" + Latin1ToUtf8(text.substr(0, kMax)) + (cut ? "...'" : "'");
}

// --- Statements ----------------------------------------------------------------------------------

// One statement: a line, or lines joined by a `\` at their end, without comments. Read as
// `Keyword(index) = value`; the index and the `=` are optional, and without `=` the value is what
// follows the keyword (`Bit(0) 1 0-1`, `EndModule`).
struct Statement {
  std::size_t line = 0;  // the first
  std::string text;
  std::string error;  // why it cannot be read so
  std::string_view keyword;
  std::string key;  // the keyword in lower case
  std::optional<std::string_view> index;
  bool assigned = false;
  std::string_view value;
};

std::vector<std::string_view> SplitLines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    lines.push_back(bytes.substr(0, end));
    if (end == std::string_view::npos) break;
    bytes.remove_prefix(end + 1);
  }
  return lines;
}

bool IsMarker(std::string_view line) {
  return Lower(Trim(line.substr(0, line.find(';')))) == "#profibus_dp";
}

// The statements of lines[first] on. A `;` outside quotes starts a comment; a `\` as the last
// character before the comment or the line's end joins the next line, also within quotes (the
// string goes on there). The `\` is dropped and the lines joined as written.
std::vector<Statement> JoinLines(const std::vector<std::string_view>& lines, std::size_t first) {
  std::vector<Statement> statements;
  bool joining = false;
  bool quoted = false;
  for (std::size_t i = first; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    std::size_t end = line.size();
    for (std::size_t k = 0; k < line.size(); ++k) {
      if (line[k] == '"') {
        quoted = !quoted;
      } else if (line[k] == ';' && !quoted) {
        end = k;
        break;
      }
    }
    std::string_view content = TrimEnd(line.substr(0, end));
    if (!joining) {
      statements.emplace_back();
      statements.back().line = i + 1;
    }
    joining = !content.empty() && content.back() == '\\';
    if (joining) content.remove_suffix(1);
    statements.back().text.append(content);
    if (!joining) quoted = false;
  }
  for (Statement& s : statements) s.text = std::string(Trim(s.text));
  return statements;
}

// Fills the statement's parts from its text (which must not move afterwards).
void SplitStatement(Statement& s) {
  const std::string_view text = s.text;
  std::size_t pos = 0;
  while (pos < text.size() && IsWordChar(text[pos])) ++pos;
  const auto word = [&] { return Quote(text.substr(0, text.find_first_of(" \t=("))); };
  if (pos == 0 ||
      (pos < text.size() && !IsBlank(text[pos]) && text[pos] != '(' && text[pos] != '=')) {
    s.error = "bad keyword " + word();
    return;
  }
  s.keyword = text.substr(0, pos);
  s.key = Lower(s.keyword);
  const auto skipBlanks = [&] {
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
  };
  skipBlanks();
  if (pos < text.size() && text[pos] == '(') {
    const std::size_t close = text.find(')', pos);
    if (close == std::string_view::npos) {
      s.error = "no ')' after " + word();
      return;
    }
    s.index = Trim(text.substr(pos + 1, close - pos - 1));
    pos = close + 1;
    skipBlanks();
  }
  if (pos < text.size() && text[pos] == '=') {
    s.assigned = true;
    ++pos;
  }
  s.value = Trim(text.substr(pos));
}

// --- Values --------------------------------------------------------------------------------------

int DigitValue(char c, unsigned base) {
  int digit = -1;
  if (IsDigit(c)) digit = c - '0';
  if (Lower(c) >= 'a' && Lower(c) <= 'f') digit = Lower(c) - 'a' + 10;
  return digit < static_cast<int>(base) ? digit : -1;
}

// Reads the values of a statement from left to right. The first error stops it: later reads
// return zeros and the error stays.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}

  bool Ok() const { return error_.empty(); }
  const std::string& Error() const { return error_; }
  void Fail(std::string message) {
    if (Ok()) error_ = std::move(message);
  }
  bool AtEnd() {
    SkipBlanks();
    return pos_ >= text_.size();
  }
  bool Take(char c) {
    if (!Ok() || AtEnd() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }
  void End() {
    if (Ok() && !AtEnd()) Fail("unexpected " + Quote(text_.substr(pos_)));
  }

  // Decimal with an optional sign, or hexadecimal after 0x; within min..max.
  std::int64_t Number(std::int64_t min, std::int64_t max);
  std::pair<std::int64_t, std::int64_t> Range(std::int64_t min, std::int64_t max) {
    const std::int64_t first = Number(min, max);
    if (!Take('-')) Fail("expected a range first-last");
    const std::int64_t last = Number(min, max);
    if (Ok() && first > last)
      Fail("empty range " + std::to_string(first) + "-" + std::to_string(last));
    return {first, last};
  }
  std::vector<std::uint8_t> Bytes() {
    std::vector<std::uint8_t> bytes;
    do {
      bytes.push_back(static_cast<std::uint8_t>(Number(0, 255)));
    } while (Ok() && Take(','));
    return bytes;
  }
  // A string in double quotes, without its trailing blanks, in UTF-8.
  std::string String();

 private:
  void SkipBlanks() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  }
  std::string_view text_;
  std::size_t pos_ = 0;
  std::string error_;
};

std::int64_t Cursor::Number(std::int64_t min, std::int64_t max) {
  if (!Ok()) return 0;
  SkipBlanks();
  const std::size_t start = pos_;
  bool negative = false;
  if (pos_ < text_.size() && (text_[pos_] == '-' || text_[pos_] == '+')) {
    negative = text_[pos_] == '-';
    ++pos_;
  }
  unsigned base = 10;
  if (pos_ + 1 < text_.size() && text_[pos_] == '0' && Lower(text_[pos_ + 1]) == 'x') {
    base = 16;
    pos_ += 2;
  }
  // Up to 2^63, the magnitude of the least int64.
  constexpr std::uint64_t kLimit = std::uint64_t{1} << 63;
  std::uint64_t magnitude = 0;
  bool huge = false;
  std::size_t digits = 0;
  for (int digit = 0; pos_ < text_.size() && (digit = DigitValue(text_[pos_], base)) >= 0;
       ++pos_, ++digits) {
    if (magnitude > (kLimit - static_cast<unsigned>(digit)) / base) {
      huge = true;
    } else {
      magnitude = magnitude * base + static_cast<unsigned>(digit);
    }
  }
  if (digits == 0 || (pos_ < text_.size() && IsWordChar(text_[pos_]))) {
    std::size_t end = std::max(pos_, start + 1);
    while (end < text_.size() && IsWordChar(text_[end])) ++end;
    Fail("bad number " + Quote(text_.substr(start, end - start)));
    return 0;
  }
  huge = huge || (!negative && magnitude == kLimit);
  const std::int64_t value =
      huge       ? 0
      : negative ? static_cast<std::int64_t>(0 - magnitude)  // two's complement, also for 2^63
                 : static_cast<std::int64_t>(magnitude);
  if (huge || value < min || value > max) {
    Fail(Quote(text_.substr(start, pos_ - start)) + " out of range " + std::to_string(min) + ".." +
         std::to_string(max));
    return 0;
  }
  return value;
}

std::string Cursor::String() {
  if (!Ok()) return {};
  SkipBlanks();
  if (pos_ >= text_.size() || text_[pos_] != '"') {
    Fail("expected a string in double quotes");
    return {};
  }
  const std::size_t close = text_.find('"', pos_ + 1);
  if (close == std::string_view::npos) {
    Fail("unterminated string");
    return {};
  }
  std::string text = Latin1ToUtf8(TrimEnd(text_.substr(pos_ + 1, close - pos_ - 1)));
  pos_ = close + 1;
  return text;
}

// --- Blocks --------------------------------------------------------------------------------------

enum class Block : std::uint8_t { kNone, kModule, kPrmText, kPrmDefinition, kDiagArea };

struct BlockKeywords {
  Block block;
  std::string_view start;  // lower case
  std::string_view end;
};
constexpr std::array<BlockKeywords, 4> kBlocks = {{
    {Block::kModule, "module", "endmodule"},
    {Block::kPrmText, "prmtext", "endprmtext"},
    {Block::kPrmDefinition, "extuserprmdata", "endextuserprmdata"},
    {Block::kDiagArea, "unit_diag_area", "unit_diag_area_end"},
}};

// Blocks read past to their end. Any other keyword X is one too when EndX, End_X or X_End (or,
// for X_Beg, X_End) follows somewhere later.
constexpr std::array<std::pair<std::string_view, std::string_view>, 3> kSkippedBlocks = {{
    {"slotdefinition", "endslotdefinition"},
    {"unitdiagtype", "endunitdiagtype"},
    {"physical_interface", "end_physical_interface"},
}};

struct TypeKeyword {
  std::string_view key;
  GsdPrmType type;
};
constexpr std::array<TypeKeyword, 8> kTypeKeywords = {{
    {"bit", GsdPrmType::kBit},
    {"bitarea", GsdPrmType::kBitArea},
    {"unsigned8", GsdPrmType::kUnsigned8},
    {"unsigned16", GsdPrmType::kUnsigned16},
    {"unsigned32", GsdPrmType::kUnsigned32},
    {"signed8", GsdPrmType::kSigned8},
    {"signed16", GsdPrmType::kSigned16},
    {"signed32", GsdPrmType::kSigned32},
}};

// The values a parameter of the type can hold.
std::pair<std::int64_t, std::int64_t> TypeLimits(GsdPrmType type, unsigned firstBit,
                                                 unsigned lastBit) {
  switch (type) {
    case GsdPrmType::kBit:
      return {0, 1};
    case GsdPrmType::kBitArea:
      return {0, (std::int64_t{1} << (lastBit - firstBit + 1)) - 1};
    case GsdPrmType::kUnsigned8:
      return {0, 0xFF};
    case GsdPrmType::kUnsigned16:
      return {0, 0xFFFF};
    case GsdPrmType::kUnsigned32:
      return {0, kU32Max};
    case GsdPrmType::kSigned8:
      return {-0x80, 0x7F};
    case GsdPrmType::kSigned16:
      return {-0x8000, 0x7FFF};
    case GsdPrmType::kSigned32:
      return {std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()};
  }
  return {0, 0};
}

// --- The reader ----------------------------------------------------------------------------------

// Reads the statements into the file, one by one, within the block the last ones opened.
class Reader {
 public:
  Reader(const std::vector<Statement>& statements, GsdFile& file)
      : statements_(statements), file_(file) {
    for (std::size_t i = 0; i < statements_.size(); ++i) lastOf_[statements_[i].key] = i;
  }
  void Run();

 private:
  void Warn(std::size_t line, std::string message) {
    file_.warnings.push_back({line, std::move(message)});
  }
  void Read(std::size_t i);
  // The parts of reading a statement; each returns true when it took the statement.
  bool ReferenceLine(const Statement& s);
  bool BlockKeyword(const Statement& s);
  bool InBlock(const Statement& s);
  void OpenBlock(const Statement& s, Block block);
  void CloseBlock();
  std::optional<std::string> LaterEnd(std::size_t i, const std::string& key) const;

  bool Device(const Statement& s);
  bool ModuleLine(const Statement& s);
  void TypeLine(const Statement& s, GsdPrmType type);

  // The index and value of a statement that has the form its keyword needs; else a warning.
  struct Parts {
    Cursor index;
    Cursor value;
  };
  std::optional<Parts> Open(const Statement& s, bool indexed);
  // Ends the reading: true when both parts read completely, else a warning.
  bool Done(const Statement& s, Parts& parts);

  template <typename T>
  void Unsigned(const Statement& s, std::optional<T>& field, std::int64_t max);
  void Flag(const Statement& s, std::optional<bool>& field);
  void Text(const Statement& s, std::string& field);
  template <typename Key>
  void IndexedText(const Statement& s, std::map<Key, std::string>& texts, std::int64_t min,
                   std::int64_t max);
  void PrmRef(const Statement& s, std::vector<GsdPrmRef>& refs);
  void PrmConst(const Statement& s, std::vector<GsdPrmConst>& consts);

  const std::vector<Statement>& statements_;
  GsdFile& file_;
  std::map<std::string, std::size_t> lastOf_;  // each keyword's last statement

  Block block_ = Block::kNone;
  std::size_t blockLine_ = 0;
  std::string blockName_;
  bool discard_ = false;  // the block's first line was malformed
  bool afterModule_ = false;
  GsdModule module_;
  GsdPrmText prmText_;
  GsdPrmDefinition definition_;
  bool typed_ = false;
  GsdUnitDiagArea area_;

  std::string skipEnd_;  // reading past a block to this keyword
  std::size_t skipLine_ = 0;
  std::string skipName_;
};

void Reader::Run() {
  for (std::size_t i = 0; i < statements_.size(); ++i) Read(i);
  if (!skipEnd_.empty()) Warn(skipLine_, "no end to the " + skipName_ + " block");
  if (block_ != Block::kNone) {
    Warn(blockLine_, "no end to the " + blockName_ + " block");
    CloseBlock();
  }
}

void Reader::Read(std::size_t i) {
  const Statement& s = statements_[i];
  if (s.text.empty()) return;
  const bool afterModule = std::exchange(afterModule_, false);
  if (!skipEnd_.empty()) {
    if (s.key == skipEnd_) skipEnd_.clear();
    return;
  }
  if (!s.error.empty()) {
    Warn(s.line, s.error);
    return;
  }
  if ((afterModule && ReferenceLine(s)) || BlockKeyword(s) || InBlock(s)) return;
  if (std::optional<std::string> end = LaterEnd(i, s.key)) {
    skipEnd_ = std::move(*end);
    return;
  }
  if (!s.assigned) Warn(s.line, "no '=' after " + Quote(s.keyword));
}

// The module's reference number, alone on the line after the module's.
bool Reader::ReferenceLine(const Statement& s) {
  if (block_ != Block::kModule || !IsDigit(s.text[0]) || s.index || s.assigned ||
      !s.value.empty()) {
    return false;
  }
  Cursor number(s.text);
  const std::int64_t reference = number.Number(0, kU32Max);
  number.End();
  if (number.Ok()) {
    module_.reference = static_cast<std::uint32_t>(reference);
  } else {
    Warn(s.line, "module reference: " + number.Error());
  }
  return true;
}

// The start or end of a block, or the start of one that is skipped.
bool Reader::BlockKeyword(const Statement& s) {
  for (const BlockKeywords& keywords : kBlocks) {
    if (s.key == keywords.start) {
      OpenBlock(s, keywords.block);
      return true;
    }
    if (s.key == keywords.end) {
      if (block_ == keywords.block) {
        CloseBlock();
      } else {
        Warn(s.line, Quote(s.keyword) + " outside its block");
      }
      return true;
    }
  }
  for (const auto& [start, end] : kSkippedBlocks) {
    if (s.key == start) {
      skipEnd_ = end;
      skipLine_ = s.line;
      skipName_ = Latin1ToUtf8(s.keyword);
      return true;
    }
  }
  return false;
}

// A keyword of the block that is open (of the device outside any).
bool Reader::InBlock(const Statement& s) {
  bool known = false;
  switch (block_) {
    case Block::kNone:
      known = Device(s);
      break;
    case Block::kModule:
      known = ModuleLine(s);
      break;
    case Block::kPrmText:
      if ((known = s.key == "text")) IndexedText(s, prmText_.texts, kI64Min, kI64Max);
      break;
    case Block::kDiagArea:
      if ((known = s.key == "value")) IndexedText(s, area_.values, kI64Min, kI64Max);
      break;
    case Block::kPrmDefinition:
      if (s.key == "prm_text_ref") {
        known = true;
        std::optional<std::int64_t> ref;
        if (auto parts = Open(s, false)) {
          ref = parts->value.Number(kI64Min, kI64Max);
          if (Done(s, *parts)) definition_.textRef = ref;
        }
      }
      for (const TypeKeyword& type : kTypeKeywords) {
        if (s.key == type.key) {
          known = true;
          TypeLine(s, type.type);
        }
      }
      break;
  }
  return known;
}

std::optional<std::string> Reader::LaterEnd(std::size_t i, const std::string& key) const {
  std::vector<std::string> ends = {"end" + key, "end_" + key, key + "_end"};
  if (EndsWith(key, "_beg")) ends.push_back(key.substr(0, key.size() - 4) + "_end");
  for (std::string& end : ends) {
    const auto last = lastOf_.find(end);
    if (last != lastOf_.end() && last->second > i) return std::move(end);
  }
  return std::nullopt;
}

void Reader::OpenBlock(const Statement& s, Block block) {
  if (block_ != Block::kNone) {
    Warn(blockLine_, "no end to the " + blockName_ + " block");
    CloseBlock();
  }
  block_ = block;
  blockLine_ = s.line;
  blockName_ = Latin1ToUtf8(s.keyword);
  discard_ = true;
  afterModule_ = block == Block::kModule;
  auto parts = Open(s, false);
  if (!parts) return;
  Cursor& value = parts->value;
  switch (block) {
    case Block::kModule:
      module_ = {};
      module_.name = value.String();
      module_.bytes = value.Bytes();
      break;
    case Block::kPrmText:
      prmText_ = {};
      prmText_.id = value.Number(kI64Min, kI64Max);
      break;
    case Block::kPrmDefinition:
      definition_ = {};
      typed_ = false;
      definition_.ref = value.Number(kI64Min, kI64Max);
      definition_.name = value.String();
      break;
    case Block::kDiagArea: {
      area_ = {};
      const auto [first, last] = value.Range(0, kU32Max);
      area_.first = static_cast<std::uint32_t>(first);
      area_.last = static_cast<std::uint32_t>(last);
      break;
    }
    case Block::kNone:
      break;
  }
  discard_ = !Done(s, *parts);
}

void Reader::CloseBlock() {
  const Block block = std::exchange(block_, Block::kNone);
  if (discard_) return;
  switch (block) {
    case Block::kModule:
      file_.modules.push_back(std::move(module_));
      break;
    case Block::kPrmText:
      file_.prmTexts.push_back(std::move(prmText_));
      break;
    case Block::kPrmDefinition:
      if (typed_) {
        file_.prmDefinitions.push_back(std::move(definition_));
      } else {
        Warn(blockLine_, "no type line in the " + blockName_ + " block");
      }
      break;
    case Block::kDiagArea:
      file_.unitDiagAreas.push_back(std::move(area_));
      break;
    case Block::kNone:
      break;
  }
}

std::optional<Reader::Parts> Reader::Open(const Statement& s, bool indexed) {
  if (!s.assigned) {
    Warn(s.line, "no '=' after " + Quote(s.keyword));
    return std::nullopt;
  }
  if (indexed != s.index.has_value()) {
    Warn(s.line, Quote(s.keyword) + (indexed ? " without an index" : " with an index"));
    return std::nullopt;
  }
  return Parts{Cursor(s.index.value_or("")), Cursor(s.value)};
}

bool Reader::Done(const Statement& s, Parts& parts) {
  parts.index.End();
  parts.value.End();
  const std::string& error = !parts.index.Ok() ? parts.index.Error() : parts.value.Error();
  if (error.empty()) return true;
  Warn(s.line, Latin1ToUtf8(s.keyword) + ": " + error);
  return false;
}

template <typename T>
void Reader::Unsigned(const Statement& s, std::optional<T>& field, std::int64_t max) {
  auto parts = Open(s, false);
  if (!parts) return;
  const std::int64_t value = parts->value.Number(0, max);
  if (Done(s, *parts)) field = static_cast<T>(value);
}

void Reader::Flag(const Statement& s, std::optional<bool>& field) {
  auto parts = Open(s, false);
  if (!parts) return;
  const std::int64_t value = parts->value.Number(0, 1);
  if (Done(s, *parts)) field = value != 0;
}

void Reader::Text(const Statement& s, std::string& field) {
  auto parts = Open(s, false);
  if (!parts) return;
  std::string text = parts->value.String();
  if (Done(s, *parts)) field = std::move(text);
}

template <typename Key>
void Reader::IndexedText(const Statement& s, std::map<Key, std::string>& texts, std::int64_t min,
                         std::int64_t max) {
  auto parts = Open(s, true);
  if (!parts) return;
  const std::int64_t key = parts->index.Number(min, max);
  std::string text = parts->value.String();
  if (Done(s, *parts)) texts[static_cast<Key>(key)] = std::move(text);
}

void Reader::PrmRef(const Statement& s, std::vector<GsdPrmRef>& refs) {
  auto parts = Open(s, true);
  if (!parts) return;
  const std::int64_t offset = parts->index.Number(0, kU32Max);
  const std::int64_t ref = parts->value.Number(kI64Min, kI64Max);
  if (Done(s, *parts)) refs.push_back({static_cast<std::uint32_t>(offset), ref});
}

void Reader::PrmConst(const Statement& s, std::vector<GsdPrmConst>& consts) {
  auto parts = Open(s, true);
  if (!parts) return;
  const std::int64_t offset = parts->index.Number(0, kU32Max);
  std::vector<std::uint8_t> bytes = parts->value.Bytes();
  if (Done(s, *parts)) consts.push_back({static_cast<std::uint32_t>(offset), std::move(bytes)});
}

bool Reader::Device(const Statement& s) {
  const std::string& key = s.key;
  if (key == "gsd_revision") {
    Unsigned(s, file_.gsdRevision, kU32Max);
  } else if (key == "vendor_name") {
    Text(s, file_.vendor);
  } else if (key == "model_name") {
    Text(s, file_.model);
  } else if (key == "revision") {
    Text(s, file_.revision);
  } else if (key == "hardware_release") {
    Text(s, file_.hardwareRelease);
  } else if (key == "software_release") {
    Text(s, file_.softwareRelease);
  } else if (key == "ident_number") {
    Unsigned(s, file_.identNumber, 0xFFFF);
  } else if (key == "min_slave_intervall") {
    Unsigned(s, file_.minSlaveInterval, kU32Max);
  } else if (key == "max_diag_data_len") {
    Unsigned(s, file_.maxDiagDataLen, kU32Max);
  } else if (key == "dpv1_slave") {
    Flag(s, file_.dpv1Slave);
  } else if (key == "wd_base_1ms_supp") {
    Flag(s, file_.wdBase1msSupp);
  } else if (key == "fail_safe") {
    Flag(s, file_.failSafe);
  } else if (key == "modular_station") {
    Flag(s, file_.modularStation);
  } else if (key == "unit_diag_bit") {
    IndexedText(s, file_.unitDiagBits, 0, kU32Max);
  } else if (key == "unit_diag_not_bit") {
    IndexedText(s, file_.unitDiagNotBits, 0, kU32Max);
  } else if (key == "unit_diag_bit_help") {
    IndexedText(s, file_.unitDiagBitHelp, 0, kU32Max);
  } else if (key == "channel_diag") {
    IndexedText(s, file_.channelDiag, 0, kU32Max);
  } else if (key == "ext_user_prm_data_ref") {
    PrmRef(s, file_.prmRefs);
  } else if (key == "ext_user_prm_data_const") {
    PrmConst(s, file_.prmConsts);
  } else {
    for (std::size_t rate = 0; rate < kGsdRateNames.size(); ++rate) {
      const std::string name = Lower(kGsdRateNames[rate]);
      if (key == name + "_supp") {
        Flag(s, file_.rateSupported[rate]);
        return true;
      }
      if (key == "maxtsdr_" + name) {
        Unsigned(s, file_.maxTsdrBits[rate], kU32Max);
        return true;
      }
    }
    return false;
  }
  return true;
}

bool Reader::ModuleLine(const Statement& s) {
  const std::string& key = s.key;
  if (key == "ext_module_prm_data_len") {
    Unsigned(s, module_.prmDataLen, kU32Max);
  } else if (key == "ext_user_prm_data_const") {
    PrmConst(s, module_.prmConsts);
  } else if (key == "ext_user_prm_data_ref") {
    PrmRef(s, module_.prmRefs);
  } else if (key == "channel_diag") {
    IndexedText(s, module_.channelDiag, 0, kU32Max);
  } else {
    return false;
  }
  return true;
}

// `Bit(b) default range`, `BitArea(a-b) default range` or `Unsigned8 default range` and the
// like, where the range is `min-max`, a list `a,b,c`, or nothing.
void Reader::TypeLine(const Statement& s, GsdPrmType type) {
  if (s.assigned) {
    Warn(s.line, "unexpected '=' after " + Quote(s.keyword));
    return;
  }
  if (typed_) {
    Warn(s.line, "a second type line in the " + blockName_ + " block");
    return;
  }
  const bool bits = type == GsdPrmType::kBit || type == GsdPrmType::kBitArea;
  if (bits != s.index.has_value()) {
    Warn(s.line, Quote(s.keyword) + (bits ? " without an index" : " with an index"));
    return;
  }
  Parts parts{Cursor(s.index.value_or("")), Cursor(s.value)};
  std::int64_t firstBit = 0;
  std::int64_t lastBit = 0;
  if (type == GsdPrmType::kBit) {
    firstBit = lastBit = parts.index.Number(0, 7);
  } else if (type == GsdPrmType::kBitArea) {
    std::tie(firstBit, lastBit) = parts.index.Range(0, 7);
  }
  const auto [min, max] =
      TypeLimits(type, static_cast<unsigned>(firstBit), static_cast<unsigned>(lastBit));
  GsdPrmDefinition& d = definition_;
  const std::int64_t defaultValue = parts.value.Number(min, max);
  std::optional<std::int64_t> minValue;
  std::optional<std::int64_t> maxValue;
  std::vector<std::int64_t> allowed;
  if (parts.value.Ok() && !parts.value.AtEnd()) {
    const std::int64_t first = parts.value.Number(min, max);
    if (parts.value.Take('-')) {
      minValue = first;
      maxValue = parts.value.Number(min, max);
      if (parts.value.Ok() && *minValue > *maxValue) parts.value.Fail("empty range");
    } else {
      allowed.push_back(first);
      while (parts.value.Take(',')) allowed.push_back(parts.value.Number(min, max));
    }
  }
  if (!Done(s, parts)) return;
  typed_ = true;
  d.type = type;
  d.firstBit = static_cast<std::uint8_t>(firstBit);
  d.lastBit = static_cast<std::uint8_t>(lastBit);
  d.defaultValue = defaultValue;
  d.minValue = minValue;
  d.maxValue = maxValue;
  d.allowed = std::move(allowed);
}

// Why a file cannot be read, or its bytes.
std::optional<std::string> ReadFile(const std::filesystem::path& path, std::string& reason) {
  std::FILE* stream = OpenSystemFile(path, "rb");
  if (stream == nullptr) {
    reason = std::generic_category().message(errno);
    return std::nullopt;
  }
  std::string bytes;
  char buffer[65536];
  std::size_t count = 0;
  while ((count = std::fread(buffer, 1, sizeof buffer, stream)) > 0) bytes.append(buffer, count);
  const bool failed = std::ferror(stream) != 0;
  const int error = errno;
  std::fclose(stream);
  if (failed) {
    reason = std::generic_category().message(error);
    return std::nullopt;
  }
  return bytes;
}

// .gse first, then .gsd, then the others.
int Preference(std::string_view file) {
  const std::string lower = Lower(file);
  return EndsWith(lower, ".gse") ? 0 : EndsWith(lower, ".gsd") ? 1 : 2;
}

}  // namespace

// --- GsdFile -------------------------------------------------------------------------------------

const GsdPrmText* GsdFile::PrmTextById(std::int64_t id) const {
  for (const GsdPrmText& text : prmTexts) {
    if (text.id == id) return &text;
  }
  return nullptr;
}

const GsdPrmDefinition* GsdFile::PrmDefinitionByRef(std::int64_t ref) const {
  for (const GsdPrmDefinition& definition : prmDefinitions) {
    if (definition.ref == ref) return &definition;
  }
  return nullptr;
}

GsdFile ParseGsd(std::string_view bytes) {
  GsdFile file;
  const std::vector<std::string_view> lines = SplitLines(bytes);
  const auto marker = std::find_if(lines.begin(), lines.end(), IsMarker);
  if (marker == lines.end()) {
    file.warnings.push_back({1, "no #Profibus_DP line"});
    return file;
  }
  std::vector<Statement> statements =
      JoinLines(lines, static_cast<std::size_t>(marker - lines.begin()) + 1);
  for (Statement& s : statements) {
    if (!s.text.empty()) SplitStatement(s);
  }
  Reader(statements, file).Run();
  return file;
}

bool IsGsdFileName(std::string_view name) {
  const std::string lower = Lower(name);
  for (const std::string_view end : {".gsd", ".gse", ".gsg", ".gsf", ".gsi", ".gss"}) {
    if (EndsWith(lower, end)) return true;
  }
  return false;
}

// --- GsdLibrary ----------------------------------------------------------------------------------

GsdLibrary GsdLibrary::Load(const std::vector<std::filesystem::path>& folders) {
  namespace fs = std::filesystem;
  GsdLibrary library;
  for (const fs::path& folder : folders) {
    std::error_code error;
    std::vector<fs::path> files;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      std::error_code typeError;
      if (it->is_regular_file(typeError) && IsGsdFileName(it->path().filename().string())) {
        files.push_back(it->path());
      }
    }
    if (error) {
      library.messages_.push_back("GSD folder " + folder.string() + ": " + error.message());
      continue;
    }
    std::sort(files.begin(), files.end(), [](const fs::path& a, const fs::path& b) {
      return a.filename().string() < b.filename().string();
    });
    for (const fs::path& path : files) {
      std::string name = path.filename().string();
      std::string reason;
      const std::optional<std::string> bytes = ReadFile(path, reason);
      if (!bytes) {
        library.messages_.push_back(name.append(": ").append(reason));
        continue;
      }
      GsdFile gsd = ParseGsd(*bytes);
      for (const GsdWarning& warning : gsd.warnings) {
        library.messages_.push_back(name + ":" + std::to_string(warning.line) + ": " +
                                    warning.message);
      }
      if (!gsd.identNumber) {
        library.messages_.push_back(name + ": no Ident_Number, ignored");
        continue;
      }
      library.entries_.push_back(
          std::make_shared<const Entry>(Entry{std::move(name), std::move(gsd)}));
    }
  }
  library.Index();
  return library;
}

void GsdLibrary::Add(std::string file, GsdFile gsd) {
  if (!gsd.identNumber) return;
  entries_.push_back(std::make_shared<const Entry>(Entry{std::move(file), std::move(gsd)}));
  Index();
}

const GsdLibrary::Match* GsdLibrary::Find(std::uint16_t identNumber) const {
  const auto match = byIdent_.find(identNumber);
  return match == byIdent_.end() ? nullptr : &match->second;
}

void GsdLibrary::Index() {
  byIdent_.clear();
  std::map<std::uint16_t, std::vector<const Entry*>> byIdent;
  for (const auto& entry : entries_) byIdent[*entry->gsd.identNumber].push_back(entry.get());
  for (auto& [ident, group] : byIdent) {
    std::stable_sort(group.begin(), group.end(), [](const Entry* a, const Entry* b) {
      return std::pair(Preference(a->file), std::string_view(a->file)) <
             std::pair(Preference(b->file), std::string_view(b->file));
    });
    Match& match = byIdent_[ident];
    match.entry = group.front();
    for (std::size_t k = 1; k < group.size(); ++k) match.otherFiles.push_back(group[k]->file);
  }
}

}  // namespace fdc::dp
