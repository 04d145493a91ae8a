// RunSession: the capture run open in the main window, without its widgets — the run, the index
// of its rows, the filter with the index of its matches, a text search and the exports, each a
// background task with its progress and Stop, and the option file whose columns a text export
// has. The run view shows what it holds and passes the user's commands on to it.
#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "engine/dump_run.h"
#include "engine/record_filter.h"
#include "engine/run_index.h"
#include "ui/common/background_task.h"
#include "ui/run_table/table_filter.h"
#include "ui/run_table/table_navigation.h"

namespace fdc::ui {

enum class ExportFormat { kText, kPcapng };

// How a text search ended, for the find bar and the status bar.
struct FindEnd {
  // The search was over the rows shown now; one over rows replaced since says nothing.
  bool current = false;
  std::optional<std::uint64_t> row;  // the run row found
  QString barText;                   // beside the find field: how it went, empty when found
  QString statusLine;                // for the status bar; empty: nothing to say there
};

// How an export ended.
struct ExportEnd {
  bool ok = false;      // every record shown was written
  bool failed = false;  // the export could not go on; otherwise it was stopped
  QString message;      // one line for the status bar; a failure's whole message
};

class RunSession : public QObject {
  Q_OBJECT

 public:
  enum Task : std::size_t { kIndexTask, kFilterTask, kFindTask, kExportTask, kTaskCount };

  explicit RunSession(QObject* parent = nullptr);
  // Every task is stopped and waited for; nothing is reported.
  ~RunSession() override;
  RunSession(const RunSession&) = delete;
  RunSession& operator=(const RunSession&) = delete;

  // --- The run ---

  // Opens the run `request` names, all its files and every record, and starts its index pass; a
  // run open before is closed. The filter is not applied: ApplyFilter does that.
  void Open(const DumpRequest& request);
  // The open run's files grew (its last file, or a minute file after it that `grown` counts
  // too): the index is kept up to its last entry and the index pass reads on from there; the
  // filter is not applied again. Returns the records kept; nothing, with nothing changed, when the
  // index cannot be read on (still being built, or too short): open the run again instead.
  std::optional<std::uint64_t> ReadOn(const DumpRequest& grown);
  // Stops the index, filter and find tasks (an export goes on) and forgets the run. True when a
  // run was open.
  bool Close();
  bool HasRun() const { return run_.has_value(); }
  const std::optional<DumpRequest>& Run() const { return run_; }
  // The index of every row, built so far.
  const RunIndex* Index() const { return index_.get(); }
  // The index pass read the whole run, unstopped, and found no record in it.
  bool YieldsNoRecord() const;

  // --- What the table shows ---

  // The rows the table shows: the filter's matches while a filter is active, else every row of
  // the index; null without a run. Both stay until SourceChanged.
  const RunIndex* ShownIndex() const;
  // The records the shown index holds: the filter's, or null for every row.
  const RecordFilter* ShownFilter() const;
  bool ShowsMatches() const { return matches_ != nullptr; }
  // The count beside the filter: "N records so far", "N of M records shown", "N shown so far
  // (P%)", "N shown, stopped at P% of the run"; empty without a run.
  QString CountText() const;

  // --- The filter ---

  // Compiles `input` with the health figures' slot time and, without an error, filters the run
  // with it in the background (a search going on stops). An equation with an error keeps the
  // filter as it was and returns the error.
  std::optional<FilterError> ApplyFilter(const FilterInput& input);
  // The filter applied last (null before the first one).
  const TableFilter* CurrentFilter() const { return filter_.get(); }
  // The slot time of the health figures (0: by the run's baud rate), within which the station
  // filter's acknowledgements come. True when it changed.
  bool SetSlotTime(std::uint32_t bits);
  std::uint32_t SlotTimeBits() const { return slotTimeBits_; }
  // The requests that carry a DP event (ascending reference numbers; null: not known), for the
  // quick filter of DP events.
  void SetDpEventRefs(std::shared_ptr<const std::vector<std::uint32_t>> refs) {
    eventRefs_ = std::move(refs);
  }
  bool DpEventsKnown() const { return eventRefs_ != nullptr; }
  // Stops the filter pass; the table keeps the matches found so far.
  void StopFilter();

  // --- Finding text ---

  // Searches the first `rows` rows shown for `text`, from the row after (forward) or before the
  // run row `current` (from either end without one), going round the end. False when there is
  // nothing to search; an earlier search is stopped either way.
  bool StartFind(const QString& text, bool forward, std::optional<std::uint64_t> current,
                 std::uint64_t rows);

  // --- Exports ---

  // Exports the records the table shows (the filter and its arguments) to `path`. False with a
  // message when it cannot start: no run, an export running, a path that names an input, an
  // option file that a text export cannot read.
  // A pcapng export's times count from `dayStartNs` (midnight UTC of the capture's day).
  bool StartExport(const QString& path, ExportFormat format, QString* error = nullptr,
                   std::uint64_t dayStartNs = 0);
  // The name an export offers: the dump's name for the run and the option file, beside the run.
  QString SuggestedExportPath(ExportFormat format) const;
  // Stops an export still running and waits for it; its end is reported before this returns.
  void StopExportAndWait();

  // --- The option file ---

  // The option file of the filter bar, whose columns a text export has.
  void SetOptionFile(const QString& path) { optionFile_ = path; }
  const QString& OptionFile() const { return optionFile_; }

  // --- The tasks ---

  bool Active(Task task) const { return TaskOf(task).Active(); }
  bool Indexing() const { return Active(kIndexTask); }
  bool Filtering() const { return Active(kFilterTask); }
  bool Finding() const { return Active(kFindTask); }
  bool Exporting() const { return Active(kExportTask); }
  // The task that the status part shows: of those running, the one started last.
  std::optional<Task> ShownTask() const;
  const QString& TaskLabel(Task task) const { return taskLabels_[task]; }
  unsigned TaskPercent(Task task) const { return percent_[task]; }
  bool TaskStopRequested(Task task) const { return TaskOf(task).StopRequested(); }
  // Stops the task that the status part shows.
  void StopShownTask();

 signals:
  // The shown index or filter changed (a run opened or closed, a filter applied): the table takes
  // them anew.
  void SourceChanged();
  // A task started, progressed, was asked to stop or ended.
  void TasksChanged();
  // `statusLine` tells what was read; `failure` is set when the run could not be read at all.
  void IndexFinished(const QString& statusLine, const QString& failure);
  // `failure` is set when the pass failed.
  void FilterFinished(const QString& failure);
  void FindFinished(const fdc::ui::FindEnd& end);
  void ExportFinished(const fdc::ui::ExportEnd& end);

 private:
  BackgroundTask& TaskOf(Task task);
  const BackgroundTask& TaskOf(Task task) const;
  void TaskStarted(Task task, const QString& label);
  void TaskEnded(Task task);
  // Stops a task and waits for it; its end is not reported, and it leaves the status part.
  void CancelTask(Task task);
  void OnTaskProgress(Task task, const ProgressSnapshot& progress);

  // `seeded` and `from`: an index kept from the pass before, read on from that entry.
  void StartIndexPass(std::shared_ptr<RunIndex> seeded = nullptr,
                      std::optional<RunIndex::ReadOnPoint> from = std::nullopt);
  void OnIndexDone();
  void StartFilterPass();
  void OnFilterDone();
  void OnFindDone();
  void OnExportDone();

  // What the tasks read stays alive while they run: they hold their own references.
  std::optional<DumpRequest> run_;
  QString optionFile_;
  std::uint32_t slotTimeBits_ = 0;
  std::shared_ptr<const std::vector<std::uint32_t>> eventRefs_;
  std::shared_ptr<RunIndex> index_;
  std::shared_ptr<const TableFilter> filter_;
  std::shared_ptr<RunIndex> matches_;  // the filter's matches, when it filters
  // Counts the sources the table was given, so that a search's row is not taken for another's.
  std::uint64_t sourceGeneration_ = 0;
  bool indexStopped_ = false;
  bool filterStopped_ = false;
  std::array<unsigned, kTaskCount> percent_{};
  std::array<QString, kTaskCount> taskLabels_;
  std::vector<Task> activeOrder_;  // the task shown is the one started last
  std::shared_ptr<TextSearchOutcome> findOutcome_;
  std::uint64_t findGeneration_ = 0;
  QString findText_;
  struct ExportJob {
    QString path;
    std::uint64_t written = 0;
    std::uint64_t records = 0;
    // The records the table held when the export began (all of the run's when its index was
    // complete): an export that reads fewer says so.
    std::uint64_t tableRecords = 0;
    bool tableComplete = false;
    bool stopped = false;
  };
  std::shared_ptr<ExportJob> exportJob_;

  // Declared last, so that they are stopped and waited for before anything they read goes.
  BackgroundTask indexTask_;
  BackgroundTask filterTask_;
  BackgroundTask findTask_;
  BackgroundTask exportTask_;
};

}  // namespace fdc::ui
