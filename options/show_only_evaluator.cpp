// The ShowOnly stack machine: runs a compiled filter program against one record.
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>

#include "options/show_only.h"
#include "options/show_only_compiler.h"

namespace fdc {

namespace {

constexpr std::size_t kStackSize = ShowOnlyProgram::kCodeWords;
// Every value pushed consumes at least one code word, so no code array can overflow the stack.
static_assert(kStackSize >= ShowOnlyProgram::kCodeWords);

// Wrapping arithmetic goes through unsigned types, where overflow is defined.
std::int32_t Wrap(std::uint32_t v) { return static_cast<std::int32_t>(v); }
std::uint32_t U(std::int32_t v) { return static_cast<std::uint32_t>(v); }

std::int32_t Divide(std::int32_t l, std::int32_t r) {
  if (r == 0) return 0;
  if (l == INT32_MIN && r == -1) return INT32_MIN;  // the one quotient that does not fit
  return l / r;
}

std::int32_t Remainder(std::int32_t l, std::int32_t r) {
  if (r == 0 || r == -1) return 0;  // x % -1 is 0, and INT32_MIN % -1 would trap
  return l % r;
}

// A byte of the frame at a position that the frame may not have.
std::int32_t FrameByte(ByteView record, std::int16_t position, int offset, std::uint8_t mask) {
  if (position == FrameFields::kNone) return AbsentValue;
  return record.U8(static_cast<std::size_t>(position + offset)) & mask;
}

// Data unit byte `index`; absent unless the whole byte lies inside the data unit.
std::int32_t DataByte(ByteView record, const FrameFields& f, std::int32_t index) {
  if (f.Data == FrameFields::kNone || index < 0 || index >= static_cast<std::int32_t>(f.DataLen)) {
    return AbsentValue;
  }
  return record.U8(static_cast<std::size_t>(f.Data) + static_cast<std::size_t>(index));
}

// The 16-bit word at data unit byte `index`, high byte first; absent unless both bytes are there.
std::int32_t DataWord(ByteView record, const FrameFields& f, std::int32_t index) {
  if (f.Data == FrameFields::kNone || index < 0 ||
      index >= static_cast<std::int32_t>(f.DataLen) - 1) {
    return AbsentValue;
  }
  const std::size_t at = static_cast<std::size_t>(f.Data) + static_cast<std::size_t>(index);
  return record.U8(at) * 256 + record.U8(at + 1);
}

}  // namespace

// One switch over the code words, every operator inline in it: the filter runs for every record,
// and a second dispatch for the infix operators costs a dump with a filter 8 % more instructions.
// NOLINTNEXTLINE(readability-function-cognitive-complexity)
std::int32_t EvaluateShowOnly(const ShowOnlyProgram& program, const FrameFields& fields,
                              ByteView record, std::int32_t gapMicroseconds,
                              const std::array<std::int32_t, 4>& cmdArgs) {
  const auto& code = program.code;
  if (code[0] == 0) return 1;  // no filter: every record is written
  // A compiled program is far shorter than the code array, so its last two words are 0. Then the
  // loop needs no bounds check: a value word is at most the second-last word, and the word after
  // it ends the program.
  if (code[code.size() - 2] != 0 || code[code.size() - 1] != 0) return 0;  // not compiler output

  // The top of the stack stays in `top`, the values under it in `below`: a push moves the old top
  // down (below[0] receives the meaningless top of the empty stack). Unary operators touch only
  // `top`; infix operators pop their left operand and check first that there is one, the only
  // check that malformed code needs.
  std::int32_t below[kStackSize];
  std::int32_t top = 0;
  std::size_t count = 0;  // values on the stack, the top included
  std::size_t pc = 0;
  auto push = [&](std::int32_t value) {
    below[count++] = top;
    top = value;
  };

  for (;;) {
    switch (code[pc++]) {
      case 0:
        return count > 0 ? top : 0;
      case kTokSts:
        push(fields.Sts);
        break;
      case kTokLen:
        push(fields.DataLen);
        break;
      case kTokSd:
        push(fields.Sd);
        break;
      case kTokAddr: {
        // DA and SA are the station addresses; bit 7 only says that a SAP byte follows.
        const std::int32_t selector = code[pc++];
        push(selector == 0   ? FrameByte(record, fields.Addr, 0, 0x7F)
             : selector == 1 ? FrameByte(record, fields.Addr, 1, 0x7F)
                             : AbsentValue);
        break;
      }
      case kTokFc:
        push(FrameByte(record, fields.Fc, 0, 0xFF));
        break;
      case kTokDsap:
        push(FrameByte(record, fields.Dsap, 0, 0xFF));
        break;
      case kTokSsap:
        push(FrameByte(record, fields.Ssap, 0, 0xFF));
        break;
      case kTokGap:
        push(gapMicroseconds);
        break;
      case kTokDataByte:
        push(DataByte(record, fields, code[pc++]));
        break;
      case kTokDataWord:
        push(DataWord(record, fields, code[pc++]));
        break;
      case kTokNumber:
        push(code[pc++]);
        break;
      case kTokCmdArg: {
        const std::int32_t index = code[pc++];
        push(index >= 0 && index < 4 ? cmdArgs[static_cast<std::size_t>(index)] : AbsentValue);
        break;
      }
      case kTokNot:
        top = top == 0;
        break;
      case kTokNegate:
        top = Wrap(0u - U(top));
        break;
      case kTokBitNot:
        top = ~top;
        break;
      case kTokMultiply:
        if (count < 2) return 0;
        top = Wrap(U(below[--count]) * U(top));
        break;
      case kTokDivide:
        if (count < 2) return 0;
        top = Divide(below[--count], top);
        break;
      case kTokRemainder:
        if (count < 2) return 0;
        top = Remainder(below[--count], top);
        break;
      case kTokAdd:
        if (count < 2) return 0;
        top = Wrap(U(below[--count]) + U(top));
        break;
      case kTokSubtract:
        if (count < 2) return 0;
        top = Wrap(U(below[--count]) - U(top));
        break;
      case kTokLess:
        if (count < 2) return 0;
        top = below[--count] < top;
        break;
      case kTokGreater:
        if (count < 2) return 0;
        top = below[--count] > top;
        break;
      case kTokLessEqual:
        if (count < 2) return 0;
        top = below[--count] <= top;
        break;
      case kTokGreaterEqual:
        if (count < 2) return 0;
        top = below[--count] >= top;
        break;
      case kTokEqual:
        if (count < 2) return 0;
        top = below[--count] == top;
        break;
      case kTokNotEqual:
        if (count < 2) return 0;
        top = below[--count] != top;
        break;
      case kTokBitAnd:
        if (count < 2) return 0;
        top = below[--count] & top;
        break;
      case kTokBitOr:
        if (count < 2) return 0;
        top = below[--count] | top;
        break;
      case kTokBitXor:
        if (count < 2) return 0;
        top = below[--count] ^ top;
        break;
      case kTokAnd:
        if (count < 2) return 0;
        top = below[--count] != 0 && top != 0;
        break;
      case kTokOr:
        if (count < 2) return 0;
        top = below[--count] != 0 || top != 0;
        break;
      default:
        return 0;  // not compiler output
    }
  }
}

}  // namespace fdc
