// RecordLoop: the one loop over the records of a capture run. It opens the run, keeps the time
// base, reports progress, applies the reference window, and hands every record with the
// reader's events to its consumers: the text dump, the statistics, the export, the desktop views.
// Each consumer takes what it needs: the window and the ShowOnly filter belong to the request,
// and the filter is evaluated only when a consumer asks whether a record is shown.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "capture/capture_file_set.h"
#include "capture/telegram.h"
#include "common/result.h"
#include "engine/dump_run.h"
#include "engine/record_filter.h"
#include "engine/record_marks.h"
#include "engine/run_control.h"
#include "engine/run_cursor.h"
#include "engine/time_base.h"
#include "options/show_only.h"

namespace fdc {

class RecordLoop;

// A second cursor that reads one record ahead of the loop's, for a filter on marks that need the
// record after the one judged. It costs a second reading of the run, only for such a filter.
class MarksAhead {
 public:
  explicit MarksAhead(const DumpRequest& request) : cursor_(request) {}
  // Opens the run; when that fails no record has a record after it.
  void Start();
  // The loop has read the record with reference number `ref`: reads on to the record after it.
  void Step(std::uint32_t ref);
  // The record `ref` and the one after it (telegram null at the run's end); false when the
  // cursor did not read the same record.
  bool Holds(std::uint32_t ref) const { return currentRef_ == ref; }
  const MarkedRecord& Current() const { return current_; }
  const MarkedRecord& After() const { return after_; }

 private:
  RunCursor cursor_;
  std::optional<GapTiming> timing_;
  Telegram currentTelegram_;
  Telegram afterTelegram_;
  MarkedRecord current_;
  MarkedRecord after_;
  std::uint32_t currentRef_ = 0;
  std::uint32_t afterRef_ = 0;
  bool ended_ = false;
};

// One record as the loop hands it on: its bytes and number, its times, and on demand its
// dissection and whether the request shows it.
class RecordView {
 public:
  const CaptureRecord& Record() const { return *record_; }
  std::uint32_t RefNumber() const { return record_->RefNumber; }
  ByteView Bytes() const { return record_->Bytes(); }
  // The record's times; a consumer that prints lines moves the delta base.
  TimeBase& Time() const { return *time_; }
  const Telegram& Dissected() const {
    if (!dissected_) {
      DissectTelegram(record_->Bytes(), record_->FrameLen, telegram_);
      dissected_ = true;
    }
    return telegram_;
  }
  // At or after the request's StartRef (the loop ends after EndRef).
  bool InWindow() const { return inWindow_; }
  // In the window and let through by the loop's filter (asked once, on the first question).
  bool Shown() const {
    if (shown_ < 0) {
      shown_ =
          inWindow_ &&
                  (!filter_->Active() ||
                   (filter_->Matches(
                        captures_->Fields(), record_->Bytes(), record_->RefNumber,
                        [this]() -> const Telegram& { return Dissected(); }, *time_, before_) &&
                    filter_->MatchesMarks([this] { return Marks().kinds; })))
              ? 1
              : 0;
    }
    return shown_ == 1;
  }
  // What the record before tells: tracked when the filter or a consumer needs it.
  const RecordBefore& Before() const { return before_; }
  // The record's marks for the loop's filter: complete when the filter judges marks that need
  // the records' timing, otherwise only a damaged frame.
  RecordMarks Marks() const;

 private:
  friend class RecordLoop;
  const CaptureRecord* record_ = nullptr;
  const CaptureFileSet* captures_ = nullptr;
  TimeBase* time_ = nullptr;
  const RecordFilter* filter_ = nullptr;
  const MarksAhead* ahead_ = nullptr;
  std::uint32_t slotTimeBits_ = 0;
  RecordBefore before_;
  bool inWindow_ = false;
  mutable bool dissected_ = false;
  mutable Telegram telegram_;
  mutable std::int8_t shown_ = -1;  // -1: not asked yet
};

// How a run ended.
enum class RunEnd : std::uint8_t {
  kEndOfData,      // every file read
  kLastReference,  // the record after EndRef was read
  kStopped,        // the caller asked to stop
  kFailed,         // the reader failed (its message is the run's result)
};

class RecordConsumer {
 public:
  virtual ~RecordConsumer() = default;
  // The run's first file is open and the time constants are set; no event has been handed on
  // yet. A failure (an output that can't be created) ends the run before any record.
  virtual Result Begin(const RecordLoop& loop) {
    (void)loop;
    return Result::Ok();
  }
  // What the reader reported, in order, each before the record that follows it.
  virtual void OnEvent(const CaptureEvent& event, const RecordLoop& loop) {
    (void)event;
    (void)loop;
  }
  // One record. False stops the run; End then says why, and the consumer's failure is the run's
  // result.
  virtual bool OnRecord(const RecordView& record) = 0;
  // The run has ended (for every consumer whose Begin succeeded). Returns the consumer's own
  // failure, such as an output that could not be written, or Ok.
  virtual Result End(RunEnd how) {
    (void)how;
    return Result::Ok();
  }
  // The consumer reads RecordView::Before().
  virtual bool NeedsRecordBefore() const { return false; }
};

// What a loop did, for summaries.
struct LoopTotals {
  std::uint32_t records = 0;
  std::uint32_t syncLosses = 0;
  std::uint32_t filesCutShort = 0;
};

class RecordLoop {
 public:
  // `filter` may be null: every record in the window is shown. Its arguments are the request's.
  RecordLoop(const DumpRequest& request, const ShowOnlyProgram* filter, const RunControl& control);
  // The records shown as the caller decides rather than an option file: the desktop's table shows
  // (and exports) what its filter bar lets through.
  RecordLoop(const DumpRequest& request, const RecordFilter& shown, const RunControl& control);
  RecordLoop(const RecordLoop&) = delete;
  RecordLoop& operator=(const RecordLoop&) = delete;

  // Runs the whole loop. Returns Ok for a run that ended normally or was stopped; otherwise the
  // reader's or a consumer's failure. How it ended is Ended().
  Result Run(std::span<RecordConsumer* const> consumers);
  // Makes Run read on right after the checkpoint's record (one not at the run's start) instead of
  // from the start; `opened` are the files the pass that took it had opened. A run that grew is
  // indexed on from there. (A filter that needs the record after still reads from the start.)
  void ResumeAt(const RunCheckpoint& at, std::vector<CaptureFileInfo> opened) {
    resume_ = Resumption{at, std::move(opened)};
  }

  const DumpRequest& Request() const { return request_; }
  const CaptureFileSet& Captures() const { return cursor_.Captures(); }
  const TimeBase& Time() const { return cursor_.Time(); }
  // The first file's baud code, which sets the run's time constants.
  std::uint16_t BaudCode() const { return cursor_.BaudCode(); }
  // Where reading stands after the record handed on last.
  RunCheckpoint Checkpoint() const { return cursor_.Checkpoint(); }
  const LoopTotals& Totals() const { return totals_; }
  RunEnd Ended() const { return ended_; }

 private:
  void DeliverEvents(std::span<RecordConsumer* const> consumers);
  void ReportProgress(std::uint64_t position);
  Result Finish(std::span<RecordConsumer* const> consumers, RunEnd how, Result result);

  const DumpRequest& request_;
  RecordFilter filter_;
  RunControl control_;
  RunCursor cursor_;
  std::optional<MarksAhead> ahead_;
  struct Resumption {
    RunCheckpoint at;
    std::vector<CaptureFileInfo> opened;
  };
  std::optional<Resumption> resume_;
  LoopTotals totals_;
  RunEnd ended_ = RunEnd::kEndOfData;
  std::uint32_t lastPercent_ = 100;
  // The progress is worked out again only from this position of the open file on: below it the
  // whole percentage cannot have changed (positions only grow within a file).
  std::uint64_t progressCheckAt_ = 0;
  std::size_t begun_ = 0;  // consumers whose Begin succeeded, from the first
};

}  // namespace fdc
