// Capture and output file names, start time, and the number readers of the dump dialog.
#include "engine/dump_request_rules.h"

#include <algorithm>

#include "common/text_reader.h"

namespace fdc {

namespace {

constexpr std::string_view kExtension = ".FdcCapt";
constexpr std::size_t kTimeAndExtension = 12;  // "HHMM.FdcCapt"

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::uint32_t TwoDigits(std::string_view text, std::size_t pos) {
  return static_cast<std::uint32_t>((text[pos] - '0') * 10 + (text[pos + 1] - '0'));
}

// Digits in the given base from text[pos] on, keeping the low 32 bits; count of digits taken.
std::uint32_t ReadDigits(std::string_view text, std::size_t& pos, unsigned base,
                         std::size_t& taken) {
  std::uint32_t value = 0;
  taken = 0;
  while (pos < text.size()) {
    const char c = Lower(text[pos]);
    unsigned digit;
    if (IsDigit(c)) {
      digit = static_cast<unsigned>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else {
      break;
    }
    if (digit >= base) break;
    value = value * base + digit;
    ++pos;
    ++taken;
  }
  return value;
}

// Leading white space, an optional sign, then digits; nullopt when no digit follows.
std::optional<std::uint32_t> ReadSigned(std::string_view text, unsigned base) {
  std::size_t pos = 0;
  while (pos < text.size() && IsCSpace(static_cast<unsigned char>(text[pos]))) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  std::size_t taken = 0;
  const std::uint32_t value = ReadDigits(text, pos, base, taken);
  if (taken == 0) return std::nullopt;
  return negative ? 0u - value : value;
}

}  // namespace

bool IsValidCaptureName(std::string_view fileName) {
  if (fileName.size() < kTimeAndExtension) return false;
  const std::string_view extension = fileName.substr(fileName.size() - kExtension.size());
  for (std::size_t i = 0; i < kExtension.size(); ++i) {
    if (Lower(extension[i]) != Lower(kExtension[i])) return false;
  }
  for (std::size_t i = fileName.size() - kTimeAndExtension; i < fileName.size() - 8; ++i) {
    if (!IsDigit(fileName[i])) return false;
  }
  return true;
}

std::string CaptureBaseOf(std::string_view fileName) {
  return std::string(fileName.substr(0, fileName.size() - kTimeAndExtension));
}

std::uint32_t CaptureStartHour(std::string_view fileName) {
  return TwoDigits(fileName, fileName.size() - 12);
}

std::uint32_t CaptureStartMinute(std::string_view fileName) {
  return TwoDigits(fileName, fileName.size() - 10);
}

std::string OptionBaseName(std::string_view optionFile) {
  const std::size_t dot = optionFile.rfind('.');
  if (dot == std::string_view::npos) return {};  // no '.' anywhere: an empty base name
  const std::size_t separator = optionFile.find_last_of("\\/", dot);
  const std::size_t start = separator == std::string_view::npos ? 0 : separator + 1;
  return std::string(optionFile.substr(start, dot - start));
}

std::string OutputPathFor(std::string_view fileName, std::string_view optionFile) {
  return std::string(fileName.substr(0, fileName.size() - kExtension.size())) + "_" +
         OptionBaseName(optionFile) + ".txt";
}

std::optional<std::uint32_t> ScanUnsigned(std::string_view text) {
  return ReadSigned(text.substr(0, std::min<std::size_t>(text.size(), 63)), 10);
}

std::int32_t ParseArgValue(std::string_view text) {
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    return static_cast<std::int32_t>(ReadSigned(text.substr(2), 16).value_or(0));
  }
  return static_cast<std::int32_t>(ReadSigned(text, 10).value_or(0));
}

}  // namespace fdc
