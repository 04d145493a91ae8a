// TextReader: reads an option file line by line as a text-mode read on Windows does, so that
// files written there read the same everywhere: a carriage return directly before a line feed is
// dropped.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

#include "common/char_class.h"

namespace fdc {

class TextReader {
 public:
  static constexpr int kEof = -1;

  TextReader() = default;
  ~TextReader();
  TextReader(const TextReader&) = delete;
  TextReader& operator=(const TextReader&) = delete;

  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }

  // The next character (0..255), or kEof at the end of the file or on a read error.
  int Get();
  // Reads like fgets into `line`: up to `maxChars` characters, stopping after a line feed.
  // False when the file has ended before any character could be read. The text stops at an
  // embedded NUL byte, as C string handling of the line would see it.
  bool ReadLine(std::string& line, std::size_t maxChars);

 private:
  int RawGet();

  std::FILE* file_ = nullptr;
  int pending_ = kEof - 1;  // a character read ahead, or nothing
};

}  // namespace fdc
