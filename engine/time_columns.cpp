// Time columns and bar graphs of a dump line.
#include <array>
#include <cstring>

#include "engine/line_writers.h"

namespace fdc {

namespace {

constexpr std::int64_t kNsPerUs = 1'000;
constexpr std::int64_t kNsPerMs = 1'000'000;
constexpr std::int64_t kNsPerSecond = 1'000'000'000;
constexpr std::int64_t kNsPerMinute = 60 * kNsPerSecond;
constexpr std::int64_t kNsPerHour = 60 * kNsPerMinute;
constexpr int kMaxGraphWidth = 100;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

void WriteTimeValue(DumpWriter& out, std::int64_t nanoseconds, std::string_view format) {
  // A negative time (a gap whose previous frame ends after this one starts) shows as "-" and the
  // layout of its magnitude.
  std::uint64_t v = static_cast<std::uint64_t>(nanoseconds);
  if (nanoseconds < 0) {
    out.Char('-');
    v = 0 - v;
  }
  struct Field {
    char token[2];
    std::uint64_t part;
  };
  const std::array<Field, 6> fields = {{
      {{'h', 'r'}, (v / kNsPerHour) % 65536},
      {{'m', 'n'}, (v / kNsPerMinute) % 60},
      {{'s', 'c'}, (v / kNsPerSecond) % 60},
      {{'m', 's'}, (v / kNsPerMs) % 1000},
      {{'u', 's'}, (v / kNsPerUs) % 1000},
      {{'n', 's'}, v % 1000},
  }};

  std::size_t pos = 0;
  bool first = true;
  for (std::size_t k = 0; k < fields.size(); ++k) {
    const Field& field = fields[k];
    if (pos + 1 >= format.size()) continue;
    if (Lower(format[pos]) != field.token[0] || Lower(format[pos + 1]) != field.token[1]) continue;
    pos += 2;
    if (k <= 1) {
      // Hours and minutes: the next character, whatever it is, separates.
      char separator = ' ';
      if (pos < format.size()) separator = format[pos++];
      if (k == 1 && !first) {
        out.DecZero(field.part, 2);
      } else {
        out.Dec(field.part, 2);
      }
      out.Char(separator);
    } else {
      // Seconds and below: a letter starts the next token without a separator.
      bool hasSeparator = true;
      char separator = ' ';
      if (pos < format.size()) {
        if (IsLetter(format[pos])) {
          hasSeparator = false;
        } else {
          separator = format[pos++];
        }
      }
      const int width = k == 2 ? 2 : 3;
      if (first) {
        out.Dec(field.part, width);
      } else {
        out.DecZero(field.part, width);
      }
      if (hasSeparator) out.Char(separator);
    }
    first = false;
  }
}

void WriteBarGraph(DumpWriter& out, int width, std::int64_t value, std::int64_t fullScale) {
  static_assert(kMaxGraphWidth < 128);
  if (width <= 0) return;
  if (width > kMaxGraphWidth) width = kMaxGraphWidth;
  char bar[kMaxGraphWidth + 1];
  std::memset(bar, ' ', static_cast<std::size_t>(width));
  const int last = width - 1;
  if (value > fullScale) {
    // Off the scale.
    bar[0] = '*';
    bar[last] = '*';
  } else if (value == fullScale) {
    std::memset(bar, '.', static_cast<std::size_t>(width));
  } else if (value < 0) {
    // Below the scale: a negative gap.
    bar[0] = '-';
    bar[last] = '|';
  } else {
    // 0 <= value < fullScale, so fullScale > 0 and the dot count is below the width.
    bar[last] = '|';
#if defined(__SIZEOF_INT128__)
    const auto dots = static_cast<int>(static_cast<__int128>(width) * value / fullScale);
#else
    const auto dots = static_cast<int>(static_cast<long double>(width) * value / fullScale);
#endif
    std::memset(bar, '.', static_cast<std::size_t>(dots));
  }
  bar[width] = '\0';
  out.Text(std::string_view(bar, static_cast<std::size_t>(width)));
}

void WriteTimeColumns(DumpWriter& out, const DumpOptions& options, TimeBase& time) {
  if (!options.TmeAbs.empty()) {
    out.Char('a');
    WriteTimeValue(out, time.AbsTimeNs(), options.TmeAbs);
  }
  time.FirstPrintedLineStep();
  if (!options.TmeDelta.empty()) {
    out.Char('d');
    WriteTimeValue(out, time.DeltaTimeNs(), options.TmeDelta);
  }
  if (options.GrphDeltaWidth != 0) {
    out.Char('d');
    WriteBarGraph(out, options.GrphDeltaWidth, time.DeltaTimeNs(), options.GrphDeltaTime);
  }
  if (!options.TmeGap.empty()) {
    out.Char('g');
    WriteTimeValue(out, time.GapTimeNs(), options.TmeGap);
  }
  if (options.GrphGapWidth != 0) {
    out.Char('g');
    WriteBarGraph(out, options.GrphGapWidth, time.GapTimeNs(), options.GrphGapTime);
  }
  time.DeltaBaseStep();
}

}  // namespace fdc
