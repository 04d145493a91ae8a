// TeloFdcCaptAnlz: the desktop application's entry point.
#include "ui/telo_fdc_capt_anlz_app.h"

int main(int argc, char** argv) {
  CTeloFdcCaptAnlzApp app(argc, argv);
  if (!app.InitInstance()) return 1;
  const int status = app.exec();
  app.ExitInstance();
  return status;
}
