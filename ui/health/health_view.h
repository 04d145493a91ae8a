// HealthView: the bus health of the open run beside the record table — the findings worst first,
// the live list, the sortable station table and the charts, computed in the background with
// progress and Stop, exported as JSON, CSV, PNG and SVG; clicks on a station, a finding or a
// minute of a chart are passed on as signals for the record table.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "engine/bus_findings.h"
#include "engine/dump_run.h"
#include "ui/common/background_task.h"
#include "ui/health/health_computation.h"
#include "ui/health/health_series.h"

class QComboBox;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;
class QMenu;
class QProgressBar;
class QPushButton;
class QSortFilterProxyModel;
class QSpinBox;
class QTabWidget;
class QTableView;
class QToolButton;

namespace fdc::ui {

class ChartPane;
class DpTab;
class LiveList;
class StationTableModel;

enum class ChartKind { kFaults, kRotation, kResponseTimes };
enum class PictureFormat { kPng, kSvg };

class HealthView : public QWidget {
  Q_OBJECT

 public:
  explicit HealthView(QWidget* parent = nullptr);
  // A computation still going is stopped and waited for.
  ~HealthView() override;

  // Computes the figures of the run `request` names: all its files, every record (its reference
  // window, option file, filter and output are not used), with the view's settings. A
  // computation still going is stopped first; the new one starts when it has returned. The
  // figures of another run go at once; those of the same run stay until the new ones come.
  void Compute(const fdc::DumpRequest& request);
  // Computes the last run again, with the settings now in the view.
  void Recompute();
  // Stops the computation between two records; the figures of the records read are shown.
  void Stop();
  // Forgets the run and its figures.
  void Clear();

  // The slot time and TTR fields (0 in a field: the default slot time, no TTR) and the GSD
  // library.
  HealthSettings Settings() const;
  void SetSettings(const HealthSettings& settings);
  // The GSD files that name and check the DP slaves (null: none); the open run is computed again
  // with them.
  void SetGsdLibrary(std::shared_ptr<const dp::GsdLibrary> gsd);
  // The library the figures shown were computed with; null with none, or without figures.
  const std::shared_ptr<const dp::GsdLibrary>& FiguresGsd() const { return figuresGsd_; }

  bool Computing() const;
  // The figures shown; null before the first result and after Clear.
  const BusFigures* Figures() const { return figures_ ? &*figures_ : nullptr; }
  const std::vector<BusFinding>& Findings() const { return findings_; }
  // What the view says about the last computation (or its progress).
  QString StatusText() const;

  // Writes the figures with fdcstat's writers. False with a message when there are no figures,
  // the path names a file of the run, or the file can't be written.
  bool ExportFigures(const QString& path, FiguresFormat format, QString* error = nullptr);
  // Saves a chart as it is drawn now, under the same refusals.
  bool ExportChart(ChartKind chart, const QString& path, PictureFormat format,
                   QString* error = nullptr);

  // The parts, for the main window's layout and for the tests.
  // The findings, each expandable into its first records.
  QTreeWidget* FindingsList() const { return findingsList_; }

  // A record under a finding: its reference number and time on the module's clock.
  struct FindingRecord {
    std::uint32_t ref = 0;
    std::int64_t absNs = 0;
  };
  // Looks for a finding's first records in the background; null when the finding has none to
  // list (its records are not the matches of a filter).
  using FirstRecordsJob =
      std::function<Result(const RunControl& control, std::vector<FindingRecord>& out)>;
  using FirstRecordsLookup = std::function<FirstRecordsJob(
      const DumpRequest& run, const BusFinding& finding, const std::vector<quint32>& dpRefs,
      std::uint32_t slotTimeBits)>;
  // What finds a finding's records (the record table's filters do); without one the findings
  // do not expand.
  void SetFirstRecordsLookup(FirstRecordsLookup lookup) { firstRecordsLookup_ = std::move(lookup); }
  LiveList* LiveListGrid() const { return liveList_; }
  QTableView* StationTable() const { return table_; }
  ChartPane* Chart(ChartKind chart) const;
  QTabWidget* Tabs() const { return tabs_; }
  QComboBox* HistogramStation() const { return histogramStation_; }
  QProgressBar* ProgressBar() const { return progress_; }
  QPushButton* ComputeButton() const { return compute_; }
  QPushButton* StopButton() const { return stop_; }
  QSpinBox* SlotTimeField() const { return tslField_; }
  QSpinBox* TtrField() const { return ttrField_; }
  QToolButton* ExportButton() const { return export_; }
  DpTab* DpArea() const { return dpTab_; }
  // Writes the DP events the DP tab's log shows, as CSV or as text, under the exports' refusals.
  bool ExportDpEvents(const QString& path, bool csv, QString* error = nullptr);

  // The tab that shows a chart.
  int ChartTab(ChartKind chart) const;

 signals:
  // A station was clicked in the live list or the station table: the record table may show its
  // records.
  void StationActivated(int address);
  // A finding was clicked: the record table may show its records. `dpRefs`: the requests of a DP
  // finding's events, ascending (empty for the other findings).
  void FindingActivated(const fdc::BusFinding& finding, const std::vector<quint32>& dpRefs);
  // A record under a finding was clicked, after FindingActivated: to select once the record
  // table's filter shows it.
  void FindingRecordActivated(quint32 ref);
  // A minute file was clicked in a chart: the time of its first record, in ns on the module's
  // clock as the figures give it (MinuteFigures::firstRecordNs).
  void TimeActivated(qint64 ns);
  // A record behind the DP tab's timeline or event log was clicked.
  void RecordActivated(quint32 ref);
  void ComputationStarted();
  // The computation has returned and its figures (if any) are shown; `statusLine` says how it
  // went.
  void ComputationFinished(const QString& statusLine);
  // The computation's progress, for a status bar of the window's own.
  void ProgressChanged(const fdc::ui::ProgressSnapshot& progress);

 private:
  void BuildControls();
  void BuildBody();
  void StartPending();
  void OnProgress(const ProgressSnapshot& progress);
  void OnDone();
  void ShowFigures();
  void ShowFindings();
  void ShowHistogram();
  void SelectStation(int address);
  void UpdateButtons();
  void OnFindingClicked(QTreeWidgetItem* item);
  // The first records of a finding, looked for in the background the first time it is expanded.
  void OnFindingExpanded(QTreeWidgetItem* item);
  void OnFirstRecordsFound();
  void StopFirstRecords();
  std::vector<quint32> DpRefsOf(const BusFinding& finding) const;
  void OnTableClicked(const QModelIndex& index);
  void OnMinuteClicked(int minute);
  void OnExportFigures(FiguresFormat format);
  void OnExportChart(PictureFormat format);
  void OnExportDpEvents(bool csv);
  // A path that may be written: not a file of the run.
  bool Refused(const QString& path, QString* error) const;

  HealthComputation computation_;
  std::optional<DumpRequest> run_;      // the run computed last, or being computed
  std::optional<DumpRequest> pending_;  // waits for the computation that is stopping
  std::optional<BusFigures> figures_;
  std::shared_ptr<const dp::GsdLibrary> gsd_;           // the setting
  std::shared_ptr<const dp::GsdLibrary> computingGsd_;  // of the computation going
  std::shared_ptr<const dp::GsdLibrary> figuresGsd_;    // of the figures shown
  std::vector<BusFinding> findings_;
  std::vector<FaultMinute> minutes_;

  QSpinBox* tslField_ = nullptr;
  QSpinBox* ttrField_ = nullptr;
  QPushButton* compute_ = nullptr;
  QPushButton* stop_ = nullptr;
  QToolButton* export_ = nullptr;
  DpTab* dpTab_ = nullptr;
  QMenu* exportMenu_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* status_ = nullptr;
  QTreeWidget* findingsList_ = nullptr;
  BackgroundTask firstRecordsTask_;
  QTreeWidgetItem* lookingIn_ = nullptr;  // the finding whose first records are looked for
  std::shared_ptr<std::vector<FindingRecord>> firstRecords_;
  FirstRecordsLookup firstRecordsLookup_;
  LiveList* liveList_ = nullptr;
  QTableView* table_ = nullptr;
  StationTableModel* model_ = nullptr;
  QSortFilterProxyModel* sorted_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  ChartPane* faultsChart_ = nullptr;
  ChartPane* rotationChart_ = nullptr;
  ChartPane* histogramChart_ = nullptr;
  QComboBox* histogramStation_ = nullptr;
};

}  // namespace fdc::ui
