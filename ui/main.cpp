// TeloFdcCaptAnlz: the desktop application's entry point.
#include <QMessageBox>
#include <cstdio>
#include <string>
#include <vector>

#include "ui/common/app_settings.h"
#include "ui/main_frame.h"
#include "ui/program_arguments.h"
#include "ui/telo_fdc_capt_anlz_app.h"

int main(int argc, char** argv) {
  // --help and --version answer before any window is made, so that they need no display.
  const fdc::ui::ProgramArguments read =
      fdc::ui::ReadProgramArguments(std::vector<std::string>(argv + 1, argv + argc));
  if (read.help || read.version) {
    const std::string text = read.help ? fdc::ui::ProgramHelpText() : fdc::ui::ProgramVersionText();
#if defined(_WIN32)
    // A program of the windowed subsystem has no console to print on.
    QApplication app(argc, argv);
    QMessageBox::information(nullptr, QString::fromLatin1(fdc::ui::kAppName),
                             QString::fromStdString(text));
#else
    std::fputs(text.c_str(), stdout);
#endif
    return 0;
  }
  CTeloFdcCaptAnlzApp app(argc, argv);
  if (!app.InitInstance()) return 1;
  // A capture file named on the command line opens as File > Open would open it.
  app.MainFrame()->OpenFromArguments(app.arguments());
  const int status = app.exec();
  app.ExitInstance();
  return status;
}
