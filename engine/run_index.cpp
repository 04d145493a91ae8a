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

std::optional<std::uint64_t> RunIndex::FaultyStretch(std::uint64_t row, bool forward) const {
  std::lock_guard lock(mutex_);
  if (entries_.empty()) return std::nullopt;
  const auto after =
      std::upper_bound(entries_.begin(), entries_.end(), row,
                       [](std::uint64_t r, const IndexEntry& e) { return r < e.row; });
  std::ptrdiff_t i = std::max<std::ptrdiff_t>(after - entries_.begin() - 1, 0);
  for (; i >= 0 && i < static_cast<std::ptrdiff_t>(entries_.size()); i += forward ? 1 : -1) {
    if (faulty_[static_cast<std::size_t>(i)]) return entries_[static_cast<std::size_t>(i)].row;
  }
  return std::nullopt;
}

std::vector<CaptureFileInfo> RunIndex::Files() const {
  std::lock_guard lock(mutex_);
  return files_;
}

void RunIndex::ResetLocked() {
  entries_.clear();
  entryRecords_.clear();
  faulty_.clear();
  files_.clear();
  rows_ = 0;
  records_ = 0;
  complete_ = false;
  error_.reset();
}

// --- RunIndexer ------------------------------------------------------------------------------

Result RunIndexer::Begin(const RecordLoop& loop) {
  loop_ = &loop;
  before_ = RunCheckpoint{};
  std::lock_guard lock(index_.mutex_);
  index_.ResetLocked();
  return Result::Ok();
}

void RunIndexer::OnEvent(const CaptureEvent& event, const RecordLoop&) {
  if (event.kind != CaptureEvent::Kind::kFileOpened) ++pendingEvents_;
}

bool RunIndexer::OnRecord(const RecordView& view) {
  const Telegram& t = view.Dissected();
  const bool faulty = IsFaulty(t, view.Bytes());
  if (records_ % kIndexStride == 0) {
    Publish();
    std::lock_guard lock(index_.mutex_);
    index_.entries_.push_back({rows_, before_});
    index_.entryRecords_.push_back(view.RefNumber());
    index_.faulty_.push_back(false);
    faulty_ = false;
  }
  if (faulty) faulty_ = true;
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
  if (!index_.faulty_.empty() && faulty_) index_.faulty_.back() = true;
  if (loop_ != nullptr) index_.files_ = loop_->Captures().Files();
}

Result RunIndexer::End(RunEnd) {
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
  std::lock_guard lock(index_.mutex_);
  index_.ResetLocked();
  return Result::Ok();
}

bool MatchIndexer::OnRecord(const RecordView& view) {
  ++records_;
  if (view.Shown()) {
    const Telegram& t = view.Dissected();
    const bool entryDue = matches_ == 0 || matches_ - matchesAtEntry_ >= kIndexStride ||
                          records_ - recordsAtEntry_ >= kIndexStride;
    if (entryDue) {
      Publish();
      std::lock_guard lock(index_.mutex_);
      index_.entries_.push_back({matches_, before_});
      index_.entryRecords_.push_back(view.RefNumber());
      index_.faulty_.push_back(false);
      faulty_ = false;
      matchesAtEntry_ = matches_;
      recordsAtEntry_ = records_;
    }
    if (IsFaulty(t, view.Bytes())) faulty_ = true;
    ++matches_;
  }
  before_ = loop_->Checkpoint();
  return true;
}

void MatchIndexer::Publish() {
  std::lock_guard lock(index_.mutex_);
  index_.rows_ = matches_;
  index_.records_ = records_;
  if (!index_.faulty_.empty() && faulty_) index_.faulty_.back() = true;
  if (loop_ != nullptr) index_.files_ = loop_->Captures().Files();
}

Result MatchIndexer::End(RunEnd) {
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
  const std::uint16_t runBaud = files.empty() ? 0 : files.front().header.BaudCode;
  const auto timedFile = [&files, runBaud](std::uint16_t file) {
    return file < files.size() && files[file].header.BaudCode == runBaud;
  };
  const std::uint32_t slot = slotTimeBits_ != 0 ? slotTimeBits_ : DefaultSlotTimeBits(runBaud);
  struct Held {
    bool present = false;
    bool shown = false;
    CaptureRecord record;
    Telegram telegram;
    std::int64_t absNs = 0;
    std::int64_t gapNs = 0;
    RecordBefore before;
    MarkedRecord marked;
  } held;
  bool previous = !entry->at.atStart;  // a record before the next one read
  std::int64_t previousTicks = static_cast<std::int64_t>(entry->at.read.lastTimestamp);
  std::uint16_t previousFile = entry->at.read.file;

  std::uint64_t row = entry->row;
  RowItem item;
  // Hands on one row if it is wanted; false once the last wanted row is past.
  auto offer = [&](RowItem& it) {
    it.row = row++;
    if (it.row < first) return true;
    if (it.row >= end) return false;
    return take(it) && row < end;
  };
  // The held record, now that the record after it is known (none at the run's end).
  auto handOn = [&](const MarkedRecord& after) {
    if (!held.present) return true;
    held.present = false;
    if (!held.shown) return true;
    held.marked.telegram = &held.telegram;
    item = RowItem{};
    item.kind = RowKind::kRecord;
    item.record = &held.record;
    item.telegram = &held.telegram;
    item.absNs = held.absNs;
    item.gapNs = held.gapNs;
    item.faulty = !held.marked.valid;
    item.marks = MarksOf(held.before, held.marked, after, cursor.Time().TicksPerBit(), slot);
    return offer(item);
  };
  Telegram telegram;
  for (;;) {
    Result read = resumed.end() ? Result::End() : cursor.Next();
    resumed = Result::Ok();
    MarkedRecord next;
    if (read.ok()) {
      const CaptureRecord& record = cursor.Record();
      DissectTelegram(record.Bytes(), record.FrameLen, telegram);
      const auto ticks = static_cast<std::int64_t>(record.Timestamp);
      next.telegram = &telegram;
      next.valid = !IsFaulty(telegram, record.Bytes());
      next.gapTimed =
          previous && timedFile(record.File) && timedFile(previousFile) && ticks >= previousTicks;
      next.gapTicks = cursor.Time().GapTicks();
      previous = true;
      previousTicks = ticks;
      previousFile = record.File;
    }
    if (!handOn(next)) return Result::Ok();
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
    held.present = true;
    held.shown =
        filter_ == nullptr || !filter_->Active() ||
        filter_->Matches(
            cursor.Captures().Fields(), record.Bytes(), record.RefNumber,
            [&telegram]() -> const Telegram& { return telegram; }, cursor.Time(), cursor.Before());
    held.record = record;
    held.telegram = telegram;
    held.absNs = cursor.Time().AbsTimeNs();
    held.gapNs = cursor.Time().GapTimeNs();
    held.before = cursor.Before();
    held.marked = next;
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
