// The health view's DP tab: each slave's DP state over the run as a timeline (zoom with the wheel
// or a dragged band, pan with the right or middle button, reset), the event log with its filters
// and exports, and the DP slaves table. A segment, a marker or an event leads the record table to
// its record.
#pragma once

#include <QWidget>
#include <cstdint>
#include <optional>

#include "engine/bus_statistics.h"
#include "ui/health/dp_tables.h"
#include "ui/health/dp_timeline.h"

class QComboBox;
class QLabel;
class QRubberBand;
class QScrollArea;
class QSortFilterProxyModel;
class QTableView;
class QToolButton;

namespace fdc::ui {

class DpTimelineView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kLabelWidth = 70;
  static constexpr int kBandHeight = 16;
  static constexpr int kBandGap = 4;
  static constexpr int kAxisHeight = 20;

  explicit DpTimelineView(QWidget* parent = nullptr);
  // The timeline to draw (stays until the next call; null: none). The whole run is shown.
  void SetTimeline(const DpTimeline* timeline);
  // The x range shown; set within the run's, at least a thousandth of a pixel wide per unit.
  double RangeStart() const { return x0_; }
  double RangeEnd() const { return x1_; }
  void SetRange(double x0, double x1);
  void ResetZoom();
  // Zooms by `factor` (above 1: in) around x.
  void ZoomAt(double x, double factor);

  // Where the point of band `band` at x is drawn; for the tests and the keyboard.
  QPoint PointOf(int band, double x) const;
  // The colour of a state and of a marker kind, for the legend too.
  static QColor StateColor(DpState state);
  static QColor MarkerColor(DpMarkerKind kind);
  // The rectangles the last paint filled for segments (at most one a pixel a band).
  int SpansPainted() const { return spansPainted_; }

  QSize sizeHint() const override;

 signals:
  void RecordActivated(quint32 ref);
  void RangeChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  int PlotWidth() const;
  double XOf(int px) const;
  int BandAt(int y) const;
  // The record under a point: a marker's, else the segment's; 0 for none.
  std::uint32_t RecordAt(QPoint point, QString* tip) const;

  const DpTimeline* timeline_ = nullptr;
  double x0_ = 0;
  double x1_ = 1;
  int spansPainted_ = 0;
  QRubberBand* band_ = nullptr;
  QPoint pressAt_;
  bool panning_ = false;
  bool selecting_ = false;
  double panX0_ = 0;
  double panX1_ = 1;
};

class DpTab : public QWidget {
  Q_OBJECT

 public:
  explicit DpTab(QWidget* parent = nullptr);
  // The DP figures and events to show; `figures` stays until the next call (null: none).
  void SetFigures(const BusFigures* figures);
  // Writes the events shown in the log, as CSV or as the events' text.
  bool WriteEvents(const QString& path, bool csv, QString* error) const;

  DpTimelineView* Timeline() const { return timeline_; }
  QTableView* EventTable() const { return events_; }
  DpEventFilter* EventFilter() const { return filter_; }
  QComboBox* KindFilter() const { return kindBox_; }
  QComboBox* StationFilter() const { return stationBox_; }
  QTableView* SlaveTable() const { return slaves_; }
  QToolButton* ResetButton() const { return reset_; }
  QToolButton* ExportButton() const { return export_; }

 signals:
  void RecordActivated(quint32 ref);
  // The user asked to export the events shown: as CSV or as text.
  void ExportRequested(bool csv);

 private:
  void BuildLegend(QWidget* box);

  DpTimeline timelineData_;
  DpTimelineView* timeline_ = nullptr;
  QScrollArea* scroll_ = nullptr;
  QLabel* axisNote_ = nullptr;
  QToolButton* reset_ = nullptr;
  QToolButton* export_ = nullptr;
  DpEventModel* eventModel_ = nullptr;
  DpEventFilter* filter_ = nullptr;
  QTableView* events_ = nullptr;
  QComboBox* kindBox_ = nullptr;
  QComboBox* stationBox_ = nullptr;
  DpSlaveModel* slaveModel_ = nullptr;
  QSortFilterProxyModel* slavesSorted_ = nullptr;
  QTableView* slaves_ = nullptr;
};

}  // namespace fdc::ui
