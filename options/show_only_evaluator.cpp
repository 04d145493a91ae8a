// The ShowOnly stack machine: runs a compiled filter program against one record.
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>

#include "options/show_only.h"
#include "options/show_only_compiler.h"

namespace fdc {

namespace {

constexpr std::size_t kStackSize = 2048;
// Every value pushed consumes at least one code word, so no code array can overflow the stack;
// only malformed code could pop more than was pushed, which the binary operators check.
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

std::int32_t EvaluateShowOnly(const ShowOnlyProgram& program, const FrameFields& fields,
                              ByteView record, std::int32_t gapMicroseconds,
                              const std::array<std::int32_t, 4>& cmdArgs) {
  const auto& code = program.code;
  if (code[0] == 0) return 1;  // no filter: every record is written

  std::int32_t stack[kStackSize];
  std::size_t top = 0;  // number of values on the stack
  std::size_t pc = 0;
  // Two-word operands read their second word here; code that ends early reads the terminator.
  auto operand = [&]() { return pc < code.size() ? code[pc++] : 0; };

  while (pc < code.size()) {
    const std::int32_t word = code[pc++];
    // Operators take their operands off the stack first: `r` is the right (or only) one.
    std::int32_t l = 0;
    std::int32_t r = 0;
    if (word >= kTokNot && word <= kTokOr) {
      const std::size_t operands = word <= kTokBitNot ? 1 : 2;
      if (top < operands) return 0;  // not compiler output
      r = stack[--top];
      if (operands == 2) l = stack[--top];
    }
    switch (word) {
      case 0:
        return top > 0 ? stack[top - 1] : 0;
      case kTokSts:
        stack[top++] = fields.Sts;
        break;
      case kTokLen:
        stack[top++] = fields.DataLen;
        break;
      case kTokSd:
        stack[top++] = fields.Sd;
        break;
      case kTokAddr: {
        // DA and SA are the station addresses; bit 7 only says that a SAP byte follows.
        const std::int32_t selector = operand();
        stack[top++] = selector == 0   ? FrameByte(record, fields.Addr, 0, 0x7F)
                       : selector == 1 ? FrameByte(record, fields.Addr, 1, 0x7F)
                                       : AbsentValue;
        break;
      }
      case kTokFc:
        stack[top++] = FrameByte(record, fields.Fc, 0, 0xFF);
        break;
      case kTokDsap:
        stack[top++] = FrameByte(record, fields.Dsap, 0, 0xFF);
        break;
      case kTokSsap:
        stack[top++] = FrameByte(record, fields.Ssap, 0, 0xFF);
        break;
      case kTokGap:
        stack[top++] = gapMicroseconds;
        break;
      case kTokDataByte:
        stack[top++] = DataByte(record, fields, operand());
        break;
      case kTokDataWord:
        stack[top++] = DataWord(record, fields, operand());
        break;
      case kTokNumber:
        stack[top++] = operand();
        break;
      case kTokCmdArg: {
        const std::int32_t index = operand();
        stack[top++] =
            index >= 0 && index < 4 ? cmdArgs[static_cast<std::size_t>(index)] : AbsentValue;
        break;
      }
      case kTokNot:
        stack[top++] = r == 0;
        break;
      case kTokNegate:
        stack[top++] = Wrap(0u - U(r));
        break;
      case kTokBitNot:
        stack[top++] = ~r;
        break;
      case kTokMultiply:
        stack[top++] = Wrap(U(l) * U(r));
        break;
      case kTokDivide:
        stack[top++] = Divide(l, r);
        break;
      case kTokRemainder:
        stack[top++] = Remainder(l, r);
        break;
      case kTokAdd:
        stack[top++] = Wrap(U(l) + U(r));
        break;
      case kTokSubtract:
        stack[top++] = Wrap(U(l) - U(r));
        break;
      case kTokLess:
        stack[top++] = l < r;
        break;
      case kTokGreater:
        stack[top++] = l > r;
        break;
      case kTokLessEqual:
        stack[top++] = l <= r;
        break;
      case kTokGreaterEqual:
        stack[top++] = l >= r;
        break;
      case kTokEqual:
        stack[top++] = l == r;
        break;
      case kTokNotEqual:
        stack[top++] = l != r;
        break;
      case kTokBitAnd:
        stack[top++] = l & r;
        break;
      case kTokBitOr:
        stack[top++] = l | r;
        break;
      case kTokBitXor:
        stack[top++] = l ^ r;
        break;
      case kTokAnd:
        stack[top++] = l != 0 && r != 0;
        break;
      case kTokOr:
        stack[top++] = l != 0 || r != 0;
        break;
      default:
        return 0;  // not compiler output
    }
  }
  return top > 0 ? stack[top - 1] : 0;
}

}  // namespace fdc
