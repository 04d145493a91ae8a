// Faults, reference numbers, times and texts found in the record table's source.
#include "ui/run_table/table_navigation.h"

#include <algorithm>

#include "ui/run_table/row_texts.h"
#include "ui/run_table/table_filter.h"

namespace fdc::ui {

namespace {

// Rows between two progress reports and stop checks of a text search.
constexpr std::uint64_t kSearchStep = 4096;

std::string LowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

bool Stopped(const std::atomic<bool>* stop) {
  return stop != nullptr && stop->load(std::memory_order_relaxed);
}

}  // namespace

std::optional<std::uint64_t> FindFaultRow(RowReader& reader, const RunIndex& index,
                                          std::uint64_t from, bool forward, std::uint16_t kinds) {
  const std::uint64_t rows = index.Rows();
  if (rows == 0) return std::nullopt;
  if (forward) {
    std::uint64_t at = from;
    while (at < rows) {
      const std::optional<std::uint64_t> stretch =
          index.MarkedStretch(at, true, kinds, reader.SlotTime());
      if (!stretch) return std::nullopt;
      // The stretch of an entry holds kIndexStride records; its fault may lie before `at`, and
      // then the search goes on behind it.
      std::optional<std::uint64_t> found;
      std::optional<std::uint64_t> last;
      std::uint64_t records = 0;
      const Result read = reader.Read(*stretch, rows - *stretch, [&](const RowItem& item) {
        last = item.row;
        if (item.kind != RowKind::kRecord) return true;
        if ((item.marks.kinds & kinds) != 0 && item.row >= at) {
          found = item.row;
          return false;
        }
        return ++records < kIndexStride;
      });
      if (found) return found;
      if (read.failed() || !last) return std::nullopt;
      at = std::max(at, *last + 1);
    }
    return std::nullopt;
  }
  std::uint64_t at = std::min(from, rows - 1);
  for (;;) {
    const std::optional<std::uint64_t> stretch =
        index.MarkedStretch(at, false, kinds, reader.SlotTime());
    if (!stretch || *stretch > at) return std::nullopt;
    std::optional<std::uint64_t> found;
    std::uint64_t records = 0;
    const Result read = reader.Read(*stretch, at - *stretch + 1, [&](const RowItem& item) {
      if (item.kind != RowKind::kRecord) return true;
      if ((item.marks.kinds & kinds) != 0) found = item.row;
      return ++records < kIndexStride;
    });
    if (found) return found;
    if (read.failed() || *stretch == 0) return std::nullopt;
    at = *stretch - 1;
  }
}

Result FirstShownRecords(const DumpRequest& run, const RecordFilter& filter, std::size_t count,
                         const RunControl& control, std::vector<ShownRecord>& out) {
  struct Collector final : RecordConsumer {
    std::vector<ShownRecord>& found;
    std::size_t wanted;
    Collector(std::vector<ShownRecord>& f, std::size_t n) : found(f), wanted(n) {}
    bool OnRecord(const RecordView& view) override {
      if (view.Shown()) found.push_back({view.RefNumber(), view.Time().AbsTimeNs()});
      return found.size() < wanted;
    }
  } collector(out, count);
  out.clear();
  if (count == 0) return Result::Ok();
  DumpRequest whole = run;
  whole.StartRef = 0;
  whole.EndRef = 0xFFFFFFFFu;
  RecordLoop loop(whole, filter, control);
  RecordConsumer* const consumers[] = {&collector};
  return loop.Run(consumers);
}

ShownRecordsJob FirstRecordsOfFinding(const DumpRequest& run, const BusFinding& finding,
                                      const std::vector<std::uint32_t>& dpRefs,
                                      std::uint32_t slotTimeBits, std::size_t count) {
  const FindingRecords records = RecordsOfFinding(finding, dpRefs);
  if (records.eventRows || !records.quick.Any()) return {};
  FilterInput input;
  input.quick = records.quick;
  input.slotTimeBits = slotTimeBits;
  std::shared_ptr<const TableFilter> filter = CompileTableFilter(input).filter;
  if (!filter) return {};
  return [run, filter, count](const RunControl& control, std::vector<ShownRecord>& out) {
    return FirstShownRecords(run, filter->Records(), count, control, out);
  };
}

std::optional<RecordRow> FindRecordRow(RowReader& reader, const RunIndex& index,
                                       std::uint32_t refNumber) {
  const std::uint64_t rows = index.Rows();
  if (rows == 0 || refNumber == 0 || refNumber > index.Records()) return std::nullopt;
  // Before the first entry's record (a filter's first match comes later): from the first row.
  const std::optional<IndexEntry> entry = index.EntryForRecord(refNumber);
  const std::uint64_t start = entry ? entry->row : 0;
  std::optional<RecordRow> found;
  const Result read = reader.Read(start, rows - start, [&](const RowItem& item) {
    if (item.kind != RowKind::kRecord || item.record->RefNumber < refNumber) return true;
    found = RecordRow{item.row, item.record->RefNumber == refNumber};
    return false;
  });
  (void)read;
  return found;
}

std::optional<std::uint64_t> FindTimeRow(RowReader& reader, const RunIndex& index,
                                         std::int64_t ns) {
  const std::uint64_t rows = index.Rows();
  if (rows == 0) return std::nullopt;
  // The first record row at or after `row` with its time; none when only events follow.
  struct Probe {
    std::uint64_t row;
    std::int64_t absNs;
  };
  auto probe = [&](std::uint64_t row) {
    std::optional<Probe> found;
    const Result read = reader.Read(row, rows - row, [&](const RowItem& item) {
      if (item.kind != RowKind::kRecord) return true;
      found = Probe{item.row, item.absNs};
      return false;
    });
    (void)read;
    return found;
  };
  // Times grow with the rows: the first row whose record is not before `ns`.
  std::uint64_t low = 0;
  std::uint64_t high = rows;
  while (low < high) {
    const std::uint64_t middle = low + (high - low) / 2;
    const std::optional<Probe> at = probe(middle);
    if (at && at->absNs < ns) {
      low = at->row + 1;
    } else {
      high = middle;
    }
  }
  if (low >= rows) return rows - 1;
  const std::optional<Probe> at = probe(low);
  return at ? at->row : low;
}

TextSearchOutcome FindTextRow(RowReader& reader, std::span<const CaptureFileInfo> files,
                              std::uint64_t rows, const TextSearch& search,
                              const std::atomic<bool>* stop, const SearchProgress& progress) {
  TextSearchOutcome outcome;
  if (rows == 0) return outcome;
  const std::string needle = LowerAscii(search.text);
  const std::uint64_t from = std::min(search.from, rows - 1);
  std::uint64_t done = 0;
  auto step = [&]() {
    if (++done % kSearchStep != 0) return true;
    if (progress) progress(done, rows);
    if (Stopped(stop)) {
      outcome.stopped = true;
      return false;
    }
    return true;
  };

  if (search.forward) {
    // From the start row to the end, then from the first row up to the start row.
    auto scan = [&](std::uint64_t first, std::uint64_t count) {
      return ReadRowTexts(reader, files, first, count, [&](const RowTexts& row, const RowItem&) {
        if (row.Contains(needle)) {
          outcome.row = row.row;
          return false;
        }
        return step();
      });
    };
    outcome.result = scan(from, rows - from);
    if (!outcome.row && !outcome.stopped && !outcome.result.failed() && search.wrap && from > 0) {
      outcome.result = scan(0, from);
      outcome.wrapped = outcome.row.has_value();
    }
    return outcome;
  }

  // Backwards, one stretch of rows at a time, each read forwards keeping its last match.
  auto scanDown = [&](std::uint64_t top, std::uint64_t bottom) {
    std::uint64_t end = top + 1;
    while (end > bottom && !outcome.row && !outcome.stopped) {
      const std::uint64_t first = end - std::min<std::uint64_t>(end - bottom, kIndexStride);
      std::optional<std::uint64_t> last;
      outcome.result =
          ReadRowTexts(reader, files, first, end - first, [&](const RowTexts& row, const RowItem&) {
            if (row.Contains(needle)) last = row.row;
            return step();
          });
      if (outcome.result.failed()) return;
      if (last && !outcome.stopped) outcome.row = last;
      end = first;
    }
  };
  scanDown(from, 0);
  if (!outcome.row && !outcome.stopped && !outcome.result.failed() && search.wrap &&
      from + 1 < rows) {
    scanDown(rows - 1, from + 1);
    outcome.wrapped = outcome.row.has_value();
  }
  return outcome;
}

}  // namespace fdc::ui
