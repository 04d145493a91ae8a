// RunView: the main window's client area for an open capture run — the filter bar over the
// virtual record table, a find bar under it, and room beside them for more panels (the health
// view). The run's index, the filter pass, the text search and the exports run in the background;
// their progress and a Stop button sit in a part of their own that the window puts into its
// status bar.
#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "engine/bus_findings.h"
#include "engine/dump_run.h"
#include "engine/run_index.h"
#include "ui/common/background_task.h"
#include "ui/run_table/table_filter.h"
#include "ui/run_table/table_navigation.h"

class QAction;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QTableView;
class QTimer;
class QToolButton;

namespace fdc::ui {

class FilterBar;
class RecordTableModel;

enum class ExportFormat { kText, kPcapng };

class RunView : public QWidget {
  Q_OBJECT

 public:
  explicit RunView(QWidget* parent = nullptr);
  // Every background task is stopped and waited for.
  ~RunView() override;

  // Shows the run `request` names (all its files, every record): its index is built in the
  // background while the table already shows the rows indexed so far; the filter in the bar is
  // applied to it. A run open before is closed.
  void OpenRun(const DumpRequest& request);
  void CloseRun();
  bool HasRun() const { return run_.has_value(); }
  const std::optional<DumpRequest>& Run() const { return run_; }
  // The index of every row, built so far.
  const RunIndex* Index() const { return index_.get(); }
  // The filter applied last (null before the first one, and after an error in the equation).
  const TableFilter* CurrentFilter() const { return filter_.get(); }

  // The option file of the filter bar: its equation and argument names go into the bar.
  void SetOptionFile(const QString& path);
  QString OptionFile() const;

  // Adds a panel beside the table (the health view); the user may move the divider.
  void AddSidePanel(QWidget* panel, int stretch = 1);
  QSplitter* Splitter() const { return splitter_; }
  // The task's label, progress bar and Stop, for the window's status bar.
  QWidget* StatusWidget() const { return status_; }

  // The commands, for the window's menus; they act only while a run is open.
  QAction* GoToReferenceAction() const { return goTo_; }
  QAction* NextFaultAction() const { return nextFault_; }
  QAction* PreviousFaultAction() const { return previousFault_; }
  QAction* FindAction() const { return find_; }
  QAction* FindNextAction() const { return findNext_; }
  QAction* FindPreviousAction() const { return findPrevious_; }
  QAction* ExportTextAction() const { return exportText_; }
  QAction* ExportPcapngAction() const { return exportPcapng_; }

  // The operations behind the commands, without their dialogs.
  // Moves to the record; a record the filter hides moves to the next one shown. False when the
  // run does not have the number.
  bool GoToRecord(std::uint32_t refNumber);
  // Moves to the next (previous) faulty row after (before) the current one; false when there is
  // none.
  bool GoToFault(bool forward);
  // Starts a search for `text` in the rows' texts after (before) the current row, going round the
  // end; the table moves to the row found.
  void Find(const QString& text, bool forward);
  // Exports the records the table shows (the filter and its arguments) to `path`. False with a
  // message when it cannot start (no run, an export running, a path that names an input).
  bool StartExport(const QString& path, ExportFormat format, QString* error = nullptr);
  // The run row of the current table row (0 when there is none).
  std::uint64_t CurrentRunRow() const;
  void MoveToRunRow(std::uint64_t row);
  // Asks whether to stop an export still running; false when the user wants to wait for it.
  bool EndTasksBeforeClosing();

  // The index pass read the whole run, unstopped, and found no record in it.
  bool YieldsNoRecord() const {
    return run_ && index_ && index_->Complete() && !indexStopped_ && index_->Records() == 0;
  }
  bool Indexing() const { return indexTask_.Active(); }
  bool Filtering() const { return filterTask_.Active(); }
  bool Finding() const { return findTask_.Active(); }
  bool Exporting() const { return exportTask_.Active(); }

  // The parts, for the window and the tests.
  QTableView* Table() const { return table_; }
  RecordTableModel* Model() const { return model_; }
  FilterBar* Filters() const { return filters_; }
  QWidget* FindBar() const { return findBar_; }
  QLineEdit* FindEdit() const { return findEdit_; }
  QLabel* TaskLabel() const { return taskLabel_; }
  QProgressBar* TaskProgress() const { return taskProgress_; }
  QToolButton* TaskStopButton() const { return taskStop_; }
  QPushButton* OpenButton() const { return openButton_; }

 public slots:
  // From the health view: the table shows the station's records, those of the kind of fault a
  // finding names when it names one.
  void ShowStation(int address, std::optional<fdc::FindingKind> kind = std::nullopt);
  // A finding about the run: its faulty records, or the rows of the files left after a failed
  // search.
  void ShowRunFinding(fdc::FindingKind kind);
  // Moves the table to the first record at or after a time on the module's clock (ns).
  void ShowTime(qint64 ns);
  // The health figures of the open run (null: none): the stations the filter bar offers and the
  // slot time of the station filter's acknowledgements.
  void SetHealthFigures(const fdc::BusFigures* figures);
  // Stops the task whose progress the status part shows.
  void StopTask();

 signals:
  void RunOpened(const fdc::DumpRequest& request);
  void RunClosed();
  // The button of the empty view.
  void OpenRequested();
  void OptionFileChosen(const QString& path);
  // One line for the window's status bar about what just ended.
  void StatusMessage(const QString& text);
  void IndexFinished();
  void FilterFinished();
  void FindFinished(bool found);
  void ExportFinished(bool ok, const QString& message);

 private:
  enum Task : std::size_t { kIndexTask, kFilterTask, kFindTask, kExportTask, kTaskCount };

  void BuildActions();
  void BuildTable();
  void BuildFindBar();
  void BuildStatus();
  void UpdateActions();
  BackgroundTask& TaskOf(Task task);
  void TaskStarted(Task task, const QString& label);
  void TaskEnded(Task task);
  void UpdateStatus();
  void OnTaskProgress(Task task, const ProgressSnapshot& progress);

  void StartIndexPass();
  void OnIndexDone();
  void ApplyFilter(const FilterInput& input);
  void StartFilterPass();
  void OnFilterDone();
  void SetSource();
  void Refresh();
  void UpdateCount();
  void OnFindDone();
  void OnExportDone();
  // Asks for a reference number, starting with what was typed in the table.
  void OnGoToReference(const QString& typed = QString());
  void OnExport(ExportFormat format);
  void OnScrolled(int value);
  void CopyCurrentRow();

  // What the tasks read stays alive while they run: they hold their own references.
  std::optional<DumpRequest> run_;
  std::uint32_t slotTimeBits_ = 0;  // of the health figures; 0: by the run's baud rate
  std::shared_ptr<RunIndex> index_;
  std::shared_ptr<const TableFilter> filter_;
  std::shared_ptr<RunIndex> matches_;  // the filter's matches, when it filters
  std::uint64_t sourceGeneration_ = 0;
  bool indexStopped_ = false;
  bool filterStopped_ = false;
  std::array<unsigned, kTaskCount> percent_{};
  std::array<QString, kTaskCount> taskLabels_;
  std::vector<Task> activeOrder_;  // the task shown last is the one started last
  std::shared_ptr<TextSearchOutcome> findOutcome_;
  std::uint64_t findGeneration_ = 0;
  QString findText_;
  struct ExportJob {
    QString path;
    ExportFormat format = ExportFormat::kText;
    std::uint64_t written = 0;
    std::uint64_t records = 0;
    bool stopped = false;
  };
  std::shared_ptr<ExportJob> exportJob_;

  QSplitter* splitter_ = nullptr;
  QStackedWidget* stack_ = nullptr;
  QPushButton* openButton_ = nullptr;
  FilterBar* filters_ = nullptr;
  QTableView* table_ = nullptr;
  RecordTableModel* model_ = nullptr;
  QWidget* findBar_ = nullptr;
  QLineEdit* findEdit_ = nullptr;
  QLabel* findStatus_ = nullptr;
  QWidget* status_ = nullptr;
  QLabel* taskLabel_ = nullptr;
  QProgressBar* taskProgress_ = nullptr;
  QToolButton* taskStop_ = nullptr;
  QTimer* refresh_ = nullptr;

  QAction* goTo_ = nullptr;
  QAction* nextFault_ = nullptr;
  QAction* previousFault_ = nullptr;
  QAction* find_ = nullptr;
  QAction* findNext_ = nullptr;
  QAction* findPrevious_ = nullptr;
  QAction* exportText_ = nullptr;
  QAction* exportPcapng_ = nullptr;

  // Declared last, so that they are stopped and waited for before anything they read goes.
  BackgroundTask indexTask_;
  BackgroundTask filterTask_;
  BackgroundTask findTask_;
  BackgroundTask exportTask_;
};

}  // namespace fdc::ui
