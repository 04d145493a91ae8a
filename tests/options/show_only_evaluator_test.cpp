// The ShowOnly evaluator: field values, absent fields and 32-bit arithmetic on fixed records.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "capture/frame_fields.h"
#include "options/show_only.h"
#include "options/show_only_compiler.h"

namespace fdc {
namespace {

// Frame bytes followed by the status byte, as the reader leaves a record.
struct Record {
  std::vector<std::uint8_t> bytes;
  FrameFields Fields() const {
    return DecodeFrameFields(bytes.data(), static_cast<std::uint8_t>(bytes.size() - 1));
  }
};

// SD2 with both SAPs: DA 3 and SA 2 with the extension bit, FC 0x7D, DSAP 0x3E, SSAP 0x3F and a
// data unit of 5 bytes; status bit 6 set.
const Record kSd2{{0x68, 0x0A, 0x0A, 0x68, 0x83, 0x82, 0x7D, 0x3E, 0x3F, 0x12, 0x34, 0x56, 0x78,
                   0x9A, 0x00, 0x16, STSCHK}};
const Record kSd1{{0x10, 0x02, 0x01, 0x49, 0x4C, 0x16, STSOK}};
const Record kSc{{0xE5, STSOK}};
const Record kEmpty{{STSPAR}};

const std::array<std::int32_t, 4> kArgs{-1, 7, 0, 1000};  // the first given as 0xFFFFFFFF
constexpr std::int32_t kGap = 1001;

std::int32_t Evaluate(const std::string& equation, const Record& record) {
  ShowOnlyProgram program;
  Result result = CompileShowOnlyText(equation + "#", program);
  EXPECT_TRUE(result.ok()) << equation << ": " << result.ErrorText();
  return EvaluateShowOnly(program, record.Fields(),
                          ByteView(record.bytes.data(), record.bytes.size()), kGap, kArgs);
}

struct Case {
  const char* equation;
  const Record& record;
  std::int32_t expected;
};

TEST(ShowOnlyEvaluator, FieldsAndAbsentValues) {
  const Case cases[] = {
      {"", kEmpty, 1},
      {"SA == 2 && (FC & TYPMSK) == SRDH", kSd2, 1},
      {"SA == 2 && (FC & TYPMSK) == SRDH", kSc, 0},
      {"FC != SRDH", kSc, 1},
      {"FC == 0", kSc, 0},
      {"!FC", kSc, 0},
      {"FC", kSc, AbsentValue},
      {"FC", kSd2, 0x7D},
      {"DA", kSd2, 3},
      {"SA", kSd2, 2},
      {"DA == 2", kSd1, 1},
      {"SA", kSd1, 1},
      {"DA", kEmpty, AbsentValue},
      {"DSAP * 256 + SSAP", kSd2, 0x3E3F},
      {"DSAP", kSd1, AbsentValue},
      {"SSAP", kSc, AbsentValue},
      {"SD == SD2", kSd2, 1},
      {"SD", kEmpty, 0},
      {"STS & STSCHK", kSd2, 64},
      {"STS == STSOK", kSd1, 1},
      {"STS", kEmpty, STSPAR},
      {"LEN", kSd2, 5},
      {"LEN == 0", kSd1, 1},
      {"LEN == 0", kSc, 1},
      {"DataByte[4]", kSd2, 0x9A},
      {"DataByte[5]", kSd2, AbsentValue},
      {"DataByte[]-1", kSd2, AbsentValue},
      {"DataByte[0]", kSd1, AbsentValue},
      {"DataWord[3]", kSd2, 0x789A},
      {"DataWord[4]", kSd2, AbsentValue},
      {"DataWord[]-1", kSd2, AbsentValue},
      {"DataWord[0] == 0x1234", kSd2, 1},
      {"DataWord[2147483647]", kSd2, AbsentValue},
      {"CmdArg[0] < 0", kSd1, 1},
      {"CmdArg[0x1]", kSd1, 7},
      {"CmdArg[3]", kSd1, 1000},
      {"CmdArg[4]", kSd1, AbsentValue},
      {"CmdArg[]-1", kSd1, AbsentValue},
      {"GapTme > 1000", kSd1, 1},
      {"GapTme > 1001", kSd1, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(Evaluate(c.equation, c.record), c.expected) << c.equation;
}

TEST(ShowOnlyEvaluator, ArithmeticWrapsAndCompares) {
  const Case cases[] = {
      {"7 / 0", kSc, 0},
      {"7 % 0", kSc, 0},
      {"-7 / 2", kSc, -3},
      {"-7 % 2", kSc, -1},
      {"7 % -2", kSc, 1},
      {"-2147483648 / -1", kSc, INT32_MIN},
      {"-2147483648 % -1", kSc, 0},
      {"2 * 1073741824", kSc, INT32_MIN},
      {"2147483647 + 1", kSc, INT32_MIN},
      {"-2147483648 - 1", kSc, INT32_MAX},
      {"- -2147483648", kSc, INT32_MIN},
      {"~0", kSc, -1},
      {"!0 + !7", kSc, 1},
      {"-1 < 0", kSc, 1},
      {"0xFFFF > -1", kSc, 1},
      {"3 <= 3 && 3 >= 4", kSc, 0},
      {"2 AND 3 OR 0", kSc, 1},
      {"3 <> 3 || 0", kSc, 0},
      {"5 & 3 | 8 ^ 6", kSc, 5 & ((3 | 8) ^ 6)},
      {"12 & 6 ^ 3", kSc, 12 & (6 ^ 3)},
      {"0 - 5", kSc, -5},
  };
  for (const Case& c : cases) EXPECT_EQ(Evaluate(c.equation, c.record), c.expected) << c.equation;
}

// Code the compiler never emits must still be run without reading or writing out of bounds.
TEST(ShowOnlyEvaluator, MalformedCodeStaysInBounds) {
  const FrameFields fields = kSd2.Fields();
  const ByteView view(kSd2.bytes.data(), kSd2.bytes.size());
  ShowOnlyProgram program;
  program.code.fill(kTokSts);  // the deepest stack any code can build
  program.code.end()[-2] = program.code.end()[-1] = 0;
  EXPECT_EQ(EvaluateShowOnly(program, fields, view, kGap, kArgs), STSCHK);
  program.code.end()[-1] = kTokSts;  // no terminator
  EXPECT_EQ(EvaluateShowOnly(program, fields, view, kGap, kArgs), 0);
  const std::vector<std::vector<std::int32_t>> codes = {
      {kTokAdd}, {kTokSts, kTokAdd}, {kTokNegate}, {kTokNot, kTokSts, kTokOr}, {22}, {99}, {-1}};
  for (const std::vector<std::int32_t>& code : codes) {
    program.Clear();
    std::copy(code.begin(), code.end(), program.code.begin());
    EXPECT_EQ(EvaluateShowOnly(program, fields, view, kGap, kArgs), 0) << code[0];
  }
}

}  // namespace
}  // namespace fdc

namespace fdc {
namespace {

// The longest equations: every word of their code fits, and deep nesting neither overflows the
// compiler nor the evaluator's stack.
TEST(ShowOnlyEvaluator, LongestEquations) {
  std::string sum = "1";
  while (sum.size() + 2 <= ShowOnlyProgram::kMaxTextLength) sum += "+1";
  EXPECT_EQ(Evaluate(sum, kSd1), 2048);

  const std::size_t levels = (ShowOnlyProgram::kMaxTextLength - 1) / 4;
  std::string nested;
  for (std::size_t i = 0; i < levels; ++i) nested += "1|(";
  nested += "1" + std::string(levels, ')');
  EXPECT_EQ(Evaluate(nested, kSd1), 1);

  ShowOnlyProgram program;
  Result opens = CompileShowOnlyText(std::string(4096, '(') + "#", program);
  EXPECT_EQ(opens.ErrorText().rfind("Option ShowOnly Expression Error: Missing Parameter '", 0),
            0u);
}

}  // namespace
}  // namespace fdc
