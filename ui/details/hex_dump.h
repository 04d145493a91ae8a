// The hex pane's text: the record's bytes sixteen to a line, each line its offset from the record's
// sync mark, the bytes in hexadecimal (a wider gap after the eighth) and as ASCII; and where each
// byte stands in that text, both ways, so that items and bytes can select each other.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace fdc::ui {

inline constexpr int kHexBytesPerLine = 16;

// "0000  dd 40 e2 01 00 00 00 06  10 02 01 49 4c 16 00 00  .@.........IL..." — lines end in
// '\n' but the last.
std::string HexDumpText(std::span<const std::uint8_t> bytes);

// Where byte `offset` stands: its line, the column of its first hex digit and its ASCII column.
struct HexPlace {
  int line = 0;
  int hexColumn = 0;
  int asciiColumn = 0;
};
HexPlace HexPlaceOf(int offset);

// The byte shown at `column` of `line` (its two hex digits, the blank after them, or its ASCII
// character) among `size` bytes; none between the columns of bytes.
std::optional<int> HexByteAt(int line, int column, int size);

// Bytes begin .. end - 1 as "dd 40 e2", for the clipboard.
std::string HexBytesText(std::span<const std::uint8_t> bytes, int begin, int end);

}  // namespace fdc::ui
