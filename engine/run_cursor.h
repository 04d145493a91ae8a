// RunCursor: reads a run record by record, keeping the time base, from its start or from a
// checkpoint an earlier pass took. The record loop drives one through a whole run; the desktop's
// record table opens one wherever the user scrolls to.
#pragma once

#include <cstdint>
#include <span>

#include "capture/capture_file_set.h"
#include "common/result.h"
#include "engine/dump_run.h"
#include "engine/record_filter.h"
#include "engine/time_base.h"

namespace fdc {

// A place in a run to read on from: its start, or the reader's state after a record, with what
// that record tells a filter about the record after it.
struct RunCheckpoint {
  bool atStart = true;
  ReadCheckpoint read;
  RecordBefore last;
};

class RunCursor {
 public:
  // The run's files are those of `request` (its window, filter and output play no part here).
  explicit RunCursor(const DumpRequest& request);

  // Opens the run's first file and sets the time constants from its header. End for a run of no
  // files. Then FindFirstSync positions it at the first record.
  Result OpenFirstFile();
  Result FindFirstSync() { return captures_.FindFirstSync(); }
  // Reads on from a checkpoint: OpenFirstFile and FindFirstSync for the run's start, otherwise
  // the reader and the time base as they stood after the checkpoint's record. `opened` are the
  // files that the pass which took the checkpoint had opened by then.
  Result Resume(const RunCheckpoint& checkpoint, std::span<const CaptureFileInfo> opened);

  // Keeps what a filter needs of the record before the current one (Before()), at the cost of a
  // dissection of every record read.
  void TrackRecordBefore(bool track) { trackBefore_ = track; }

  // Reads the next record and updates the time base; End at the end of the run. What the reader
  // reported on the way is in Events().
  Result Next() {
    Result read = captures_.ReadRecord();
    if (read.ok()) {
      time_.UpdateTimeBase(Record().Timestamp, Record().FrameLen);
      if (trackBefore_) {
        before_ = last_;
        last_ =
            RecordBeforeOf(DissectTelegram(Record().Bytes(), Record().FrameLen), Record().Bytes());
      }
    }
    return read;
  }
  // Of the record before the one read last, when tracked.
  RecordBefore Before() const { return before_; }

  const CaptureRecord& Record() const { return captures_.Record(); }
  std::span<const CaptureEvent> Events() const { return captures_.Events(); }
  void ClearEvents() { captures_.ClearEvents(); }
  const CaptureFileSet& Captures() const { return captures_; }
  TimeBase& Time() { return time_; }
  const TimeBase& Time() const { return time_; }
  std::uint16_t BaudCode() const { return baudCode_; }
  // Where reading stands after the record read last.
  RunCheckpoint Checkpoint() const { return {false, captures_.Checkpoint(), last_}; }
  void Close() { captures_.CloseFiles(); }

 private:
  const DumpRequest& request_;
  CaptureFileSet captures_;
  TimeBase time_;
  std::uint16_t baudCode_ = 0;
  bool trackBefore_ = false;
  RecordBefore before_;
  RecordBefore last_;
};

}  // namespace fdc
