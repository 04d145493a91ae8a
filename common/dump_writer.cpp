// DumpWriter: buffered text output of the dump.
#include "common/dump_writer.h"

#include <cstdarg>
#include <algorithm>
#include <cstring>
#include <vector>

namespace fdc {

DumpWriter::~DumpWriter() { Close(); }

bool DumpWriter::Open(const std::string& path) {
  Close();
  // Binary mode: line ends are written explicitly as kLineEnd.
  file_ = std::fopen(path.c_str(), "wb");
  if (file_ == nullptr) return false;
  if (!buffer_) buffer_ = std::make_unique<char[]>(kBufferSize);
  length_ = 0;
  writeFailed_ = false;
  return true;
}

void DumpWriter::Close() {
  if (file_ == nullptr) return;
  Flush();
  if (std::fclose(file_) != 0) writeFailed_ = true;
  file_ = nullptr;
}

void DumpWriter::Flush() {
  if (length_ == 0) return;
  if (file_ != nullptr && !writeFailed_) {
    if (std::fwrite(buffer_.get(), 1, length_, file_) != length_ || std::fflush(file_) != 0) {
      writeFailed_ = true;
    }
  }
  length_ = 0;
}

void DumpWriter::Text(std::string_view text) {
  if (text.size() > kBufferSize - length_) {
    Flush();
    if (text.size() > kBufferSize) {
      if (file_ != nullptr && !writeFailed_ &&
          std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
        writeFailed_ = true;
      }
      return;
    }
  }
  std::memcpy(buffer_.get() + length_, text.data(), text.size());
  length_ += text.size();
}

void DumpWriter::Repeat(char c, std::size_t count) {
  while (count > 0) {
    if (length_ == kBufferSize) Flush();
    std::size_t n = std::min(count, kBufferSize - length_);
    std::memset(buffer_.get() + length_, c, n);
    length_ += n;
    count -= n;
  }
}

void DumpWriter::HexPadded(std::uint32_t value, int digits) {
  char text[8];
  int n = 0;
  do {
    text[n++] = kHexDigits[value & 0x0F];
    value >>= 4;
  } while (value != 0);
  Reserve(kFieldReserve);
  for (int i = n; i < digits && i < 8; ++i) buffer_[length_++] = '0';
  while (n > 0) buffer_[length_++] = text[--n];
}

void DumpWriter::Decimal(std::uint64_t magnitude, bool negative, int width, char pad) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  char text[24];
  int pos = sizeof text;
  while (magnitude >= 100) {
    unsigned pair = static_cast<unsigned>(magnitude % 100) * 2;
    magnitude /= 100;
    text[--pos] = kPairs[pair + 1];
    text[--pos] = kPairs[pair];
  }
  if (magnitude >= 10) {
    unsigned pair = static_cast<unsigned>(magnitude) * 2;
    text[--pos] = kPairs[pair + 1];
    text[--pos] = kPairs[pair];
  } else {
    text[--pos] = static_cast<char>('0' + magnitude);
  }
  int digits = static_cast<int>(sizeof text) - pos;
  int used = digits + (negative ? 1 : 0);
  if (width > 0 && static_cast<std::size_t>(width) > kFieldReserve) width = kFieldReserve;
  Reserve(kFieldReserve);
  if (pad == '0') {
    if (negative) buffer_[length_++] = '-';
    for (int i = used; i < width; ++i) buffer_[length_++] = '0';
  } else {
    for (int i = used; i < width; ++i) buffer_[length_++] = ' ';
    if (negative) buffer_[length_++] = '-';
  }
  std::memcpy(buffer_.get() + length_, text + pos, static_cast<std::size_t>(digits));
  length_ += static_cast<std::size_t>(digits);
}

void DumpWriter::DecLeft(std::uint64_t value, int width) {
  Reserve(2 * kFieldReserve);
  std::size_t start = length_;
  Decimal(value, false, 0, ' ');
  std::size_t written = length_ - start;
  for (std::size_t i = written; i < static_cast<std::size_t>(width); ++i) buffer_[length_++] = ' ';
}

void DumpWriter::SignedDec(std::int64_t value, int width) {
  std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value)
                                      : static_cast<std::uint64_t>(value);
  Decimal(magnitude, value < 0, width, ' ');
}

void DumpWriter::Printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  char small[512];
  int needed = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  std::string_view text;
  std::vector<char> large;
  if (needed < 0) {
    text = {};
  } else if (static_cast<std::size_t>(needed) < sizeof small) {
    text = std::string_view(small, static_cast<std::size_t>(needed));
  } else {
    large.resize(static_cast<std::size_t>(needed) + 1);
    std::vsnprintf(large.data(), large.size(), format, copy);
    text = std::string_view(large.data(), static_cast<std::size_t>(needed));
  }
  va_end(copy);
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      Text(text.substr(start));
      break;
    }
    Text(text.substr(start, end - start));
    NewLine();
    start = end + 1;
  }
}

}  // namespace fdc
