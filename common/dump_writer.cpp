// DumpWriter: buffered text output of the dump.
#include "common/dump_writer.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <vector>

#include "common/platform_io.h"

namespace fdc {

DumpWriter::~DumpWriter() { Close(); }

bool DumpWriter::Open(const std::string& path) {
  Close();
  // Binary mode: line ends are written explicitly as kLineEnd.
  file_ = OpenFile(path, "wb");
  if (file_ == nullptr) return false;
  std::setvbuf(file_, nullptr, _IONBF, 0);  // the buffer is ours
  if (!buffer_) buffer_ = std::make_unique<char[]>(kBufferSize);
  length_ = 0;
  writeFailed_ = false;
  return true;
}

void DumpWriter::Attach(std::FILE* stream) {
  Close();
  file_ = stream;
  attached_ = true;
  if (!buffer_) buffer_ = std::make_unique<char[]>(kBufferSize);
  length_ = 0;
  writeFailed_ = false;
}

void DumpWriter::Close() {
  if (file_ == nullptr) return;
  Flush();
  if (attached_) {
    if (std::ferror(file_)) writeFailed_ = true;
  } else if (std::fclose(file_) != 0) {
    writeFailed_ = true;
  }
  file_ = nullptr;
  attached_ = false;
}

void DumpWriter::Flush() {
  if (length_ == 0) return;
  // Handed to the system in pieces of 64 KiB: much larger single writes are markedly slower on
  // some systems, and nothing is gained by them.
  constexpr std::size_t kPiece = std::size_t{64} * 1024;
  for (std::size_t done = 0; done < length_ && file_ != nullptr && !writeFailed_;) {
    const std::size_t n = std::min(kPiece, length_ - done);
    if (std::fwrite(buffer_.get() + done, 1, n, file_) != n) writeFailed_ = true;
    done += n;
  }
  if (file_ != nullptr && !writeFailed_ && std::fflush(file_) != 0) writeFailed_ = true;
  length_ = 0;
}

void DumpWriter::LongText(std::string_view text) {
  Flush();
  if (text.size() > kBufferSize) {
    if (file_ != nullptr && !writeFailed_ &&
        std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
      writeFailed_ = true;
    }
    return;
  }
  std::memcpy(buffer_.get(), text.data(), text.size());
  length_ = text.size();
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
  AppendHexPadded(*this, value, digits);
}

void DumpWriter::Decimal(std::uint64_t magnitude, bool negative, int width, char pad) {
  AppendDecimal(*this, magnitude, negative, width, pad);
}

void DumpWriter::DecLeft(std::uint64_t value, int width) {
  if (value < 1000 && width <= 3) {
    // Addresses: the three-digit table, blanks after.
    const int digits = value >= 100 ? 3 : value >= 10 ? 2 : 1;
    const int total = width > digits ? width : digits;
    char* at = Claim(static_cast<std::size_t>(total));
    const char* source = kThreeDigits.data() + std::size_t{3} * value + (3 - digits);
    for (int i = 0; i < digits; ++i) at[i] = source[i];
    for (int i = digits; i < total; ++i) at[i] = ' ';
    return;
  }
  Reserve(2 * kFieldReserve);  // no flush between here and the padding
  const std::size_t start = length_;
  Decimal(value, false, 0, ' ');
  const std::size_t written = length_ - start;
  if (written < static_cast<std::size_t>(width))
    Repeat(' ', static_cast<std::size_t>(width) - written);
}

void DumpWriter::SignedDec(std::int64_t value, int width) {
  std::uint64_t magnitude =
      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
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
