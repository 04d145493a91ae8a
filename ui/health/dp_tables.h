// The DP tab's tables without a display: the event log (time, reference, station, master, kind
// and the event's one-line decode, as fdcstat --format events writes it) with its filters by kind
// and station and its exports as CSV and as the events' text; and the DP slaves table of the text
// report, sortable by each figure, with each slave's device, modules and last diagnosis texts by
// its GSD file.
#pragma once

#include <QAbstractTableModel>
#include <QIODevice>
#include <QSortFilterProxyModel>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/bus_statistics.h"
#include "report/dp_report.h"

namespace fdc::ui {

enum DpEventColumn : int {
  kEventTime,
  kEventRef,
  kEventStation,
  kEventMaster,
  kEventKind,
  kEventText,
  kEventColumns,
};

class DpEventModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit DpEventModel(QObject* parent = nullptr);
  // The events of `figures`, which must stay until the next call (null: none).
  void SetFigures(const BusFigures* figures);
  const DpEvent& EventAt(int row) const { return (*events_)[static_cast<std::size_t>(row)]; }
  // Counts the figures set, so that what was worked out from the events knows when to go.
  std::uint64_t Generation() const { return generation_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  const DpEventLog* events_ = nullptr;
  std::uint64_t generation_ = 0;
};

// The events of one kind and one station (either may be any), sorted by any column. A day's log
// holds millions of events: rows are compared by their numbers, never through their texts.
class DpEventFilter : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  explicit DpEventFilter(QObject* parent = nullptr);
  void SetKind(std::optional<DpEventKind> kind);
  void SetStation(std::optional<std::uint8_t> station);
  // The events shown, in the order shown.
  std::vector<const DpEvent*> Shown() const;

 protected:
  bool filterAcceptsRow(int row, const QModelIndex& parent) const override;
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

 private:
  // Each event's place among the events' texts in the order of their strings, worked out from one
  // text for each kind, states and shared detail (those make the text).
  const std::vector<std::uint32_t>& TextRanks() const;

  std::optional<DpEventKind> kind_;
  std::optional<std::uint8_t> station_;
  mutable std::vector<std::uint32_t> textRanks_;
  mutable std::optional<std::uint64_t> rankedGeneration_;
};

// Writes "time,ref,station,master,kind,event" and a line per event, fields quoted as CSV needs
// (`csv`), or the events' lines as fdcstat --format events writes them, a line at a time: a day's
// log is never held whole. False when the device failed.
bool WriteDpEvents(const std::vector<const DpEvent*>& events, bool csv, QIODevice& out);

// The columns after the report's figures.
enum DpSlaveColumn : int {
  kSlaveDiagnosis = static_cast<int>(kDpSlaveColumns),
  kSlaveChannelErrors,
  kSlaveDevice,  // by the GSD file: the name, or that there is none for the ident
  kSlaveModules,
  kSlaveDiagnosisTexts,
  kSlaveColumns,
};

class DpSlaveModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kSortRole = Qt::UserRole + 1;

  explicit DpSlaveModel(QObject* parent = nullptr);
  void SetFigures(const BusFigures* figures);
  std::uint8_t AddressAt(int row) const { return rows_[static_cast<std::size_t>(row)].address; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  std::vector<DpSlaveRow> rows_;
  std::vector<std::string> devices_;  // by row: DeviceText
};

// The records behind a DP finding of a station: the requests of the events that the finding
// counts, ascending, without repeats; none for a finding that no event marks.
std::vector<std::uint32_t> RecordsOfDpFinding(const BusFigures& figures, FindingKind kind,
                                              std::uint8_t station);

}  // namespace fdc::ui
