// Checks for generated captures, written apart from the writer so that they don't share its
// mistakes: a telegram's length fields, check byte and end delimiter, and a strict walk over
// the records of a capture file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

namespace fdc::gen::check {

// Why the frame is not a well-formed telegram; empty when it is.
inline std::string FrameProblem(std::span<const std::uint8_t> f) {
  if (f.empty()) return "empty";
  auto sum = [&](std::size_t from, std::size_t to) {
    unsigned s = 0;
    for (std::size_t i = from; i < to; ++i) s += f[i];
    return static_cast<std::uint8_t>(s);
  };
  auto body = [&](std::size_t da, std::size_t fcs) -> std::string {
    if (f[fcs] != sum(da, fcs)) return "FCS";
    if (f[fcs + 1] != 0x16) return "ED";
    std::size_t saps = (f[da] >> 7) + (f[da + 1] >> 7);
    if (fcs - (da + 3) < saps) return "SAPs beyond the data unit";
    return "";
  };
  switch (f[0]) {
    case 0x10:
      if (f.size() != 6) return "SD1 length";
      if ((f[1] | f[2]) & 0x80) return "SD1 with extension bit";
      return body(1, 4);
    case 0x68:
      if (f.size() < 9) return "SD2 length";
      if (f[1] != f.size() - 6) return "LE";
      if (f[2] != f[1]) return "LEr";
      if (f[3] != 0x68) return "second SD";
      return body(4, f.size() - 2);
    case 0xA2:
      if (f.size() != 14) return "SD3 length";
      return body(1, 12);
    case 0xDC:
      return f.size() == 3 ? "" : "SD4 length";
    case 0xE5:
      return f.size() == 1 ? "" : "SC length";
    default:
      return "unknown start delimiter";
  }
}

struct Record {
  std::size_t offset;
  std::uint64_t timestamp;
  std::vector<std::uint8_t> frame;
  std::uint8_t status;
};

// Records from `offset` on, for as long as each starts with the sync mark and fits the bytes;
// `end` receives where the walk stopped.
inline std::vector<Record> Walk(const std::vector<std::uint8_t>& bytes, std::size_t offset,
                                std::size_t* end = nullptr) {
  std::vector<Record> records;
  while (offset + 9 <= bytes.size() && bytes[offset] == 0xDD) {
    std::size_t len = bytes[offset + 7];
    if (offset + 9 + len > bytes.size()) break;
    std::uint64_t t = 0;
    for (int i = 6; i >= 1; --i) t = (t << 8) | bytes[offset + i];
    auto first = bytes.begin() + static_cast<std::ptrdiff_t>(offset + 8);
    records.push_back(
        {offset, t, {first, first + static_cast<std::ptrdiff_t>(len)}, bytes[offset + 8 + len]});
    offset += 9 + len;
  }
  if (end != nullptr) *end = offset;
  return records;
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace fdc::gen::check
