// The run's client area: table, filter bar, find bar and the tasks' status part, wired to the run.
#include "ui/run_table/run_view.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QItemSelectionModel>
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
#include <algorithm>
#include <memory>

#include "engine/dump_request_rules.h"
#include "engine/pcapng_export.h"
#include "ui/common/large_table_view.h"
#include "ui/common/platform.h"
#include "ui/run_table/filter_bar.h"
#include "ui/run_table/record_table_model.h"
#include "ui/run_table/row_scroll.h"
#include "ui/run_table/row_texts.h"
#include "ui/run_table/run_files.h"
#include "ui/run_table/run_watch.h"

namespace fdc::ui {

namespace {

// How often the table takes the rows that a pass has added.
constexpr int kRefreshMs = 200;
// How often the open run's files are looked at for changes.
constexpr int kWatchMs = 2000;

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The ground of a record with a protocol fault, by its first mark.
QColor MarkColour(RowClass rowClass) {
  switch (rowClass) {
    case RowClass::kNoReply:
      return QColor(255, 170, 120);
    case RowClass::kLateReply:
      return QColor(255, 200, 140);
    case RowClass::kCorruptReply:
      return QColor(240, 160, 200);
    case RowClass::kEarlyReply:
      return QColor(190, 215, 255);
    case RowClass::kNegativeReply:
      return QColor(215, 195, 255);
    case RowClass::kDiagnosisFlagged:
      return QColor(255, 245, 160);
    case RowClass::kTsynViolation:
      return QColor(185, 235, 210);
    case RowClass::kDpEvent:
      return QColor(200, 232, 236);
    default:
      return QColor();
  }
}

// Damaged frames on a red ground, protocol faults on the colour of their first mark, the reader's
// events on an amber one.
class RecordRowDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    const auto rowClass =
        static_cast<RowClass>(index.data(RecordTableModel::kRowClassRole).toInt());
    switch (rowClass) {
      case RowClass::kFaulty:
        option->backgroundBrush = QColor(255, 205, 205);
        break;
      case RowClass::kEvent:
        option->backgroundBrush = QColor(255, 226, 150);
        option->font.setItalic(true);
        break;
      case RowClass::kRecord:
        break;
      default:
        option->backgroundBrush = MarkColour(rowClass);
        break;
    }
  }
};

// Column widths in characters of the table's font.
constexpr std::array<int, kTableColumns> kColumnChars = {9, 17, 10, 12, 9, 5, 4, 4, 11, 7, 36, 17};

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
  BuildChangeBar();
  tableLayout->addWidget(changeBar_);
  BuildTable();
  tableSplitter_ = new QSplitter(Qt::Vertical);
  tableSplitter_->setObjectName(QStringLiteral("tableSplitter"));
  // The table with the bar that stands for the whole run beside it.
  auto* tableBox = new QWidget;
  auto* tableRow = new QHBoxLayout(tableBox);
  tableRow->setContentsMargins(0, 0, 0, 0);
  tableRow->setSpacing(0);
  tableRow->addWidget(table_, 1);
  tableRow->addWidget(rowBar_);
  tableSplitter_->addWidget(tableBox);
  tableSplitter_->setStretchFactor(0, 3);
  tableLayout->addWidget(tableSplitter_, 1);
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
  connect(filters_, &FilterBar::StopRequested, &session_, &RunSession::StopFilter);
  connect(filters_, &FilterBar::OptionFileChosen, this, [this](const QString& path) {
    session_.SetOptionFile(path);
    emit OptionFileChosen(path);
  });

  connect(&session_, &RunSession::SourceChanged, this, &RunView::SetSource);
  connect(&session_, &RunSession::TasksChanged, this, &RunView::OnTasksChanged);
  connect(&session_, &RunSession::IndexFinished, this, &RunView::OnIndexFinished);
  connect(&session_, &RunSession::FilterFinished, this, &RunView::OnFilterFinished);
  connect(&session_, &RunSession::FindFinished, this, &RunView::OnFindFinished);
  connect(&session_, &RunSession::ExportFinished, this, &RunView::OnExportFinished);

  // A layout full of controls must not make the window wider or taller than the user wants it:
  // a small window cuts the parts instead.
  setMinimumSize(120, 80);
  setFocusProxy(openButton_);
}

RunView::~RunView() { model_->Clear(); }

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
  // The view scrolls through the model's window of the run; the bar of our own beside it stands
  // for the whole run, however long.
  table_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  rowBar_ = new QScrollBar(Qt::Vertical);
  rowBar_->setObjectName(QStringLiteral("runScrollBar"));
  rowBar_->setRange(0, 0);
  connect(rowBar_, &QScrollBar::valueChanged, this, &RunView::OnRowBarMoved);
  table_->installEventFilter(this);
  table_->viewport()->installEventFilter(this);
  connect(table_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          &RunView::OnCurrentRowChanged);
  connect(model_, &QAbstractItemModel::modelReset, this, &RunView::OnCurrentRowChanged);

  auto* copy = new QAction(QStringLiteral("&Copy Row"), table_);
  copy->setShortcut(QKeySequence::Copy);
  copy->setShortcutContext(Qt::WidgetShortcut);
  connect(copy, &QAction::triggered, this, &RunView::CopyCurrentRow);
  table_->addAction(copy);
  table_->setContextMenuPolicy(Qt::ActionsContextMenu);
}

void RunView::BuildChangeBar() {
  changeBar_ = new QWidget;
  changeBar_->setObjectName(QStringLiteral("changeBar"));
  changeBar_->setAutoFillBackground(true);
  QPalette colours = changeBar_->palette();
  colours.setColor(QPalette::Window, QColor(0xff, 0xf0, 0xb0));
  changeBar_->setPalette(colours);
  auto* layout = new QHBoxLayout(changeBar_);
  layout->setContentsMargins(6, 2, 6, 2);
  changeLabel_ = new QLabel(QStringLiteral("The run changed on disk"));
  changeLabel_->setObjectName(QStringLiteral("changeText"));
  reload_ = new QPushButton(QStringLiteral("&Reload"));
  reload_->setObjectName(QStringLiteral("reload"));
  reload_->setToolTip(QStringLiteral("Read the run again as its files are now"));
  dismiss_ = new QPushButton(QStringLiteral("Dis&miss"));
  dismiss_->setObjectName(QStringLiteral("dismiss"));
  dismiss_->setToolTip(QStringLiteral("Keep what the table shows; a further change is told again"));
  layout->addWidget(changeLabel_, 1);
  layout->addWidget(reload_);
  layout->addWidget(dismiss_);
  changeBar_->hide();
  watchTimer_ = new QTimer(this);
  watchTimer_->setInterval(kWatchMs);
  connect(watchTimer_, &QTimer::timeout, this, &RunView::CheckRunFiles);
  connect(reload_, &QPushButton::clicked, this, &RunView::ReloadRun);
  connect(dismiss_, &QPushButton::clicked, this, [this] {
    watched_ = ReadRunFilesState(session_.Run()->Run);
    changeBar_->hide();
  });
}

void RunView::CheckRunFiles() {
  if (!session_.HasRun()) return;
  const RunChange change = CompareRunFiles(watched_, ReadRunFilesState(session_.Run()->Run));
  if (change == RunChange::kNone) return;
  // The bar's text stays the same; how the run changed is in its tooltip and in what Reload does.
  changeBar_->setToolTip(change == RunChange::kGrown
                             ? QStringLiteral("The run has grown since it was read")
                             : QStringLiteral("The run's files are not as they were read"));
  changeBar_->show();
}

void RunView::ReloadRun() {
  if (!session_.HasRun()) return;
  DumpRequest request = *session_.Run();
  const RunFilesState now = ReadRunFilesState(request.Run);
  // A minute file that appeared after the run's last one joins it.
  if (CompareRunFiles(watched_, now) == RunChange::kGrown && now.nextExists &&
      request.Run.count < kMaxNumMin) {
    ++request.Run.count;
  }
  if (CompareRunFiles(watched_, now) == RunChange::kGrown && ReadOnRun(request, now)) return;
  OpenRun(request);
  emit StatusMessage(
      QStringLiteral("The run was read again: %1 minute files").arg(request.Run.count));
}

bool RunView::ReadOnRun(const DumpRequest& request, const RunFilesState& now) {
  const std::uint64_t current = CurrentRunRow();
  // What was computed of the run as it was goes, as when it is opened again: the index it was
  // read with is replaced.
  emit RunClosed();
  const std::optional<std::uint64_t> kept = session_.ReadOn(request);
  if (!kept) return false;
  watched_ = now;
  changeBar_->hide();
  ApplyFilter(filters_->Input());
  UpdateActions();
  // The rows up to the index's last entry stay as they were, the row the user was on among them.
  if (!session_.ShowsMatches() && current < session_.Index()->Rows()) MoveToRunRow(current);
  emit RunOpened(*session_.Run());
  emit StatusMessage(QStringLiteral("The run is read on from record %1: %2 minute files")
                         .arg(*kept + 1)
                         .arg(request.Run.count));
  return true;
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
                    QStringLiteral("Move to the next record with a fault of the kinds chosen in "
                                   "the filter bar, or of the finding shown"));
  previousFault_ = make(QStringLiteral("&Previous Fault"), QKeySequence(Qt::SHIFT | Qt::Key_F8),
                        QStringLiteral("Move to the record before with a fault of the kinds "
                                       "chosen in the filter bar, or of the finding shown"));
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
  const bool open = session_.HasRun();
  for (QAction* action : {goTo_, nextFault_, previousFault_, find_, findNext_, findPrevious_,
                          exportText_, exportPcapng_}) {
    action->setEnabled(open);
  }
}

// --- Opening and closing -----------------------------------------------------------------------

void RunView::OpenRun(const DumpRequest& request) {
  CloseRun();
  session_.Open(request);
  // What the files are as the run is read: a change from here on is noticed.
  watched_ = ReadRunFilesState(request.Run);
  watchTimer_->start();
  stack_->setCurrentIndex(1);
  setFocusProxy(table_);
  // The filter in the bar applies to the new run, as it stands.
  ApplyFilter(filters_->Input());
  UpdateActions();
  emit RunOpened(*session_.Run());
}

void RunView::CloseRun() {
  model_->Clear();
  refresh_->stop();
  watchTimer_->stop();
  changeBar_->hide();
  const bool wasOpen = session_.Close();
  filters_->SetCountText(QString());
  stack_->setCurrentIndex(0);
  setFocusProxy(openButton_);
  UpdateActions();
  if (wasOpen) emit RunClosed();
}

void RunView::SetOptionFile(const QString& path) {
  session_.SetOptionFile(path);
  filters_->LoadOptionFile(path);
}

void RunView::AddSidePanel(QWidget* panel, int stretch) {
  splitter_->addWidget(panel);
  splitter_->setStretchFactor(splitter_->indexOf(panel), stretch);
}

void RunView::SetBottomPanel(QWidget* panel) {
  tableSplitter_->addWidget(panel);
  tableSplitter_->setStretchFactor(tableSplitter_->indexOf(panel), 2);
}

// --- The tasks' status ------------------------------------------------------------------------

void RunView::OnTasksChanged() {
  filters_->SetFiltering(session_.Filtering());
  // While a pass runs the table takes the rows it adds every so often; its end stops that.
  if ((session_.Indexing() || session_.Filtering()) && !refresh_->isActive()) refresh_->start();
  UpdateStatus();
  UpdateCount();
}

void RunView::UpdateStatus() {
  const std::optional<RunSession::Task> shown = session_.ShownTask();
  if (!shown) {
    status_->hide();
    return;
  }
  taskLabel_->setText(session_.TaskLabel(*shown));
  taskProgress_->setValue(static_cast<int>(session_.TaskPercent(*shown)));
  taskStop_->setEnabled(!session_.TaskStopRequested(*shown));
  status_->show();
}

void RunView::StopTask() { session_.StopShownTask(); }

bool RunView::EndTasksBeforeClosing() {
  if (!session_.Exporting()) return true;
  if (!AskYesNo(this, QStringLiteral("An export is running.\nStop it and close?"))) return false;
  session_.StopExportAndWait();
  return true;
}

void RunView::OnIndexFinished(const QString& statusLine, const QString& failure) {
  Refresh();
  if (!session_.Filtering()) refresh_->stop();
  if (!failure.isEmpty()) ShowMessage(this, failure, QMessageBox::Critical);
  emit StatusMessage(statusLine);
  UpdateCount();
  emit IndexFinished();
}

// --- The filter ------------------------------------------------------------------------------

void RunView::SetHealthFigures(const BusFigures* figures) {
  filters_->SetStations(figures != nullptr ? StationChoicesOf(figures->stations)
                                           : std::vector<StationChoice>{});
  // The records of the DP events, for their quick filter: the filter keeps its own copy.
  std::shared_ptr<std::vector<std::uint32_t>> refs;
  if (figures != nullptr) {
    refs = std::make_shared<std::vector<std::uint32_t>>();
    for (const DpEvent& e : figures->dp.events) refs->push_back(e.ref);
    std::sort(refs->begin(), refs->end());
    refs->erase(std::unique(refs->begin(), refs->end()), refs->end());
  }
  // The same records carry a mark in the table, with the kinds of their events.
  std::shared_ptr<std::vector<RecordTableModel::DpEventMark>> marks;
  if (figures != nullptr) {
    marks = std::make_shared<std::vector<RecordTableModel::DpEventMark>>();
    for (const DpEvent& e : figures->dp.events) {
      if (marks->empty() || marks->back().ref != e.ref) marks->push_back({e.ref, 0});
      marks->back().kinds |= 1u << static_cast<unsigned>(e.kind);
    }
  }
  model_->SetDpEvents(std::move(marks));
  const bool hadEvents = session_.DpEventsKnown();
  session_.SetDpEventRefs(refs);
  filters_->SetDpEventsKnown(refs != nullptr);
  // The station filter's acknowledgements come within the slot time the figures were
  // computed with.
  const bool changed = session_.SetSlotTime(figures != nullptr ? figures->tslBits : 0);
  // So do the marks of the rows.
  model_->SetSlotTime(figures != nullptr ? figures->tslBits : 0);
  const FilterInput input = filters_->Input();
  if (session_.HasRun() && ((changed && (input.quick.station || input.quick.marks != 0)) ||
                            (input.quick.dpEvents && (refs != nullptr || hadEvents)))) {
    ApplyFilter(input);
  }
}

void RunView::ApplyFilter(const FilterInput& input) {
  if (const std::optional<FilterError> error = session_.ApplyFilter(input)) {
    filters_->ShowError(*error);
    return;
  }
  filters_->ClearError();
  filters_->MarkApplied(input);
}

void RunView::OnFilterFinished(const QString& failure) {
  Refresh();
  if (pendingFirstRow_) {
    pendingFirstRow_ = false;
    emit StatusMessage(QStringLiteral("The filter shows no record"));
  } else {
    ShowFindingPosition();
  }
  if (pendingRecord_ != 0 && !TrySelectPending()) {
    emit StatusMessage(QStringLiteral("The filter does not show record %1").arg(pendingRecord_));
    pendingRecord_ = 0;
  }
  if (!session_.Indexing()) refresh_->stop();
  if (!failure.isEmpty()) emit StatusMessage(failure);
  UpdateCount();
  emit FilterFinished();
}

void RunView::SetSource() {
  const RunIndex* shown = session_.ShownIndex();
  if (shown == nullptr) {
    model_->Clear();
  } else {
    model_->SetSource(*session_.Run(), *shown, session_.ShownFilter());
  }
  UpdateRowBar();
  UpdateCount();
}

void RunView::Refresh() {
  if (!session_.HasRun()) return;
  model_->Refresh();
  UpdateRowBar();
  if (pendingRecord_ != 0) TrySelectPending();
  TrySelectFirstRow();
  UpdateCount();
}

void RunView::SelectRecordWhenShown(quint32 ref) {
  pendingRecord_ = ref;
  pendingFirstRow_ = false;
  // The pass that finds the filter's matches may still run, or have ended unreported: the
  // record is looked for again as the rows come and when the pass's end is reported.
  const RunIndex* shown = session_.ShownIndex();
  if (TrySelectPending() || shown == nullptr || !shown->Complete()) return;
  emit StatusMessage(QStringLiteral("The filter does not show record %1").arg(ref));
  pendingRecord_ = 0;
}

bool RunView::TrySelectPending() {
  if (!model_->HasSource()) return false;
  model_->Refresh();
  const std::optional<RecordRow> found =
      FindRecordRow(*model_->Reader(), *model_->Index(), pendingRecord_);
  if (!found || !found->exact) return false;
  pendingRecord_ = 0;
  MoveToRunRow(found->row);
  ShowFindingPosition();
  return true;
}

void RunView::UpdateCount() {
  QString text = session_.CountText();
  if (!text.isEmpty() && model_->TotalRows() > static_cast<std::uint64_t>(model_->rowCount())) {
    text += QStringLiteral(" (rows %1 to %2 in the table)")
                .arg(model_->WindowStart() + 1)
                .arg(model_->WindowStart() + static_cast<std::uint64_t>(model_->rowCount()));
  }
  filters_->SetCountText(text);
}

void RunView::ShowStation(int address) {
  if (address < 0 || address > 127) return;
  QuickFilters quick;
  quick.station = static_cast<std::uint8_t>(address);
  eventFinding_.reset();
  pendingFirstRow_ = true;
  filters_->ApplyQuick(quick);
  TrySelectFirstRow();
}

void RunView::ShowFinding(const BusFinding& finding, const std::vector<quint32>& dpRefs) {
  const FindingRecords records =
      RecordsOfFinding(finding, std::vector<std::uint32_t>(dpRefs.begin(), dpRefs.end()));
  eventFinding_.reset();
  if (records.eventRows) {
    // Files left and a record cut short are rows of their own in the unfiltered table.
    filters_->ClearAndApply();
    eventFinding_ =
        EventFinding{*records.eventRows == RowKind::kFileCutShort ? QStringLiteral("File left")
                                                                  : QStringLiteral("Cut short"),
                     finding.count, 0};
    if (session_.HasRun()) {
      findEdit_->setText(eventFinding_->text);
      findBar_->show();
      MoveToRunRow(0);
      StepFinding(true);
    }
    return;
  }
  pendingFirstRow_ = true;
  filters_->ApplyQuick(records.quick);
  TrySelectFirstRow();
}

bool RunView::FindingShown() const {
  const TableFilter* filter = session_.CurrentFilter();
  return session_.ShowsMatches() && filter != nullptr && !filter->Finding().empty();
}

void RunView::TrySelectFirstRow() {
  if (!pendingFirstRow_ || !model_->HasSource()) return;
  model_->Refresh();
  if (model_->TotalRows() == 0) return;
  pendingFirstRow_ = false;
  table_->setCurrentIndex(QModelIndex());
  MoveToRunRow(0);
  ShowFindingPosition();
}

bool RunView::StepFinding(bool forward) {
  if (eventFinding_) {
    if (eventFinding_->count == 0) return false;
    if (forward ? eventFinding_->at >= eventFinding_->count : eventFinding_->at <= 1) return false;
    eventFinding_->at += forward ? 1 : -1;
    Find(eventFinding_->text, forward);
    ShowFindingPosition();
    return true;
  }
  const std::uint64_t rows = model_->TotalRows();
  const QModelIndex current = table_->currentIndex();
  const std::uint64_t row = current.isValid() ? model_->RunRowOf(current.row()) : 0;
  if (!current.isValid()) {
    if (rows == 0) return false;
    MoveToRunRow(0);
  } else if (forward ? row + 1 >= rows : row == 0) {
    return false;
  } else {
    MoveToRunRow(forward ? row + 1 : row - 1);
  }
  ShowFindingPosition();
  return true;
}

void RunView::ShowFindingPosition() {
  if (eventFinding_) {
    emit StatusMessage(
        QStringLiteral("finding record %1 of %2").arg(eventFinding_->at).arg(eventFinding_->count));
    return;
  }
  if (!FindingShown()) return;
  const QModelIndex current = table_->currentIndex();
  if (!current.isValid()) return;
  const RunIndex* shown = session_.ShownIndex();
  QString text = QStringLiteral("finding record %1 of %2")
                     .arg(model_->RunRowOf(current.row()) + 1)
                     .arg(model_->TotalRows());
  // While the filter's pass runs, more of them may come.
  if (shown != nullptr && !shown->Complete()) text += QStringLiteral(" found so far");
  emit StatusMessage(text);
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
  UpdateRowBar();
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
  if (eventFinding_ || FindingShown()) return StepFinding(forward);
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
      FindFaultRow(*model_->Reader(), *model_->Index(), from, forward, filters_->FaultKinds());
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

bool RunView::ShowRecord(quint32 ref) {
  if (!model_->HasSource()) return false;
  std::optional<RecordRow> found = FindRecordRow(*model_->Reader(), *model_->Index(), ref);
  if ((!found || !found->exact) && session_.ShowsMatches()) {
    // The filter hides the record: the whole run is shown again (at once, from its index).
    filters_->ClearAndApply();
    found = FindRecordRow(*model_->Reader(), *model_->Index(), ref);
    if (found && found->exact) {
      emit StatusMessage(
          QStringLiteral("The filter hid record %1, so it was cleared to show the record")
              .arg(ref));
    }
  }
  if (!found || !found->exact) {
    emit StatusMessage(QStringLiteral("Record %1 is not in the table").arg(ref));
    return false;
  }
  MoveToRunRow(found->row);
  return true;
}

std::uint32_t RunView::CurrentRecord() const {
  const QModelIndex current = table_->currentIndex();
  if (!current.isValid() || !model_->HasSource()) return 0;
  const RowTexts* row = model_->Row(model_->RunRowOf(current.row()));
  return row != nullptr && row->rowClass != RowClass::kEvent ? row->refNumber : 0;
}

void RunView::OnCurrentRowChanged() {
  const std::uint32_t ref = CurrentRecord();
  if (ref == currentRecord_) return;
  currentRecord_ = ref;
  emit CurrentRecordChanged(ref);
}

void RunView::OnGoToReference(const QString& typed) {
  if (!session_.HasRun()) return;
  QInputDialog dialog(this);
  const QString title = QStringLiteral("Go to Reference Number");
  dialog.setWindowTitle(title);
  dialog.setLabelText(QStringLiteral("Reference number:"));
  dialog.setTextValue(typed);
  // Wide enough for its title beside the title bar's buttons.
  dialog.setMinimumWidth(dialog.fontMetrics().horizontalAdvance(title) + 160);
  if (dialog.exec() != QDialog::Accepted) return;
  const QString text = dialog.textValue();
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
  UpdateRowBar();
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

int RunView::PageRows() const {
  const int rowHeight = std::max(table_->verticalHeader()->defaultSectionSize(), 1);
  return std::max(table_->viewport()->height() / rowHeight, 1);
}

std::uint64_t RunView::TopRunRow() const {
  const int top = table_->rowAt(0);
  return top < 0 ? model_->WindowStart() : model_->RunRowOf(top);
}

void RunView::UpdateRowBar() {
  if (rowBar_ == nullptr) return;
  const RowScroll scroll(model_->TotalRows(), static_cast<std::uint64_t>(PageRows()));
  const QSignalBlocker quiet(rowBar_);
  rowBar_->setRange(0, scroll.Maximum());
  rowBar_->setPageStep(scroll.PageStep());
  rowBar_->setSingleStep(std::max(scroll.PageStep() / PageRows(), 1));
  // The run's last row in sight is the bar's end, whatever part of a row the page leaves.
  const int bottom = table_->rowAt(table_->viewport()->height() - 1);
  const int lastViewRow = bottom >= 0 ? bottom : model_->rowCount() - 1;
  const bool atEnd = lastViewRow >= 0 && model_->RunRowOf(lastViewRow) + 1 >= model_->TotalRows();
  rowBar_->setValue(atEnd ? scroll.Maximum() : scroll.ValueOf(TopRunRow()));
}

void RunView::OnRowBarMoved(int value) {
  const RowScroll scroll(model_->TotalRows(), static_cast<std::uint64_t>(PageRows()));
  ShowRunRowAtTop(scroll.TopRowAt(value));
}

void RunView::ShowRunRowAtTop(std::uint64_t row) {
  const std::uint64_t total = model_->TotalRows();
  if (total == 0) return;
  row = std::min(row, total - 1);
  // The window holds the page from the row on, so that the view can put the row at its top.
  const std::uint64_t pageEnd = std::min(row + static_cast<std::uint64_t>(PageRows()), total - 1);
  if (model_->ShowRunRow(pageEnd) < 0) return;
  const int viewRow = model_->ShowRunRow(row);
  if (viewRow < 0) return;
  table_->scrollTo(model_->index(viewRow, 0), QAbstractItemView::PositionAtTop);
  UpdateCount();
}

bool RunView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == table_ && event->type() == QEvent::KeyPress) {
    // Ctrl+Home and Ctrl+End go to the run's ends, past the model's window.
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool ctrl = (key->modifiers() & Qt::ControlModifier) != 0;
    if (ctrl && (key->key() == Qt::Key_End || key->key() == Qt::Key_Home) &&
        model_->TotalRows() > 0) {
      MoveToRunRow(key->key() == Qt::Key_End ? model_->TotalRows() - 1 : 0);
      return true;
    }
  }
  if (watched == table_->viewport() && event->type() == QEvent::Resize) {
    QTimer::singleShot(0, this, &RunView::UpdateRowBar);
  }
  return QWidget::eventFilter(watched, event);
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
  findStatus_->setText(QStringLiteral("Searching..."));
  const QModelIndex current = table_->currentIndex();
  const std::optional<std::uint64_t> from =
      current.isValid() ? std::optional(model_->RunRowOf(current.row())) : std::nullopt;
  session_.StartFind(text, forward, from, model_->TotalRows());
}

void RunView::OnFindFinished(const FindEnd& end) {
  if (end.current) {
    if (end.row) MoveToRunRow(*end.row);
    findStatus_->setText(end.barText);
    if (!end.statusLine.isEmpty()) emit StatusMessage(end.statusLine);
  }
  emit FindFinished(end.row.has_value());
}

// --- Exports ---------------------------------------------------------------------------------

void RunView::OnExportFinished(const ExportEnd& end) {
  if (end.failed) ShowMessage(this, end.message, QMessageBox::Critical);
  emit StatusMessage(end.message);
  emit ExportFinished(end.ok, end.message);
}

void RunView::OnExport(ExportFormat format) {
  if (!session_.HasRun()) return;
  const bool text = format == ExportFormat::kText;
  QString path = session_.SuggestedExportPath(format);
  // The folder of the last export, when there was one, with the name for this run.
  if (!lastExportFolder_.isEmpty()) {
    path = QDir(lastExportFolder_).filePath(QFileInfo(path).fileName());
  }
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
  const QString chosen = dialog.selectedFiles().front();
  lastExportFolder_ = QFileInfo(chosen).absolutePath();
  std::uint64_t dayStartNs = 0;
  if (!text && !AskCaptureDate(dayStartNs)) return;
  QString error;
  if (!session_.StartExport(chosen, format, &error, dayStartNs)) {
    ShowMessage(this, error, QMessageBox::Warning);
  }
}

bool RunView::AskCaptureDate(std::uint64_t& dayStartNs) {
  // The packets' times are the module's clock from midnight of the day the run was captured,
  // as fdc2pcapng --date takes it; the first file's last change (UTC) is the likely day.
  QInputDialog dialog(this);
  dialog.setWindowTitle(QStringLiteral("Capture Date"));
  dialog.setLabelText(
      QStringLiteral("The day the run was captured (YYYY-MM-DD, UTC), which the "
                     "packets' times count from:"));
  dialog.setTextValue(Q(CaptureDateOf(FirstCaptureFile(*session_.Run()))));
  for (;;) {
    if (dialog.exec() != QDialog::Accepted) return false;
    if (const std::optional<std::uint64_t> day = DayStartNs(dialog.textValue().toStdString())) {
      dayStartNs = *day;
      return true;
    }
    ShowMessage(this, QStringLiteral("A date from 1970-01-01 to 2500-12-31 as YYYY-MM-DD, please"),
                QMessageBox::Warning);
  }
}

}  // namespace fdc::ui
