// The about box: icon, version line, a second line and OK, laid out in dialog units.
#include "ui/about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "common/version.h"
#include "ui/common/app_icon.h"
#include "ui/common/platform.h"

using namespace fdc::ui;

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("CAboutDlg"));
  setWindowTitle(QStringLiteral("About TeloFdcCaptAnlz"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFont(DialogFont());
  const DialogBaseUnits base = BaseUnitsOf(font());
  auto place = [base](int x, int y, int width, int height) {
    const PixelRect pixels = DialogUnitsToPixels(x, y, width, height, base);
    return QRect(pixels.x, pixels.y, pixels.width, pixels.height);
  };
  setFixedSize(place(0, 0, 235, 55).size());

  // An icon control shows the icon at its own size from the given corner.
  auto* icon = new QLabel(this);
  icon->setPixmap(AppIconPixmap(32));
  icon->setGeometry(QRect(place(11, 17, 20, 20).topLeft(), QSize(32, 32)));

  auto* version =
      new QLabel(QStringLiteral("TeloFdcCaptAnlz Version ") + QLatin1String(fdc::kVersion), this);
  version->setObjectName(QStringLiteral("version"));
  version->setTextFormat(Qt::PlainText);
  version->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  version->setGeometry(place(40, 10, 119, 8));

  auto* second = new QLabel(QStringLiteral("PROFIBUS capture files to text dumps"), this);
  second->setObjectName(QStringLiteral("about2"));
  second->setTextFormat(Qt::PlainText);
  second->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  second->setGeometry(place(40, 22, 148, 8));

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("1"));
  ok->setDefault(true);
  ok->setGeometry(place(178, 34, 50, 14));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
