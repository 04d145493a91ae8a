// The writers of one dump line's body: field formatters, the frame decoder, the time base and the
// time columns. Each field writes its own trailing blank.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "capture/capture_format.h"
#include "common/dump_writer.h"
#include "options/options.h"

namespace fdc {

// Field formatters.
void WriteAddressColumn(DumpWriter& out, const DumpOptions& options, std::uint8_t da,
                        std::uint8_t sa);
void WriteSapColumn(DumpWriter& out, const DumpOptions& options, std::uint8_t da, std::uint8_t sa,
                    std::uint8_t dsap, std::uint8_t ssap);
void WriteFunctionCodeColumn(DumpWriter& out, const DumpOptions& options, std::uint8_t fc);
void WriteDataUnit(DumpWriter& out, const DumpOptions& options, const std::uint8_t* data,
                   std::size_t count);
void WriteHexBytes(DumpWriter& out, const std::uint8_t* bytes, std::size_t count);

// The status column and the decoded frame. `record` holds frameLen frame bytes and the status.
void WriteFrameColumns(DumpWriter& out, const DumpOptions& options, const std::uint8_t* record,
                       std::uint8_t frameLen);
// The body of an SD1, SD2 or SD3 frame from DA to ED, `length` bytes.
void WriteFrameBody(DumpWriter& out, const DumpOptions& options, const std::uint8_t* body,
                    std::size_t length);

// Absolute, delta and gap times of the current record. Times are kept as tick counts and turned
// into nanoseconds only when asked, so records that are not printed cost no division.
class TimeBase {
 public:
  // Sets the tick constants from the first file's baud code; an unknown code leaves every time 0.
  void SetTimeConstants(std::uint16_t baudCode);
  // Starts a run: the next record is the first one, and the next printed line the first line.
  void StartRun();
  void UpdateTimeBase(std::uint64_t timestamp, std::uint8_t frameLen);

  std::int64_t AbsTimeNs() const { return TicksToNs(absTicks_); }
  std::int64_t DeltaTimeNs() const { return TicksToNs(deltaTicks_); }
  std::int64_t GapTimeNs() const { return TicksToNs(gapTicks_); }
  // The gap in whole microseconds, as the ShowOnly filter reads it.
  std::int32_t GapMicroseconds() const {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(
        static_cast<std::uint64_t>(GapTimeNs() / 1000)));
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

 private:
  // ticks * TimeMul / TimeDiv for the run's rate, with the constants built in.
  std::int64_t (*scale_)(std::int64_t) = nullptr;
  std::uint8_t ticksPerBit_ = 0;
  bool firstRecord_ = true;
  bool firstPrintedLine_ = true;
  std::int64_t prevTimestamp_ = 0;
  std::uint8_t prevFrameLen_ = 0;
  std::int64_t deltaBase_ = 0;
  std::int64_t absTicks_ = 0;
  std::int64_t deltaTicks_ = 0;
  std::int64_t gapTicks_ = 0;
};

// A bar graph of fixed width and full scale, set up once per run: the dot count of a value is
// found among precomputed thresholds instead of by a division per line.
class BarGraph {
 public:
  static constexpr int kMaxWidth = 100;
  BarGraph(int width, std::int64_t fullScale);
  void Write(DumpWriter& out, std::int64_t value) const;

 private:
  int width_;
  std::int64_t fullScale_;
  // thresholds_[k - 1]: the smallest value that earns k dots (k = 1 .. width - 1).
  std::array<std::int64_t, kMaxWidth> thresholds_{};
};

// A time format read once per run: which of hr, mn, sc, ms, us, ns it shows, in that order, and
// what follows each.
struct TimeFormat {
  struct Field {
    std::uint8_t unit;  // 0 hr, 1 mn, 2 sc, 3 ms, 4 us, 5 ns
    bool zeroPadded;    // every field after the first
    bool hasSeparator;
    char separator;
  };
  std::array<Field, 6> fields{};
  std::uint8_t count = 0;
};
TimeFormat CompileTimeFormat(std::string_view format);

// The time formats of a run's options, read once.
struct TimeColumnFormats {
  explicit TimeColumnFormats(const DumpOptions& options);
  bool abs, delta, gap;
  TimeFormat absFormat, deltaFormat, gapFormat;
  BarGraph deltaGraph, gapGraph;
};

// Time columns and graphs of one printed line; moves the delta base.
void WriteTimeColumns(DumpWriter& out, const DumpOptions& options,
                      const TimeColumnFormats& formats, TimeBase& time);
void WriteTimeValue(DumpWriter& out, std::int64_t nanoseconds, const TimeFormat& format);
inline void WriteTimeValue(DumpWriter& out, std::int64_t nanoseconds, std::string_view format) {
  WriteTimeValue(out, nanoseconds, CompileTimeFormat(format));
}
void WriteBarGraph(DumpWriter& out, int width, std::int64_t value, std::int64_t fullScale);

}  // namespace fdc
