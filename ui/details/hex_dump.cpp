// The hex pane's text and the places of its bytes.
#include "ui/details/hex_dump.h"

#include <algorithm>

#include "common/text_appenders.h"

namespace fdc::ui {

namespace {

constexpr int kOffsetWidth = 6;  // four digits and two blanks
constexpr int kHexWidth = 3 * kHexBytesPerLine + 1;
constexpr int kAsciiStart = kOffsetWidth + kHexWidth + 1;

int HexColumnInLine(int index) { return kOffsetWidth + 3 * index + (index >= 8 ? 1 : 0); }

}  // namespace

std::string HexDumpText(std::span<const std::uint8_t> bytes) {
  std::string text;
  StringSink sink{text};
  const auto size = static_cast<int>(bytes.size());
  for (int start = 0; start < size; start += kHexBytesPerLine) {
    if (start > 0) text += '\n';
    AppendHexPadded(sink, static_cast<std::uint32_t>(start), 4);
    text += "  ";
    const int count = std::min(kHexBytesPerLine, size - start);
    for (int i = 0; i < kHexBytesPerLine; ++i) {
      if (i == 8) text += ' ';
      if (i < count) {
        AppendHex2(sink, bytes[static_cast<std::size_t>(start + i)]);
        text += ' ';
      } else {
        text += "   ";
      }
    }
    text += ' ';
    for (int i = 0; i < count; ++i) {
      const std::uint8_t b = bytes[static_cast<std::size_t>(start + i)];
      text += b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
    }
  }
  return text;
}

HexPlace HexPlaceOf(int offset) {
  const int index = offset % kHexBytesPerLine;
  return {offset / kHexBytesPerLine, HexColumnInLine(index), kAsciiStart + index};
}

std::optional<int> HexByteAt(int line, int column, int size) {
  if (line < 0) return std::nullopt;
  std::optional<int> index;
  if (column >= kAsciiStart && column < kAsciiStart + kHexBytesPerLine) {
    index = column - kAsciiStart;
  } else {
    for (int i = 0; i < kHexBytesPerLine; ++i) {
      const int at = HexColumnInLine(i);
      if (column >= at && column < at + 3) index = i;
    }
  }
  if (!index) return std::nullopt;
  const int offset = line * kHexBytesPerLine + *index;
  if (offset >= size) return std::nullopt;
  return offset;
}

std::string HexBytesText(std::span<const std::uint8_t> bytes, int begin, int end) {
  std::string text;
  StringSink sink{text};
  const int last = std::min(end, static_cast<int>(bytes.size()));
  for (int i = std::max(begin, 0); i < last; ++i) {
    if (!text.empty()) text += ' ';
    AppendHex2(sink, bytes[static_cast<std::size_t>(i)]);
  }
  return text;
}

}  // namespace fdc::ui
