// The health view: its controls, the computation's start, progress and end, the findings, live
// list, station table and charts filled from the figures, the clicks passed on, and the exports.
#include "ui/health/health_view.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "common/text_appenders.h"
#include "ui/health/dp_tab.h"
#include "ui/health/health_charts.h"
#include "ui/health/live_list.h"
#include "ui/health/station_table_model.h"
#include "ui/health/station_table_view.h"

namespace fdc::ui {

namespace {

constexpr int kFindingRole = Qt::UserRole + 1;  // the finding's place in the findings
constexpr int kRecordRole = Qt::UserRole + 2;   // a record under a finding: its number
constexpr int kLoadedRole = Qt::UserRole + 3;   // a finding's first records are there

QString Q(const std::string& text) { return QString::fromStdString(text); }
QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

// The marks before the findings: red for a station that fails to answer, amber for one that
// answers badly, purple for damage to the recording itself.
QColor FindingColor(FindingKind kind) {
  switch (kind) {
    case FindingKind::kNoResponse:
    case FindingKind::kRepeats:
    case FindingKind::kIllegalResponses:
    case FindingKind::kLateResponses:
      return QColor(0xd6, 0x27, 0x28);
    case FindingKind::kCorruptFrames:
    case FindingKind::kFilesCutShort:
    case FindingKind::kBaudChanges:
    case FindingKind::kClockStepsBack:
    case FindingKind::kLastRecordCut:
      return QColor(0x8e, 0x44, 0xad);
    default:
      return QColor(0xff, 0x9f, 0x1c);
  }
}

QIcon FindingIcon(FindingKind kind) {
  QPixmap pixmap(12, 12);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(FindingColor(kind));
  painter.drawEllipse(QRectF(1, 1, 10, 10));
  return QIcon(pixmap);
}

// "no_response 12, requests_received 131": the finding's numbers by their JSON names.
QString NumbersText(const BusFinding& finding) {
  QStringList parts;
  for (const FindingNumber& n : finding.numbers) {
    parts << Q(n.name) + QStringLiteral(" ") + QString::number(n.value);
  }
  return parts.join(QStringLiteral(", "));
}

}  // namespace

HealthView::HealthView(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  BuildControls();
  BuildBody();
  connect(&computation_, &HealthComputation::Progress, this, &HealthView::OnProgress);
  connect(&computation_, &HealthComputation::Done, this, &HealthView::OnDone);
  Clear();
}

HealthView::~HealthView() {
  computation_.RequestStop();
  (void)computation_.Collect();
}

void HealthView::BuildControls() {
  auto* row = new QHBoxLayout();
  tslField_ = new QSpinBox(this);
  tslField_->setObjectName(QStringLiteral("slotTime"));
  tslField_->setRange(0, static_cast<int>(kMaxSlotTimeBits));
  tslField_->setSpecialValueText(QStringLiteral("by baud rate"));
  tslField_->setSuffix(QStringLiteral(" bits"));
  tslField_->setToolTip(
      QStringLiteral("Slot time in bit times (fdcstat --tsl); the lowest value "
                     "takes the default of the run's baud rate"));
  ttrField_ = new QSpinBox(this);
  ttrField_->setObjectName(QStringLiteral("ttr"));
  ttrField_->setRange(0, static_cast<int>(kMaxRotationBits));
  ttrField_->setSpecialValueText(QStringLiteral("none"));
  ttrField_->setSuffix(QStringLiteral(" bits"));
  ttrField_->setToolTip(
      QStringLiteral("Target rotation time in bit times (fdcstat --ttr); each "
                     "master's rotations above it are counted"));
  compute_ = new QPushButton(QStringLiteral("Compute"), this);
  compute_->setToolTip(QStringLiteral("Compute the figures of the run again with these settings"));
  stop_ = new QPushButton(QStringLiteral("Stop"), this);
  export_ = new QToolButton(this);
  export_->setText(QStringLiteral("Export"));
  export_->setPopupMode(QToolButton::InstantPopup);
  exportMenu_ = new QMenu(export_);
  exportMenu_->addAction(QStringLiteral("Figures as JSON..."), this,
                         [this] { OnExportFigures(FiguresFormat::kJson); });
  exportMenu_->addAction(QStringLiteral("Figures as CSV..."), this,
                         [this] { OnExportFigures(FiguresFormat::kCsv); });
  exportMenu_->addSeparator();
  exportMenu_->addAction(QStringLiteral("Chart as PNG..."), this,
                         [this] { OnExportChart(PictureFormat::kPng); });
  exportMenu_->addAction(QStringLiteral("Chart as SVG..."), this,
                         [this] { OnExportChart(PictureFormat::kSvg); });
  export_->setMenu(exportMenu_);

  auto* tslLabel = new QLabel(QStringLiteral("Slot time"), this);
  tslLabel->setBuddy(tslField_);
  auto* ttrLabel = new QLabel(QStringLiteral("TTR"), this);
  ttrLabel->setBuddy(ttrField_);
  row->addWidget(tslLabel);
  row->addWidget(tslField_);
  row->addWidget(ttrLabel);
  row->addWidget(ttrField_);
  row->addWidget(compute_);
  row->addWidget(stop_);
  row->addStretch(1);
  row->addWidget(export_);
  static_cast<QVBoxLayout*>(layout())->addLayout(row);

  auto* progressRow = new QHBoxLayout();
  progress_ = new QProgressBar(this);
  progress_->setRange(0, 100);
  progress_->setMaximumWidth(160);
  status_ = new QLabel(this);
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  progressRow->addWidget(progress_);
  progressRow->addWidget(status_, 1);
  static_cast<QVBoxLayout*>(layout())->addLayout(progressRow);

  connect(compute_, &QPushButton::clicked, this, &HealthView::Recompute);
  connect(stop_, &QPushButton::clicked, this, &HealthView::Stop);
}

void HealthView::BuildBody() {
  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->setChildrenCollapsible(false);

  auto* findingsBox = new QWidget(splitter);
  auto* findingsLayout = new QVBoxLayout(findingsBox);
  findingsLayout->setContentsMargins(0, 0, 0, 0);
  findingsLayout->addWidget(new QLabel(QStringLiteral("Findings, worst first"), findingsBox));
  findingsList_ = new QTreeWidget(findingsBox);
  findingsList_->setObjectName(QStringLiteral("findings"));
  findingsList_->setHeaderHidden(true);
  findingsList_->setUniformRowHeights(true);
  findingsList_->setToolTip(
      QStringLiteral("Click a finding to show its records in the table; expand it to see its "
                     "first records"));
  findingsLayout->addWidget(findingsList_);
  splitter->addWidget(findingsBox);

  auto* liveBox = new QWidget(splitter);
  auto* liveLayout = new QVBoxLayout(liveBox);
  liveLayout->setContentsMargins(0, 0, 0, 0);
  liveLayout->addWidget(new QLabel(QStringLiteral("Live list"), liveBox));
  liveList_ = new LiveList(liveBox);
  liveLayout->addWidget(liveList_);
  liveLayout->addStretch(1);
  splitter->addWidget(liveBox);

  tabs_ = new QTabWidget(splitter);
  model_ = new StationTableModel(this);
  sorted_ = new QSortFilterProxyModel(this);
  sorted_->setSourceModel(model_);
  sorted_->setSortRole(StationTableModel::kFigureRole);
  auto* stations = new StationTableView(tabs_);
  table_ = stations;
  table_->setObjectName(QStringLiteral("stations"));
  table_->setModel(sorted_);
  table_->setSortingEnabled(true);
  table_->sortByColumn(0, Qt::AscendingOrder);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  // The model keeps the JSON's order for the exports; people read the station, its faults, then
  // its times, with the station in sight whatever is scrolled to.
  stations->SetColumnOrder(StationViewOrder(), kFrozenStationColumns);
  tabs_->addTab(table_, QStringLiteral("Stations"));

  faultsChart_ = new ChartPane(tabs_);
  tabs_->addTab(faultsChart_, QStringLiteral("Faults"));
  rotationChart_ = new ChartPane(tabs_);
  tabs_->addTab(rotationChart_, QStringLiteral("Token rotation"));

  auto* histogramBox = new QWidget(tabs_);
  auto* histogramLayout = new QVBoxLayout(histogramBox);
  histogramLayout->setContentsMargins(0, 4, 0, 0);
  auto* pickRow = new QHBoxLayout();
  pickRow->addWidget(new QLabel(QStringLiteral("Station"), histogramBox));
  histogramStation_ = new QComboBox(histogramBox);
  histogramStation_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  pickRow->addWidget(histogramStation_);
  pickRow->addStretch(1);
  histogramLayout->addLayout(pickRow);
  histogramChart_ = new ChartPane(histogramBox);
  // Responses crowd the low end of a long slot time: a drag zooms in, a right click out.
  histogramChart_->setRubberBand(QChartView::HorizontalRubberBand);
  histogramChart_->setToolTip(QStringLiteral("Drag across to zoom in, right-click to zoom out"));
  histogramLayout->addWidget(histogramChart_, 1);
  tabs_->addTab(histogramBox, QStringLiteral("Response times"));
  dpTab_ = new DpTab(tabs_);
  tabs_->addTab(dpTab_, QStringLiteral("DP"));

  splitter->addWidget(tabs_);
  splitter->setStretchFactor(0, 2);
  splitter->setStretchFactor(1, 0);
  splitter->setStretchFactor(2, 5);
  layout()->addWidget(splitter);

  connect(findingsList_, &QTreeWidget::itemClicked, this, &HealthView::OnFindingClicked);
  connect(findingsList_, &QTreeWidget::itemExpanded, this, &HealthView::OnFindingExpanded);
  connect(&firstRecordsTask_, &BackgroundTask::Done, this, &HealthView::OnFirstRecordsFound);
  connect(liveList_, &LiveList::StationClicked, this, [this](int address) {
    SelectStation(address);
    emit StationActivated(address);
  });
  connect(table_, &QTableView::clicked, this, &HealthView::OnTableClicked);
  connect(faultsChart_, &ChartPane::MinuteClicked, this, &HealthView::OnMinuteClicked);
  connect(rotationChart_, &ChartPane::MinuteClicked, this, &HealthView::OnMinuteClicked);
  connect(histogramStation_, &QComboBox::currentIndexChanged, this, &HealthView::ShowHistogram);
  connect(tabs_, &QTabWidget::currentChanged, this, &HealthView::UpdateButtons);
  connect(dpTab_, &DpTab::RecordActivated, this, &HealthView::RecordActivated);
  connect(dpTab_, &DpTab::ExportRequested, this, &HealthView::OnExportDpEvents);
}

void HealthView::Compute(const DumpRequest& request) {
  pending_ = HealthRequestOf(request);
  if (computation_.Active()) {
    // The stopping run's outcome is dropped when it arrives; the pending run follows it.
    computation_.RequestStop();
    return;
  }
  StartPending();
}

void HealthView::Recompute() {
  if (run_) Compute(*run_);
}

void HealthView::StartPending() {
  if (!pending_) return;
  // Another run's figures would mislead while this one's are computed; the same run's stay until
  // the new ones replace them.
  const bool otherRun = !run_ || !SameRun(*run_, *pending_);
  run_ = std::move(pending_);
  pending_.reset();
  if (otherRun && figures_) {
    figures_.reset();
    figuresGsd_.reset();
    findings_.clear();
    minutes_.clear();
    ShowFigures();
  }
  const HealthSettings settings = Settings();
  if (!computation_.Start(*run_, settings)) return;
  computingGsd_ = settings.gsd;
  progress_->setValue(0);
  progress_->show();
  status_->setText(QStringLiteral("Computing the bus health figures..."));
  UpdateButtons();
  emit ComputationStarted();
}

void HealthView::Stop() {
  pending_.reset();
  computation_.RequestStop();
}

void HealthView::Clear() {
  pending_.reset();
  computation_.RequestStop();
  (void)computation_.Collect();
  run_.reset();
  figures_.reset();
  computingGsd_.reset();
  figuresGsd_.reset();
  findings_.clear();
  minutes_.clear();
  ShowFigures();
  progress_->hide();
  status_->setText(QStringLiteral("No run open."));
  UpdateButtons();
}

HealthSettings HealthView::Settings() const {
  HealthSettings settings = HealthSettingsOf(static_cast<std::uint32_t>(tslField_->value()),
                                             static_cast<std::uint32_t>(ttrField_->value()));
  settings.gsd = gsd_;
  return settings;
}

void HealthView::SetSettings(const HealthSettings& settings) {
  tslField_->setValue(static_cast<int>(settings.tslBits.value_or(0)));
  ttrField_->setValue(static_cast<int>(settings.ttrBits.value_or(0)));
  gsd_ = settings.gsd;
}

void HealthView::SetGsdLibrary(std::shared_ptr<const dp::GsdLibrary> gsd) {
  gsd_ = std::move(gsd);
  // A run waiting for the stopping one starts with the library anyway.
  if (!pending_) Recompute();
}

bool HealthView::Computing() const { return computation_.Active(); }

QString HealthView::StatusText() const { return status_->text(); }

void HealthView::OnProgress(const ProgressSnapshot& progress) {
  if (pending_) return;  // the run that is stopping for the next one
  progress_->setValue(static_cast<int>(progress.runPercent));
  status_->setText(Q(FileProgressLine(progress)) + QStringLiteral(", ") +
                   Q(RecordsLine(progress.records)));
  emit ProgressChanged(progress);
}

void HealthView::OnDone() {
  std::optional<HealthOutcome> outcome = computation_.Collect();
  if (!outcome) return;
  if (pending_) {
    StartPending();
    return;
  }
  progress_->hide();
  findings_ = outcome->figures ? BusFindings(*outcome->figures) : std::vector<BusFinding>{};
  const std::string line = HealthStatusLine(*outcome, findings_.size());
  figures_ = std::move(outcome->figures);
  figuresGsd_ = figures_ ? std::move(computingGsd_) : nullptr;
  computingGsd_.reset();
  minutes_ = figures_ ? FaultsPerMinute(*figures_) : std::vector<FaultMinute>{};
  status_->setText(Q(line));
  ShowFigures();
  UpdateButtons();
  emit ComputationFinished(Q(line));
}

void HealthView::ShowFigures() {
  dpTab_->SetFigures(Figures());
  ShowFindings();
  if (figures_) {
    liveList_->SetCells(LiveListCells(*figures_, findings_));
    model_->SetStations(figures_->stations, &figures_->dp);
  } else {
    liveList_->Clear();
    model_->SetStations({});
  }
  // The device column only for a run read with GSD folders.
  table_->setColumnHidden(kDeviceColumn, !figures_ || !figures_->dp.gsdRead);
  table_->resizeColumnsToContents();
  faultsChart_->ShowChart(MakeFaultsChart(minutes_), static_cast<int>(minutes_.size()));
  rotationChart_->ShowChart(
      MakeRotationChart(figures_ ? RotationPerMinute(*figures_) : std::vector<MasterRotation>{},
                        minutes_),
      static_cast<int>(minutes_.size()));

  const QSignalBlocker blocker(histogramStation_);
  histogramStation_->clear();
  if (figures_) {
    for (const ResponseHistogram& h : ResponseHistograms(*figures_)) {
      histogramStation_->addItem(QStringLiteral("Station %1").arg(h.station), int{h.station});
    }
    // The worst station that has a histogram comes first to the eye.
    for (const BusFinding& f : findings_) {
      const int index = f.station ? histogramStation_->findData(int{*f.station}) : -1;
      if (index >= 0) {
        histogramStation_->setCurrentIndex(index);
        break;
      }
    }
  }
  ShowHistogram();
}

void HealthView::ShowFindings() {
  StopFirstRecords();
  findingsList_->clear();
  if (!figures_) return;
  // A run that yielded no record says why, never that the bus looked healthy.
  if (figures_->run.records == 0 || findings_.empty()) {
    const std::string line =
        figures_->run.records == 0 ? NoRecordsLine(*figures_) : std::string(kHealthyBusLine);
    auto* item = new QTreeWidgetItem(findingsList_, {Q(line)});
    item->setFlags(Qt::ItemIsEnabled);
    return;
  }
  for (std::size_t i = 0; i < findings_.size(); ++i) {
    const BusFinding& f = findings_[i];
    auto* item = new QTreeWidgetItem(findingsList_, {Q(f.text)});
    item->setIcon(0, FindingIcon(f.kind));
    item->setData(0, kFindingRole, static_cast<int>(i));
    item->setToolTip(0, Q(FindingKindTitle(f.kind)) + QStringLiteral(": ") + NumbersText(f));
    // Its first records are looked for when it is first expanded.
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
  }
}

void HealthView::ShowHistogram() {
  if (!figures_) {
    histogramChart_->ShowChart(MakeHistogramChart(nullptr, true), 0);
    return;
  }
  const int station =
      histogramStation_->currentData().isValid() ? histogramStation_->currentData().toInt() : -1;
  const std::vector<ResponseHistogram> histograms = ResponseHistograms(*figures_);
  const auto found =
      std::find_if(histograms.begin(), histograms.end(),
                   [station](const ResponseHistogram& h) { return h.station == station; });
  histogramChart_->ShowChart(
      MakeHistogramChart(found != histograms.end() ? &*found : nullptr, figures_->rateKnown), 0);
}

// Shows the station in the table and its histogram, so that the view follows a click.
void HealthView::SelectStation(int address) {
  for (int row = 0; row < model_->rowCount(); ++row) {
    if (model_->AddressAt(row) != address) continue;
    const QModelIndex index = sorted_->mapFromSource(model_->index(row, 0));
    table_->selectRow(index.row());
    table_->scrollTo(index);
    break;
  }
  const int index = histogramStation_->findData(address);
  if (index >= 0) histogramStation_->setCurrentIndex(index);
}

void HealthView::UpdateButtons() {
  const bool active = computation_.Active();
  stop_->setEnabled(active);
  compute_->setEnabled(run_.has_value() && !active);
  const bool figures = figures_.has_value() && !active;
  const QList<QAction*> actions = exportMenu_->actions();
  const int tab = tabs_->currentIndex();
  const bool chartShown = tab == ChartTab(ChartKind::kFaults) ||
                          tab == ChartTab(ChartKind::kRotation) ||
                          tab == ChartTab(ChartKind::kResponseTimes);
  for (int i = 0; i < actions.size(); ++i) {
    // Two figure exports, a separator, two chart exports.
    actions[i]->setEnabled(figures && (i < 2 || chartShown));
  }
  export_->setEnabled(figures);
}

std::vector<quint32> HealthView::DpRefsOf(const BusFinding& finding) const {
  std::vector<quint32> refs;
  if (finding.station && figures_) {
    for (std::uint32_t ref : RecordsOfDpFinding(*figures_, finding.kind, *finding.station)) {
      refs.push_back(ref);
    }
  }
  return refs;
}

void HealthView::OnFindingClicked(QTreeWidgetItem* item) {
  if (item == nullptr) return;
  QTreeWidgetItem* top = item->parent() != nullptr ? item->parent() : item;
  if (!top->data(0, kFindingRole).isValid()) return;
  const auto at = static_cast<std::size_t>(top->data(0, kFindingRole).toInt());
  if (at >= findings_.size()) return;
  const BusFinding finding = findings_[at];
  if (finding.station) SelectStation(*finding.station);
  emit FindingActivated(finding, DpRefsOf(finding));
  if (item != top && item->data(0, kRecordRole).isValid()) {
    emit FindingRecordActivated(item->data(0, kRecordRole).toUInt());
  }
}

void HealthView::OnFindingExpanded(QTreeWidgetItem* item) {
  if (item == nullptr || item->parent() != nullptr || item->data(0, kLoadedRole).toBool() ||
      item == lookingIn_ || !item->data(0, kFindingRole).isValid() || !run_ || !figures_) {
    return;
  }
  const auto at = static_cast<std::size_t>(item->data(0, kFindingRole).toInt());
  if (at >= findings_.size()) return;
  const BusFinding& finding = findings_[at];
  FirstRecordsJob job;
  if (firstRecordsLookup_)
    job = firstRecordsLookup_(*run_, finding, DpRefsOf(finding), figures_->tslBits);
  if (!job) {
    item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
    item->setData(0, kLoadedRole, true);
    return;
  }
  StopFirstRecords();
  auto* note = new QTreeWidgetItem(item, {QStringLiteral("Looking for the first records...")});
  note->setFlags(Qt::ItemIsEnabled);
  lookingIn_ = item;
  firstRecords_ = std::make_shared<std::vector<FindingRecord>>();
  firstRecordsTask_.Start([job = std::move(job), found = firstRecords_](const RunControl& control) {
    return job(control, *found);
  });
}

void HealthView::StopFirstRecords() {
  firstRecordsTask_.Cancel();
  // The finding looked in shows its records the next time it is expanded.
  if (lookingIn_ != nullptr) {
    qDeleteAll(lookingIn_->takeChildren());
    lookingIn_->setExpanded(false);
  }
  lookingIn_ = nullptr;
}

void HealthView::OnFirstRecordsFound() {
  const std::optional<Result> result = firstRecordsTask_.Collect();
  QTreeWidgetItem* item = lookingIn_;
  lookingIn_ = nullptr;
  if (!result || item == nullptr || !firstRecords_) return;
  qDeleteAll(item->takeChildren());
  for (const FindingRecord& r : *firstRecords_) {
    std::string clock;
    StringSink sink{clock};
    AppendClock(sink, r.absNs);
    auto* child =
        new QTreeWidgetItem(item, {QStringLiteral("Record %1 at %2").arg(r.ref).arg(Q(clock))});
    child->setData(0, kRecordRole, r.ref);
  }
  if (result->failed()) {
    new QTreeWidgetItem(item, {Q(result->ErrorText())});
  } else if (firstRecords_->empty()) {
    new QTreeWidgetItem(item, {QStringLiteral("No record found")});
  }
  item->setData(0, kLoadedRole, true);
}

void HealthView::OnTableClicked(const QModelIndex& index) {
  if (!index.isValid()) return;
  const int address = model_->AddressAt(sorted_->mapToSource(index).row());
  const int histogram = histogramStation_->findData(address);
  if (histogram >= 0) histogramStation_->setCurrentIndex(histogram);
  emit StationActivated(address);
}

void HealthView::OnMinuteClicked(int minute) {
  if (minute < 0 || static_cast<std::size_t>(minute) >= minutes_.size()) return;
  const std::optional<std::int64_t>& ns = minutes_[static_cast<std::size_t>(minute)].firstRecordNs;
  if (ns) emit TimeActivated(static_cast<qint64>(*ns));
}

ChartPane* HealthView::Chart(ChartKind chart) const {
  switch (chart) {
    case ChartKind::kFaults:
      return faultsChart_;
    case ChartKind::kRotation:
      return rotationChart_;
    case ChartKind::kResponseTimes:
      break;
  }
  return histogramChart_;
}

int HealthView::ChartTab(ChartKind chart) const {
  switch (chart) {
    case ChartKind::kFaults:
      return 1;
    case ChartKind::kRotation:
      return 2;
    case ChartKind::kResponseTimes:
      break;
  }
  return 3;
}

bool HealthView::Refused(const QString& path, QString* error) const {
  const std::string refusal = run_ ? ExportRefusal(*run_, path.toStdString()) : std::string();
  if (refusal.empty()) return false;
  if (error != nullptr) *error = Q(refusal);
  return true;
}

bool HealthView::ExportFigures(const QString& path, FiguresFormat format, QString* error) {
  if (!figures_ || computation_.Active()) {
    if (error != nullptr) *error = QStringLiteral("There are no figures to export yet.");
    return false;
  }
  const Result written =
      WriteFiguresFile(*figures_, run_.value_or(DumpRequest{}), path.toStdString(), format);
  if (written.failed() && error != nullptr) *error = Q(written.ErrorText());
  return !written.failed();
}

bool HealthView::ExportChart(ChartKind chart, const QString& path, PictureFormat format,
                             QString* error) {
  if (!figures_ || computation_.Active()) {
    if (error != nullptr) *error = QStringLiteral("There is no chart to export yet.");
    return false;
  }
  if (Refused(path, error)) return false;
  ChartPane* pane = Chart(chart);
  const bool saved = format == PictureFormat::kPng ? pane->SavePng(path) : pane->SaveSvg(path);
  if (!saved && error != nullptr) {
    *error = QStringLiteral("Unable to Write Output File ") + path;
  }
  return saved;
}

void HealthView::OnExportFigures(FiguresFormat format) {
  if (!run_) return;
  const bool json = format == FiguresFormat::kJson;
  const QString start = Q(HealthExportPath(*run_, "health", json ? "json" : "csv"));
  const QString path = QFileDialog::getSaveFileName(
      this,
      json ? QStringLiteral("Export the figures as JSON")
           : QStringLiteral("Export the station table as CSV"),
      start, json ? QStringLiteral("JSON (*.json)") : QStringLiteral("CSV (*.csv)"));
  if (path.isEmpty()) return;
  QString error;
  if (!ExportFigures(path, format, &error)) {
    QMessageBox::warning(this, QStringLiteral("Export"), error);
  }
}

bool HealthView::ExportDpEvents(const QString& path, bool csv, QString* error) {
  if (!figures_ || computation_.Active()) {
    if (error != nullptr) *error = QStringLiteral("There are no figures to export yet.");
    return false;
  }
  if (Refused(path, error)) return false;
  return dpTab_->WriteEvents(path, csv, error);
}

void HealthView::OnExportDpEvents(bool csv) {
  if (!run_) return;
  const QString path = QFileDialog::getSaveFileName(
      this,
      csv ? QStringLiteral("Export the DP events as CSV")
          : QStringLiteral("Export the DP events as text"),
      Q(HealthExportPath(*run_, "dp_events", csv ? "csv" : "txt")),
      csv ? QStringLiteral("CSV (*.csv)") : QStringLiteral("Text (*.txt)"));
  if (path.isEmpty()) return;
  QString error;
  if (!ExportDpEvents(path, csv, &error)) {
    QMessageBox::warning(this, QStringLiteral("Export"), error);
  }
}

void HealthView::OnExportChart(PictureFormat format) {
  if (!run_ || tabs_->currentIndex() == 0) return;
  const ChartKind chart = tabs_->currentIndex() == ChartTab(ChartKind::kFaults) ? ChartKind::kFaults
                          : tabs_->currentIndex() == ChartTab(ChartKind::kRotation)
                              ? ChartKind::kRotation
                              : ChartKind::kResponseTimes;
  const char* what = chart == ChartKind::kFaults     ? "faults"
                     : chart == ChartKind::kRotation ? "rotation"
                                                     : "response_times";
  const bool png = format == PictureFormat::kPng;
  const QString path = QFileDialog::getSaveFileName(
      this, png ? QStringLiteral("Save the chart as PNG") : QStringLiteral("Save the chart as SVG"),
      Q(HealthExportPath(*run_, what, png ? "png" : "svg")),
      png ? QStringLiteral("PNG picture (*.png)") : QStringLiteral("SVG drawing (*.svg)"));
  if (path.isEmpty()) return;
  QString error;
  if (!ExportChart(chart, path, format, &error)) {
    QMessageBox::warning(this, QStringLiteral("Export"), error);
  }
}

}  // namespace fdc::ui
