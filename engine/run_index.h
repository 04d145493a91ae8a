// The index of a run for the desktop's record table: one entry for every 4096 rows, from which
// a cursor reads on to any row at once, built in one pass in the background while the table
// already shows the rows indexed so far; and the same for the records a filter lets through.
// Memory stays bounded: 32 bytes an entry, whatever the length of the run.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/record_loop.h"
#include "engine/record_marks.h"
#include "engine/run_cursor.h"

namespace fdc {

inline constexpr std::uint32_t kIndexStride = 4096;

// What a table row shows: a record, or an event of the reader (only in the unfiltered table).
enum class RowKind : std::uint8_t { kRecord, kSyncLost, kFileCutShort, kRecordCut };
// The row of a reader's event (other than a file opened).
RowKind RowKindOf(CaptureEvent::Kind kind);

struct IndexEntry {
  std::uint64_t row = 0;  // reading on from `at` yields this row first
  RunCheckpoint at;
};

// Grows during its pass, read from other threads meanwhile.
class RunIndex {
 public:
  std::uint64_t Rows() const;
  std::uint64_t Records() const;  // records read so far (all of them when Complete)
  bool Complete() const;
  std::optional<std::string> Error() const;  // the reader's message that ended the pass
  // The entry from which row `row` is read: the last one at or before it.
  std::optional<IndexEntry> EntryFor(std::uint64_t row) const;
  // The entry from which the record with this reference number is read.
  std::optional<IndexEntry> EntryForRecord(std::uint32_t refNumber) const;
  // The first row at or after `row` (or at or before, backwards) whose stretch of kIndexStride
  // rows may hold a record with one of the marks `kinds` at that slot time; nothing when none
  // can.
  std::optional<std::uint64_t> MarkedStretch(std::uint64_t row, bool forward, std::uint16_t kinds,
                                             std::uint32_t slotTimeBits) const;
  std::vector<CaptureFileInfo> Files() const;

  // Starts this (empty) index as the index of `done`, a pass over the same run before its files
  // grew, up to its last entry, from which a RunIndexer reads on. Returns that entry with the
  // files the pass had opened; nothing when `done` has no entry to read on from (read the run
  // again instead).
  struct ReadOnPoint {
    IndexEntry entry;
    std::vector<CaptureFileInfo> opened;
  };
  std::optional<ReadOnPoint> SeedFrom(const RunIndex& done);

 private:
  friend class RunIndexer;
  friend class MatchIndexer;
  // Empties the index for a new pass; the caller holds the lock.
  void ResetLocked();

  mutable std::mutex mutex_;
  std::vector<IndexEntry> entries_;
  std::vector<std::uint32_t> entryRecords_;  // RefNumber of the first record read from each
  std::vector<StretchMarks> marks_;          // per entry
  std::vector<CaptureFileInfo> files_;
  std::uint64_t rows_ = 0;
  std::uint64_t records_ = 0;
  bool complete_ = false;
  std::optional<std::string> error_;
};

// The marks of an indexer's stretches as it reads on: each record's marks, complete once the
// record after it is read, go to the stretch the record was counted in.
class StretchFollower {
 public:
  // `from`: reading starts right after that checkpoint's record rather than at the run's start.
  void Begin(const RecordLoop& loop, const RunCheckpoint& from = RunCheckpoint{});
  // Takes the next record; `counted`: it belongs to the stretch being built. Call before the
  // record starts a new stretch: the record before it belongs to the old one.
  void Next(const RecordView& view, bool counted);
  void Finish(const RecordLoop& loop);
  // The stretch being built so far, and a new one.
  const StretchMarks& Current() const { return current_; }
  void StartStretch() { current_ = StretchMarks{}; }
  void ContinueStretch(const StretchMarks& marks) { current_ = marks; }

 private:
  void Count(const RecordMarks& marks);
  std::optional<GapTiming> timing_;
  MarkFollower follower_;
  StretchMarks current_;
  bool previousCounted_ = false;
  bool counted_ = false;
};

// Builds the index of every row: the records, and each loss of synchronisation and each file left
// after a failed search as a row of its own before the record that follows it.
class RunIndexer final : public RecordConsumer {
 public:
  explicit RunIndexer(RunIndex& index) : index_(index) {}
  // Reads on in an index seeded by RunIndex::SeedFrom, in a loop resumed at `from`'s checkpoint.
  RunIndexer(RunIndex& index, const IndexEntry& from) : index_(index), from_(from) {}
  Result Begin(const RecordLoop& loop) override;
  void OnEvent(const CaptureEvent& event, const RecordLoop& loop) override;
  bool OnRecord(const RecordView& record) override;
  Result End(RunEnd how) override;
  // The pass's result, to be set once the loop has returned.
  void Finish(const Result& result);

 private:
  void Publish();

  RunIndex& index_;
  std::optional<IndexEntry> from_;
  const RecordLoop* loop_ = nullptr;
  RunCheckpoint before_;  // after the record before the current one
  std::uint64_t rows_ = 0;
  std::uint64_t records_ = 0;
  std::uint32_t pendingEvents_ = 0;  // event rows waiting for the next record
  StretchFollower marks_;
};

// Builds the index of the records the loop's filter shows: an entry every 4096 matches, and at
// the next match whenever 4096 records have passed since the last entry, so that reading from an
// entry to any of its matches takes at most some thousand records.
class MatchIndexer final : public RecordConsumer {
 public:
  explicit MatchIndexer(RunIndex& index) : index_(index) {}
  Result Begin(const RecordLoop& loop) override;
  bool OnRecord(const RecordView& record) override;
  Result End(RunEnd how) override;
  void Finish(const Result& result);

 private:
  void Publish();

  RunIndex& index_;
  const RecordLoop* loop_ = nullptr;
  RunCheckpoint before_;
  std::uint64_t matches_ = 0;
  std::uint64_t records_ = 0;
  std::uint64_t recordsAtEntry_ = 0;
  std::uint64_t matchesAtEntry_ = 0;
  StretchFollower marks_;
};

// One row as the table shows it.
struct RowItem {
  std::uint64_t row = 0;
  RowKind kind = RowKind::kRecord;
  const CaptureRecord* record = nullptr;  // kRecord
  const Telegram* telegram = nullptr;     // kRecord
  const CaptureEvent* event = nullptr;    // the events
  std::int64_t absNs = 0;                 // kRecord: the record's times
  std::int64_t gapNs = 0;
  bool faulty = false;
  RecordMarks marks;  // kRecord: by the records before and after it in the run
};

// Reads rows of an index at random: resumes a cursor at the entry before the first row wanted and
// reads on. `filter` null: the unfiltered table (records and event rows); otherwise the filter
// that made the index, asked as the record loop asks it.
class RowReader {
 public:
  RowReader(const DumpRequest& request, const RunIndex& index, const RecordFilter* filter);
  // Hands rows first .. first + count - 1 (fewer at the end of the index) to `take`, which returns
  // false to stop early. Returns the reader's failure, if any.
  Result Read(std::uint64_t first, std::uint64_t count,
              const std::function<bool(const RowItem&)>& take);
  // The slot time the marks judge replies by; 0 (the default): by the first file's baud rate.
  void SetSlotTime(std::uint32_t bits) { slotTimeBits_ = bits; }
  std::uint32_t SlotTime() const { return slotTimeBits_; }

 private:
  const DumpRequest& request_;
  const RunIndex& index_;
  const RecordFilter* filter_;
  std::uint32_t slotTimeBits_ = 0;
};

// A record of the run with the records just before and after it, as the details of one record
// show it. A neighbour is absent at the run's ends and where the reader lost something between
// the two (a sync loss, a file left, a record cut).
struct RecordContext {
  struct Neighbour {
    CaptureRecord record;
    std::int64_t gapTicks = 0;  // the later record's gap: idle time between the two
    std::int64_t gapNs = 0;
  };
  CaptureRecord record;
  std::int64_t absNs = 0;
  std::int64_t gapNs = 0;
  std::uint8_t ticksPerBit = 0;  // 0: the rate is unknown
  std::optional<Neighbour> before;
  std::optional<Neighbour> after;
};

// Reads the record with reference number `ref` and its neighbours from the index's checkpoints.
// End when the index does not reach that far.
Result ReadRecordContext(const DumpRequest& request, const RunIndex& index, std::uint32_t ref,
                         RecordContext& out);

}  // namespace fdc
