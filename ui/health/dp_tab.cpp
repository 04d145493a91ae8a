// The DP tab: the timeline view, the event log and the slaves table.
#include "ui/health/dp_tab.h"

#include <QComboBox>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QScrollArea>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <cmath>

namespace fdc::ui {

namespace {

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

constexpr double kWheelZoom = 1.25;
constexpr int kDragPixels = 4;
constexpr int kMarkerSlack = 4;  // pixels either side of a marker that still hit it

}  // namespace

// --- The timeline ------------------------------------------------------------------------------

DpTimelineView::DpTimelineView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("dpTimeline"));
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  band_ = new QRubberBand(QRubberBand::Rectangle, this);
  setToolTip(QStringLiteral(
      "Wheel or drag across: zoom; right or middle button: pan; click: go to the record"));
}

QColor DpTimelineView::StateColor(DpState state) {
  switch (state) {
    case DpState::kDataExchange:
      return QColor(0x4c, 0xaf, 0x50);
    case DpState::kStartup:
      return QColor(0xff, 0xc1, 0x07);
    case DpState::kRefused:
      return QColor(0xff, 0x70, 0x43);
    case DpState::kNoResponse:
      return QColor(0xd6, 0x27, 0x28);
    case DpState::kUnknown:
      return QColor(0xbd, 0xbd, 0xbd);
  }
  return Qt::gray;
}

QColor DpTimelineView::MarkerColor(DpMarkerKind kind) {
  switch (kind) {
    case DpMarkerKind::kDiagnosis:
      return QColor(0x1e, 0x63, 0xc8);
    case DpMarkerKind::kClearData:
      return Qt::black;
    case DpMarkerKind::kCheck:
      return QColor(0x8e, 0x44, 0xad);
  }
  return Qt::black;
}

void DpTimelineView::SetTimeline(const DpTimeline* timeline) {
  timeline_ = timeline;
  setMinimumHeight(sizeHint().height());
  ResetZoom();
  updateGeometry();
}

void DpTimelineView::ResetZoom() {
  if (timeline_ != nullptr) {
    x0_ = timeline_->begin;
    x1_ = timeline_->end;
  } else {
    x0_ = 0;
    x1_ = 1;
  }
  update();
  emit RangeChanged();
}

void DpTimelineView::SetRange(double x0, double x1) {
  if (timeline_ == nullptr) return;
  const double begin = timeline_->begin;
  const double end = timeline_->end;
  // At the finest, a pixel is a thousandth of a unit (a ns, a record).
  const double least = std::max(1e-3 * std::max(PlotWidth(), 1), 1e-9 * (end - begin));
  if (x1 - x0 < least) {
    const double mid = (x0 + x1) / 2;
    x0 = mid - least / 2;
    x1 = mid + least / 2;
  }
  const double width = std::min(x1 - x0, end - begin);
  x0 = std::clamp(x0, begin, end - width);
  x0_ = x0;
  x1_ = x0 + width;
  update();
  emit RangeChanged();
}

void DpTimelineView::ZoomAt(double x, double factor) {
  SetRange(x - (x - x0_) / factor, x + (x1_ - x) / factor);
}

int DpTimelineView::PlotWidth() const { return std::max(width() - kLabelWidth - 4, 1); }

double DpTimelineView::XOf(int px) const {
  return x0_ + (x1_ - x0_) * (px - kLabelWidth) / PlotWidth();
}

QPoint DpTimelineView::PointOf(int band, double x) const {
  const int px = kLabelWidth + static_cast<int>(std::floor((x - x0_) / (x1_ - x0_) * PlotWidth()));
  return {px, kAxisHeight + band * (kBandHeight + kBandGap) + kBandHeight / 2};
}

int DpTimelineView::BandAt(int y) const {
  if (timeline_ == nullptr || y < kAxisHeight) return -1;
  const int band = (y - kAxisHeight) / (kBandHeight + kBandGap);
  if ((y - kAxisHeight) % (kBandHeight + kBandGap) >= kBandHeight) return -1;
  return band < static_cast<int>(timeline_->bands.size()) ? band : -1;
}

QSize DpTimelineView::sizeHint() const {
  const int bands = timeline_ != nullptr ? static_cast<int>(timeline_->bands.size()) : 0;
  return {400, kAxisHeight + bands * (kBandHeight + kBandGap) + 4};
}

void DpTimelineView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().base());
  spansPainted_ = 0;
  if (timeline_ == nullptr) return;
  const int plot = PlotWidth();
  // The axis: five labels across the range shown.
  painter.setPen(palette().text().color());
  for (int i = 0; i <= 4; ++i) {
    const int px = kLabelWidth + plot * i / 4;
    painter.drawLine(px, kAxisHeight - 4, px, kAxisHeight - 1);
    const QString text = DpAxisText(x0_ + (x1_ - x0_) * i / 4, timeline_->axis);
    const int w = fontMetrics().horizontalAdvance(text);
    const int left = std::clamp(px - w / 2, kLabelWidth, width() - w - 2);
    painter.drawText(left, kAxisHeight - 6, text);
  }
  const double unitsPerPixel = (x1_ - x0_) / plot;
  for (std::size_t b = 0; b < timeline_->bands.size(); ++b) {
    const DpBand& band = timeline_->bands[b];
    const int top = kAxisHeight + static_cast<int>(b) * (kBandHeight + kBandGap);
    painter.setPen(palette().text().color());
    painter.drawText(QRect(2, top, kLabelWidth - 6, kBandHeight), Qt::AlignVCenter | Qt::AlignLeft,
                     QStringLiteral("slave %1").arg(band.address));
    for (const DpPixelSpan& span : DpPixelSpans(band, x0_, x1_, plot)) {
      painter.fillRect(kLabelWidth + span.from, top, span.to - span.from, kBandHeight,
                       StateColor(span.state));
      ++spansPainted_;
    }
    // Markers: a tick over the band's top half, one a pixel.
    int lastPx = -1;
    auto it = std::partition_point(band.markers.begin(), band.markers.end(),
                                   [this](const DpMarker& m) { return m.at < x0_; });
    for (; it != band.markers.end() && it->at <= x1_; ++it) {
      const int px = kLabelWidth + static_cast<int>((it->at - x0_) / unitsPerPixel);
      if (px == lastPx) continue;
      lastPx = px;
      painter.fillRect(px - 1, top, 3, kBandHeight / 2, MarkerColor(it->kind));
    }
  }
}

std::uint32_t DpTimelineView::RecordAt(QPoint point, QString* tip) const {
  const int b = BandAt(point.y());
  if (b < 0 || point.x() < kLabelWidth) return 0;
  const DpBand& band = timeline_->bands[static_cast<std::size_t>(b)];
  const double x = XOf(point.x());
  const double slack = (x1_ - x0_) / PlotWidth() * kMarkerSlack;
  if (const DpMarker* marker = DpMarkerNear(band, x, slack)) {
    if (tip != nullptr) *tip = QString::fromStdString(marker->text);
    return marker->ref;
  }
  if (const DpSegment* segment = DpSegmentAt(band, x)) {
    if (tip != nullptr) {
      *tip = QStringLiteral("slave %1: ").arg(band.address) +
             DpSegmentTip(*segment, timeline_->axis);
    }
    // The run's first stretch has no change behind it: its first record.
    return segment->ref != 0 ? segment->ref : 1;
  }
  return 0;
}

bool DpTimelineView::event(QEvent* e) {
  if (e->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(e);
    QString tip;
    if (RecordAt(help->pos(), &tip) != 0) {
      QToolTip::showText(help->globalPos(), tip, this);
    } else {
      QToolTip::showText(help->globalPos(), toolTip(), this);
    }
    return true;
  }
  return QWidget::event(e);
}

void DpTimelineView::wheelEvent(QWheelEvent* event) {
  if (timeline_ == nullptr) return;
  const double steps = event->angleDelta().y() / 120.0;
  if (steps == 0) return;
  ZoomAt(XOf(static_cast<int>(event->position().x())), std::pow(kWheelZoom, steps));
  event->accept();
}

void DpTimelineView::mousePressEvent(QMouseEvent* event) {
  pressAt_ = event->pos();
  panning_ = event->button() == Qt::RightButton || event->button() == Qt::MiddleButton;
  selecting_ = false;
  panX0_ = x0_;
  panX1_ = x1_;
}

void DpTimelineView::mouseMoveEvent(QMouseEvent* event) {
  if (timeline_ == nullptr || event->buttons() == Qt::NoButton) return;
  const int dx = event->pos().x() - pressAt_.x();
  if (panning_) {
    const double shift = (panX1_ - panX0_) * dx / PlotWidth();
    SetRange(panX0_ - shift, panX1_ - shift);
    return;
  }
  if (std::abs(dx) >= kDragPixels) selecting_ = true;
  if (selecting_) {
    band_->setGeometry(QRect(QPoint(std::min(pressAt_.x(), event->pos().x()), 0),
                             QPoint(std::max(pressAt_.x(), event->pos().x()), height())));
    band_->show();
  }
}

void DpTimelineView::mouseReleaseEvent(QMouseEvent* event) {
  band_->hide();
  if (timeline_ == nullptr || panning_) {
    panning_ = false;
    return;
  }
  if (selecting_) {
    selecting_ = false;
    const int a = std::max(std::min(pressAt_.x(), event->pos().x()), kLabelWidth);
    const int b = std::max(pressAt_.x(), event->pos().x());
    if (b - a >= kDragPixels) SetRange(XOf(a), XOf(b));
    return;
  }
  if (event->button() == Qt::LeftButton) {
    if (const std::uint32_t ref = RecordAt(event->pos(), nullptr)) emit RecordActivated(ref);
  }
}

// --- The tab -----------------------------------------------------------------------------------

DpTab::DpTab(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("dpTab"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 4, 0, 0);
  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->setChildrenCollapsible(false);
  layout->addWidget(splitter);

  auto* top = new QWidget(splitter);
  auto* topLayout = new QVBoxLayout(top);
  topLayout->setContentsMargins(0, 0, 0, 0);
  auto* legendRow = new QWidget(top);
  BuildLegend(legendRow);
  topLayout->addWidget(legendRow);
  timeline_ = new DpTimelineView;
  scroll_ = new QScrollArea(top);
  scroll_->setWidget(timeline_);
  scroll_->setWidgetResizable(true);
  scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  topLayout->addWidget(scroll_, 1);
  axisNote_ = new QLabel(top);
  axisNote_->setObjectName(QStringLiteral("dpAxisNote"));
  axisNote_->setWordWrap(true);
  topLayout->addWidget(axisNote_);
  splitter->addWidget(top);

  auto* tabs = new QTabWidget(splitter);
  auto* logBox = new QWidget(tabs);
  auto* logLayout = new QVBoxLayout(logBox);
  logLayout->setContentsMargins(0, 4, 0, 0);
  auto* filters = new QHBoxLayout();
  kindBox_ = new QComboBox(logBox);
  kindBox_->setObjectName(QStringLiteral("dpEventKind"));
  kindBox_->addItem(QStringLiteral("All kinds"), -1);
  for (std::size_t k = 0; k < kDpEventKindNames.size(); ++k) {
    kindBox_->addItem(Q(kDpEventKindNames[k]), static_cast<int>(k));
  }
  stationBox_ = new QComboBox(logBox);
  stationBox_->setObjectName(QStringLiteral("dpEventStation"));
  stationBox_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  export_ = new QToolButton(logBox);
  export_->setText(QStringLiteral("Export"));
  export_->setPopupMode(QToolButton::InstantPopup);
  auto* menu = new QMenu(export_);
  menu->addAction(QStringLiteral("Events Shown as CSV..."), this, [this] { emit ExportRequested(true); });
  menu->addAction(QStringLiteral("Events Shown as Text..."), this,
                  [this] { emit ExportRequested(false); });
  export_->setMenu(menu);
  filters->addWidget(new QLabel(QStringLiteral("Kind"), logBox));
  filters->addWidget(kindBox_);
  filters->addWidget(new QLabel(QStringLiteral("Station"), logBox));
  filters->addWidget(stationBox_);
  filters->addStretch(1);
  filters->addWidget(export_);
  logLayout->addLayout(filters);
  eventModel_ = new DpEventModel(this);
  filter_ = new DpEventFilter(this);
  filter_->setSourceModel(eventModel_);
  events_ = new QTableView(logBox);
  events_->setObjectName(QStringLiteral("dpEvents"));
  events_->setModel(filter_);
  events_->setSortingEnabled(true);
  events_->sortByColumn(kEventRef, Qt::AscendingOrder);
  events_->setSelectionBehavior(QAbstractItemView::SelectRows);
  events_->setSelectionMode(QAbstractItemView::SingleSelection);
  events_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  events_->setWordWrap(false);
  events_->verticalHeader()->hide();
  events_->verticalHeader()->setDefaultSectionSize(events_->fontMetrics().height() + 6);
  events_->horizontalHeader()->setStretchLastSection(true);
  logLayout->addWidget(events_, 1);
  tabs->addTab(logBox, QStringLiteral("Event log"));

  slaveModel_ = new DpSlaveModel(this);
  slavesSorted_ = new QSortFilterProxyModel(this);
  slavesSorted_->setSourceModel(slaveModel_);
  slavesSorted_->setSortRole(DpSlaveModel::kSortRole);
  slaves_ = new QTableView(tabs);
  slaves_->setObjectName(QStringLiteral("dpSlaves"));
  slaves_->setModel(slavesSorted_);
  slaves_->setSortingEnabled(true);
  slaves_->sortByColumn(0, Qt::AscendingOrder);
  slaves_->setSelectionBehavior(QAbstractItemView::SelectRows);
  slaves_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  slaves_->verticalHeader()->hide();
  slaves_->horizontalHeader()->setStretchLastSection(true);
  tabs->addTab(slaves_, QStringLiteral("DP slaves"));
  splitter->addWidget(tabs);
  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 2);

  connect(timeline_, &DpTimelineView::RecordActivated, this, &DpTab::RecordActivated);
  connect(reset_, &QToolButton::clicked, timeline_, &DpTimelineView::ResetZoom);
  connect(events_, &QTableView::activated, this, [this](const QModelIndex& index) {
    emit RecordActivated(eventModel_->EventAt(filter_->mapToSource(index).row()).ref);
  });
  connect(events_, &QTableView::clicked, this, [this](const QModelIndex& index) {
    emit RecordActivated(eventModel_->EventAt(filter_->mapToSource(index).row()).ref);
  });
  connect(kindBox_, &QComboBox::currentIndexChanged, this, [this] {
    const int kind = kindBox_->currentData().toInt();
    filter_->SetKind(kind < 0 ? std::nullopt
                              : std::optional<DpEventKind>(static_cast<DpEventKind>(kind)));
  });
  connect(stationBox_, &QComboBox::currentIndexChanged, this, [this] {
    const int station = stationBox_->currentData().toInt();
    filter_->SetStation(station < 0 ? std::nullopt
                                    : std::optional<std::uint8_t>(
                                          static_cast<std::uint8_t>(station)));
  });
}

void DpTab::BuildLegend(QWidget* box) {
  auto* row = new QHBoxLayout(box);
  row->setContentsMargins(0, 0, 0, 0);
  const auto swatch = [box, row](const QColor& color, const QString& text, int width) {
    auto* patch = new QLabel(box);
    patch->setFixedSize(width, 12);
    patch->setStyleSheet(QStringLiteral("background: %1").arg(color.name()));
    row->addWidget(patch);
    row->addWidget(new QLabel(text, box));
  };
  for (const DpState state : {DpState::kDataExchange, DpState::kStartup, DpState::kRefused,
                              DpState::kNoResponse, DpState::kUnknown}) {
    swatch(DpTimelineView::StateColor(state), Q(DpStateName(state)), 12);
  }
  swatch(DpTimelineView::MarkerColor(DpMarkerKind::kDiagnosis), QStringLiteral("diagnosis"), 3);
  swatch(DpTimelineView::MarkerColor(DpMarkerKind::kClearData), QStringLiteral("Clear_Data"), 3);
  swatch(DpTimelineView::MarkerColor(DpMarkerKind::kCheck), QStringLiteral("check"), 3);
  row->addStretch(1);
  reset_ = new QToolButton(box);
  reset_->setObjectName(QStringLiteral("dpResetZoom"));
  reset_->setText(QStringLiteral("Reset Zoom"));
  reset_->setToolTip(QStringLiteral("Show the whole run"));
  row->addWidget(reset_);
}

void DpTab::SetFigures(const BusFigures* figures) {
  timelineData_ = figures != nullptr ? DpTimelineOf(*figures) : DpTimeline{};
  timeline_->SetTimeline(figures != nullptr ? &timelineData_ : nullptr);
  eventModel_->SetFigures(figures);
  slaveModel_->SetFigures(figures);
  // The GSD files' columns only for a run read with GSD folders.
  const bool gsdRead = figures != nullptr && figures->dp.gsdRead;
  for (const int column : {kSlaveDevice, kSlaveModules, kSlaveDiagnosisTexts}) {
    slaves_->setColumnHidden(column, !gsdRead);
  }
  // The stations that events name, slaves and masters.
  const QVariant chosen = stationBox_->currentData();
  stationBox_->blockSignals(true);
  stationBox_->clear();
  stationBox_->addItem(QStringLiteral("All stations"), -1);
  if (figures != nullptr) {
    std::array<bool, 256> named{};
    for (const DpEvent& e : figures->dp.events) {
      named[e.station] = true;
      if (e.kind != DpEventKind::kGlobalControl) named[e.master] = true;
    }
    for (int s = 0; s < static_cast<int>(named.size()); ++s) {
      if (named[static_cast<std::size_t>(s)]) stationBox_->addItem(QString::number(s), s);
    }
  }
  stationBox_->setCurrentIndex(std::max(0, stationBox_->findData(chosen)));
  stationBox_->blockSignals(false);
  const int station = stationBox_->currentData().toInt();
  filter_->SetStation(station < 0 ? std::nullopt
                                  : std::optional<std::uint8_t>(static_cast<std::uint8_t>(station)));
  axisNote_->setText(
      figures == nullptr ? QString()
      : timelineData_.axis == DpAxis::kTime
          ? QStringLiteral("Time on the module's clock. Each band is a slave that received DP "
                           "requests, coloured by its state; ticks mark diagnosis changes, "
                           "Clear_Data and failed checks.")
          : QStringLiteral("The run's times are unknown (unknown baud rate): the axis counts "
                           "records by their reference numbers."));
  events_->resizeColumnsToContents();
  slaves_->resizeColumnsToContents();
}

bool DpTab::WriteEvents(const QString& path, bool csv, QString* error) const {
  const std::vector<const DpEvent*> shown = filter_->Shown();
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    if (error != nullptr) *error = QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
    return false;
  }
  if (!WriteDpEvents(shown, csv, file) || !file.flush()) {
    if (error != nullptr) *error = QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
    return false;
  }
  return true;
}

}  // namespace fdc::ui
