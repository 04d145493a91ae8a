// TimeBase: the absolute, delta and gap times of the current record, from module clock ticks.
#pragma once

#include <cstdint>

#include "capture/fdl_protocol.h"

namespace fdc {

// Absolute, delta and gap times of the current record. Times are kept as tick counts and turned
// into nanoseconds only when asked, so records that are not printed cost no division.
class TimeBase {
 public:
  // Sets the tick constants from the first file's baud code; an unknown code leaves every time 0.
  void SetTimeConstants(std::uint16_t baudCode);
  // Starts a run: the next record is the first one, and the next printed line the first line.
  void StartRun();
  // Once for every record read: inline, as the record loop's hot path.
  void UpdateTimeBase(std::uint64_t timestamp, std::uint8_t frameLen);
  // Goes on after a record read in an earlier pass: the next record's gap refers to it.
  void Resume(std::uint64_t lastTimestamp, std::uint8_t lastFrameLen) {
    firstRecord_ = false;
    prevTimestamp_ = static_cast<std::int64_t>(lastTimestamp);
    prevFrameLen_ = lastFrameLen;
    deltaBase_ = prevTimestamp_;
  }

  std::int64_t AbsTimeNs() const { return TicksToNs(absTicks_); }
  std::int64_t DeltaTimeNs() const { return TicksToNs(deltaTicks_); }
  std::int64_t GapTimeNs() const { return TicksToNs(gapTicks_); }
  // The gap in whole microseconds, as the ShowOnly filter reads it.
  std::int32_t GapMicroseconds() const {
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(static_cast<std::uint64_t>(GapTimeNs() / 1000)));
  }

  // Before the delta column of each printed line: the first printed line shows a delta of 0.
  void FirstPrintedLineStep() {
    if (firstPrintedLine_) {
      firstPrintedLine_ = false;
      deltaTicks_ = 0;
    }
  }
  // After the last time column of each printed line: deltas now count from this record.
  void DeltaBaseStep() { deltaBase_ = prevTimestamp_; }

  std::int64_t TicksToNs(std::int64_t ticks) const { return scale_ ? scale_(ticks) : 0; }
  // Clock ticks per bit time of the run; 0 for an unknown rate.
  std::uint8_t TicksPerBit() const { return ticksPerBit_; }
  // The baud code the constants were set from (the run's first file's).
  std::uint16_t BaudCode() const { return baudCode_; }
  // The gap before the current record in ticks (0 for the first record).
  std::int64_t GapTicks() const { return gapTicks_; }

 private:
  // ticks * TimeMul / TimeDiv for the run's rate, with the constants built in.
  std::int64_t (*scale_)(std::int64_t) = nullptr;
  std::uint8_t ticksPerBit_ = 0;
  std::uint16_t baudCode_ = 0;
  bool firstRecord_ = true;
  bool firstPrintedLine_ = true;
  std::int64_t prevTimestamp_ = 0;
  std::uint8_t prevFrameLen_ = 0;
  std::int64_t deltaBase_ = 0;
  std::int64_t absTicks_ = 0;
  std::int64_t deltaTicks_ = 0;
  std::int64_t gapTicks_ = 0;
};

inline void TimeBase::UpdateTimeBase(std::uint64_t timestamp, std::uint8_t frameLen) {
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
  gapTicks_ = t - kBitsPerCharacter * std::int64_t{ticksPerBit_} * prevFrameLen_ - prevTimestamp_;
  prevTimestamp_ = t;
  prevFrameLen_ = frameLen;
}

}  // namespace fdc
