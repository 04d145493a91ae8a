// Field positions of a telegram by frame kind.
#include "capture/frame_fields.h"

#include "capture/capture_format.h"

namespace fdc {

FrameFields DecodeFrameFields(const std::uint8_t* record, std::uint8_t frameLen) {
  ByteView bytes(record, static_cast<std::size_t>(frameLen) + 1);
  FrameFields f;
  f.Sts = bytes.U8(frameLen);
  if (frameLen == 0) return f;
  f.Sd = bytes.U8(0);
  switch (f.Sd) {
    case kSd1:
    case kSd4:
      f.Addr = 1;
      if (f.Sd == kSd1) f.Fc = 3;
      break;
    case kSd2:
    case kSd3: {
      // SD2: SD LE LEr SD DA SA FC data...; SD3: SD DA SA FC data(8)...
      const std::int16_t addr = f.Sd == kSd2 ? 4 : 1;
      f.Addr = addr;
      f.Fc = static_cast<std::int16_t>(addr + 2);
      std::int16_t next = static_cast<std::int16_t>(addr + 3);
      int saps = 0;
      if (bytes.U8(static_cast<std::size_t>(addr)) & kSapExtension) {
        f.Dsap = next++;
        ++saps;
      }
      if (bytes.U8(static_cast<std::size_t>(addr) + 1) & kSapExtension) {
        f.Ssap = next++;
        ++saps;
      }
      f.Data = next;
      if (f.Sd == kSd2) {
        f.DataLen = static_cast<std::uint8_t>(bytes.U8(1) - 3 - saps);
      } else {
        f.DataLen = static_cast<std::uint8_t>(8 - saps);
      }
      break;
    }
    default:
      break;
  }
  return f;
}

}  // namespace fdc
