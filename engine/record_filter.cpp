// The one record filter of the record loop and the desktop table.
#include "engine/record_filter.h"

#include <algorithm>

#include "capture/baud_rate_table.h"
#include "engine/bus_findings.h"
#include "engine/dump_run.h"
#include "engine/record_marks.h"

namespace fdc {

namespace {

// The station as the equation's DA and SA read it: the address byte of any frame kind that has
// one, a frame that does not decode included.
bool OnStationSide(const FrameFields& fields, ByteView record, std::uint8_t station,
                   StationSide side) {
  if (fields.Addr == FrameFields::kNone) return false;
  const auto at = static_cast<std::size_t>(fields.Addr);
  const bool to = (record.U8(at) & kAddressMask) == station;
  const bool by = (record.U8(at + 1) & kAddressMask) == station;
  switch (side) {
    case StationSide::kSender:
      return by;
    case StationSide::kAddressee:
      return to;
    case StationSide::kAnswering:
      return false;
    default:
      return by || to;
  }
}

}  // namespace

RecordFilter ShownByOptionFile(const ShowOnlyProgram* program, const DumpRequest& request) {
  RecordFilter filter;
  filter.program = program;
  filter.cmdArgs = request.CmdArgs;
  return filter;
}

bool RecordFilter::NeedsRecordAfter() const { return (marks & kTimedMarks) != 0; }

RecordBefore RecordBeforeOf(const Telegram& t, ByteView record) {
  RecordBefore before;
  if (t.HasBody() && t.IsRequest() && t.Da() != kBroadcastAddress &&
      ExpectsReplyCode(t.fc & kRequestCodeMask) && !IsFaulty(t, record)) {
    before.requestTo = t.Da();
    before.requestFrom = t.Sa();
  }
  return before;
}

bool RecordFilter::MatchesTelegram(const FrameFields& fields, ByteView bytes, std::uint32_t ref,
                                   const Telegram& t, const TimeBase& time,
                                   RecordBefore before) const {
  if (corruptCause && !HasCorruptCause(t, bytes, *corruptCause)) return false;
  if (eventRefs != nullptr) {
    const auto carries = [this](std::uint32_t r) {
      return std::binary_search(eventRefs->begin(), eventRefs->end(), r);
    };
    // The reply of a request that carries one: the record right after it, from the station
    // asked, or a short acknowledgement.
    const bool reply =
        before.requestTo >= 0 && ref > 1 &&
        (t.kind == FrameKind::kSc || (t.HasBody() && !t.IsRequest() && t.Sa() == before.requestTo));
    if (!carries(ref) && !(reply && carries(ref - 1))) return false;
  }
  if (station) {
    if (stationSide == StationSide::kAnswering) return before.requestTo == *station;
    bool theirs = OnStationSide(fields, bytes, *station, stationSide);
    if (!theirs && t.kind == FrameKind::kSc && before.requestTo == *station &&
        stationSide != StationSide::kAddressee && !IsFaulty(t, bytes)) {
      // Without a known rate there is no slot time, and an acknowledgement answers however late.
      const std::int64_t k = time.TicksPerBit();
      const std::uint32_t slot =
          slotTimeBits != 0 ? slotTimeBits : DefaultSlotTimeBits(time.BaudCode());
      theirs = k == 0 || time.GapTicks() <= static_cast<std::int64_t>(slot) * k;
    }
    return theirs;
  }
  return true;
}

}  // namespace fdc
