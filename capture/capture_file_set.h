// CaptureFileSet: a run of per-minute capture files read as one stream of records, with the
// resynchronisation after damage. The reader knows nothing of what is made of the records: what
// happened since the last record (a file opened, synchronisation lost, a file left after a failed
// search) is reported as events, and the record read last is kept here.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "capture/baud_rate_table.h"
#include "capture/capture_file.h"
#include "capture/capture_format.h"
#include "capture/frame_fields.h"
#include "common/result.h"

namespace fdc {

// "<base>HHMM<extension>", the name of the minute file of hour:minute.
std::string CaptureFileName(const std::string& base, std::uint32_t hour, std::uint32_t minute,
                            const std::string& extension = ".FdcCapt");
// Moves hour:minute to the next minute file: after minute 59 the hour goes up, and after hour 23
// (or any hour above it) comes hour 00.
void AdvanceMinute(std::uint32_t& hour, std::uint32_t& minute);

// Which minute files make the run.
struct CaptureRunFiles {
  std::string base;  // directory and name part
  std::string extension = ".FdcCapt";
  std::uint32_t hour = 0;
  std::uint32_t minute = 0;
  std::uint32_t count = 1;
  // The name of the run's first minute file.
  std::string FirstName() const { return CaptureFileName(base, hour, minute, extension); }
  friend bool operator==(const CaptureRunFiles&, const CaptureRunFiles&) = default;
};

// One record of the stream: the frame bytes followed by the status byte, where it came from, and
// its number in the run.
struct CaptureRecord {
  std::uint64_t Timestamp = 0;  // 48-bit tick count
  std::uint8_t FrameLen = 0;
  std::uint8_t Frame[kFrameBufferSize] = {};  // FrameLen frame bytes, then the status byte
  std::uint32_t RefNumber = 0;                // 1 for the first record of the run
  std::uint32_t File = 0;         // the run's file in which the record's sync mark was read
  std::uint64_t MarkOffset = 0;   // where the sync mark stands in that file
  std::uint32_t EndFile = 0;      // the run's file in which the record ends (the open file)
  std::uint64_t EndPosition = 0;  // position in the open file just past the record

  ByteView Bytes() const { return ByteView(Frame, static_cast<std::size_t>(FrameLen) + 1); }
  std::uint8_t Status() const { return Frame[FrameLen]; }
};

// A capture file of the run, as it was opened.
struct CaptureFileInfo {
  std::string name;
  CaptureFileHeader header;
  std::uint64_t size = 0;
};

// Where reading stood right after a record: enough to read on from there later, in another pass
// over the same run, exactly as the first pass went on.
struct ReadCheckpoint {
  std::uint64_t lastTimestamp = 0;  // the record read last
  std::uint32_t position = 0;       // just past it in file `file` (capture files are below 2 GB)
  std::uint32_t recordsRead = 0;    // its RefNumber
  std::uint16_t file = 0;
  std::uint8_t lastFrameLen = 0;
};

// Why a synchronisation search failed.
enum class SyncFailure : std::uint8_t { kMarkNotFound, kUnableToSync };
std::string_view SyncFailureMessage(SyncFailure failure);

// "The last record of the run is cut short: N bytes at offset X of FILE".
std::string RecordCutText(std::string_view file, std::uint32_t offset, std::uint32_t bytes);

struct CaptureEvent {
  enum class Kind : std::uint8_t {
    kFileOpened,    // a file of the run was opened; its header is in Files()[file]
    kSyncLost,      // a record header without its mark; the bytes up to a verified mark are skipped
    kFileCutShort,  // the search for a mark failed in a file that is not the run's last one:
                    // the rest of that file is left and reading goes on with the next file
    kRecordCut,     // the run ended normally with bytes after its last whole record: the start
                    // of a record that the run's last file does not complete (it is dropped)
  };
  Kind kind = Kind::kFileOpened;
  std::uint32_t file = 0;  // the file concerned (for a sync loss: where the bad mark was read)
  // kSyncLost: the record read last, the offset of the bad header in the open file and the byte
  // found in place of the mark. kRecordCut: the offset of the cut record's first byte in `file`
  // (the file header included) and how many of its bytes the run holds.
  std::uint32_t lastRefNumber = 0;
  std::uint32_t offset = 0;
  std::uint32_t length = 0;
  std::uint8_t markFound = 0;
  std::uint8_t previousFrameLen = 0;
  std::uint64_t previousTimestamp = 0;
  // kFileCutShort
  SyncFailure failure = SyncFailure::kMarkNotFound;
};

class CaptureFileSet {
 public:
  CaptureFileSet();

  // Sets up a run; nothing is opened yet.
  void Start(const CaptureRunFiles& files);

  // Closes the open file and opens the next one of the set. End when the set is exhausted.
  Result OpenNextCaptureFile();
  // Which of a record's two reads: its 8-byte header, or its frame and status byte.
  enum class RecordPart : std::uint8_t { kHeader, kBody };
  // Reads n bytes of the stream, going on in the next files where one ends. When the run's last
  // file cannot complete the read, the run ends normally (End) if the read began in that file
  // (its first byte is there), or if it is a header read that got no byte at all; otherwise it
  // fails with "Data Under Run". A record cut short at the normal end is reported as kRecordCut.
  Result ReadCaptureBytes(std::uint8_t* buffer, std::size_t n, RecordPart part);
  // Reads the next record into Record(). End when the data is exhausted.
  Result ReadRecord();
  // Positions the open file at a verified record boundary at or after the current position.
  Result FindSync();
  // The search at the start of the run. When it fails in a file that is not the run's last, the
  // file is left (a kFileCutShort event) and the next ReadRecord goes on in the next file.
  Result FindFirstSync();
  // Closes the open capture file.
  void CloseFiles();

  // Where reading stands after the record read last.
  ReadCheckpoint Checkpoint() const {
    return {record_.Timestamp, static_cast<std::uint32_t>(record_.EndPosition), record_.RefNumber,
            static_cast<std::uint16_t>(record_.EndFile), record_.FrameLen};
  }
  // Sets up the run to read on from a checkpoint that an earlier pass took; `opened` are the
  // files that pass had opened up to and including the checkpoint's file.
  Result Resume(const CaptureRunFiles& files, std::span<const CaptureFileInfo> opened,
                const ReadCheckpoint& checkpoint);

  const CaptureRecord& Record() const { return record_; }
  // The field positions of the record read last. Found on first use: most runs never ask.
  const FrameFields& Fields() const {
    if (!fieldsValid_) {
      fields_ = DecodeFrameFields(record_.Frame, record_.FrameLen);
      fieldsValid_ = true;
    }
    return fields_;
  }

  // What happened since the events were last taken, in order.
  std::span<const CaptureEvent> Events() const { return events_; }
  void ClearEvents() { events_.clear(); }

  // The files opened so far, in order; the open file is the last.
  const std::vector<CaptureFileInfo>& Files() const { return files_; }
  const std::string& CurrentName() const { return currentName_; }
  std::uint64_t CurrentSize() const { return file_.Size(); }
  // Position in the open capture file.
  std::uint64_t Position() const { return file_.Tell(); }
  std::uint32_t FilesLeft() const { return filesLeft_; }

 private:
  void Push(const CaptureEvent& event) { events_.push_back(event); }
  // After a failed search: leaves the open file when another one follows (true), so that reading
  // goes on there; false in the run's last file, where the failure ends the run.
  bool LeaveFileAfterFailedSearch();
  // The run ends normally after `got` bytes of a record's header or frame read: reports the
  // record cut short, unless none of it was read.
  void NoteRecordCut(RecordPart part, std::size_t got);
  std::uint32_t OpenFileIndex() const {
    return files_.empty() ? 0 : static_cast<std::uint32_t>(files_.size() - 1);
  }
  void RecordRead(std::uint32_t file, std::uint64_t markOffset) {
    record_.RefNumber = ++recordsRead_;
    record_.File = file;
    record_.MarkOffset = markOffset;
    record_.EndFile = OpenFileIndex();
    record_.EndPosition = file_.Tell();
    lastGoodPos_ = record_.EndPosition;
    fieldsValid_ = false;
  }

  CaptureRunFiles run_;
  std::uint32_t hour_ = 0;
  std::uint32_t minute_ = 0;
  std::uint32_t filesLeft_ = 0;
  CaptureFile file_;
  std::string currentName_;
  std::vector<CaptureFileInfo> files_;
  std::uint64_t lastGoodPos_ = kCaptureHeaderSize;
  // Where the first byte of the last ReadCaptureBytes was read: its file and offset there.
  std::uint32_t firstByteFile_ = 0;
  std::uint64_t firstByteOffset_ = 0;
  // Where the sync mark of the record being read stands.
  std::uint32_t markFile_ = 0;
  std::uint64_t markOffset_ = 0;
  std::uint32_t recordsRead_ = 0;
  SyncFailure lastSyncFailure_ = SyncFailure::kMarkNotFound;
  CaptureRecord record_;
  mutable FrameFields fields_;
  mutable bool fieldsValid_ = true;
  std::vector<CaptureEvent> events_;
};

}  // namespace fdc
