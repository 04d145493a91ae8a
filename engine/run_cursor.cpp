// RunCursor: the start of a run, a resumed run, and the step to the next record.
#include "engine/run_cursor.h"

namespace fdc {

RunCursor::RunCursor(const DumpRequest& request) : request_(request) {}

Result RunCursor::OpenFirstFile() {
  time_.StartRun();
  before_ = last_ = RecordBefore{};
  captures_.Start(request_.Run);
  Result opened = captures_.OpenNextCaptureFile();
  if (opened.ok()) {
    baudCode_ = captures_.Files().front().header.BaudCode;
    time_.SetTimeConstants(baudCode_);
  }
  return opened;
}

Result RunCursor::Resume(const RunCheckpoint& checkpoint, std::span<const CaptureFileInfo> opened) {
  if (checkpoint.atStart) {
    Result first = OpenFirstFile();
    if (!first.ok()) return first;
    return FindFirstSync();
  }
  time_.StartRun();
  if (!opened.empty()) {
    baudCode_ = opened.front().header.BaudCode;
    time_.SetTimeConstants(baudCode_);
  }
  Result resumed = captures_.Resume(request_.Run, opened, checkpoint.read);
  if (!resumed.ok()) return resumed;
  time_.Resume(checkpoint.read.lastTimestamp, checkpoint.read.lastFrameLen);
  before_ = RecordBefore{};
  last_ = checkpoint.last;
  return Result::Ok();
}

}  // namespace fdc
