// The health figures as people read them: counts with their noun, fixed-point quantities, the
// time of day on the module's clock, and text padded into columns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fdc::text {

// printf into a string (at most 511 characters).
std::string Format(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

std::string Dec(std::uint64_t value);
std::string Dec(std::int64_t value);

// "1 late response", "3 late responses".
std::string Counted(std::uint64_t n, std::string_view one, std::string_view many);

// The magnitude of a signed value, through unsigned so that the most negative one has one too.
std::uint64_t Magnitude(std::int64_t value);

// value / unit with `decimals` digits after the point, cut toward zero (ns as "12.345" ms).
std::string Fixed(std::int64_t value, std::uint64_t unit, std::size_t decimals);

// An absolute time as the time of day of the module's clock, as the dump shows it to the
// microsecond: "11:59:00.125171".
std::string ClockTime(std::int64_t ns);

// Padded with blanks on the left (Right) or the right (Left) to `width`.
std::string Right(std::string_view text, std::size_t width);
std::string Left(std::string_view text, std::size_t width);

}  // namespace fdc::text
