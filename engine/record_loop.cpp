// The record loop: run set-up, the loop over the records, progress, the reference window.
#include "engine/record_loop.h"

#include <algorithm>

#include "capture/baud_rate_table.h"

namespace fdc {

void MarksAhead::Start() {
  ended_ = cursor_.OpenFirstFile().failed() || !cursor_.FindFirstSync().ok();
  cursor_.ClearEvents();
  timing_.emplace(cursor_.Captures().Files(), false, 0, 0);
}

void MarksAhead::Step(std::uint32_t ref) {
  while (!ended_ && afterRef_ <= ref) {
    currentTelegram_ = afterTelegram_;
    current_ = after_;
    current_.telegram = current_.telegram != nullptr ? &currentTelegram_ : nullptr;
    currentRef_ = afterRef_;
    const Result read = cursor_.Next();
    cursor_.ClearEvents();
    if (!read.ok()) {
      ended_ = true;
      after_ = MarkedRecord{};
      break;
    }
    const CaptureRecord& record = cursor_.Record();
    DissectTelegram(record.Bytes(), record.FrameLen, afterTelegram_);
    after_ = timing_->Next(record, afterTelegram_, cursor_.Time().GapTicks());
    afterRef_ = record.RefNumber;
  }
}

RecordMarks RecordView::Marks() const {
  if (ahead_ != nullptr && ahead_->Holds(record_->RefNumber)) {
    return MarksOf(before_, ahead_->Current(), ahead_->After(), time_->TicksPerBit(),
                   slotTimeBits_);
  }
  MarkedRecord self;
  self.telegram = &Dissected();
  self.valid = !IsFaulty(*self.telegram, record_->Bytes());
  return MarksOf(before_, self, MarkedRecord{}, 0, slotTimeBits_);
}

RecordLoop::RecordLoop(const DumpRequest& request, const ShowOnlyProgram* filter,
                       const RunControl& control)
    : RecordLoop(request, ShownByOptionFile(filter, request), control) {}

RecordLoop::RecordLoop(const DumpRequest& request, const RecordFilter& shown,
                       const RunControl& control)
    : request_(request), filter_(shown), control_(control), cursor_(request) {}

Result RecordLoop::Run(std::span<RecordConsumer* const> consumers) {
  totals_ = LoopTotals{};
  begun_ = 0;
  // The first file is opened before any consumer creates its output, so that a run that cannot
  // start leaves no output behind.
  Result opened = resume_ ? cursor_.Resume(resume_->at, resume_->opened) : cursor_.OpenFirstFile();
  if (opened.failed()) {
    ended_ = RunEnd::kFailed;
    return opened;
  }
  const bool consumersNeedBefore = std::any_of(
      consumers.begin(), consumers.end(), [](RecordConsumer* c) { return c->NeedsRecordBefore(); });
  cursor_.TrackRecordBefore(filter_.NeedsRecordBefore() || consumersNeedBefore);
  for (RecordConsumer* consumer : consumers) {
    Result begun = consumer->Begin(*this);
    if (!begun.ok()) {
      cursor_.Close();
      return Finish(consumers, RunEnd::kFailed, std::move(begun));
    }
    ++begun_;
  }
  DeliverEvents(consumers);
  if (opened.end()) return Finish(consumers, RunEnd::kEndOfData, Result::Ok());  // no files

  Result synced = resume_ ? Result::Ok() : cursor_.FindFirstSync();
  if (!cursor_.Events().empty()) DeliverEvents(consumers);
  if (!synced.ok()) {
    cursor_.Close();
    return Finish(consumers, RunEnd::kFailed, std::move(synced));
  }

  RecordView view;
  view.record_ = &cursor_.Record();
  view.captures_ = &cursor_.Captures();
  view.time_ = &cursor_.Time();
  view.filter_ = &filter_;
  view.slotTimeBits_ =
      filter_.slotTimeBits != 0 ? filter_.slotTimeBits : DefaultSlotTimeBits(cursor_.BaudCode());
  if (filter_.NeedsRecordAfter()) {
    ahead_.emplace(request_);
    ahead_->Start();
    view.ahead_ = &*ahead_;
  }
  for (;;) {
    if (control_.StopRequested()) {
      cursor_.Close();
      return Finish(consumers, RunEnd::kStopped, Result::Ok());
    }
    Result read = cursor_.Next();
    if (!cursor_.Events().empty()) DeliverEvents(consumers);
    if (read.end()) return Finish(consumers, RunEnd::kEndOfData, Result::Ok());
    if (!read.ok()) {
      cursor_.Close();
      return Finish(consumers, RunEnd::kFailed, std::move(read));
    }
    const CaptureRecord& record = cursor_.Record();
    totals_.records = record.RefNumber;
    ReportProgress(record.EndPosition);
    if (record.RefNumber > request_.EndRef && record.RefNumber >= request_.StartRef) {
      cursor_.Close();
      return Finish(consumers, RunEnd::kLastReference, Result::Ok());
    }

    if (ahead_) ahead_->Step(record.RefNumber);
    view.inWindow_ = record.RefNumber >= request_.StartRef;
    view.before_ = cursor_.Before();
    view.dissected_ = false;
    view.shown_ = -1;
    for (RecordConsumer* consumer : consumers) {
      if (!consumer->OnRecord(view)) {
        cursor_.Close();
        return Finish(consumers, RunEnd::kFailed, Result::Ok());
      }
    }
  }
}

void RecordLoop::DeliverEvents(std::span<RecordConsumer* const> consumers) {
  for (const CaptureEvent& event : cursor_.Events()) {
    switch (event.kind) {
      case CaptureEvent::Kind::kFileOpened:
        // The first record of each file prints a progress line.
        lastPercent_ = 100;
        progressCheckAt_ = 0;
        break;
      case CaptureEvent::Kind::kSyncLost:
        ++totals_.syncLosses;
        break;
      case CaptureEvent::Kind::kFileCutShort:
        ++totals_.filesCutShort;
        break;
      case CaptureEvent::Kind::kRecordCut:
        break;
    }
    for (std::size_t i = 0; i < begun_; ++i) consumers[i]->OnEvent(event, *this);
  }
  cursor_.ClearEvents();
}

void RecordLoop::ReportProgress(std::uint64_t position) {
  if (position < progressCheckAt_) return;
  const std::uint64_t size = cursor_.Captures().CurrentSize();
  // Positions and sizes are far below 2^57, so the products cannot overflow.
  const auto percent = static_cast<std::uint32_t>(size == 0 ? 100 : position * 100 / size);
  // The first position whose percentage is one more.
  progressCheckAt_ = size == 0 ? ~std::uint64_t{0} : ((percent + 1) * size + 99) / 100;
  if (percent == lastPercent_) return;
  lastPercent_ = percent;
  if (control_.progress == nullptr) return;
  RunProgress progress;
  progress.fileName = cursor_.Captures().CurrentName();
  progress.filePercent = percent;
  progress.fileCount = request_.Run.count;
  progress.fileNumber = static_cast<std::uint32_t>(cursor_.Captures().Files().size());
  progress.records = totals_.records;
  control_.progress->OnProgress(progress);
}

Result RecordLoop::Finish(std::span<RecordConsumer* const> consumers, RunEnd how, Result result) {
  ended_ = how;
  for (std::size_t i = 0; i < begun_; ++i) {
    Result own = consumers[i]->End(how);
    // The first failure wins: a reader error before a consumer's own.
    if (result.ok() && !own.ok()) result = std::move(own);
  }
  return result;
}

}  // namespace fdc
