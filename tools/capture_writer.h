// Writes capture files for tests, samples and benchmarks. The analyser itself never writes
// capture files; this library exists only beside it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fdc::gen {

// The format's constants are written out here on purpose rather than taken from the reader's
// headers (capture/capture_format.h, capture/fdl_protocol.h): the writer is a second reading of
// the format, so a mistake in the reader's constants shows in the tests instead of being copied
// into the files they read.
inline constexpr std::uint8_t kSyncMark = 0xDD;
inline constexpr std::size_t kFileHeaderSize = 40;
inline constexpr std::size_t kRecordHeaderSize = 8;
// Sync mark, timestamp, frame length, the longest frame and the status byte.
inline constexpr std::size_t kMaxRecordSize = kRecordHeaderSize + 255 + 1;
inline constexpr std::uint64_t kTimestampMask = (std::uint64_t{1} << 48) - 1;

// The 40-byte file header: baud code, IPv4 address (first octet in the top byte) and module name
// (at most 32 characters; exactly 32 leaves no NUL).
std::vector<std::uint8_t> EncodeHeader(std::uint16_t baudCode, std::uint32_t ipAddress,
                                       std::string_view moduleName);

// Appends one record: sync mark, 48-bit timestamp, frame length, frame bytes, status byte.
void AppendRecord(std::vector<std::uint8_t>& out, std::uint64_t timestamp,
                  std::span<const std::uint8_t> frame, std::uint8_t status);

// Writes one record to `out`, which has room for 9 + frame.size() bytes; returns its size. The
// timestamp keeps its low 48 bits, as the module's clock does.
std::size_t EncodeRecord(std::uint8_t* out, std::uint64_t timestamp,
                         std::span<const std::uint8_t> frame, std::uint8_t status);

// "<base>HHMM.FdcCapt".
std::string MinuteFileName(std::string_view base, unsigned hour, unsigned minute);

// Steps to the minute of the next file: after minute 59 the hour goes up, and after hour 23 (or
// any later hour, as a hand-made name may carry) the next hour is 00.
void NextMinute(unsigned& hour, unsigned& minute);

// Writes bytes to a file; false on failure.
bool WriteFile(const std::string& path, std::span<const std::uint8_t> bytes);

}  // namespace fdc::gen
