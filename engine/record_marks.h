// The marks of a record: what the record and its neighbours show to be wrong, in the statistics'
// own terms, so that every record a finding counts carries its mark. A damaged frame; a request
// that expects a reply (no status poll) and is not answered by the record after it; a reply too
// early, negative or flagging diagnosis; a request or token sent after too short an idle.
#pragma once

#include <cstdint>
#include <string>

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
};
// The kinds a protocol fault has; the rest is a damaged frame.
inline constexpr std::uint16_t kProtocolMarks = kMarkNoReply | kMarkLateReply | kMarkCorruptReply |
                                                kMarkEarlyReply | kMarkNegativeReply |
                                                kMarkDiagnosisFlagged | kMarkTsynViolation;

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
  bool Any() const { return kinds != 0; }
};

// The marks of `record` with what the record before it tells and the record after it (telegram
// null at the run's end). `ticksPerBit` 0: the rate is unknown, no time is tested.
RecordMarks MarksOf(const RecordBefore& before, const MarkedRecord& record,
                    const MarkedRecord& after, std::int64_t ticksPerBit,
                    std::uint32_t slotTimeBits);

// The marks in words, most telling first, joined by "; ": "no reply within the slot time of 300
// bit times", "late reply (412 bit times)", "corrupt reply", "early reply (8 bit times)",
// "negative reply: RS", "diagnosis flagged (DH)", "TSYN violation (20 bit times)", "damaged frame".
std::string MarksText(const RecordMarks& marks);

}  // namespace fdc
