// The six time units of option files and time columns: their two-letter tokens, their length in
// nanoseconds, and how a time column shows each part of a time.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace fdc {

struct TimeUnit {
  std::string_view token;    // as written in a time value ("10ms") or a format ("hr:mn")
  std::int64_t nanoseconds;  // length of one unit
  std::uint32_t modulus;     // a time column shows the part modulo this (hours modulo 65536)
  int width;                 // digits of the part in a time column
};

// From the longest to the shortest; a time format names them in this order.
inline constexpr std::array<TimeUnit, 6> kTimeUnits = {{
    {"hr", 3'600'000'000'000, 65536, 2},
    {"mn", 60'000'000'000, 60, 2},
    {"sc", 1'000'000'000, 60, 2},
    {"ms", 1'000'000, 1000, 3},
    {"us", 1'000, 1000, 3},
    {"ns", 1, 1000, 3},
}};

enum TimeUnitIndex : std::uint8_t {
  kHour,
  kMinute,
  kSecond,
  kMillisecond,
  kMicrosecond,
  kNanosecond
};

}  // namespace fdc
