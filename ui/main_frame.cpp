// The main window: its menus and bars, its commands, opening a capture run (File > Open, Open
// Recent, a drop, the command line), the GSD folders, and the window placement kept in the
// settings.
#include "ui/main_frame.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>
#include <vector>

#include "ui/child_view.h"
#include "ui/common/app_icon.h"
#include "ui/common/browse_start.h"
#include "ui/common/dialog_geometry.h"
#include "ui/common/gsd_folders.h"
#include "ui/common/key_locks.h"
#include "ui/common/platform.h"
#include "ui/details/details_pane.h"
#include "ui/gsd_folders_dlg.h"
#include "ui/health/health_view.h"
#include "ui/health/live_list.h"
#include "ui/keyboard_shortcuts.h"
#include "ui/program_arguments.h"
#include "ui/run_table/filter_bar.h"
#include "ui/run_table/open_run_dialog.h"
#include "ui/run_table/run_files.h"
#include "ui/run_table/run_view.h"
#include "ui/run_table/table_navigation.h"

using namespace fdc::ui;

namespace {

constexpr std::array<LockKey, 3> kIndicatorKeys = {LockKey::kCaps, LockKey::kNum, LockKey::kScroll};
// How often the lock keys are read; a change made in another window shows within this time.
constexpr int kIndicatorPollMs = 250;

// The records under a finding when it is expanded.
constexpr std::size_t kFindingRecordsListed = 10;

std::vector<ScreenRect> ScreenRects() {
  std::vector<ScreenRect> rects;
  const QScreen* primary = QGuiApplication::primaryScreen();
  std::vector<const QScreen*> screens;
  if (primary != nullptr) screens.push_back(primary);
  for (const QScreen* screen : QGuiApplication::screens()) {
    if (screen != primary) screens.push_back(screen);
  }
  for (const QScreen* screen : screens) {
    const QRect area = screen->availableGeometry();
    rects.push_back(
        {area.left(), area.top(), area.left() + area.width(), area.top() + area.height()});
  }
  return rects;
}

// The first local file among dropped URLs.
std::optional<QString> DroppedFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return std::nullopt;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) return url.toLocalFile();
  }
  return std::nullopt;
}

// The size a window grows to when a run opens in it, within the screen's free area.
constexpr QSize kTableWindowSize(1100, 720);

}  // namespace

CMainFrame::CMainFrame(AppSettings& settings, QWidget* parent)
    : QMainWindow(parent), settings_(settings), textDump_(this) {
  setObjectName(QStringLiteral("CMainFrame"));
  setWindowTitle(QString::fromLatin1(kAppName));
  setWindowIcon(AppIcon());
  setGeometry(10, 10, 390, 290);
}

CMainFrame::~CMainFrame() {
  if (!placementSaved_) SavePlacement();
  StoreDialogValues();
}

void CMainFrame::StoreDialogValues() {
  const TextDumpValues& values = textDump_.Values();
  settings_.DumpFile = values.FileName;
  settings_.OptFile = values.OptionFile;
  settings_.EditorPath = values.EditorPath;
  settings_.AutoEdit = values.AutoEdit ? 1 : 0;
}

void CMainFrame::OnDialogValuesStored() {
  // Written now rather than only at the end, so that a session that is killed loses nothing.
  if (!placementSaved_) StorePlacement();
  StoreDialogValues();
  emit SettingsChanged();
}

bool CMainFrame::Create() {
  childView_ = new CChildView(this);
  setCentralWidget(childView_);
  setFocusProxy(childView_);
  // The view holds the open run: the table with its filter, and whatever goes beside it.
  runView_ = new RunView(childView_);
  auto* viewLayout = new QVBoxLayout(childView_);
  viewLayout->setContentsMargins(0, 0, 0, 0);
  viewLayout->addWidget(runView_);
  childView_->setFocusProxy(runView_);
  setAcceptDrops(true);
  CreateMenus();
  if (!CreateToolBar()) return false;
  if (!CreateStatusBar()) return false;
  setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);
  ApplyPlacement();

  TextDumpValues& values = textDump_.Values();
  values.FileName = settings_.DumpFile;
  values.OptionFile = settings_.OptFile;
  values.EditorPath = settings_.EditorPath;
  values.AutoEdit = settings_.AutoEdit != 0;
  connect(&textDump_, &TextDump::ValuesStored, this, &CMainFrame::OnDialogValuesStored);
  connect(&textDump_, &TextDump::RunReported, this, &CMainFrame::ShowStatusLine);

  // Until the user chooses one, the table's option file is the shipped one, which shows every
  // record: the dialog's may filter for arguments that the table's fields do not hold yet.
  const std::string tableOptions =
      settings_.Window.TableOptFile.empty()
          ? DefaultOptFile(ProgramDirOf(
                QDir::toNativeSeparators(QCoreApplication::applicationFilePath()).toStdString()))
          : settings_.Window.TableOptFile;
  runView_->SetOptionFile(QString::fromStdString(tableOptions));
  // The filter bar's recent equations are kept in the settings.
  runView_->Filters()->SetRecentFilters(settings_.Window.RecentFilters);
  connect(runView_->Filters(), &FilterBar::RecentFiltersChanged, this,
          [this](const std::vector<std::string>& equations) {
            settings_.Window.RecentFilters = equations;
            emit SettingsChanged();
          });
  connect(runView_, &RunView::StatusMessage, this, &CMainFrame::ShowStatusLine);
  connect(runView_, &RunView::OpenRequested, this, &CMainFrame::OnOpen);
  // The bus health of the open run beside the table: computed when a run opens; its findings,
  // live list and charts lead the table to a station, a kind of fault or a time.
  healthView_ = new HealthView;
  healthView_->setObjectName(QStringLiteral("healthView"));
  runView_->AddSidePanel(healthView_);
  // A finding expands into its first records: those the table shows for it.
  healthView_->SetFirstRecordsLookup([](const fdc::DumpRequest& run, const fdc::BusFinding& finding,
                                        const std::vector<quint32>& dpRefs,
                                        std::uint32_t slotTimeBits) -> HealthView::FirstRecordsJob {
    ShownRecordsJob job = FirstRecordsOfFinding(
        run, finding, std::vector<std::uint32_t>(dpRefs.begin(), dpRefs.end()), slotTimeBits,
        kFindingRecordsListed);
    if (!job) return {};
    return [job = std::move(job)](const fdc::RunControl& control,
                                  std::vector<HealthView::FindingRecord>& out) {
      std::vector<ShownRecord> shown;
      fdc::Result result = job(control, shown);
      for (const ShownRecord& r : shown) out.push_back({r.ref, r.absNs});
      return result;
    };
  });
  connect(runView_, &RunView::RunOpened, healthView_, &HealthView::Compute);
  connect(runView_, &RunView::RunClosed, healthView_, &HealthView::Clear);
  connect(healthView_, &HealthView::StationActivated, runView_, &RunView::ShowStation);
  connect(healthView_, &HealthView::FindingActivated, runView_, &RunView::ShowFinding);
  connect(healthView_, &HealthView::FindingRecordActivated, runView_,
          &RunView::SelectRecordWhenShown);
  connect(healthView_, &HealthView::TimeActivated, runView_, &RunView::ShowTime);
  connect(healthView_, &HealthView::RecordActivated, runView_, &RunView::ShowRecord);
  connect(healthView_, &HealthView::ComputationFinished, runView_,
          [this] { runView_->SetHealthFigures(healthView_->Figures()); });
  connect(runView_, &RunView::RunClosed, runView_, [this] { runView_->SetHealthFigures(nullptr); });
  // The details of the current record under the table, decoded as far as the health figures
  // tell the DP layer's state; its links lead the table to the request or reply.
  detailsPane_ = new DetailsPane;
  runView_->SetBottomPanel(detailsPane_);
  detailsPane_->setVisible(!settings_.Window.DetailsHidden);
  detailsAction_->setChecked(!settings_.Window.DetailsHidden);
  if (settings_.Window.DetailsHeight > 0) {
    runView_->BottomSplitter()->setSizes({3 * settings_.Window.DetailsHeight,
                                          settings_.Window.DetailsHeight});
  }
  connect(runView_, &RunView::RunOpened, detailsPane_, [this] {
    detailsPane_->SetRun(&*runView_->Session().Run(), runView_->Session().Index());
  });
  connect(runView_, &RunView::RunClosed, detailsPane_,
          [this] { detailsPane_->SetRun(nullptr, nullptr); });
  connect(runView_, &RunView::CurrentRecordChanged, detailsPane_, &DetailsPane::ShowRecord);
  connect(healthView_, &HealthView::ComputationStarted, detailsPane_,
          [this] { detailsPane_->SetHealthFigures(nullptr); });
  connect(healthView_, &HealthView::ComputationFinished, detailsPane_, [this] {
    detailsPane_->SetHealthFigures(healthView_->Figures(), healthView_->FiguresGsd());
  });
  connect(detailsPane_, &DetailsPane::RecordRequested, runView_, &RunView::ShowRecord);
  connect(runView_->BottomSplitter(), &QSplitter::splitterMoved, this, [this] {
    if (detailsPane_->isVisible()) settings_.Window.DetailsHeight = detailsPane_->height();
  });
  connect(runView_, &RunView::OptionFileChosen, this, [this](const QString& path) {
    settings_.Window.TableOptFile = path.toStdString();
    emit SettingsChanged();
  });
  // A run that yields no record leaves the recent runs, as one whose file is gone does.
  connect(runView_, &RunView::IndexFinished, this, [this] {
    if (!runView_->Session().YieldsNoRecord()) return;
    RemoveRecentRun(settings_.Window.RecentRuns, FirstCaptureFile(*runView_->Session().Run()));
    UpdateRecentMenu();
    emit SettingsChanged();
  });
  // The GSD files name and check the DP slaves in the health figures and the record details.
  // Small enough to read here, before the first run opens.
  gsd_ = LoadGsdLibrary(settings_.Window.GsdFolders);
  healthView_->SetGsdLibrary(gsd_);
  ChainPanels();
  UpdateRecentMenu();
  return true;
}

void CMainFrame::OnGsdFolders() {
  GsdFoldersDialog dialog(settings_.Window.GsdFolders, this);
  if (dialog.exec() != QDialog::Accepted) return;
  // OK takes the files as the dialog read them, even with the same folders: a file may have
  // been added or mended since.
  SetGsdFolders(dialog.Folders(), dialog.Library());
}

void CMainFrame::SetGsdFolders(const std::vector<std::string>& folders,
                               std::shared_ptr<const fdc::dp::GsdLibrary> library) {
  settings_.Window.GsdFolders = folders;
  gsd_ = library != nullptr || folders.empty() ? std::move(library) : LoadGsdLibrary(folders);
  healthView_->SetGsdLibrary(gsd_);
  emit SettingsChanged();
}

void CMainFrame::ShowStatusLine(const QString& text) {
  // The pane may cut a long line; its tooltip holds the whole.
  messagePane_->setText(text);
  messagePane_->setToolTip(text);
}

void CMainFrame::CreateMenus() {
  textDumpAction_ = new QAction(AppIcon(), QStringLiteral("&Text Dump"), this);
  textDumpAction_->setObjectName(QStringLiteral("32779"));
  textDumpAction_->setStatusTip(QStringLiteral("Dump Capture Files to Text files"));
  textDumpAction_->setToolTip(QStringLiteral("Dump to Text"));
  textDumpAction_->setIconVisibleInMenu(false);
  textDumpAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
  connect(textDumpAction_, &QAction::triggered, this, &CMainFrame::OnTextDump);

  openAction_ = new QAction(QStringLiteral("&Open..."), this);
  openAction_->setObjectName(QStringLiteral("open"));
  openAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  openAction_->setStatusTip(QStringLiteral("Open the minute files of a capture run in the table"));
  connect(openAction_, &QAction::triggered, this, &CMainFrame::OnOpen);

  quitAction_ = new QAction(QStringLiteral("&Quit"), this);
  quitAction_->setObjectName(QStringLiteral("quit"));
  quitAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  quitAction_->setStatusTip(QStringLiteral("Close the window and end the program"));
  quitAction_->setMenuRole(QAction::QuitRole);
  connect(quitAction_, &QAction::triggered, this, &QWidget::close);

  aboutAction_ = new QAction(QStringLiteral("&About TeloFdcCaptAnlz..."), this);
  aboutAction_->setObjectName(QStringLiteral("57664"));
  aboutAction_->setMenuRole(QAction::NoRole);
  connect(aboutAction_, &QAction::triggered, this, &CMainFrame::AppAboutRequested);

  // The commands that open or produce files come first; Quit stays last, below a separator.
  fileMenu_ = menuBar()->addMenu(QStringLiteral("&File"));
  fileMenu_->addAction(openAction_);
  recentMenu_ = fileMenu_->addMenu(QStringLiteral("Open &Recent"));
  recentMenu_->setObjectName(QStringLiteral("recent"));
  fileMenu_->addAction(runView_->ExportTextAction());
  fileMenu_->addAction(runView_->ExportPcapngAction());
  fileMenu_->addAction(textDumpAction_);
  fileMenu_->addSeparator();
  fileMenu_->addAction(quitAction_);
  QMenu* go = menuBar()->addMenu(QStringLiteral("&Go"));
  go->addAction(runView_->GoToReferenceAction());
  go->addAction(runView_->NextFaultAction());
  go->addAction(runView_->PreviousFaultAction());
  go->addSeparator();
  go->addAction(runView_->FindAction());
  go->addAction(runView_->FindNextAction());
  go->addAction(runView_->FindPreviousAction());
  CreatePanelKeys(go);
  detailsAction_ = new QAction(QStringLiteral("Record &Details"), this);
  detailsAction_->setObjectName(QStringLiteral("recordDetails"));
  detailsAction_->setCheckable(true);
  detailsAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
  detailsAction_->setStatusTip(
      QStringLiteral("Show or hide the decoded fields and bytes of the current record"));
  connect(detailsAction_, &QAction::toggled, this, [this](bool shown) {
    if (detailsPane_ == nullptr) return;
    detailsPane_->setVisible(shown);
    settings_.Window.DetailsHidden = !shown;
  });
  QMenu* view = menuBar()->addMenu(QStringLiteral("Vie&w"));
  view->addAction(detailsAction_);
  QMenu* analyze = menuBar()->addMenu(QStringLiteral("&Analyze"));
  analyze->addAction(textDumpAction_);
  gsdFoldersAction_ = new QAction(QStringLiteral("&GSD Folders..."), this);
  gsdFoldersAction_->setObjectName(QStringLiteral("gsdFolders"));
  gsdFoldersAction_->setStatusTip(
      QStringLiteral("Choose the folders of GSD files that name and check the DP slaves"));
  connect(gsdFoldersAction_, &QAction::triggered, this, &CMainFrame::OnGsdFolders);
  QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
  options->addAction(gsdFoldersAction_);
  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  QAction* keys = help->addAction(QStringLiteral("&Keyboard Shortcuts..."));
  keys->setObjectName(QStringLiteral("keyboardShortcuts"));
  connect(keys, &QAction::triggered, this, &CMainFrame::OnKeyboardShortcuts);
  help->addSeparator();
  help->addAction(aboutAction_);

  // F10 opens the menus from the keyboard, as on other desktops.
  auto* menus = new QAction(QStringLiteral("Menus"), this);
  menus->setShortcut(Qt::Key_F10);
  connect(menus, &QAction::triggered, this, [this] {
    menuBar()->setFocus(Qt::ShortcutFocusReason);
    menuBar()->setActiveAction(fileMenu_->menuAction());
  });
  addAction(menus);
}

void CMainFrame::CreatePanelKeys(QMenu* go) {
  // Ctrl+1 to Ctrl+6 go straight to each panel, in the order Tab follows.
  const std::array<QString, kPanelCount> names = {
      QStringLiteral("&Filter Bar"), QStringLiteral("Record &Table"),  QStringLiteral("F&indings"),
      QStringLiteral("&Live List"),  QStringLiteral("&Station Table"), QStringLiteral("&Charts")};
  go->addSeparator();
  for (std::size_t i = 0; i < names.size(); ++i) {
    QAction* action = go->addAction(names[i]);
    action->setObjectName(QStringLiteral("panel%1").arg(i + 1));
    action->setShortcut(QKeySequence(Qt::CTRL | (Qt::Key_1 + static_cast<int>(i))));
    action->setStatusTip(QStringLiteral("Move the keyboard focus to this panel"));
    connect(action, &QAction::triggered, this, [this, i] { FocusPanel(i); });
  }
}

QWidget* CMainFrame::Panel(std::size_t panel) const {
  RunView& run = *runView_;
  HealthView& health = *healthView_;
  switch (panel) {
    case 0:
      return run.Session().HasRun() ? static_cast<QWidget*>(run.Filters()->EquationEdit())
                                    : run.OpenButton();
    case 1:
      return run.Session().HasRun() ? static_cast<QWidget*>(run.Table()) : run.OpenButton();
    case 2:
      return health.FindingsList();
    case 3:
      return health.LiveListGrid();
    case 4:
      return health.StationTable();
    default:
      return health.Tabs()->tabBar();
  }
}

void CMainFrame::FocusPanel(std::size_t panel) {
  // The station table is the first page of the tabs: it shows before it takes the focus.
  if (panel == 4) healthView_->Tabs()->setCurrentIndex(0);
  Panel(panel)->setFocus(Qt::ShortcutFocusReason);
}

void CMainFrame::ChainPanels() {
  // Tab goes round the panels in the order of Ctrl+1 to Ctrl+6; the tables do not keep it.
  RunView& run = *runView_;
  HealthView& health = *healthView_;
  FilterBar& bar = *run.Filters();
  const std::vector<QWidget*> chain = {
      bar.OptionFileEdit(),   bar.BrowseButton(),     bar.EquationEdit(),
      bar.ApplyButton(),      bar.StopButton(),       bar.ArgEdit(0),
      bar.ArgEdit(1),         bar.ArgEdit(2),         bar.ArgEdit(3),
      bar.StationBox(),       bar.ServiceBox(),       bar.GapCheck(),
      bar.GapField(),         bar.FaultsCheck(),      bar.FaultKindBox(),     run.Table(),
      run.FindEdit(),         health.SlotTimeField(), health.TtrField(),
      health.ComputeButton(), health.StopButton(),    health.ExportButton(),
      health.FindingsList(),  health.LiveListGrid(),  health.StationTable(),
      health.Tabs()->tabBar()};
  for (std::size_t i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
}

void CMainFrame::OnKeyboardShortcuts() {
  std::vector<std::pair<QString, QString>> rows;
  // Every command with a key, as the menus have them.
  for (QAction* menu : menuBar()->actions()) {
    if (menu->menu() == nullptr) continue;
    for (QAction* action : menu->menu()->actions()) {
      if (action->shortcut().isEmpty()) continue;
      rows.emplace_back(action->shortcut().toString(QKeySequence::NativeText),
                        QString(action->text()).remove('&').remove(QStringLiteral("...")));
    }
  }
  const std::pair<const char*, const char*> more[] = {
      {"Alt+F, Alt+G, Alt+W, Alt+A, Alt+O, Alt+H",
       "The File, Go, View, Analyze, Options and Help menus"},
      {"F10", "The menus, from the first"},
      {"Tab, Shift+Tab", "The next and the previous panel or field"},
      {"Digits in the record table", "Go to the reference number typed"},
      {"Ctrl+C in the record table", "Copy the current row"},
      {"Ctrl+C in the record details", "Copy the selected field as text, or the bytes as hex"},
      {"Enter on a linked field", "Go to the request or reply it names"},
      {"Arrows, Enter in the live list", "Move between stations, show a station's records"},
      {"Escape in the find bar", "Close the find bar"},
      {"F1", "Help"},
  };
  for (const auto& [keys, what] : more)
    rows.emplace_back(QString::fromUtf8(keys), QString::fromUtf8(what));
  ShowKeyboardShortcuts(this, rows);
}

bool CMainFrame::CreateToolBar() {
  toolBar_ = new QToolBar(QStringLiteral("Standard"), this);
  toolBar_->setObjectName(QStringLiteral("toolbar"));
  toolBar_->setIconSize(QSize(32, 32));
  toolBar_->setMovable(true);
  toolBar_->setFloatable(true);
  toolBar_->setAllowedAreas(Qt::AllToolBarAreas);
  // Open, the runs opened before, and the text dump, as a newcomer looks for them.
  openAction_->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
  openAction_->setIconVisibleInMenu(false);
  toolBar_->addAction(openAction_);
  auto* recent = new QToolButton(toolBar_);
  recent->setObjectName(QStringLiteral("recentButton"));
  recent->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  recent->setText(QStringLiteral("Open Recent"));
  recent->setToolTip(QStringLiteral("Open a run opened before"));
  recent->setMenu(recentMenu_);
  recent->setPopupMode(QToolButton::InstantPopup);
  toolBar_->addWidget(recent);
  toolBar_->addAction(textDumpAction_);
  addToolBar(Qt::TopToolBarArea, toolBar_);
  return true;
}

bool CMainFrame::CreateStatusBar() {
  statusBar_ = new QStatusBar(this);
  statusBar_->setObjectName(QStringLiteral("statusbar"));
  setStatusBar(statusBar_);
  messagePane_ = new QLabel(QStringLiteral("TeloFdcCaptAnlz - PROFIBUS capture analyser"));
  messagePane_->setObjectName(QStringLiteral("idle"));
  messagePane_->setTextFormat(Qt::PlainText);
  // A long summary must not widen the window.
  messagePane_->setMinimumWidth(1);
  statusBar_->addWidget(messagePane_, 1);
  // The run's background task, between the message and the lock indicators.
  statusBar_->addPermanentWidget(runView_->StatusWidget());
  for (std::size_t i = 0; i < kIndicatorKeys.size(); ++i) {
    auto* pane = new QLabel(QString::fromStdString(IndicatorName(kIndicatorKeys[i])));
    pane->setObjectName(pane->text());
    pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pane->setAlignment(Qt::AlignCenter);
    // The pane keeps its width when the lock is off and the name is not shown.
    pane->setMinimumWidth(pane->sizeHint().width() + pane->fontMetrics().averageCharWidth());
    statusBar_->addPermanentWidget(pane);
    indicators_[i] = pane;
  }
  UpdateIndicators();
  if (CanReadLockStates()) {
    indicatorTimer_ = new QTimer(this);
    connect(indicatorTimer_, &QTimer::timeout, this, &CMainFrame::UpdateIndicators);
    indicatorTimer_->start(kIndicatorPollMs);
  }
  return true;
}

void CMainFrame::UpdateIndicators() {
  for (std::size_t i = 0; i < kIndicatorKeys.size(); ++i) {
    const IndicatorDisplay display =
        IndicatorFor(kIndicatorKeys[i], ReadLockState(kIndicatorKeys[i]));
    indicators_[i]->setText(QString::fromStdString(display.text));
    indicators_[i]->setEnabled(display.enabled);
  }
}

void CMainFrame::OnTextDump() {
  // Opened while a run is open, the dialog starts on that run; the file it held comes back
  // unless the user stores the run's.
  const std::optional<fdc::DumpRequest>& run = runView_->Session().Run();
  if (!run) {
    textDump_.DoModal();
    return;
  }
  const std::string heldFile = textDump_.Values().FileName;
  bool stored = false;
  const QMetaObject::Connection storing =
      connect(&textDump_, &TextDump::ValuesStored, this, [&stored] { stored = true; });
  textDump_.DoModalForRun(FirstCaptureFile(*run), run->Run.count);
  disconnect(storing);
  if (!stored) textDump_.Values().FileName = heldFile;
}

void CMainFrame::OnOpen() {
  // The dialog starts where the last run was opened, or at the dialog's capture file.
  const std::string& last = settings_.Window.RecentRuns.empty()
                                ? settings_.DumpFile
                                : settings_.Window.RecentRuns.front().path;
  // Its folder, and the file's name only when there is such a file.
  BrowseStart start = BrowseStartFor(last);
  if (!QFileInfo::exists(QString::fromStdString(last))) start.fileName.clear();
  const FileDialogChoice choice{QStringLiteral("Open Capture Run"),
                                QStringLiteral("FDC Capture File (*.FdcCapt)"),
                                QStringLiteral("FdcCapt"), start, true};
  if (const std::optional<QString> chosen = BrowseForFile(this, choice)) OpenCaptureFile(*chosen);
}

bool CMainFrame::OpenCaptureFile(const QString& path, std::optional<std::uint32_t> minutes) {
  std::string file = path.toStdString();
  // A minute file from the middle of a run: the run may be meant from its start.
  if (const EarlierMinutes earlier = FindEarlierMinutes(file); earlier.count > 0 && !minutes) {
    const QString question =
        QStringLiteral("%1 consecutive earlier minute file%2 exist%3 before %4, from %5.\n\nStart "
                       "the run at %5?")
            .arg(earlier.count)
            .arg(earlier.count == 1 ? QString() : QStringLiteral("s"))
            .arg(earlier.count == 1 ? QStringLiteral("s") : QString())
            .arg(QFileInfo(path).fileName())
            .arg(QFileInfo(QString::fromStdString(earlier.first)).fileName());
    if (QMessageBox::question(this, QStringLiteral("Open Capture Run"), question) ==
        QMessageBox::Yes) {
      file = earlier.first;
    }
  }
  const RunFiles files = FindRunFiles(file);
  if (!files.ok()) {
    ShowMessage(this, QString::fromStdString(files.message), QMessageBox::Critical);
    return false;
  }
  std::uint32_t count = files.count;
  if (minutes) {
    count = std::clamp<std::uint32_t>(*minutes, 1, files.count);
  } else if (files.count > 1) {
    const std::optional<std::uint32_t> chosen = AskRunMinutes(this, files);
    if (!chosen) return false;
    count = *chosen;
  }
  const fdc::DumpRequestPlan plan = PlanRunRequest(file, count);
  if (!plan.ok()) {
    ShowMessage(this, QString::fromStdString(plan.message), QMessageBox::Critical);
    return false;
  }
  EnlargeForTable();
  runView_->OpenRun(plan.request);
  setWindowTitle(QString::fromLatin1(kAppName) + QStringLiteral(" - ") +
                 QString::fromStdString(RunTitle(plan.request)));
  AddRecentRun(settings_.Window.RecentRuns, {file, count});
  UpdateRecentMenu();
  emit SettingsChanged();
  return true;
}

void CMainFrame::OpenFromArguments(const QStringList& arguments) {
  std::vector<std::string> args;
  for (qsizetype i = 1; i < arguments.size(); ++i) args.push_back(arguments[i].toStdString());
  const ProgramArguments read = ReadProgramArguments(args);
  if (!read.file) return;
  // Whatever it names, as File > Open would take it (a folder or another file gets its message),
  // after the window is shown, so that the offer of minutes or the message stands over it.
  const QString path = QFileInfo(QString::fromStdString(*read.file)).absoluteFilePath();
  QTimer::singleShot(0, this, [this, path] { OpenCaptureFile(path); });
}

void CMainFrame::UpdateRecentMenu() {
  recentMenu_->clear();
  const std::vector<RecentRun>& runs = settings_.Window.RecentRuns;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    QAction* action = recentMenu_->addAction(QString::fromStdString(RecentRunLabel(runs, i)));
    action->setStatusTip(QString::fromStdString(runs[i].path));
    connect(action, &QAction::triggered, this, [this, i] { OnRecentRun(i); });
  }
  recentMenu_->setEnabled(!runs.empty());
}

void CMainFrame::OnRecentRun(std::size_t index) {
  if (index >= settings_.Window.RecentRuns.size()) return;
  const RecentRun run = settings_.Window.RecentRuns[index];
  const QString path = QString::fromStdString(run.path);
  if (OpenCaptureFile(path, run.minutes)) return;
  // A run whose first file is gone leaves the list.
  if (!QFileInfo::exists(path)) {
    RemoveRecentRun(settings_.Window.RecentRuns, run.path);
    UpdateRecentMenu();
    emit SettingsChanged();
  }
}

void CMainFrame::EnlargeForTable() {
  if (windowState() != Qt::WindowNoState || !isVisible()) return;
  const QScreen* screen = this->screen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  const QRect frame = frameGeometry();
  const QSize wanted(std::min(std::max(frame.width(), kTableWindowSize.width()), area.width()),
                     std::min(std::max(frame.height(), kTableWindowSize.height()), area.height()));
  if (wanted == frame.size()) return;
  const QMargins margins = CurrentFrameMargins();
  // Moved as far as needed to keep the grown window on the screen.
  const int left = std::clamp(frame.left(), area.left(), area.right() + 1 - wanted.width());
  const int top = std::clamp(frame.top(), area.top(), area.bottom() + 1 - wanted.height());
  move(left, top);
  resize(wanted.width() - margins.left() - margins.right(),
         wanted.height() - margins.top() - margins.bottom());
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
  if (DroppedFile(event->mimeData())) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
  const std::optional<QString> path = DroppedFile(event->mimeData());
  if (!path) return;
  event->acceptProposedAction();
  if (!HasCaptureExtension(path->toStdString())) {
    ShowStatusLine(QStringLiteral("Not a capture file: ") + QFileInfo(*path).fileName());
    return;
  }
  // Not within the drop: the offer of minutes would hold the program the file came from.
  QTimer::singleShot(0, this, [this, file = *path] { OpenCaptureFile(file); });
}

void CMainFrame::ApplyPlacement() {
  const std::vector<ScreenRect> screens = ScreenRects();
  ScreenRect stored{settings_.WinMinX, settings_.WinMinY, settings_.WinMaxX, settings_.WinMaxY};
  // Without a stored rectangle the window starts large enough for the table and the health view
  // beside it, rather than at the small rectangle of the defaults.
  if (!settings_.Window.PlacementStored && !screens.empty()) stored = FirstStartRect(screens[0]);
  const ScreenRect placed = KeepWithinScreens(stored, screens);
  // In 64 bits: without screens the stored edges come back as they are, whatever they hold.
  const auto extent = [](int from, int to) {
    return static_cast<int>(std::clamp<qint64>(qint64{to} - from, 1, QWIDGETSIZE_MAX));
  };
  const QSize outer(extent(placed.left, placed.right), extent(placed.top, placed.bottom));
  // Before the window is shown its frame is not known: the position given is the frame's, the
  // size the client's until the frame appears (see TrackFrame).
  move(placed.left, placed.top);
  resize(outer);
  wantedOuterSize_ = outer;
}

QMargins CMainFrame::CurrentFrameMargins() const {
  const QRect frame = frameGeometry();
  const QRect client = geometry();
  return QMargins(client.left() - frame.left(), client.top() - frame.top(),
                  frame.right() - client.right(), frame.bottom() - client.bottom());
}

void CMainFrame::TrackFrame() {
  if (!isVisible() || windowState() != Qt::WindowNoState) return;
  const QMargins margins = CurrentFrameMargins();
  normalMargins_ = margins;
  if (!wantedOuterSize_.isValid() || margins.isNull()) return;
  const QSize client(wantedOuterSize_.width() - margins.left() - margins.right(),
                     wantedOuterSize_.height() - margins.top() - margins.bottom());
  wantedOuterSize_ = QSize();
  resize(client);
}

bool CMainFrame::event(QEvent* event) {
  const bool handled = QMainWindow::event(event);
  switch (event->type()) {
    case QEvent::Show:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::WindowStateChange:
      TrackFrame();
      break;
    default:
      break;
  }
  return handled;
}

void CMainFrame::ShowAsStored() {
  if (settings_.Window.Maximized) {
    showMaximized();
  } else {
    show();
  }
}

void CMainFrame::StorePlacement() {
  settings_.Window.Maximized = isMaximized();
  // The normal rectangle: the one a maximised or minimised window would be restored to.
  QRect client = normalGeometry();
  if (!client.isValid()) client = geometry();
  settings_.WinMinX = client.left() - normalMargins_.left();
  settings_.WinMinY = client.top() - normalMargins_.top();
  settings_.WinMaxX = client.left() + client.width() + normalMargins_.right();
  settings_.WinMaxY = client.top() + client.height() + normalMargins_.bottom();
}

void CMainFrame::SavePlacement() {
  StorePlacement();
  placementSaved_ = true;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  // A dump still running is stopped first, if the user agrees; otherwise the window stays.
  if (!textDump_.EndRunBeforeClosing() || !runView_->EndTasksBeforeClosing()) {
    event->ignore();
    return;
  }
  if (textDump_.isVisible()) textDump_.reject();
  SavePlacement();
  QMainWindow::closeEvent(event);
}
