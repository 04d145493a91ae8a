// CaptureFileSet: opening the minute files in turn, reading records across file boundaries, and
// finding record boundaries again after damage.
#include "capture/capture_file_set.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace fdc {

namespace {

// The search for a record boundary is bounded so that damage costs little time. A record is at
// most 264 bytes long, so a mark is due within 280 bytes of any boundary: a search that reads
// that far without one is in no record stream. 280 attempts from successive false marks cover
// the same stretch of bytes again. A chain of 100 headers whose lengths lead from mark to mark
// happens by chance in random bytes with a probability of 256^-100: a boundary found so is real.
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

std::string RecordCutText(std::string_view file, std::uint32_t offset, std::uint32_t bytes) {
  return "The last record of the run is cut short: " + std::to_string(bytes) + " bytes at offset " +
         std::to_string(offset) + " of " + std::string(file);
}

std::string_view SyncFailureMessage(SyncFailure failure) {
  return failure == SyncFailure::kMarkNotFound ? "Capture File Sync Error: SYNC_MARK not found"
                                               : "Capture File Sync Error: Unable to Sync";
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

CaptureFileSet::CaptureFileSet() { events_.reserve(16); }

void CaptureFileSet::Start(const CaptureRunFiles& files) {
  file_.Close();
  run_ = files;
  hour_ = files.hour;
  minute_ = files.minute;
  filesLeft_ = files.count;
  currentName_.clear();
  files_.clear();
  lastGoodPos_ = kCaptureHeaderSize;
  firstByteFile_ = 0;
  recordsRead_ = 0;
  record_ = CaptureRecord{};
  fieldsValid_ = false;
  events_.clear();
}

Result CaptureFileSet::OpenNextCaptureFile() {
  file_.Close();
  if (filesLeft_ == 0) return Result::End();
  --filesLeft_;

  currentName_ = CaptureFileName(run_.base, hour_, minute_, run_.extension);
  if (!file_.Open(currentName_)) {
    CloseFiles();
    return Fail("Unable to Open Input File %s", currentName_.c_str());
  }
  std::uint8_t bytes[kCaptureHeaderSize];
  const std::size_t got = file_.Read(bytes, sizeof bytes);
  files_.push_back({currentName_, CaptureFileHeader::Parse(ByteView(bytes, got)), file_.Size()});
  CaptureEvent opened;
  opened.kind = CaptureEvent::Kind::kFileOpened;
  opened.file = OpenFileIndex();
  Push(opened);

  AdvanceMinute(hour_, minute_);
  // A loss of synchronisation before the first record of this file resynchronises from the
  // file's first record position, not from a position in the file before.
  lastGoodPos_ = kCaptureHeaderSize;
  return Result::Ok();
}

Result CaptureFileSet::ReadCaptureBytes(std::uint8_t* buffer, std::size_t n, RecordPart part) {
  if (!file_.IsOpen()) {
    Result opened = OpenNextCaptureFile();
    if (!opened.ok()) return opened;
  }
  firstByteFile_ = OpenFileIndex();
  firstByteOffset_ = file_.Tell();
  std::size_t got = file_.Read(buffer, n);
  // A read that reaches the end of a file goes on in the next one, for as many files as it takes
  // (a minute file may hold its header alone).
  while (got < n) {
    Result opened = OpenNextCaptureFile();
    if (opened.end()) {
      // The read began in the run's last file: a capture module that stopped in the middle of a
      // record leaves its start, which is dropped.
      NoteRecordCut(part, got);
      return opened;
    }
    if (!opened.ok()) return opened;
    if (got == 0) {
      firstByteFile_ = OpenFileIndex();
      firstByteOffset_ = file_.Tell();
    }
    got += file_.Read(buffer + got, n - got);
    if (got < n && filesLeft_ == 0) {
      // The run's last file cannot complete the read. Minute files that hold only their header
      // end the run as the end of a file would, and so does a record begun in the last file; the
      // rest of a record begun in an earlier file is missing.
      if (got == 0 ? part == RecordPart::kHeader : firstByteFile_ == OpenFileIndex()) {
        NoteRecordCut(part, got);
        return Result::End();
      }
      return Fail("Capture File Read Error: Data Under Run");
    }
  }
  return Result::Ok();
}

void CaptureFileSet::NoteRecordCut(RecordPart part, std::size_t got) {
  // A header read reports the bytes it got, from its first one; a frame read the whole record,
  // from its sync mark.
  const bool header = part == RecordPart::kHeader;
  const std::size_t bytes = header ? got : kRecordHeaderSize + got;
  if (bytes == 0) return;
  CaptureEvent cut;
  cut.kind = CaptureEvent::Kind::kRecordCut;
  cut.file = header ? firstByteFile_ : markFile_;
  cut.offset = static_cast<std::uint32_t>(header ? firstByteOffset_ : markOffset_);
  cut.length = static_cast<std::uint32_t>(bytes);
  Push(cut);
}

bool CaptureFileSet::LeaveFileAfterFailedSearch() {
  if (filesLeft_ == 0) return false;
  CaptureEvent cut;
  cut.kind = CaptureEvent::Kind::kFileCutShort;
  cut.file = OpenFileIndex();
  cut.failure = lastSyncFailure_;
  Push(cut);
  // Reading goes on with the next file as at the end of this one; none of its bytes carry over.
  file_.Close();
  return true;
}

Result CaptureFileSet::FindFirstSync() {
  Result synced = FindSync();
  if (synced.ok() || !LeaveFileAfterFailedSearch()) return synced;
  return Result::Ok();
}

Result CaptureFileSet::ReadRecord() {
  // The usual case: a whole, well-marked record in the read buffer of the open file.
  if (const std::uint8_t* head = file_.Peek(kRecordHeaderSize);
      head != nullptr && head[0] == SYNC_MARK) {
    const std::size_t size = RecordSize(head[7]);
    if (const std::uint8_t* record = file_.Peek(size); record != nullptr) {
      // Peek vouches for `size` bytes, the header's 8 among them.
      record_.Timestamp = ByteView(record, kRecordHeaderSize).U48Le(1);
      record_.FrameLen = record[7];
      CopyFrameFrom(record_.Frame, record + kRecordHeaderSize, size - kRecordHeaderSize,
                    file_.Buffered() - kRecordHeaderSize);
      const std::uint64_t markOffset = file_.Tell();
      file_.Skip(size);
      RecordRead(OpenFileIndex(), markOffset);
      return Result::Ok();
    }
  }

  std::uint8_t header[kRecordHeaderSize];
  Result read = ReadCaptureBytes(header, sizeof header, RecordPart::kHeader);
  if (!read.ok()) return read;

  while (header[0] != SYNC_MARK) {
    CaptureEvent lost;
    lost.kind = CaptureEvent::Kind::kSyncLost;
    lost.file = firstByteFile_;
    lost.lastRefNumber = recordsRead_;
    lost.offset = static_cast<std::uint32_t>(file_.Tell() - kRecordHeaderSize);
    lost.markFound = header[0];
    lost.previousFrameLen = record_.FrameLen;
    lost.previousTimestamp = record_.Timestamp;
    Push(lost);
    file_.Seek(lastGoodPos_);
    Result synced = FindSync();
    if (synced.ok()) {
      // FindSync left the file at a verified mark: no second check.
      read = ReadCaptureBytes(header, sizeof header, RecordPart::kHeader);
      if (!read.ok()) return read;
      break;
    }
    if (!LeaveFileAfterFailedSearch()) {
      CloseFiles();
      return synced;
    }
    // The next file's first header is read and checked as at the end of a file.
    read = ReadCaptureBytes(header, sizeof header, RecordPart::kHeader);
    if (!read.ok()) return read;
  }
  markFile_ = firstByteFile_;
  markOffset_ = firstByteOffset_;

  const ByteView bytes(header, sizeof header);
  record_.Timestamp = bytes.U48Le(1);
  record_.FrameLen = header[7];
  read = ReadCaptureBytes(record_.Frame, static_cast<std::size_t>(record_.FrameLen) + 1,
                          RecordPart::kBody);
  if (!read.ok()) return read;

  RecordRead(markFile_, markOffset_);
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
    if (!found) {
      lastSyncFailure_ = SyncFailure::kMarkNotFound;
      return Fail("%s", SyncFailureMessage(lastSyncFailure_).data());
    }
    const std::uint64_t mark = file_.Tell() - 1;
    if (chainHolds(mark)) {
      file_.Seek(mark);
      return Result::Ok();
    }
    start = mark + 1;
  }
  lastSyncFailure_ = SyncFailure::kUnableToSync;
  return Fail("%s", SyncFailureMessage(lastSyncFailure_).data());
}

void CaptureFileSet::CloseFiles() { file_.Close(); }

Result CaptureFileSet::Resume(const CaptureRunFiles& files, std::span<const CaptureFileInfo> opened,
                              const ReadCheckpoint& checkpoint) {
  Start(files);
  if (checkpoint.file >= opened.size() || checkpoint.file >= files.count) {
    return Fail("Unable to Open Input File %s",
                CaptureFileName(files.base, files.hour, files.minute, files.extension).c_str());
  }
  files_.assign(opened.begin(), opened.begin() + checkpoint.file + 1);
  for (std::uint32_t i = 0; i <= checkpoint.file; ++i) AdvanceMinute(hour_, minute_);
  filesLeft_ = files.count - checkpoint.file - 1;
  currentName_ = files_.back().name;
  if (!file_.Open(currentName_)) return Fail("Unable to Open Input File %s", currentName_.c_str());
  file_.Seek(checkpoint.position);
  lastGoodPos_ = checkpoint.position;
  recordsRead_ = checkpoint.recordsRead;
  record_.Timestamp = checkpoint.lastTimestamp;
  record_.FrameLen = checkpoint.lastFrameLen;
  record_.RefNumber = checkpoint.recordsRead;
  return Result::Ok();
}

}  // namespace fdc
