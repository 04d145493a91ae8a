// The marks of a record by the statistics' rules.
#include "engine/record_marks.h"

#include "capture/fdl_protocol.h"

namespace fdc {

namespace {

// A valid request that waits for the record after it: it expects a reply from one station.
bool WaitsForReply(const MarkedRecord& r) {
  const Telegram& t = *r.telegram;
  return r.valid && t.HasBody() && t.IsRequest() && t.Da() != kBroadcastAddress &&
         ExpectsReplyCode(t.fc & kRequestCodeMask);
}

bool IsStatusPoll(const Telegram& t) { return (t.fc & kRequestCodeMask) == kFcStatusRequest; }

}  // namespace

RecordMarks MarksOf(const RecordBefore& before, const MarkedRecord& record,
                    const MarkedRecord& after, std::int64_t ticksPerBit,
                    std::uint32_t slotTimeBits) {
  RecordMarks marks;
  marks.slotTimeBits = slotTimeBits;
  if (record.telegram == nullptr) return marks;
  const Telegram& t = *record.telegram;
  const std::int64_t k = ticksPerBit;
  const std::int64_t slotTicks = static_cast<std::int64_t>(slotTimeBits) * k;
  if (!record.valid) {
    marks.kinds |= kMarkDamaged;
    return marks;
  }

  // A request is judged by the record after it; a status poll that goes unanswered looks for a
  // station and is no fault.
  if (after.telegram != nullptr && WaitsForReply(record) && !IsStatusPoll(t)) {
    const bool slotTest = k != 0 && after.gapTimed;
    const bool inTime = !slotTest || after.gapTicks <= slotTicks;
    switch (PairOutcomeOf(*after.telegram, after.valid, inTime, t.Sa(), t.Da())) {
      case PairOutcome::kNoReply:
        marks.kinds |= kMarkNoReply;
        break;
      case PairOutcome::kLate:
        marks.kinds |= kMarkLateReply;
        marks.replyGapBits = FloorDiv(after.gapTicks, k);
        break;
      case PairOutcome::kCorrupt:
        marks.kinds |= kMarkCorruptReply;
        break;
      case PairOutcome::kAnswered:
        break;
    }
  }

  const bool timedGap = k != 0 && record.gapTimed;
  if (t.kind == FrameKind::kSd4 || (t.HasBody() && t.IsRequest())) {
    if (timedGap && record.gapTicks < kSyncBits * k) {
      marks.kinds |= kMarkTsynViolation;
      marks.gapBits = FloorDiv(record.gapTicks, k);
    }
    return marks;
  }
  // A reply: early when it answers the request before it under the least station delay.
  if (before.requestTo >= 0 && timedGap && record.gapTicks < kMinStationDelayBits * k &&
      PairOutcomeOf(t, true, record.gapTicks <= slotTicks,
                    static_cast<std::uint8_t>(before.requestFrom),
                    static_cast<std::uint8_t>(before.requestTo)) == PairOutcome::kAnswered) {
    marks.kinds |= kMarkEarlyReply;
    marks.gapBits = FloorDiv(record.gapTicks, k);
  }
  if (t.HasBody()) {
    const auto code = static_cast<std::uint8_t>(t.fc & kResponseCodeMask);
    if (code == kFcUserError || code == kFcNoResource || code == kFcNotActivated) {
      marks.kinds |= kMarkNegativeReply;
      marks.responseCode = code;
    } else if (code == kFcDataHigh || code == kFcResponseDataHigh) {
      marks.kinds |= kMarkDiagnosisFlagged;
      marks.responseCode = code;
    }
  }
  return marks;
}

std::string MarksText(const RecordMarks& marks) {
  std::string text;
  const auto add = [&text](const std::string& part) { text += (text.empty() ? "" : "; ") + part; };
  const auto has = [&marks](RecordMarkKind kind) { return (marks.kinds & kind) != 0; };
  const std::string code(FunctionCodeName(marks.responseCode));
  if (has(kMarkNoReply)) {
    add("no reply within the slot time of " + std::to_string(marks.slotTimeBits) + " bit times");
  }
  if (has(kMarkLateReply)) add("late reply (" + std::to_string(marks.replyGapBits) + " bit times)");
  if (has(kMarkCorruptReply)) add("corrupt reply");
  if (has(kMarkEarlyReply)) add("early reply (" + std::to_string(marks.gapBits) + " bit times)");
  if (has(kMarkNegativeReply)) add("negative reply: " + code);
  if (has(kMarkDiagnosisFlagged)) add("diagnosis flagged (" + code + ")");
  if (has(kMarkTsynViolation)) {
    add("TSYN violation (" + std::to_string(marks.gapBits) + " bit times)");
  }
  if (has(kMarkDamaged)) add("damaged frame");
  return text;
}

}  // namespace fdc
