// The telegram dissector: kind, length checks and field positions.
#include "capture/telegram.h"

namespace fdc {

std::uint8_t FrameCheckSum(ByteView record, const Telegram& telegram) {
  unsigned sum = 0;
  for (unsigned i = telegram.bodyPos; i < telegram.fcsPos; ++i) sum += record.U8(i);
  return static_cast<std::uint8_t>(sum);
}

}  // namespace fdc
