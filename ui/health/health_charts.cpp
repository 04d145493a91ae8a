// The health view's three charts and the pane that shows, saves and answers clicks on them.
#include "ui/health/health_charts.h"

#include <QAreaSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QImage>
#include <QLegendMarker>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPainter>
#include <QSet>
#include <QStackedBarSeries>
#include <QSvgGenerator>
#include <QValueAxis>
#include <algorithm>
#include <array>
#include <cmath>

namespace fdc::ui {

namespace {

// Most labels the time axis carries, so that "HH:MM" labels never overlap in a narrow pane.
constexpr std::size_t kMaxMinuteLabels = 8;

// The stacked sets in their order, each counting a fault once.
constexpr std::array<const char*, 5> kFaultSetNames = {"No reply", "Late reply", "Corrupt reply",
                                                       "Other corrupt frames", "Sync losses"};

// One colour a master, repeated when there are more masters than colours.
constexpr std::array<QRgb, 8> kMasterColors = {0x1f77b4, 0xff7f0e, 0x2ca02c, 0x9467bd,
                                               0x8c564b, 0xe377c2, 0x17becf, 0x7f7f7f};

QChart* NewChart(const QString& title) {
  auto* chart = new QChart();
  chart->setTitle(title);
  chart->setAnimationOptions(QChart::NoAnimation);
  chart->legend()->setAlignment(Qt::AlignBottom);
  chart->setMargins(QMargins(4, 4, 4, 4));
  return chart;
}

// The minute files as x = 0, 1, 2 ..., labelled "HH:MM" every few minutes.
QCategoryAxis* MinuteAxis(const std::vector<FaultMinute>& minutes) {
  auto* axis = new QCategoryAxis();
  axis->setTitleText(QStringLiteral("Minute file"));
  axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  const int count = static_cast<int>(minutes.size());
  axis->setRange(-0.5, std::max(count, 1) - 0.5);
  axis->setStartValue(-0.5);
  const std::size_t step = MinuteLabelStep(minutes.size(), kMaxMinuteLabels);
  QSet<QString> used;
  for (std::size_t i = 0; i < minutes.size(); i += step) {
    const QString label = QString::fromStdString(minutes[i].label);
    // The axis takes each label once; a run is shorter than a day, so "HH:MM" repeats never.
    if (used.contains(label)) continue;
    used.insert(label);
    axis->append(label, static_cast<double>(i));
  }
  return axis;
}

QValueAxis* CountAxis(const QString& title, double max) {
  auto* axis = new QValueAxis();
  axis->setTitleText(title);
  axis->setRange(0, std::max(max, 1.0));
  axis->applyNiceNumbers();
  axis->setLabelFormat(QStringLiteral("%.0f"));
  return axis;
}

void AttachAxes(QAbstractSeries* series, QAbstractAxis* x, QAbstractAxis* y) {
  series->attachAxis(x);
  series->attachAxis(y);
}

QLineSeries* LineOf(const std::vector<ChartPoint>& points) {
  auto* line = new QLineSeries();
  QList<QPointF> list;
  list.reserve(static_cast<qsizetype>(points.size()));
  for (const ChartPoint& p : points) list.append(QPointF(p.x, p.y));
  line->append(list);
  return line;
}

// An area between two lines, owned by the chart with its lines.
QAreaSeries* AddArea(QChart* chart, QLineSeries* upper, QLineSeries* lower, const QColor& fill,
                     const QString& name) {
  auto* area = new QAreaSeries(upper, lower);
  area->setName(name);
  area->setBrush(fill);
  QPen pen(fill.darker(130));
  pen.setWidthF(1);
  area->setPen(pen);
  chart->addSeries(area);
  // The area starts as a child of its upper line; once the chart owns it, it owns its lines.
  upper->setParent(area);
  if (lower != nullptr) lower->setParent(area);
  return area;
}

double Ms(std::int64_t ns) { return static_cast<double>(ns) / 1e6; }

}  // namespace

QColor FaultSetColor(std::size_t set) {
  constexpr std::array<QRgb, 6> kColors = {0xd62728, 0xff9f1c, 0xe377c2,
                                           0x8e44ad, 0x5d6d7e, 0x1f77b4};
  return QColor(kColors[std::min(set, kColors.size() - 1)]);
}

QChart* MakeFaultsChart(const std::vector<FaultMinute>& minutes) {
  QChart* chart = NewChart(QStringLiteral("Faults per minute file"));
  auto* series = new QStackedBarSeries();
  std::array<QBarSet*, kFaultSetNames.size()> sets{};
  for (std::size_t i = 0; i < sets.size(); ++i) {
    sets[i] = new QBarSet(QString::fromLatin1(kFaultSetNames[i]));
    sets[i]->setColor(FaultSetColor(i));
    sets[i]->setBorderColor(FaultSetColor(i));
  }
  auto* repeats = new QLineSeries();
  repeats->setName(QStringLiteral("Repeats"));
  QPen pen(FaultSetColor(sets.size()));
  pen.setWidthF(2);
  repeats->setPen(pen);
  double highest = 0;
  for (std::size_t i = 0; i < minutes.size(); ++i) {
    const FaultMinute& m = minutes[i];
    const std::array<std::uint64_t, kFaultSetNames.size()> counts = {
        m.noReply, m.late, m.corruptReply, m.corruptOther, m.syncLosses};
    for (std::size_t set = 0; set < sets.size(); ++set) {
      sets[set]->append(static_cast<double>(counts[set]));
    }
    repeats->append(static_cast<double>(i), static_cast<double>(m.repeats));
    highest = std::max({highest, static_cast<double>(m.Total()), static_cast<double>(m.repeats)});
  }
  for (QBarSet* set : sets) series->append(set);
  series->setBarWidth(0.8);
  chart->addSeries(series);
  chart->addSeries(repeats);
  QCategoryAxis* x = MinuteAxis(minutes);
  QValueAxis* y = CountAxis(QStringLiteral("Faults"), highest);
  chart->addAxis(x, Qt::AlignBottom);
  chart->addAxis(y, Qt::AlignLeft);
  AttachAxes(series, x, y);
  AttachAxes(repeats, x, y);
  return chart;
}

QChart* MakeRotationChart(const std::vector<MasterRotation>& masters,
                          const std::vector<FaultMinute>& minutes) {
  QChart* chart =
      NewChart(masters.empty() ? QStringLiteral("Token rotation per minute file: no rotations")
                               : QStringLiteral("Token rotation per minute file (ms): mean, "
                                                "band from min to max"));
  QCategoryAxis* x = MinuteAxis(minutes);
  double highest = 0;
  for (const MasterRotation& m : masters) {
    for (const RotationPoint& p : m.points) highest = std::max(highest, Ms(p.maxNs));
  }
  QValueAxis* y = new QValueAxis();
  y->setTitleText(QStringLiteral("Rotation (ms)"));
  y->setRange(0, highest > 0 ? highest * 1.05 : 1.0);
  y->applyNiceNumbers();
  y->setLabelFormat(highest >= 10 ? QStringLiteral("%.0f") : QStringLiteral("%.1f"));
  chart->addAxis(x, Qt::AlignBottom);
  chart->addAxis(y, Qt::AlignLeft);
  for (std::size_t i = 0; i < masters.size(); ++i) {
    const MasterRotation& m = masters[i];
    const QColor color(kMasterColors[i % kMasterColors.size()]);
    auto* upper = new QLineSeries();
    auto* lower = new QLineSeries();
    auto* mean = new QLineSeries();
    for (const RotationPoint& p : m.points) {
      upper->append(p.minute, Ms(p.maxNs));
      lower->append(p.minute, Ms(p.minNs));
      mean->append(p.minute, Ms(p.meanNs));
    }
    QColor band = color;
    band.setAlpha(60);
    QAreaSeries* area = AddArea(chart, upper, lower, band, QString());
    AttachAxes(area, x, y);
    for (QLegendMarker* marker : chart->legend()->markers(area)) marker->setVisible(false);
    mean->setName(QStringLiteral("Master %1").arg(m.master));
    QPen pen(color);
    pen.setWidthF(2);
    mean->setPen(pen);
    // A run of few minutes has few points: they are drawn, so that one minute still shows.
    mean->setPointsVisible(m.points.size() <= 60);
    chart->addSeries(mean);
    AttachAxes(mean, x, y);
  }
  return chart;
}

QChart* MakeHistogramChart(const ResponseHistogram* histogram, bool rateKnown) {
  if (histogram == nullptr) {
    QChart* chart = NewChart(rateKnown ? QStringLiteral("Response times: no station answered")
                                       : QStringLiteral("Response times: the baud rate is "
                                                        "unknown, so there are no times"));
    chart->legend()->hide();
    return chart;
  }
  const ResponseHistogram& h = *histogram;
  QChart* chart = NewChart(QStringLiteral("Response times of station %1: %2 answered, %3 late "
                                          "(slot time %4 bit times)")
                               .arg(h.station)
                               .arg(h.Answered())
                               .arg(h.Late())
                               .arg(h.tslBits));
  auto* x = new QValueAxis();
  x->setTitleText(QStringLiteral("Response time (bit times)"));
  x->setRange(0, h.tslBits + 1);
  x->setLabelFormat(QStringLiteral("%.0f"));
  x->setTickType(QValueAxis::TicksDynamic);
  x->setTickAnchor(0);
  x->setTickInterval(HistogramTickStep(h.tslBits));
  double highest = 0;
  for (std::uint64_t count : h.bins) highest = std::max(highest, static_cast<double>(count));
  QValueAxis* y = CountAxis(QStringLiteral("Responses"), highest);
  chart->addAxis(x, Qt::AlignBottom);
  chart->addAxis(y, Qt::AlignLeft);
  QAreaSeries* answered = AddArea(chart, LineOf(HistogramOutline(h)), nullptr, QColor(0x1f77b4),
                                  QStringLiteral("Answered within the slot time"));
  AttachAxes(answered, x, y);
  const std::vector<ChartPoint> late = LateOutline(h);
  if (!late.empty()) {
    QAreaSeries* lateArea = AddArea(chart, LineOf(late), nullptr, QColor(0xd62728),
                                    QStringLiteral("Late (after the slot time)"));
    AttachAxes(lateArea, x, y);
  }
  return chart;
}

ChartPane::ChartPane(QWidget* parent) : QChartView(parent) {
  setRenderHint(QPainter::Antialiasing);
  setMinimumSize(240, 180);
}

ChartPane::~ChartPane() = default;

void ChartPane::ShowChart(QChart* chart, int minutes) {
  QChart* old = this->chart();
  // The view lets go of the chart it showed without deleting it.
  setChart(chart);
  delete old;
  minutes_ = std::max(minutes, 0);
  pressedMinute_ = -1;
}

bool ChartPane::SavePng(const QString& path) {
  QImage image(viewport()->size(), QImage::Format_ARGB32_Premultiplied);
  if (image.isNull()) return false;
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    render(&painter);
  }
  return image.save(path, "PNG");
}

bool ChartPane::SaveSvg(const QString& path) {
  QSvgGenerator generator;
  generator.setFileName(path);
  generator.setSize(viewport()->size());
  generator.setViewBox(QRect(QPoint(0, 0), viewport()->size()));
  generator.setTitle(chart() != nullptr ? chart()->title() : QString());
  QPainter painter;
  if (!painter.begin(&generator)) return false;
  render(&painter);
  return painter.end();
}

QPoint ChartPane::ViewportPositionOf(const QPointF& value) const {
  QChart* c = chart();
  if (c == nullptr || c->series().isEmpty()) return QPoint();
  const QPointF inChart = c->mapToPosition(value, c->series().first());
  return mapFromScene(c->mapToScene(inChart));
}

int ChartPane::MinuteAt(const QPoint& viewportPoint) const {
  QChart* c = chart();
  if (c == nullptr || minutes_ <= 0 || c->series().isEmpty()) return -1;
  const QPointF inChart = c->mapFromScene(mapToScene(viewportPoint));
  if (!c->plotArea().contains(inChart)) return -1;
  const double x = c->mapToValue(inChart, c->series().first()).x();
  const long minute = std::lround(x);
  return minute >= 0 && minute < minutes_ ? static_cast<int>(minute) : -1;
}

void ChartPane::mousePressEvent(QMouseEvent* event) {
  pressedMinute_ = event->button() == Qt::LeftButton ? MinuteAt(event->position().toPoint()) : -1;
  QChartView::mousePressEvent(event);
}

void ChartPane::mouseReleaseEvent(QMouseEvent* event) {
  const int minute = MinuteAt(event->position().toPoint());
  if (event->button() == Qt::LeftButton && minute >= 0 && minute == pressedMinute_) {
    emit MinuteClicked(minute);
  }
  pressedMinute_ = -1;
  QChartView::mouseReleaseEvent(event);
}

}  // namespace fdc::ui
