// FrameFields: where the fields of the current telegram lie in the frame buffer, found from the
// start delimiter and the two extension bits alone.
#pragma once

#include <cstdint>

namespace fdc {

struct FrameFields {
  static constexpr std::int16_t kNone = -1;

  std::uint8_t Sd = 0;
  std::uint8_t Sts = 0;
  std::uint8_t DataLen = 0;
  std::int16_t Addr = kNone;
  std::int16_t Fc = kNone;
  std::int16_t Dsap = kNone;
  std::int16_t Ssap = kNone;
  std::int16_t Data = kNone;
};

// `record` holds the frame bytes followed by the status byte (frameLen + 1 bytes).
FrameFields DecodeFrameFields(const std::uint8_t* record, std::uint8_t frameLen);

}  // namespace fdc
