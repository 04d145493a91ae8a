// CaptureFileSet: a run of per-minute capture files read as one stream of records, with the
// header block each file adds to the dump and the resynchronisation after damage.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "capture/baud_rate_table.h"
#include "capture/capture_file.h"
#include "capture/capture_format.h"
#include "capture/frame_fields.h"
#include "common/dump_writer.h"
#include "common/result.h"

namespace fdc {




// "<base>HHMM.FdcCapt", the name of the minute file of hour:minute.
std::string CaptureFileName(const std::string& base, std::uint32_t hour, std::uint32_t minute,
                            const std::string& extension = ".FdcCapt");
// Moves hour:minute to the next minute file: after minute 59 the hour goes up, and after hour 23
// (or any hour above it) comes hour 00.
void AdvanceMinute(std::uint32_t& hour, std::uint32_t& minute);

class CaptureFileSet {
 public:
  // What each header block prints besides the file's own header.
  struct HeaderBlockText {
    std::string optionPath;
    std::string showOnlyText;  // no "Show Only" line when empty
  };

  // Sets up a run. `out` is the open dump; the set writes header blocks and sync diagnostics
  // to it, and CloseFiles closes it.
  void Start(std::string captureBase, std::string extension, std::uint32_t hour,
             std::uint32_t minute, std::uint32_t filesLeft, DumpWriter* out,
             HeaderBlockText headerText);

  // Closes the open file and opens the next one of the set, writing its header block.
  Result OpenNextCaptureFile();
  // Reads n bytes of the stream, passing into the next file at most once.
  Result ReadCaptureBytes(std::uint8_t* buffer, std::size_t n);
  // Reads one record. On entry timestamp and frameLen hold the previous record's values (shown if
  // synchronisation is lost); on success the new ones. `frame` receives frameLen frame bytes and
  // the status byte. `refNumber` is the number of the last record read, for the diagnostics.
  Result ReadRecord(std::uint64_t& timestamp, std::uint8_t (&frame)[kFrameBufferSize],
                    std::uint8_t& frameLen, std::uint32_t refNumber);
  // Positions the open file at a verified record boundary at or after the current position.
  Result FindSync();
  // Closes the dump, then the capture file.
  void CloseFiles();

  const std::string& CurrentName() const { return currentName_; }
  std::uint64_t CurrentSize() const { return file_.Size(); }
  // Position in the open capture file.
  std::uint64_t Position() const { return file_.Tell(); }
  std::uint64_t LastGoodPos() const { return lastGoodPos_; }
  const CaptureFileHeader& Header() const { return header_; }
  // The field positions of the record read last. Found on first use: most dumps never ask.
  const FrameFields& Fields() const {
    if (!fieldsValid_) {
      fields_ = DecodeFrameFields(lastFrame_, lastFrameLen_);
      fieldsValid_ = true;
    }
    return fields_;
  }
  std::uint32_t Hour() const { return hour_; }
  std::uint32_t Minute() const { return minute_; }
  std::uint32_t FilesLeft() const { return filesLeft_; }
  std::uint32_t SyncLosses() const { return syncLosses_; }
  // Set to 100 whenever a file is opened, so the next record prints a progress line.
  std::uint32_t LastPercent = 100;

 private:
  void WriteHeaderBlock();
  void RecordRead(const std::uint8_t* frame, std::uint8_t frameLen) {
    lastFrame_ = frame;
    lastFrameLen_ = frameLen;
    fieldsValid_ = false;
  }

  std::string captureBase_;
  std::string extension_;
  std::uint32_t syncLosses_ = 0;
  std::uint32_t hour_ = 0;
  std::uint32_t minute_ = 0;
  std::uint32_t filesLeft_ = 0;
  CaptureFile file_;
  std::string currentName_;
  CaptureFileHeader header_;
  std::uint64_t lastGoodPos_ = kCaptureHeaderSize;
  // The record read last (caller's buffer) and the fields found in it.
  const std::uint8_t* lastFrame_ = kNoFrame;
  std::uint8_t lastFrameLen_ = 0;
  mutable FrameFields fields_;
  mutable bool fieldsValid_ = true;
  static constexpr std::uint8_t kNoFrame[1] = {0};
  DumpWriter* out_ = nullptr;
  HeaderBlockText headerText_;
};

}  // namespace fdc
