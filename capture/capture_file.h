// CaptureFile: one capture file opened read-only, read through a large buffer so that the record
// loop costs a memcpy per field rather than a library call per byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace fdc {

class CaptureFile {
 public:
  static constexpr std::size_t kBufferSize = std::size_t{256} * 1024;

  CaptureFile() = default;
  ~CaptureFile();
  CaptureFile(const CaptureFile&) = delete;
  CaptureFile& operator=(const CaptureFile&) = delete;

  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }

  // Size taken when the file was opened.
  std::uint64_t Size() const { return size_; }
  std::uint64_t Tell() const { return position_; }
  // Positions past the end are allowed; reads there find nothing.
  void Seek(std::uint64_t position);
  // Reads up to n bytes; returns how many arrived.
  std::size_t Read(std::uint8_t* destination, std::size_t n);
  // The next n bytes when the buffer holds them all, without moving the read position; null
  // otherwise.
  const std::uint8_t* Peek(std::size_t n) const {
    if (position_ < bufferStart_) return nullptr;
    const std::uint64_t offset = position_ - bufferStart_;
    return offset + n <= bufferLength_ ? buffer_.get() + offset : nullptr;
  }
  void Skip(std::size_t n) { position_ += n; }
  // How many bytes the buffer holds from the read position on.
  std::size_t Buffered() const {
    if (position_ < bufferStart_ || position_ - bufferStart_ >= bufferLength_) return 0;
    return bufferLength_ - static_cast<std::size_t>(position_ - bufferStart_);
  }
  // The next byte, or -1 at the end of the file.
  int ReadByte() {
    if (position_ >= bufferStart_ && position_ - bufferStart_ < bufferLength_) {
      return buffer_[static_cast<std::size_t>(position_++ - bufferStart_)];
    }
    std::uint8_t b;
    return Read(&b, 1) == 1 ? b : -1;
  }

 private:
  bool Fill();

  std::FILE* file_ = nullptr;
  std::unique_ptr<std::uint8_t[]> buffer_;
  std::uint64_t size_ = 0;
  std::uint64_t position_ = 0;     // logical position of the next read
  std::uint64_t bufferStart_ = 0;  // file offset of buffer_[0]
  std::size_t bufferLength_ = 0;   // valid bytes in buffer_
};

}  // namespace fdc
