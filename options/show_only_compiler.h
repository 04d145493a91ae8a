// The stages of the ShowOnly compiler, open to the tests and the fuzzer: collection, translation of
// identifiers, code generation, and a disassembler that prints a program as its code words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "common/text_reader.h"
#include "options/show_only.h"

namespace fdc {

// The longest translated text: an identifier grows by at most half ("SC" becomes "229"), so a
// collected equation of 4096 characters stays below this; the limit only guards the code array.
inline constexpr std::size_t kShowOnlyTranslatedMax = 2 * ShowOnlyProgram::kMaxTextLength;
// A number or index longer than this is refused as an invalid value.
inline constexpr std::size_t kShowOnlyNumberMax = 31;

// Code generation error kinds; the number is what the user sees in reports about a filter.
enum ShowOnlyErrorKind : int {
  kShowOnlyNoError = 0,
  kShowOnlyMissingParenthesis = 300,
  kShowOnlyMissingParameter = 301,
  kShowOnlyMissingOperator = 302,
  kShowOnlyInvalidOperator = 304,
  kShowOnlyInvalidValue = 305,
  kShowOnlyAmbiguousOperator = 306,
};

// Token kinds, which are also the code words of a program. Operands of kinds 28, 33, 34, 35 and
// 36 are followed by one more word: the selector, index or number.
enum ShowOnlyToken : std::int32_t {
  kTokNone = 0,
  kTokOpen = 1,
  kTokClose = 2,
  kTokNot = 3,
  kTokNegate = 4,
  kTokBitNot = 5,
  kTokMultiply = 6,
  kTokDivide = 7,
  kTokRemainder = 8,
  kTokAdd = 9,
  kTokSubtract = 10,
  kTokLess = 11,
  kTokGreater = 12,
  kTokLessEqual = 13,
  kTokGreaterEqual = 14,
  kTokEqual = 15,
  kTokNotEqual = 16,
  kTokBitAnd = 17,
  kTokBitOr = 18,
  kTokBitXor = 19,
  kTokAnd = 20,
  kTokOr = 21,
  kTokSts = 25,
  kTokLen = 26,
  kTokSd = 27,
  kTokAddr = 28,
  kTokFc = 29,
  kTokDsap = 30,
  kTokSsap = 31,
  kTokGap = 32,
  kTokDataByte = 33,
  kTokDataWord = 34,
  kTokNumber = 35,
  kTokCmdArg = 36,
  kTokEnd = 37,
  kTokError = -1,
};

constexpr bool IsOperandToken(std::int32_t kind) { return kind >= kTokSts && kind <= kTokCmdArg; }
constexpr bool HasValueWord(std::int32_t kind) {
  return kind == kTokAddr || kind == kTokDataByte || kind == kTokDataWord || kind == kTokNumber ||
         kind == kTokCmdArg;
}

// Finds `name` (case-insensitive, whole) in the identifier table; the first matching row wins.
// `type` is 1 for a constant or a field letter 'M' to 'W'.
bool LookupIdentifier(std::string_view name, std::uint8_t& type, std::int32_t& value);

// The names an equation may use (status bits, frame kinds, function codes, fields), in the
// identifier table's order, for completing a name as it is typed.
std::vector<std::string_view> ShowOnlyIdentifierNames();

// Reads the equation up to the "#" that ends it, leaving `file` just after the "#".
Result CollectShowOnly(TextReader& file, std::string& collected);

// Replaces every identifier of the collected text by its value or field code.
Result TranslateShowOnly(std::string_view collected, std::string& translated);

// Tokenises and parses the translated text into `program.code`. Returns kShowOnlyNoError or an
// error kind with `errorOffset` (an offset into `translated`, -1 for "from the start").
int GenerateShowOnlyCode(std::string_view translated, ShowOnlyProgram& program, int& errorOffset);

// The message of a code generation error: it quotes the translated text from the error offset.
Result ShowOnlyCodeError(int errorKind, int errorOffset, std::string_view translated);

// The program's code words up to its terminator, separated by blanks ("28 1 35 5 15").
std::string DisassembleShowOnly(const ShowOnlyProgram& program);

}  // namespace fdc
