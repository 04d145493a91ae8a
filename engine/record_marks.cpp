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

// A request judged by the record after it.
void AddRequestMarks(const MarkedRecord& record, const MarkedRecord& after, std::int64_t k,
                     std::int64_t slotTicks, RecordMarks& marks) {
  const Telegram& t = *record.telegram;
  if (after.telegram == nullptr || !WaitsForReply(record)) return;
  const bool slotTest = k != 0 && after.gapTimed;
  if (slotTest) marks.pairGapBits = FloorDiv(after.gapTicks, k);
  // A status poll that goes unanswered looks for a station and is no fault.
  if (IsStatusPoll(t)) return;
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

// The record after a request as the request's reply: late, illegal, or answering too early.
void AddAnswerMarks(const RecordBefore& before, const MarkedRecord& record, std::int64_t k,
                    std::int64_t slotTicks, RecordMarks& marks) {
  if (before.requestTo < 0) return;
  const bool slotTest = k != 0 && record.gapTimed;
  const bool inTime = !slotTest || record.gapTicks <= slotTicks;
  const PairOutcome outcome = PairOutcomeOf(*record.telegram, record.valid, inTime,
                                            static_cast<std::uint8_t>(before.requestFrom),
                                            static_cast<std::uint8_t>(before.requestTo));
  if (slotTest) marks.pairGapBits = FloorDiv(record.gapTicks, k);
  if (outcome == PairOutcome::kLate) {
    marks.kinds |= kMarkLateAnswer;
    marks.gapBits = FloorDiv(record.gapTicks, k);
  } else if (outcome == PairOutcome::kCorrupt) {
    marks.kinds |= kMarkIllegalAnswer;
  } else if (outcome == PairOutcome::kAnswered && slotTest &&
             record.gapTicks < kMinStationDelayBits * k) {
    marks.kinds |= kMarkEarlyReply;
    marks.gapBits = FloorDiv(record.gapTicks, k);
  }
}

void AddResponseCodeMarks(const Telegram& t, RecordMarks& marks) {
  if (!t.HasBody()) return;
  const auto code = static_cast<std::uint8_t>(t.fc & kResponseCodeMask);
  if (code == kFcUserError || code == kFcNoResource || code == kFcNotActivated) {
    marks.kinds |= kMarkNegativeReply;
    marks.responseCode = code;
  } else if (code == kFcDataHigh || code == kFcResponseDataHigh) {
    marks.kinds |= kMarkDiagnosisFlagged;
    marks.responseCode = code;
  }
}

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
  const bool request = t.kind == FrameKind::kSd4 || (t.HasBody() && t.IsRequest());
  if (!request) AddAnswerMarks(before, record, k, slotTicks, marks);
  if (!record.valid) {
    marks.kinds |= kMarkDamaged;
    return marks;
  }
  if (request) {
    AddRequestMarks(record, after, k, slotTicks, marks);
    if (k != 0 && record.gapTimed && record.gapTicks < kSyncBits * k) {
      marks.kinds |= kMarkTsynViolation;
      marks.gapBits = FloorDiv(record.gapTicks, k);
    }
    return marks;
  }
  AddResponseCodeMarks(t, marks);
  return marks;
}

bool MarkFollower::Next(const RecordBefore& before, const MarkedRecord& record,
                        std::int64_t ticksPerBit, std::uint32_t slotTimeBits,
                        RecordMarks& previous) {
  const bool had = held_;
  if (had) previous = MarksOf(before_, record_, record, ticksPerBit, slotTimeBits);
  held_ = true;
  before_ = before;
  telegram_ = *record.telegram;
  record_ = record;
  record_.telegram = &telegram_;
  return had;
}

bool MarkFollower::Finish(std::int64_t ticksPerBit, std::uint32_t slotTimeBits, RecordMarks& last) {
  if (!held_) return false;
  held_ = false;
  last = MarksOf(before_, record_, MarkedRecord{}, ticksPerBit, slotTimeBits);
  return true;
}

MarkedRecord GapTiming::Next(const CaptureRecord& record, const Telegram& telegram,
                             std::int64_t gapTicks) {
  const auto ticks = static_cast<std::int64_t>(record.Timestamp);
  MarkedRecord marked;
  marked.telegram = &telegram;
  marked.valid = !IsFaulty(telegram, record.Bytes());
  marked.gapTimed =
      previous_ && Timed(record.File) && Timed(previousFile_) && ticks >= previousTicks_;
  marked.gapTicks = gapTicks;
  previous_ = true;
  previousTicks_ = ticks;
  previousFile_ = record.File;
  return marked;
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
  if (has(kMarkLateAnswer)) add("late reply (" + std::to_string(marks.gapBits) + " bit times)");
  if (has(kMarkIllegalAnswer)) add("illegal response");
  if (has(kMarkDamaged)) add("damaged frame");
  return text;
}

}  // namespace fdc
