// The ShowOnly compiler: collects the equation from the option file, translates its identifiers
// and generates the postfix program that the evaluator runs for each record.
#include "options/show_only_compiler.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "capture/fdl_protocol.h"
#include "common/char_class.h"

namespace fdc {

namespace {

// --- Tables ------------------------------------------------------------------------------------

struct IdentifierRow {
  std::string_view name;
  std::uint8_t type;  // 1: constant; 'M'..'W': frame field
  std::int32_t value;
};

constexpr std::uint8_t kConstant = 1;
// FC AND this leaves the request code with the request bit: the frame count bits go.
constexpr std::int32_t kTypeMask = 0xCF;

// The frame fields, after the constants.
constexpr std::array<IdentifierRow, 12> kFieldIdentifiers{{
    {"STS", 'M', 0},
    {"LEN", 'N', 0},
    {"SD", 'O', 0},
    {"DA", 'P', 0},
    {"SA", 'P', 1},
    {"FC", 'Q', 0},
    {"DSAP", 'R', 0},
    {"SSAP", 'S', 0},
    {"DataByte", 'U', 0},
    {"DataWord", 'V', 0},
    {"CmdArg", 'W', 0},
    {"GapTme", 'T', 0},
}};

// The identifier table in its fixed order: the status constants, the delimiters, the masks, the
// request and response codes (all from the protocol's name tables), then the fields. The first
// row whose name matches wins.
constexpr std::array<IdentifierRow, 55> kShowOnlyIdentifierTable = [] {
  std::array<IdentifierRow, 55> rows{};
  std::size_t n = 0;
  rows[n++] = {kStatusOkIdentifier, kConstant, 0};
  for (const StatusBitName& bit : kStatusBits) rows[n++] = {bit.identifier, kConstant, bit.mask};
  for (const FrameKindName& kind : kFrameKinds) {
    rows[n++] = {kind.name, kConstant, kind.delimiter};
  }
  rows[n++] = {"ED", kConstant, kEd};
  rows[n++] = {"SAPEXT", kConstant, kSapExtension};
  rows[n++] = {"TYPMSK", kConstant, kTypeMask};
  for (const FunctionName& f : kRequestFunctions) {
    rows[n++] = {f.identifier, kConstant, kFcRequest | f.code};
  }
  for (const FunctionName& f : kResponseFunctions) rows[n++] = {f.identifier, kConstant, f.code};
  for (const IdentifierRow& field : kFieldIdentifiers) rows[n++] = field;
  return rows;
}();
static_assert(kShowOnlyIdentifierTable.back().name == "GapTme", "55 rows, fields last");

struct OperatorRow {
  std::string_view text;
  std::int32_t kind;
};

// Tried in order, so every two-character operator comes before its one-character prefix.
constexpr std::array<OperatorRow, 24> kShowOnlyOperatorTable{{
    {"<>", kTokNotEqual}, {"!=", kTokNotEqual}, {"<=", kTokLessEqual}, {">=", kTokGreaterEqual},
    {"==", kTokEqual},    {"&&", kTokAnd},      {"AND", kTokAnd},      {"||", kTokOr},
    {"OR", kTokOr},       {"&", kTokBitAnd},    {"|", kTokBitOr},      {"^", kTokBitXor},
    {"*", kTokMultiply},  {"/", kTokDivide},    {"%", kTokRemainder},  {"+", kTokAdd},
    {"-", kTokSubtract},  {"=", kTokEqual},     {"<", kTokLess},       {">", kTokGreater},
    {"!", kTokNot},       {"~", kTokBitNot},    {"(", kTokOpen},       {")", kTokClose},
}};

// Binding level of each infix token kind, 1 the loosest; 0 for every other kind. Among the
// bitwise operators "&" binds loosest and "|" tightest.
constexpr std::array<std::int8_t, kTokOr + 1> kBindingLevel = [] {
  std::array<std::int8_t, kTokOr + 1> level{};
  level[kTokOr] = 1;
  level[kTokAnd] = 2;
  level[kTokBitAnd] = 3;
  level[kTokBitXor] = 4;
  level[kTokBitOr] = 5;
  level[kTokEqual] = level[kTokNotEqual] = 6;
  level[kTokLess] = level[kTokGreater] = level[kTokLessEqual] = level[kTokGreaterEqual] = 7;
  level[kTokAdd] = level[kTokSubtract] = 8;
  level[kTokMultiply] = level[kTokDivide] = level[kTokRemainder] = 9;
  return level;
}();
constexpr int kTightestInfixLevel = 9;

int BindingLevel(std::int32_t kind) {
  return kind >= 0 && kind <= kTokOr ? kBindingLevel[static_cast<std::size_t>(kind)] : 0;
}

std::int32_t FieldToken(char letter) {
  constexpr std::array<std::int32_t, 11> kByLetter{kTokSts,      kTokLen,      kTokSd,    kTokAddr,
                                                   kTokFc,       kTokDsap,     kTokSsap,  kTokGap,
                                                   kTokDataByte, kTokDataWord, kTokCmdArg};
  return kByLetter[static_cast<std::size_t>(letter - 'M')];
}

// --- Collection --------------------------------------------------------------------------------

// Text in memory read the way TextReader reads a file: a carriage return before a line feed is
// dropped.
class MemoryReader {
 public:
  explicit MemoryReader(std::string_view text) : text_(text) {}
  int Get() {
    if (pos_ >= text_.size()) return TextReader::kEof;
    const char c = text_[pos_++];
    if (c == '\r' && pos_ < text_.size() && text_[pos_] == '\n') return text_[pos_++];
    return static_cast<unsigned char>(c);
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

Result EndMarkerNotFound(const std::string& collected) {
  // Fail keeps the first 499 characters, so a long equation is quoted only in part.
  return Fail("Invalid Option ShowOnly Equation: End Marker '#' not found '%s'", collected.c_str());
}

// Collection and joining share the limit: what does not fit one program.
Result EquationTooLong() { return Fail("Invalid Option ShowOnly Equation: Equation Too Long"); }

template <typename Source>
Result Collect(Source& source, std::string& collected) {
  collected.clear();
  for (;;) {
    int c = source.Get();
    if (c == TextReader::kEof) return EndMarkerNotFound(collected);
    if (c == '#') return Result::Ok();
    if (c == ';') {
      // The line feed that ends a comment is dropped too, so the text before the ";" joins the
      // next line directly.
      do {
        c = source.Get();
      } while (c != '\n' && c != TextReader::kEof);
      if (c == TextReader::kEof) return EndMarkerNotFound(collected);
      continue;
    }
    if (c == '\t' || c == '\n') c = ' ';
    collected.push_back(static_cast<char>(c));
    if (collected.size() > ShowOnlyProgram::kMaxTextLength) return EquationTooLong();
  }
}

// --- Translation -------------------------------------------------------------------------------

// A stretch of text from `start` up to `end`.
struct Span {
  std::size_t start = 0;
  std::size_t end = 0;
};

// One piece of the translation: an identifier (with the index of DataByte, DataWord and CmdArg), a
// hexadecimal number or one character of the collected text, and what it became.
struct Piece {
  Span collected;
  Span translated;
};

// The pieces in order, which map any place of the translated text back to the collected one.
class TranslationMap {
 public:
  void Add(Span collected, Span translated) { pieces_.push_back({collected, translated}); }

  // The collected characters that `translated` came from: character by character within a piece
  // that kept its length (a number, an operator, "SA" as "P1"), else the whole piece, since
  // "DataByte[0x1A]" as "U0x1A" has no character of its own for each one it became.
  ShowOnlyErrorPlace Back(Span translated) const {
    if (translated.end <= translated.start) return {};
    const Piece* first = PieceAt(translated.start);
    const Piece* last = PieceAt(translated.end - 1);
    if (first == nullptr || last == nullptr) return {};
    const std::size_t start =
        SameLength(*first) ? first->collected.start + translated.start - first->translated.start
                           : first->collected.start;
    const std::size_t end = SameLength(*last)
                                ? last->collected.start + translated.end - last->translated.start
                                : last->collected.end;
    return {true, start, end - start};
  }

 private:
  static bool SameLength(const Piece& piece) {
    return piece.collected.end - piece.collected.start ==
           piece.translated.end - piece.translated.start;
  }

  const Piece* PieceAt(std::size_t offset) const {
    const auto after = std::upper_bound(
        pieces_.begin(), pieces_.end(), offset,
        [](std::size_t at, const Piece& piece) { return at < piece.translated.start; });
    if (after == pieces_.begin()) return nullptr;
    const Piece& piece = *std::prev(after);
    return offset < piece.translated.end ? &piece : nullptr;
  }

  std::vector<Piece> pieces_;
};

class Translator {
 public:
  Translator(std::string_view text, std::string& out, TranslationMap& map)
      : text_(text), out_(out), map_(map) {}

  Result Run() {
    out_.clear();
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      pieceStart_ = pos_;
      Result step = Result::Ok();
      if (IsAlpha(c) || c == '_') {
        step = Identifier();
      } else if (AtHexPrefix(pos_)) {
        std::size_t end = pos_ + 2;
        while (end < text_.size() && IsHexDigit(text_[end])) ++end;
        const std::string_view digits = text_.substr(pos_ + 2, end - pos_ - 2);
        pos_ = end;
        step = Append("0x" + std::string(digits));
      } else {
        ++pos_;
        step = Append(std::string(1, c));
      }
      if (!step.ok()) return step;
    }
    return Result::Ok();
  }

  // Where a failure lies: the piece being translated, as far as it was read.
  Span ErrorSpan() const { return {pieceStart_, pos_}; }

 private:
  bool AtHexPrefix(std::size_t i) const {
    return i + 1 < text_.size() && text_[i] == '0' && (text_[i + 1] == 'x' || text_[i + 1] == 'X');
  }

  // Writes the translation of the piece read from `pieceStart_` up to `pos_`.
  Result Append(const std::string& piece) {
    if (out_.size() + piece.size() > kShowOnlyTranslatedMax) {
      return Fail("Invalid Option ShowOnly Equation: Translated Equation Too Long");
    }
    map_.Add({pieceStart_, pos_}, {out_.size(), out_.size() + piece.size()});
    out_ += piece;
    return Result::Ok();
  }

  Result Identifier() {
    std::size_t end = pos_;
    while (end < text_.size() && (IsAlnum(text_[end]) || text_[end] == '_')) ++end;
    const std::string name(text_.substr(pos_, end - pos_));
    pos_ = end;
    // The word operators stay as written; the tokeniser knows them.
    if (EqualNoCase(name, "OR") || EqualNoCase(name, "AND")) return Append(name);
    std::uint8_t type = 0;
    std::int32_t value = 0;
    if (!LookupIdentifier(name, type, value)) {
      return Fail("Invalid Option ShowOnly Equation: Undefined Identifier '%s'", name.c_str());
    }
    if (type == kConstant) return Append(std::to_string(value));
    const char letter = static_cast<char>(type);
    if (letter <= 'T') return Append(letter + std::to_string(value));
    return Index(letter);
  }

  // "[" index "]" after DataByte, DataWord or CmdArg; the index is hexadecimal after "0x" or
  // "0X", else decimal, and is checked by the tokeniser, not here.
  Result Index(char letter) {
    if (pos_ >= text_.size() || text_[pos_] != '[') {
      return Fail("Invalid Option ShowOnly Equation: '[' Expected '%c'", letter);
    }
    ++pos_;
    std::string piece(1, letter);
    bool (*isIndexDigit)(char) = IsDigit;
    if (AtHexPrefix(pos_)) {
      piece += "0x";
      pos_ += 2;
      isIndexDigit = IsHexDigit;
    }
    while (pos_ < text_.size() && isIndexDigit(text_[pos_])) piece += text_[pos_++];
    if (pos_ >= text_.size() || text_[pos_] != ']') {
      return Fail("Invalid Option ShowOnly Equation: ']' Expected '%s'", piece.c_str());
    }
    ++pos_;
    return Append(piece);
  }

  std::string_view text_;
  std::string& out_;
  TranslationMap& map_;
  std::size_t pos_ = 0;
  std::size_t pieceStart_ = 0;
};

// --- Code generation ---------------------------------------------------------------------------

// Reads a signed decimal number: an optional sign and digits (a sign alone reads as 0). False
// when a character is no digit or the value leaves the 32-bit range.
bool ParseSignedDecimal(std::string_view text, std::int32_t& value) {
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  constexpr std::int64_t kLimit = std::int64_t{1} << 31;
  std::int64_t magnitude = 0;
  for (char c : text) {
    if (!IsDigit(c)) return false;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > kLimit) return false;
  }
  if (!negative && magnitude == kLimit) return false;
  value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return true;
}

class CodeGenerator {
 public:
  CodeGenerator(std::string_view text, ShowOnlyProgram& program)
      : text_(text), code_(program.code) {}

  // `errorOffset` is where the message quotes from; `errorSpan` what to show as the error: the
  // token it was found at (past the end of the text, the last token read), or the character or
  // value at fault.
  int Run(int& errorOffset, Span& errorSpan) {
    code_.fill(0);
    NextToken();
    if (kind_ != kTokEnd && !errorKind_) {
      Infix(1);
      if (!errorKind_ && kind_ != kTokEnd) SetError(kShowOnlyAmbiguousOperator, recorded_);
    }
    errorOffset = errorOffset_;
    errorSpan = errorSpan_;
    return errorKind_;
  }

 private:
  void SetError(int kind, int offset) { SetErrorAt(kind, offset, token_); }
  void SetErrorAt(int kind, int offset, Span span) {
    kind_ = kTokError;
    errorKind_ = kind;
    errorOffset_ = offset;
    errorSpan_ = span;
  }

  void Emit(std::int32_t word) {
    // The code array has room for every translatable text; the last word stays the terminator.
    if (count_ + 1 < code_.size()) code_[count_++] = word;
  }

  // --- Grammar ---

  // One infix level: operands of the next tighter level joined from the left.
  void Infix(int level) {
    if (level > kTightestInfixLevel) return Unary();
    Infix(level + 1);
    while (!errorKind_ && BindingLevel(kind_) == level) {
      const std::int32_t op = kind_;
      NextToken();
      if (errorKind_) return;
      Infix(level + 1);
      if (errorKind_) return;
      Emit(op);
    }
  }

  void Unary() {
    switch (kind_) {
      case kTokOpen:
        NextToken();
        if (errorKind_) return;
        Infix(1);
        if (errorKind_) return;
        if (kind_ != kTokClose) return SetError(kShowOnlyMissingParenthesis, recorded_);
        return NextToken();
      case kTokNot:
      case kTokNegate:
      case kTokBitNot: {
        const std::int32_t op = kind_;
        NextToken();
        if (errorKind_) return;
        Unary();
        if (errorKind_) return;
        return Emit(op);
      }
      default:
        if (!IsOperandToken(kind_)) return SetError(kShowOnlyMissingParameter, recorded_);
        Emit(kind_);
        if (HasValueWord(kind_)) Emit(value_);
        return NextToken();
    }
  }

  // --- Tokeniser ---

  static bool OperandExpected(std::int32_t prev) {
    return prev == kTokNone || (prev >= kTokNot && prev <= kTokOr);
  }
  static bool AfterOperand(std::int32_t prev) { return prev == kTokClose || IsOperandToken(prev); }

  void NextToken() {
    const std::int32_t prev = kind_;
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
    if (pos_ >= text_.size()) {
      kind_ = kTokEnd;
      return;
    }
    const std::string_view rest = text_.substr(pos_);
    for (const OperatorRow& row : kShowOnlyOperatorTable) {
      if (StartsWithNoCase(rest, row.text)) return Operator(row, prev);
    }
    const char c = text_[pos_];
    if (c >= 'M' && c <= 'W') return Field(prev);
    if (IsDigit(c)) return Number(prev);
    SetErrorAt(kShowOnlyInvalidOperator, static_cast<int>(pos_), {pos_, pos_ + 1});
  }

  // Whether an operator may stand here depends on the token before it.
  void Operator(const OperatorRow& row, std::int32_t prev) {
    recorded_ = static_cast<int>(pos_);
    token_ = {pos_, pos_ + row.text.size()};
    std::int32_t kind = row.kind;
    const bool operandExpected = OperandExpected(prev);
    if (kind == kTokSubtract && operandExpected) {
      // A minus where an operand belongs signs a number or negates what follows; directly after
      // "(" it is refused below, so "(-5)" must be written "(0-5)".
      if (pos_ + 1 < text_.size() && IsDigit(text_[pos_ + 1])) return Number(prev);
      kind = kTokNegate;
    } else if (kind == kTokOpen) {
      if (!operandExpected && prev != kTokOpen) return Refuse(kShowOnlyMissingOperator);
    } else if (kind == kTokNot || kind == kTokBitNot) {
      // After an operand these are left for the grammar, which reports them as ambiguous.
      if (prev == kTokClose) return Refuse(kShowOnlyMissingOperator);
    } else if (operandExpected || prev == kTokOpen) {
      return Refuse(kShowOnlyMissingParameter);
    }
    kind_ = kind;
    pos_ += row.text.size();
  }

  // A refused token's message quotes from the character before it, so the blank that usually
  // separates it shows.
  void Refuse(int errorKind) { SetError(errorKind, recorded_ - 1); }

  // A field letter and its selector or index, which is read (and must be sound) even where the
  // field itself is refused.
  void Field(std::int32_t prev) {
    const char letter = text_[pos_];
    const std::size_t start = pos_ + 1;
    recorded_ = static_cast<int>(start);
    std::size_t taken = 0;
    std::int32_t value = 0;
    const bool ok =
        AtHexPrefix(start) ? ReadHex(start, taken, value) : ReadFieldIndex(start, taken, value);
    token_ = {pos_, start + taken};
    if (!ok) {
      // A bad index shows as the whole field; the blanks that it may have taken are none of it.
      Span field = token_;
      while (field.end > start && text_[field.end - 1] == ' ') --field.end;
      return SetErrorAt(kShowOnlyInvalidValue, recorded_ + static_cast<int>(taken) - 1, field);
    }
    if (AfterOperand(prev)) return Refuse(kShowOnlyMissingOperator);
    kind_ = FieldToken(letter);
    value_ = value;
    pos_ = start + taken;
  }

  // A number: "0x" and up to 4 hexadecimal characters, or a digit or "-" and the digits after it.
  void Number(std::int32_t prev) {
    const std::size_t start = pos_;
    recorded_ = static_cast<int>(start);
    std::size_t taken = 1;
    std::int32_t value = 0;
    bool ok = false;
    if (AtHexPrefix(start)) {
      ok = ReadHex(start, taken, value);
    } else {
      while (start + taken < text_.size() && IsDigit(text_[start + taken])) ++taken;
      ok = taken <= kShowOnlyNumberMax && ParseSignedDecimal(text_.substr(start, taken), value);
    }
    token_ = {start, start + taken};
    if (!ok) {
      // The last character read, which the message quotes from.
      const std::size_t last = start + taken - 1;
      return SetErrorAt(kShowOnlyInvalidValue, static_cast<int>(last), {last, last + 1});
    }
    if (AfterOperand(prev)) return Refuse(kShowOnlyMissingOperator);
    kind_ = kTokNumber;
    value_ = value;
    pos_ = start + taken;
  }

  bool AtHexPrefix(std::size_t i) const {
    return i + 1 < text_.size() && text_[i] == '0' && (text_[i + 1] == 'x' || text_[i + 1] == 'X');
  }

  // "0x" takes the whole alphanumeric run after it; the run may hold at most 4 characters and the
  // value is that of its leading hexadecimal digits, of which there must be one at least.
  bool ReadHex(std::size_t start, std::size_t& taken, std::int32_t& value) const {
    const std::size_t digits = start + 2;
    std::size_t run = 0;
    while (digits + run < text_.size() && IsAlnum(text_[digits + run])) ++run;
    taken = 2 + run;
    if (run == 0 || run > 4 || !IsHexDigit(text_[digits])) return false;
    value = 0;
    for (std::size_t i = digits; i < digits + run && IsHexDigit(text_[i]); ++i) {
      value = value * 16 + static_cast<int>(HexDigitValue(text_[i]));
    }
    return true;
  }

  // A decimal field index: the character after the letter and the digits after it, trimmed of
  // blanks; a sign may lead, as after an empty "[]" ("DataByte[]-1").
  bool ReadFieldIndex(std::size_t start, std::size_t& taken, std::int32_t& value) const {
    taken = 0;
    if (start >= text_.size()) return false;
    taken = 1;
    while (start + taken < text_.size() && IsDigit(text_[start + taken])) ++taken;
    std::string_view index = text_.substr(start, taken);
    while (!index.empty() && index.front() == ' ') index.remove_prefix(1);
    while (!index.empty() && index.back() == ' ') index.remove_suffix(1);
    if (index.empty() || taken > kShowOnlyNumberMax) return false;
    for (char c : index) {
      if (!IsDigit(c) && c != '+' && c != '-') return false;
    }
    return ParseSignedDecimal(index, value);
  }

  std::string_view text_;
  std::array<std::int32_t, ShowOnlyProgram::kCodeWords>& code_;
  std::size_t count_ = 0;
  std::size_t pos_ = 0;
  std::int32_t kind_ = kTokNone;
  std::int32_t value_ = 0;
  int recorded_ = 0;
  Span token_;  // the token being read, or after the end of the text the last one read
  int errorKind_ = kShowOnlyNoError;
  int errorOffset_ = 0;
  Span errorSpan_;
};

const char* ErrorKindText(int errorKind) {
  switch (errorKind) {
    case kShowOnlyMissingParenthesis:
      return "Missing Parenthesis '";
    case kShowOnlyMissingParameter:
      return "Missing Parameter '";
    case kShowOnlyMissingOperator:
      return "Missing Operator '";
    case kShowOnlyInvalidOperator:
      return "Invalid Operator '";
    case kShowOnlyInvalidValue:
      return "Invalid Value '";
    case kShowOnlyAmbiguousOperator:
      return "Ambiguous Operator '";
    default:
      return "'";
  }
}

// The equation ends at a NUL byte, as C string handling of the text (and the header line that
// shows it) sees it.
std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

Result CompileCollected(ShowOnlyProgram& program, ShowOnlyErrorPlace& place) {
  std::string translated;
  TranslationMap map;
  Translator translator(UpToNul(program.text), translated, map);
  Result translation = translator.Run();
  if (!translation.ok()) {
    const Span piece = translator.ErrorSpan();
    place = {true, piece.start, piece.end - piece.start};
    return translation;
  }
  // The translation stays within the limit that GenerateShowOnlyCode guards.
  int errorOffset = 0;
  Span errorSpan;
  const int errorKind = CodeGenerator(translated, program).Run(errorOffset, errorSpan);
  if (errorKind == kShowOnlyNoError) return Result::Ok();
  place = map.Back(errorSpan);
  return ShowOnlyCodeError(errorKind, errorOffset, translated);
}

// Words of a program up to its terminator; value words are stepped over by kind, since they may
// be 0.
std::size_t CodeLength(const ShowOnlyProgram& program) {
  std::size_t i = 0;
  while (i < program.code.size() && program.code[i] != 0) {
    i += HasValueWord(program.code[i]) ? 2 : 1;
  }
  return std::min(i, program.code.size());
}

}  // namespace

std::vector<std::string_view> ShowOnlyIdentifierNames() {
  std::vector<std::string_view> names;
  names.reserve(kShowOnlyIdentifierTable.size());
  for (const IdentifierRow& row : kShowOnlyIdentifierTable) names.push_back(row.name);
  return names;
}

bool LookupIdentifier(std::string_view name, std::uint8_t& type, std::int32_t& value) {
  for (const IdentifierRow& row : kShowOnlyIdentifierTable) {
    if (EqualNoCase(name, row.name)) {
      type = row.type;
      value = row.value;
      return true;
    }
  }
  return false;
}

Result CollectShowOnly(TextReader& file, std::string& collected) {
  return Collect(file, collected);
}

Result TranslateShowOnly(std::string_view collected, std::string& translated) {
  TranslationMap map;
  return Translator(UpToNul(collected), translated, map).Run();
}

int GenerateShowOnlyCode(std::string_view translated, ShowOnlyProgram& program, int& errorOffset) {
  if (translated.size() > kShowOnlyTranslatedMax) {
    // The translator never gives more; the first character beyond its buffer starts no token.
    program.code.fill(0);
    errorOffset = static_cast<int>(kShowOnlyTranslatedMax);
    return kShowOnlyInvalidOperator;
  }
  Span errorSpan;
  return CodeGenerator(translated, program).Run(errorOffset, errorSpan);
}

Result ShowOnlyCodeError(int errorKind, int errorOffset, std::string_view translated) {
  const std::size_t from = errorOffset < 0 ? 0 : static_cast<std::size_t>(errorOffset);
  const std::string quoted(translated.substr(from < translated.size() ? from : translated.size()));
  return Fail("Option ShowOnly Expression Error: %s%s", ErrorKindText(errorKind), quoted.c_str());
}

Result CompileShowOnly(TextReader& file, ShowOnlyProgram& program) {
  ShowOnlyErrorPlace place;
  return CompileShowOnly(file, program, place);
}

Result CompileShowOnly(TextReader& file, ShowOnlyProgram& program, ShowOnlyErrorPlace& place) {
  program.Clear();
  place = {};
  Result collection = Collect(file, program.text);
  if (!collection.ok()) return collection;
  return CompileCollected(program, place);
}

Result CompileShowOnlyText(std::string_view source, ShowOnlyProgram& program) {
  ShowOnlyErrorPlace place;
  return CompileShowOnlyText(source, program, place);
}

Result CompileShowOnlyText(std::string_view source, ShowOnlyProgram& program,
                           ShowOnlyErrorPlace& place) {
  program.Clear();
  place = {};
  MemoryReader reader(source);
  Result collection = Collect(reader, program.text);
  if (!collection.ok()) return collection;
  return CompileCollected(program, place);
}

Result JoinShowOnlyAnd(ShowOnlyProgram& program, const ShowOnlyProgram& other) {
  if (other.Empty()) return Result::Ok();
  if (program.Empty()) {
    program = other;
    return Result::Ok();
  }
  // Postfix programs join by writing one after the other and the operator after both; the last
  // word stays the terminator.
  const std::size_t first = CodeLength(program);
  const std::size_t second = CodeLength(other);
  if (first + second + 1 >= ShowOnlyProgram::kCodeWords) return EquationTooLong();
  const auto at = program.code.begin() + static_cast<std::ptrdiff_t>(first);
  std::copy_n(other.code.begin(), second, at);
  program.code[first + second] = kTokAnd;
  program.text = "(" + program.text + ") && " + other.text;
  return Result::Ok();
}

std::string DisassembleShowOnly(const ShowOnlyProgram& program) {
  std::string text;
  for (std::size_t i = 0; i < program.code.size() && program.code[i] != 0; ++i) {
    if (!text.empty()) text += ' ';
    text += std::to_string(program.code[i]);
    if (HasValueWord(program.code[i]) && i + 1 < program.code.size()) {
      text += ' ' + std::to_string(program.code[++i]);
    }
  }
  return text;
}

}  // namespace fdc
