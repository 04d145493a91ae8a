// The health view driven as a user drives it, on a generated run with injected bus faults: the
// faulty station first in the findings and framed in the live list, clicks passed on as signals,
// the station table against fdcstat's JSON, its columns' order and frozen columns, charts saved
// as PNG and SVG, the figures exported, progress and Stop, settings, a run replaced while
// computing, a run that cannot start, and the DP tab on a run with DP faults: its figures and
// events as fdcstat's, click-through from a segment, a marker, an event and a finding, zoom and
// reset, the log's filters and exports.
// "--screenshot DIR" draws the documentation's picture of the view instead of testing.
#include <QApplication>
#include <QCategoryAxis>
#include <QChart>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QSvgRenderer>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <QValueAxis>
#include <QWheelEvent>
#include <QXmlStreamReader>
#include <memory>
#include <sstream>
#include <vector>

#include "report/bus_report.h"
#include "tests/ui/health_test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/common/gsd_folders.h"
#include "ui/health/dp_tab.h"
#include "ui/health/health_charts.h"
#include "ui/health/health_view.h"
#include "ui/health/live_list.h"
#include "ui/health/station_table_model.h"
#include "ui/health/station_table_view.h"

using namespace fdc;
using namespace fdc::ui;
using fdc::ui::test::FigureOfJson;
using fdc::ui::test::JsonAt;
using fdc::ui::test::ReadFile;
using fdc::ui::test::RequestFor;
using fdc::ui::test::WriteFaultRun;

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// DP faults on the generated line's slaves.
constexpr std::string_view kDpFaults =
    "dp_drop@26,prm_fault@25,channel_error@34,clear_data@2,fcb_not_toggled@37:count=1,"
    "io_length@61:count=2,dpv1_alarm@14";

// Starts the view on a run and waits for its figures.
bool ComputeAndWait(HealthView& view, const DumpRequest& request) {
  QSignalSpy finished(&view, &HealthView::ComputationFinished);
  view.Compute(request);
  return finished.wait(120000);
}

// The station and finding signals as they came while it lives: "14 kind 0", "25 -", "run kind
// 20"; and the DP records of the findings.
struct StationClicks {
  explicit StationClicks(HealthView& view) {
    stations = QObject::connect(&view, &HealthView::StationActivated, &view, [this](int address) {
      said << QStringLiteral("%1 -").arg(address);
    });
    findings =
        QObject::connect(&view, &HealthView::FindingActivated, &view,
                         [this](const BusFinding& finding, const std::vector<quint32>& refs) {
                           said << QStringLiteral("%1 kind %2")
                                       .arg(finding.station ? QString::number(*finding.station)
                                                            : QStringLiteral("run"))
                                       .arg(static_cast<int>(finding.kind));
                           dpRefs = refs;
                         });
  }
  ~StationClicks() {
    QObject::disconnect(stations);
    QObject::disconnect(findings);
  }
  StationClicks(const StationClicks&) = delete;
  StationClicks& operator=(const StationClicks&) = delete;
  QStringList said;
  std::vector<quint32> dpRefs;
  QMetaObject::Connection stations;
  QMetaObject::Connection findings;
};

// The chart pane's tab made current and laid out, as a user sees it before saving it or clicking
// it; none when its plot area got no size.
ChartPane* ShowChart(HealthView& view, ChartKind chart) {
  view.Tabs()->setCurrentIndex(view.ChartTab(chart));
  ChartPane* pane = view.Chart(chart);
  const bool shown = fdc::ui::test::WaitUntilLaidOut(
      [pane] { return pane->isVisible() && !pane->chart()->plotArea().isEmpty(); });
  return shown ? pane : nullptr;
}

// A point in the middle of the chart's value range at minute `minute`.
QPoint MinutePoint(ChartPane& pane, int minute) {
  const auto axes = pane.chart()->axes(Qt::Vertical);
  const auto* y = axes.isEmpty() ? nullptr : qobject_cast<QValueAxis*>(axes.first());
  return pane.ViewportPositionOf(QPointF(minute, y != nullptr ? y->max() / 2 : 0.5));
}

// The "Findings" block of fdcstat's text report, without its indent.
QStringList FdcstatFindings(const std::string& report) {
  QStringList lines = Q(report).split('\n');
  QStringList findings;
  const int at = static_cast<int>(lines.indexOf(QStringLiteral("Findings")));
  for (int i = at + 1; at >= 0 && i < lines.size() && lines[i].startsWith(QStringLiteral("  "));
       ++i) {
    // A finding wider than the report goes on in lines indented further.
    if (lines[i].startsWith(QStringLiteral("    ")) && !findings.isEmpty()) {
      findings.back() += QStringLiteral(" ") + lines[i].trimmed();
    } else {
      findings << lines[i].mid(2);
    }
  }
  return findings;
}

QStringList ItemTexts(const QTreeWidget& list) {
  QStringList texts;
  for (int i = 0; i < list.topLevelItemCount(); ++i) texts << list.topLevelItem(i)->text(0);
  return texts;
}

}  // namespace

class HealthWidgetTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::string faultRun_;  // three minutes: an outage of 14, late 25, corrupt replies of 15
  std::unique_ptr<HealthView> view_;

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    faultRun_ = WriteFaultRun(dir_.path(), "outage@14,late@25,corrupt@15,rs@26");
    QVERIFY(!faultRun_.empty());
    view_ = std::make_unique<HealthView>();
    view_->resize(900, 1000);
    view_->show();
    QVERIFY(QTest::qWaitForWindowExposed(view_.get()));
    QVERIFY(ComputeAndWait(*view_, RequestFor(faultRun_, 3)));
    QVERIFY(view_->Figures() != nullptr);
  }
  void cleanupTestCase() { view_.reset(); }

  // The findings are fdcstat's, in its order and words; the faulty station leads.
  void findingsAsFdcstatReportsThem() {
    const QStringList shown = ItemTexts(*view_->FindingsList());
    QVERIFY(!view_->Findings().empty());
    QCOMPARE(view_->Findings().front().station.value_or(0), std::uint8_t{14});
    QVERIFY(shown.front().startsWith(QStringLiteral("Station 14: no valid reply in time to ")));
    const std::string report = fdc::ui::test::FdcstatReport(
        faultRun_, 3, "text", dir_.filePath("report.txt").toStdString());
    QCOMPARE(shown, FdcstatFindings(report));
    QVERIFY(view_->StatusText().endsWith(QString::number(shown.size()) + " findings"));
  }

  void liveListMarksTheFaultyStation() {
    LiveList& live = *view_->LiveListGrid();
    QVERIFY(live.Cell(14).faulty);
    QVERIFY(live.Cell(14).role == LiveRole::kSlave);
    QVERIFY(!live.Cell(34).faulty);
    QVERIFY(live.Cell(34).role == LiveRole::kSlave);
    QVERIFY(live.Cell(1).role == LiveRole::kMaster);
    QVERIFY(live.Cell(0).role == LiveRole::kNotSeen);
    QVERIFY(Q(live.Cell(14).toolTip).startsWith(QStringLiteral("Station 14: slave")));
    // Drawn so: a red frame inside the faulty cell, the role's colour inside a healthy one.
    const QImage image = live.grab().toImage();
    const QPoint inset(2, 2);
    QCOMPARE(image.pixelColor(live.CellRect(14).topLeft() + inset), LiveList::FaultColor());
    QCOMPARE(image.pixelColor(live.CellRect(34).topLeft() + inset),
             LiveList::RoleColor(LiveRole::kSlave));
    QCOMPARE(image.pixelColor(live.CellRect(1).topLeft() + inset),
             LiveList::RoleColor(LiveRole::kMaster));
  }

  void clicksTellTheStation() {
    StationClicks clicks(*view_);
    QTreeWidget& list = *view_->FindingsList();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                      list.visualItemRect(list.topLevelItem(0)).center());
    LiveList& live = *view_->LiveListGrid();
    QTest::mouseClick(&live, Qt::LeftButton, {}, live.CellRect(14).center());
    QTest::mouseClick(&live, Qt::LeftButton, {}, live.CellRect(0).center());  // nobody there
    // The run's own findings (corrupt frames) come after the stations'.
    int corrupt = -1;
    for (int i = 0; i < list.topLevelItemCount() && corrupt < 0; ++i) {
      if (list.topLevelItem(i)->text(0).startsWith(QStringLiteral("Corrupt frames: "))) corrupt = i;
    }
    QVERIFY(corrupt > 0);
    list.scrollToItem(list.topLevelItem(corrupt));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                      list.visualItemRect(list.topLevelItem(corrupt)).center());
    view_->Tabs()->setCurrentIndex(0);
    QTableView& table = *view_->StationTable();
    int row = 0;
    while (row < table.model()->rowCount() &&
           table.model()->index(row, 0).data().toString() != QStringLiteral("25")) {
      ++row;
    }
    const QModelIndex cell = table.model()->index(row, 3);
    table.scrollTo(cell);
    QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, table.visualRect(cell).center());
    QCOMPARE(clicks.said,
             QStringList(
                 {"14 kind 0", "14 -",
                  QStringLiteral("run kind %1").arg(static_cast<int>(FindingKind::kCorruptFrames)),
                  "25 -"}));
  }

  // A click on a minute of a chart gives the time of that minute's first record.
  void chartClickGivesTheMinutesTime() {
    std::vector<qint64> times;
    connect(view_.get(), &HealthView::TimeActivated, this,
            [&times](qint64 ns) { times.push_back(ns); });
    const auto& minutes = view_->Figures()->minutes;
    ChartPane* faults = ShowChart(*view_, ChartKind::kFaults);
    QVERIFY(faults != nullptr);
    QTest::mouseClick(faults->viewport(), Qt::LeftButton, {}, MinutePoint(*faults, 1));
    ChartPane* rotation = ShowChart(*view_, ChartKind::kRotation);
    QVERIFY(rotation != nullptr);
    QTest::mouseClick(rotation->viewport(), Qt::LeftButton, {}, MinutePoint(*rotation, 2));
    // Outside the plot area nothing is said.
    QTest::mouseClick(rotation->viewport(), Qt::LeftButton, {}, QPoint(2, 2));
    disconnect(view_.get(), &HealthView::TimeActivated, this, nullptr);
    QCOMPARE(times.size(), std::size_t{2});
    QCOMPARE(times[0], static_cast<qint64>(minutes[1].firstRecordNs.value_or(-1)));
    QCOMPARE(times[1], static_cast<qint64>(minutes[2].firstRecordNs.value_or(-1)));
  }

  void chartsSaveAsPngAndSvg_data() {
    QTest::addColumn<int>("chart");
    QTest::newRow("faults") << static_cast<int>(ChartKind::kFaults);
    QTest::newRow("token rotation") << static_cast<int>(ChartKind::kRotation);
    QTest::newRow("response times") << static_cast<int>(ChartKind::kResponseTimes);
  }
  void chartsSaveAsPngAndSvg() {
    QFETCH(int, chart);
    const auto kind = static_cast<ChartKind>(chart);
    QVERIFY(ShowChart(*view_, kind) != nullptr);
    const QString png = dir_.filePath(QStringLiteral("chart%1.png").arg(chart));
    const QString svg = dir_.filePath(QStringLiteral("chart%1.svg").arg(chart));
    QString error;
    QVERIFY2(view_->ExportChart(kind, png, PictureFormat::kPng, &error), qPrintable(error));
    QVERIFY2(view_->ExportChart(kind, svg, PictureFormat::kSvg, &error), qPrintable(error));

    const QImage image(png);
    QVERIFY(!image.isNull());
    QVERIFY(image.width() > 200 && image.height() > 150);
    // Something is drawn on the white ground.
    int drawn = 0;
    for (int y = 0; y < image.height(); y += 4) {
      for (int x = 0; x < image.width(); x += 4) drawn += image.pixel(x, y) != qRgb(255, 255, 255);
    }
    QVERIFY(drawn > 100);

    QFile file(svg);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QVERIFY(xml.readNextStartElement());
    QCOMPARE(xml.name().toString(), QStringLiteral("svg"));
    while (!xml.atEnd()) xml.readNext();
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QSvgRenderer renderer(svg);
    QVERIFY(renderer.isValid());
    QVERIFY(!renderer.defaultSize().isEmpty());
  }

  // No picture overwrites a file of the run.
  void chartNeverOverwritesTheRun() {
    const QByteArray before = QByteArray::fromStdString(ReadFile(faultRun_));
    QString error;
    QVERIFY(!view_->ExportChart(ChartKind::kFaults, Q(faultRun_), PictureFormat::kPng, &error));
    QCOMPARE(error, Q("The output file would overwrite the input file " + faultRun_));
    QCOMPARE(QByteArray::fromStdString(ReadFile(faultRun_)), before);
  }

  // Every cell of the station table, as shown and in the order shown, is the figure of fdcstat's
  // JSON of the same run.
  void stationTableShowsFdcstatsFigures() {
    const std::string fdcstat = fdc::ui::test::FdcstatReport(
        faultRun_, 3, "json", dir_.filePath("stat.json").toStdString());
    QVERIFY(!fdcstat.empty());
    const nlohmann::json json = nlohmann::json::parse(fdcstat);
    std::ostringstream viewJson;
    WriteBusJson(*view_->Figures(), viewJson);
    QVERIFY(nlohmann::json::parse(viewJson.str()) == json);

    view_->Tabs()->setCurrentIndex(0);
    QTableView& table = *view_->StationTable();
    table.sortByColumn(12, Qt::DescendingOrder);  // by no_response, as a user clicks it
    const QAbstractItemModel& shown = *table.model();
    QCOMPARE(shown.index(0, 0).data().toString(), QStringLiteral("14"));
    QCOMPARE(shown.rowCount(), static_cast<int>(json["stations"].size()));
    QCOMPARE(shown.columnCount(), kDeviceColumn + 1);
    QVERIFY(table.isColumnHidden(kDeviceColumn));  // a run read without GSD folders
    for (int row = 0; row < shown.rowCount(); ++row) {
      const unsigned address = shown.index(row, 0).data(StationTableModel::kFigureRole).toUInt();
      const nlohmann::json* station = nullptr;
      for (const nlohmann::json& s : json["stations"]) {
        if (s["address"] == address) station = &s;
      }
      QVERIFY(station != nullptr);
      for (int column = 0; column < kDeviceColumn; ++column) {
        const StationColumn& c = kStationColumns[static_cast<std::size_t>(column)];
        const FigureValue expected = FigureOfJson(JsonAt(*station, c.path), c.format);
        QCOMPARE(shown.index(row, column).data().toString(), Q(FigureText(expected, c.format)));
        QCOMPARE(
            shown.headerData(column, Qt::Horizontal, Qt::ToolTipRole).toString().section(',', 0, 0),
            Q(std::string(c.path)));
      }
    }
    table.sortByColumn(0, Qt::AscendingOrder);
  }

  // The table shows the station, its faults, then its times, the station frozen at the left
  // however far the table scrolls; the model and the CSV keep the JSON's order.
  void stationTableOrderAndFrozenColumns() {
    view_->Tabs()->setCurrentIndex(0);
    auto* table = qobject_cast<StationTableView*>(view_->StationTable());
    QVERIFY(table != nullptr);
    QTableView& frozen = *table->FrozenView();
    const QHeaderView& header = *table->horizontalHeader();
    const QAbstractItemModel& shown = *table->model();
    const std::vector<int>& order = StationViewOrder();
    QCOMPARE(header.count(), static_cast<int>(order.size()));
    QStringList headings;
    for (int visual = 0; visual < header.count(); ++visual) {
      const int column = header.logicalIndex(visual);
      QCOMPARE(column, order[static_cast<std::size_t>(visual)]);
      if (visual < 4) headings << shown.headerData(column, Qt::Horizontal).toString();
      QVERIFY(!shown.headerData(column, Qt::Horizontal, Qt::ToolTipRole).toString().isEmpty());
    }
    QCOMPARE(headings, QStringList({"Addr", "Role", "No resp", "No reply"}));

    // Scrolled to the far right, the address and the role still stand at the left, over the
    // table's own, in the table's rows.
    QVERIFY(fdc::ui::test::WaitUntilLaidOut([table] { return table->isVisible(); }));
    QScrollBar& across = *table->horizontalScrollBar();
    across.setValue(across.maximum());
    table->verticalScrollBar()->setValue(table->verticalScrollBar()->maximum());
    QVERIFY(across.value() > table->FrozenWidth());
    QVERIFY(table->columnViewportPosition(0) < 0);
    QVERIFY(frozen.isVisible());
    QCOMPARE(table->FrozenWidth(), table->columnWidth(0) + table->columnWidth(1));
    QCOMPARE(frozen.geometry(),
             QRect(table->viewport()->x(), table->horizontalHeader()->y(), table->FrozenWidth(),
                   table->viewport()->height() + header.height()));
    QCOMPARE(frozen.columnViewportPosition(0), 0);
    QCOMPARE(frozen.columnViewportPosition(1), table->columnWidth(0));
    for (int column = 2; column < shown.columnCount(); ++column) {
      QVERIFY(frozen.isColumnHidden(column));
    }
    const QPoint inside = table->viewport()->geometry().topLeft() + QPoint(2, 2);
    QVERIFY(frozen.isAncestorOf(table->childAt(inside)));
    QCOMPARE(frozen.verticalScrollBar()->value(), table->verticalScrollBar()->value());
    QCOMPARE(frozen.rowAt(2), table->rowAt(2));

    // A column scrolled to comes out from under the frozen ones; a frozen one moves only rows.
    table->scrollTo(shown.index(0, 12));  // no_response
    QCOMPARE(table->columnViewportPosition(12), table->FrozenWidth());
    const int left = across.value();
    table->scrollTo(shown.index(shown.rowCount() - 1, 0));
    QCOMPARE(across.value(), left);

    // A click on the frozen view sorts and selects as on the table.
    QHeaderView& frozenHeader = *frozen.horizontalHeader();
    QTest::mouseClick(
        frozenHeader.viewport(), Qt::LeftButton, {},
        QPoint(frozenHeader.sectionViewportPosition(1) + frozenHeader.sectionSize(1) / 2,
               frozenHeader.height() / 2));
    QCOMPARE(header.sortIndicatorSection(), 1);
    StationClicks clicks(*view_);
    const QModelIndex first = shown.index(0, 0);
    frozen.scrollTo(first);
    QTest::mouseClick(frozen.viewport(), Qt::LeftButton, {}, frozen.visualRect(first).center());
    QCOMPARE(clicks.said, QStringList({first.data().toString() + QStringLiteral(" -")}));
    QVERIFY(table->selectionModel()->isRowSelected(0, QModelIndex()));
    table->sortByColumn(0, Qt::AscendingOrder);
    QCOMPARE(frozenHeader.sortIndicatorSection(), 0);
    across.setValue(0);

    // The exports read the model, not the view: the CSV's columns are the JSON's.
    const QString csvPath = dir_.filePath(QStringLiteral("order.csv"));
    QVERIFY(view_->ExportFigures(csvPath, FiguresFormat::kCsv));
    QStringList paths;
    for (const StationColumn& c : kStationColumns) {
      paths << Q(std::string(c.path)).replace('.', '_');
    }
    QVERIFY(Q(ReadFile(csvPath.toStdString())).startsWith(paths.join(',') + QStringLiteral(",")));
  }

  void figuresExportAsJsonAndCsv() {
    std::ostringstream json;
    WriteBusJson(*view_->Figures(), json);
    std::ostringstream csv;
    WriteBusCsv(*view_->Figures(), csv);
    const QString jsonPath = dir_.filePath(QStringLiteral("out.json"));
    const QString csvPath = dir_.filePath(QStringLiteral("out.csv"));
    QVERIFY(view_->ExportFigures(jsonPath, FiguresFormat::kJson));
    QVERIFY(view_->ExportFigures(csvPath, FiguresFormat::kCsv));
    QCOMPARE(Q(ReadFile(jsonPath.toStdString())), Q(json.str()));
    QCOMPARE(Q(ReadFile(csvPath.toStdString())), Q(csv.str()));
    QString error;
    QVERIFY(!view_->ExportFigures(Q(faultRun_), FiguresFormat::kJson, &error));
    QCOMPARE(error, Q("The output file would overwrite the input file " + faultRun_));
  }

  // Progress shows while a long run is read; Stop ends it with the figures of what was read.
  void progressAndStop() {
    QTemporaryDir dir;
    const QString first = fdc::ui::test::WriteLongRun(dir.path());
    QVERIFY(!first.isEmpty());
    HealthView view;
    view.resize(700, 800);
    view.show();
    int progress = 0;
    connect(&view, &HealthView::ProgressChanged, this, [&progress] { ++progress; });
    QSignalSpy finished(&view, &HealthView::ComputationFinished);
    QVERIFY(!view.StopButton()->isEnabled());
    view.Compute(RequestFor(first.toStdString(), 1439));
    QVERIFY(view.Computing());
    QVERIFY(QTest::qWaitFor([&] { return progress > 0; }, 60000));
    QVERIFY(view.ProgressBar()->isVisible());
    QVERIFY(view.StatusText().startsWith(QStringLiteral("File ")));
    QVERIFY(view.StopButton()->isEnabled());
    QVERIFY(!view.ComputeButton()->isEnabled());
    QTest::mouseClick(view.StopButton(), Qt::LeftButton);
    QVERIFY(finished.wait(60000));
    QVERIFY(!view.Computing());
    QVERIFY(!view.ProgressBar()->isVisible());
    QVERIFY(view.Figures() != nullptr);
    QVERIFY(view.Figures()->run.records > 0);
    QVERIFY(view.StatusText().endsWith(
        QStringLiteral("Stopped: the figures cover the records read before it")));
    QVERIFY(!view.StopButton()->isEnabled());
    QVERIFY(view.ComputeButton()->isEnabled());
  }

  // A new run while one is read: the old one stops, only the new one's figures are shown.
  void newRunReplacesTheOneComputing() {
    QTemporaryDir dir;
    const QString first = fdc::ui::test::WriteLongRun(dir.path());
    QVERIFY(!first.isEmpty());
    HealthView view;
    QVERIFY(ComputeAndWait(view, RequestFor(faultRun_, 3)));
    QSignalSpy started(&view, &HealthView::ComputationStarted);
    QSignalSpy finished(&view, &HealthView::ComputationFinished);
    view.Compute(RequestFor(first.toStdString(), 1439));
    // The figures of the run before go at once.
    QVERIFY(view.Figures() == nullptr);
    QCOMPARE(view.FindingsList()->topLevelItemCount(), 0);
    view.Compute(RequestFor(faultRun_, 1));
    QVERIFY(finished.wait(60000));
    // The stopped computation says nothing, also a little later: a time, as no event tells it.
    QTest::qWait(50);
    QCOMPARE(started.count(), 2);
    QCOMPARE(finished.count(), 1);
    QVERIFY(view.Figures() != nullptr);
    QCOMPARE(view.Figures()->run.files, std::uint64_t{1});
    QCOMPARE(view.Figures()->run.records, std::uint64_t{1000});
  }

  void settingsApplyOnCompute() {
    HealthView view;
    view.show();
    QVERIFY(!view.ComputeButton()->isEnabled());  // no run yet
    QVERIFY(ComputeAndWait(view, RequestFor(faultRun_, 1)));
    QCOMPARE(view.Figures()->tslBits, 300u);
    QVERIFY(!view.Figures()->ttrBits);
    view.SlotTimeField()->setValue(123);
    view.TtrField()->setValue(5000);
    QCOMPARE(view.Settings(), (HealthSettings{123, 5000}));
    QSignalSpy finished(&view, &HealthView::ComputationFinished);
    QTest::mouseClick(view.ComputeButton(), Qt::LeftButton);
    // The same run's figures stay until the new ones come.
    QVERIFY(view.Figures() != nullptr);
    QVERIFY(finished.wait(60000));
    QCOMPARE(view.Figures()->tslBits, 123u);
    QCOMPARE(view.Figures()->ttrBits.value_or(0), 5000u);
    view.SetSettings({});
    QCOMPARE(view.SlotTimeField()->text(), QStringLiteral("by baud rate"));
    QCOMPARE(view.TtrField()->text(), QStringLiteral("none"));
  }

  void runThatCannotStart() {
    HealthView view;
    const std::string missing = dir_.filePath("gone/Line11200.FdcCapt").toStdString();
    QVERIFY(ComputeAndWait(view, RequestFor(missing, 1)));
    QVERIFY(view.Figures() == nullptr);
    QCOMPARE(view.FindingsList()->topLevelItemCount(), 0);
    QVERIFY(view.StatusText().startsWith(QStringLiteral("No figures: ")));
    QVERIFY(view.StatusText().contains(Q(missing)));
    QString error;
    QVERIFY(!view.ExportFigures(dir_.filePath("x.json"), FiguresFormat::kJson, &error));
    QCOMPARE(error, QStringLiteral("There are no figures to export yet."));
    view.Clear();
    QCOMPARE(view.StatusText(), QStringLiteral("No run open."));
  }

  // A day's run: one bar a minute file, the time axis labelled every four hours so that its
  // labels stay apart, and a click still finds its minute.
  void longestRunCharts() {
    QTemporaryDir dir;
    fdc::gen::RunPlan plan;
    plan.base = (dir.path() + QStringLiteral("/Day")).toStdString();
    plan.minutes = 1439;
    plan.recordsPerMinute = 40;
    const fdc::gen::RunOutcome run = fdc::gen::GenerateRun(plan);
    QVERIFY(run.ok());
    HealthView view;
    view.resize(900, 1000);
    view.show();
    QElapsedTimer timer;
    timer.start();
    QVERIFY(ComputeAndWait(view, RequestFor(run.summary.paths.front(), 1439)));
    qInfo("1439 minute files computed and drawn in %lld ms",
          static_cast<long long>(timer.elapsed()));
    QCOMPARE(view.Figures()->minutes.size(), std::size_t{1439});
    ChartPane* faults = ShowChart(view, ChartKind::kFaults);
    QVERIFY(faults != nullptr);
    auto* axis = qobject_cast<QCategoryAxis*>(faults->chart()->axes(Qt::Horizontal).first());
    QVERIFY(axis != nullptr);
    QCOMPARE(axis->categoriesLabels(),
             QStringList({"12:00", "16:00", "20:00", "00:00", "04:00", "08:00"}));
    std::vector<qint64> times;
    connect(&view, &HealthView::TimeActivated, this, [&times](qint64 ns) { times.push_back(ns); });
    QTest::mouseClick(faults->viewport(), Qt::LeftButton, {}, MinutePoint(*faults, 720));
    QCOMPARE(times.size(), std::size_t{1});
    // Each bar is under a pixel wide: the click lands within a few minutes of the one aimed at.
    const auto& minutes = view.Figures()->minutes;
    QVERIFY(times[0] >= minutes[715].firstRecordNs.value_or(0));
    QVERIFY(times[0] <= minutes[725].firstRecordNs.value_or(0));
  }

  // Files of their header alone: no record, and the findings say why rather than that the bus
  // looked healthy.
  void runOfNoRecordSaysWhy() {
    QTemporaryDir dir;
    const QByteArray header(40, '\0');
    for (const char* name : {"/Empty1200.FdcCapt", "/Empty1201.FdcCapt"}) {
      QFile file(dir.path() + QString::fromLatin1(name));
      QVERIFY(file.open(QIODevice::WriteOnly));
      QCOMPARE(file.write(header), qint64{40});
    }
    HealthView view;
    QVERIFY(ComputeAndWait(view, RequestFor((dir.path() + "/Empty1200.FdcCapt").toStdString(), 2)));
    QCOMPARE(
        ItemTexts(*view.FindingsList()),
        QStringList{QStringLiteral("No records could be read: every file holds only its header")});
    QVERIFY(view.StatusText().contains(QStringLiteral("no records could be read")));
  }

  // A quiet bus says so in the findings, and clicking that line says nothing.
  void healthyBus() {
    QTemporaryDir dir;
    const std::string run = WriteFaultRun(dir.path(), "none", 1);
    QVERIFY(!run.empty());
    HealthView view;
    StationClicks clicks(view);
    view.resize(700, 800);
    view.show();
    QVERIFY(ComputeAndWait(view, RequestFor(run, 1)));
    QCOMPARE(ItemTexts(*view.FindingsList()), QStringList{Q(std::string(kHealthyBusLine))});
    QTreeWidget& list = *view.FindingsList();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                      list.visualItemRect(list.topLevelItem(0)).center());
    QVERIFY(clicks.said.isEmpty());
    for (int address = 0; address < 128; ++address) {
      QVERIFY(!view.LiveListGrid()->Cell(address).faulty);
    }
  }

  // With GSD folders the slaves of the test GSD files are named: the station table's device
  // column, the live list's tooltip and the DP slaves table; the folders gone, so are the names.
  void gsdNamesTheSlaves() {
    const std::string run = WriteFaultRun(dir_.path(), "none", 1, 10, 0, true);
    QVERIFY(!run.empty());
    HealthView view;
    view.resize(900, 1000);
    view.show();
    const std::shared_ptr<const dp::GsdLibrary> gsd =
        LoadGsdLibrary({fdc::ui::test::GsdTestFolder()});
    view.SetGsdLibrary(gsd);
    QVERIFY(ComputeAndWait(view, RequestFor(run, 1)));
    QCOMPARE(view.FiguresGsd(), gsd);
    int address = -1;
    for (std::size_t a = 0; a < 128 && address < 0; ++a) {
      const auto& slave = view.Figures()->dp.slaves[a];
      if (slave && slave->gsd && slave->gsd->file == "TEST7F01.GSD") address = static_cast<int>(a);
    }
    QVERIFY(address >= 0);
    const QString name = QStringLiteral("Test Devices Ltd TD-8DI 1.2 (TEST7F01.GSD)");
    QTableView& table = *view.StationTable();
    QVERIFY(!table.isColumnHidden(kDeviceColumn));
    const QAbstractItemModel& stations = *table.model();
    int row = 0;
    while (row < stations.rowCount() && stations.index(row, 0).data().toInt() != address) ++row;
    QCOMPARE(stations.index(row, kDeviceColumn).data().toString(), name);
    QVERIFY(stations.index(row, kDeviceColumn)
                .data(Qt::ToolTipRole)
                .toString()
                .contains(QStringLiteral("\nModules: 1 '8 DI'")));
    QVERIFY(Q(view.LiveListGrid()->Cell(address).toolTip).contains("\nDevice: " + name + "\n"));
    QTableView& slaves = *view.DpArea()->SlaveTable();
    QVERIFY(!slaves.isColumnHidden(kSlaveDevice));
    QVERIFY(slaves.model()
                ->match(slaves.model()->index(0, kSlaveDevice), Qt::DisplayRole, name)
                .size() == 1);

    view.SetGsdLibrary(nullptr);
    QSignalSpy finished(&view, &HealthView::ComputationFinished);
    QVERIFY(finished.wait(120000));
    QVERIFY(view.FiguresGsd() == nullptr);
    QVERIFY(table.isColumnHidden(kDeviceColumn));
    QVERIFY(slaves.isColumnHidden(kSlaveDevice));
    QVERIFY(!Q(view.LiveListGrid()->Cell(address).toolTip).contains(QStringLiteral("Device:")));
  }

  // The DP tab on a run with DP faults: the same figures and events as fdcstat's JSON, the
  // timeline's segments and markers leading to their records, zoom and reset, the log's filters,
  // its exports and click-through, and a DP finding's first record.
  void dpTab() {
    const std::string run = WriteFaultRun(dir_.path(), kDpFaults, 1, 9, 0);
    QVERIFY(!run.empty());
    HealthView view;
    view.resize(900, 1000);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QVERIFY(ComputeAndWait(view, RequestFor(run, 1)));
    const nlohmann::json json = nlohmann::json::parse(
        fdc::ui::test::FdcstatReport(run, 1, "json", dir_.filePath("dp.json").toStdString()));
    std::ostringstream viewJson;
    WriteBusJson(*view.Figures(), viewJson);
    QVERIFY(nlohmann::json::parse(viewJson.str()) == json);

    DpTab& tab = *view.DpArea();
    view.Tabs()->setCurrentWidget(&tab);
    QVERIFY(fdc::ui::test::WaitUntilLaidOut([&tab] { return tab.Timeline()->width() > 200; }));
    // The slaves table and the log hold fdcstat's slaves and events.
    int dpSlaves = 0;
    for (const nlohmann::json& station : json["stations"])
      dpSlaves += station["dp"].is_null() ? 0 : 1;
    QCOMPARE(tab.SlaveTable()->model()->rowCount(), dpSlaves);
    const QAbstractItemModel& slaves = *tab.SlaveTable()->model();
    int row = 0;
    for (const nlohmann::json& station : json["stations"]) {
      if (station["dp"].is_null()) continue;
      const nlohmann::json& dp = station["dp"];
      const auto cell = [&slaves, row](int column) { return slaves.index(row, column).data(); };
      QCOMPARE(cell(0).toUInt(), station["address"].get<unsigned>());
      QCOMPARE(cell(2).toString(), Q(dp["state"].get<std::string>()));
      QCOMPARE(cell(3).toULongLong(), dp["entries"].get<unsigned long long>());
      QCOMPARE(cell(4).toULongLong(), dp["drops"].get<unsigned long long>());
      QCOMPARE(cell(6).toString(), dp["watchdog_ms"].is_null()
                                       ? QStringLiteral("-")
                                       : QString::number(dp["watchdog_ms"].get<unsigned>()));
      ++row;
    }
    const QAbstractItemModel& log = *tab.EventTable()->model();
    QCOMPARE(log.rowCount(), static_cast<int>(json["events"].size()));
    for (int r = 0; r < log.rowCount(); ++r) {
      const nlohmann::json& e = json["events"][static_cast<std::size_t>(r)];
      QCOMPARE(log.index(r, kEventRef).data().toUInt(), e["ref"].get<unsigned>());
      QCOMPARE(log.index(r, kEventKind).data().toString(), Q(e["kind"].get<std::string>()));
    }

    // A segment and a marker lead to their records.
    DpTimelineView& timeline = *tab.Timeline();
    QSignalSpy records(&view, &HealthView::RecordActivated);
    const DpEvent* drop = nullptr;
    const DpEvent* diag = nullptr;
    for (const DpEvent& e : view.Figures()->dp.events) {
      if (drop == nullptr && e.kind == DpEventKind::kState && e.station == 26 &&
          e.to == DpState::kNoResponse) {
        drop = &e;
      }
      if (diag == nullptr && e.kind == DpEventKind::kSlaveDiag && e.station == 34 && e.ref > 100) {
        diag = &e;
      }
    }
    QVERIFY(drop != nullptr && diag != nullptr && drop->timeNs && diag->timeNs);
    const auto bandOf = [&view](std::uint8_t address) {
      int band = 0;
      for (std::size_t a = 0; a < address; ++a) band += view.Figures()->dp.slaves[a] ? 1 : 0;
      return band;
    };
    const auto dropAt = static_cast<double>(*drop->timeNs);
    timeline.SetRange(dropAt - 1e6, dropAt + 50e6);
    QTest::mouseClick(&timeline, Qt::LeftButton, {}, timeline.PointOf(bandOf(26), dropAt + 2e6));
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.back().front().toUInt(), drop->ref);
    const auto diagAt = static_cast<double>(*diag->timeNs);
    timeline.SetRange(diagAt - 50e6, diagAt + 50e6);
    QTest::mouseClick(&timeline, Qt::LeftButton, {}, timeline.PointOf(bandOf(34), diagAt));
    QCOMPARE(records.back().front().toUInt(), diag->ref);

    // The wheel zooms in around the cursor, a dragged band zooms to it, reset shows the run.
    timeline.ResetZoom();
    const double start = timeline.RangeStart();
    const double whole = timeline.RangeEnd() - start;
    const QPoint middle = timeline.PointOf(0, start + whole / 2);
    QWheelEvent wheel(middle, timeline.mapToGlobal(middle), {}, QPoint(0, 240), Qt::NoButton, {},
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&timeline, &wheel);
    QVERIFY(timeline.RangeEnd() - timeline.RangeStart() < whole * 0.7);
    timeline.ResetZoom();
    const QPoint from = timeline.PointOf(0, start + whole / 4);
    const QPoint to = timeline.PointOf(0, start + whole / 2);
    QTest::mousePress(&timeline, Qt::LeftButton, {}, from);
    QMouseEvent drag(QEvent::MouseMove, to, timeline.mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     {});
    QApplication::sendEvent(&timeline, &drag);
    QTest::mouseRelease(&timeline, Qt::LeftButton, {}, to);
    QVERIFY(std::abs(timeline.RangeEnd() - timeline.RangeStart() - whole / 4) < whole / 50);
    QCOMPARE(records.size(), 2);  // a drag is no click
    tab.ResetButton()->click();
    QCOMPARE(timeline.RangeEnd() - timeline.RangeStart(), whole);
    timeline.repaint();
    QVERIFY(timeline.SpansPainted() >= dpSlaves);
    QVERIFY(timeline.SpansPainted() <= dpSlaves * timeline.width());

    // The log's filters, its exports (the events shown, as fdcstat writes them) and a click.
    tab.KindFilter()->setCurrentIndex(tab.KindFilter()->findText(QStringLiteral("slave_diag")));
    tab.StationFilter()->setCurrentIndex(tab.StationFilter()->findData(34));
    QVERIFY(log.rowCount() > 0);
    std::string expected;
    std::istringstream lines(
        fdc::ui::test::FdcstatReport(run, 1, "events", dir_.filePath("dp.txt").toStdString()));
    for (std::string line; std::getline(lines, line);) {
      if (line.find("slave 34 ") != std::string::npos &&
          line.find("Slave_Diag") != std::string::npos) {
        expected += line + "\n";
      }
    }
    const QString textPath = dir_.filePath(QStringLiteral("events.txt"));
    QVERIFY(view.ExportDpEvents(textPath, false));
    QCOMPARE(ReadFile(textPath.toStdString()), expected);
    const QString csvPath = dir_.filePath(QStringLiteral("events.csv"));
    QVERIFY(view.ExportDpEvents(csvPath, true));
    const QStringList csv = Q(ReadFile(csvPath.toStdString())).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(csv.front(), QStringLiteral("time,ref,station,master,kind,event"));
    QCOMPARE(csv.size(), log.rowCount() + 1);
    QVERIFY(!view.ExportDpEvents(QString::fromStdString(run), true));
    emit tab.EventTable()->clicked(log.index(0, 0));
    QCOMPARE(records.back().front().toUInt(), log.index(0, kEventRef).data().toUInt());
    tab.KindFilter()->setCurrentIndex(0);
    tab.StationFilter()->setCurrentIndex(0);
    QCOMPARE(log.rowCount(), static_cast<int>(json["events"].size()));
    // Each column sorts as its cells read: addresses by value ("-" first), texts as strings.
    const auto address = [](const QString& cell) { return cell == "-" ? -1 : cell.toInt(); };
    for (const int column : {kEventStation, kEventMaster, kEventKind, kEventText}) {
      tab.EventTable()->sortByColumn(column, Qt::AscendingOrder);
      for (int r = 1; r < log.rowCount(); ++r) {
        const QString before = log.index(r - 1, column).data().toString();
        const QString cell = log.index(r, column).data().toString();
        QVERIFY2(column <= kEventMaster ? address(before) <= address(cell) : !(cell < before),
                 qPrintable(QStringLiteral("column %1, row %2: %3 after %4")
                                .arg(column).arg(r).arg(cell, before)));
      }
    }
    tab.EventTable()->sortByColumn(kEventRef, Qt::AscendingOrder);
    QCOMPARE(log.index(0, kEventRef).data().toUInt(), json["events"][0]["ref"].get<unsigned>());

    // A DP finding: the records of its events.
    StationClicks clicks(view);
    QTreeWidgetItem* dropped = nullptr;
    for (int i = 0; i < view.FindingsList()->topLevelItemCount(); ++i) {
      QTreeWidgetItem* item = view.FindingsList()->topLevelItem(i);
      if (item->text(0).startsWith(QStringLiteral("Slave 26 dropped"))) dropped = item;
    }
    QVERIFY(dropped != nullptr);
    emit view.FindingsList()->itemClicked(dropped, 0);
    QCOMPARE(
        clicks.said,
        QStringList{QStringLiteral("26 kind %1").arg(static_cast<int>(FindingKind::kDpDropped))});
    QVERIFY(!clicks.dpRefs.empty());
    QCOMPARE(clicks.dpRefs.front(), drop->ref);
  }
};

namespace {

// The documentation's pictures: the view on a five-minute run whose slave 50 never answers, and
// its DP tab on a run with DP faults.
int MakeScreenshot(const QString& folder) {
  QDir().mkpath(folder);
  QTemporaryDir dir;
  const std::string run = WriteFaultRun(dir.path(), "missing@50,late@25,corrupt@15", 5, 14, 30);
  if (run.empty()) return 1;
  HealthView view;
  view.resize(860, 1000);
  view.show();
  if (!QTest::qWaitForWindowExposed(&view)) return 1;
  if (!ComputeAndWait(view, RequestFor(run, 5))) return 1;
  if (ShowChart(view, ChartKind::kFaults) == nullptr) return 1;
  if (!view.grab().save(folder + QStringLiteral("/health_view.png"))) return 1;

  // The DP tab of a run with DP faults, its log showing the dropped slave's events.
  const std::string dpRun = WriteFaultRun(dir.path(), kDpFaults, 1, 9, 0);
  if (dpRun.empty() || !ComputeAndWait(view, RequestFor(dpRun, 1))) return 1;
  view.Tabs()->setCurrentWidget(view.DpArea());
  view.DpArea()->StationFilter()->setCurrentIndex(view.DpArea()->StationFilter()->findData(26));
  fdc::ui::test::WaitUntilLaidOut([] { return true; });
  return view.grab().save(folder + QStringLiteral("/dp_tab.png")) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  fdc::ui::test::WidgetTestArguments a = fdc::ui::test::PrepareWidgetTest(argc, argv);
  QApplication app(a.count, a.args.data());
  if (!a.screenshotFolder.isEmpty()) return MakeScreenshot(a.screenshotFolder);
  HealthWidgetTest test;
  return QTest::qExec(&test, a.count, a.args.data());
}

#include "health_widget_test.moc"
