// Number appenders shared by the texts written field by field (the dump's lines, the record
// table's rows). Each writes into a sink's Claim(n), which hands out room for n characters (n at
// most kMaxFieldChars) counted as written; none allocates or calls the library.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

namespace fdc {

// A sink that appends to a string, for texts made off the hot path.
struct StringSink {
  std::string& text;
  char* Claim(std::size_t n) {
    const std::size_t at = text.size();
    text.resize(at + n);
    return text.data() + at;
  }
};

// The widest field an appender writes: a padded number, or 20 digits and a sign.
inline constexpr std::size_t kMaxFieldChars = 64;

inline constexpr char kHexDigits[] = "0123456789abcdef";

// "000" to "999", three characters each, for the many short fields of a line (addresses, bytes,
// time parts).
inline constexpr std::array<char, 3000> kThreeDigits = [] {
  std::array<char, 3000> digits{};
  for (std::size_t v = 0; v < 1000; ++v) {
    digits[3 * v] = static_cast<char>('0' + v / 100);
    digits[3 * v + 1] = static_cast<char>('0' + v / 10 % 10);
    digits[3 * v + 2] = static_cast<char>('0' + v % 10);
  }
  return digits;
}();

// 10^0 to 10^19.
inline constexpr std::array<std::uint64_t, 20> kPowersOfTen = [] {
  std::array<std::uint64_t, 20> powers{};
  std::uint64_t p = 1;
  for (std::uint64_t& power : powers) {
    power = p;
    p *= 10;
  }
  return powers;
}();

// The number of decimal digits of v: from its highest set bit, corrected by one power of ten.
constexpr int DecimalDigits(std::uint64_t v) {
  const int bits = 64 - std::countl_zero(v | 1);
  const int guess = bits * 1233 >> 12;  // about bits · log10(2)
  return guess + (v >= kPowersOfTen[static_cast<std::size_t>(guess)] ? 1 : 0);
}

// Two lower-case hexadecimal digits.
template <class Sink>
void AppendHex2(Sink& out, std::uint8_t value) {
  char* at = out.Claim(2);
  at[0] = kHexDigits[value >> 4];
  at[1] = kHexDigits[value & 0x0F];
}

// Lower-case hexadecimal, zero-padded to at least `digits` places ("%0Nx"; "%x" with 1).
template <class Sink>
void AppendHexPadded(Sink& out, std::uint32_t value, int digits) {
  int used = 1;
  while (used < 8 && (value >> (4 * used)) != 0) ++used;
  const int total = std::max(used, std::min(digits, 8));
  char* at = out.Claim(static_cast<std::size_t>(total));
  for (int i = total - 1; i >= 0; --i, value >>= 4) at[i] = kHexDigits[value & 0x0F];
}

// A number below 1000 right-aligned in `width` (at most 3) places, padded with `pad`: the short
// fields, straight from the three-digit table.
template <class Sink>
void AppendSmallDecimal(Sink& out, unsigned value, int width, char pad) {
  const int digits = value >= 100 ? 3 : value >= 10 ? 2 : 1;
  const int total = width > digits ? width : digits;
  char* at = out.Claim(static_cast<std::size_t>(total));
  for (int i = 0; i < total - digits; ++i) at[i] = pad;
  const char* source = kThreeDigits.data() + std::size_t{3} * value + (3 - digits);
  for (int i = 0; i < digits; ++i) at[total - digits + i] = source[i];
}

// Decimal right-aligned in `width` places, padded with `pad` (' ' or '0'; a minus sign goes
// before zeros and after blanks). A width past kMaxFieldChars is cut to it.
template <class Sink>
void AppendDecimal(Sink& out, std::uint64_t magnitude, bool negative, int width, char pad) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  const int digits = DecimalDigits(magnitude);
  const int used = digits + (negative ? 1 : 0);
  const int total = std::max(used, std::min(width, static_cast<int>(kMaxFieldChars)));
  char* const start = out.Claim(static_cast<std::size_t>(total));
  // Digits from the right, two at a time, straight into the line.
  char* at = start + total;
  while (magnitude >= 100) {
    const auto pair = static_cast<std::size_t>(magnitude % 100) * 2;
    magnitude /= 100;
    at -= 2;
    at[0] = kPairs[pair];
    at[1] = kPairs[pair + 1];
  }
  if (magnitude >= 10) {
    const auto pair = static_cast<std::size_t>(magnitude) * 2;
    at -= 2;
    at[0] = kPairs[pair];
    at[1] = kPairs[pair + 1];
  } else {
    *--at = static_cast<char>('0' + magnitude);
  }
  char* fill = start;
  if (pad == '0') {
    if (negative) *fill++ = '-';
    while (fill < at) *fill++ = '0';
  } else {
    if (negative) *--at = '-';
    while (fill < at) *fill++ = ' ';
  }
}

// Unsigned decimal right-aligned in `width` places, padded with `pad` ("%Nu", "%0Nu").
template <class Sink>
void AppendDec(Sink& out, std::uint64_t value, int width, char pad) {
  if (value < 1000 && width <= 3) {
    AppendSmallDecimal(out, static_cast<unsigned>(value), width, pad);
  } else {
    AppendDecimal(out, value, false, width, pad);
  }
}

// "hr:mn:sc.ms.us" of a time in ns, as the record table shows it ("11:59:00.125.171").
template <class Sink>
void AppendClock(Sink& out, std::int64_t ns) {
  if (ns < 0) *out.Claim(1) = '-';
  const std::uint64_t v =
      ns < 0 ? 0 - static_cast<std::uint64_t>(ns) : static_cast<std::uint64_t>(ns);
  const auto part = [&out](std::uint64_t value, int width, char after) {
    AppendDec(out, value, width, '0');
    if (after != 0) *out.Claim(1) = after;
  };
  part(v / 3'600'000'000'000ull, 2, ':');
  part(v / 60'000'000'000ull % 60, 2, ':');
  part(v / 1'000'000'000ull % 60, 2, '.');
  part(v / 1'000'000ull % 1000, 3, '.');
  part(v / 1'000ull % 1000, 3, 0);
}

}  // namespace fdc
