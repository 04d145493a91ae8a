// LiveList: the bus addresses 0..127 as a 16 x 8 grid, each cell filled by the station's role
// (master, slave, silent, not seen) and framed in red when a finding names it, with the station's
// key figures as its tooltip; a click on a station's cell reports its address. From the keyboard
// the arrows (and Home, End) move a current cell and Enter or Space reports it.
#pragma once

#include <QColor>
#include <QWidget>
#include <array>

#include "ui/health/health_series.h"

namespace fdc::ui {

class LiveList : public QWidget {
  Q_OBJECT

 public:
  explicit LiveList(QWidget* parent = nullptr);

  void SetCells(const std::array<LiveCell, kLiveListAddresses>& cells);
  void Clear();
  const LiveCell& Cell(int address) const;
  // The cell the keyboard stands on.
  int CurrentAddress() const { return current_; }

  // Where an address' cell is drawn, and the address drawn at a point (-1 for none).
  QRect CellRect(int address) const;
  int AddressAt(const QPoint& point) const;

  static QColor RoleColor(LiveRole role);
  static QColor FaultColor();

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;

 signals:
  // A station's cell was clicked (addresses without a station say nothing).
  void StationClicked(int address);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QSize CellSize() const;
  int GridHeight() const;
  void PaintLegend(QPainter& painter, int top) const;

  std::array<LiveCell, kLiveListAddresses> cells_{};
  int pressed_ = -1;
  int current_ = 0;
};

}  // namespace fdc::ui
