// The run's client area: table, filter bar, find bar, the background tasks and the status part.
#include "ui/run_table/run_view.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "common/version.h"
#include "engine/dump_request_rules.h"
#include "engine/pcapng_export.h"
#include "options/options.h"
#include "ui/common/app_settings.h"
#include "ui/common/large_table_view.h"
#include "ui/common/platform.h"
#include "ui/run_table/filter_bar.h"
#include "ui/run_table/record_table_model.h"
#include "ui/run_table/row_texts.h"
#include "ui/run_table/run_files.h"

namespace fdc::ui {

namespace {

// How often the table takes the rows that a pass has added.
constexpr int kRefreshMs = 200;

QString Q(const std::string& text) { return QString::fromStdString(text); }

// Faulty records on a red ground, the reader's events on an amber one.
class RecordRowDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    switch (static_cast<RowClass>(index.data(RecordTableModel::kRowClassRole).toInt())) {
      case RowClass::kFaulty:
        option->backgroundBrush = QColor(255, 205, 205);
        break;
      case RowClass::kEvent:
        option->backgroundBrush = QColor(255, 226, 150);
        option->font.setItalic(true);
        break;
      case RowClass::kRecord:
        break;
    }
  }
};

// Column widths in characters of the table's font.
constexpr std::array<int, kTableColumns> kColumnChars = {9, 17, 10, 12, 9, 5, 4, 4, 11, 7, 36, 17};

QString PercentText(unsigned percent) { return QString::number(percent) + QStringLiteral("%"); }

}  // namespace

RunView::RunView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("runView"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  splitter_ = new QSplitter(Qt::Horizontal);
  splitter_->setObjectName(QStringLiteral("runSplitter"));
  splitter_->setChildrenCollapsible(false);
  layout->addWidget(splitter_);

  stack_ = new QStackedWidget;
  stack_->setObjectName(QStringLiteral("tableArea"));
  auto* hint = new QWidget;
  auto* hintLayout = new QVBoxLayout(hint);
  hintLayout->addStretch(1);
  auto* hintText = new QLabel(
      QStringLiteral("No capture run is open.\n\nFile > Open (Ctrl+O) opens the minute files of "
                     "a run,\nor drop a .FdcCapt file here."));
  hintText->setObjectName(QStringLiteral("hint"));
  hintText->setAlignment(Qt::AlignCenter);
  hintText->setWordWrap(true);
  hintLayout->addWidget(hintText);
  openButton_ = new QPushButton(QStringLiteral("Open a Capture Run..."));
  openButton_->setObjectName(QStringLiteral("openRun"));
  hintLayout->addWidget(openButton_, 0, Qt::AlignHCenter);
  hintLayout->addStretch(2);
  stack_->addWidget(hint);
  connect(openButton_, &QPushButton::clicked, this, &RunView::OpenRequested);

  auto* tablePage = new QWidget;
  auto* tableLayout = new QVBoxLayout(tablePage);
  tableLayout->setContentsMargins(0, 0, 0, 0);
  tableLayout->setSpacing(0);
  filters_ = new FilterBar;
  tableLayout->addWidget(filters_);
  BuildTable();
  tableLayout->addWidget(table_, 1);
  BuildFindBar();
  tableLayout->addWidget(findBar_);
  stack_->addWidget(tablePage);
  splitter_->addWidget(stack_);
  splitter_->setStretchFactor(0, 3);

  BuildStatus();
  BuildActions();
  UpdateActions();

  refresh_ = new QTimer(this);
  refresh_->setInterval(kRefreshMs);
  connect(refresh_, &QTimer::timeout, this, &RunView::Refresh);

  connect(filters_, &FilterBar::Applied, this, &RunView::ApplyFilter);
  connect(filters_, &FilterBar::StopRequested, this, [this] {
    if (filterTask_.Active()) filterTask_.RequestStop();
  });
  connect(filters_, &FilterBar::OptionFileChosen, this, &RunView::OptionFileChosen);

  const std::array<std::pair<Task, void (RunView::*)()>, kTaskCount> done = {{
      {kIndexTask, &RunView::OnIndexDone},
      {kFilterTask, &RunView::OnFilterDone},
      {kFindTask, &RunView::OnFindDone},
      {kExportTask, &RunView::OnExportDone},
  }};
  for (const auto& [task, handler] : done) {
    connect(&TaskOf(task), &BackgroundTask::Done, this, handler);
    connect(&TaskOf(task), &BackgroundTask::Progress, this,
            [this, task = task](const ProgressSnapshot& p) { OnTaskProgress(task, p); });
  }

  // A layout full of controls must not make the window wider or taller than the user wants it:
  // a small window cuts the parts instead.
  setMinimumSize(120, 80);
  setFocusProxy(openButton_);
}

RunView::~RunView() {
  for (Task task : {kFindTask, kFilterTask, kIndexTask, kExportTask}) TaskOf(task).Cancel();
  model_->Clear();
}

void RunView::BuildTable() {
  model_ = new RecordTableModel(this);
  auto* table = new LargeTableView;
  table_ = table;
  // Digits typed in the table are the start of a reference number to go to.
  connect(table, &LargeTableView::DigitsTyped, this, &RunView::OnGoToReference);
  table_->setObjectName(QStringLiteral("records"));
  table_->setModel(model_);
  table_->setItemDelegate(new RecordRowDelegate(table_));
  table_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setWordWrap(false);
  table_->setCornerButtonEnabled(false);
  table_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  // Rows of one height: the view then works out any row's place without asking the model.
  QHeaderView* rows = table_->verticalHeader();
  rows->hide();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(table_->fontMetrics().height() + 4);
  QHeaderView* columns = table_->horizontalHeader();
  columns->setSectionResizeMode(QHeaderView::Interactive);
  columns->setStretchLastSection(true);
  columns->setHighlightSections(false);
  const int charWidth = table_->fontMetrics().horizontalAdvance(QLatin1Char('0'));
  for (int c = 0; c < kTableColumns; ++c) {
    columns->resizeSection(c, kColumnChars[static_cast<std::size_t>(c)] * charWidth + 10);
  }
  connect(table_->verticalScrollBar(), &QScrollBar::valueChanged, this, &RunView::OnScrolled);

  auto* copy = new QAction(QStringLiteral("&Copy Row"), table_);
  copy->setShortcut(QKeySequence::Copy);
  copy->setShortcutContext(Qt::WidgetShortcut);
  connect(copy, &QAction::triggered, this, &RunView::CopyCurrentRow);
  table_->addAction(copy);
  table_->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void RunView::BuildFindBar() {
  findBar_ = new QWidget;
  findBar_->setObjectName(QStringLiteral("findBar"));
  auto* layout = new QHBoxLayout(findBar_);
  layout->setContentsMargins(4, 2, 4, 2);
  auto* label = new QLabel(QStringLiteral("Find:"));
  findEdit_ = new QLineEdit;
  findEdit_->setObjectName(QStringLiteral("findText"));
  findEdit_->setPlaceholderText(QStringLiteral("text in a column, any letter case"));
  label->setBuddy(findEdit_);
  auto* next = new QToolButton;
  next->setText(QStringLiteral("Next"));
  next->setToolTip(QStringLiteral("Find the next row (Enter, F3)"));
  auto* previous = new QToolButton;
  previous->setText(QStringLiteral("Previous"));
  previous->setToolTip(QStringLiteral("Find the row before (Shift+Enter, Shift+F3)"));
  findStatus_ = new QLabel;
  findStatus_->setObjectName(QStringLiteral("findStatus"));
  findStatus_->setTextFormat(Qt::PlainText);
  auto* close = new QToolButton;
  close->setText(QStringLiteral("x"));
  close->setToolTip(QStringLiteral("Close the find bar (Escape)"));
  layout->addWidget(label);
  layout->addWidget(findEdit_, 1);
  layout->addWidget(next);
  layout->addWidget(previous);
  layout->addWidget(findStatus_);
  layout->addWidget(close);
  findBar_->hide();
  connect(next, &QToolButton::clicked, this, [this] { Find(findEdit_->text(), true); });
  connect(previous, &QToolButton::clicked, this, [this] { Find(findEdit_->text(), false); });
  connect(close, &QToolButton::clicked, this, [this] {
    findBar_->hide();
    table_->setFocus();
  });
  connect(findEdit_, &QLineEdit::returnPressed, this, [this] {
    const bool backwards = QApplication::keyboardModifiers() & Qt::ShiftModifier;
    Find(findEdit_->text(), !backwards);
  });
  auto* escape = new QAction(findBar_);
  escape->setShortcut(Qt::Key_Escape);
  escape->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  connect(escape, &QAction::triggered, close, &QToolButton::click);
  findBar_->addAction(escape);
}

void RunView::BuildStatus() {
  status_ = new QWidget;
  status_->setObjectName(QStringLiteral("taskStatus"));
  auto* layout = new QHBoxLayout(status_);
  layout->setContentsMargins(0, 0, 0, 0);
  taskLabel_ = new QLabel;
  taskLabel_->setObjectName(QStringLiteral("taskLabel"));
  taskLabel_->setTextFormat(Qt::PlainText);
  taskProgress_ = new QProgressBar;
  taskProgress_->setObjectName(QStringLiteral("taskProgress"));
  taskProgress_->setRange(0, 100);
  taskProgress_->setFixedWidth(120);
  taskProgress_->setMaximumHeight(16);
  taskStop_ = new QToolButton;
  taskStop_->setObjectName(QStringLiteral("taskStop"));
  taskStop_->setText(QStringLiteral("Stop"));
  taskStop_->setToolTip(QStringLiteral("Stop the task shown here"));
  layout->addWidget(taskLabel_);
  layout->addWidget(taskProgress_);
  layout->addWidget(taskStop_);
  status_->hide();
  connect(taskStop_, &QToolButton::clicked, this, &RunView::StopTask);
}

void RunView::BuildActions() {
  auto make = [this](const QString& text, const QKeySequence& key, const QString& tip) {
    auto* action = new QAction(text, this);
    action->setShortcut(key);
    action->setStatusTip(tip);
    addAction(action);
    return action;
  };
  goTo_ = make(QStringLiteral("Go to &Reference Number..."), QKeySequence(Qt::CTRL | Qt::Key_G),
               QStringLiteral("Move the table to a record by its reference number"));
  nextFault_ = make(QStringLiteral("&Next Fault"), QKeySequence(Qt::Key_F8),
                    QStringLiteral("Move to the next faulty record"));
  previousFault_ = make(QStringLiteral("&Previous Fault"), QKeySequence(Qt::SHIFT | Qt::Key_F8),
                        QStringLiteral("Move to the faulty record before"));
  find_ = make(QStringLiteral("&Find..."), QKeySequence(Qt::CTRL | Qt::Key_F),
               QStringLiteral("Find a text in the rows of the table"));
  findNext_ = make(QStringLiteral("Find Ne&xt"), QKeySequence(Qt::Key_F3),
                   QStringLiteral("Find the text again after the current row"));
  findPrevious_ = make(QStringLiteral("Find Pre&vious"), QKeySequence(Qt::SHIFT | Qt::Key_F3),
                       QStringLiteral("Find the text again before the current row"));
  exportText_ = make(QStringLiteral("Export Shown Records as Te&xt Dump..."), QKeySequence(),
                     QStringLiteral("Write the records the table shows as a text dump"));
  exportPcapng_ = make(QStringLiteral("Export Shown Records as &pcapng..."), QKeySequence(),
                       QStringLiteral("Write the records the table shows as pcapng for Wireshark"));
  goTo_->setObjectName(QStringLiteral("goToReference"));
  nextFault_->setObjectName(QStringLiteral("nextFault"));
  previousFault_->setObjectName(QStringLiteral("previousFault"));
  find_->setObjectName(QStringLiteral("find"));
  exportText_->setObjectName(QStringLiteral("exportText"));
  exportPcapng_->setObjectName(QStringLiteral("exportPcapng"));

  connect(goTo_, &QAction::triggered, this, [this] { OnGoToReference(); });
  connect(nextFault_, &QAction::triggered, this, [this] {
    if (!GoToFault(true)) emit StatusMessage(QStringLiteral("No faulty record after this row"));
  });
  connect(previousFault_, &QAction::triggered, this, [this] {
    if (!GoToFault(false)) emit StatusMessage(QStringLiteral("No faulty record before this row"));
  });
  connect(find_, &QAction::triggered, this, [this] {
    findBar_->show();
    findEdit_->setFocus();
    findEdit_->selectAll();
  });
  connect(findNext_, &QAction::triggered, this, [this] {
    if (findEdit_->text().isEmpty()) return find_->trigger();
    Find(findEdit_->text(), true);
  });
  connect(findPrevious_, &QAction::triggered, this, [this] {
    if (findEdit_->text().isEmpty()) return find_->trigger();
    Find(findEdit_->text(), false);
  });
  connect(exportText_, &QAction::triggered, this, [this] { OnExport(ExportFormat::kText); });
  connect(exportPcapng_, &QAction::triggered, this, [this] { OnExport(ExportFormat::kPcapng); });
}

void RunView::UpdateActions() {
  const bool open = run_.has_value();
  for (QAction* action : {goTo_, nextFault_, previousFault_, find_, findNext_, findPrevious_,
                          exportText_, exportPcapng_}) {
    action->setEnabled(open);
  }
}

BackgroundTask& RunView::TaskOf(Task task) {
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

void RunView::OpenRun(const DumpRequest& request) {
  CloseRun();
  DumpRequest shown = request;
  // Every record of every file: the table has no reference window and no output.
  shown.StartRef = 0;
  shown.EndRef = 0xFFFFFFFFu;
  shown.OutputPath.clear();
  run_ = shown;
  stack_->setCurrentIndex(1);
  setFocusProxy(table_);
  StartIndexPass();
  // The filter in the bar applies to the new run, as it stands.
  ApplyFilter(filters_->Input());
  UpdateActions();
  emit RunOpened(*run_);
}

void RunView::CloseRun() {
  for (Task task : {kFindTask, kFilterTask, kIndexTask}) {
    TaskOf(task).Cancel();
    TaskEnded(task);
  }
  model_->Clear();
  filters_->SetFiltering(false);
  filters_->SetCountText(QString());
  refresh_->stop();
  const bool wasOpen = run_.has_value();
  run_.reset();
  index_.reset();
  matches_.reset();
  ++sourceGeneration_;
  stack_->setCurrentIndex(0);
  setFocusProxy(openButton_);
  UpdateActions();
  if (wasOpen) emit RunClosed();
}

void RunView::SetOptionFile(const QString& path) { filters_->LoadOptionFile(path); }

QString RunView::OptionFile() const { return filters_->OptionFile(); }

void RunView::AddSidePanel(QWidget* panel, int stretch) {
  splitter_->addWidget(panel);
  splitter_->setStretchFactor(splitter_->indexOf(panel), stretch);
}

// --- Tasks and their status ------------------------------------------------------------------

void RunView::TaskStarted(Task task, const QString& label) {
  TaskEnded(task);
  activeOrder_.push_back(task);
  percent_[task] = 0;
  taskLabels_[task] = label;
  UpdateStatus();
}

void RunView::TaskEnded(Task task) {
  activeOrder_.erase(std::remove(activeOrder_.begin(), activeOrder_.end(), task),
                     activeOrder_.end());
  UpdateStatus();
}

void RunView::UpdateStatus() {
  if (activeOrder_.empty()) {
    status_->hide();
    return;
  }
  const Task shown = activeOrder_.back();
  taskLabel_->setText(taskLabels_[shown]);
  taskProgress_->setValue(static_cast<int>(percent_[shown]));
  taskStop_->setEnabled(!TaskOf(shown).StopRequested());
  status_->show();
}

void RunView::OnTaskProgress(Task task, const ProgressSnapshot& progress) {
  percent_[task] = progress.runPercent;
  if (task == kFilterTask) UpdateCount();
  UpdateStatus();
}

void RunView::StopTask() {
  if (activeOrder_.empty()) return;
  TaskOf(activeOrder_.back()).RequestStop();
  UpdateStatus();
}

bool RunView::EndTasksBeforeClosing() {
  if (!exportTask_.Active()) return true;
  if (!AskYesNo(this, QStringLiteral("An export is running.\nStop it and close?"))) return false;
  exportTask_.RequestStop();
  OnExportDone();
  return true;
}

// --- The index pass --------------------------------------------------------------------------

void RunView::StartIndexPass() {
  index_ = std::make_shared<RunIndex>();
  indexStopped_ = false;
  SetSource();
  const DumpRequest request = *run_;
  std::shared_ptr<RunIndex> index = index_;
  indexTask_.Start([request, index](const RunControl& control) {
    const auto loop = std::make_unique<RecordLoop>(request, nullptr, control);
    RunIndexer indexer(*index);
    RecordConsumer* const consumers[] = {&indexer};
    Result result = loop->Run(consumers);
    indexer.Finish(result);
    return result;
  });
  TaskStarted(kIndexTask, QStringLiteral("Reading the run"));
  refresh_->start();
}

void RunView::OnIndexDone() {
  const std::optional<Result> result = indexTask_.Collect();
  indexStopped_ = indexTask_.StopRequested();
  TaskEnded(kIndexTask);
  Refresh();
  if (!filterTask_.Active()) refresh_->stop();
  QString line = Q(RunTitle(*run_)) + QStringLiteral(": %1 records").arg(index_->Records());
  if (indexStopped_)
    line += QStringLiteral(", stopped at %1").arg(PercentText(percent_[kIndexTask]));
  if (result && result->failed()) {
    line += QStringLiteral(": ") + Q(result->ErrorText());
    if (index_->Rows() == 0) ShowMessage(this, Q(result->ErrorText()), QMessageBox::Critical);
  }
  emit StatusMessage(line);
  UpdateCount();
  emit IndexFinished();
}

// --- The filter ------------------------------------------------------------------------------

void RunView::SetHealthFigures(const BusFigures* figures) {
  filters_->SetStations(figures != nullptr ? StationChoicesOf(figures->stations)
                                           : std::vector<StationChoice>{});
  // The station filter's acknowledgements come within the slot time the figures were
  // computed with.
  const std::uint32_t slot = figures != nullptr ? figures->tslBits : 0;
  if (slot == slotTimeBits_) return;
  slotTimeBits_ = slot;
  if (run_ && filters_->Input().quick.station) ApplyFilter(filters_->Input());
}

void RunView::ApplyFilter(const FilterInput& typed) {
  FilterInput input = typed;
  input.slotTimeBits = slotTimeBits_;
  const FilterCompilation compiled = CompileTableFilter(input);
  if (compiled.error) {
    filters_->ShowError(*compiled.error);
    return;
  }
  filters_->ClearError();
  filter_ = compiled.filter;
  StartFilterPass();
}

void RunView::StartFilterPass() {
  findTask_.Cancel();
  TaskEnded(kFindTask);
  filterTask_.Cancel();
  TaskEnded(kFilterTask);
  filters_->SetFiltering(false);
  if (!run_) return;
  if (!filter_ || !filter_->Active()) {
    matches_.reset();
    SetSource();
    UpdateCount();
    return;
  }
  matches_ = std::make_shared<RunIndex>();
  filterStopped_ = false;
  SetSource();
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
  filters_->SetFiltering(true);
  TaskStarted(kFilterTask, QStringLiteral("Filtering"));
  UpdateCount();
  refresh_->start();
}

void RunView::OnFilterDone() {
  const std::optional<Result> result = filterTask_.Collect();
  filterStopped_ = filterTask_.StopRequested();
  TaskEnded(kFilterTask);
  filters_->SetFiltering(false);
  Refresh();
  if (!indexTask_.Active()) refresh_->stop();
  if (result && result->failed()) emit StatusMessage(Q(result->ErrorText()));
  UpdateCount();
  emit FilterFinished();
}

void RunView::SetSource() {
  ++sourceGeneration_;
  if (!run_ || !index_) {
    model_->Clear();
    return;
  }
  if (matches_ && filter_) {
    model_->SetSource(*run_, *matches_, &filter_->Records());
  } else {
    model_->SetSource(*run_, *index_, nullptr);
  }
}

void RunView::Refresh() {
  if (!run_) return;
  model_->Refresh();
  UpdateCount();
}

void RunView::UpdateCount() {
  if (!run_ || !index_) {
    filters_->SetCountText(QString());
    return;
  }
  const std::uint64_t records = index_->Records();
  QString text;
  if (matches_) {
    const std::uint64_t shown = matches_->Rows();
    if (filterTask_.Active()) {
      text =
          QStringLiteral("%1 shown so far (%2)").arg(shown).arg(PercentText(percent_[kFilterTask]));
    } else if (filterStopped_) {
      text = QStringLiteral("%1 shown, stopped at %2 of the run")
                 .arg(shown)
                 .arg(PercentText(percent_[kFilterTask]));
    } else {
      text = QStringLiteral("%1 of %2 records shown").arg(shown).arg(matches_->Records());
    }
  } else {
    text = indexTask_.Active() ? QStringLiteral("%1 records so far").arg(records)
                               : QStringLiteral("%1 records").arg(records);
  }
  if (model_->TotalRows() > static_cast<std::uint64_t>(model_->rowCount())) {
    text += QStringLiteral(" (rows %1 to %2 in the table)")
                .arg(model_->WindowStart() + 1)
                .arg(model_->WindowStart() + static_cast<std::uint64_t>(model_->rowCount()));
  }
  filters_->SetCountText(text);
}

void RunView::ShowStation(int address, std::optional<FindingKind> kind) {
  if (address < 0 || address > 127) return;
  filters_->ApplyQuick(QuickFiltersFor(static_cast<std::uint8_t>(address), kind));
}

void RunView::ShowRunFinding(FindingKind kind) {
  filters_->ApplyQuick(QuickFiltersFor(std::nullopt, kind));
  // The files left and a record cut short show as rows of their own in the unfiltered table.
  const bool eventRow = kind == FindingKind::kFilesCutShort || kind == FindingKind::kLastRecordCut;
  if (eventRow && run_ && !matches_) {
    findEdit_->setText(kind == FindingKind::kFilesCutShort ? QStringLiteral("File left")
                                                           : QStringLiteral("Cut short"));
    findBar_->show();
    MoveToRunRow(0);
    Find(findEdit_->text(), true);
  }
}

// --- Moving around ---------------------------------------------------------------------------

std::uint64_t RunView::CurrentRunRow() const {
  const QModelIndex current = table_->currentIndex();
  return current.isValid() ? model_->RunRowOf(current.row()) : 0;
}

void RunView::MoveToRunRow(std::uint64_t row) {
  const int viewRow = model_->ShowRunRow(row);
  if (viewRow < 0) return;
  const int column = std::max(table_->currentIndex().column(), 0);
  const QModelIndex target = model_->index(viewRow, column);
  table_->setCurrentIndex(target);
  table_->scrollTo(target, QAbstractItemView::PositionAtCenter);
  UpdateCount();
}

bool RunView::GoToRecord(std::uint32_t refNumber) {
  if (!model_->HasSource()) return false;
  const std::optional<RecordRow> found =
      FindRecordRow(*model_->Reader(), *model_->Index(), refNumber);
  if (!found) return false;
  MoveToRunRow(found->row);
  if (!found->exact) {
    const RowTexts* row = model_->Row(found->row);
    emit StatusMessage(QStringLiteral("Record %1 is not shown; the next record shown is %2")
                           .arg(refNumber)
                           .arg(row != nullptr ? row->refNumber : 0));
  }
  return true;
}

bool RunView::GoToFault(bool forward) {
  if (!model_->HasSource() || model_->TotalRows() == 0) return false;
  const QModelIndex current = table_->currentIndex();
  std::uint64_t from = 0;
  if (current.isValid()) {
    const std::uint64_t row = model_->RunRowOf(current.row());
    if (!forward && row == 0) return false;
    from = forward ? row + 1 : row - 1;
  } else if (!forward) {
    from = model_->TotalRows() - 1;
  }
  const std::optional<std::uint64_t> found =
      FindFaultRow(*model_->Reader(), *model_->Index(), from, forward);
  if (!found) return false;
  MoveToRunRow(*found);
  return true;
}

void RunView::ShowTime(qint64 ns) {
  if (!model_->HasSource()) return;
  if (const std::optional<std::uint64_t> row =
          FindTimeRow(*model_->Reader(), *model_->Index(), ns)) {
    MoveToRunRow(*row);
  }
}

void RunView::OnGoToReference(const QString& typed) {
  if (!run_) return;
  bool ok = false;
  const QString text =
      QInputDialog::getText(this, QStringLiteral("Go to Reference Number"),
                            QStringLiteral("Reference number:"), QLineEdit::Normal, typed, &ok);
  if (!ok) return;
  const std::optional<std::uint32_t> ref = ScanUnsigned(text.toStdString());
  if (!ref || *ref == 0) {
    ShowMessage(this, Q(std::string(kPositiveIntegerMessage)), QMessageBox::Warning);
    return;
  }
  if (!GoToRecord(*ref)) {
    emit StatusMessage(QStringLiteral("The run has no record %1 shown from there on").arg(*ref));
  }
}

void RunView::OnScrolled(int value) {
  // At either end of a window that does not hold the whole run, the window moves on.
  QScrollBar* bar = table_->verticalScrollBar();
  const std::uint64_t start = model_->WindowStart();
  const auto shown = static_cast<std::uint64_t>(model_->rowCount());
  std::optional<std::uint64_t> target;
  if (value == bar->maximum() && start + shown < model_->TotalRows()) target = start + shown;
  if (value == bar->minimum() && start > 0) target = start - 1;
  if (!target) return;
  QTimer::singleShot(0, this, [this, row = *target] { MoveToRunRow(row); });
}

void RunView::CopyCurrentRow() {
  const QModelIndex current = table_->currentIndex();
  if (!current.isValid()) return;
  QStringList cells;
  for (int c = 0; c < model_->columnCount(); ++c)
    cells << model_->index(current.row(), c).data().toString();
  QApplication::clipboard()->setText(cells.join('\t'));
}

// --- Finding text ----------------------------------------------------------------------------

void RunView::Find(const QString& text, bool forward) {
  if (!model_->HasSource() || text.isEmpty()) return;
  findTask_.Cancel();
  findText_ = text;
  findStatus_->setText(QStringLiteral("Searching..."));
  const std::uint64_t rows = model_->TotalRows();
  if (rows == 0) return;
  const QModelIndex current = table_->currentIndex();
  TextSearch search;
  search.text = text.toStdString();
  search.forward = forward;
  if (current.isValid()) {
    const std::uint64_t row = model_->RunRowOf(current.row());
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
}

void RunView::OnFindDone() {
  (void)findTask_.Collect();
  TaskEnded(kFindTask);
  const std::shared_ptr<TextSearchOutcome> outcome = std::move(findOutcome_);
  bool found = false;
  if (outcome && findGeneration_ == sourceGeneration_) {
    if (outcome->row) {
      found = true;
      MoveToRunRow(*outcome->row);
      findStatus_->setText(outcome->wrapped ? QStringLiteral("Found after going round the end")
                                            : QString());
    } else if (outcome->stopped) {
      findStatus_->setText(QStringLiteral("Stopped"));
    } else if (outcome->result.failed()) {
      findStatus_->setText(Q(outcome->result.ErrorText()));
    } else {
      findStatus_->setText(QStringLiteral("Not found"));
      emit StatusMessage(QStringLiteral("\"%1\" was not found").arg(findText_));
    }
  }
  emit FindFinished(found);
}

// --- Exports ---------------------------------------------------------------------------------

bool RunView::StartExport(const QString& path, ExportFormat format, QString* error) {
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
  request.OptionPath = filters_->OptionFile().toStdString();
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
  job->format = format;
  exportJob_ = job;
  exportTask_.Start([request, options, filter, job, format](const RunControl& control) {
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
      ExportSummary summary;
      result = ExportRun(request, shown, exportOptions, control, &summary);
      job->written = summary.packets;
      job->records = summary.records;
      job->stopped = summary.stopped;
    }
    return result;
  });
  TaskStarted(kExportTask, QStringLiteral("Exporting"));
  return true;
}

void RunView::OnExportDone() {
  const std::optional<Result> result = exportTask_.Collect();
  TaskEnded(kExportTask);
  const std::shared_ptr<ExportJob> job = std::move(exportJob_);
  if (!result || !job) return;
  const QString name = QFileInfo(job->path).fileName();
  QString message;
  bool ok = false;
  if (result->failed()) {
    message = Q(result->ErrorText());
    ShowMessage(this, message, QMessageBox::Critical);
  } else if (job->stopped) {
    message = QStringLiteral("Export stopped: %1 records written to %2, which ends there")
                  .arg(job->written)
                  .arg(name);
  } else {
    ok = true;
    message = QStringLiteral("%1 records exported to %2").arg(job->written).arg(name);
  }
  emit StatusMessage(message);
  emit ExportFinished(ok, message);
}

void RunView::OnExport(ExportFormat format) {
  if (!run_) return;
  const bool text = format == ExportFormat::kText;
  const std::string suggested =
      OutputPathFor(FirstCaptureFile(*run_), filters_->OptionFile().toStdString());
  QString path = Q(suggested);
  if (!text) path = path.left(path.size() - 4) + QStringLiteral(".pcapng");
  QFileDialog dialog(this);
  const FileDialogChoice choice{text ? QStringLiteral("Export Shown Records as Text Dump")
                                     : QStringLiteral("Export Shown Records as pcapng"),
                                text ? QStringLiteral("Text Dump (*.txt)")
                                     : QStringLiteral("pcapng for Wireshark (*.pcapng)"),
                                text ? QStringLiteral("txt") : QStringLiteral("pcapng"),
                                BrowseStartFor(path.toStdString()), false};
  ConfigureFileDialog(dialog, choice);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.selectFile(QFileInfo(path).fileName());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  QString error;
  if (!StartExport(dialog.selectedFiles().front(), format, &error)) {
    ShowMessage(this, error, QMessageBox::Warning);
  }
}

}  // namespace fdc::ui
