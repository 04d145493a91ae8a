// CTeloFdcCaptAnlzApp: the application object — settings in at start, the main window, the
// about box, the help key, and the settings out whenever the dialog stores them and at the end.
#pragma once

#include <QApplication>
#include <memory>
#include <optional>
#include <string>

#include "ui/common/app_settings.h"

class CMainFrame;

class CTeloFdcCaptAnlzApp : public QApplication {
  Q_OBJECT

 public:
  CTeloFdcCaptAnlzApp(int& argc, char** argv);
  ~CTeloFdcCaptAnlzApp() override;

  // Start-up: reads the settings and creates and shows the main window. False when the window
  // cannot be created.
  bool InitInstance();
  // End: the main window goes (handing back its values), then the settings are written.
  void ExitInstance();
  // Writes the settings to the store unless they are what was last written there.
  void WriteSettings();

  // Every help request ends here.
  void WinHelp();
  void OnAppAbout();

  fdc::ui::AppSettings& Settings() { return settings_; }
  CMainFrame* MainFrame() const { return mainFrame_.get(); }
  const std::string& ProgramDir() const { return programDir_; }

  bool notify(QObject* receiver, QEvent* event) override;

 private:
  fdc::ui::AppSettings settings_;
  std::string programDir_;
  std::unique_ptr<CMainFrame> mainFrame_;
  std::optional<fdc::ui::AppSettings> lastWritten_;
  bool writeFailureReported_ = false;
  bool running_ = false;
  bool helpShown_ = false;
};
