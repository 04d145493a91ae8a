// The telegram dissector: kind, length checks and field positions.
#include "capture/telegram.h"

namespace fdc {

std::uint8_t FrameCheckSum(ByteView record, const Telegram& telegram) {
  const ByteView covered = record.Sub(telegram.bodyPos, telegram.fcsPos - telegram.bodyPos);
  unsigned sum = 0;
  for (std::size_t i = 0; i < covered.size(); ++i) sum += covered.data()[i];
  return static_cast<std::uint8_t>(sum);
}

}  // namespace fdc
