// CaptureFileSet: opening the minute files in turn, reading records across file boundaries, and
// finding record boundaries again after damage.
#include "capture/capture_file_set.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace fdc {

namespace {

constexpr int kSyncAttempts = 280;
constexpr int kSyncScanBytes = 280;
constexpr int kChainHeaders = 100;

// Copies a frame and its status byte out of the read buffer. Where the buffer holds enough
// bytes behind the record, whole 32-byte blocks are copied (the extra bytes land in the unused
// part of the frame buffer): cheaper than a copy of odd length.
template <std::size_t N>
void CopyFrameFrom(std::uint8_t (&frame)[N], const std::uint8_t* source, std::size_t n,
                   std::size_t available) {
  constexpr std::size_t kBlock = 32;
  const std::size_t rounded = (n + kBlock - 1) / kBlock * kBlock;
  static_assert(N >= 256, "a frame of 255 bytes and its status byte round up to 256");
  if (rounded <= available) {
    for (std::size_t i = 0; i < rounded; i += kBlock) std::memcpy(frame + i, source + i, kBlock);
  } else {
    std::memcpy(frame, source, n);
  }
}

}  // namespace

std::string CaptureFileName(const std::string& base, std::uint32_t hour, std::uint32_t minute,
                            const std::string& extension) {
  char digits[24];
  std::snprintf(digits, sizeof digits, "%02u%02u", hour, minute);
  return base + digits + extension;
}

void AdvanceMinute(std::uint32_t& hour, std::uint32_t& minute) {
  if (minute < 59) {
    ++minute;
  } else {
    minute = 0;
    hour = hour < 23 ? hour + 1 : 0;
  }
}

CaptureFileHeader CaptureFileHeader::Parse(ByteView bytes) {
  CaptureFileHeader header;
  header.BaudCode = bytes.U16Le(2);
  header.IpAddress = bytes.U32Le(4);
  for (std::size_t i = 0; i < kModuleNameSize; ++i) {
    header.ModuleName[i] = static_cast<char>(bytes.U8(8 + i));
  }
  header.ModuleName[kModuleNameSize] = '\0';
  return header;
}

void CaptureFileSet::Start(std::string captureBase, std::string extension, std::uint32_t hour,
                           std::uint32_t minute, std::uint32_t filesLeft, DumpWriter* out,
                           HeaderBlockText headerText) {
  file_.Close();
  captureBase_ = std::move(captureBase);
  extension_ = std::move(extension);
  syncLosses_ = 0;
  hour_ = hour;
  minute_ = minute;
  filesLeft_ = filesLeft;
  out_ = out;
  headerText_ = std::move(headerText);
  currentName_.clear();
  header_ = CaptureFileHeader{};
  lastGoodPos_ = kCaptureHeaderSize;
  fields_ = FrameFields{};
  fieldsValid_ = true;
  lastFrame_ = kNoFrame;
  lastFrameLen_ = 0;
  LastPercent = 100;
}

Result CaptureFileSet::OpenNextCaptureFile() {
  file_.Close();
  if (filesLeft_ == 0) return Result::End();
  --filesLeft_;

  currentName_ = CaptureFileName(captureBase_, hour_, minute_, extension_);
  if (!file_.Open(currentName_)) {
    CloseFiles();
    return Fail("Unable to Open Input File %s", currentName_.c_str());
  }
  LastPercent = 100;

  std::uint8_t bytes[kCaptureHeaderSize];
  std::size_t got = file_.Read(bytes, sizeof bytes);
  header_ = CaptureFileHeader::Parse(ByteView(bytes, got));
  WriteHeaderBlock();

  AdvanceMinute(hour_, minute_);
  // A loss of synchronisation before the first record of this file resynchronises from the
  // file's first record position, not from a position in the file before.
  lastGoodPos_ = kCaptureHeaderSize;
  return Result::Ok();
}

void CaptureFileSet::WriteHeaderBlock() {
  if (out_ == nullptr) return;
  const std::uint32_t ip = header_.IpAddress;
  out_->Printf("File      : %s\n", currentName_.c_str());
  out_->Printf("TELO Name : %s\n", header_.ModuleName.data());
  out_->Printf("TELO IP   : %u.%u.%u.%u\n", (ip >> 24) & 0xFFu, (ip >> 16) & 0xFFu,
               (ip >> 8) & 0xFFu, ip & 0xFFu);
  out_->Printf("Baud      : %s\n", std::string(BaudRateName(header_.BaudCode)).c_str());
  out_->Printf("Opt File  : %s\n", headerText_.optionPath.c_str());
  if (!headerText_.showOnlyText.empty()) {
    out_->Printf("Show Only : %s\n", headerText_.showOnlyText.c_str());
  }
  out_->Printf("\n");
}

Result CaptureFileSet::ReadCaptureBytes(std::uint8_t* buffer, std::size_t n) {
  if (!file_.IsOpen()) {
    Result opened = OpenNextCaptureFile();
    if (!opened.ok()) return opened;
  }
  std::size_t got = file_.Read(buffer, n);
  if (got == n) return Result::Ok();

  Result opened = OpenNextCaptureFile();
  if (!opened.ok()) return opened;
  if (file_.Read(buffer + got, n - got) == n - got) return Result::Ok();
  return Fail("Capture File Read Error: Data Under Run");
}

Result CaptureFileSet::ReadRecord(std::uint64_t& timestamp,
                                  std::uint8_t (&frame)[kFrameBufferSize],
                                  std::uint8_t& frameLen, std::uint32_t refNumber) {
  // The usual case: a whole, well-marked record in the read buffer of the open file.
  if (const std::uint8_t* head = file_.Peek(kRecordHeaderSize);
      head != nullptr && head[0] == SYNC_MARK) {
    const std::size_t size = RecordSize(head[7]);
    if (const std::uint8_t* record = file_.Peek(size); record != nullptr) {
      // Peek vouches for `size` bytes, the header's 8 among them.
      timestamp = ByteView(record, kRecordHeaderSize).U48Le(1);
      frameLen = record[7];
      CopyFrameFrom(frame, record + kRecordHeaderSize, size - kRecordHeaderSize,
                    file_.Buffered() - kRecordHeaderSize);
      file_.Skip(size);
      lastGoodPos_ = file_.Tell();
      RecordRead(frame, frameLen);
      return Result::Ok();
    }
  }

  std::uint8_t header[kRecordHeaderSize];
  Result read = ReadCaptureBytes(header, sizeof header);
  if (!read.ok()) return read;

  if (header[0] != SYNC_MARK) {
    ++syncLosses_;
    if (out_ != nullptr) {
      const auto offset = static_cast<std::uint32_t>(file_.Tell() - kRecordHeaderSize);
      out_->Printf("**** Synchronization Lost ****\n");
      out_->Printf("%9u: Ofs=%x Mark=%02x\n", refNumber, offset, header[0]);
      out_->Printf("           PrvLen=%02x PrvTme=%08x %08x\n", frameLen,
                   static_cast<std::uint32_t>(timestamp),
                   static_cast<std::uint32_t>(timestamp >> 32));
    }
    file_.Seek(lastGoodPos_);
    Result synced = FindSync();
    if (!synced.ok()) {
      CloseFiles();
      return synced;
    }
    // FindSync left the file at a verified mark: no second check.
    read = ReadCaptureBytes(header, sizeof header);
    if (!read.ok()) return read;
  }

  const ByteView bytes(header, sizeof header);
  timestamp = bytes.U48Le(1);
  frameLen = header[7];
  read = ReadCaptureBytes(frame, static_cast<std::size_t>(frameLen) + 1);
  if (!read.ok()) return read;

  lastGoodPos_ = file_.Tell();
  RecordRead(frame, frameLen);
  return Result::Ok();
}

Result CaptureFileSet::FindSync() {
  std::uint64_t start = file_.Tell();
  const std::uint64_t size = file_.Size();

  // A candidate mark is trusted once the record lengths lead from it over 100 headers that all
  // begin with the mark, or to the end of the file.
  auto chainHolds = [&](std::uint64_t position) {
    for (int i = 0; i < kChainHeaders; ++i) {
      if (position >= size) return true;
      std::uint8_t header[kRecordHeaderSize];
      file_.Seek(position);
      std::size_t got = file_.Read(header, sizeof header);
      if (got == 0) return true;
      if (header[0] != SYNC_MARK) return false;
      if (got < sizeof header) return true;
      position += kRecordHeaderSize + header[7] + 1u;
    }
    return true;
  };

  for (int attempt = 0; attempt < kSyncAttempts; ++attempt) {
    file_.Seek(start);
    bool found = false;
    for (int i = 0; i < kSyncScanBytes; ++i) {
      if (file_.ReadByte() == SYNC_MARK) {
        found = true;
        break;
      }
    }
    if (!found) return Fail("Capture File Sync Error: SYNC_MARK not found");
    const std::uint64_t mark = file_.Tell() - 1;
    if (chainHolds(mark)) {
      file_.Seek(mark);
      return Result::Ok();
    }
    start = mark + 1;
  }
  return Fail("Capture File Sync Error: Unable to Sync");
}

void CaptureFileSet::CloseFiles() {
  if (out_ != nullptr) out_->Close();
  file_.Close();
}

}  // namespace fdc
