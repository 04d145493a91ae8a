// TimeBase: record times from module clock ticks.
#include "capture/baud_rate_table.h"
#include "engine/line_writers.h"

namespace fdc {

namespace {

// Quotient and remainder share the sign of ticks, so the two truncations add up to the one of
// the exact quotient; and the product ticks * TimeMul, which leaves 64 bits at the slow rates
// after some weeks of module clock, is never formed.
template <std::size_t Code>
std::int64_t ScaleTicks(std::int64_t ticks) {
  constexpr std::int64_t kMul = BaudRateTable[Code].TimeMul;
  constexpr std::int64_t kDiv = BaudRateTable[Code].TimeDiv;
  return ticks / kDiv * kMul + ticks % kDiv * kMul / kDiv;
}

std::int64_t NoTime(std::int64_t) { return 0; }

constexpr std::array<std::int64_t (*)(std::int64_t), 10> kScales = {
    NoTime,        ScaleTicks<1>, ScaleTicks<2>, ScaleTicks<3>, ScaleTicks<4>,
    ScaleTicks<5>, ScaleTicks<6>, ScaleTicks<7>, ScaleTicks<8>, ScaleTicks<9>,
};

}  // namespace

void TimeBase::SetTimeConstants(std::uint16_t baudCode) {
  baudCode_ = baudCode;
  if (HasTimeConstants(baudCode)) {
    scale_ = kScales[baudCode];
    ticksPerBit_ = BaudRateTable[baudCode].TicksPerBit;
  } else {
    // An unknown rate: the run still dumps, with every time 0.
    scale_ = NoTime;
    ticksPerBit_ = 0;
  }
}

void TimeBase::StartRun() {
  firstRecord_ = true;
  firstPrintedLine_ = true;
  prevTimestamp_ = 0;
  prevFrameLen_ = 0;
  deltaBase_ = 0;
  absTicks_ = deltaTicks_ = gapTicks_ = 0;
}

}  // namespace fdc
