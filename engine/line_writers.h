// The writers of one dump line's body: field formatters, the frame decoder, the time base and the
// time columns. Each field writes its own trailing blank.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "capture/capture_format.h"
#include "capture/telegram.h"
#include "common/dump_writer.h"
#include "engine/time_base.h"
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

// The status column and the decoded frame, from its dissection. `record` holds the frame bytes
// and the status byte.
void WriteFrameColumns(DumpWriter& out, const DumpOptions& options, const Telegram& telegram,
                       ByteView record);
// The same for a record not dissected yet: frameLen frame bytes, then the status byte.
void WriteFrameColumns(DumpWriter& out, const DumpOptions& options, const std::uint8_t* record,
                       std::uint8_t frameLen);
// The body of an SD1, SD2 or SD3 frame from DA to ED.
void WriteFrameBody(DumpWriter& out, const DumpOptions& options, const Telegram& telegram,
                    ByteView record);

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
  bool any;  // a time column or a graph is written
  TimeFormat absFormat, deltaFormat, gapFormat;
  BarGraph deltaGraph, gapGraph;
};

// Time columns and graphs of one printed line; moves the delta base.
void WriteTimeColumns(DumpWriter& out, const DumpOptions& options, const TimeColumnFormats& formats,
                      TimeBase& time);
void WriteTimeValue(DumpWriter& out, std::int64_t nanoseconds, const TimeFormat& format);
inline void WriteTimeValue(DumpWriter& out, std::int64_t nanoseconds, std::string_view format) {
  WriteTimeValue(out, nanoseconds, CompileTimeFormat(format));
}
void WriteBarGraph(DumpWriter& out, int width, std::int64_t value, std::int64_t fullScale);

}  // namespace fdc
