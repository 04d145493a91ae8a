// The health view's charts: faults per minute file (stacked), token rotation per master and minute
// (mean with a band from min to max), response times of a station (a histogram in bit times); a
// chart pane that shows one of them, tells which minute file a click fell on, and saves its chart
// as PNG or SVG.
#pragma once

#include <QChartView>
#include <QString>
#include <vector>

#include "ui/health/health_series.h"

class QChart;

namespace fdc::ui {

// Each chart comes new, for a ChartPane to own.
QChart* MakeFaultsChart(const std::vector<FaultMinute>& minutes);
// `minutes` gives the time axis (the same as the faults chart's).
QChart* MakeRotationChart(const std::vector<MasterRotation>& masters,
                          const std::vector<FaultMinute>& minutes);
// `histogram` null: an empty chart that says why.
QChart* MakeHistogramChart(const ResponseHistogram* histogram, bool rateKnown);

// The colours of the faults chart's sets, in their stacking order.
QColor FaultSetColor(std::size_t set);

class ChartPane : public QChartView {
  Q_OBJECT

 public:
  explicit ChartPane(QWidget* parent = nullptr);
  ~ChartPane() override;

  // Shows `chart` (owned from now on) in place of the one before, which goes. `minutes`: how many
  // minute files its x axis counts, for the clicks; 0 for a chart without a time axis.
  void ShowChart(QChart* chart, int minutes);

  // The chart as it is shown, as a PNG picture or an SVG drawing; false when the file could not
  // be written.
  bool SavePng(const QString& path);
  bool SaveSvg(const QString& path);

  // Where a value of the chart's first series is shown, in the viewport's coordinates (for the
  // tests, which click there).
  QPoint ViewportPositionOf(const QPointF& value) const;

 signals:
  // A click in the plot area over a minute file of the time axis.
  void MinuteClicked(int minute);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  int MinuteAt(const QPoint& viewportPoint) const;

  int minutes_ = 0;
  int pressedMinute_ = -1;
};

}  // namespace fdc::ui
