// Capture file writing for tests, samples and benchmarks.
#include "tools/capture_writer.h"

#include <algorithm>
#include <cstdio>

namespace fdc::gen {

std::vector<std::uint8_t> EncodeHeader(std::uint16_t baudCode, std::uint32_t ipAddress,
                                       std::string_view moduleName) {
  std::vector<std::uint8_t> header(kFileHeaderSize, 0);
  header[2] = static_cast<std::uint8_t>(baudCode);
  header[3] = static_cast<std::uint8_t>(baudCode >> 8);
  for (int i = 0; i < 4; ++i) header[4 + i] = static_cast<std::uint8_t>(ipAddress >> (8 * i));
  for (std::size_t i = 0; i < moduleName.size() && i < 32; ++i) {
    header[8 + i] = static_cast<std::uint8_t>(moduleName[i]);
  }
  return header;
}

void AppendRecord(std::vector<std::uint8_t>& out, std::uint64_t timestamp,
                  std::span<const std::uint8_t> frame, std::uint8_t status) {
  std::size_t start = out.size();
  out.resize(start + kRecordHeaderSize + frame.size() + 1);
  EncodeRecord(out.data() + start, timestamp, frame, status);
}

std::size_t EncodeRecord(std::uint8_t* out, std::uint64_t timestamp,
                         std::span<const std::uint8_t> frame, std::uint8_t status) {
  out[0] = kSyncMark;
  for (int i = 0; i < 6; ++i) out[1 + i] = static_cast<std::uint8_t>(timestamp >> (8 * i));
  out[7] = static_cast<std::uint8_t>(frame.size());
  std::copy(frame.begin(), frame.end(), out + kRecordHeaderSize);
  out[kRecordHeaderSize + frame.size()] = status;
  return kRecordHeaderSize + frame.size() + 1;
}

std::string MinuteFileName(std::string_view base, unsigned hour, unsigned minute) {
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, "%02u%02u.FdcCapt", hour, minute);
  return std::string(base) + suffix;
}

void NextMinute(unsigned& hour, unsigned& minute) {
  if (minute < 59) {
    ++minute;
    return;
  }
  minute = 0;
  hour = hour < 23 ? hour + 1 : 0;
}

bool WriteFile(const std::string& path, std::span<const std::uint8_t> bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return std::fclose(file) == 0 && ok;
}

}  // namespace fdc::gen
