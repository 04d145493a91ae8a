// Time columns and bar graphs of a dump line.
#include <algorithm>
#include <array>
#include <cstring>

#include "common/char_class.h"
#include "common/time_units.h"
#include "engine/line_writers.h"

namespace fdc {

namespace {

// Each part is shown alone: the minutes are not folded into the seconds. The divisors are
// constants of the table, so each division compiles to a multiplication.
template <std::size_t U>
std::uint64_t PartOf(std::uint64_t v) {
  constexpr TimeUnit kUnit = kTimeUnits[U];
  return v / static_cast<std::uint64_t>(kUnit.nanoseconds) % kUnit.modulus;
}

std::uint64_t TimePart(std::uint64_t v, std::uint8_t unit) {
  switch (unit) {
    case kHour:
      return PartOf<kHour>(v);
    case kMinute:
      return PartOf<kMinute>(v);
    case kSecond:
      return PartOf<kSecond>(v);
    case kMillisecond:
      return PartOf<kMillisecond>(v);
    case kMicrosecond:
      return PartOf<kMicrosecond>(v);
    default:
      return PartOf<kNanosecond>(v);
  }
}

}  // namespace

TimeFormat CompileTimeFormat(std::string_view format) {
  TimeFormat compiled;
  // Each token is tried once, in this fixed order, at the read position; the position moves
  // only past a matched token and its separator.
  std::size_t pos = 0;
  for (std::uint8_t unit = 0; unit < kTimeUnits.size(); ++unit) {
    if (pos + 1 >= format.size()) continue;
    if (!EqualNoCase(format.substr(pos, 2), kTimeUnits[unit].token)) continue;
    pos += 2;
    TimeFormat::Field field{unit, compiled.count > 0, true, ' '};
    if (pos < format.size()) {
      // Hours and minutes take any next character as separator; below them a letter starts
      // the next token directly.
      if (unit >= kSecond && IsAlpha(format[pos])) {
        field.hasSeparator = false;
      } else {
        field.separator = format[pos++];
      }
    }
    compiled.fields[compiled.count++] = field;
  }
  return compiled;
}

void WriteTimeValue(DumpWriter& out, std::int64_t nanoseconds, const TimeFormat& format) {
  // A negative time (a gap whose previous frame ends after this one starts) shows as "-" and the
  // layout of its magnitude.
  std::uint64_t v = static_cast<std::uint64_t>(nanoseconds);
  if (nanoseconds < 0) {
    out.Char('-');
    v = 0 - v;
  }
  for (std::uint8_t i = 0; i < format.count; ++i) {
    const TimeFormat::Field& field = format.fields[i];
    const std::uint64_t part = TimePart(v, field.unit);
    const int width = kTimeUnits[field.unit].width;
    if (field.zeroPadded) {
      // Only minutes and below follow another field, so the part has at most `width` digits.
      const std::size_t length = static_cast<std::size_t>(width) + (field.hasSeparator ? 1 : 0);
      char* at = out.Claim(length);
      const char* digits = kThreeDigits.data() + 3 * part + (3 - width);
      for (int d = 0; d < width; ++d) at[d] = digits[d];
      if (field.hasSeparator) at[width] = field.separator;
      continue;
    }
    out.Dec(part, width);
    if (field.hasSeparator) out.Char(field.separator);
  }
}

BarGraph::BarGraph(int width, std::int64_t fullScale)
    : width_(std::clamp(width, 0, kMaxWidth)), fullScale_(fullScale) {
  // k dots stand for values from ceil(k * F / W) on; only needed when 0 <= value < F.
  if (fullScale_ <= 0 || width_ == 0) return;
  for (int k = 1; k < width_; ++k) {
#if defined(__SIZEOF_INT128__)
    const __int128 product = static_cast<__int128>(k) * fullScale_;
    thresholds_[k - 1] = static_cast<std::int64_t>((product + width_ - 1) / width_);
#else
    // k < W, so k * (F / W) + ceil(k * (F % W) / W) needs no wide product.
    const std::int64_t whole = fullScale_ / width_;
    const std::int64_t rest = fullScale_ % width_;
    thresholds_[k - 1] = k * whole + (k * rest + width_ - 1) / width_;
#endif
  }
}

void BarGraph::Write(DumpWriter& out, std::int64_t value) const {
  if (width_ == 0) return;
  char* bar = out.Claim(static_cast<std::size_t>(width_));
  const int last = width_ - 1;
  if (value > fullScale_) {
    // Off the scale.
    std::memset(bar, ' ', static_cast<std::size_t>(width_));
    bar[0] = '*';
    bar[last] = '*';
  } else if (value == fullScale_) {
    std::memset(bar, '.', static_cast<std::size_t>(width_));
  } else if (value < 0) {
    // Below the scale: a negative gap.
    std::memset(bar, ' ', static_cast<std::size_t>(width_));
    bar[0] = '-';
    bar[last] = '|';
  } else {
    // 0 <= value < full scale, so the dot count is below the width.
    const auto* end = thresholds_.data() + last;
    const auto dots =
        static_cast<int>(std::upper_bound(thresholds_.data(), end, value) - thresholds_.data());
    std::memset(bar, '.', static_cast<std::size_t>(dots));
    std::memset(bar + dots, ' ', static_cast<std::size_t>(last - dots));
    bar[last] = '|';
  }
}

void WriteBarGraph(DumpWriter& out, int width, std::int64_t value, std::int64_t fullScale) {
  BarGraph(width, fullScale).Write(out, value);
}

TimeColumnFormats::TimeColumnFormats(const DumpOptions& options)
    : abs(!options.TmeAbs.empty()),
      delta(!options.TmeDelta.empty()),
      gap(!options.TmeGap.empty()),
      any(abs || delta || gap || options.GrphDeltaWidth != 0 || options.GrphGapWidth != 0),
      absFormat(CompileTimeFormat(options.TmeAbs)),
      deltaFormat(CompileTimeFormat(options.TmeDelta)),
      gapFormat(CompileTimeFormat(options.TmeGap)),
      deltaGraph(options.GrphDeltaWidth, options.GrphDeltaTime),
      gapGraph(options.GrphGapWidth, options.GrphGapTime) {}

namespace {

// The number and the graph of one time, each opened by the time's letter.
void WriteTimeGroup(DumpWriter& out, char letter, std::int64_t value, bool number,
                    const TimeFormat& format, bool graph, const BarGraph& bar) {
  if (number) {
    out.Char(letter);
    WriteTimeValue(out, value, format);
  }
  if (graph) {
    out.Char(letter);
    bar.Write(out, value);
  }
}

}  // namespace

void WriteTimeColumns(DumpWriter& out, const DumpOptions& options, const TimeColumnFormats& formats,
                      TimeBase& time) {
  if (formats.abs) {
    out.Char('a');
    WriteTimeValue(out, time.AbsTimeNs(), formats.absFormat);
  }
  time.FirstPrintedLineStep();
  const bool deltaGraph = options.GrphDeltaWidth != 0;
  if (formats.delta || deltaGraph) {
    WriteTimeGroup(out, 'd', time.DeltaTimeNs(), formats.delta, formats.deltaFormat, deltaGraph,
                   formats.deltaGraph);
  }
  const bool gapGraph = options.GrphGapWidth != 0;
  if (formats.gap || gapGraph) {
    WriteTimeGroup(out, 'g', time.GapTimeNs(), formats.gap, formats.gapFormat, gapGraph,
                   formats.gapGraph);
  }
  time.DeltaBaseStep();
}

}  // namespace fdc
