// CaptureFile: buffered, seekable, read-only capture file input.
#include "capture/capture_file.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/platform_io.h"

namespace fdc {

namespace {
bool SeekTo(std::FILE* file, std::uint64_t position) {
#if defined(_WIN32)
  return _fseeki64(file, static_cast<long long>(position), SEEK_SET) == 0;
#else
  return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
#endif
}
}  // namespace

CaptureFile::~CaptureFile() { Close(); }

bool CaptureFile::Open(const std::string& path) {
  Close();
  // Only a plain file: a pipe would block the open, and a device such as /dev/zero never ends.
  std::error_code error;
  const std::filesystem::path name = SystemPath(PathFromUtf8(path));
  if (!std::filesystem::is_regular_file(name, error)) return false;
  // Read-only: captures are often on read-only media or shares.
  file_ = OpenSystemFile(name, "rb");
  if (file_ == nullptr) return false;
  std::setvbuf(file_, nullptr, _IONBF, 0);
  if (!buffer_) buffer_ = std::make_unique<std::uint8_t[]>(kBufferSize);
  size_ = 0;
  if (std::fseek(file_, 0, SEEK_END) == 0) {
#if defined(_WIN32)
    long long end = _ftelli64(file_);
#else
    off_t end = ftello(file_);
#endif
    if (end > 0) size_ = static_cast<std::uint64_t>(end);
  }
  SeekTo(file_, 0);
  position_ = 0;
  bufferStart_ = 0;
  bufferLength_ = 0;
  return true;
}

void CaptureFile::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  size_ = position_ = bufferStart_ = 0;
  bufferLength_ = 0;
}

void CaptureFile::Seek(std::uint64_t position) { position_ = position; }

bool CaptureFile::Fill() {
  bufferStart_ = position_;
  bufferLength_ = 0;
  if (file_ == nullptr || position_ >= size_) return false;
  if (!SeekTo(file_, position_)) return false;
  bufferLength_ = std::fread(buffer_.get(), 1, kBufferSize, file_);
  return bufferLength_ > 0;
}

std::size_t CaptureFile::Read(std::uint8_t* destination, std::size_t n) {
  std::size_t done = 0;
  while (done < n) {
    if (position_ < bufferStart_ || position_ - bufferStart_ >= bufferLength_) {
      if (!Fill()) break;
    }
    std::size_t offset = static_cast<std::size_t>(position_ - bufferStart_);
    std::size_t take = std::min(n - done, bufferLength_ - offset);
    std::memcpy(destination + done, buffer_.get() + offset, take);
    done += take;
    position_ += take;
  }
  return done;
}

}  // namespace fdc
