// The bus health report: the JSON and CSV writers and the text report.
#include "report/bus_report.h"

#include <algorithm>
#include <array>
#include <nlohmann/json.hpp>
#include <span>

#include "capture/baud_rate_table.h"
#include "engine/figure_text.h"
#include "report/dp_report.h"

namespace fdc {

namespace {

using namespace text;

// Kept in the order of insertion, so that the JSON reads in the order the figures are defined.
using Json = nlohmann::ordered_json;

// --- JSON ----------------------------------------------------------------------------------------

class JsonSink {
 public:
  explicit JsonSink(Json& object) : object_(object) {}

  void Count(std::string_view name, std::uint64_t value) { Set(name, value); }
  void Count(std::string_view name, const std::optional<std::uint64_t>& value) {
    Set(name, value ? Json(*value) : Json(nullptr));
  }
  void Time(std::string_view name, const std::optional<std::int64_t>& value) {
    Set(name, value ? Json(*value) : Json(nullptr));
  }
  void Text(std::string_view name, const std::optional<std::string_view>& value) {
    Set(name, value ? Json(std::string(*value)) : Json(nullptr));
  }
  void Flag(std::string_view name, const std::optional<bool>& value) {
    Set(name, value ? Json(*value) : Json(nullptr));
  }
  void Detail(std::string_view name, const DpSlaveFigures& dp, DpDetail detail) {
    Set(name, DpDetailJson(dp, detail));
  }
  void Series(std::string_view name, const std::optional<SeriesFigures>& series) {
    if (!series) {
      Set(name, nullptr);
      return;
    }
    // With nothing counted there is no minimum, maximum or mean.
    const bool any = series->count > 0;
    Json object = Json::object();
    object["count"] = series->count;
    object["min"] = any ? Json(series->min) : Json(nullptr);
    object["max"] = any ? Json(series->max) : Json(nullptr);
    object["mean"] = any ? Json(series->mean) : Json(nullptr);
    Set(name, std::move(object));
  }
  void Counts(std::string_view name, std::span<const std::string_view> keys,
              std::span<const std::uint64_t> values) {
    Json object = Json::object();
    for (std::size_t i = 0; i < keys.size() && i < values.size(); ++i) {
      object[std::string(keys[i])] = values[i];
    }
    Set(name, std::move(object));
  }
  void List(std::string_view name, std::span<const std::uint8_t> values) {
    Json array = Json::array();
    for (std::uint8_t v : values) array.push_back(v);
    Set(name, std::move(array));
  }

 private:
  void Set(std::string_view name, Json value) { object_[std::string(name)] = std::move(value); }
  Json& object_;
};

Json RunJson(const RunFigures& run) {
  Json object = Json::object();
  JsonSink sink(object);
  sink.Count("files", run.files);
  sink.Count("records", run.records);
  sink.Count("valid", run.valid);
  sink.Count("corrupt", run.corrupt);
  sink.Count("sync_losses", run.syncLosses);
  sink.Count("files_cut_short", run.filesCutShort);
  object["pending_request"] = run.pendingRequest;
  if (run.lastRecordCut) {
    object["last_record_cut"] = {{"file", run.lastRecordCut->file},
                                 {"offset", run.lastRecordCut->offset},
                                 {"bytes", run.lastRecordCut->bytes}};
  } else {
    object["last_record_cut"] = nullptr;
  }
  sink.Count("clock_steps_back", run.clockStepsBack);
  Json changes = Json::array();
  for (const BaudChange& change : run.baudChanges) {
    changes.push_back({{"file", change.file}, {"baud", change.baud}});
  }
  object["baud_changes"] = std::move(changes);
  sink.Text("error", run.error ? std::optional<std::string_view>(*run.error) : std::nullopt);
  sink.Time("start_ns", run.startNs);
  sink.Time("end_ns", run.endNs);
  sink.Time("bus_load_permille", run.busLoadPermille);
  sink.Counts("status_bits", StatusKeys(), run.statusBits);
  sink.Counts("malformed", kMalformedKeys, run.malformed);
  sink.Count("fcs_errors", run.fcsErrors);
  sink.Count("ed_errors", run.edErrors);
  sink.List("silent_stations", run.silentStations);
  return object;
}

// A station's DP members: its DP figures as a slave, its figures as a master.
void AddDpJson(const BusFigures& figures, const StationFigures& s, Json& object) {
  if (const DpSlaveFigures* dp = DpSlaveOf(figures, s.address)) {
    Json slave = Json::object();
    JsonSink sink(slave);
    VisitDpSlave(*dp, sink);
    if (figures.dp.gsdRead) AddGsdJson(*dp, slave);
    object["dp"] = std::move(slave);
  } else {
    object["dp"] = nullptr;
  }
  if (!s.master) {
    object["dp_master"] = nullptr;
    return;
  }
  const auto& master = figures.dp.masters[s.address];
  object["dp_master"] = DpMasterJson(master ? *master : DpMasterFigures{});
}

Json MinuteJson(const MinuteFigures& minute) {
  Json object = Json::object();
  JsonSink sink(object);
  sink.Text("file", std::string_view(minute.file));
  sink.Count("records", minute.records);
  sink.Count("corrupt", minute.corrupt);
  sink.Count("no_response", minute.noResponse);
  sink.Count("no_reply", minute.noReply);
  sink.Count("late", minute.late);
  sink.Count("corrupt_reply", minute.corruptReply);
  sink.Count("corrupt_other", minute.corruptOther);
  sink.Count("repeats", minute.repeats);
  sink.Count("sync_losses", minute.syncLosses);
  return object;
}

// --- CSV -----------------------------------------------------------------------------------------

void WriteCsvRow(const std::vector<std::string>& fields, std::ostream& out) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out << ',';
    out << CsvField(fields[i]);
  }
  out << "\r\n";
}

// --- Text report ---------------------------------------------------------------------------------

void WriteTitle(const BusFigures& figures, std::ostream& out) {
  const std::string first = figures.minutes.empty() ? "(no capture file)" : figures.minutes[0].file;
  out << "Bus health report: " << first << ", " << Counted(figures.run.files, "file", "files")
      << ", " << Counted(figures.run.records, "record", "records") << "\n";
  if (figures.run.error) {
    out << "Reading ended early: " << *figures.run.error
        << "\nThe figures below cover the records read before it.\n";
  }
  out << "\n";
}

// A finding as lines of at most 100 columns, broken at blanks, its continuation lines indented
// further (a word longer than a line, such as a long path, stands alone).
void WriteWrapped(std::string_view text, std::ostream& out) {
  constexpr std::size_t kWidth = 100;
  std::string line = "  ";
  std::size_t at = 0;
  bool first = true;
  while (at < text.size()) {
    std::size_t end = text.find(' ', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view word = text.substr(at, end - at);
    if (!first && line.size() + 1 + word.size() > kWidth) {
      out << line << "\n";
      line = "    ";
    } else if (!first) {
      line += ' ';
    }
    line += word;
    first = false;
    at = end + 1;
  }
  out << line << "\n";
}

void WriteFindings(const BusFigures& figures, std::ostream& out) {
  if (figures.run.records == 0) {
    out << NoRecordsLine(figures) << "\n\n";
    return;
  }
  const std::vector<BusFinding> findings = BusFindings(figures);
  if (findings.empty()) {
    out << kHealthyBusLine << "\n\n";
    return;
  }
  out << "Findings\n";
  for (const BusFinding& f : findings) WriteWrapped(f.text, out);
  out << "\n";
}

// A 16 x 8 grid of the addresses 0..127.
void WriteLiveList(const BusFigures& figures, std::ostream& out) {
  std::array<char, 128> marks;
  marks.fill('.');
  unsigned masters = 0;
  unsigned slaves = 0;
  for (const StationFigures& s : figures.stations) {
    if (s.address >= marks.size()) continue;
    marks[s.address] = s.master ? 'M' : 'S';
    ++(s.master ? masters : slaves);
  }
  // Addressed but never heard: a slave entry only because requests went to it.
  for (std::uint8_t address : figures.run.silentStations) {
    if (address < marks.size() && marks[address] == 'S') marks[address] = 'x';
  }
  out << "Live list: " << Counted(masters, "master", "masters") << ", "
      << Counted(slaves, "slave", "slaves")
      << " (M master, S slave, x addressed but never heard, . not seen)\n";
  out << "     ";
  for (unsigned column = 0; column < 16; ++column)
    out << Right("+" + Dec(std::uint64_t{column}), 4);
  out << "\n";
  for (unsigned row = 0; row < 8; ++row) {
    out << Right(Dec(std::uint64_t{row} * 16), 5);
    for (unsigned column = 0; column < 16; ++column) {
      out << "   " << marks[row * 16 + column];
    }
    out << "\n";
  }
  out << "\n";
}

// The columns of the station table; the widths keep a row within 98 characters.
struct TableColumn {
  std::string_view group;  // the heading above it ("Response bits"), or empty
  std::string_view name;
  std::size_t width;
  std::size_t gap;  // blanks before it
};

constexpr std::array<TableColumn, 13> kTableColumns = {{
    {"", "Addr", 4, 0},
    {"", "Role", 6, 1},
    {"", "Sent", 10, 1},
    {"", "Requests", 9, 1},
    {"", "No resp", 7, 1},
    {"", "Repeats", 7, 1},
    {"", "Late", 5, 1},
    {"", "Illegal", 7, 1},
    {"", "Early", 5, 1},
    {"Response bits", "min", 5, 2},
    {"Response bits", "mean", 5, 1},
    {"Response bits", "max", 5, 1},
    {"Cycle", "ms", 9, 2},
}};

void WriteTableRow(const std::array<std::string, kTableColumns.size()>& cells, std::ostream& out) {
  std::string line;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const TableColumn& column = kTableColumns[i];
    line.append(column.gap, ' ');
    line += i == 1 ? Left(cells[i], column.width) : Right(cells[i], column.width);
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  out << line << "\n";
}

void WriteTableHeading(std::ostream& out) {
  // The group headings, each centred over its columns.
  std::string groups;
  std::size_t at = 0;
  for (std::size_t i = 0; i < kTableColumns.size();) {
    const TableColumn& first = kTableColumns[i];
    std::size_t span = first.width;
    std::size_t j = i + 1;
    for (;
         j < kTableColumns.size() && !first.group.empty() && kTableColumns[j].group == first.group;
         ++j) {
      span += kTableColumns[j].gap + kTableColumns[j].width;
    }
    at += first.gap;
    if (!first.group.empty()) {
      const std::size_t pad = span > first.group.size() ? span - first.group.size() : 0;
      // A single column's heading is right-aligned over it, like its numbers.
      const std::size_t left = j - i > 1 ? pad / 2 : pad;
      groups.resize(at, ' ');
      groups.append(left, ' ');
      groups += first.group;
    }
    at += span;
    i = j;
  }
  out << groups << "\n";
  std::array<std::string, kTableColumns.size()> names;
  for (std::size_t i = 0; i < names.size(); ++i) names[i] = kTableColumns[i].name;
  WriteTableRow(names, out);
}

std::string SeriesCell(const std::optional<SeriesFigures>& series,
                       std::int64_t SeriesFigures::*part) {
  if (!series || series->count == 0) return "-";
  return Dec((*series).*part);
}

void WriteStationTable(const BusFigures& figures, std::ostream& out) {
  out << "Stations\n";
  if (figures.stations.empty()) {
    out << "  none seen\n\n";
    return;
  }
  WriteTableHeading(out);
  for (const StationFigures* station : ByAddress(figures)) {
    const StationFigures& s = *station;
    const std::optional<SeriesFigures>& cycle = s.master ? s.tokenRotationNs : s.cycleNs;
    WriteTableRow({Dec(std::uint64_t{s.address}), s.master ? "master" : "slave", Dec(s.framesSent),
                   Dec(s.requestsReceived), Dec(s.noResponse), Dec(s.repeats), Dec(s.lateResponses),
                   Dec(s.illegalResponses), s.earlyResponses ? Dec(*s.earlyResponses) : "-",
                   SeriesCell(s.responseTimeBits, &SeriesFigures::min),
                   SeriesCell(s.responseTimeBits, &SeriesFigures::mean),
                   SeriesCell(s.responseTimeBits, &SeriesFigures::max),
                   cycle && cycle->count > 0 ? Fixed(cycle->mean, 1'000'000, 3) : "-"},
                  out);
  }
  out << "Sent: valid frames sent. Requests: requests received that expect a reply, judged by\n"
         "the record after them.\n"
         "Cycle: mean time between data exchanges with a slave; a master's mean token "
         "rotation.\n\n";
}

std::string CorruptCauses(const RunFigures& run) {
  std::string text;
  ForEachCorruptCause(run, [&text](const CorruptCause& cause, std::uint64_t count) {
    if (count == 0) return;
    if (!text.empty()) text += ", ";
    text += std::string(cause.name) + " " + Dec(count);
  });
  return text;
}

// A summary line: the label, then the value, wrapped after a ", " where it would pass the 100th
// column, its continuation lines under the value's first character.
void WriteSummaryLine(std::string_view label, std::string_view value, std::ostream& out) {
  constexpr std::size_t kIndent = 17;
  constexpr std::size_t kWidth = 100;
  std::string line = "  " + Left(label, kIndent - 3) + " ";
  std::size_t at = 0;
  bool first = true;
  while (at < value.size()) {
    std::size_t end = value.find(", ", at);
    end = end == std::string_view::npos ? value.size() : end + 1;  // the comma stays on its line
    const std::string_view piece = value.substr(at, end - at);
    if (!first && line.size() + 1 + piece.size() > kWidth) {
      out << line << "\n";
      line = std::string(kIndent, ' ');
    } else if (!first) {
      line += ' ';
    }
    line += piece;
    first = false;
    at = end < value.size() && value[end] == ' ' ? end + 1 : end;
  }
  out << line << "\n";
}

std::string Settings(const BusFigures& figures) {
  if (!figures.rateKnown) {
    return "baud rate unknown (code " + Dec(std::uint64_t{figures.baudCode}) +
           "): no times, no slot time test";
  }
  return "baud rate " + std::string(BaudRateName(figures.baudCode)) + ", slot time " +
         Dec(std::uint64_t{figures.tslBits}) + " bit times, " +
         (figures.ttrBits ? "TTR " + Dec(std::uint64_t{*figures.ttrBits}) + " bit times"
                          : "no TTR given");
}

void WriteRunSummary(const BusFigures& figures, std::ostream& out) {
  const RunFigures& run = figures.run;
  const auto line = [&out](std::string_view label, const std::string& value) {
    WriteSummaryLine(label, value, out);
  };
  out << "Run\n";
  std::string files = Dec(run.files);
  if (!figures.minutes.empty()) {
    files += ": " + figures.minutes.front().file;
    if (figures.minutes.size() > 1) files += " to " + figures.minutes.back().file;
  }
  line("Files", files);
  line("Records",
       Dec(run.records) + " (" + Dec(run.valid) + " valid, " + Dec(run.corrupt) + " corrupt)");
  if (run.startNs && run.endNs) {
    // A clock that stepped back leaves no span to tell.
    line("Time", ClockTime(*run.startNs) + " to " + ClockTime(*run.endNs) +
                     (*run.endNs >= *run.startNs
                          ? ", " + Fixed(*run.endNs - *run.startNs, 1'000'000'000, 6) + " s"
                          : std::string()));
  }
  line("Bus load", run.busLoadPermille ? Fixed(*run.busLoadPermille, 10, 1) + " %" : "-");
  line("Settings", Settings(figures));
  line("Sync losses", Dec(run.syncLosses) + "; files cut short " + Dec(run.filesCutShort));
  line("Corrupt frames", Dec(run.corrupt) + (run.corrupt > 0 ? ": " + CorruptCauses(run) : ""));
  std::string silent;
  for (std::uint8_t address : run.silentStations) {
    silent += (silent.empty() ? "" : ", ") + Dec(std::uint64_t{address});
  }
  line("Silent", silent.empty() ? "none" : silent);
  if (run.error) line("Ended early", *run.error);
}

}  // namespace

void WriteBusJson(const BusFigures& figures, std::ostream& out) {
  Json root = Json::object();
  root["run"] = RunJson(figures.run);
  root["run"]["dp_events"] = figures.dp.events.size();
  if (figures.dp.gsdRead) {
    Json idents = Json::array();
    for (const std::uint16_t ident : IdentsWithoutGsd(figures)) idents.push_back(ident);
    root["run"]["gsd_idents_without_file"] = std::move(idents);
  }
  Json stations = Json::array();
  for (const StationFigures* s : ByAddress(figures)) {
    Json object = Json::object();
    JsonSink sink(object);
    VisitStation(*s, sink);
    AddDpJson(figures, *s, object);
    stations.push_back(std::move(object));
  }
  root["stations"] = std::move(stations);
  Json minutes = Json::array();
  for (const MinuteFigures& m : figures.minutes) minutes.push_back(MinuteJson(m));
  root["minutes"] = std::move(minutes);
  // File names and reader messages may hold bytes that are not UTF-8; they are replaced rather
  // than failing the whole report.
  std::string text = root.dump(2, ' ', false, Json::error_handler_t::replace);
  // The events come last, each written as it is made: a long run may hold many of them, and a
  // document of them all would take many times their own memory.
  text.resize(text.size() - 2);  // the line end and the closing brace
  out << text;
  if (figures.dp.events.empty()) {
    out << ",\n  \"events\": []\n}\n";
    return;
  }
  out << ",\n  \"events\": [";
  std::string event;
  for (std::size_t i = 0; i < figures.dp.events.size(); ++i) {
    event = DpEventJson(figures.dp.events[i]).dump(2, ' ', false, Json::error_handler_t::replace);
    out << (i == 0 ? "\n    " : ",\n    ");
    // Each line of the event one level further in.
    std::size_t from = 0;
    for (std::size_t end = event.find('\n'); end != std::string::npos;
         end = event.find('\n', from)) {
      out.write(event.data() + from, static_cast<std::streamsize>(end + 1 - from));
      out << "    ";
      from = end + 1;
    }
    out.write(event.data() + from, static_cast<std::streamsize>(event.size() - from));
  }
  out << "\n  ]\n}\n";
}

void WriteBusCsv(const BusFigures& figures, std::ostream& out) {
  // The CSV's column names join nested names by "_".
  const auto flatten = [&figures](const StationFigures& s, bool any) {
    std::vector<FlatFigure> flat = FlattenStation(s);
    std::vector<FlatFigure> dp = FlattenDpSlave(any ? DpSlaveOf(figures, s.address) : nullptr);
    flat.insert(flat.end(), std::make_move_iterator(dp.begin()), std::make_move_iterator(dp.end()));
    return flat;
  };
  std::vector<std::string> names;
  for (FlatFigure& figure : flatten(StationFigures{}, false)) {
    std::replace(figure.name.begin(), figure.name.end(), '.', '_');
    names.push_back(std::move(figure.name));
  }
  WriteCsvRow(names, out);
  for (const StationFigures* s : ByAddress(figures)) {
    std::vector<std::string> cells;
    for (const FlatFigure& figure : flatten(*s, true)) {
      if (const auto* count = std::get_if<std::uint64_t>(&figure.value)) {
        cells.push_back(Dec(*count));
      } else if (const auto* time = std::get_if<std::int64_t>(&figure.value)) {
        cells.push_back(Dec(*time));
      } else if (const auto* text = std::get_if<std::string>(&figure.value)) {
        cells.push_back(*text);
      } else {
        cells.emplace_back();  // null
      }
    }
    WriteCsvRow(cells, out);
  }
}

void WriteBusTextReport(const BusFigures& figures, std::ostream& out) {
  WriteTitle(figures, out);
  WriteFindings(figures, out);
  WriteLiveList(figures, out);
  WriteStationTable(figures, out);
  WriteDpSlaveTable(figures, out);
  WriteRunSummary(figures, out);
}

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

}  // namespace fdc
