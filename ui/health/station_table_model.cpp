// The station table's columns, their figures and texts, and the table model over them.
#include "ui/health/station_table_model.h"

#include <algorithm>

#include "capture/fdl_protocol.h"
#include "ui/health/health_series.h"

namespace fdc::ui {

namespace {

using F = FigureFormat;

// A heading and a form for every figure, in the order in which the report flattens a station
// (FlattenStation); a test holds the two in step.
constexpr std::array<StationColumn, kStationColumnCount> kColumns = {{
    {"address", "Addr", F::kCount},
    {"role", "Role", F::kText},
    {"station_type", "Type", F::kText},
    {"first_seen_ns", "First seen", F::kClock},
    {"last_seen_ns", "Last seen", F::kClock},
    {"frames_sent", "Sent", F::kCount},
    {"requests_sent", "Req sent", F::kCount},
    {"responses_sent", "Resp sent", F::kCount},
    {"tokens_sent", "Tokens sent", F::kCount},
    {"tokens_received", "Tokens recv", F::kCount},
    {"requests_received", "Requests", F::kCount},
    {"answered", "Answered", F::kCount},
    {"no_response", "No resp", F::kCount},
    {"no_response_causes.no_reply", "No reply", F::kCount},
    {"no_response_causes.late", "Late reply", F::kCount},
    {"no_response_causes.corrupt", "Corrupt reply", F::kCount},
    {"absent_polls", "Absent polls", F::kCount},
    {"late_responses", "Late", F::kCount},
    {"illegal_responses", "Illegal", F::kCount},
    {"early_responses", "Early", F::kCount},
    {"repeats", "Repeats", F::kCount},
    {"repeat_chain_max", "Chain max", F::kCount},
    {"no_response_run_max", "No resp run", F::kCount},
    {"response_time_bits.count", "Resp n", F::kCount},
    {"response_time_bits.min", "Resp min", F::kBits},
    {"response_time_bits.max", "Resp max", F::kBits},
    {"response_time_bits.mean", "Resp mean", F::kBits},
    {"negative_responses.ue", "UE", F::kCount},
    {"negative_responses.rr", "RR", F::kCount},
    {"negative_responses.rs", "RS", F::kCount},
    {"diagnosis_flagged", "Diag", F::kCount},
    {"services.status_poll", "Status poll", F::kCount},
    {"services.slave_diag", "Slave diag", F::kCount},
    {"services.set_prm", "Set prm", F::kCount},
    {"services.chk_cfg", "Chk cfg", F::kCount},
    {"services.get_cfg", "Get cfg", F::kCount},
    {"services.rd_inp", "Rd inp", F::kCount},
    {"services.rd_outp", "Rd outp", F::kCount},
    {"services.set_slave_add", "Set slave add", F::kCount},
    {"services.data_exchange", "Data exch", F::kCount},
    {"services.other", "Other", F::kCount},
    {"cycle_ns.count", "Cycles", F::kCount},
    {"cycle_ns.min", "Cycle min", F::kDuration},
    {"cycle_ns.max", "Cycle max", F::kDuration},
    {"cycle_ns.mean", "Cycle mean", F::kDuration},
    {"token_rotation_ns.count", "Rotations", F::kCount},
    {"token_rotation_ns.min", "Rotation min", F::kDuration},
    {"token_rotation_ns.max", "Rotation max", F::kDuration},
    {"token_rotation_ns.mean", "Rotation mean", F::kDuration},
    {"ttr_exceeded", "Over TTR", F::kCount},
    {"tsyn_violations", "TSYN", F::kCount},
}};

// What a column's figures are in, for the header's tooltip.
std::string_view UnitOf(FigureFormat format) {
  switch (format) {
    case FigureFormat::kClock:
      return "time of day (ns in the JSON)";
    case FigureFormat::kDuration:
      return "ms (ns in the JSON)";
    case FigureFormat::kBits:
      return "bit times";
    case FigureFormat::kCount:
    case FigureFormat::kText:
      break;
  }
  return {};
}

QVariant AsVariant(const FigureValue& value) {
  if (const auto* u = std::get_if<std::uint64_t>(&value))
    return QVariant::fromValue(qulonglong{*u});
  if (const auto* i = std::get_if<std::int64_t>(&value)) return QVariant::fromValue(qlonglong{*i});
  if (const auto* t = std::get_if<std::string>(&value)) return QString::fromStdString(*t);
  return QVariant();
}

}  // namespace

const std::array<StationColumn, kStationColumnCount> kStationColumns = kColumns;

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
  if (section == kDeviceColumn) {
    if (role == Qt::DisplayRole) return QStringLiteral("Device");
    if (role == Qt::ToolTipRole) {
      return QStringLiteral(
          "The slave's device by its GSD file (Options > GSD Folders): vendor, model, revision "
          "and file; the cell's tooltip adds its modules and its last diagnosis texts");
    }
    return QVariant();
  }
  const StationColumn& column = kStationColumns[static_cast<std::size_t>(section)];
  if (role == Qt::DisplayRole)
    return QString::fromUtf8(column.heading.data(), column.heading.size());
  if (role == Qt::ToolTipRole) {
    QString tip = QString::fromUtf8(column.path.data(), column.path.size());
    const std::string_view unit = UnitOf(column.format);
    if (!unit.empty()) tip += QStringLiteral(", ") + QString::fromUtf8(unit.data(), unit.size());
    return tip;
  }
  return QVariant();
}

}  // namespace fdc::ui
