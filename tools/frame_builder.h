// Builds FDL telegrams byte by byte, with their length fields and frame check byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>

namespace fdc::gen {

inline constexpr std::uint8_t kSd1 = 0x10;
inline constexpr std::uint8_t kSd2 = 0x68;
inline constexpr std::uint8_t kSd3 = 0xA2;
inline constexpr std::uint8_t kSd4 = 0xDC;
inline constexpr std::uint8_t kSc = 0xE5;
inline constexpr std::uint8_t kEd = 0x16;
// Bit 7 of DA or SA announces a DSAP or SSAP byte at the head of the data unit.
inline constexpr std::uint8_t kSapExtension = 0x80;
// LE counts DA, SA, FC and the data unit; a frame of 255 bytes leaves room for 249.
inline constexpr std::size_t kMaxLe = 249;
inline constexpr std::size_t kMaxDataUnit = kMaxLe - 3;
// SD3 carries a data unit of exactly this many bytes.
inline constexpr std::size_t kSd3DataUnit = 8;

// One telegram as it stands on the bus, from its start delimiter on.
struct Frame {
  std::array<std::uint8_t, 255> bytes{};
  std::size_t size = 0;

  std::span<const std::uint8_t> View() const { return {bytes.data(), size}; }
  void Push(std::uint8_t byte) { bytes[size++] = byte; }
  void Append(std::span<const std::uint8_t> more);
};

// Sum of the bytes modulo 256, as the frame check byte is formed over DA..last data byte.
std::uint8_t FrameCheck(std::span<const std::uint8_t> bytes);

// The raw kinds. DA and SA are taken as given, extension bits included; the data unit (SAP bytes
// first when the extension bits call for them) is copied behind FC.
Frame MakeSd1(std::uint8_t da, std::uint8_t sa, std::uint8_t fc);
Frame MakeSd2(std::uint8_t da, std::uint8_t sa, std::uint8_t fc,
              std::span<const std::uint8_t> dataUnit);  // dataUnit.size() <= kMaxDataUnit
Frame MakeSd3(std::uint8_t da, std::uint8_t sa, std::uint8_t fc,
              std::span<const std::uint8_t> dataUnit);  // dataUnit.size() == kSd3DataUnit
Frame MakeSd4(std::uint8_t da, std::uint8_t sa);
Frame MakeSc();
Frame MakeRaw(std::initializer_list<std::uint8_t> bytes);

// No SAP on this side of the telegram.
inline constexpr int kNoSap = -1;

// A telegram as a station sends it: station addresses (0..127), optional SAPs, data. The
// extension bits follow from the SAPs, and the kind from the data unit's size, as a sender
// chooses it: SD1 without a data unit, SD3 for exactly 8 bytes, SD2 otherwise.
Frame MakeTelegram(std::uint8_t da, std::uint8_t sa, std::uint8_t fc, int dsap, int ssap,
                   std::span<const std::uint8_t> data);

// Positions of the frame check byte and the end delimiter, for kinds that carry them; 0 when
// the frame has neither (SD4, SC, unknown, too short).
std::size_t FcsPosition(const Frame& frame);

}  // namespace fdc::gen
