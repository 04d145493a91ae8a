// The main window: its menus and bars, its commands, and the window placement kept in the
// settings.
#include "ui/main_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <algorithm>
#include <vector>

#include "ui/app_icon.h"
#include "ui/child_view.h"
#include "ui/dialog_geometry.h"
#include "ui/key_locks.h"
#include "ui/platform.h"

using namespace fdc::ui;

namespace {

constexpr std::array<LockKey, 3> kIndicatorKeys = {LockKey::kCaps, LockKey::kNum, LockKey::kScroll};
// How often the lock keys are read; a change made in another window shows within this time.
constexpr int kIndicatorPollMs = 250;

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

}  // namespace

CMainFrame::CMainFrame(AppSettings& settings, QWidget* parent)
    : QMainWindow(parent), m_settings(settings), m_textDump(this) {
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
  const TextDumpValues& values = m_textDump.Values();
  m_settings.DumpFile = values.FileName;
  m_settings.OptFile = values.OptionFile;
  m_settings.EditorPath = values.EditorPath;
  m_settings.AutoEdit = values.AutoEdit ? 1 : 0;
}

void CMainFrame::OnDialogValuesStored() {
  // Written now rather than only at the end, so that a session that is killed loses nothing.
  if (!placementSaved_) StorePlacement();
  StoreDialogValues();
  emit SettingsChanged();
}

bool CMainFrame::Create() {
  m_wndView = new CChildView(this);
  setCentralWidget(m_wndView);
  setFocusProxy(m_wndView);
  CreateMenus();
  if (!CreateToolBar()) return false;
  if (!CreateStatusBar()) return false;
  setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);
  ApplyPlacement();

  TextDumpValues& values = m_textDump.Values();
  values.FileName = m_settings.DumpFile;
  values.OptionFile = m_settings.OptFile;
  values.EditorPath = m_settings.EditorPath;
  values.AutoEdit = m_settings.AutoEdit != 0;
  connect(&m_textDump, &TextDump::ValuesStored, this, &CMainFrame::OnDialogValuesStored);
  connect(&m_textDump, &TextDump::RunReported, messagePane_, [this](const QString& summary) {
    // The pane may cut a long summary; its tooltip holds the whole.
    messagePane_->setText(summary);
    messagePane_->setToolTip(summary);
  });
  return true;
}

void CMainFrame::CreateMenus() {
  textDumpAction_ = new QAction(AppIcon(), QStringLiteral("&Text Dump"), this);
  textDumpAction_->setObjectName(QStringLiteral("32779"));
  textDumpAction_->setStatusTip(QStringLiteral("Dump Capture Files to Text files"));
  textDumpAction_->setToolTip(QStringLiteral("Dump to Text"));
  textDumpAction_->setIconVisibleInMenu(false);
  textDumpAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
  connect(textDumpAction_, &QAction::triggered, this, &CMainFrame::OnTextDump);

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
  fileMenu_->addAction(textDumpAction_);
  fileMenu_->addSeparator();
  fileMenu_->addAction(quitAction_);
  QMenu* analyze = menuBar()->addMenu(QStringLiteral("&Analyze"));
  analyze->addAction(textDumpAction_);
  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->addAction(aboutAction_);
}

bool CMainFrame::CreateToolBar() {
  m_wndToolBar = new QToolBar(QStringLiteral("Standard"), this);
  m_wndToolBar->setObjectName(QStringLiteral("toolbar"));
  m_wndToolBar->setIconSize(QSize(32, 32));
  m_wndToolBar->setMovable(true);
  m_wndToolBar->setFloatable(true);
  m_wndToolBar->setAllowedAreas(Qt::AllToolBarAreas);
  m_wndToolBar->addAction(textDumpAction_);
  addToolBar(Qt::TopToolBarArea, m_wndToolBar);
  return true;
}

bool CMainFrame::CreateStatusBar() {
  m_wndStatusBar = new QStatusBar(this);
  m_wndStatusBar->setObjectName(QStringLiteral("statusbar"));
  setStatusBar(m_wndStatusBar);
  messagePane_ = new QLabel(QStringLiteral("TeloFdcCaptAnlz - PROFIBUS capture analyser"));
  messagePane_->setObjectName(QStringLiteral("idle"));
  messagePane_->setTextFormat(Qt::PlainText);
  // A long summary must not widen the window.
  messagePane_->setMinimumWidth(1);
  m_wndStatusBar->addWidget(messagePane_, 1);
  for (std::size_t i = 0; i < kIndicatorKeys.size(); ++i) {
    auto* pane = new QLabel(QString::fromStdString(IndicatorName(kIndicatorKeys[i])));
    pane->setObjectName(pane->text());
    pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pane->setAlignment(Qt::AlignCenter);
    // The pane keeps its width when the lock is off and the name is not shown.
    pane->setMinimumWidth(pane->sizeHint().width() + pane->fontMetrics().averageCharWidth());
    m_wndStatusBar->addPermanentWidget(pane);
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

void CMainFrame::OnTextDump() { m_textDump.DoModal(); }

void CMainFrame::ApplyPlacement() {
  const ScreenRect stored{m_settings.WinMinX, m_settings.WinMinY, m_settings.WinMaxX,
                          m_settings.WinMaxY};
  const ScreenRect placed = KeepWithinScreens(stored, ScreenRects());
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

void CMainFrame::StorePlacement() {
  // The normal rectangle: the one a maximised or minimised window would be restored to.
  QRect client = normalGeometry();
  if (!client.isValid()) client = geometry();
  m_settings.WinMinX = client.left() - normalMargins_.left();
  m_settings.WinMinY = client.top() - normalMargins_.top();
  m_settings.WinMaxX = client.left() + client.width() + normalMargins_.right();
  m_settings.WinMaxY = client.top() + client.height() + normalMargins_.bottom();
}

void CMainFrame::SavePlacement() {
  StorePlacement();
  placementSaved_ = true;
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  // A dump still running is stopped first, if the user agrees; otherwise the window stays.
  if (!m_textDump.EndRunBeforeClosing()) {
    event->ignore();
    return;
  }
  if (m_textDump.isVisible()) m_textDump.reject();
  SavePlacement();
  QMainWindow::closeEvent(event);
}
