// The application object: start-up, writing the settings, the end of the process, F1 and the
// about box.
#include "ui/telo_fdc_capt_anlz_app.h"

#include <QDir>
#include <QKeyEvent>
#include <QMessageBox>
#include <QSettings>

#include "common/version.h"
#include "ui/about_dlg.h"
#include "ui/common/app_icon.h"
#include "ui/main_frame.h"

using namespace fdc::ui;

CTeloFdcCaptAnlzApp::CTeloFdcCaptAnlzApp(int& argc, char** argv) : QApplication(argc, argv) {
  // The company key comes first: every settings access below depends on it.
  setOrganizationName(QString::fromLatin1(kCompanyKey));
  setApplicationName(QString::fromLatin1(kAppName));
  setApplicationVersion(QLatin1String(fdc::kVersion));
  setWindowIcon(AppIcon());
}

CTeloFdcCaptAnlzApp::~CTeloFdcCaptAnlzApp() { ExitInstance(); }

bool CTeloFdcCaptAnlzApp::InitInstance() {
  programDir_ = ProgramDirOf(QDir::toNativeSeparators(applicationFilePath()).toStdString());
  {
    QSettings store;
    settings_ = ReadAppSettings(store, programDir_);
  }
  mainFrame_ = std::make_unique<CMainFrame>(settings_);
  connect(mainFrame_.get(), &CMainFrame::AppAboutRequested, this, &CTeloFdcCaptAnlzApp::OnAppAbout);
  connect(mainFrame_.get(), &CMainFrame::SettingsChanged, this,
          &CTeloFdcCaptAnlzApp::WriteSettings);
  if (!mainFrame_->Create()) {
    mainFrame_.reset();
    return false;
  }
  running_ = true;
  mainFrame_->ShowAsStored();
  mainFrame_->repaint();
  return true;
}

void CTeloFdcCaptAnlzApp::ExitInstance() {
  if (!running_) return;
  running_ = false;
  mainFrame_.reset();
  // The end always writes, whatever was written before.
  lastWritten_.reset();
  WriteSettings();
}

void CTeloFdcCaptAnlzApp::WriteSettings() {
  if (lastWritten_ == settings_) return;
  QSettings store;
  WriteAppSettings(store, settings_);
  store.sync();
  if (store.status() == QSettings::NoError) {
    lastWritten_ = settings_;
    return;
  }
  // Failing writes are not the user's business while the program runs; the terminal hears of
  // them once, on the standard error.
  if (!writeFailureReported_) {
    writeFailureReported_ = true;
    qWarning("TeloFdcCaptAnlz: the settings could not be written to %s",
             qPrintable(store.fileName()));
  }
}

void CTeloFdcCaptAnlzApp::WinHelp() {
  if (helpShown_) return;
  helpShown_ = true;
  // No owner and no caption of our own: the caption is the one a message box gets by default.
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"),
                  QStringLiteral("Unrecognized Help Command"), QMessageBox::Ok);
  box.exec();
  helpShown_ = false;
}

void CTeloFdcCaptAnlzApp::OnAppAbout() {
  CAboutDlg about(mainFrame_.get());
  about.exec();
}

bool CTeloFdcCaptAnlzApp::notify(QObject* receiver, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_F1 || key == Qt::Key_Help) {
      WinHelp();
      return true;
    }
  }
  return QApplication::notify(receiver, event);
}
