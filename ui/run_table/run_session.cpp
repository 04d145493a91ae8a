// The open run's tasks: the index pass, the filter pass, the text search and the exports.
#include "ui/run_table/run_session.h"

#include <QFileInfo>
#include <algorithm>
#include <string>
#include <utility>

#include "common/version.h"
#include "engine/dump_request_rules.h"
#include "engine/pcapng_export.h"
#include "options/options.h"
#include "ui/common/app_settings.h"
#include "ui/run_table/run_files.h"

namespace fdc::ui {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QString PercentText(unsigned percent) { return QString::number(percent) + QStringLiteral("%"); }

}  // namespace

RunSession::RunSession(QObject* parent) : QObject(parent) {
  const std::array<std::pair<Task, void (RunSession::*)()>, kTaskCount> done = {{
      {kIndexTask, &RunSession::OnIndexDone},
      {kFilterTask, &RunSession::OnFilterDone},
      {kFindTask, &RunSession::OnFindDone},
      {kExportTask, &RunSession::OnExportDone},
  }};
  for (const auto& [task, handler] : done) {
    connect(&TaskOf(task), &BackgroundTask::Done, this, handler);
    connect(&TaskOf(task), &BackgroundTask::Progress, this,
            [this, task = task](const ProgressSnapshot& p) { OnTaskProgress(task, p); });
  }
}

RunSession::~RunSession() {
  for (Task task : {kFindTask, kFilterTask, kIndexTask, kExportTask}) TaskOf(task).Cancel();
}

BackgroundTask& RunSession::TaskOf(Task task) {
  return const_cast<BackgroundTask&>(std::as_const(*this).TaskOf(task));
}

const BackgroundTask& RunSession::TaskOf(Task task) const {
  switch (task) {
    case kIndexTask:
      return indexTask_;
    case kFilterTask:
      return filterTask_;
    case kFindTask:
      return findTask_;
    default:
      return exportTask_;
  }
}

// --- Opening and closing -----------------------------------------------------------------------

void RunSession::Open(const DumpRequest& request) {
  Close();
  DumpRequest shown = request;
  // Every record of every file: the table has no reference window and no output.
  shown.StartRef = 0;
  shown.EndRef = 0xFFFFFFFFu;
  shown.OutputPath.clear();
  run_ = shown;
  StartIndexPass();
}

bool RunSession::Close() {
  for (Task task : {kFindTask, kFilterTask, kIndexTask}) CancelTask(task);
  const bool wasOpen = run_.has_value();
  run_.reset();
  index_.reset();
  matches_.reset();
  ++sourceGeneration_;
  emit TasksChanged();
  emit SourceChanged();
  return wasOpen;
}

bool RunSession::YieldsNoRecord() const {
  return run_ && index_ && index_->Complete() && !indexStopped_ && index_->Records() == 0;
}

const RunIndex* RunSession::ShownIndex() const {
  if (!run_) return nullptr;
  return matches_ ? matches_.get() : index_.get();
}

const RecordFilter* RunSession::ShownFilter() const {
  return run_ && matches_ && filter_ ? &filter_->Records() : nullptr;
}

QString RunSession::CountText() const {
  if (!run_ || !index_) return QString();
  const std::uint64_t records = index_->Records();
  if (!matches_) {
    return Indexing() ? QStringLiteral("%1 records so far").arg(records)
                      : QStringLiteral("%1 records").arg(records);
  }
  const std::uint64_t shown = matches_->Rows();
  if (Filtering()) {
    return QStringLiteral("%1 shown so far (%2)")
        .arg(shown)
        .arg(PercentText(percent_[kFilterTask]));
  }
  if (filterStopped_) {
    return QStringLiteral("%1 shown, stopped at %2 of the run")
        .arg(shown)
        .arg(PercentText(percent_[kFilterTask]));
  }
  return QStringLiteral("%1 of %2 records shown").arg(shown).arg(matches_->Records());
}

// --- Tasks and their progress -------------------------------------------------------------------

void RunSession::TaskStarted(Task task, const QString& label) {
  TaskEnded(task);
  activeOrder_.push_back(task);
  percent_[task] = 0;
  taskLabels_[task] = label;
}

void RunSession::CancelTask(Task task) {
  TaskOf(task).Cancel();
  TaskEnded(task);
}

void RunSession::TaskEnded(Task task) {
  activeOrder_.erase(std::remove(activeOrder_.begin(), activeOrder_.end(), task),
                     activeOrder_.end());
}

std::optional<RunSession::Task> RunSession::ShownTask() const {
  if (activeOrder_.empty()) return std::nullopt;
  return activeOrder_.back();
}

void RunSession::OnTaskProgress(Task task, const ProgressSnapshot& progress) {
  percent_[task] = progress.runPercent;
  emit TasksChanged();
}

void RunSession::StopShownTask() {
  if (activeOrder_.empty()) return;
  TaskOf(activeOrder_.back()).RequestStop();
  emit TasksChanged();
}

// --- The index pass ----------------------------------------------------------------------------

std::optional<std::uint64_t> RunSession::ReadOn(const DumpRequest& grown) {
  if (!run_ || !index_ || Indexing() || grown.Run.count < run_->Run.count) return std::nullopt;
  auto index = std::make_shared<RunIndex>();
  std::optional<RunIndex::ReadOnPoint> from = index->SeedFrom(*index_);
  if (!from) return std::nullopt;
  const std::uint64_t kept = index->Records();
  for (Task task : {kFindTask, kFilterTask}) CancelTask(task);
  matches_.reset();
  run_->Run.count = grown.Run.count;
  StartIndexPass(std::move(index), std::move(from));
  return kept;
}

void RunSession::StartIndexPass(std::shared_ptr<RunIndex> seeded,
                                std::optional<RunIndex::ReadOnPoint> from) {
  index_ = seeded ? std::move(seeded) : std::make_shared<RunIndex>();
  indexStopped_ = false;
  ++sourceGeneration_;
  const DumpRequest request = *run_;
  std::shared_ptr<RunIndex> index = index_;
  indexTask_.Start([request, index, from = std::move(from)](const RunControl& control) {
    const auto loop = std::make_unique<RecordLoop>(request, nullptr, control);
    std::optional<RunIndexer> indexer;
    if (from) {
      loop->ResumeAt(from->entry.at, from->opened);
      indexer.emplace(*index, from->entry);
    } else {
      indexer.emplace(*index);
    }
    RecordConsumer* const consumers[] = {&*indexer};
    Result result = loop->Run(consumers);
    indexer->Finish(result);
    return result;
  });
  TaskStarted(kIndexTask, QStringLiteral("Reading the run"));
  emit SourceChanged();
  emit TasksChanged();
}

void RunSession::OnIndexDone() {
  const std::optional<Result> result = indexTask_.Collect();
  indexStopped_ = indexTask_.StopRequested();
  TaskEnded(kIndexTask);
  emit TasksChanged();
  QString line = Q(RunTitle(*run_)) + QStringLiteral(": %1 records").arg(index_->Records());
  if (indexStopped_)
    line += QStringLiteral(", stopped at %1").arg(PercentText(percent_[kIndexTask]));
  QString failure;
  if (result && result->failed()) {
    line += QStringLiteral(": ") + Q(result->ErrorText());
    if (index_->Rows() == 0) failure = Q(result->ErrorText());
  }
  emit IndexFinished(line, failure);
}

// --- The filter --------------------------------------------------------------------------------

bool RunSession::SetSlotTime(std::uint32_t bits) {
  if (bits == slotTimeBits_) return false;
  slotTimeBits_ = bits;
  return true;
}

std::optional<FilterError> RunSession::ApplyFilter(const FilterInput& typed) {
  FilterInput input = typed;
  input.slotTimeBits = slotTimeBits_;
  input.eventRefs = eventRefs_;
  FilterCompilation compiled = CompileTableFilter(input);
  if (compiled.error) return std::move(compiled.error);
  filter_ = std::move(compiled.filter);
  StartFilterPass();
  return std::nullopt;
}

void RunSession::StopFilter() {
  if (!filterTask_.Active()) return;
  filterTask_.RequestStop();
  emit TasksChanged();
}

void RunSession::StartFilterPass() {
  CancelTask(kFindTask);
  CancelTask(kFilterTask);
  if (!run_) {
    emit TasksChanged();
    return;
  }
  if (!filter_ || !filter_->Active()) {
    matches_.reset();
    ++sourceGeneration_;
    emit SourceChanged();
    emit TasksChanged();
    return;
  }
  matches_ = std::make_shared<RunIndex>();
  filterStopped_ = false;
  ++sourceGeneration_;
  const DumpRequest request = *run_;
  std::shared_ptr<RunIndex> matches = matches_;
  std::shared_ptr<const TableFilter> filter = filter_;
  filterTask_.Start([request, matches, filter](const RunControl& control) {
    const auto loop = std::make_unique<RecordLoop>(request, filter->Records(), control);
    MatchIndexer indexer(*matches);
    RecordConsumer* const consumers[] = {&indexer};
    Result result = loop->Run(consumers);
    indexer.Finish(result);
    return result;
  });
  TaskStarted(kFilterTask, QStringLiteral("Filtering"));
  emit SourceChanged();
  emit TasksChanged();
}

void RunSession::OnFilterDone() {
  const std::optional<Result> result = filterTask_.Collect();
  filterStopped_ = filterTask_.StopRequested();
  TaskEnded(kFilterTask);
  emit TasksChanged();
  emit FilterFinished(result && result->failed() ? Q(result->ErrorText()) : QString());
}

// --- Finding text ------------------------------------------------------------------------------

bool RunSession::StartFind(const QString& text, bool forward, std::optional<std::uint64_t> current,
                           std::uint64_t rows) {
  CancelTask(kFindTask);
  findText_ = text;
  if (!run_ || text.isEmpty() || rows == 0) {
    emit TasksChanged();
    return false;
  }
  TextSearch search;
  search.text = text.toStdString();
  search.forward = forward;
  if (current) {
    const std::uint64_t row = *current;
    search.from = forward ? (row + 1 < rows ? row + 1 : 0) : (row > 0 ? row - 1 : rows - 1);
  } else {
    search.from = forward ? 0 : rows - 1;
  }
  const DumpRequest request = *run_;
  std::shared_ptr<RunIndex> index = matches_ ? matches_ : index_;
  std::shared_ptr<const TableFilter> filter = matches_ ? filter_ : nullptr;
  auto outcome = std::make_shared<TextSearchOutcome>();
  findOutcome_ = outcome;
  findGeneration_ = sourceGeneration_;
  findTask_.Start([request, index, filter, rows, search, outcome](const RunControl& control) {
    RowReader reader(request, *index, filter ? &filter->Records() : nullptr);
    const std::vector<CaptureFileInfo> files = index->Files();
    RunProgress progress;
    *outcome = FindTextRow(reader, files, rows, search, control.stop,
                           [&](std::uint64_t done, std::uint64_t total) {
                             progress.filePercent = static_cast<unsigned>(done * 100 / total);
                             progress.records = done;
                             if (control.progress != nullptr)
                               control.progress->OnProgress(progress);
                           });
    return outcome->result;
  });
  TaskStarted(kFindTask, QStringLiteral("Finding \"%1\"").arg(text));
  emit TasksChanged();
  return true;
}

void RunSession::OnFindDone() {
  (void)findTask_.Collect();
  TaskEnded(kFindTask);
  emit TasksChanged();
  const std::shared_ptr<TextSearchOutcome> outcome = std::move(findOutcome_);
  FindEnd end;
  if (outcome && findGeneration_ == sourceGeneration_) {
    end.current = true;
    if (outcome->row) {
      end.row = outcome->row;
      if (outcome->wrapped) end.barText = QStringLiteral("Found after going round the end");
    } else if (outcome->stopped) {
      end.barText = QStringLiteral("Stopped");
    } else if (outcome->result.failed()) {
      end.barText = Q(outcome->result.ErrorText());
    } else {
      end.barText = QStringLiteral("Not found");
      end.statusLine = QStringLiteral("\"%1\" was not found").arg(findText_);
    }
  }
  emit FindFinished(end);
}

// --- Exports -----------------------------------------------------------------------------------

bool RunSession::StartExport(const QString& path, ExportFormat format, QString* error,
                             std::uint64_t dayStartNs) {
  auto refuse = [error](const QString& message) {
    if (error != nullptr) *error = message;
    return false;
  };
  if (!run_) return refuse(QStringLiteral("No run is open."));
  if (exportTask_.Active()) return refuse(QStringLiteral("An export is running."));
  // What the table shows: the filter whose matches it shows, or every record.
  std::shared_ptr<const TableFilter> filter =
      matches_ ? filter_ : std::shared_ptr<const TableFilter>();
  DumpRequest request = *run_;
  request.OutputPath = path.toStdString();
  request.OptionPath = optionFile_.toStdString();
  if (filter) request.CmdArgs = filter->CmdArgs();
  if (const std::optional<std::string> named = InputNamedBy(request, request.OutputPath)) {
    return refuse(QStringLiteral("The output file would overwrite the input file ") + Q(*named));
  }
  // The text dump has the option file's columns; the filter is the table's.
  auto options = std::make_shared<DumpOptions>();
  if (format == ExportFormat::kText) {
    auto program = std::make_unique<ShowOnlyProgram>();
    const Result read = ReadOptionFile(request.OptionPath, *options, *program);
    if (read.failed()) return refuse(Q(read.ErrorText()));
  }
  auto job = std::make_shared<ExportJob>();
  job->path = path;
  job->tableRecords = index_->Records();
  job->tableComplete = index_->Complete();
  exportJob_ = job;
  exportTask_.Start([request, options, filter, job, format, dayStartNs](const RunControl& control) {
    const RecordFilter shown = filter ? filter->Records() : RecordFilter{};
    Result result = Result::Ok();
    if (format == ExportFormat::kText) {
      DumpSummary summary;
      result = DumpRun(request, *options, shown, control, &summary);
      job->written = summary.lines;
      job->records = summary.records;
      job->stopped = summary.stopped;
    } else {
      ExportOptions exportOptions;
      exportOptions.userAppl = std::string(kAppName) + " " + kVersion;
      exportOptions.dayStartNs = dayStartNs;
      ExportSummary summary;
      result = ExportRun(request, shown, exportOptions, control, &summary);
      job->written = summary.packets;
      job->records = summary.records;
      job->stopped = summary.stopped;
    }
    return result;
  });
  TaskStarted(kExportTask, QStringLiteral("Exporting"));
  emit TasksChanged();
  return true;
}

QString RunSession::SuggestedExportPath(ExportFormat format) const {
  if (!run_) return QString();
  const QString path = Q(OutputPathFor(FirstCaptureFile(*run_), optionFile_.toStdString()));
  // The dump's name ends in ".txt".
  return format == ExportFormat::kText ? path
                                       : path.left(path.size() - 4) + QStringLiteral(".pcapng");
}

void RunSession::StopExportAndWait() {
  if (!exportTask_.Active()) return;
  exportTask_.RequestStop();
  OnExportDone();
}

void RunSession::OnExportDone() {
  const std::optional<Result> result = exportTask_.Collect();
  TaskEnded(kExportTask);
  emit TasksChanged();
  const std::shared_ptr<ExportJob> job = std::move(exportJob_);
  if (!result || !job) return;
  const QString name = QFileInfo(job->path).fileName();
  ExportEnd end;
  if (result->failed()) {
    end.failed = true;
    end.message = Q(result->ErrorText());
  } else if (job->stopped) {
    end.message = QStringLiteral("Export stopped: %1 records written to %2, which ends there")
                      .arg(job->written)
                      .arg(name);
  } else if (job->tableComplete && job->records < job->tableRecords) {
    // Never silently short: the files no longer hold what the table read from them.
    end.message = QStringLiteral(
                      "%1 records exported to %2, which is short: the export read %3 of the %4 "
                      "records the table holds, because the run's files changed on disk")
                      .arg(job->written)
                      .arg(name)
                      .arg(job->records)
                      .arg(job->tableRecords);
  } else {
    end.ok = true;
    end.message = QStringLiteral("%1 records exported to %2").arg(job->written).arg(name);
  }
  emit ExportFinished(end);
}

}  // namespace fdc::ui
