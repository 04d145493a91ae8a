// DumpWriter: the one buffered output stream of a dump, with small appenders for the fields of a
// line. Nothing here allocates per call; the buffer is taken once when the file is opened.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "common/text_appenders.h"

namespace fdc {

// The dump is a text file: each line end is the platform's own, as a text-mode write gives it.
#if defined(_WIN32)
inline constexpr std::string_view kLineEnd = "\r\n";
#else
inline constexpr std::string_view kLineEnd = "\n";
#endif

class DumpWriter {
 public:
  static constexpr std::size_t kBufferSize = std::size_t{1} << 20;
  // Room that every small appender may take without checking on its own.
  static constexpr std::size_t kFieldReserve = kMaxFieldChars;

  DumpWriter() = default;
  ~DumpWriter();
  DumpWriter(const DumpWriter&) = delete;
  DumpWriter& operator=(const DumpWriter&) = delete;

  // Creates or empties the file. False when it can't be opened.
  bool Open(const std::string& path);
  // Writes to `stream` from now on, which stays the caller's: Close flushes it but leaves it open.
  void Attach(std::FILE* stream);
  // Writes out the buffer and closes the file (flushes an attached stream); safe to call when
  // nothing is open.
  void Close();
  bool IsOpen() const { return file_ != nullptr; }
  // True once any write to the file has failed (disk full, device error).
  bool WriteFailed() const { return writeFailed_; }

  void Char(char c) {
    Reserve(1);
    buffer_[length_++] = c;
  }
  void Text(std::string_view text) {
    if (text.size() <= kBufferSize - length_) {
      std::memcpy(buffer_.get() + length_, text.data(), text.size());
      length_ += text.size();
    } else {
      LongText(text);
    }
  }
  // Room for n more characters (n at most kBufferSize), counted as written: the caller fills
  // them in at once.
  char* Claim(std::size_t n) {
    Reserve(n);
    char* at = buffer_.get() + length_;
    length_ += n;
    return at;
  }
  void Repeat(char c, std::size_t count);
  void NewLine() { Text(kLineEnd); }

  // Two lower-case hexadecimal digits.
  void Hex2(std::uint8_t value) { AppendHex2(*this, value); }
  // Lower-case hexadecimal, zero-padded to at least `digits` places ("%0Nx").
  void HexPadded(std::uint32_t value, int digits);
  // Unsigned decimal right-aligned in `width` places, blank-padded ("%Nu").
  void Dec(std::uint64_t value, int width = 0) {
    if (value < 1000 && width <= 3)
      return AppendSmallDecimal(*this, static_cast<unsigned>(value), width, ' ');
    Decimal(value, false, width, ' ');
  }
  // Unsigned decimal zero-padded to `width` places ("%0Nu").
  void DecZero(std::uint64_t value, int width) {
    if (value < 1000 && width <= 3)
      return AppendSmallDecimal(*this, static_cast<unsigned>(value), width, '0');
    Decimal(value, false, width, '0');
  }
  // Unsigned decimal left-aligned in `width` places ("%-Nu").
  void DecLeft(std::uint64_t value, int width);
  // Signed decimal right-aligned in `width` places ("%Nd").
  void SignedDec(std::int64_t value, int width = 0);
  // printf-style text for header blocks and diagnostics; each "\n" becomes the line end.
  void Printf(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;

 private:
  void Reserve(std::size_t n) {
    if (kBufferSize - length_ < n) Flush();
  }
  void Flush();
  void LongText(std::string_view text);
  void Decimal(std::uint64_t magnitude, bool negative, int width, char pad);

  std::FILE* file_ = nullptr;
  bool attached_ = false;  // file_ is the caller's stream
  std::unique_ptr<char[]> buffer_;
  std::size_t length_ = 0;
  bool writeFailed_ = false;
};

}  // namespace fdc
