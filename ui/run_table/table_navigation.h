// Where the record table moves: the next or previous row with a mark of the kinds chosen (F8), the
// row of a reference number (Ctrl+G), the row at a time on the module's clock, and the next row
// whose text holds a search text (Ctrl+F). Each reads the table's source through its reader, at
// most some thousand records a step, so that only the text search needs a thread of its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/bus_findings.h"
#include "engine/run_index.h"

namespace fdc::ui {

// The first row at or after `from` (forward) or the last one at or before it whose record carries
// a mark of the kinds `kinds` (RecordMarkKind bits).
std::optional<std::uint64_t> FindFaultRow(RowReader& reader, const RunIndex& index,
                                          std::uint64_t from, bool forward, std::uint16_t kinds);

// A record a filter shows: its reference number and its time on the module's clock.
struct ShownRecord {
  std::uint32_t ref = 0;
  std::int64_t absNs = 0;
};
// The first `count` records of the whole run (every file, every record) that `filter` shows,
// read from the run's start until they are found or `control` asks to stop. The reader's
// failure, if any.
Result FirstShownRecords(const DumpRequest& run, const RecordFilter& filter, std::size_t count,
                         const RunControl& control, std::vector<ShownRecord>& out);

// What looks for the first `count` records of a finding of the health figures computed with that
// slot time (the records the table shows for it), as FirstShownRecords does; null when the
// finding's records are not the matches of a filter (event rows, or nothing to show).
using ShownRecordsJob = std::function<Result(const RunControl&, std::vector<ShownRecord>&)>;
ShownRecordsJob FirstRecordsOfFinding(const DumpRequest& run, const BusFinding& finding,
                                      const std::vector<std::uint32_t>& dpRefs,
                                      std::uint32_t slotTimeBits, std::size_t count);

struct RecordRow {
  std::uint64_t row = 0;
  bool exact = false;  // the record itself; otherwise the first row shown after it
};
// The row of the record with reference number `refNumber`, or of the first record shown after
// it; none for a number the run does not have (or when nothing is shown from it on).
std::optional<RecordRow> FindRecordRow(RowReader& reader, const RunIndex& index,
                                       std::uint32_t refNumber);

// The first record row at or after `ns` on the module's clock (the last row for a time after the
// run); none for an empty table.
std::optional<std::uint64_t> FindTimeRow(RowReader& reader, const RunIndex& index, std::int64_t ns);

struct TextSearch {
  std::string text;        // compared without regard to letter case, within one column
  std::uint64_t from = 0;  // the first row looked at
  bool forward = true;     // backwards: from `from` down
  // Goes on from the other end of the table up to the start row.
  bool wrap = true;
};

struct TextSearchOutcome {
  std::optional<std::uint64_t> row;
  bool wrapped = false;  // found after going round the end
  bool stopped = false;
  Result result = Result::Ok();  // the reader's failure
};

// Told every some thousand rows how many rows of how many were looked at.
using SearchProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

TextSearchOutcome FindTextRow(RowReader& reader, std::span<const CaptureFileInfo> files,
                              std::uint64_t rows, const TextSearch& search,
                              const std::atomic<bool>* stop, const SearchProgress& progress);

}  // namespace fdc::ui
