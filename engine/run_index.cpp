// The run index and its two builders, and random reading of its rows.
#include "engine/run_index.h"

#include <algorithm>

#include "capture/baud_rate_table.h"

namespace fdc {

RowKind RowKindOf(CaptureEvent::Kind kind) {
  switch (kind) {
    case CaptureEvent::Kind::kSyncLost:
      return RowKind::kSyncLost;
    case CaptureEvent::Kind::kRecordCut:
      return RowKind::kRecordCut;
    default:
      return RowKind::kFileCutShort;
  }
}

// --- RunIndex --------------------------------------------------------------------------------

std::uint64_t RunIndex::Rows() const {
  std::lock_guard lock(mutex_);
  return rows_;
}

std::uint64_t RunIndex::Records() const {
  std::lock_guard lock(mutex_);
  return records_;
}

bool RunIndex::Complete() const {
  std::lock_guard lock(mutex_);
  return complete_;
}

std::optional<std::string> RunIndex::Error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

std::optional<IndexEntry> RunIndex::EntryFor(std::uint64_t row) const {
  std::lock_guard lock(mutex_);
  if (entries_.empty() || row >= rows_) return std::nullopt;
  const auto after =
      std::upper_bound(entries_.begin(), entries_.end(), row,
                       [](std::uint64_t r, const IndexEntry& e) { return r < e.row; });
  if (after == entries_.begin()) return std::nullopt;
  return *(after - 1);
}

std::optional<IndexEntry> RunIndex::EntryForRecord(std::uint32_t refNumber) const {
  std::lock_guard lock(mutex_);
  if (entries_.empty() || refNumber == 0 || refNumber > records_) return std::nullopt;
  const auto after = std::upper_bound(entryRecords_.begin(), entryRecords_.end(), refNumber);
  if (after == entryRecords_.begin()) return std::nullopt;
  return entries_[static_cast<std::size_t>(after - entryRecords_.begin() - 1)];
}

std::optional<std::uint64_t> RunIndex::MarkedStretch(std::uint64_t row, bool forward,
                                                     std::uint16_t kinds,
                                                     std::uint32_t slotTimeBits) const {
  std::lock_guard lock(mutex_);
  if (entries_.empty()) return std::nullopt;
  const auto after =
      std::upper_bound(entries_.begin(), entries_.end(), row,
                       [](std::uint64_t r, const IndexEntry& e) { return r < e.row; });
  std::ptrdiff_t i = std::max<std::ptrdiff_t>(after - entries_.begin() - 1, 0);
  for (; i >= 0 && i < static_cast<std::ptrdiff_t>(entries_.size()); i += forward ? 1 : -1) {
    if (marks_[static_cast<std::size_t>(i)].MayHold(kinds, slotTimeBits)) {
      return entries_[static_cast<std::size_t>(i)].row;
    }
  }
  return std::nullopt;
}

std::vector<CaptureFileInfo> RunIndex::Files() const {
  std::lock_guard lock(mutex_);
  return files_;
}

std::optional<RunIndex::ReadOnPoint> RunIndex::SeedFrom(const RunIndex& done) {
  std::scoped_lock lock(mutex_, done.mutex_);
  ResetLocked();
  if (done.entries_.empty() || done.entries_.back().at.atStart) return std::nullopt;
  const std::size_t kept = done.entries_.size() - 1;
  entries_.assign(done.entries_.begin(), done.entries_.begin() + kept);
  entryRecords_.assign(done.entryRecords_.begin(), done.entryRecords_.begin() + kept);
  marks_.assign(done.marks_.begin(), done.marks_.begin() + kept);
  const IndexEntry& from = done.entries_.back();
  rows_ = from.row;
  records_ = std::uint64_t{kept} * kIndexStride;
  files_.assign(
      done.files_.begin(),
      done.files_.begin() + std::min<std::size_t>(done.files_.size(), from.at.read.file + 1u));
  return ReadOnPoint{from, files_};
}

void RunIndex::ResetLocked() {
  entries_.clear();
  entryRecords_.clear();
  marks_.clear();
  files_.clear();
  rows_ = 0;
  records_ = 0;
  complete_ = false;
  error_.reset();
}

// --- StretchFollower -------------------------------------------------------------------------

void StretchFollower::Begin(const RecordLoop& loop, const RunCheckpoint& from) {
  timing_.emplace(loop.Captures().Files(), !from.atStart,
                  static_cast<std::int64_t>(from.read.lastTimestamp), from.read.file);
  follower_ = MarkFollower{};
  current_ = StretchMarks{};
  previousCounted_ = false;
  counted_ = false;
}

void StretchFollower::Count(const RecordMarks& marks) {
  if (previousCounted_) current_.Add(marks);
}

void StretchFollower::Next(const RecordView& view, bool counted) {
  const TimeBase& time = view.Time();
  const MarkedRecord record = timing_->Next(view.Record(), view.Dissected(), time.GapTicks());
  RecordMarks previous;
  previousCounted_ = counted_;
  // With no limit on the slot time: the stretch keeps the longest pair's idle for the rest.
  if (follower_.Next(view.Before(), record, time.TicksPerBit(), StretchMarks::kNoSlotLimit,
                     previous)) {
    Count(previous);
  }
  counted_ = counted;
}

void StretchFollower::Finish(const RecordLoop& loop) {
  RecordMarks last;
  previousCounted_ = counted_;
  if (follower_.Finish(loop.Time().TicksPerBit(), StretchMarks::kNoSlotLimit, last)) Count(last);
  counted_ = false;
}

// --- RunIndexer ------------------------------------------------------------------------------

Result RunIndexer::Begin(const RecordLoop& loop) {
  loop_ = &loop;
  pendingEvents_ = 0;
  if (from_) {
    // The seeded index holds every entry before `from_`; its first record makes that entry again.
    before_ = from_->at;
    marks_.Begin(loop, from_->at);
    rows_ = from_->row;
    std::lock_guard lock(index_.mutex_);
    records_ = std::uint64_t{index_.entries_.size()} * kIndexStride;
    // The stretch before it is complete: its marks stay as they are when the new entry is made.
    if (!index_.marks_.empty()) marks_.ContinueStretch(index_.marks_.back());
    return Result::Ok();
  }
  before_ = RunCheckpoint{};
  rows_ = 0;
  records_ = 0;
  marks_.Begin(loop);
  std::lock_guard lock(index_.mutex_);
  index_.ResetLocked();
  return Result::Ok();
}

void RunIndexer::OnEvent(const CaptureEvent& event, const RecordLoop&) {
  if (event.kind != CaptureEvent::Kind::kFileOpened) ++pendingEvents_;
}

bool RunIndexer::OnRecord(const RecordView& view) {
  marks_.Next(view, true);
  if (records_ % kIndexStride == 0) {
    Publish();
    std::lock_guard lock(index_.mutex_);
    index_.entries_.push_back({rows_, before_});
    index_.entryRecords_.push_back(view.RefNumber());
    index_.marks_.emplace_back();
    marks_.StartStretch();
  }
  rows_ += pendingEvents_ + 1;
  pendingEvents_ = 0;
  ++records_;
  before_ = loop_->Checkpoint();
  return true;
}

void RunIndexer::Publish() {
  std::lock_guard lock(index_.mutex_);
  index_.rows_ = rows_;
  index_.records_ = records_;
  if (!index_.marks_.empty()) index_.marks_.back() = marks_.Current();
  if (loop_ != nullptr) index_.files_ = loop_->Captures().Files();
}

Result RunIndexer::End(RunEnd) {
  if (loop_ != nullptr) marks_.Finish(*loop_);
  // Events after the last record are rows too; without any record they have no entry to be read
  // from, so a run of events alone shows none.
  if (records_ > 0) rows_ += pendingEvents_;
  pendingEvents_ = 0;
  Publish();
  return Result::Ok();
}

void RunIndexer::Finish(const Result& result) {
  std::lock_guard lock(index_.mutex_);
  if (result.failed()) index_.error_ = result.ErrorText();
  index_.complete_ = true;
}

// --- MatchIndexer ----------------------------------------------------------------------------

Result MatchIndexer::Begin(const RecordLoop& loop) {
  loop_ = &loop;
  before_ = RunCheckpoint{};
  marks_.Begin(loop);
  std::lock_guard lock(index_.mutex_);
  index_.ResetLocked();
  return Result::Ok();
}

bool MatchIndexer::OnRecord(const RecordView& view) {
  ++records_;
  const bool shown = view.Shown();
  marks_.Next(view, shown);
  if (shown) {
    const bool entryDue = matches_ == 0 || matches_ - matchesAtEntry_ >= kIndexStride ||
                          records_ - recordsAtEntry_ >= kIndexStride;
    if (entryDue) {
      Publish();
      std::lock_guard lock(index_.mutex_);
      index_.entries_.push_back({matches_, before_});
      index_.entryRecords_.push_back(view.RefNumber());
      index_.marks_.emplace_back();
      marks_.StartStretch();
      matchesAtEntry_ = matches_;
      recordsAtEntry_ = records_;
    }
    ++matches_;
  }
  before_ = loop_->Checkpoint();
  return true;
}

void MatchIndexer::Publish() {
  std::lock_guard lock(index_.mutex_);
  index_.rows_ = matches_;
  index_.records_ = records_;
  if (!index_.marks_.empty()) index_.marks_.back() = marks_.Current();
  if (loop_ != nullptr) index_.files_ = loop_->Captures().Files();
}

Result MatchIndexer::End(RunEnd) {
  if (loop_ != nullptr) marks_.Finish(*loop_);
  Publish();
  return Result::Ok();
}

void MatchIndexer::Finish(const Result& result) {
  std::lock_guard lock(index_.mutex_);
  if (result.failed()) index_.error_ = result.ErrorText();
  index_.complete_ = true;
}

// --- RowReader -------------------------------------------------------------------------------

RowReader::RowReader(const DumpRequest& request, const RunIndex& index, const RecordFilter* filter)
    : request_(request), index_(index), filter_(filter) {}

namespace {

// The record a reader holds until the record after it is read: a row's marks need both.
class HeldRecord {
 public:
  void Hold(const RunCursor& cursor, const Telegram& telegram, const MarkedRecord& marked,
            bool shown) {
    present_ = true;
    shown_ = shown;
    record_ = cursor.Record();
    telegram_ = telegram;
    absNs_ = cursor.Time().AbsTimeNs();
    gapNs_ = cursor.Time().GapTimeNs();
    before_ = cursor.Before();
    marked_ = marked;
    marked_.telegram = &telegram_;
  }
  // The held record as a row with its marks by the record after it (none at the run's end);
  // false when nothing is held or the record is not shown (`filter`: the condition on marks).
  bool Release(const MarkedRecord& after, std::int64_t ticksPerBit, std::uint32_t slotTimeBits,
               const RecordFilter* filter, RowItem& item) {
    if (!present_) return false;
    present_ = false;
    if (!shown_) return false;
    const RecordMarks marks = MarksOf(before_, marked_, after, ticksPerBit, slotTimeBits);
    if (filter != nullptr && !filter->MatchesMarks([&marks] { return marks.kinds; })) return false;
    item = RowItem{};
    item.kind = RowKind::kRecord;
    item.record = &record_;
    item.telegram = &telegram_;
    item.absNs = absNs_;
    item.gapNs = gapNs_;
    item.faulty = !marked_.valid;
    item.marks = marks;
    return true;
  }

 private:
  bool present_ = false;
  bool shown_ = false;
  CaptureRecord record_;
  Telegram telegram_;
  std::int64_t absNs_ = 0;
  std::int64_t gapNs_ = 0;
  RecordBefore before_;
  MarkedRecord marked_;
};

}  // namespace

Result RowReader::Read(std::uint64_t first, std::uint64_t count,
                       const std::function<bool(const RowItem&)>& take) {
  const std::optional<IndexEntry> entry = index_.EntryFor(first);
  if (!entry || count == 0) return Result::Ok();
  const std::uint64_t end = std::min(first + count, index_.Rows());
  const std::vector<CaptureFileInfo> files = index_.Files();
  RunCursor cursor(request_);
  // The marks read what the record before tells, whatever the filter needs.
  cursor.TrackRecordBefore(true);
  Result resumed = cursor.Resume(entry->at, files);
  if (resumed.failed()) return resumed;

  // A record's marks need the record after it: each record is handed on when the next one has
  // been read (or the run has ended), before the events that came between the two.
  GapTiming timing(files, !entry->at.atStart,
                   static_cast<std::int64_t>(entry->at.read.lastTimestamp), entry->at.read.file);
  const std::uint32_t slot =
      slotTimeBits_ != 0 ? slotTimeBits_ : DefaultSlotTimeBits(timing.RunBaud());
  HeldRecord held;
  std::uint64_t row = entry->row;
  RowItem item;
  // Hands on one row if it is wanted; false once the last wanted row is past.
  auto offer = [&](RowItem& it) {
    it.row = row++;
    if (it.row < first) return true;
    if (it.row >= end) return false;
    return take(it) && row < end;
  };
  Telegram telegram;
  for (;;) {
    Result read = resumed.end() ? Result::End() : cursor.Next();
    resumed = Result::Ok();
    MarkedRecord next;
    if (read.ok()) {
      DissectTelegram(cursor.Record().Bytes(), cursor.Record().FrameLen, telegram);
      next = timing.Next(cursor.Record(), telegram, cursor.Time().GapTicks());
    }
    if (held.Release(next, cursor.Time().TicksPerBit(), slot, filter_, item) && !offer(item)) {
      return Result::Ok();
    }
    if (filter_ == nullptr) {
      for (const CaptureEvent& event : cursor.Events()) {
        if (event.kind == CaptureEvent::Kind::kFileOpened) continue;
        item = RowItem{};
        item.kind = RowKindOf(event.kind);
        item.event = &event;
        if (!offer(item)) return Result::Ok();
      }
    }
    cursor.ClearEvents();
    if (!read.ok()) return read.end() ? Result::Ok() : read;
    const CaptureRecord& record = cursor.Record();
    const bool shown =
        filter_ == nullptr || !filter_->Active() ||
        filter_->Matches(
            cursor.Captures().Fields(), record.Bytes(), record.RefNumber,
            [&telegram]() -> const Telegram& { return telegram; }, cursor.Time(), cursor.Before());
    held.Hold(cursor, telegram, next, shown);
  }
}

Result ReadRecordContext(const DumpRequest& request, const RunIndex& index, std::uint32_t ref,
                         RecordContext& out) {
  const std::optional<IndexEntry> entry = index.EntryForRecord(ref > 1 ? ref - 1 : ref);
  if (!entry || ref > index.Records()) return Result::End();
  RunCursor cursor(request);
  Result read = cursor.Resume(entry->at, index.Files());
  if (read.failed()) return read;
  out.before.reset();
  out.after.reset();
  bool found = false;
  bool broken = false;  // the reader lost something since the record before
  std::optional<RecordContext::Neighbour> last;
  for (;;) {
    read = read.end() ? Result::End() : cursor.Next();
    for (const CaptureEvent& event : cursor.Events()) {
      if (event.kind != CaptureEvent::Kind::kFileOpened) broken = true;
    }
    cursor.ClearEvents();
    if (!read.ok()) break;
    const CaptureRecord& record = cursor.Record();
    const TimeBase& time = cursor.Time();
    if (record.RefNumber == ref) {
      found = true;
      out.record = record;
      out.absNs = time.AbsTimeNs();
      out.gapNs = time.GapTimeNs();
      out.ticksPerBit = time.TicksPerBit();
      if (!broken && last) out.before = last;
      if (out.before) {
        out.before->gapTicks = time.GapTicks();
        out.before->gapNs = time.GapTimeNs();
      }
    } else if (found) {
      if (!broken) out.after = RecordContext::Neighbour{record, time.GapTicks(), time.GapTimeNs()};
      break;
    } else {
      last = RecordContext::Neighbour{record, 0, 0};
    }
    broken = false;
  }
  // What ends reading after the record (the run's end, a read error) leaves it without a record
  // after it.
  if (!found) return read.failed() ? read : Result::End();
  return Result::Ok();
}

}  // namespace fdc
