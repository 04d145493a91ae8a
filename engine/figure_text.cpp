// Texts of the health figures.
#include "engine/figure_text.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace fdc::text {

std::string Format(const char* format, ...) {
  char buffer[512];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0) return {};
  return std::string(buffer, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buffer - 1));
}

std::string Dec(std::uint64_t value) { return std::to_string(value); }
std::string Dec(std::int64_t value) { return std::to_string(value); }

std::string Counted(std::uint64_t n, std::string_view one, std::string_view many) {
  return Dec(n) + " " + std::string(n == 1 ? one : many);
}

std::uint64_t Magnitude(std::int64_t value) {
  return value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
}

std::string Fixed(std::int64_t value, std::uint64_t unit, std::size_t decimals) {
  const std::uint64_t magnitude = Magnitude(value);
  std::uint64_t step = unit;
  for (std::size_t i = 0; i < decimals; ++i) step /= 10;
  std::string text = (value < 0 ? "-" : "") + Dec(magnitude / unit);
  if (decimals > 0) {
    std::string fraction = Dec(magnitude % unit / std::max<std::uint64_t>(step, 1));
    fraction.insert(0, decimals - std::min(fraction.size(), decimals), '0');
    text += "." + fraction;
  }
  return text;
}

std::string ClockTime(std::int64_t ns) {
  const std::uint64_t v = Magnitude(ns);
  return Format("%s%02llu:%02llu:%02llu.%06llu", ns < 0 ? "-" : "",
                static_cast<unsigned long long>(v / 3'600'000'000'000),
                static_cast<unsigned long long>(v / 60'000'000'000 % 60),
                static_cast<unsigned long long>(v / 1'000'000'000 % 60),
                static_cast<unsigned long long>(v / 1'000 % 1'000'000));
}

std::string Right(std::string_view text, std::size_t width) {
  std::string out;
  if (text.size() < width) out.assign(width - text.size(), ' ');
  out += text;
  return out;
}

std::string Left(std::string_view text, std::size_t width) {
  std::string out(text);
  if (out.size() < width) out.append(width - out.size(), ' ');
  return out;
}

}  // namespace fdc::text
