// TextReader: text-mode reading of option files.
#include "common/text_reader.h"

#include <filesystem>
#include <system_error>

#include "common/platform_io.h"

namespace fdc {

namespace {
constexpr int kNothing = TextReader::kEof - 1;
}

TextReader::~TextReader() { Close(); }

bool TextReader::Open(const std::string& path) {
  Close();
  // Only a plain file: a pipe would block the open, and a device such as /dev/zero never ends.
  std::error_code error;
  const std::filesystem::path name = SystemPath(PathFromUtf8(path));
  if (!std::filesystem::is_regular_file(name, error)) return false;
  file_ = OpenSystemFile(name, "rb");
  pending_ = kNothing;
  return file_ != nullptr;
}

void TextReader::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  pending_ = kNothing;
}

int TextReader::RawGet() {
  if (pending_ != kNothing) {
    int c = pending_;
    pending_ = kNothing;
    return c;
  }
  if (file_ == nullptr) return kEof;
  int c = std::getc(file_);
  return c == EOF ? kEof : c;
}

int TextReader::Get() {
  int c = RawGet();
  if (c != '\r') return c;
  int next = RawGet();
  if (next == '\n') return '\n';
  pending_ = next;
  return c;
}

bool TextReader::ReadLine(std::string& line, std::size_t maxChars) {
  line.clear();
  std::size_t count = 0;
  bool cut = false;
  while (count < maxChars) {
    int c = Get();
    if (c == kEof) break;
    ++count;
    if (c == 0) cut = true;
    if (!cut) line.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return count > 0;
}

}  // namespace fdc
