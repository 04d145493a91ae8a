// FDL telegram construction.
#include "tools/frame_builder.h"

#include <cassert>

namespace fdc::gen {

void Frame::Append(std::span<const std::uint8_t> more) {
  assert(size + more.size() <= bytes.size());
  for (std::uint8_t byte : more) bytes[size++] = byte;
}

std::uint8_t FrameCheck(std::span<const std::uint8_t> bytes) {
  unsigned sum = 0;
  for (std::uint8_t byte : bytes) sum += byte;
  return static_cast<std::uint8_t>(sum);
}

namespace {

// Closes a frame whose body (DA onwards) starts at bodyStart: FCS over the body, then ED.
void CloseBody(Frame& frame, std::size_t bodyStart) {
  std::uint8_t fcs = FrameCheck(frame.View().subspan(bodyStart));
  frame.Push(fcs);
  frame.Push(kEd);
}

}  // namespace

Frame MakeSd1(std::uint8_t da, std::uint8_t sa, std::uint8_t fc) {
  Frame frame;
  frame.Push(kSd1);
  frame.Push(da);
  frame.Push(sa);
  frame.Push(fc);
  CloseBody(frame, 1);
  return frame;
}

Frame MakeSd2(std::uint8_t da, std::uint8_t sa, std::uint8_t fc,
              std::span<const std::uint8_t> dataUnit) {
  assert(dataUnit.size() <= kMaxDataUnit);
  auto le = static_cast<std::uint8_t>(dataUnit.size() + 3);
  Frame frame;
  frame.Push(kSd2);
  frame.Push(le);
  frame.Push(le);
  frame.Push(kSd2);
  frame.Push(da);
  frame.Push(sa);
  frame.Push(fc);
  frame.Append(dataUnit);
  CloseBody(frame, 4);
  return frame;
}

Frame MakeSd3(std::uint8_t da, std::uint8_t sa, std::uint8_t fc,
              std::span<const std::uint8_t> dataUnit) {
  assert(dataUnit.size() == kSd3DataUnit);
  Frame frame;
  frame.Push(kSd3);
  frame.Push(da);
  frame.Push(sa);
  frame.Push(fc);
  frame.Append(dataUnit);
  CloseBody(frame, 1);
  return frame;
}

Frame MakeSd4(std::uint8_t da, std::uint8_t sa) {
  Frame frame;
  frame.Push(kSd4);
  frame.Push(da);
  frame.Push(sa);
  return frame;
}

Frame MakeSc() {
  Frame frame;
  frame.Push(kSc);
  return frame;
}

Frame MakeRaw(std::initializer_list<std::uint8_t> bytes) {
  Frame frame;
  frame.Append(std::span<const std::uint8_t>(bytes.begin(), bytes.size()));
  return frame;
}

Frame MakeTelegram(std::uint8_t da, std::uint8_t sa, std::uint8_t fc, int dsap, int ssap,
                   std::span<const std::uint8_t> data) {
  std::array<std::uint8_t, kMaxDataUnit> unit{};
  std::size_t size = 0;
  da &= 0x7F;
  sa &= 0x7F;
  if (dsap != kNoSap) {
    da |= kSapExtension;
    unit[size++] = static_cast<std::uint8_t>(dsap);
  }
  if (ssap != kNoSap) {
    sa |= kSapExtension;
    unit[size++] = static_cast<std::uint8_t>(ssap);
  }
  assert(size + data.size() <= unit.size());
  for (std::uint8_t byte : data) unit[size++] = byte;
  std::span<const std::uint8_t> dataUnit(unit.data(), size);
  if (size == 0) return MakeSd1(da, sa, fc);
  if (size == kSd3DataUnit) return MakeSd3(da, sa, fc, dataUnit);
  return MakeSd2(da, sa, fc, dataUnit);
}

std::size_t FcsPosition(const Frame& frame) {
  if (frame.size < 2) return 0;
  switch (frame.bytes[0]) {
    case kSd1:
      return frame.size == 6 ? 4 : 0;
    case kSd3:
      return frame.size == 14 ? 12 : 0;
    case kSd2:
      return frame.size >= 9 ? frame.size - 2 : 0;
    default:
      return 0;
  }
}

}  // namespace fdc::gen
