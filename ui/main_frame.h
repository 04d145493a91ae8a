// CMainFrame: the program's one top-level window — menus, toolbar, status bar with the lock
// indicators, the progress of the run's background tasks and the last summary, the view with the
// open capture run (the record table and room beside it), the text dump dialog it owns, and the
// GSD files of the GSD folders setting, which the health figures and the record details use.
#pragma once

#include <QMainWindow>
#include <QMargins>
#include <QSize>
#include <QStringList>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dp/gsd.h"
#include "ui/common/app_settings.h"
#include "ui/dump_dialog/text_dump.h"

namespace fdc::ui {
class RunView;
class HealthView;
class DetailsPane;
}  // namespace fdc::ui

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

  TextDump& TextDumpDialog() { return textDump_; }
  // The open run's table, filter and tasks; side panels go beside the table (AddSidePanel).
  fdc::ui::RunView* RunArea() const { return runView_; }
  fdc::ui::HealthView* HealthArea() const { return healthView_; }
  fdc::ui::DetailsPane* DetailsArea() const { return detailsPane_; }
  QAction* DetailsAction() const { return detailsAction_; }
  QAction* OpenAction() const { return openAction_; }
  QMenu* RecentMenu() const { return recentMenu_; }
  QAction* TextDumpAction() const { return textDumpAction_; }
  QAction* QuitAction() const { return quitAction_; }
  QAction* AboutAction() const { return aboutAction_; }
  QAction* GsdFoldersAction() const { return gsdFoldersAction_; }
  QMenu* FileMenu() const { return fileMenu_; }
  // The status bar's message pane: the idle text, then the last run's summary.
  QLabel* MessagePane() const { return messagePane_; }
  // The status bar's indicator panes, "CAP", "NUM" and "SCRL".
  QLabel* Indicator(int index) const { return indicators_[static_cast<std::size_t>(index)]; }
  // Reads the lock keys now and shows their state.
  void UpdateIndicators();
  // Stores the normal rectangle into the settings, for the last time before the window goes.
  void SavePlacement();
  // Shows the window as it was closed: maximised, or at its normal rectangle.
  void ShowAsStored();

  void OnTextDump();
  // Options > GSD Folders: the dialog; OK keeps its folders and the files read from them.
  void OnGsdFolders();
  // Keeps the folders in the settings and the library read from them (null: read here), and
  // computes the open run's health figures again with it.
  void SetGsdFolders(const std::vector<std::string>& folders,
                     std::shared_ptr<const fdc::dp::GsdLibrary> library = nullptr);
  // The GSD files of the folders, read at the start and when they change; null without folders.
  const std::shared_ptr<const fdc::dp::GsdLibrary>& GsdLibrary() const { return gsd_; }
  // File > Open: picks a capture file and opens its run.
  void OnOpen();
  // Opens the run of consecutive minute files from `path`: `minutes` of them, or as many as the
  // user keeps of those found. False when the file starts no run or the user cancels.
  bool OpenCaptureFile(const QString& path, std::optional<std::uint32_t> minutes = std::nullopt);
  // Opens the capture file named among the program's arguments, once the window is shown.
  void OpenFromArguments(const QStringList& arguments);

  // The panels that Ctrl+1 to Ctrl+6 focus, in Tab's order: the filter bar, the record table,
  // the findings, the live list, the station table and the chart tabs.
  static constexpr std::size_t kPanelCount = 6;
  QWidget* Panel(std::size_t panel) const;
  void FocusPanel(std::size_t panel);

 signals:
  void AppAboutRequested();
  // The settings hold new values that the application should write now.
  void SettingsChanged();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateMenus();
  void CreatePanelKeys(QMenu* go);
  void ChainPanels();
  void OnKeyboardShortcuts();
  bool CreateToolBar();
  bool CreateStatusBar();
  void ApplyPlacement();
  void StorePlacement();
  void StoreDialogValues();
  void OnDialogValuesStored();
  QMargins CurrentFrameMargins() const;
  void TrackFrame();
  void UpdateRecentMenu();
  void OnRecentRun(std::size_t index);
  void ShowStatusLine(const QString& text);
  // A window still at its small first size grows to show the table.
  void EnlargeForTable();

  QStatusBar* statusBar_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  CChildView* childView_ = nullptr;
  fdc::ui::RunView* runView_ = nullptr;
  fdc::ui::HealthView* healthView_ = nullptr;
  fdc::ui::DetailsPane* detailsPane_ = nullptr;
  QAction* detailsAction_ = nullptr;
  fdc::ui::AppSettings& settings_;
  TextDump textDump_;

  QAction* openAction_ = nullptr;
  QMenu* recentMenu_ = nullptr;
  QAction* textDumpAction_ = nullptr;
  QAction* quitAction_ = nullptr;
  QAction* aboutAction_ = nullptr;
  QAction* gsdFoldersAction_ = nullptr;
  QMenu* fileMenu_ = nullptr;
  std::shared_ptr<const fdc::dp::GsdLibrary> gsd_;
  QLabel* messagePane_ = nullptr;
  std::array<QLabel*, 3> indicators_{};
  QTimer* indicatorTimer_ = nullptr;
  // The outer size wanted from the settings, until the window frame's size is known.
  QSize wantedOuterSize_;
  // The frame's margins as last seen in the normal state.
  QMargins normalMargins_;
  bool placementSaved_ = false;
};
