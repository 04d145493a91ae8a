// The bytes of a capture file: the 40-byte file header and the record layout, and the checked
// view through which every byte is read. All multi-byte numbers are little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "capture/fdl_protocol.h"

namespace fdc {

inline constexpr std::uint8_t SYNC_MARK = 0xDD;
inline constexpr std::size_t kCaptureHeaderSize = 40;
inline constexpr std::size_t kRecordHeaderSize = 8;
inline constexpr std::size_t kModuleNameSize = 32;
// Frame bytes (at most 255) and the status byte, with room to spare.
inline constexpr std::size_t kFrameBufferSize = 300;

// A read-only view of bytes whose accessors never read outside them: a position past the end
// reads as 0.
class ByteView {
 public:
  constexpr ByteView(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  constexpr std::size_t size() const { return size_; }
  constexpr const std::uint8_t* data() const { return data_; }
  constexpr std::uint8_t U8(std::size_t i) const { return i < size_ ? data_[i] : 0; }
  // The bytes from `pos` on, at most `count` of them: never more than the view holds.
  constexpr ByteView Sub(std::size_t pos, std::size_t count) const {
    if (pos >= size_) return ByteView(data_, 0);
    return ByteView(data_ + pos, count < size_ - pos ? count : size_ - pos);
  }
  constexpr std::uint16_t U16Le(std::size_t i) const {
    return static_cast<std::uint16_t>(U8(i) | (U8(i + 1) << 8));
  }
  constexpr std::uint32_t U32Le(std::size_t i) const {
    return static_cast<std::uint32_t>(U16Le(i)) | (static_cast<std::uint32_t>(U16Le(i + 2)) << 16);
  }
  constexpr std::uint64_t U48Le(std::size_t i) const {
    return static_cast<std::uint64_t>(U32Le(i)) | (static_cast<std::uint64_t>(U16Le(i + 4)) << 32);
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

struct CaptureFileHeader {
  std::uint16_t BaudCode = 0;
  std::uint32_t IpAddress = 0;  // first octet of the dotted form in the top byte
  std::array<char, kModuleNameSize + 1> ModuleName{};  // always NUL-terminated here

  // Bytes missing from a short header read as 0.
  static CaptureFileHeader Parse(ByteView bytes);
};

// Number of bytes a record with this frame length takes in the file.
constexpr std::size_t RecordSize(std::uint8_t frameLen) {
  return kRecordHeaderSize + frameLen + 1u;
}

}  // namespace fdc
