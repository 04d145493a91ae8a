// RecordFilter: which records a run shows — the ShowOnly program with its arguments, records
// with marks of some kinds (a damaged frame, a protocol fault), damaged frames of one cause, and
// one station's traffic with the short acknowledgements that answer its requests. The record loop
// asks it of each record it hands on (RecordView::Shown), and the desktop table's row reader asks
// it of the rows it reads, each with the same record before it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "capture/frame_fields.h"
#include "capture/telegram.h"
#include "engine/time_base.h"
#include "options/show_only.h"

namespace fdc {

// What a filter needs to know of the record before the one it judges.
struct RecordBefore {
  // The address of the station that the record before asked for a reply (a valid request that
  // expects one); -1 when it did not.
  std::int16_t requestTo = -1;
  std::int16_t requestFrom = -1;  // the master that asked
  friend bool operator==(const RecordBefore&, const RecordBefore&) = default;
};

struct DumpRequest;

// What record `t` (its bytes `record`) tells the record after it.
RecordBefore RecordBeforeOf(const Telegram& t, ByteView record);

// Which of a station's frames a filter on the station shows.
enum class StationSide : std::uint8_t {
  kEither,     // sent by or to it
  kSender,     // sent by it
  kAddressee,  // sent to it
  kAnswering,  // the record right after a request to it: its reply, in time or not, or none
};

struct RecordFilter {
  const ShowOnlyProgram* program = nullptr;  // none: no equation
  std::array<std::int32_t, 4> cmdArgs{};
  // The records that carry a mark of one of these kinds (RecordMarkKind bits); 0: any record.
  std::uint16_t marks = 0;
  // Damaged frames with this cause (an index of the corrupt causes); none: no such condition.
  std::optional<std::uint8_t> corruptCause;
  // Frames sent by or to the station (its address as the equation's DA and SA read it, on the
  // side chosen), and the short acknowledgements that answer a request to it: an SC right after
  // the request, within the slot time.
  std::optional<std::uint8_t> station;
  StationSide stationSide = StationSide::kEither;
  std::uint32_t slotTimeBits = 0;  // for those acknowledgements; 0: by the run's baud rate
  // The records that carry a DP event, by the reference numbers of their requests in ascending
  // order, with the reply right after each; null: no such condition. Its owner keeps it alive.
  const std::vector<std::uint32_t>* eventRefs = nullptr;

  // Something to filter for: otherwise every record is shown.
  bool Active() const {
    return program != nullptr || marks != 0 || corruptCause.has_value() || station.has_value() ||
           eventRefs != nullptr;
  }
  // The filter reads the record before the one it judges.
  bool NeedsRecordBefore() const {
    return station.has_value() || eventRefs != nullptr || marks != 0;
  }
  // The filter's marks need the records' timing and the record after the one judged: more than
  // a damaged frame.
  bool NeedsRecordAfter() const;
  // A record: its field positions, its bytes (the frame, then the status byte), its reference
  // number, its dissection (asked for only when the filter needs it: most equations do not), its
  // times and what the record before it tells.
  template <class Dissected>
  bool Matches(const FrameFields& fields, ByteView record, std::uint32_t ref, Dissected&& dissected,
               const TimeBase& time, RecordBefore before) const {
    if ((corruptCause || station || eventRefs) &&
        !MatchesTelegram(fields, record, ref, dissected(), time, before)) {
      return false;
    }
    return program == nullptr ||
           EvaluateShowOnly(*program, fields, record, time.GapMicroseconds(), cmdArgs) != 0;
  }
  // The condition on marks, which a caller asks after Matches with the record's mark kinds
  // (`kinds` is asked only when there is such a condition).
  template <class Kinds>
  bool MatchesMarks(Kinds&& kinds) const {
    return marks == 0 || (kinds() & marks) != 0;
  }

 private:
  // The cause, the station and the events.
  bool MatchesTelegram(const FrameFields& fields, ByteView record, std::uint32_t ref,
                       const Telegram& t, const TimeBase& time, RecordBefore before) const;
};

// The filter of an option file's ShowOnly program (null: none) with the request's arguments.
RecordFilter ShownByOptionFile(const ShowOnlyProgram* program, const DumpRequest& request);

}  // namespace fdc
