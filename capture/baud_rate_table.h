// BaudRateTable: the name of each baud code and the constants that turn its clock ticks into
// nanoseconds (one tick lasts TimeMul / TimeDiv ns; the clock runs at TicksPerBit ticks a bit).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace fdc {

struct BaudRate {
  std::string_view name;
  std::int64_t TimeMul;
  std::int64_t TimeDiv;
  std::uint8_t TicksPerBit;
};

// Code 0 names an unknown rate and carries no constants.
inline constexpr std::array<BaudRate, 10> BaudRateTable = {{
    {"???", 0, 0, 0},
    {"12M", 1000, 48, 4},
    {"6M", 1000, 48, 8},
    {"3M", 1000, 48, 16},
    {"1M5", 1000, 24, 16},
    {"500K", 1000, 8, 16},
    {"187K5", 1000, 3, 16},
    {"93K75", 10000, 15, 16},
    {"19K2", 10000000, 3072, 16},
    {"9K6", 10000000, 1536, 16},
}};

// Codes beyond the table are named like code 0.
constexpr std::string_view BaudRateName(std::uint16_t baudCode) {
  return baudCode < BaudRateTable.size() ? BaudRateTable[baudCode].name : BaudRateTable[0].name;
}

// The slot time a run uses when none is given, in bit times, by the first file's baud code.
constexpr std::uint32_t DefaultSlotTimeBits(std::uint16_t baudCode) {
  switch (baudCode) {
    case 1:  // 12M
      return 1000;
    case 2:  // 6M
      return 600;
    case 3:  // 3M
      return 400;
    case 4:  // 1M5
      return 300;
    case 5:  // 500K
      return 200;
    default:  // 187K5 and slower (and an unknown rate, where no slot time is tested)
      return 100;
  }
}

// True for the codes 1..9 that carry time constants.
constexpr bool HasTimeConstants(std::uint16_t baudCode) {
  return baudCode >= 1 && baudCode < BaudRateTable.size();
}

}  // namespace fdc
