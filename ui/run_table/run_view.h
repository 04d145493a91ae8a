// RunView: the main window's client area for an open capture run — the filter bar over the
// virtual record table, a find bar under it, and room beside them for more panels (the health
// view). The run itself, with its background tasks (the index, the filter pass, the text search,
// the exports), is the view's RunSession; the view shows it, and the tasks' progress and a Stop
// button sit in a part of their own that the window puts into its status bar.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/bus_findings.h"
#include "engine/dump_run.h"
#include "ui/run_table/run_session.h"
#include "ui/run_table/run_watch.h"
#include "ui/run_table/table_filter.h"

class QAction;
class QLabel;
class QLineEdit;
class QProgressBar;
class QScrollBar;
class QPushButton;
class QSplitter;
class QStackedWidget;
class QTableView;
class QTimer;
class QToolButton;

namespace fdc::ui {

class FilterBar;
class RecordTableModel;

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
  // The open run with its index, filter, tasks and exports.
  RunSession& Session() { return session_; }
  const RunSession& Session() const { return session_; }

  // The option file of the filter bar: its equation and argument names go into the bar, its
  // columns into a text export.
  void SetOptionFile(const QString& path);

  // Adds a panel beside the table (the health view); the user may move the divider.
  void AddSidePanel(QWidget* panel, int stretch = 1);
  QSplitter* Splitter() const { return splitter_; }
  // Puts a panel under the table (the record details); the user may move the divider.
  void SetBottomPanel(QWidget* panel);
  QSplitter* BottomSplitter() const { return tableSplitter_; }
  // The reference number of the record in the current row; 0 for none or an event row.
  std::uint32_t CurrentRecord() const;
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
  // Moves to the next (previous) row after (before) the current one with a fault of the kinds
  // chosen in the filter bar, or while the table shows a finding's records to its next
  // (previous) record; false when there is none.
  bool GoToFault(bool forward);
  // Starts a search for `text` in the rows' texts after (before) the current row, going round the
  // end; the table moves to the row found.
  void Find(const QString& text, bool forward);
  // The run row of the current table row (0 when there is none).
  std::uint64_t CurrentRunRow() const;
  void MoveToRunRow(std::uint64_t row);
  // Asks whether to stop an export still running; false when the user wants to wait for it.
  bool EndTasksBeforeClosing();

  // The parts, for the window and the tests.
  QTableView* Table() const { return table_; }
  // The scroll bar that stands for the whole run (the table's own scrolls its window of it).
  QScrollBar* RunScrollBar() const { return rowBar_; }
  RecordTableModel* Model() const { return model_; }
  FilterBar* Filters() const { return filters_; }
  QWidget* FindBar() const { return findBar_; }
  QLineEdit* FindEdit() const { return findEdit_; }
  QLabel* TaskLabel() const { return taskLabel_; }
  QProgressBar* TaskProgress() const { return taskProgress_; }
  QToolButton* TaskStopButton() const { return taskStop_; }
  QPushButton* OpenButton() const { return openButton_; }
  QWidget* ChangeBar() const { return changeBar_; }
  QPushButton* ReloadButton() const { return reload_; }
  QPushButton* DismissButton() const { return dismiss_; }
  // Looks at the run's files now, as the timer does every two seconds.
  void CheckRunFilesNow() { CheckRunFiles(); }

 public slots:
  // From the health view: the table shows the station's records and selects the first one.
  void ShowStation(int address);
  // The table shows the records a finding is about (`dpRefs`: those of a DP finding's events,
  // ascending) and selects the first one; F8 then walks them until the filter is changed.
  void ShowFinding(const fdc::BusFinding& finding, const std::vector<quint32>& dpRefs);
  // Moves the table to the first record at or after a time on the module's clock (ns).
  void ShowTime(qint64 ns);
  // Selects the record; a filter that hides it is cleared first, with a note in the status bar.
  // False when the table does not have the record (yet).
  bool ShowRecord(quint32 ref);
  // Selects the record once the filter being applied shows it (at once when it does already);
  // when the filter's pass ends without it, the status bar says so.
  void SelectRecordWhenShown(quint32 ref);
  // The health figures of the open run (null: none): the stations the filter bar offers and the
  // slot time of the station filter's acknowledgements.
  void SetHealthFigures(const fdc::BusFigures* figures);
  // Stops the task whose progress the status part shows.
  void StopTask();

 signals:
  void RunOpened(const fdc::DumpRequest& request);
  // The current row's record changed (0: none, or an event row).
  void CurrentRecordChanged(quint32 ref);
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
  void BuildActions();
  void BuildTable();
  void BuildFindBar();
  // The bar that says the run's files changed on disk, with Reload and Dismiss.
  void BuildChangeBar();
  void CheckRunFiles();
  void ReloadRun();
  // Reload of a run that grew: reads on from the index's last entry; false when it cannot.
  bool ReadOnRun(const DumpRequest& request, const RunFilesState& now);
  void BuildStatus();
  void UpdateActions();
  void UpdateStatus();
  void OnTasksChanged();

  void ApplyFilter(const FilterInput& input);
  void SetSource();
  void Refresh();
  void UpdateCount();
  void OnIndexFinished(const QString& statusLine, const QString& failure);
  void OnFilterFinished(const QString& failure);
  void OnFindFinished(const FindEnd& end);
  void OnExportFinished(const ExportEnd& end);
  // Asks for a reference number, starting with what was typed in the table.
  void OnGoToReference(const QString& typed = QString());
  void OnExport(ExportFormat format);
  // Asks the day the run was captured for a pcapng export; false when the user cancels.
  bool AskCaptureDate(std::uint64_t& dayStartNs);
  void OnScrolled(int value);
  // The bar of the whole run: its range and value follow the table, and moving it moves the
  // table's top row.
  void UpdateRowBar();
  void OnRowBarMoved(int value);
  void ShowRunRowAtTop(std::uint64_t row);
  int PageRows() const;
  std::uint64_t TopRunRow() const;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void OnCurrentRowChanged();
  void CopyCurrentRow();

  // The model reads what the session holds: the destructor clears the model before the session
  // goes.
  RunSession session_;

  QSplitter* splitter_ = nullptr;
  QSplitter* tableSplitter_ = nullptr;
  std::uint32_t currentRecord_ = 0;
  std::uint32_t pendingRecord_ = 0;  // to select once the filter shows it
  bool TrySelectPending();
  // The first row is selected once the filter being applied shows one.
  bool pendingFirstRow_ = false;
  void TrySelectFirstRow();
  // A finding whose records are event rows of the whole table, found by their text.
  struct EventFinding {
    QString text;
    std::uint64_t count = 0;
    std::uint64_t at = 0;  // the one selected, from 1
  };
  std::optional<EventFinding> eventFinding_;
  bool StepFinding(bool forward);
  bool FindingShown() const;
  void ShowFindingPosition();
  QStackedWidget* stack_ = nullptr;
  QPushButton* openButton_ = nullptr;
  FilterBar* filters_ = nullptr;
  QTableView* table_ = nullptr;
  QScrollBar* rowBar_ = nullptr;
  RecordTableModel* model_ = nullptr;
  QWidget* findBar_ = nullptr;
  QLineEdit* findEdit_ = nullptr;
  QLabel* findStatus_ = nullptr;
  QWidget* status_ = nullptr;
  QLabel* taskLabel_ = nullptr;
  QProgressBar* taskProgress_ = nullptr;
  QToolButton* taskStop_ = nullptr;
  QTimer* refresh_ = nullptr;
  QTimer* watchTimer_ = nullptr;
  QString lastExportFolder_;  // where the last export went
  RunFilesState watched_;     // the run's files as the table reads them
  QWidget* changeBar_ = nullptr;
  QLabel* changeLabel_ = nullptr;
  QPushButton* reload_ = nullptr;
  QPushButton* dismiss_ = nullptr;

  QAction* goTo_ = nullptr;
  QAction* nextFault_ = nullptr;
  QAction* previousFault_ = nullptr;
  QAction* find_ = nullptr;
  QAction* findNext_ = nullptr;
  QAction* findPrevious_ = nullptr;
  QAction* exportText_ = nullptr;
  QAction* exportPcapng_ = nullptr;
};

}  // namespace fdc::ui
