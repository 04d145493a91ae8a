// Option files: the switches and formats of a dump (DumpOptions) and the reader that sets them,
// plus the ShowOnly filter language.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/result.h"
#include "options/show_only.h"

namespace fdc {

struct DumpOptions {
  // Flags hold 0 or 1.
  std::int32_t NoRef = 0;
  std::int32_t ShowFileOfs = 0;
  std::int32_t NoDelim = 0;
  std::int32_t NoDstSap = 0;
  std::int32_t NoSrcSap = 0;
  std::int32_t NoDst = 0;
  std::int32_t NoSrc = 0;
  std::int32_t NoFc = 0;
  std::int32_t NoData = 0;
  std::int32_t DataSgn = 0;
  std::int32_t DataUns = 0;
  std::int32_t Data16 = 0;
  std::int32_t NoBad = 0;
  std::int32_t DetailSts = 0;
  std::int32_t ShowFcbTyp = 0;
  std::int32_t ShowFcs = 0;
  std::int32_t ShowOnly = 0;
  // Time formats, at most 19 characters; empty means no column.
  std::string TmeAbs;
  std::string TmeGap;
  std::string TmeDelta;
  // Graph widths (0: no graph, else 5..100) and full-scale times in nanoseconds.
  std::uint8_t GrphGapWidth = 0;
  std::int64_t GrphGapTime = 0;
  std::uint8_t GrphDeltaWidth = 0;
  std::int64_t GrphDeltaTime = 0;
};

// Longest line piece that one read of an option file takes; a longer line reads as several.
inline constexpr std::size_t kOptionLineChars = 199;
inline constexpr std::size_t kTimeFormatMaxLength = 19;

// Resets `options` and `program`, then reads the option file at `path` (an empty path keeps the
// defaults). Stops at the first faulty line with its message.
Result ReadOptionFile(const std::string& path, DumpOptions& options, ShowOnlyProgram& program);

// Applies one keyword line (leading white space and line feed removed, not a comment, not empty).
// The line may be cut at the end of an argument.
Result ParseOptionLine(std::string& line, DumpOptions& options);

// Scanning on a cursor (`pos`) into a line. "Cutting" the line shortens it.
void SkipBlanks(std::string& line, std::size_t& pos);
std::size_t TokenEnd(std::string& line, std::size_t pos);
Result ParseNumber(std::string& line, std::size_t& pos, std::int32_t& value);
Result ParseTimeValue(std::string& line, std::size_t& pos, std::int64_t& nanoseconds);

}  // namespace fdc
