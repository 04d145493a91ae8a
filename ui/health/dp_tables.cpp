// The DP tab's event log and slaves table.
#include "ui/health/dp_tables.h"

#include <algorithm>
#include <array>
#include <map>
#include <numeric>
#include <tuple>

#include "common/text_appenders.h"
#include "engine/bus_findings.h"
#include "ui/health/health_series.h"

namespace fdc::ui {

namespace {

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

QString Clock(const std::optional<std::int64_t>& ns) {
  if (!ns) return QStringLiteral("-");
  std::string text;
  StringSink sink{text};
  AppendClock(sink, *ns);
  return QString::fromStdString(text);
}

constexpr std::array<const char*, kEventColumns> kEventHeadings = {"Time",   "No.",  "Station",
                                                                   "Master", "Kind", "Event"};

// What an event's fields say, column by column.
QString EventCell(const DpEvent& e, int column) {
  switch (column) {
    case kEventTime:
      return Clock(e.timeNs);
    case kEventRef:
      return QString::number(e.ref);
    case kEventStation:
      return QString::number(e.station);
    case kEventMaster:
      return e.kind == DpEventKind::kGlobalControl ? QStringLiteral("-")
                                                   : QString::number(e.master);
    case kEventKind:
      return Q(DpEventKindName(e.kind));
    case kEventText:
      return QString::fromStdString(DpEventText(e));
    default:
      return {};
  }
}

QString CsvField(const QString& text) {
  if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"'))) return text;
  QString quoted = text;
  quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
  return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// The events a finding counts.
bool CountedBy(const DpEvent& e, FindingKind kind) {
  switch (kind) {
    case FindingKind::kDpNeverReached:
      return true;
    case FindingKind::kDpDropped:
      return e.kind == DpEventKind::kState && e.from == DpState::kDataExchange;
    case FindingKind::kDpDiagnosis: {
      const auto* diag = std::get_if<dp::SlaveDiag>(&e.Detail().decoded);
      return e.kind == DpEventKind::kSlaveDiag && diag != nullptr &&
             std::any_of(kDpFaultFlags.begin(), kDpFaultFlags.end(),
                         [diag](dp::DiagFlag f) { return diag->Has(f); });
    }
    case FindingKind::kDpWatchdog:
      return e.kind == DpEventKind::kWatchdogExceeded;
    case FindingKind::kDpFcb:
      return e.kind == DpEventKind::kFcbNotToggled || e.kind == DpEventKind::kFcbToggledOnRepeat;
    case FindingKind::kDpConfig:
      return e.kind == DpEventKind::kCfgMismatch;
    case FindingKind::kDpIoLength:
      return e.kind == DpEventKind::kIoLengthMismatch;
    default:
      return false;
  }
}

}  // namespace

// --- The event log -------------------------------------------------------------------------------

DpEventModel::DpEventModel(QObject* parent) : QAbstractTableModel(parent) {}

void DpEventModel::SetFigures(const BusFigures* figures) {
  beginResetModel();
  events_ = figures != nullptr ? &figures->dp.events : nullptr;
  ++generation_;
  endResetModel();
}

int DpEventModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || events_ == nullptr ? 0 : static_cast<int>(events_->size());
}

int DpEventModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kEventColumns;
}

QVariant DpEventModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const DpEvent& e = EventAt(index.row());
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return EventCell(e, index.column());
  if (role == Qt::TextAlignmentRole && index.column() <= kEventMaster) {
    return QVariant(Qt::AlignRight | Qt::AlignVCenter);
  }
  return {};
}

QVariant DpEventModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kEventColumns) return {};
  if (role == Qt::DisplayRole) return QString::fromLatin1(kEventHeadings[section]);
  if (role == Qt::ToolTipRole && section == kEventText) {
    return QStringLiteral("The event as fdcstat --format events writes it");
  }
  return {};
}

DpEventFilter::DpEventFilter(QObject* parent) : QSortFilterProxyModel(parent) {}

void DpEventFilter::SetKind(std::optional<DpEventKind> kind) {
  kind_ = kind;
  invalidateFilter();
}

void DpEventFilter::SetStation(std::optional<std::uint8_t> station) {
  station_ = station;
  invalidateFilter();
}

bool DpEventFilter::filterAcceptsRow(int row, const QModelIndex& parent) const {
  if (parent.isValid()) return false;
  const auto* model = static_cast<const DpEventModel*>(sourceModel());
  const DpEvent& e = model->EventAt(row);
  if (kind_ && e.kind != *kind_) return false;
  return !station_ || e.station == *station_ ||
         (e.kind != DpEventKind::kGlobalControl && e.master == *station_);
}

namespace {

// The kinds by their names' order.
const std::array<std::uint8_t, kDpEventKindNames.size()>& KindRanks() {
  static const auto ranks = [] {
    std::array<std::uint8_t, kDpEventKindNames.size()> order{};
    std::iota(order.begin(), order.end(), std::uint8_t{0});
    std::sort(order.begin(), order.end(), [](std::uint8_t a, std::uint8_t b) {
      return kDpEventKindNames[a] < kDpEventKindNames[b];
    });
    std::array<std::uint8_t, kDpEventKindNames.size()> rank{};
    for (std::size_t i = 0; i < order.size(); ++i) rank[order[i]] = static_cast<std::uint8_t>(i);
    return rank;
  }();
  return ranks;
}

int MasterKey(const DpEvent& e) { return e.kind == DpEventKind::kGlobalControl ? -1 : e.master; }

}  // namespace

const std::vector<std::uint32_t>& DpEventFilter::TextRanks() const {
  const auto* model = static_cast<const DpEventModel*>(sourceModel());
  if (rankedGeneration_ == model->Generation()) return textRanks_;
  using Key = std::tuple<const DpEventDetail*, DpEventKind, DpState, DpState>;
  std::map<Key, std::uint32_t> ids;
  std::vector<QString> texts;
  const int rows = model->rowCount();
  textRanks_.assign(static_cast<std::size_t>(rows), 0);
  for (int row = 0; row < rows; ++row) {
    const DpEvent& e = model->EventAt(row);
    const auto [at, fresh] = ids.try_emplace(Key{e.DetailPointer().get(), e.kind, e.from, e.to},
                                             static_cast<std::uint32_t>(texts.size()));
    if (fresh) texts.push_back(EventCell(e, kEventText));
    textRanks_[static_cast<std::size_t>(row)] = at->second;
  }
  // Equal texts take the same place.
  std::vector<std::uint32_t> order(texts.size());
  std::iota(order.begin(), order.end(), 0u);
  std::sort(order.begin(), order.end(),
            [&texts](std::uint32_t a, std::uint32_t b) { return texts[a] < texts[b]; });
  std::vector<std::uint32_t> place(texts.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    place[order[i]] = i > 0 && texts[order[i]] == texts[order[i - 1]]
                          ? place[order[i - 1]]
                          : static_cast<std::uint32_t>(i);
  }
  for (std::uint32_t& rank : textRanks_) rank = place[rank];
  rankedGeneration_ = model->Generation();
  return textRanks_;
}

bool DpEventFilter::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  const auto* model = static_cast<const DpEventModel*>(sourceModel());
  const int l = left.row();
  const int r = right.row();
  switch (left.column()) {
    case kEventTime:
    case kEventRef:
      // The events are in record order: the row sorts time and reference alike, and events
      // without a time keep their place.
      return l < r;
    case kEventStation:
      return model->EventAt(l).station < model->EventAt(r).station;
    case kEventMaster:
      return MasterKey(model->EventAt(l)) < MasterKey(model->EventAt(r));
    case kEventKind:
      return KindRanks()[static_cast<std::size_t>(model->EventAt(l).kind)] <
             KindRanks()[static_cast<std::size_t>(model->EventAt(r).kind)];
    default: {
      const std::vector<std::uint32_t>& ranks = TextRanks();
      return ranks[static_cast<std::size_t>(l)] < ranks[static_cast<std::size_t>(r)];
    }
  }
}

std::vector<const DpEvent*> DpEventFilter::Shown() const {
  std::vector<const DpEvent*> shown;
  const auto* model = static_cast<const DpEventModel*>(sourceModel());
  for (int r = 0; r < rowCount(); ++r) {
    shown.push_back(&model->EventAt(mapToSource(index(r, 0)).row()));
  }
  return shown;
}

bool WriteDpEvents(const std::vector<const DpEvent*>& events, bool csv, QIODevice& out) {
  if (csv && out.write("time,ref,station,master,kind,event\n") < 0) return false;
  for (const DpEvent* e : events) {
    QByteArray line;
    if (csv) {
      QStringList fields;
      for (int c = 0; c < kEventColumns; ++c) fields << CsvField(EventCell(*e, c));
      line = fields.join(QLatin1Char(',')).toUtf8();
    } else {
      line = QByteArray::fromStdString(DpEventLine(*e));
    }
    line += '\n';
    if (out.write(line) != line.size()) return false;
  }
  return true;
}

// --- The slaves table ----------------------------------------------------------------------------

DpSlaveModel::DpSlaveModel(QObject* parent) : QAbstractTableModel(parent) {}

void DpSlaveModel::SetFigures(const BusFigures* figures) {
  beginResetModel();
  rows_ = figures != nullptr ? DpSlaveRows(*figures) : std::vector<DpSlaveRow>{};
  devices_.clear();
  for (const DpSlaveRow& row : rows_) devices_.push_back(DeviceText(figures->dp, row.address));
  endResetModel();
}

int DpSlaveModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int DpSlaveModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kSlaveColumns;
}

QVariant DpSlaveModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const DpSlaveRow& row = rows_[static_cast<std::size_t>(index.row())];
  const auto column = static_cast<std::size_t>(index.column());
  const bool figure = column < kDpSlaveColumns;
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
    if (figure) return QString::fromStdString(row.texts[column]);
    const std::string* text = &row.diagnosis;
    switch (index.column()) {
      case kSlaveChannelErrors:
        text = &row.channelErrors;
        break;
      case kSlaveDevice:
        text = &devices_[static_cast<std::size_t>(index.row())];
        break;
      case kSlaveModules:
        text = &row.modules;
        break;
      case kSlaveDiagnosisTexts:
        text = &row.diagnosisTexts;
        break;
      default:
        break;
    }
    return QString::fromStdString(text->empty() ? "-" : *text);
  }
  if (role == kSortRole) {
    if (figure && column != 2) return row.values[column];
    return data(index, Qt::DisplayRole);
  }
  if (role == Qt::TextAlignmentRole && figure && column != 1 && column != 2) {
    return QVariant(Qt::AlignRight | Qt::AlignVCenter);
  }
  return {};
}

QVariant DpSlaveModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  if (role == Qt::ToolTipRole) {
    switch (section) {
      case kSlaveDevice:
        return QStringLiteral("The device by the slave's GSD file (Options > GSD Folders)");
      case kSlaveModules:
        return QStringLiteral("The configuration in the modules of the slave's GSD file, by slot");
      case kSlaveDiagnosisTexts:
        return QStringLiteral("The texts of the slave's GSD file for its last diagnosis");
      default:
        return {};
    }
  }
  if (role != Qt::DisplayRole) return {};
  if (section >= 0 && static_cast<std::size_t>(section) < kDpSlaveColumns) {
    return Q(kDpSlaveHeadings[static_cast<std::size_t>(section)]);
  }
  switch (section) {
    case kSlaveDiagnosis:
      return QStringLiteral("Diagnosis");
    case kSlaveChannelErrors:
      return QStringLiteral("Channel errors");
    case kSlaveDevice:
      return QStringLiteral("Device");
    case kSlaveModules:
      return QStringLiteral("Modules");
    case kSlaveDiagnosisTexts:
      return QStringLiteral("Last diagnosis texts");
    default:
      return {};
  }
}

std::vector<std::uint32_t> RecordsOfDpFinding(const BusFigures& figures, FindingKind kind,
                                              std::uint8_t station) {
  std::vector<std::uint32_t> refs;
  if (kind == FindingKind::kDpClearData) {
    const auto& master = figures.dp.masters[station & 0x7F];
    if (master && master->firstClearDataRef) refs.push_back(*master->firstClearDataRef);
    return refs;
  }
  for (const DpEvent& e : figures.dp.events) {
    if (e.station == station && e.kind != DpEventKind::kGlobalControl && CountedBy(e, kind)) {
      refs.push_back(e.ref);
    }
  }
  std::sort(refs.begin(), refs.end());
  refs.erase(std::unique(refs.begin(), refs.end()), refs.end());
  return refs;
}

}  // namespace fdc::ui
