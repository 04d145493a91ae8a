// Paints the application icon, so that no image file has to ship with the program.
#include "ui/common/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace fdc::ui {

QPixmap AppIconPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 32.0, size / 32.0);

  // The page, with its corner folded.
  QPainterPath page;
  page.moveTo(5, 1.5);
  page.lineTo(21, 1.5);
  page.lineTo(27, 7.5);
  page.lineTo(27, 30.5);
  page.lineTo(5, 30.5);
  page.closeSubpath();
  painter.setPen(QPen(QColor(60, 60, 60), 1));
  painter.setBrush(Qt::white);
  painter.drawPath(page);
  painter.drawPolyline(QPolygonF({QPointF(21, 1.5), QPointF(21, 7.5), QPointF(27, 7.5)}));

  // The captured telegrams: a pulse train.
  painter.setPen(QPen(QColor(0, 90, 200), 1.6));
  painter.setBrush(Qt::NoBrush);
  painter.drawPolyline(QPolygonF({QPointF(7.5, 13), QPointF(10, 13), QPointF(10, 7), QPointF(13, 7),
                                  QPointF(13, 13), QPointF(15, 13), QPointF(15, 7), QPointF(17, 7),
                                  QPointF(17, 13), QPointF(24.5, 13)}));

  // The text they become.
  painter.setPen(QPen(QColor(110, 110, 110), 1.4));
  for (int row = 0; row < 4; ++row) {
    const double y = 17.5 + row * 3.4;
    const double end = row % 2 == 0 ? 24 : 20;
    painter.drawLine(QPointF(8, y), QPointF(end, y));
  }
  return pixmap;
}

QIcon AppIcon() {
  QIcon icon;
  for (const int size : {16, 32, 48}) icon.addPixmap(AppIconPixmap(size));
  return icon;
}

}  // namespace fdc::ui
