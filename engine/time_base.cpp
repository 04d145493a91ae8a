// TimeBase: record times from module clock ticks.
#include "capture/baud_rate_table.h"
#include "engine/line_writers.h"

namespace fdc {

void TimeBase::SetTimeConstants(std::uint16_t baudCode) {
  if (HasTimeConstants(baudCode)) {
    const BaudRate& rate = BaudRateTable[baudCode];
    timeMul_ = rate.TimeMul;
    timeDiv_ = rate.TimeDiv;
    ticksPerBit_ = rate.TicksPerBit;
  } else {
    // An unknown rate: the run still dumps, with every time 0.
    timeMul_ = 0;
    timeDiv_ = 1;
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

void TimeBase::UpdateTimeBase(std::uint64_t timestamp, std::uint8_t frameLen) {
  // Timestamps have 48 bits, so every difference below fits easily in 64 signed bits.
  const auto t = static_cast<std::int64_t>(timestamp);
  absTicks_ = t;
  if (firstRecord_) {
    firstRecord_ = false;
    prevTimestamp_ = t;
    deltaBase_ = t;
    prevFrameLen_ = 0;
  }
  deltaTicks_ = t - deltaBase_;
  // The previous frame is taken to occupy 11 bit times per byte from its timestamp on.
  gapTicks_ = t - 11 * std::int64_t{ticksPerBit_} * prevFrameLen_ - prevTimestamp_;
  prevTimestamp_ = t;
  prevFrameLen_ = frameLen;
}

std::int64_t TimeBase::TicksToNs(std::int64_t ticks) const {
  // ticks * mul / div, truncated toward zero, without forming the product: at the slow rates
  // the product leaves 64 bits after some weeks of module clock. Quotient and remainder share the
  // sign of ticks, so the two truncations add up to the one of the exact quotient.
  const std::int64_t whole = ticks / timeDiv_;
  const std::int64_t rest = ticks % timeDiv_;
  return whole * timeMul_ + rest * timeMul_ / timeDiv_;
}

}  // namespace fdc
