// The station table's columns, their figures and texts, and the table model over them.
#include "ui/station_table_model.h"

#include <algorithm>

#include "capture/fdl_protocol.h"
#include "ui/health_series.h"

namespace fdc::ui {

namespace {

using Getter = FigureValue (*)(const StationFigures&);

template <std::uint64_t StationFigures::*kMember>
FigureValue CountOf(const StationFigures& s) {
  return s.*kMember;
}

template <std::optional<std::uint64_t> StationFigures::*kMember>
FigureValue OptionalCountOf(const StationFigures& s) {
  if (!(s.*kMember)) return std::monostate{};
  return *(s.*kMember);
}

template <std::optional<std::int64_t> StationFigures::*kMember>
FigureValue TimeOf(const StationFigures& s) {
  if (!(s.*kMember)) return std::monostate{};
  return *(s.*kMember);
}

// The count of a series, or one of its min, max and mean (absent with nothing counted).
template <std::optional<SeriesFigures> StationFigures::*kMember, std::int64_t SeriesFigures::*kPart>
FigureValue SeriesPartOf(const StationFigures& s) {
  const std::optional<SeriesFigures>& series = s.*kMember;
  if (!series || series->count == 0) return std::monostate{};
  return (*series).*kPart;
}

template <std::optional<SeriesFigures> StationFigures::*kMember>
FigureValue SeriesCountOf(const StationFigures& s) {
  if (!(s.*kMember)) return std::monostate{};
  return (s.*kMember)->count;
}

template <std::size_t kService>
FigureValue ServiceOf(const StationFigures& s) {
  return s.services[kService];
}

FigureValue AddressOf(const StationFigures& s) { return std::uint64_t{s.address}; }
FigureValue RoleOf(const StationFigures& s) { return std::string(s.master ? "master" : "slave"); }
FigureValue StationTypeOf(const StationFigures& s) {
  if (!s.stationType) return std::monostate{};
  return std::string(kStationTypes[*s.stationType & 3].word);
}

struct Column {
  StationColumn info;
  Getter get;
};

using S = StationFigures;
using F = FigureFormat;
using SF = SeriesFigures;

// In the order of fdcstat's JSON station object and CSV columns.
constexpr std::array<Column, kStationColumnCount> kColumns = {{
    {{"address", "Addr", F::kCount}, AddressOf},
    {{"role", "Role", F::kText}, RoleOf},
    {{"station_type", "Type", F::kText}, StationTypeOf},
    {{"first_seen_ns", "First seen", F::kClock}, TimeOf<&S::firstSeenNs>},
    {{"last_seen_ns", "Last seen", F::kClock}, TimeOf<&S::lastSeenNs>},
    {{"frames_sent", "Sent", F::kCount}, CountOf<&S::framesSent>},
    {{"requests_sent", "Req sent", F::kCount}, CountOf<&S::requestsSent>},
    {{"responses_sent", "Resp sent", F::kCount}, CountOf<&S::responsesSent>},
    {{"tokens_sent", "Tokens sent", F::kCount}, CountOf<&S::tokensSent>},
    {{"tokens_received", "Tokens recv", F::kCount}, CountOf<&S::tokensReceived>},
    {{"requests_received", "Requests", F::kCount}, CountOf<&S::requestsReceived>},
    {{"answered", "Answered", F::kCount}, CountOf<&S::answered>},
    {{"no_response", "No resp", F::kCount}, CountOf<&S::noResponse>},
    {{"absent_polls", "Absent polls", F::kCount}, CountOf<&S::absentPolls>},
    {{"late_responses", "Late", F::kCount}, CountOf<&S::lateResponses>},
    {{"illegal_responses", "Illegal", F::kCount}, CountOf<&S::illegalResponses>},
    {{"early_responses", "Early", F::kCount}, OptionalCountOf<&S::earlyResponses>},
    {{"repeats", "Repeats", F::kCount}, CountOf<&S::repeats>},
    {{"repeat_chain_max", "Chain max", F::kCount}, CountOf<&S::repeatChainMax>},
    {{"no_response_run_max", "No resp run", F::kCount}, CountOf<&S::noResponseRunMax>},
    {{"response_time_bits.count", "Resp n", F::kCount}, SeriesCountOf<&S::responseTimeBits>},
    {{"response_time_bits.min", "Resp min", F::kBits},
     SeriesPartOf<&S::responseTimeBits, &SF::min>},
    {{"response_time_bits.max", "Resp max", F::kBits},
     SeriesPartOf<&S::responseTimeBits, &SF::max>},
    {{"response_time_bits.mean", "Resp mean", F::kBits},
     SeriesPartOf<&S::responseTimeBits, &SF::mean>},
    {{"negative_responses.ue", "UE", F::kCount}, CountOf<&S::negativeUe>},
    {{"negative_responses.rr", "RR", F::kCount}, CountOf<&S::negativeRr>},
    {{"negative_responses.rs", "RS", F::kCount}, CountOf<&S::negativeRs>},
    {{"diagnosis_flagged", "Diag", F::kCount}, CountOf<&S::diagnosisFlagged>},
    {{"services.status_poll", "Status poll", F::kCount}, ServiceOf<kServiceStatusPoll>},
    {{"services.slave_diag", "Slave diag", F::kCount}, ServiceOf<kServiceSlaveDiag>},
    {{"services.set_prm", "Set prm", F::kCount}, ServiceOf<kServiceSetPrm>},
    {{"services.chk_cfg", "Chk cfg", F::kCount}, ServiceOf<kServiceChkCfg>},
    {{"services.get_cfg", "Get cfg", F::kCount}, ServiceOf<kServiceGetCfg>},
    {{"services.rd_inp", "Rd inp", F::kCount}, ServiceOf<kServiceRdInp>},
    {{"services.rd_outp", "Rd outp", F::kCount}, ServiceOf<kServiceRdOutp>},
    {{"services.set_slave_add", "Set slave add", F::kCount}, ServiceOf<kServiceSetSlaveAdd>},
    {{"services.data_exchange", "Data exch", F::kCount}, ServiceOf<kServiceDataExchange>},
    {{"services.other", "Other", F::kCount}, ServiceOf<kServiceOther>},
    {{"cycle_ns.count", "Cycles", F::kCount}, SeriesCountOf<&S::cycleNs>},
    {{"cycle_ns.min", "Cycle min", F::kDuration}, SeriesPartOf<&S::cycleNs, &SF::min>},
    {{"cycle_ns.max", "Cycle max", F::kDuration}, SeriesPartOf<&S::cycleNs, &SF::max>},
    {{"cycle_ns.mean", "Cycle mean", F::kDuration}, SeriesPartOf<&S::cycleNs, &SF::mean>},
    {{"token_rotation_ns.count", "Rotations", F::kCount}, SeriesCountOf<&S::tokenRotationNs>},
    {{"token_rotation_ns.min", "Rotation min", F::kDuration},
     SeriesPartOf<&S::tokenRotationNs, &SF::min>},
    {{"token_rotation_ns.max", "Rotation max", F::kDuration},
     SeriesPartOf<&S::tokenRotationNs, &SF::max>},
    {{"token_rotation_ns.mean", "Rotation mean", F::kDuration},
     SeriesPartOf<&S::tokenRotationNs, &SF::mean>},
    {{"ttr_exceeded", "Over TTR", F::kCount}, OptionalCountOf<&S::ttrExceeded>},
    {{"tsyn_violations", "TSYN", F::kCount}, OptionalCountOf<&S::tsynViolations>},
}};

constexpr std::array<StationColumn, kStationColumnCount> ColumnInfos() {
  std::array<StationColumn, kStationColumnCount> infos{};
  for (std::size_t i = 0; i < infos.size(); ++i) infos[i] = kColumns[i].info;
  return infos;
}

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

const std::array<StationColumn, kStationColumnCount> kStationColumns = ColumnInfos();

FigureValue StationFigure(const StationFigures& station, std::size_t column) {
  if (column >= kColumns.size()) return std::monostate{};
  return kColumns[column].get(station);
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

void StationTableModel::SetStations(const std::vector<StationFigures>& stations) {
  beginResetModel();
  stations_ = stations;
  std::stable_sort(
      stations_.begin(), stations_.end(),
      [](const StationFigures& a, const StationFigures& b) { return a.address < b.address; });
  endResetModel();
}

std::uint8_t StationTableModel::AddressAt(int row) const {
  if (row < 0 || static_cast<std::size_t>(row) >= stations_.size()) return 0;
  return stations_[static_cast<std::size_t>(row)].address;
}

int StationTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(stations_.size());
}

int StationTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(kStationColumns.size());
}

QVariant StationTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) {
    return QVariant();
  }
  const StationFigures& station = stations_[static_cast<std::size_t>(index.row())];
  const std::size_t column = static_cast<std::size_t>(index.column());
  switch (role) {
    case Qt::DisplayRole:
      return QString::fromStdString(
          FigureText(StationFigure(station, column), kStationColumns[column].format));
    case kFigureRole:
      return AsVariant(StationFigure(station, column));
    case Qt::ToolTipRole: {
      // The exact figure where the text rounds it.
      const FigureFormat format = kStationColumns[column].format;
      const FigureValue value = StationFigure(station, column);
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
