// The station table's columns, their figures and texts, and the table model over them.
#include "ui/health/station_table_model.h"

#include <algorithm>

#include "capture/fdl_protocol.h"
#include "ui/health/health_series.h"

namespace fdc::ui {

namespace {

using F = FigureFormat;

// A heading, a form, a unit and a definition for every figure, in the order in which the report
// flattens a station (FlattenStation); a test holds the two in step.
constexpr std::array<StationColumn, kStationColumnCount> kColumns = {{
    {"address", "Addr", F::kCount, "a station address (0..127)",
     "the station's FDL address, as the frames' SA and DA give it"},
    {"role", "Role", F::kText, "a word (master or slave)",
     "master when the station sent a token or a request, else slave"},
    {"station_type", "Type", F::kText,
     "a word (slave, master-not-ready, master-ready or master-in-ring)",
     "the station type its last response gave (FC bits 5-4); - when it sent no response"},
    {"first_seen_ns", "First seen", F::kClock, "a time of day (ns in the JSON)",
     "the module's clock at the first valid frame the station sent; - without timed records"},
    {"last_seen_ns", "Last seen", F::kClock, "a time of day (ns in the JSON)",
     "the module's clock at the last valid frame the station sent; - without timed records"},
    {"frames_sent", "Sent", F::kCount, "in frames",
     "the valid frames the station sent (requests, replies, short acknowledgements, tokens)"},
    {"requests_sent", "Req sent", F::kCount, "in requests",
     "the requests the station sent as a master, broadcasts included"},
    {"responses_sent", "Resp sent", F::kCount, "in replies",
     "the replies the station sent, short acknowledgements included"},
    {"tokens_sent", "Tokens sent", F::kCount, "in tokens", "the tokens the station passed on"},
    {"tokens_received", "Tokens recv", F::kCount, "in tokens", "the tokens passed to the station"},
    {"requests_received", "Requests", F::kCount, "in requests",
     "requests received that expect a reply, judged by the record after them"},
    {"answered", "Answered", F::kCount, "in requests",
     "requests answered by a valid reply from the station (or a short acknowledgement) as "
     "the next record, within the slot time"},
    {"no_response", "No resp", F::kCount, "in requests",
     "requests (status polls aside) with no valid reply in time (none, a late or a corrupt one)"},
    {"no_response_causes.no_reply", "No reply", F::kCount, "in requests",
     "no responses where nothing valid came back, a corrupt frame after the slot time included"},
    {"no_response_causes.late", "Late reply", F::kCount, "in requests",
     "no responses where a valid reply came after the slot time"},
    {"no_response_causes.corrupt", "Corrupt reply", F::kCount, "in requests",
     "no responses where a corrupt frame came within the slot time"},
    {"absent_polls", "Absent polls", F::kCount, "in requests",
     "unanswered status polls, the master looking for stations (no fault)"},
    {"late_responses", "Late", F::kCount, "in replies",
     "replies after the slot time, status polls included"},
    {"illegal_responses", "Illegal", F::kCount, "in frames",
     "corrupt frames within the slot time after a request to the station"},
    {"early_responses", "Early", F::kCount, "in replies",
     "replies under 11 bit times after the request; - when the baud rate is unknown"},
    {"repeats", "Repeats", F::kCount, "in requests",
     "the same request sent again after no reply, before the master passed the token on"},
    {"repeat_chain_max", "Chain max", F::kCount, "in requests",
     "the longest chain of repeats of one request"},
    {"no_response_run_max", "No resp run", F::kCount, "in requests",
     "the longest run of requests in a row with no valid reply in time"},
    {"response_time_bits.count", "Resp n", F::kCount, "in replies",
     "the answered requests whose response time was measured"},
    {"response_time_bits.min", "Resp min", F::kBits, "in bit times",
     "the shortest idle time from the end of a request to the start of its reply"},
    {"response_time_bits.max", "Resp max", F::kBits, "in bit times",
     "the longest idle time from the end of a request to the start of its reply"},
    {"response_time_bits.mean", "Resp mean", F::kBits, "in bit times",
     "the mean idle time from the end of a request to the start of its reply"},
    {"negative_responses.ue", "UE", F::kCount, "in replies", "negative replies UE (user error)"},
    {"negative_responses.rr", "RR", F::kCount, "in replies", "negative replies RR (no resource)"},
    {"negative_responses.rs", "RS", F::kCount, "in replies",
     "negative replies RS (service not activated)"},
    {"diagnosis_flagged", "Diag", F::kCount, "in replies",
     "replies flagging diagnosis (DH or RDH), the slave having a diagnosis to report"},
    {"services.status_poll", "Status poll", F::kCount, "in requests", "FDL status polls received"},
    {"services.slave_diag", "Slave diag", F::kCount, "in requests",
     "Slave_Diag requests received (DSAP 60)"},
    {"services.set_prm", "Set prm", F::kCount, "in requests",
     "Set_Prm requests received (DSAP 61)"},
    {"services.chk_cfg", "Chk cfg", F::kCount, "in requests",
     "Chk_Cfg requests received (DSAP 62)"},
    {"services.get_cfg", "Get cfg", F::kCount, "in requests",
     "Get_Cfg requests received (DSAP 59)"},
    {"services.rd_inp", "Rd inp", F::kCount, "in requests", "Rd_Inp requests received (DSAP 56)"},
    {"services.rd_outp", "Rd outp", F::kCount, "in requests",
     "Rd_Outp requests received (DSAP 57)"},
    {"services.set_slave_add", "Set slave add", F::kCount, "in requests",
     "Set_Slave_Add requests received (DSAP 55)"},
    {"services.data_exchange", "Data exch", F::kCount, "in requests",
     "Data_Exchange requests received (SRD without service access points)"},
    {"services.other", "Other", F::kCount, "in requests", "the other requests received"},
    {"cycle_ns.count", "Cycles", F::kCount, "in cycles",
     "the times measured between two data exchanges with the slave, repeats aside"},
    {"cycle_ns.min", "Cycle min", F::kDuration, "in ms (ns in the JSON)",
     "the shortest time between two data exchanges with the slave"},
    {"cycle_ns.max", "Cycle max", F::kDuration, "in ms (ns in the JSON)",
     "the longest time between two data exchanges with the slave"},
    {"cycle_ns.mean", "Cycle mean", F::kDuration, "in ms (ns in the JSON)",
     "the mean time between two data exchanges with the slave"},
    {"token_rotation_ns.count", "Rotations", F::kCount, "in rotations",
     "the token rotations of the master measured, each the time between two tokens passed to it"},
    {"token_rotation_ns.min", "Rotation min", F::kDuration, "in ms (ns in the JSON)",
     "the master's shortest token rotation, the time between two tokens passed to it"},
    {"token_rotation_ns.max", "Rotation max", F::kDuration, "in ms (ns in the JSON)",
     "the master's longest token rotation, the time between two tokens passed to it"},
    {"token_rotation_ns.mean", "Rotation mean", F::kDuration, "in ms (ns in the JSON)",
     "the master's mean token rotation, the time between two tokens passed to it"},
    {"ttr_exceeded", "Over TTR", F::kCount, "in rotations",
     "the master's rotations above the target rotation time (TTR); - without a TTR"},
    {"tsyn_violations", "TSYN", F::kCount, "in frames",
     "requests and tokens the master sent after an idle time under TSYN (33 bit times)"},
}};

// The first columns of the view, by their JSON names: the station, its faults, its times. The
// other figures follow in the JSON's order, then the device.
constexpr auto kLeadingColumns = std::to_array<std::string_view>({
    // Frozen at the left.
    "address",
    "role",
    // The faults, as the text report and the findings name them.
    "no_response",
    "no_response_causes.no_reply",
    "no_response_causes.late",
    "no_response_causes.corrupt",
    "no_response_run_max",
    "repeats",
    "repeat_chain_max",
    "late_responses",
    "illegal_responses",
    "early_responses",
    "negative_responses.ue",
    "negative_responses.rr",
    "negative_responses.rs",
    "diagnosis_flagged",
    "tsyn_violations",
    "ttr_exceeded",
    // The times, min mean max as the text report gives them.
    "response_time_bits.count",
    "response_time_bits.min",
    "response_time_bits.mean",
    "response_time_bits.max",
    "cycle_ns.count",
    "cycle_ns.min",
    "cycle_ns.mean",
    "cycle_ns.max",
    "token_rotation_ns.count",
    "token_rotation_ns.min",
    "token_rotation_ns.mean",
    "token_rotation_ns.max",
    // What the station is and the requests it had to answer; the rest as the JSON has them.
    "station_type",
    "requests_received",
    "answered",
});

QVariant AsVariant(const FigureValue& value) {
  if (const auto* u = std::get_if<std::uint64_t>(&value))
    return QVariant::fromValue(qulonglong{*u});
  if (const auto* i = std::get_if<std::int64_t>(&value)) return QVariant::fromValue(qlonglong{*i});
  if (const auto* t = std::get_if<std::string>(&value)) return QString::fromStdString(*t);
  return QVariant();
}

}  // namespace

const std::array<StationColumn, kStationColumnCount> kStationColumns = kColumns;

const std::vector<int>& StationViewOrder() {
  static const std::vector<int> order = [] {
    std::vector<int> columns;
    std::array<bool, kStationColumnCount> placed{};
    for (std::string_view path : kLeadingColumns) {
      for (std::size_t c = 0; c < kColumns.size(); ++c) {
        if (kColumns[c].path != path || placed[c]) continue;
        placed[c] = true;
        columns.push_back(static_cast<int>(c));
      }
    }
    for (std::size_t c = 0; c < kColumns.size(); ++c) {
      if (!placed[c]) columns.push_back(static_cast<int>(c));
    }
    columns.push_back(kDeviceColumn);
    return columns;
  }();
  return order;
}

std::string StationColumnTip(int column) {
  if (column == kDeviceColumn) {
    return "device, a text: the slave's device by its GSD file (Options > GSD Folders), its "
           "vendor, model, revision and file; the cell's tooltip adds its modules and its last "
           "diagnosis texts";
  }
  if (column < 0 || column > kDeviceColumn) return {};
  const StationColumn& c = kColumns[static_cast<std::size_t>(column)];
  std::string tip(c.path);
  tip += ", ";
  tip += c.unit;
  tip += ": ";
  tip += c.definition;
  return tip;
}

FigureValue StationFigure(const StationFigures& station, std::size_t column) {
  std::vector<FlatFigure> figures = FlattenStation(station);
  if (column >= figures.size()) return std::monostate{};
  return std::move(figures[column].value);
}

std::string FigureText(const FigureValue& value, FigureFormat format) {
  if (const auto* t = std::get_if<std::string>(&value)) return *t;
  if (const auto* u = std::get_if<std::uint64_t>(&value)) return std::to_string(*u);
  if (const auto* i = std::get_if<std::int64_t>(&value)) {
    switch (format) {
      case FigureFormat::kClock:
        return ClockTime(*i);
      case FigureFormat::kDuration:
        return Milliseconds(*i);
      case FigureFormat::kCount:
      case FigureFormat::kText:
      case FigureFormat::kBits:
        break;
    }
    return std::to_string(*i);
  }
  return "-";
}

StationTableModel::StationTableModel(QObject* parent) : QAbstractTableModel(parent) {}

void StationTableModel::SetStations(const std::vector<StationFigures>& stations,
                                    const DpFigures* dp) {
  beginResetModel();
  std::vector<const StationFigures*> byAddress;
  for (const StationFigures& station : stations) byAddress.push_back(&station);
  std::stable_sort(
      byAddress.begin(), byAddress.end(),
      [](const StationFigures* a, const StationFigures* b) { return a->address < b->address; });
  rows_.clear();
  addresses_.clear();
  devices_.clear();
  deviceTips_.clear();
  for (const StationFigures* station : byAddress) {
    addresses_.push_back(station->address);
    std::string tip;
    if (dp != nullptr) {
      for (const std::string& line : DeviceLines(*dp, station->address)) {
        tip += (tip.empty() ? "" : "\n") + line;
      }
    }
    devices_.push_back(dp != nullptr ? DeviceText(*dp, station->address) : std::string());
    deviceTips_.push_back(std::move(tip));
    std::vector<FigureValue> row;
    for (FlatFigure& figure : FlattenStation(*station)) row.push_back(std::move(figure.value));
    row.resize(kStationColumns.size());
    rows_.push_back(std::move(row));
  }
  endResetModel();
}

std::uint8_t StationTableModel::AddressAt(int row) const {
  if (row < 0 || static_cast<std::size_t>(row) >= addresses_.size()) return 0;
  return addresses_[static_cast<std::size_t>(row)];
}

int StationTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int StationTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kDeviceColumn + 1;
}

QVariant StationTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) {
    return QVariant();
  }
  const auto row = static_cast<std::size_t>(index.row());
  if (index.column() == kDeviceColumn) {
    switch (role) {
      case Qt::DisplayRole:
      case kFigureRole:
        return QString::fromStdString(devices_[row]);
      case Qt::ToolTipRole:
        return deviceTips_[row].empty() ? QVariant() : QString::fromStdString(deviceTips_[row]);
      case Qt::TextAlignmentRole:
        return static_cast<int>(Qt::AlignLeft | Qt::AlignVCenter);
      default:
        return QVariant();
    }
  }
  const std::size_t column = static_cast<std::size_t>(index.column());
  const FigureValue& value = rows_[row][column];
  switch (role) {
    case Qt::DisplayRole:
      return QString::fromStdString(FigureText(value, kStationColumns[column].format));
    case kFigureRole:
      return AsVariant(value);
    case Qt::ToolTipRole: {
      // The exact figure where the text rounds it.
      const FigureFormat format = kStationColumns[column].format;
      if ((format == FigureFormat::kClock || format == FigureFormat::kDuration) &&
          std::holds_alternative<std::int64_t>(value)) {
        return QString::number(std::get<std::int64_t>(value)) + QStringLiteral(" ns");
      }
      return QVariant();
    }
    case Qt::TextAlignmentRole:
      return kStationColumns[column].format == FigureFormat::kText
                 ? QVariant(static_cast<int>(Qt::AlignLeft | Qt::AlignVCenter))
                 : QVariant(static_cast<int>(Qt::AlignRight | Qt::AlignVCenter));
    default:
      return QVariant();
  }
}

QVariant StationTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  if (role == Qt::ToolTipRole) return QString::fromStdString(StationColumnTip(section));
  if (role != Qt::DisplayRole) return QVariant();
  if (section == kDeviceColumn) return QStringLiteral("Device");
  const std::string_view heading = kStationColumns[static_cast<std::size_t>(section)].heading;
  return QString::fromUtf8(heading.data(), static_cast<qsizetype>(heading.size()));
}

}  // namespace fdc::ui
