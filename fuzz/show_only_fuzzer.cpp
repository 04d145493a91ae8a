// Fuzz target for the ShowOnly language: any bytes as the section after a "ShowOnly" line; an
// equation that compiles is checked for well-formed code and run on a few fixed records, and
// joined with itself; an error's place must lie in the collected text.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "capture/frame_fields.h"
#include "options/show_only.h"
#include "options/show_only_compiler.h"

namespace {

using fdc::ShowOnlyProgram;

// Frame bytes followed by the status byte.
constexpr std::uint8_t kSd2WithSaps[] = {0x68, 0x0A, 0x0A, 0x68, 0x83, 0x82, 0x7D, 0x3E, 0x3F,
                                         0x12, 0x34, 0x56, 0x78, 0x9A, 0x00, 0x16, 0x40};
constexpr std::uint8_t kSd1[] = {0x10, 0x02, 0x01, 0x49, 0x4C, 0x16, 0x00};
constexpr std::uint8_t kShortAck[] = {0xE5, 0x00};
constexpr std::uint8_t kEmptyFrame[] = {0xFF};

// Every program the compiler accepts must end well before the last two code words, leave exactly
// one value and never pop an empty stack; the evaluator relies on that.
void CheckWellFormed(const ShowOnlyProgram& program) {
  if (program.code.end()[-2] != 0 || program.code.end()[-1] != 0) std::abort();
  int depth = 0;
  for (std::size_t pc = 0; pc < program.code.size() && program.code[pc] != 0; ++pc) {
    const std::int32_t word = program.code[pc];
    if (fdc::IsOperandToken(word)) {
      ++depth;
      if (fdc::HasValueWord(word)) ++pc;
    } else if (word >= fdc::kTokNot && word <= fdc::kTokBitNot) {
      if (depth < 1) std::abort();
    } else if (word >= fdc::kTokMultiply && word <= fdc::kTokOr) {
      if (depth < 2) std::abort();
      --depth;
    } else {
      std::abort();
    }
  }
  if (!program.Empty() && depth != 1) std::abort();
}

template <std::size_t N>
void Run(const ShowOnlyProgram& program, const std::uint8_t (&record)[N], std::int32_t gap,
         const std::array<std::int32_t, 4>& args) {
  const fdc::FrameFields fields = fdc::DecodeFrameFields(record, static_cast<std::uint8_t>(N - 1));
  (void)fdc::EvaluateShowOnly(program, fields, fdc::ByteView(record, N), gap, args);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static ShowOnlyProgram program;  // 4 KB of code words: kept out of the fuzzer's stack
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  fdc::ShowOnlyErrorPlace place;
  if (!fdc::CompileShowOnlyText(text, program, place).ok()) {
    if (place.placed && (place.length == 0 || place.start + place.length > program.text.size())) {
      std::abort();
    }
    return 0;
  }
  CheckWellFormed(program);
  const std::array<std::int32_t, 4> args{0, -1, INT32_MIN, 2};
  const std::array<std::int32_t, 4> otherArgs{INT32_MAX, 7, 0, -2};
  Run(program, kSd2WithSaps, 1001, args);
  Run(program, kSd1, 0, otherArgs);
  Run(program, kShortAck, -5, args);
  Run(program, kEmptyFrame, INT32_MAX, otherArgs);
  // A compiled equation takes at most about 1.5 code words for each collected character, so any
  // two fit one program.
  if (!fdc::JoinShowOnlyAnd(program, program).ok()) std::abort();
  CheckWellFormed(program);
  Run(program, kSd2WithSaps, 1001, args);
  return 0;
}
