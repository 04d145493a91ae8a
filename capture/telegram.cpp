// The telegram dissector: kind, length checks and field positions.
#include "capture/telegram.h"

#include <cstdio>

namespace fdc {

std::string_view FrameMarkText(const Telegram& t, FrameMarkBuffer& buffer) {
  int length = 0;
  switch (t.mark) {
    case FrameMark::kNone:
      return {};
    case FrameMark::kLength:
      length = std::snprintf(buffer.data(), buffer.size(), "Len(%u)?", unsigned{t.frameLen});
      break;
    case FrameMark::kSd2Length:
      length = std::snprintf(buffer.data(), buffer.size(), "SD2 Len(%u)?", unsigned{t.frameLen});
      break;
    case FrameMark::kSd3Length:
      length = std::snprintf(buffer.data(), buffer.size(), "SD3 Len(%u)?", unsigned{t.frameLen});
      break;
    case FrameMark::kLe:
      // The frame length, not the LE value.
      length = std::snprintf(buffer.data(), buffer.size(), "SD2 LE?(%u)", unsigned{t.frameLen});
      break;
    case FrameMark::kLer:
      return "SD2 LEr?";
    case FrameMark::kSecondSd:
      return "SD2r?";
    case FrameMark::kUnknownSd:
      length = std::snprintf(buffer.data(), buffer.size(), "SD?%02x", unsigned{t.delimiter});
      break;
  }
  return std::string_view(buffer.data(), static_cast<std::size_t>(length));
}

std::uint8_t FrameCheckSum(ByteView record, const Telegram& telegram) {
  const ByteView covered = record.Sub(telegram.bodyPos, telegram.fcsPos - telegram.bodyPos);
  unsigned sum = 0;
  for (std::size_t i = 0; i < covered.size(); ++i) sum += covered.data()[i];
  return static_cast<std::uint8_t>(sum);
}

}  // namespace fdc
