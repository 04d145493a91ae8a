// The health view's logic without a display: the chart series and the time axis, the live list's
// cells and tooltips, the station table's columns, texts and model against fdcstat's JSON, the
// columns' order in the view and their headers' tooltips, the computation on its thread with
// progress and Stop, its status line, and the figures' export.
#include <QCoreApplication>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <sstream>

#include "capture/capture_file_set.h"
#include "report/bus_report.h"
#include "tests/ui/health_test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/health/dp_tables.h"
#include "ui/health/dp_timeline.h"
#include "ui/health/health_computation.h"
#include "ui/health/health_series.h"
#include "ui/health/station_table_model.h"

using namespace fdc;
using namespace fdc::ui;
using fdc::ui::test::FigureOfJson;
using fdc::ui::test::JsonAt;
using fdc::ui::test::ReadFile;
using fdc::ui::test::RequestFor;
using fdc::ui::test::WriteFaultRun;

Q_DECLARE_METATYPE(std::vector<std::uint64_t>)

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QString PointsText(const std::vector<ChartPoint>& points) {
  QStringList parts;
  for (const ChartPoint& p : points) parts << QStringLiteral("%1,%2").arg(p.x).arg(p.y);
  return parts.join(' ');
}

SeriesFigures Series(std::uint64_t count, std::int64_t min, std::int64_t max, std::int64_t mean) {
  SeriesFigures s;
  s.count = count;
  s.min = min;
  s.max = max;
  s.mean = mean;
  return s;
}

// A slave that lost 12 requests, a master, a healthy slave and one never heard, at 1M5.
BusFigures SmallBus() {
  BusFigures f;
  f.baudCode = 4;
  f.rateKnown = true;
  f.tslBits = 300;
  StationFigures master;
  master.address = 1;
  master.master = true;
  master.framesSent = 602;
  master.requestsSent = 400;
  master.tokensSent = 202;
  master.tokensReceived = 202;
  master.earlyResponses = 0;
  master.tokenRotationNs = Series(201, 1'500'000'000, 1'600'000'000, 1'536'687'000);
  master.tsynViolations = 0;
  StationFigures lossy;
  lossy.address = 14;
  lossy.stationType = 0;
  lossy.framesSent = 119;
  lossy.responsesSent = 119;
  lossy.requestsReceived = 131;
  lossy.answered = 119;
  lossy.noResponse = 12;
  lossy.noResponseRunMax = 12;
  lossy.repeats = 8;
  lossy.repeatChainMax = 2;
  lossy.earlyResponses = 0;
  lossy.responseTimeBits = Series(119, 26, 29, 27);
  lossy.cycleNs = Series(118, 1'500'000'000, 1'600'000'000, 1'563'436'000);
  StationFigures healthy = lossy;
  healthy.address = 15;
  healthy.noResponse = 0;
  healthy.noResponseRunMax = 0;
  healthy.repeats = 0;
  healthy.repeatChainMax = 0;
  StationFigures silent;
  silent.address = 50;
  silent.requestsReceived = 526;
  silent.noResponse = 526;
  silent.noResponseRunMax = 444;
  silent.repeats = 350;
  silent.repeatChainMax = 2;
  f.stations = {master, lossy, healthy, silent};
  f.run.silentStations = {50};
  return f;
}

BusFinding Finding(FindingKind kind, std::optional<std::uint8_t> station, std::string text) {
  BusFinding f;
  f.kind = kind;
  f.station = station;
  f.count = 1;
  f.text = std::move(text);
  return f;
}

// Waits for a computation to return and collects it.
std::optional<HealthOutcome> Finish(HealthComputation& computation, QSignalSpy& done) {
  if (done.isEmpty() && !done.wait(120000)) return std::nullopt;
  return computation.Collect();
}

}  // namespace

class HealthLogicTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  std::string faultRun_;  // three minutes with an outage of station 14 and other faults

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    faultRun_ = WriteFaultRun(dir_.path(), "outage@14,late@25,corrupt@15,rs@26");
    QVERIFY(!faultRun_.empty());
  }

  // --- Chart series --------------------------------------------------------------------------

  void faultsPerMinute() {
    BusFigures f;
    f.minutes.resize(3);
    f.minutes[0].file = "/cap/Line11259.FdcCapt";
    f.minutes[0].firstRecordNs = 43'140'000'000'000;
    f.minutes[0].noResponse = 6;
    f.minutes[0].noReply = 1;
    f.minutes[0].late = 2;
    f.minutes[0].corruptReply = 3;
    f.minutes[0].corruptOther = 6;
    f.minutes[0].syncLosses = 4;
    f.minutes[0].repeats = 5;
    f.minutes[1].file = "/cap/Line11300.FdcCapt";
    f.minutes[2].file = "odd";
    f.minutes[2].firstRecordNs = 43'260'500'000'000;
    const std::vector<FaultMinute> expected = {
        {"12:59", 43'140'000'000'000, 1, 2, 3, 6, 4, 5},
        {"13:00", std::nullopt, 0, 0, 0, 0, 0, 0},
        {"#3", 43'260'500'000'000, 0, 0, 0, 0, 0, 0},
    };
    QVERIFY(FaultsPerMinute(f) == expected);
    // Each fault once: repeats are drawn apart.
    QCOMPARE(expected[0].Total(), std::uint64_t{16});
  }

  void minuteLabel_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("label");
    QTest::newRow("run file") << "/tmp/run/Line11430.FdcCapt" << 0 << "14:30";
    QTest::newRow("other letter case") << "C:\\cap\\x2359.fdccapt" << 4 << "23:59";
    QTest::newRow("hour past 23") << "Line19900.FdcCapt" << 2 << "99:00";
    QTest::newRow("letters for digits") << "Line1ab00.FdcCapt" << 0 << "#1";
    QTest::newRow("too short") << "a.FdcCapt" << 2 << "#3";
    QTest::newRow("empty") << "" << 9 << "#10";
  }
  void minuteLabel() {
    QFETCH(QString, file);
    QFETCH(int, index);
    QTEST(Q(MinuteLabel(file.toStdString(), static_cast<std::size_t>(index))), "label");
  }

  void minuteLabelStep_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("maxLabels");
    QTest::addColumn<int>("step");
    QTest::newRow("one minute") << 1 << 8 << 1;
    QTest::newRow("as many as labels") << 8 << 8 << 1;
    QTest::newRow("one more") << 9 << 8 << 2;
    QTest::newRow("sixteen") << 16 << 8 << 2;
    QTest::newRow("seventeen") << 17 << 8 << 5;
    QTest::newRow("an hour") << 60 << 8 << 10;
    QTest::newRow("the longest run") << 1439 << 8 << 240;
    QTest::newRow("longest with three") << 1439 << 3 << 480;
    QTest::newRow("more than the steps cover") << 100000 << 1 << 480;
    QTest::newRow("no labels asked") << 5 << 0 << 5;
  }
  void minuteLabelStep() {
    QFETCH(int, count);
    QFETCH(int, maxLabels);
    QTEST(static_cast<int>(MinuteLabelStep(static_cast<std::size_t>(count),
                                           static_cast<std::size_t>(maxLabels))),
          "step");
  }

  void rotationPerMinuteOfMastersOnly() {
    BusFigures f = SmallBus();
    StationFigures second;
    second.address = 2;
    second.master = true;
    f.stations.push_back(second);
    StationSeries m2;
    m2.address = 2;
    m2.rotationByMinute = {{0, Series(3, 100, 300, 200)}, {2, Series(1, 50, 50, 50)}};
    StationSeries m1;
    m1.address = 1;
    // A minute without a rotation draws nothing.
    m1.rotationByMinute = {{1, Series(0, 0, 0, 0)}, {1, Series(2, 7, 9, 8)}};
    StationSeries slave;  // the figures give no rotation to a slave, and neither does the chart
    slave.address = 14;
    slave.rotationByMinute = {{0, Series(1, 5, 5, 5)}};
    StationSeries unknown;  // a station the figures do not list
    unknown.address = 99;
    unknown.rotationByMinute = {{0, Series(1, 5, 5, 5)}};
    f.series = {m2, slave, m1, unknown};
    const std::vector<MasterRotation> expected = {
        {1, {{1, 2, 7, 8, 9}}},
        {2, {{0, 3, 100, 200, 300}, {2, 1, 50, 50, 50}}},
    };
    QVERIFY(RotationPerMinute(f) == expected);
  }

  void responseHistograms() {
    BusFigures f;
    f.rateKnown = true;
    f.tslBits = 4;
    StationSeries b;
    b.address = 9;
    b.responseHistogram = {0, 2, 3, 1, 4};
    StationSeries a;
    a.address = 3;
    a.responseHistogram = {5, 0, 0, 0, 0};
    StationSeries wrong;  // bins that do not fit the slot time are not drawn
    wrong.address = 4;
    wrong.responseHistogram = {1, 2};
    StationSeries rotationOnly;
    rotationOnly.address = 1;
    f.series = {b, wrong, a, rotationOnly};
    const std::vector<ResponseHistogram> expected = {{3, 4, {5, 0, 0, 0, 0}},
                                                     {9, 4, {0, 2, 3, 1, 4}}};
    QVERIFY(ResponseHistograms(f) == expected);
    QCOMPARE(expected[1].Answered(), std::uint64_t{6});
    QCOMPARE(expected[1].Late(), std::uint64_t{4});
    f.rateKnown = false;
    QVERIFY(ResponseHistograms(f).empty());
  }

  void histogramOutline_data() {
    QTest::addColumn<std::vector<std::uint64_t>>("bins");
    QTest::addColumn<QString>("answered");
    QTest::addColumn<QString>("late");
    QTest::newRow("nothing") << std::vector<std::uint64_t>{0, 0, 0, 0, 0} << "0,0 4,0"
                             << "";
    QTest::newRow("from the first bin")
        << std::vector<std::uint64_t>{2, 3, 0, 0, 0} << "0,0 0,2 1,2 1,3 2,3 2,0 4,0"
        << "";
    QTest::newRow("equal bins make one step")
        << std::vector<std::uint64_t>{0, 0, 5, 5, 0} << "0,0 2,0 2,5 4,5 4,0"
        << "";
    QTest::newRow("up to the slot time")
        << std::vector<std::uint64_t>{1, 1, 1, 1, 0} << "0,0 0,1 4,1 4,0"
        << "";
    QTest::newRow("late ones beside")
        << std::vector<std::uint64_t>{0, 7, 0, 0, 3} << "0,0 1,0 1,7 2,7 2,0 4,0"
        << "4,0 4,3 5,3 5,0";
    QTest::newRow("no bins") << std::vector<std::uint64_t>{} << ""
                             << "";
  }
  void histogramOutline() {
    QFETCH(std::vector<std::uint64_t>, bins);
    const ResponseHistogram h{7, 4, bins};
    QTEST(PointsText(HistogramOutline(h)), "answered");
    QTEST(PointsText(LateOutline(h)), "late");
  }

  void histogramTickStep_data() {
    QTest::addColumn<uint>("tsl");
    QTest::addColumn<uint>("step");
    QTest::newRow("one bit") << 1u << 1u;
    QTest::newRow("ten") << 10u << 1u;
    QTest::newRow("eleven") << 11u << 2u;
    QTest::newRow("9K6 to 187K5") << 100u << 10u;
    QTest::newRow("500K") << 200u << 20u;
    QTest::newRow("1M5") << 300u << 50u;
    QTest::newRow("6M") << 600u << 100u;
    QTest::newRow("12M") << 1000u << 100u;
    QTest::newRow("the longest") << 16383u << 2000u;
  }
  void histogramTickStep() {
    QFETCH(uint, tsl);
    QTEST(static_cast<uint>(HistogramTickStep(tsl)), "step");
  }

  // --- Live list -----------------------------------------------------------------------------

  void liveListCells() {
    const BusFigures f = SmallBus();
    const std::vector<BusFinding> findings = {
        Finding(FindingKind::kNoResponse, 14, "Station 14: lost"),
        Finding(FindingKind::kNoResponse, 50, "Station 50: never heard"),
        Finding(FindingKind::kCorruptFrames, std::nullopt, "Corrupt frames: 1"),
        Finding(FindingKind::kRepeats, 77, "a station the figures do not list"),
    };
    const auto cells = LiveListCells(f, findings);
    struct Row {
      int address;
      LiveRole role;
      bool faulty;
    };
    for (const Row& row : {Row{1, LiveRole::kMaster, false}, Row{14, LiveRole::kSlave, true},
                           Row{15, LiveRole::kSlave, false}, Row{50, LiveRole::kSilent, true},
                           Row{0, LiveRole::kNotSeen, false}, Row{77, LiveRole::kNotSeen, false},
                           Row{127, LiveRole::kNotSeen, false}}) {
      const LiveCell& cell = cells[static_cast<std::size_t>(row.address)];
      QVERIFY2(cell.role == row.role, qPrintable(QString::number(row.address)));
      QVERIFY2(cell.faulty == row.faulty, qPrintable(QString::number(row.address)));
      QVERIFY2(cell.toolTip.empty() == (row.role == LiveRole::kNotSeen),
               qPrintable(QString::number(row.address)));
    }
    QVERIFY(cells[14].toolTip.find("Station 14: lost") != std::string::npos);
  }

  // The tooltip, and the device as the station table and the DP slaves table show it. `gsd`: 0 a
  // run without GSD folders, 1 a slave named by its GSD file, 2 one whose ident has no file.
  void stationToolTip_data() {
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("gsd");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("device");
    QTest::newRow("slave with findings")
        << 14 << 0
        << "Station 14: slave, station type slave\n"
           "Frames sent 119 (requests 0, responses 119, tokens 0)\n"
           "Requests received 131: answered 119, no response 12 (longest run 12)\n"
           "Repeats 8 (longest chain 2), late 0, illegal 0, early 0\n"
           "Response time 26 / 27 / 29 bit times (min / mean / max)\n"
           "Cycle 1500.000 / 1563.436 / 1600.000 ms (min / mean / max)\n"
           "Findings:\n"
           "  Station 14: lost\n"
           "  Station 14: repeated"
        << "";
    QTest::newRow("master")
        << 1 << 0
        << "Station 1: master\n"
           "Frames sent 602 (requests 400, responses 0, tokens 202)\n"
           "Token rotation 1500.000 / 1536.687 / 1600.000 ms (min / mean / max), 3 over the TTR"
        << "";
    QTest::newRow("never heard, no times")
        << 50 << 0
        << "Station 50: slave, never heard\n"
           "Frames sent 0 (requests 0, responses 0, tokens 0)\n"
           "Requests received 526: answered 0, no response 526 (longest run 444)\n"
           "Repeats 350 (longest chain 2), late 0, illegal 0, early -"
        << "";
    QTest::newRow("slave named by its GSD file")
        << 14 << 1
        << "Station 14: slave, station type slave\n"
           "Device: Test Devices Ltd TD-8DI 1.2 (TEST7F01.GSD)\n"
           "Modules: 1 '8 DI'\n"
           "Last diagnosis: \"Wire break\", \"Not parameterised\"\n"
           "Frames sent 119 (requests 0, responses 119, tokens 0)\n"
           "Requests received 131: answered 119, no response 12 (longest run 12)\n"
           "Repeats 8 (longest chain 2), late 0, illegal 0, early 0\n"
           "Response time 26 / 27 / 29 bit times (min / mean / max)\n"
           "Cycle 1500.000 / 1563.436 / 1600.000 ms (min / mean / max)\n"
           "Findings:\n"
           "  Station 14: lost\n"
           "  Station 14: repeated"
        << "Test Devices Ltd TD-8DI 1.2 (TEST7F01.GSD)";
    QTest::newRow("slave whose ident has no GSD file")
        << 50 << 2
        << "Station 50: slave, never heard\n"
           "Device: no GSD file for ident 0x7f01\n"
           "Frames sent 0 (requests 0, responses 0, tokens 0)\n"
           "Requests received 526: answered 0, no response 526 (longest run 444)\n"
           "Repeats 350 (longest chain 2), late 0, illegal 0, early -"
        << "no GSD file for ident 0x7f01";
  }
  void stationToolTip() {
    QFETCH(int, address);
    QFETCH(int, gsd);
    QFETCH(QString, device);
    BusFigures f = SmallBus();
    f.stations[0].ttrExceeded = 3;
    if (gsd != 0) test::GiveGsdSlave(f, static_cast<std::uint8_t>(address), gsd == 1);
    const std::vector<BusFinding> findings = {
        Finding(FindingKind::kNoResponse, 14, "Station 14: lost"),
        Finding(FindingKind::kNoResponse, 15, "another station"),
        Finding(FindingKind::kRepeats, 14, "Station 14: repeated"),
    };
    for (const StationFigures& s : f.stations) {
      if (s.address == address) QTEST(Q(StationToolTip(f, s, findings)), "text");
    }
    // The station table's device column, its tooltip the tooltip's lines of the device.
    StationTableModel stations;
    stations.SetStations(f.stations, &f.dp);
    for (int row = 0; row < stations.rowCount(); ++row) {
      if (stations.AddressAt(row) != address) continue;
      const QModelIndex cell = stations.index(row, kDeviceColumn);
      QCOMPARE(stations.data(cell).toString(), device);
      const QString tip = stations.data(cell, Qt::ToolTipRole).toString();
      QVERIFY(device.isEmpty() ? tip.isEmpty() : tip.startsWith("Device: " + device));
    }
    QCOMPARE(stations.headerData(kDeviceColumn, Qt::Horizontal).toString(),
             QStringLiteral("Device"));
    QVERIFY(stations.headerData(kDeviceColumn, Qt::Horizontal, Qt::ToolTipRole)
                .toString()
                .contains(QStringLiteral("GSD file")));
    // The DP slaves table names the same device.
    DpSlaveModel slaves;
    slaves.SetFigures(&f);
    QCOMPARE(slaves.rowCount(), gsd != 0 ? 1 : 0);
    for (int row = 0; row < slaves.rowCount(); ++row) {
      if (slaves.AddressAt(row) != address) continue;
      QCOMPARE(slaves.data(slaves.index(row, kSlaveDevice)).toString(), device);
      QCOMPARE(slaves.data(slaves.index(row, kSlaveModules)).toString(),
               gsd == 1 ? QStringLiteral("1 '8 DI'") : QStringLiteral("-"));
    }
  }

  // --- Station table -------------------------------------------------------------------------

  void figureText_data() {
    QTest::addColumn<int>("kind");  // 0 null, 1 unsigned, 2 signed, 3 text
    QTest::addColumn<qlonglong>("number");
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("text");
    const int count = static_cast<int>(FigureFormat::kCount);
    const int clock = static_cast<int>(FigureFormat::kClock);
    const int duration = static_cast<int>(FigureFormat::kDuration);
    const int bits = static_cast<int>(FigureFormat::kBits);
    QTest::newRow("null") << 0 << 0LL << count << "-";
    QTest::newRow("count") << 1 << 18446744073709551LL << count << "18446744073709551";
    QTest::newRow("word") << 3 << 0LL << static_cast<int>(FigureFormat::kText) << "master";
    QTest::newRow("clock") << 2 << 43'200'251'637'999LL << clock << "12:00:00.251637";
    QTest::newRow("clock after a day") << 2 << 90'061'000'001'000LL << clock << "25:01:01.000001";
    QTest::newRow("duration cut toward zero") << 2 << 1'536'481'999LL << duration << "1536.481";
    QTest::newRow("short duration") << 2 << 999LL << duration << "0.000";
    QTest::newRow("negative duration") << 2 << -2'500'000LL << duration << "-2.500";
    QTest::newRow("negative bits") << 2 << -3LL << bits << "-3";
  }
  void figureText() {
    QFETCH(int, kind);
    QFETCH(qlonglong, number);
    QFETCH(int, format);
    FigureValue value;
    if (kind == 1) value = static_cast<std::uint64_t>(number);
    if (kind == 2) value = static_cast<std::int64_t>(number);
    if (kind == 3) value = std::string("master");
    QTEST(Q(FigureText(value, static_cast<FigureFormat>(format))), "text");
  }

  // The table has every column of fdcstat's CSV before its DP columns, in its order.
  void columnsAreTheCsvColumns() {
    std::ostringstream csv;
    WriteBusCsv(BusFigures{}, csv);
    QStringList paths;
    for (const StationColumn& c : kStationColumns) {
      paths << Q(std::string(c.path)).replace('.', '_');
    }
    const QString header = Q(csv.str());
    QVERIFY(header.startsWith(paths.join(',') + QStringLiteral(",dp_state,")));
  }

  // Every cell of the model holds the JSON's figure, and shows it as FigureText words it; the
  // JSON is fdcstat's own of the same run.
  void modelEqualsFdcstatJson() {
    const DumpRequest request = RequestFor(faultRun_, 3);
    const HealthOutcome outcome = ComputeHealth(request, {}, RunControl(nullptr));
    QVERIFY(outcome.result.ok());
    QVERIFY(outcome.figures.has_value());
    std::ostringstream mine;
    WriteBusJson(*outcome.figures, mine);
    const std::string fdcstat = fdc::ui::test::FdcstatReport(
        faultRun_, 3, "json", dir_.filePath("stat.json").toStdString());
    QVERIFY(!fdcstat.empty());
    const nlohmann::json json = nlohmann::json::parse(fdcstat);
    QVERIFY(nlohmann::json::parse(mine.str()) == json);

    StationTableModel model;
    model.SetStations(outcome.figures->stations);
    const nlohmann::json& stations = json["stations"];
    QCOMPARE(model.rowCount(), static_cast<int>(stations.size()));
    // The figures, then the device, which a run without GSD folders leaves empty.
    QCOMPARE(model.columnCount(), kDeviceColumn + 1);
    for (int row = 0; row < model.rowCount(); ++row) {
      QCOMPARE(model.data(model.index(row, kDeviceColumn)).toString(), QString());
      for (int column = 0; column < kDeviceColumn; ++column) {
        const StationColumn& c = kStationColumns[static_cast<std::size_t>(column)];
        const nlohmann::json& figure = JsonAt(stations[static_cast<std::size_t>(row)], c.path);
        const QModelIndex index = model.index(row, column);
        const QString where = QStringLiteral("row %1 %2").arg(row).arg(Q(std::string(c.path)));
        QCOMPARE(model.data(index).toString(),
                 Q(FigureText(FigureOfJson(figure, c.format), c.format)));
        const QVariant exact = model.data(index, StationTableModel::kFigureRole);
        if (figure.is_null()) {
          QVERIFY2(!exact.isValid(), qPrintable(where));
        } else if (figure.is_string()) {
          QCOMPARE(exact.toString(), Q(figure.get<std::string>()));
        } else if (c.format == FigureFormat::kCount) {
          QVERIFY2(exact.toULongLong() == figure.get<std::uint64_t>(), qPrintable(where));
        } else {
          QVERIFY2(exact.toLongLong() == figure.get<std::int64_t>(), qPrintable(where));
        }
      }
    }
    QCOMPARE(model.headerData(12, Qt::Horizontal).toString(), QStringLiteral("No resp"));
    QCOMPARE(model.headerData(48, Qt::Horizontal, Qt::ToolTipRole).toString(),
             Q(StationColumnTip(48)));
  }

  // The view leads with the station, then its faults, then its times; the rest keep the JSON's
  // order and the device comes last. Every column is shown once.
  void viewOrderLeadsWithTheStationAndItsFaults() {
    const QStringList leading = {
        "Addr",        "Role",      "No resp",   "No reply",     "Late reply",    "Corrupt reply",
        "No resp run", "Repeats",   "Chain max", "Late",         "Illegal",       "Early",
        "UE",          "RR",        "RS",        "Diag",         "TSYN",          "Over TTR",
        "Resp n",      "Resp min",  "Resp mean", "Resp max",     "Cycles",        "Cycle min",
        "Cycle mean",  "Cycle max", "Rotations", "Rotation min", "Rotation mean", "Rotation max",
        "Type",        "Requests",  "Answered"};
    StationTableModel model;
    const std::vector<int>& order = StationViewOrder();
    QCOMPARE(order.size(), static_cast<std::size_t>(model.columnCount()));
    QStringList shown;
    for (const int column : order) shown << model.headerData(column, Qt::Horizontal).toString();
    QCOMPARE(shown.mid(0, static_cast<int>(leading.size())), leading);
    QCOMPARE(order.back(), kDeviceColumn);
    QCOMPARE(kFrozenStationColumns, 2);
    std::vector<int> rest(order.begin() + leading.size(), order.end());
    QVERIFY(std::is_sorted(rest.begin(), rest.end()));
    std::vector<int> all = order;
    std::sort(all.begin(), all.end());
    for (int column = 0; column <= kDeviceColumn; ++column) QCOMPARE(all[column], column);
  }

  // Every header's tooltip gives the JSON name, the unit of the figure's form and a definition.
  void headerTooltipsGiveUnitAndDefinition_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("unit");  // what follows "JSON name, ", up to ": "
    QTest::newRow("counts") << static_cast<int>(FigureFormat::kCount)
                            << "in (requests|replies|frames|tokens|cycles|rotations)|"
                               "a station address \\(0\\.\\.127\\)";
    QTest::newRow("words") << static_cast<int>(FigureFormat::kText) << "a word \\(.+\\)";
    QTest::newRow("clock") << static_cast<int>(FigureFormat::kClock)
                           << "a time of day \\(ns in the JSON\\)";
    QTest::newRow("durations") << static_cast<int>(FigureFormat::kDuration)
                               << "in ms \\(ns in the JSON\\)";
    QTest::newRow("bit times") << static_cast<int>(FigureFormat::kBits) << "in bit times";
  }
  void headerTooltipsGiveUnitAndDefinition() {
    QFETCH(int, format);
    QFETCH(QString, unit);
    StationTableModel model;
    int checked = 0;
    for (int column = 0; column < kDeviceColumn; ++column) {
      const StationColumn& c = kStationColumns[static_cast<std::size_t>(column)];
      if (static_cast<int>(c.format) != format) continue;
      const QString tip = model.headerData(column, Qt::Horizontal, Qt::ToolTipRole).toString();
      const QRegularExpression form(QRegularExpression::escape(Q(std::string(c.path))) +
                                    QStringLiteral(", (") + unit + QStringLiteral("): \\w.{15,}"));
      QVERIFY2(form.match(tip).hasMatch(), qPrintable(tip));
      ++checked;
    }
    QVERIFY(checked > 0);
    QVERIFY(model.headerData(kDeviceColumn, Qt::Horizontal, Qt::ToolTipRole)
                .toString()
                .startsWith(QStringLiteral("device, a text: ")));
  }

  // Sorted by the exact figure, the station with most lost requests leads; absent figures sort
  // without harm.
  void modelSortsByFigure() {
    const HealthOutcome outcome = ComputeHealth(RequestFor(faultRun_, 3), {}, RunControl(nullptr));
    QVERIFY(outcome.figures.has_value());
    StationTableModel model;
    model.SetStations(outcome.figures->stations);
    QSortFilterProxyModel sorted;
    sorted.setSourceModel(&model);
    sorted.setSortRole(StationTableModel::kFigureRole);
    sorted.sort(12, Qt::DescendingOrder);  // no_response
    QCOMPARE(sorted.data(sorted.index(0, 0)).toString(), QStringLiteral("14"));
    sorted.sort(41, Qt::AscendingOrder);  // cycle_ns.mean: null for masters
    QCOMPARE(sorted.rowCount(), model.rowCount());
    QCOMPARE(int{model.AddressAt(-1)}, 0);
    QCOMPARE(int{model.AddressAt(model.rowCount())}, 0);
    QVERIFY(!model.data(model.index(0, 0), Qt::DecorationRole).isValid());
  }

  // --- The computation -----------------------------------------------------------------------

  void healthRequestKeepsOnlyTheRun() {
    const DumpRequest request = RequestFor(faultRun_, 3);
    QCOMPARE(request.StartRef, 5u);
    const DumpRequest run = HealthRequestOf(request);
    QCOMPARE(run.Run.base, request.Run.base);
    QCOMPARE(run.Run.extension, request.Run.extension);
    QCOMPARE(run.Run.hour, 12u);
    QCOMPARE(run.Run.minute, 0u);
    QCOMPARE(run.Run.count, 3u);
    QCOMPARE(run.StartRef, 0u);
    QCOMPARE(run.EndRef, 0xFFFFFFFFu);
    QVERIFY(run.OptionPath.empty());
    QVERIFY(run.OutputPath.empty());
    QVERIFY(SameRun(run, request));
    DumpRequest shorter = run;
    shorter.Run.count = 2;
    QVERIFY(!SameRun(shorter, request));
    DumpRequest later = run;
    later.Run.minute = 1;
    QVERIFY(!SameRun(later, request));
  }

  void settingsOf_data() {
    QTest::addColumn<uint>("tsl");
    QTest::addColumn<uint>("ttr");
    QTest::addColumn<QString>("settings");
    QTest::newRow("defaults") << 0u << 0u << "-/-";
    QTest::newRow("given") << 300u << 5000u << "300/5000";
    QTest::newRow("held at the bounds") << 99999u << 4000000000u << "16383/16777215";
  }
  void settingsOf() {
    QFETCH(uint, tsl);
    QFETCH(uint, ttr);
    const HealthSettings s = HealthSettingsOf(tsl, ttr);
    const auto text = [](const std::optional<std::uint32_t>& v) {
      return v ? QString::number(*v) : QStringLiteral("-");
    };
    QTEST(text(s.tslBits) + '/' + text(s.ttrBits), "settings");
  }

  // On its thread: progress arrives, the figures come back with the settings applied, and the
  // window of the request does not narrow them.
  void computesOnItsThread() {
    HealthComputation computation;
    QSignalSpy progress(&computation, &HealthComputation::Progress);
    QSignalSpy done(&computation, &HealthComputation::Done);
    QVERIFY(computation.Start(RequestFor(faultRun_, 3), HealthSettings{123, 4000}));
    QVERIFY(!computation.Start(RequestFor(faultRun_, 3), {}));
    std::optional<HealthOutcome> outcome = Finish(computation, done);
    QVERIFY(outcome && outcome->figures);
    QVERIFY(outcome->result.ok());
    QVERIFY(!outcome->stopped);
    QCOMPARE(outcome->figures->tslBits, 123u);
    QCOMPARE(outcome->figures->ttrBits.value_or(0), 4000u);
    QCOMPARE(outcome->figures->run.files, std::uint64_t{3});
    QCOMPARE(outcome->figures->run.records, std::uint64_t{3000});
    QVERIFY(!progress.isEmpty());
    QVERIFY(!computation.Active());
    QVERIFY(!computation.Collect());

    // Again, by default: the slot time of the run's baud rate.
    QVERIFY(computation.Start(RequestFor(faultRun_, 1), {}));
    outcome = Finish(computation, done);
    QVERIFY(outcome && outcome->figures);
    QCOMPARE(outcome->figures->tslBits, 300u);
    QVERIFY(!outcome->figures->ttrBits);
    QCOMPARE(outcome->figures->run.files, std::uint64_t{1});
  }

  // Stop ends the run between two records; the figures of what was read come back.
  void stopKeepsTheFiguresSoFar() {
    QTemporaryDir dir;
    const QString first = fdc::ui::test::WriteLongRun(dir.path());
    QVERIFY(!first.isEmpty());
    HealthComputation computation;
    QSignalSpy progress(&computation, &HealthComputation::Progress);
    QSignalSpy done(&computation, &HealthComputation::Done);
    QVERIFY(computation.Start(RequestFor(first.toStdString(), 1439), {}));
    QVERIFY(progress.wait(60000));
    computation.RequestStop();
    const std::optional<HealthOutcome> outcome = Finish(computation, done);
    QVERIFY(outcome && outcome->figures);
    QVERIFY(outcome->result.ok());
    QVERIFY(outcome->stopped);
    QVERIFY(outcome->figures->run.records > 0);
    QVERIFY(outcome->figures->run.records < 1439u * 100000u);
    QVERIFY(Q(HealthStatusLine(*outcome, 0))
                .endsWith(". Stopped: the figures cover the records read before it"));
  }

  void runThatCannotStart() {
    HealthComputation computation;
    QSignalSpy done(&computation, &HealthComputation::Done);
    const std::string missing = dir_.filePath("gone/Line11200.FdcCapt").toStdString();
    QVERIFY(computation.Start(RequestFor(missing, 2), {}));
    const std::optional<HealthOutcome> outcome = Finish(computation, done);
    QVERIFY(outcome);
    QVERIFY(!outcome->figures);
    QVERIFY(outcome->result.failed());
    QCOMPARE(Q(HealthStatusLine(*outcome, 0)), Q("No figures: " + outcome->result.ErrorText()));
    QVERIFY(outcome->result.ErrorText().find(missing) != std::string::npos);
  }

  void healthStatusLine_data() {
    QTest::addColumn<int>("baud");
    QTest::addColumn<uint>("tsl");
    QTest::addColumn<uint>("ttr");
    QTest::addColumn<int>("findings");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("line");
    QTest::newRow("default slot time") << 4 << 300u << 0u << 5 << ""
                                       << "3 files, 3000 records; slot time 300 bit times (by "
                                          "the baud rate 1M5), no TTR; 5 findings";
    QTest::newRow("given slot time and TTR")
        << 1 << 700u << 20000u << 1 << ""
        << "3 files, 3000 records; slot time 700 bit times, TTR 20000 bit times; 1 finding";
    QTest::newRow("healthy") << 5 << 200u << 0u << 0 << ""
                             << "3 files, 3000 records; slot time 200 bit times (by the baud "
                                "rate 500K), no TTR; the bus looked healthy";
    QTest::newRow("unknown rate, read error")
        << 0 << 100u << 0u << 2 << "Record Length Error\nsecond line"
        << "3 files, 3000 records; baud rate unknown: no times, no slot time test; 2 findings. "
           "Reading ended early: Record Length Error";
  }
  void healthStatusLine() {
    QFETCH(int, baud);
    QFETCH(uint, tsl);
    QFETCH(uint, ttr);
    QFETCH(int, findings);
    QFETCH(QString, error);
    HealthOutcome outcome;
    if (!error.isEmpty()) outcome.result = Result::Error(error.toStdString());
    BusFigures f;
    f.baudCode = static_cast<std::uint16_t>(baud);
    f.rateKnown = baud != 0;
    f.tslBits = tsl;
    if (ttr != 0) f.ttrBits = ttr;
    f.run.files = 3;
    f.run.records = 3000;
    outcome.figures = f;
    QTEST(Q(HealthStatusLine(outcome, static_cast<std::size_t>(findings))), "line");
  }

  // --- Export --------------------------------------------------------------------------------

  void exportPath() {
    DumpRequest run;
    run.Run.base = "/data/cap/Line1";
    run.Run.extension = ".fdccapt";
    run.Run.hour = 9;
    run.Run.minute = 5;
    QCOMPARE(Q(HealthExportPath(run, "health", "json")),
             QStringLiteral("/data/cap/Line10905_health.json"));
  }

  void figuresFileHoldsTheWritersOutput() {
    const DumpRequest request = RequestFor(faultRun_, 3);
    const HealthOutcome outcome = ComputeHealth(request, {}, RunControl(nullptr));
    QVERIFY(outcome.figures);
    std::ostringstream json;
    WriteBusJson(*outcome.figures, json);
    std::ostringstream csv;
    WriteBusCsv(*outcome.figures, csv);
    const std::string jsonPath = dir_.filePath("figures.json").toStdString();
    const std::string csvPath = dir_.filePath("figures.csv").toStdString();
    QVERIFY(WriteFiguresFile(*outcome.figures, request, jsonPath, FiguresFormat::kJson).ok());
    QVERIFY(WriteFiguresFile(*outcome.figures, request, csvPath, FiguresFormat::kCsv).ok());
    QCOMPARE(ReadFile(jsonPath), json.str());
    QCOMPARE(ReadFile(csvPath), csv.str());
  }

  // A file of the run is never overwritten, whatever name reaches it; a folder that is not there
  // is reported.
  void figuresFileRefusals() {
    const DumpRequest request = RequestFor(faultRun_, 3);
    const HealthOutcome outcome = ComputeHealth(request, {}, RunControl(nullptr));
    QVERIFY(outcome.figures);
    const std::string before = ReadFile(faultRun_);
    const std::string second = CaptureFileName(request.Run.base, 12, 1);
    const std::string viaDot = dir_.path().toStdString() + "/./Line11201.FdcCapt";
    const Result refused =
        WriteFiguresFile(*outcome.figures, request, viaDot, FiguresFormat::kJson);
    QCOMPARE(Q(refused.ErrorText()), Q("The output file would overwrite the input file " + second));
    QVERIFY(WriteFiguresFile(*outcome.figures, request, faultRun_, FiguresFormat::kCsv).failed());
    QCOMPARE(ReadFile(faultRun_), before);
    const std::string nowhere = dir_.filePath("no/such/folder/f.json").toStdString();
    QCOMPARE(
        Q(WriteFiguresFile(*outcome.figures, request, nowhere, FiguresFormat::kJson).ErrorText()),
        Q("Unable to Open Output File " + nowhere));
  }

  // One state a pixel, and where changes share a pixel the worst of them: a short outage inside
  // data exchange still shows, however far out the view is.
  void dpPixelSpans_data() {
    QTest::addColumn<double>("x0");
    QTest::addColumn<double>("x1");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("spans");
    QTest::newRow("the whole band") << 0.0 << 100.0 << 10 << "0-1 x,1-2 n,2-5 x,5-10 s";
    QTest::newRow("zoomed in") << 0.0 << 20.0 << 20 << "0-10 x,10-11 n,11-20 x";
    QTest::newRow("a stretch in the middle") << 40.0 << 60.0 << 4 << "0-2 x,2-4 s";
    QTest::newRow("past the end") << 100.0 << 120.0 << 5 << "";
  }
  void dpPixelSpans() {
    QFETCH(double, x0);
    QFETCH(double, x1);
    QFETCH(int, width);
    QFETCH(QString, spans);
    const auto segment = [](double start, double end, DpState state) {
      DpSegment s;
      s.start = start;
      s.end = end;
      s.state = state;
      return s;
    };
    DpBand band;
    band.segments = {
        segment(0, 10, DpState::kDataExchange), segment(10, 10.1, DpState::kNoResponse),
        segment(10.1, 50, DpState::kDataExchange), segment(50, 100, DpState::kStartup)};
    QStringList got;
    for (const DpPixelSpan& span : DpPixelSpans(band, x0, x1, width)) {
      const char letter = span.state == DpState::kDataExchange ? 'x'
                          : span.state == DpState::kNoResponse ? 'n'
                                                               : 's';
      got << QStringLiteral("%1-%2 %3").arg(span.from).arg(span.to).arg(letter);
    }
    QCOMPARE(got.join(','), spans);
  }

  // Three hundred thousand changes drawn at 800 pixels: at most one span a pixel.
  void dpPixelSpansOfManyChanges() {
    DpBand band;
    for (int i = 0; i < 300'000; ++i) {
      DpSegment s;
      s.start = i;
      s.end = i + 1;
      s.state = i % 7 == 0 ? DpState::kNoResponse : DpState::kDataExchange;
      band.segments.push_back(s);
    }
    const std::vector<DpPixelSpan> spans = DpPixelSpans(band, 0, 300'000, 800);
    QVERIFY(spans.size() <= 800);
    QCOMPARE(spans.front().from, 0);
    QCOMPARE(spans.back().to, 800);
    for (std::size_t i = 1; i < spans.size(); ++i) QCOMPARE(spans[i].from, spans[i - 1].to);
  }

  // The timeline of the golden DP run: a band per DP slave whose stretches follow its state
  // changes end to end, and the slave's state at the run's end is its last stretch's.
  void dpTimelineFollowsTheStateChanges() {
    const std::string first =
        std::string(std::getenv("FDC_SOURCE_DIR")) + "/tests/golden/runs/dp/Cell0900.FdcCapt";
    const HealthOutcome outcome =
        ComputeHealth(fdc::ui::test::RequestFor(first, 1), {}, RunControl(nullptr));
    QVERIFY(outcome.figures.has_value());
    const BusFigures& figures = *outcome.figures;
    const DpTimeline timeline = DpTimelineOf(figures);
    QCOMPARE(timeline.axis, DpAxis::kTime);
    std::size_t slaves = 0;
    for (const auto& slave : figures.dp.slaves) slaves += slave ? 1 : 0;
    QCOMPARE(timeline.bands.size(), slaves);
    for (const DpBand& band : timeline.bands) {
      std::size_t changes = 0;
      for (const DpEvent& e : figures.dp.events) {
        changes += e.kind == DpEventKind::kState && e.station == band.address ? 1 : 0;
      }
      QVERIFY(band.segments.size() == changes || band.segments.size() == changes + 1);
      QCOMPARE(band.segments.front().start, timeline.begin);
      QCOMPARE(band.segments.back().end, timeline.end);
      for (std::size_t i = 1; i < band.segments.size(); ++i) {
        QCOMPARE(band.segments[i].start, band.segments[i - 1].end);
      }
      QCOMPARE(band.segments.back().state, figures.dp.slaves[band.address]->state);
    }
  }
};

int main(int argc, char** argv) {
  fdc::ui::test::IsolateSettings();
  QCoreApplication app(argc, argv);
  HealthLogicTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "health_logic_test.moc"
