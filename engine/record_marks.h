// The marks of a record: what the record and its neighbours show to be wrong, in the statistics'
// own terms, so that every record a finding counts carries its mark. A damaged frame; a request
// that expects a reply (no status poll) and is not answered by the record after it; a reply too
// early, too late, corrupt, negative or flagging diagnosis; a request or token sent after too
// short an idle.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "capture/capture_file_set.h"
#include "capture/telegram.h"
#include "engine/record_filter.h"

namespace fdc {

// How the record after a request that expects a reply answers it: a valid response from the
// station asked (or a short acknowledgement) in time answers, one after the slot time is late, a
// corrupt record in time is a corrupt reply, anything else is no reply. `inTime`: the slot time
// is not tested (an unknown rate, an untimed pair) or the idle before `next` is within it.
enum class PairOutcome : std::uint8_t { kAnswered, kNoReply, kLate, kCorrupt };
inline PairOutcome PairOutcomeOf(const Telegram& next, bool valid, bool inTime,
                                 std::uint8_t requestSa, std::uint8_t requestDa) {
  if (!valid) return inTime ? PairOutcome::kCorrupt : PairOutcome::kNoReply;
  const bool sc = next.kind == FrameKind::kSc;
  const bool response = sc || (next.HasBody() && !next.IsRequest());
  const bool matching = sc || (next.Da() == requestSa && next.Sa() == requestDa);
  if (!response || !matching) return PairOutcome::kNoReply;
  return inTime ? PairOutcome::kAnswered : PairOutcome::kLate;
}

// floor(a / b) for b > 0: ticks counted as whole bit times.
inline std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if (a % b != 0 && a < 0) --q;
  return q;
}

// The least idle before a reply, and before a request or token (TSYN), in bit times.
inline constexpr std::int64_t kMinStationDelayBits = 11;
inline constexpr std::int64_t kSyncBits = 33;

// The kinds, a bit each.
enum RecordMarkKind : std::uint16_t {
  kMarkDamaged = 1u << 0,
  kMarkNoReply = 1u << 1,
  kMarkLateReply = 1u << 2,
  kMarkCorruptReply = 1u << 3,
  kMarkEarlyReply = 1u << 4,
  kMarkNegativeReply = 1u << 5,
  kMarkDiagnosisFlagged = 1u << 6,
  kMarkTsynViolation = 1u << 7,
  // The reply's side of a late or corrupt reply, which the request carries: the reply itself, as
  // the statistics count late and illegal responses (status polls included).
  kMarkLateAnswer = 1u << 8,
  kMarkIllegalAnswer = 1u << 9,
};
// The kinds a protocol fault has, each fault once (on the request where it has two sides).
inline constexpr std::uint16_t kProtocolMarks = kMarkNoReply | kMarkLateReply | kMarkCorruptReply |
                                                kMarkEarlyReply | kMarkNegativeReply |
                                                kMarkDiagnosisFlagged | kMarkTsynViolation;
// The kinds that need the records' timing: all but a damaged frame.
inline constexpr std::uint16_t kTimedMarks = static_cast<std::uint16_t>(~kMarkDamaged);
// The kinds that depend on the slot time.
inline constexpr std::uint16_t kSlotMarks =
    kMarkNoReply | kMarkLateReply | kMarkCorruptReply | kMarkLateAnswer | kMarkIllegalAnswer;

// One record as the marks read it.
struct MarkedRecord {
  const Telegram* telegram = nullptr;  // null: no such record
  bool valid = false;                  // decoded, checksum and end delimiter right, no status bit
  // The idle before it in ticks, when measured: a record before it, both timed at the run's rate,
  // the clock not stepped back between them.
  bool gapTimed = false;
  std::int64_t gapTicks = 0;
};

struct RecordMarks {
  std::uint16_t kinds = 0;
  std::int64_t gapBits = 0;        // the record's own idle (early reply, TSYN violation)
  std::int64_t replyGapBits = 0;   // the idle before the record after it (late reply)
  std::uint8_t responseCode = 0;   // FC & 0x0F of a negative or diagnosis-flagging reply
  std::uint32_t slotTimeBits = 0;  // the slot time the reply was judged by
  // The idle of the request-reply pair the record belongs to, in bit times: before the record
  // after a request, or before a reply; -1 when there is none or it is not timed. A slot time
  // below it may make the pair late or unanswered.
  std::int64_t pairGapBits = -1;
  bool Any() const { return kinds != 0; }
};

// The marks of `record` with what the record before it tells and the record after it (telegram
// null at the run's end). `ticksPerBit` 0: the rate is unknown, no time is tested.
RecordMarks MarksOf(const RecordBefore& before, const MarkedRecord& record,
                    const MarkedRecord& after, std::int64_t ticksPerBit,
                    std::uint32_t slotTimeBits);

// What a stretch of records holds, so that a search for marks can skip the stretches without
// them: the kinds its records carry with no limit on the slot time, and the longest idle of a
// request-reply pair among them, which tells for any slot time whether a late or missing reply
// may be there.
struct StretchMarks {
  static constexpr std::uint32_t kNoSlotLimit = 0xFFFFFFFFu;
  std::uint16_t kinds = 0;
  std::int64_t pairGapBits = -1;
  void Add(const RecordMarks& marks) {
    kinds |= marks.kinds;
    if (marks.pairGapBits > pairGapBits) pairGapBits = marks.pairGapBits;
  }
  bool MayHold(std::uint16_t wanted, std::uint32_t slotTimeBits) const {
    return (kinds & wanted) != 0 ||
           ((wanted & kSlotMarks) != 0 && pairGapBits > static_cast<std::int64_t>(slotTimeBits));
  }
};

// Follows a run's records in order and gives each record's marks once the record after it is read.
class MarkFollower {
 public:
  // Takes the next record (its telegram is copied); true with the marks of the record before it,
  // now complete, in `previous`.
  bool Next(const RecordBefore& before, const MarkedRecord& record, std::int64_t ticksPerBit,
            std::uint32_t slotTimeBits, RecordMarks& previous);
  // At the run's end: true with the last record's marks.
  bool Finish(std::int64_t ticksPerBit, std::uint32_t slotTimeBits, RecordMarks& last);

 private:
  bool held_ = false;
  RecordBefore before_;
  Telegram telegram_;
  MarkedRecord record_;
};

// Whether the idle before each record counts, as a reader reads on: a record before it, both
// timed at the run's rate (its first file's), the clock not stepped back between them.
class GapTiming {
 public:
  // `files`: the run's files opened so far, which may grow while the timing is used. Reading
  // starts at the run's start, or after a record of file `file` with timestamp `ticks`.
  GapTiming(const std::vector<CaptureFileInfo>& files, bool afterRecord, std::int64_t ticks,
            std::uint16_t file)
      : files_(files), previous_(afterRecord), previousTicks_(ticks), previousFile_(file) {}

  // The next record as the marks read it; `gapTicks` is its idle by the time base.
  MarkedRecord Next(const CaptureRecord& record, const Telegram& telegram, std::int64_t gapTicks);
  std::uint16_t RunBaud() const { return files_.empty() ? 0 : files_.front().header.BaudCode; }

 private:
  bool Timed(std::uint16_t file) const {
    return file < files_.size() && files_[file].header.BaudCode == RunBaud();
  }
  const std::vector<CaptureFileInfo>& files_;
  bool previous_;
  std::int64_t previousTicks_;
  std::uint16_t previousFile_;
};

// The marks in words, most telling first, joined by "; ": "no reply within the slot time of 300
// bit times", "late reply (412 bit times)", "corrupt reply", "early reply (8 bit times)",
// "negative reply: RS", "diagnosis flagged (DH)", "TSYN violation (20 bit times)", "illegal
// response", "damaged frame". A late reply says so on both sides.
std::string MarksText(const RecordMarks& marks);

}  // namespace fdc
