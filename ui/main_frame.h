// CMainFrame: the program's one top-level window — menus, toolbar, status bar with the lock
// indicators and the last run's summary, the empty view, and the text dump dialog it owns.
#pragma once

#include <QMainWindow>
#include <QMargins>
#include <QSize>
#include <array>

#include "ui/app_settings.h"
#include "ui/text_dump.h"

class CChildView;
class QAction;
class QLabel;
class QMenu;
class QTimer;
class QToolBar;

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  // `settings` are the application's; the frame reads them at creation and writes the window
  // placement and the dialog's values back when it closes and goes.
  explicit CMainFrame(fdc::ui::AppSettings& settings, QWidget* parent = nullptr);
  ~CMainFrame() override;

  // The creation steps: view, toolbar, status bar, docking, the stored placement, the dialog's
  // values. False when a step fails.
  bool Create();

  TextDump& TextDumpDialog() { return m_textDump; }
  QAction* TextDumpAction() const { return textDumpAction_; }
  QAction* QuitAction() const { return quitAction_; }
  QAction* AboutAction() const { return aboutAction_; }
  QMenu* FileMenu() const { return fileMenu_; }
  // The status bar's message pane: the idle text, then the last run's summary.
  QLabel* MessagePane() const { return messagePane_; }
  // The status bar's indicator panes, "CAP", "NUM" and "SCRL".
  QLabel* Indicator(int index) const { return indicators_[static_cast<std::size_t>(index)]; }
  // Reads the lock keys now and shows their state.
  void UpdateIndicators();
  // Stores the normal rectangle into the settings, for the last time before the window goes.
  void SavePlacement();

  void OnTextDump();

 signals:
  void AppAboutRequested();
  // The settings hold new values that the application should write now.
  void SettingsChanged();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void CreateMenus();
  bool CreateToolBar();
  bool CreateStatusBar();
  void ApplyPlacement();
  void StorePlacement();
  void StoreDialogValues();
  void OnDialogValuesStored();
  QMargins CurrentFrameMargins() const;
  void TrackFrame();

  QStatusBar* m_wndStatusBar = nullptr;
  QToolBar* m_wndToolBar = nullptr;
  CChildView* m_wndView = nullptr;
  fdc::ui::AppSettings& m_settings;
  TextDump m_textDump;

  QAction* textDumpAction_ = nullptr;
  QAction* quitAction_ = nullptr;
  QAction* aboutAction_ = nullptr;
  QMenu* fileMenu_ = nullptr;
  QLabel* messagePane_ = nullptr;
  std::array<QLabel*, 3> indicators_{};
  QTimer* indicatorTimer_ = nullptr;
  // The outer size wanted from the settings, until the window frame's size is known.
  QSize wantedOuterSize_;
  // The frame's margins as last seen in the normal state.
  QMargins normalMargins_;
  bool placementSaved_ = false;
};
