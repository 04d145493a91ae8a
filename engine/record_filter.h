// RecordFilter: which records a run shows — the ShowOnly program with its arguments, faulty
// records only, and one station's traffic with the short acknowledgements that answer its
// requests. The record loop asks it of each record it hands on (RecordView::Shown), and the
// desktop table's row reader asks it of the rows it reads, each with the same record before it.
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

struct RecordFilter {
  const ShowOnlyProgram* program = nullptr;  // none: no equation
  std::array<std::int32_t, 4> cmdArgs{};
  bool faultsOnly = false;
  // Frames sent by or to the station (its address as the equation's DA and SA read it), and the
  // short acknowledgements that answer a request to it: an SC right after the request, within
  // the slot time.
  std::optional<std::uint8_t> station;
  std::uint32_t slotTimeBits = 0;  // for those acknowledgements; 0: by the run's baud rate
  // The records that carry a DP event, by the reference numbers of their requests in ascending
  // order, with the reply right after each; null: no such condition. Its owner keeps it alive.
  const std::vector<std::uint32_t>* eventRefs = nullptr;

  // Something to filter for: otherwise every record is shown.
  bool Active() const {
    return program != nullptr || faultsOnly || station.has_value() || eventRefs != nullptr;
  }
  // The filter reads the record before the one it judges.
  bool NeedsRecordBefore() const { return station.has_value() || eventRefs != nullptr; }
  // A record: its field positions, its bytes (the frame, then the status byte), its reference
  // number, its dissection (asked for only when the filter needs it: most equations do not), its
  // times and what the record before it tells.
  template <class Dissected>
  bool Matches(const FrameFields& fields, ByteView record, std::uint32_t ref, Dissected&& dissected,
               const TimeBase& time, RecordBefore before) const {
    if ((faultsOnly || station || eventRefs) &&
        !MatchesTelegram(fields, record, ref, dissected(), time, before)) {
      return false;
    }
    return program == nullptr ||
           EvaluateShowOnly(*program, fields, record, time.GapMicroseconds(), cmdArgs) != 0;
  }

 private:
  // Faults only, the station and the events.
  bool MatchesTelegram(const FrameFields& fields, ByteView record, std::uint32_t ref,
                       const Telegram& t, const TimeBase& time, RecordBefore before) const;
};

// The filter of an option file's ShowOnly program (null: none) with the request's arguments.
RecordFilter ShownByOptionFile(const ShowOnlyProgram* program, const DumpRequest& request);

}  // namespace fdc
