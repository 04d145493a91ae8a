// The main window's record table without a display: the minute files a run opens, the recent
// runs in the settings, the rows as text, the virtual model over a damaged run (its window, its
// rows while the index grows), F8, Ctrl+G, a time, the text search with Stop, the filter bar's
// compiler with its quick filters and its errors placed in the typed text, the background task,
// and the open run's session: its passes, search, exports and their refusals, and its tasks' Stop.
#include <QCoreApplication>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "capture/frame_fields.h"
#include "engine/run_index.h"
#include "options/show_only.h"
#include "tests/ui/health_test_support.h"
#include "tests/ui/ui_test_support.h"
#include "tools/frame_builder.h"
#include "ui/common/app_settings.h"
#include "ui/common/background_task.h"
#include "ui/common/window_settings.h"
#include "ui/run_table/record_table_model.h"
#include "ui/run_table/row_scroll.h"
#include "ui/run_table/row_texts.h"
#include "ui/run_table/run_files.h"
#include "ui/run_table/run_session.h"
#include "ui/run_table/run_watch.h"
#include "ui/run_table/table_filter.h"
#include "ui/run_table/table_navigation.h"

using namespace fdc;
using namespace fdc::ui;

namespace {

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), text.size()); }
std::string S(const QString& text) { return text.toStdString(); }

// A damaged run of three minute files over midnight: stray bytes, a lost sync mark, malformed
// telegrams, an empty frame, a record split over two files.
struct DamagedRun {
  QTemporaryDir dir;
  DumpRequest request;
  std::string first;
};

void WriteDamagedRun(DamagedRun& run, std::uint64_t recordsPerMinute = 3000) {
  gen::RunPlan plan;
  plan.base = S(run.dir.path()) + "/Line1";
  plan.startHour = 23;
  plan.startMinute = 59;
  plan.minutes = 3;
  plan.recordsPerMinute = recordsPerMinute;
  plan.damage = {{gen::DamageKind::kGarbage, 0},
                 {gen::DamageKind::kSync, 1},
                 {gen::DamageKind::kMalformed, 1},
                 {gen::DamageKind::kLen0, 2},
                 {gen::DamageKind::kSplit, 0}};
  const gen::RunOutcome outcome = gen::GenerateRun(plan);
  QVERIFY2(outcome.ok(), outcome.error.c_str());
  run.first = outcome.summary.paths.front();
  const DumpRequestPlan planned = PlanRunRequest(run.first, 3);
  QVERIFY2(planned.ok(), planned.message.c_str());
  run.request = planned.request;
}

void IndexMatches(const DumpRequest& request, const RecordFilter& filter, RunIndex& index) {
  RecordLoop loop(request, filter, RunControl(nullptr));
  MatchIndexer indexer(index);
  RecordConsumer* const consumers[] = {&indexer};
  indexer.Finish(loop.Run(consumers));
}

std::string Joined(const RowTexts& row) {
  std::string text;
  for (int c = 0; c < kTableColumns; ++c) text += std::string(row.Column(c)) + "|";
  return text;
}

// Every row of a source read from its start, as the table must show it.
struct ReferenceRows {
  std::vector<std::string> texts;
  std::vector<RowClass> classes;
  std::vector<std::uint32_t> refs;
  std::vector<std::int64_t> times;
};

ReferenceRows ReadFromStart(const DumpRequest& request, const RunIndex& index,
                            const RecordFilter* filter) {
  ReferenceRows rows;
  RowReader reader(request, index, filter);
  const std::vector<CaptureFileInfo> files = index.Files();
  std::optional<std::int64_t> previous;
  RowTexts texts;
  (void)reader.Read(0, index.Rows(), [&](const RowItem& item) {
    FormatRow(item, previous, files, texts);
    if (item.kind == RowKind::kRecord) previous = item.absNs;
    rows.texts.push_back(Joined(texts));
    rows.classes.push_back(texts.rowClass);
    rows.refs.push_back(texts.refNumber);
    rows.times.push_back(texts.absNs);
    return true;
  });
  return rows;
}

QString ModelRowText(const RecordTableModel& model, int viewRow) {
  QString text;
  for (int c = 0; c < kTableColumns; ++c) text += model.index(viewRow, c).data().toString() + "|";
  return text;
}

// One record's row, made from its frame bytes and status.
struct OneRow {
  CaptureRecord record;
  Telegram telegram;
  RowItem item;
};

void MakeRow(OneRow& row, const std::vector<std::uint8_t>& frame, std::uint8_t status) {
  row.record.FrameLen = static_cast<std::uint8_t>(frame.size());
  std::copy(frame.begin(), frame.end(), row.record.Frame);
  row.record.Frame[frame.size()] = status;
  row.record.RefNumber = 7;
  DissectTelegram(row.record.Bytes(), row.record.FrameLen, row.telegram);
  row.item.kind = RowKind::kRecord;
  row.item.record = &row.record;
  row.item.telegram = &row.telegram;
  row.item.absNs = 3'723'004'005'006;
  row.item.gapNs = 57'083;
  row.item.faulty = IsFaulty(row.telegram, row.record.Bytes());
}

std::vector<std::uint8_t> Bytes(const gen::Frame& frame) {
  return std::vector<std::uint8_t>(frame.bytes.begin(), frame.bytes.begin() + frame.size);
}

// Runs a ShowOnly program on one frame.
std::int32_t Evaluate(const ShowOnlyProgram& program, const std::vector<std::uint8_t>& frame,
                      std::int32_t gapUs = 0, std::uint8_t status = 0) {
  std::vector<std::uint8_t> record = frame;
  record.push_back(status);
  const ByteView bytes(record.data(), record.size());
  const FrameFields fields =
      DecodeFrameFields(record.data(), static_cast<std::uint8_t>(frame.size()));
  return EvaluateShowOnly(program, fields, bytes, gapUs, {});
}

// Waits until neither the index nor the filter pass of `session` runs.
bool WaitForPasses(const RunSession& session) {
  return QTest::qWaitFor([&] { return !session.Indexing() && !session.Filtering(); }, 30000);
}

// What a session reported at the ends of its tasks.
struct SessionLog {
  QStringList indexLines;
  QStringList indexFailures;
  QList<FindEnd> finds;
  QList<ExportEnd> exports;
  explicit SessionLog(RunSession& session) {
    QObject::connect(&session, &RunSession::IndexFinished,
                     [this](const QString& line, const QString& failure) {
                       indexLines << line;
                       indexFailures << failure;
                     });
    QObject::connect(&session, &RunSession::FindFinished,
                     [this](const FindEnd& end) { finds << end; });
    QObject::connect(&session, &RunSession::ExportFinished,
                     [this](const ExportEnd& end) { exports << end; });
  }
};

FilterInput FaultsOnly() {
  FilterInput input;
  input.quick.marks = kMarkDamaged;
  return input;
}

}  // namespace

class TableLogicTest : public QObject {
  Q_OBJECT

 private slots:
  // --- Opening a run ---

  void runFiles_data() {
    QTest::addColumn<QStringList>("existing");  // file names in the folder
    QTest::addColumn<QString>("named");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("message");  // start of the message; empty when the run opens
    const QString invalid = "Invalid Capture File Name\n";
    QTest::newRow("one file") << QStringList{"A1200.FdcCapt"} << "A1200.FdcCapt" << 1
                              << "A1200.FdcCapt"
                              << "";
    QTest::newRow("over midnight")
        << QStringList{"A2358.FdcCapt", "A2359.FdcCapt", "A0000.FdcCapt", "A0002.FdcCapt"}
        << "A2358.FdcCapt" << 3 << "A0000.FdcCapt"
        << "";
    QTest::newRow("from the middle")
        << QStringList{"A1200.FdcCapt", "A1201.FdcCapt"} << "A1201.FdcCapt" << 1 << "A1201.FdcCapt"
        << "";
    QTest::newRow("hour 99 goes on with 00")
        << QStringList{"A9959.FdcCapt", "A0000.FdcCapt"} << "A9959.FdcCapt" << 2 << "A0000.FdcCapt"
        << "";
    QTest::newRow("upper-case extension kept")
        << QStringList{"A1200.FDCCAPT", "A1201.FDCCAPT", "A1202.FdcCapt"} << "A1200.FDCCAPT" << 2
        << "A1201.FDCCAPT"
        << "";
    QTest::newRow("missing") << QStringList{} << "A1200.FdcCapt" << 0 << ""
                             << "Unable to Open Input File ";
    QTest::newRow("minute 60") << QStringList{"A1260.FdcCapt"} << "A1260.FdcCapt" << 0 << ""
                               << "Invalid Capture File Name Minute (00-59)\n";
    QTest::newRow("no digits") << QStringList{"Abcde.FdcCapt"} << "Abcde.FdcCapt" << 0 << ""
                               << invalid;
    QTest::newRow("other extension")
        << QStringList{"A1200.txt"} << "A1200.txt" << 0 << "" << invalid;
  }
  void runFiles() {
    QFETCH(QStringList, existing);
    QFETCH(QString, named);
    QFETCH(int, count);
    QFETCH(QString, last);
    QFETCH(QString, message);
    QTemporaryDir dir;
    for (const QString& name : existing) test::WriteTextFile(dir.filePath(name), "x");
    const RunFiles files = FindRunFiles(S(dir.filePath(named)));
    QVERIFY2(Q(files.message).startsWith(message) && files.message.empty() == message.isEmpty(),
             files.message.c_str());
    QCOMPARE(static_cast<int>(files.count), count);
    if (count > 0) {
      QCOMPARE(Q(files.firstName), named);
      QCOMPARE(Q(files.lastName), last);
    }
  }

  void earlierMinutesOfARun() {
    const struct {
      QStringList existing;
      const char* named;
      std::uint32_t count;
      const char* first;
    } rows[] = {
        {{"A1200.FdcCapt", "A1201.FdcCapt", "A1202.FdcCapt"}, "A1202.FdcCapt", 2, "A1200.FdcCapt"},
        {{"A1159.FdcCapt", "A1200.FdcCapt"}, "A1200.FdcCapt", 1, "A1159.FdcCapt"},
        {{"A1200.FdcCapt", "A1202.FdcCapt"}, "A1202.FdcCapt", 0, ""},
        // Hour 00 minute 00 is where the hour wraps: nothing before it counts.
        {{"A2359.FdcCapt", "A0000.FdcCapt"}, "A0000.FdcCapt", 0, ""},
    };
    for (const auto& row : rows) {
      QTemporaryDir dir;
      for (const QString& name : row.existing) test::WriteTextFile(dir.filePath(name), "x");
      const EarlierMinutes earlier = FindEarlierMinutes(S(dir.filePath(row.named)));
      QCOMPARE(earlier.count, row.count);
      QCOMPARE(QFileInfo(Q(earlier.first)).fileName(), QString::fromUtf8(row.first));
    }
  }

  void runFilesStopAt1439() {
    QTemporaryDir dir;
    const QString first = dir.filePath("L1200.FdcCapt");
    test::WriteTextFile(first, "x");
    unsigned hour = 12;
    unsigned minute = 0;
    for (int i = 1; i <= 1440; ++i) {
      gen::NextMinute(hour, minute);
      QVERIFY(QFile::link(first, Q(gen::MinuteFileName(S(dir.filePath("L")), hour, minute))) ||
              i == 1440);  // the 1441st minute is the first file again
    }
    const RunFiles files = FindRunFiles(S(first));
    QCOMPARE(files.count, 1439u);
    QCOMPARE(Q(files.lastName), QStringLiteral("L1158.FdcCapt"));
  }

  void runRequestAndTitle() {
    const DumpRequestPlan plan = PlanRunRequest("/cap/Line11159.FdcCapt", 3);
    QVERIFY(plan.ok());
    QCOMPARE(Q(plan.request.Run.base), QStringLiteral("/cap/Line1"));
    QCOMPARE(plan.request.Run.hour, 11u);
    QCOMPARE(plan.request.Run.minute, 59u);
    QCOMPARE(plan.request.Run.count, 3u);
    QCOMPARE(Q(FirstCaptureFile(plan.request)), QStringLiteral("/cap/Line11159.FdcCapt"));
    QCOMPARE(Q(RunTitle(plan.request)), QStringLiteral("Line11159.FdcCapt (3 minutes)"));
    QCOMPARE(Q(RunTitle(PlanRunRequest("/cap/Line11159.FdcCapt", 1).request)),
             QStringLiteral("Line11159.FdcCapt"));
    QVERIFY(!PlanRunRequest("/cap/Line11159.FdcCapt", 1440).ok());
    QVERIFY(HasCaptureExtension("/a/b/X1200.fdccapt"));
    QVERIFY(!HasCaptureExtension("/a/b/X1200.FdcCapt.bak"));
  }

  // --- Recent runs ---

  void recentRunsList() {
    std::vector<RecentRun> runs;
    for (int i = 0; i < 10; ++i) AddRecentRun(runs, {"/r/" + std::to_string(i), 1});
    QCOMPARE(runs.size(), kMaxRecentRuns);
    QCOMPARE(Q(runs.front().path), QStringLiteral("/r/9"));
    QCOMPARE(Q(runs.back().path), QStringLiteral("/r/2"));
    // Opened again with another length: first, once, with the new length.
    AddRecentRun(runs, {"/r/5", 7});
    QCOMPARE(runs.size(), kMaxRecentRuns);
    QCOMPARE(runs.front(), (RecentRun{"/r/5", 7}));
    QCOMPARE(static_cast<int>(std::count_if(runs.begin(), runs.end(),
                                            [](const RecentRun& r) { return r.path == "/r/5"; })),
             1);
    RemoveRecentRun(runs, "/r/9");
    QCOMPARE(runs.size(), kMaxRecentRuns - 1);
    const std::vector<RecentRun> labelled = {
        {"/cap/A1200.FdcCapt", 1}, {"/cap/A&B1200.FdcCapt", 3}, {"/caps/b/A1200.FdcCapt", 2}};
    QCOMPARE(Q(RecentRunLabel(labelled, 1)), QStringLiteral("&2 A&&B1200.FdcCapt (3 minutes)"));
    // Runs of one name say their folders.
    QCOMPARE(Q(RecentRunLabel(labelled, 0)), QStringLiteral("&1 A1200.FdcCapt in /cap"));
    QCOMPARE(Q(RecentRunLabel(labelled, 2)),
             QStringLiteral("&3 A1200.FdcCapt (2 minutes) in /caps/b"));
  }

  void recentRunsInTheStore() {
    QTemporaryDir dir;
    const QString path = dir.filePath("store.ini");
    AppSettings written = DefaultAppSettings("/opt/fdc");
    written.Window.RecentRuns = {{"/cap/B1200.FdcCapt", 3}, {"/cap/ä 1201.FdcCapt", 1439}};
    written.Window.TableOptFile = "/opt/Station.opt";
    written.Window.Maximized = true;
    written.Window.RecentFilters = {"SA == 5", "DA == 2 && STS != STSOK"};
    {
      QSettings store(path, QSettings::IniFormat);
      WriteAppSettings(store, written);
    }
    // What was written holds a window rectangle from now on.
    written.Window.PlacementStored = true;
    {
      QSettings store(path, QSettings::IniFormat);
      QCOMPARE(ReadAppSettings(store, "/opt/fdc"), written);
    }
    // A shorter list leaves no entries of the longer one behind; an empty option file goes.
    AppSettings shorter = written;
    shorter.Window.RecentRuns.resize(1);
    shorter.Window.TableOptFile.clear();
    shorter.Window.RecentFilters.resize(1);
    {
      QSettings store(path, QSettings::IniFormat);
      WriteAppSettings(store, shorter);
    }
    QSettings store(path, QSettings::IniFormat);
    QCOMPARE(ReadAppSettings(store, "/opt/fdc"), shorter);
    QVERIFY(!store.contains("Settings/RecentRun2"));
    QVERIFY(!store.contains("Settings/RecentMinutes2"));
    QVERIFY(!store.contains("Settings/TableOptFile"));
    QVERIFY(store.contains("Settings/RecentFilter1"));
    QVERIFY(!store.contains("Settings/RecentFilter2"));
  }

  void captureDateIsTheFilesDayInUtc() {
    QTemporaryDir dir;
    const std::string path = S(dir.filePath(QStringLiteral("Line11159.FdcCapt")));
    test::WriteTextFile(Q(path), "x");
    using namespace std::chrono;
    const sys_time<seconds> lateEvening = sys_days(year(2026) / 12 / 8) + hours(23) + minutes(59);
    std::filesystem::last_write_time(path, file_clock::from_sys(lateEvening));
    QCOMPARE(Q(CaptureDateOf(path)), QStringLiteral("2026-12-08"));
    QCOMPARE(Q(CaptureDateOf(path + ".missing")), QString());
  }

  void recentFiltersList() {
    std::vector<std::string> equations;
    for (int i = 0; i < 12; ++i) AddRecentFilter(equations, "SA == " + std::to_string(i));
    QCOMPARE(equations.size(), kMaxRecentFilters);
    QCOMPARE(Q(equations.front()), QStringLiteral("SA == 11"));
    // Applied again: first, once; a blank one is not kept.
    AddRecentFilter(equations, "SA == 5");
    AddRecentFilter(equations, "  ");
    QCOMPARE(equations.size(), kMaxRecentFilters);
    QCOMPARE(Q(equations.front()), QStringLiteral("SA == 5"));
    QCOMPARE(std::count(equations.begin(), equations.end(), "SA == 5"), 1);
  }

  void recentRunsStoredBadly() {
    QTemporaryDir dir;
    QSettings store(dir.filePath("store.ini"), QSettings::IniFormat);
    store.setValue("Settings/RecentRun1", "/a/A1200.FdcCapt");
    store.setValue("Settings/RecentMinutes1", "many");
    store.setValue("Settings/RecentRun2", "");
    store.setValue("Settings/RecentRun3", "/a/C1200.FdcCapt");
    store.setValue("Settings/RecentMinutes3", 1440);
    store.setValue("Settings/RecentRun4", "/a/D1200.FdcCapt");
    store.setValue("Settings/RecentMinutes4", 12);
    const AppSettings read = ReadAppSettings(store, "/opt");
    QCOMPARE(read.Window.RecentRuns,
             (std::vector<RecentRun>{
                 {"/a/A1200.FdcCapt", 1}, {"/a/C1200.FdcCapt", 1}, {"/a/D1200.FdcCapt", 12}}));
  }

  void freshStoreHoldsTheEightAndTheWindowState() {
    QTemporaryDir dir;
    QSettings store(dir.filePath("store.ini"), QSettings::IniFormat);
    QVERIFY(!ReadAppSettings(store, "/opt").Window.PlacementStored);
    WriteAppSettings(store, DefaultAppSettings("/opt"));
    store.beginGroup("Settings");
    QCOMPARE(store.childKeys().size(), 9);
    QCOMPARE(store.value("WinMaximized").toString(), QStringLiteral("0"));
  }

  // --- Rows as text ---

  void rowTexts_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("columns");  // Status|Kind|DA|SA|Function|SAPs|Data|FCS/ED
    QTest::addColumn<bool>("faulty");
    auto raw = [](std::initializer_list<int> bytes) {
      QByteArray a;
      for (int b : bytes) a.append(static_cast<char>(b));
      return a;
    };
    QTest::newRow("SD2 request with SAPs")
        << raw({0x68, 0x07, 0x07, 0x68, 0x82, 0x81, 0x7d, 0x3e, 0x3e, 0x01, 0x02, 0xff, 0x16}) << 0
        << "........|SD2|2|1|1v SRDH|62{62|01 02|[ff] ED" << false;
    QTest::newRow("SD1 request without FCV") << raw({0x10, 0x02, 0x01, 0x49, 0x4c, 0x16}) << 0
                                             << "........|SD1|2|1|0  RFDL|||[4c] ED" << false;
    QTest::newRow("SD1 response of a master") << raw({0x10, 0x01, 0x02, 0x30, 0x33, 0x16}) << 0
                                              << "........|SD1|1|2|mi OK|||[33] ED" << false;
    QTest::newRow("unnamed function code") << raw({0x10, 0x02, 0x01, 0xc1, 0xc4, 0x16}) << 0
                                           << "........|SD1|2|1|0  Typ?(c1)|||[c4] ED" << false;
    QTest::newRow("token") << raw({0xdc, 0x02, 0x01}) << 0 << "........|SD4|2|1||||" << false;
    QTest::newRow("short acknowledgement") << raw({0xe5}) << 0 << "........|SC|||SHAK|||" << false;
    QTest::newRow("status bits") << raw({0xe5}) << 0x81 << "s......e|SC|||SHAK|||" << true;
    QTest::newRow("SD2 LE wrong") << raw({0x68, 0x05, 0x05, 0x68, 0x02, 0x01, 0x49, 0x00, 0x4c,
                                          0x16})
                                  << 0x41
                                  << "s.....c.|SD2|||||68 05 05 68 02 01 49 00 4c 16|SD2 LE?(10)"
                                  << true;
    QTest::newRow("SD3 wrong FCS and ED")
        << raw({0xa2, 0x02, 0x01, 0x43, 1, 2, 3, 4, 5, 6, 7, 8, 0x00, 0x15}) << 0
        << "........|SD3|2|1|0  SDAL||01 02 03 04 05 06 07 08|FCS?(00) ED?(15)" << true;
    QTest::newRow("unknown delimiter")
        << raw({0x42, 0x10}) << 0 << "........|SD?|||||42 10|SD?42" << true;
    QTest::newRow("SD1 of 7 bytes") << raw({0x10, 0x22, 0x02, 0x49, 0x6d, 0x16, 0x00}) << 0
                                    << "........|SD1|||||10 22 02 49 6d 16 00|Len(7)?" << true;
    QTest::newRow("empty frame") << QByteArray() << 0 << "........|SD?||||||FrmLen?(0)SD?00"
                                 << true;
  }
  void rowTexts() {
    QFETCH(QByteArray, frame);
    QFETCH(int, status);
    QFETCH(QString, columns);
    QFETCH(bool, faulty);
    OneRow row;
    MakeRow(row, std::vector<std::uint8_t>(frame.begin(), frame.end()),
            static_cast<std::uint8_t>(status));
    RowTexts texts;
    FormatRow(row.item, 3'721'504'005'006, {}, texts);
    QStringList parts;
    for (int c = kColStatus; c < kTableColumns; ++c) parts << Q(texts.Column(c));
    QCOMPARE(parts.join('|'), columns);
    QCOMPARE(Q(texts.Column(kColRef)), QStringLiteral("7"));
    QCOMPARE(Q(texts.Column(kColTime)), QStringLiteral("01:02:03.004.005"));
    QCOMPARE(Q(texts.Column(kColDelta)), QStringLiteral("1500.000"));
    QCOMPARE(Q(texts.Column(kColGap)), QStringLiteral("57.083"));
    QCOMPARE(texts.rowClass == RowClass::kFaulty, faulty);
    QCOMPARE(FaultReasons(row.telegram, row.record.Bytes()).empty(), !faulty);
  }

  void rowTimes() {
    OneRow row;
    MakeRow(row, {0xe5}, 0);
    RowTexts texts;
    struct Case {
      std::int64_t abs, gap;
      std::optional<std::int64_t> previous;
      const char *time, *delta, *gapText;
    };
    const Case cases[] = {
        {0, 0, std::nullopt, "00:00:00.000.000", "0.000", "0.000"},
        {3'723'004'005'006, -2'500, 3'723'004'005'006, "01:02:03.004.005", "0.000", "-2.500"},
        {360'000'000'000'000, 999, 359'999'999'999'000, "100:00:00.000.000", "0.001", "0.999"},
        {5'000'000, 83, 6'000'000, "00:00:00.005.000", "-1.000", "0.083"},
    };
    for (const Case& c : cases) {
      row.item.absNs = c.abs;
      row.item.gapNs = c.gap;
      FormatRow(row.item, c.previous, {}, texts);
      QCOMPARE(Q(texts.Column(kColTime)), QString::fromLatin1(c.time));
      QCOMPARE(Q(texts.Column(kColDelta)), QString::fromLatin1(c.delta));
      QCOMPARE(Q(texts.Column(kColGap)), QString::fromLatin1(c.gapText));
    }
  }

  void eventRows() {
    CaptureEvent lost;
    lost.kind = CaptureEvent::Kind::kSyncLost;
    lost.file = 1;
    lost.lastRefNumber = 3009;
    lost.offset = 0x54ef;
    lost.markFound = 0x0e;
    lost.previousFrameLen = 0x0a;
    lost.previousTimestamp = 0x00000050'85b2a72dull;
    CaptureFileInfo files[2];
    files[0].name = "/cap/Line11159.FdcCapt";
    files[1].name = "/cap/Line11200.FdcCapt";
    RowItem item;
    item.kind = RowKind::kSyncLost;
    item.event = &lost;
    RowTexts texts;
    FormatRow(item, 5, files, texts);
    QCOMPARE(texts.rowClass, RowClass::kEvent);
    QCOMPARE(Q(texts.Column(kColKind)), QStringLiteral("Sync lost"));
    QCOMPARE(Q(texts.Column(kColData)),
             QStringLiteral("**** Synchronization Lost **** 3009: Ofs=54ef Mark=0e PrvLen=0a "
                            "PrvTme=85b2a72d 00000050 (Line11200.FdcCapt)"));
    QCOMPARE(Q(texts.Column(kColRef)), QString());
    QCOMPARE(texts.refNumber, 0u);

    CaptureEvent cut;
    cut.kind = CaptureEvent::Kind::kFileCutShort;
    cut.file = 7;  // a file the list does not have: no name
    item.kind = RowKind::kFileCutShort;
    item.event = &cut;
    FormatRow(item, std::nullopt, files, texts);
    QCOMPARE(Q(texts.Column(kColKind)), QStringLiteral("File left"));
    QCOMPARE(Q(texts.Column(kColData)),
             QStringLiteral("Capture File Sync Error: SYNC_MARK not found"));

    CaptureEvent recordCut;
    recordCut.kind = CaptureEvent::Kind::kRecordCut;
    recordCut.file = 0;
    recordCut.offset = 2814;
    recordCut.length = 19;
    item.kind = RowKind::kRecordCut;
    item.event = &recordCut;
    FormatRow(item, std::nullopt, files, texts);
    QCOMPARE(texts.rowClass, RowClass::kEvent);
    QCOMPARE(Q(texts.Column(kColKind)), QStringLiteral("Cut short"));
    QCOMPARE(Q(texts.Column(kColData)),
             QStringLiteral("The last record of the run is cut short: 19 bytes at offset 2814 of "
                            "/cap/Line11159.FdcCapt"));
  }

  void faultReasonsAndSearch() {
    OneRow row;
    MakeRow(row, {0x10, 0x02, 0x01, 0x49, 0x4b, 0x17}, 0x40);
    QCOMPARE(Q(FaultReasons(row.telegram, row.record.Bytes())),
             QStringLiteral("Status bits: c (check)\nWrong FCS 4b: the frame's bytes sum to 4c\n"
                            "Wrong end delimiter 17"));
    RowTexts texts;
    FormatRow(row.item, std::nullopt, {}, texts);
    QVERIFY(texts.Contains("fcs?(4b)"));
    QVERIFY(texts.Contains("rfdl"));
    QVERIFY(texts.Contains(""));
    // Within one column only: the end of one and the start of the next do not join.
    QVERIFY(!texts.Contains("21"));
    QVERIFY(!texts.Contains("FCS"));  // the needle comes in lower case
    QCOMPARE(Q(ServiceOfSap(60)), QStringLiteral("Slave_Diag"));
    QCOMPARE(Q(ServiceOfSap(63)), QString());
  }

  // --- The model over a damaged run ---

  void modelShowsEveryRowAsAPassFromTheStart() {
    DamagedRun run;
    WriteDamagedRun(run);
    RunIndex index;
    test::IndexAll(run.request, index);
    QVERIFY(index.Complete());
    const ReferenceRows reference = ReadFromStart(run.request, index, nullptr);
    QCOMPARE(reference.texts.size(), index.Rows());
    QVERIFY(std::count(reference.classes.begin(), reference.classes.end(), RowClass::kEvent) >= 2);
    QVERIFY(std::count(reference.classes.begin(), reference.classes.end(), RowClass::kFaulty) > 0);

    RecordTableModel model;
    model.SetSource(run.request, index, nullptr);
    QCOMPARE(static_cast<std::uint64_t>(model.rowCount()), index.Rows());
    QCOMPARE(model.columnCount(), static_cast<int>(kTableColumns));
    // Rows in a jumbled order, so that blocks are read, dropped and read again.
    std::mt19937 random(7);
    std::vector<int> rows;
    for (int r = 0; r < model.rowCount(); r += 37) rows.push_back(r);
    rows.push_back(model.rowCount() - 1);
    std::shuffle(rows.begin(), rows.end(), random);
    for (int r : rows) {
      QCOMPARE(ModelRowText(model, r), Q(reference.texts[static_cast<std::size_t>(r)]));
      QCOMPARE(model.index(r, 0).data(RecordTableModel::kRowClassRole).toInt(),
               static_cast<int>(reference.classes[static_cast<std::size_t>(r)]));
    }
    const auto faulty =
        std::find(reference.classes.begin(), reference.classes.end(), RowClass::kFaulty);
    const int faultyRow = static_cast<int>(faulty - reference.classes.begin());
    QVERIFY(!model.index(faultyRow, kColData).data(Qt::ToolTipRole).toString().isEmpty());
    QCOMPARE(model.headerData(kColGap, Qt::Horizontal).toString(), QStringLiteral("Gap µs"));
    QCOMPARE(model.index(0, kColRef).data(Qt::TextAlignmentRole).toInt() & Qt::AlignRight,
             int{Qt::AlignRight});
    QVERIFY(model.ReadError().empty());
  }

  // Protocol faults take their colour by their first mark and say it in the row's tooltip.
  void modelMarksProtocolFaults() {
    QTemporaryDir dir;
    const std::string first = test::WriteFaultRun(
        dir.path(), "outage@14:cycles=1,late@25:count=2,corrupt@26:count=2,rs@15:count=1,diag@34",
        1);
    QVERIFY(!first.empty());
    DumpRequest request;
    request.Run.base = first.substr(0, first.size() - std::string("1200.FdcCapt").size());
    request.Run.hour = 12;
    request.Run.count = 1;
    RunIndex index;
    test::IndexAll(request, index);
    RecordTableModel model;
    model.SetSource(request, index, nullptr);
    std::map<int, QString> tipOfClass;
    for (int r = 0; r < model.rowCount(); ++r) {
      const int rowClass = model.index(r, 0).data(RecordTableModel::kRowClassRole).toInt();
      if (!tipOfClass.count(rowClass)) {
        tipOfClass[rowClass] = model.index(r, kColData).data(Qt::ToolTipRole).toString();
      }
    }
    const std::pair<RowClass, QString> expected[] = {
        {RowClass::kNoReply, QStringLiteral("no reply within the slot time of 300 bit times")},
        {RowClass::kLateReply, QStringLiteral("late reply (")},
        {RowClass::kCorruptReply, QStringLiteral("corrupt reply")},
        {RowClass::kNegativeReply, QStringLiteral("negative reply: RS")},
        {RowClass::kDiagnosisFlagged, QStringLiteral("diagnosis flagged (DH)")},
    };
    for (const auto& [rowClass, words] : expected) {
      QVERIFY2(tipOfClass[static_cast<int>(rowClass)].contains(words), qPrintable(words));
    }
    // A sound record whose request carries DP events names their kinds.
    int sound = 0;
    while (model.index(sound, 0).data(RecordTableModel::kRowClassRole).toInt() !=
           static_cast<int>(RowClass::kRecord)) {
      ++sound;
    }
    const auto ref = model.index(sound, kColRef).data().toString().toUInt();
    model.SetDpEvents(std::make_shared<std::vector<RecordTableModel::DpEventMark>>(
        std::vector<RecordTableModel::DpEventMark>{
            {ref, 1u << static_cast<unsigned>(DpEventKind::kState) |
                      1u << static_cast<unsigned>(DpEventKind::kSetPrm)}}));
    QCOMPARE(model.index(sound, 0).data(RecordTableModel::kRowClassRole).toInt(),
             static_cast<int>(RowClass::kDpEvent));
    QVERIFY(model.index(sound, kColData)
                .data(Qt::ToolTipRole)
                .toString()
                .contains(QStringLiteral("DP event: state, set_prm")));
    // The health view's slot time judges them: within the longest one, no reply is late.
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.SetSlotTime(kMaxSlotTimeBits);
    QCOMPARE(changed.count(), 1);
    for (int r = 0; r < model.rowCount(); ++r) {
      QVERIFY(model.index(r, 0).data(RecordTableModel::kRowClassRole).toInt() !=
              static_cast<int>(RowClass::kLateReply));
    }
  }

  void modelWindowOverALongRun() {
    DamagedRun run;
    WriteDamagedRun(run);
    RunIndex index;
    test::IndexAll(run.request, index);
    const ReferenceRows reference = ReadFromStart(run.request, index, nullptr);
    RecordTableModel model;
    model.SetWindowLimit(1000);
    model.SetSource(run.request, index, nullptr);
    QCOMPARE(model.rowCount(), 1000);
    QCOMPARE(model.TotalRows(), index.Rows());
    // The last row: the window moves to the end, the row's view row shows it.
    const std::uint64_t last = index.Rows() - 1;
    const int viewRow = model.ShowRunRow(last);
    QCOMPARE(model.WindowStart() + 999, last);
    QCOMPARE(viewRow, 999);
    QCOMPARE(ModelRowText(model, viewRow), Q(reference.texts.back()));
    QCOMPARE(model.index(viewRow, 0).data(RecordTableModel::kRunRowRole).toULongLong(), last);
    // A row in the middle lands in the middle of the window.
    const std::uint64_t middle = index.Rows() / 2;
    const int middleRow = model.ShowRunRow(middle);
    QCOMPARE(middleRow, 500);
    QCOMPARE(ModelRowText(model, middleRow), Q(reference.texts[middle]));
    // A row inside the window does not move it.
    QCOMPARE(model.ShowRunRow(middle + 10), 510);
    QCOMPARE(model.ShowRunRow(index.Rows()), -1);
  }

  void modelGrowsWithTheIndex() {
    DamagedRun run;
    WriteDamagedRun(run, 60000);
    RunIndex index;
    RecordTableModel model;
    model.SetSource(run.request, index, nullptr);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    std::thread pass([&] { test::IndexAll(run.request, index); });
    int lastSeen = 0;
    while (!index.Complete()) {
      model.Refresh();
      QVERIFY(model.rowCount() >= lastSeen);
      lastSeen = model.rowCount();
      // A row already there reads the same whatever the index gained since.
      if (lastSeen > 0) QVERIFY(!model.index(lastSeen - 1, kColRef).data().isNull());
      QThread::msleep(2);
    }
    pass.join();
    model.Refresh();
    QCOMPARE(static_cast<std::uint64_t>(model.rowCount()), index.Rows());
    QVERIFY(!inserted.isEmpty());
    const ReferenceRows reference = ReadFromStart(run.request, index, nullptr);
    for (int r : {0, model.rowCount() / 3, model.rowCount() - 1}) {
      QCOMPARE(ModelRowText(model, r), Q(reference.texts[static_cast<std::size_t>(r)]));
    }
  }

  void filteredModelShowsTheMatches() {
    DamagedRun run;
    WriteDamagedRun(run);
    FilterInput input = FaultsOnly();
    input.equation = "SA == 2";
    const FilterCompilation compiled = CompileTableFilter(input);
    QVERIFY(compiled.filter);
    RunIndex all;
    test::IndexAll(run.request, all);
    RunIndex matches;
    IndexMatches(run.request, compiled.filter->Records(), matches);
    const ReferenceRows every = ReadFromStart(run.request, all, nullptr);
    const ReferenceRows shown = ReadFromStart(run.request, matches, &compiled.filter->Records());
    // The records a dump of the same filter shows, in order.
    struct Collector : RecordConsumer {
      std::vector<std::uint32_t> refs;
      bool OnRecord(const RecordView& view) override {
        if (view.Shown()) refs.push_back(view.RefNumber());
        return true;
      }
    } collector;
    RecordLoop loop(run.request, compiled.filter->Records(), RunControl(nullptr));
    RecordConsumer* const consumers[] = {&collector};
    QVERIFY(loop.Run(consumers).ok());
    QVERIFY(!collector.refs.empty());
    QCOMPARE(shown.refs, collector.refs);

    RecordTableModel model;
    model.SetSource(run.request, matches, &compiled.filter->Records());
    QCOMPARE(static_cast<std::size_t>(model.rowCount()), collector.refs.size());
    for (int r = 0; r < model.rowCount(); ++r) {
      const auto row = static_cast<std::size_t>(r);
      QCOMPARE(ModelRowText(model, r), Q(shown.texts[row]));
      QCOMPARE(model.index(r, 0).data(RecordTableModel::kRowClassRole).toInt(),
               static_cast<int>(RowClass::kFaulty));
      // The row as the whole table shows it, but for the delta: since the match before.
      const auto same = std::find(every.refs.begin(), every.refs.end(), shown.refs[row]);
      QStringList whole =
          Q(every.texts[static_cast<std::size_t>(same - every.refs.begin())]).split('|');
      QStringList filtered = Q(shown.texts[row]).split('|');
      filtered[kColDelta] = whole[kColDelta] = QString();
      QCOMPARE(filtered, whole);
    }
    // The first shown row's delta is 0, as the dump's first line.
    QCOMPARE(model.index(0, kColDelta).data().toString(), QStringLiteral("0.000"));
    if (model.rowCount() > 1) {
      const std::int64_t since = shown.times[1] - shown.times[0];
      QCOMPARE(model.index(1, kColDelta).data().toString(),
               QStringLiteral("%1.%2")
                   .arg(since / 1'000'000)
                   .arg(since / 1000 % 1000, 3, 10, QChar('0')));
    }
  }

  // --- Navigation ---

  void nextAndPreviousFault() {
    DamagedRun run;
    WriteDamagedRun(run);
    RunIndex index;
    test::IndexAll(run.request, index);
    const ReferenceRows reference = ReadFromStart(run.request, index, nullptr);
    RowReader reader(run.request, index, nullptr);
    const std::uint64_t rows = index.Rows();
    // Damaged frames, and the protocol faults with the late replies' own side.
    const auto damaged = [](RowClass c) { return c == RowClass::kFaulty; };
    const auto protocol = [](RowClass c) {
      return c >= RowClass::kNoReply && c <= RowClass::kTsynViolation;
    };
    const struct {
      std::uint16_t kinds;
      std::function<bool(RowClass)> counted;
    } walks[] = {{kMarkDamaged, damaged}, {kProtocolMarks | kMarkLateAnswer, protocol}};
    for (const auto& walk : walks) {
      auto linear = [&](std::uint64_t from, bool forward) -> std::optional<std::uint64_t> {
        if (forward) {
          for (std::uint64_t r = from; r < rows; ++r)
            if (walk.counted(reference.classes[r])) return r;
          return std::nullopt;
        }
        for (std::uint64_t r = std::min(from, rows - 1) + 1; r-- > 0;)
          if (walk.counted(reference.classes[r])) return r;
        return std::nullopt;
      };
      for (std::uint64_t from : {std::uint64_t{0}, rows / 4, rows / 2, rows - 1, rows + 5}) {
        for (bool forward : {true, false}) {
          QCOMPARE(FindFaultRow(reader, index, from, forward, walk.kinds), linear(from, forward));
        }
      }
      // From every marked row to the next one, through the whole run.
      std::optional<std::uint64_t> at = FindFaultRow(reader, index, 0, true, walk.kinds);
      std::uint64_t steps = 0;
      while (at) {
        QCOMPARE(at, linear(*at, true));
        at = FindFaultRow(reader, index, *at + 1, true, walk.kinds);
        ++steps;
      }
      QCOMPARE(steps, static_cast<std::uint64_t>(std::count_if(
                          reference.classes.begin(), reference.classes.end(), walk.counted)));
    }
  }

  void goToReferenceAndTime() {
    DamagedRun run;
    WriteDamagedRun(run);
    RunIndex index;
    test::IndexAll(run.request, index);
    const ReferenceRows reference = ReadFromStart(run.request, index, nullptr);
    RowReader reader(run.request, index, nullptr);
    std::map<std::uint32_t, std::uint64_t> rowOf;
    for (std::uint64_t r = 0; r < reference.refs.size(); ++r)
      if (reference.refs[r] != 0) rowOf[reference.refs[r]] = r;
    for (std::uint32_t ref : {1u, 2u, 4096u, 4097u, static_cast<std::uint32_t>(index.Records())}) {
      const std::optional<RecordRow> found = FindRecordRow(reader, index, ref);
      QVERIFY(found);
      QCOMPARE(found->row, rowOf.at(ref));
      QVERIFY(found->exact);
    }
    QVERIFY(!FindRecordRow(reader, index, 0));
    QVERIFY(!FindRecordRow(reader, index, static_cast<std::uint32_t>(index.Records() + 1)));

    // In a filtered table a record that is not shown goes to the next one shown.
    const FilterCompilation compiled = CompileTableFilter({"SA == 2", {}, {}});
    RunIndex matches;
    IndexMatches(run.request, compiled.filter->Records(), matches);
    const ReferenceRows shown = ReadFromStart(run.request, matches, &compiled.filter->Records());
    RowReader filtered(run.request, matches, &compiled.filter->Records());
    const std::uint32_t firstShown = shown.refs[0];
    const std::uint32_t secondShown = shown.refs[1];
    QVERIFY(secondShown > firstShown + 1);
    const std::optional<RecordRow> next = FindRecordRow(filtered, matches, firstShown + 1);
    QVERIFY(next);
    QCOMPARE(next->row, 1u);
    QVERIFY(!next->exact);

    // A time goes to the first record at or after it.
    for (std::uint64_t r :
         {std::uint64_t{0}, reference.times.size() / 3, reference.times.size() - 1}) {
      while (reference.refs[r] == 0) ++r;
      const std::uint64_t first = static_cast<std::uint64_t>(
          std::find(reference.times.begin(), reference.times.end(), reference.times[r]) -
          reference.times.begin());
      QCOMPARE(FindTimeRow(reader, index, reference.times[r]), std::optional<std::uint64_t>(first));
    }
    const auto firstRecord =
        static_cast<std::uint64_t>(std::find_if(reference.refs.begin(), reference.refs.end(),
                                                [](std::uint32_t ref) { return ref != 0; }) -
                                   reference.refs.begin());
    QCOMPARE(FindTimeRow(reader, index, -1), std::optional<std::uint64_t>(firstRecord));
    QCOMPARE(FindTimeRow(reader, index, std::numeric_limits<std::int64_t>::max()),
             std::optional<std::uint64_t>(index.Rows() - 1));
  }

  void textSearch() {
    DamagedRun run;
    WriteDamagedRun(run);
    RunIndex index;
    test::IndexAll(run.request, index);
    const ReferenceRows reference = ReadFromStart(run.request, index, nullptr);
    RowReader reader(run.request, index, nullptr);
    const std::vector<CaptureFileInfo> files = index.Files();
    std::vector<std::uint64_t> lost;
    for (std::uint64_t r = 0; r < reference.texts.size(); ++r)
      if (reference.texts[r].find("Synchronization Lost") != std::string::npos) lost.push_back(r);
    QVERIFY(!lost.empty());
    const std::uint64_t rows = index.Rows();
    struct Case {
      std::uint64_t from;
      bool forward;
      std::uint64_t row;
      bool wrapped;
    };
    const Case cases[] = {
        {0, true, lost.front(), false},
        {lost.front(), true, lost.front(), false},
        {lost.back() + 1, true, lost.front(), true},
        {rows - 1, false, lost.back(), false},
        {lost.front() - 1, false, lost.back(), true},
    };
    for (const Case& c : cases) {
      const TextSearchOutcome found = FindTextRow(
          reader, files, rows, {"synchronization LOST", c.from, c.forward}, nullptr, {});
      QCOMPARE(found.row, std::optional<std::uint64_t>(c.row));
      QCOMPARE(found.wrapped, c.wrapped);
    }
    TextSearch nowhere{"no such text", 10, true};
    std::uint64_t reports = 0;
    TextSearchOutcome none = FindTextRow(reader, files, rows, nowhere, nullptr,
                                         [&](std::uint64_t done, std::uint64_t total) {
                                           QVERIFY(done <= total);
                                           ++reports;
                                         });
    QVERIFY(!none.row);
    QVERIFY(reports >= rows / 4096 - 1);
    // A stop request ends the search at its next step.
    std::atomic<bool> stop{true};
    none = FindTextRow(reader, files, rows, nowhere, &stop, {});
    QVERIFY(none.stopped);
    QVERIFY(!none.row);
  }

  // --- The filter bar ---

  void quickFilterEquations() {
    const auto quick = [](std::optional<std::uint8_t> station, QuickService service,
                          std::optional<std::int32_t> gap,
                          StationSide side = StationSide::kEither) {
      QuickFilters q;
      q.station = station;
      q.stationSide = side;
      q.service = service;
      q.gapAboveUs = gap;
      return Q(QuickFilterEquation(q));
    };
    QCOMPARE(Q(QuickFilterEquation({})), QString());
    QCOMPARE(quick(5, QuickService::kAny, std::nullopt),
             QStringLiteral("(DA == 5 || SA == 5 || SD == SC)"));
    QCOMPARE(quick(5, QuickService::kAny, std::nullopt, StationSide::kSender),
             QStringLiteral("(SA == 5 || SD == SC)"));
    QCOMPARE(quick(5, QuickService::kTokens, std::nullopt, StationSide::kAddressee),
             QStringLiteral("(DA == 5) && (SD == SD4)"));
    QCOMPARE(quick(5, QuickService::kAny, std::nullopt, StationSide::kAnswering), QString());
    QCOMPARE(quick(std::nullopt, QuickService::kAny, 500), QStringLiteral("(GapTme > 500)"));
    QCOMPARE(quick(5, QuickService::kDiagnosis, 500),
             QStringLiteral("(DA == 5 || SA == 5 || SD == SC) && ((FC & 64) != 0 && DSAP == 60 || "
                            "(FC & 64) == 0 && SSAP == 60) && (GapTme > 500)"));
    for (const QuickServiceInfo& service : kQuickServices) {
      if (service.condition.empty()) continue;
      ShowOnlyProgram program;
      QVERIFY2(CompileShowOnlyText(std::string(service.condition) + "#", program).ok(),
               service.label.data());
    }
  }

  void theRunScrollBarSpansAnyRun() {
    // A day of a saturated line, a short run, one that fits a page.
    const struct {
      std::uint64_t rows;
      std::uint64_t page;
    } runs[] = {{2'500'000'000ull, 40}, {5000, 40}, {30, 40}, {0, 40}};
    for (const auto& run : runs) {
      const RowScroll scroll(run.rows, run.page);
      const std::uint64_t lastTop = run.rows > run.page ? run.rows - run.page : 0;
      QVERIFY(scroll.Maximum() >= 0);
      QVERIFY(static_cast<std::uint64_t>(scroll.Maximum()) <= RowScroll::kMaxSteps);
      // The ends are the run's ends, both ways.
      QCOMPARE(scroll.TopRowAt(0), std::uint64_t{0});
      QCOMPARE(scroll.TopRowAt(scroll.Maximum()), lastTop);
      QCOMPARE(scroll.ValueOf(0), 0);
      QCOMPARE(scroll.ValueOf(lastTop), scroll.Maximum());
      QCOMPARE(scroll.ValueOf(run.rows + 7), scroll.Maximum());
      // The thumb maps in proportion: the middle of the bar is the middle of the run.
      const std::uint64_t middle = scroll.TopRowAt(scroll.Maximum() / 2);
      QVERIFY(middle + 4 >= lastTop / 2 && middle <= lastTop / 2 + 4);
      // A value read back from its row is the value, one step at a time.
      const int some = scroll.Maximum() / 3;
      QCOMPARE(scroll.ValueOf(scroll.TopRowAt(some)), some);
      QVERIFY(scroll.PageStep() >= 1);
    }
  }

  void runFilesChangeOnDisk() {
    const auto state = [](std::vector<std::optional<std::uint64_t>> sizes, bool next) {
      RunFilesState st;
      for (std::size_t i = 0; i < sizes.size(); ++i) {
        st.files.push_back({"f" + std::to_string(i), sizes[i], sizes[i] ? 100 : 0});
      }
      st.nextExists = next;
      return st;
    };
    const RunFilesState read = state({500, 400}, false);
    const struct {
      const char* name;
      RunFilesState now;
      RunChange change;
    } rows[] = {
        {"as read", state({500, 400}, false), RunChange::kNone},
        {"the last file grew", state({500, 450}, false), RunChange::kGrown},
        {"the next minute file appeared", state({500, 400}, true), RunChange::kGrown},
        {"both", state({500, 450}, true), RunChange::kGrown},
        {"the last file shrank", state({500, 300}, false), RunChange::kChanged},
        {"an earlier file grew", state({600, 400}, false), RunChange::kChanged},
        {"a file went", state({500, std::nullopt}, false), RunChange::kChanged},
    };
    for (const auto& row : rows) {
      QVERIFY2(CompareRunFiles(read, row.now) == row.change, row.name);
    }
    // Touched without growing: not as it was read.
    RunFilesState touched = read;
    touched.files.back().modified = 200;
    QVERIFY(CompareRunFiles(read, touched) == RunChange::kChanged);
    QVERIFY(CompareRunFiles(state({500, 400}, true), read) == RunChange::kChanged);
  }

  void equationsAsTheyAreTyped() {
    const struct {
      const char* typed;
      EquationState state;
    } states[] = {{"", EquationState::kEmpty},
                  {"  ; a comment", EquationState::kEmpty},
                  {"SA == 5 && STS != STSOK", EquationState::kValid},
                  {"SA == == 5", EquationState::kInvalid},
                  {"Foo == 1", EquationState::kInvalid}};
    for (const auto& row : states) QVERIFY2(CheckEquation(row.typed) == row.state, row.typed);
    const struct {
      const char* text;
      std::size_t cursor;
      std::size_t start;
      std::size_t length;
    } words[] = {{"SA == ST", 8, 6, 2}, {"SA == ST", 1, 0, 2}, {"SA == ", 6, 6, 0},
                 {"(CmdArg", 7, 1, 6},  {"", 0, 0, 0},         {"DA", 99, 0, 2}};
    for (const auto& row : words) {
      const TypedWord word = WordAt(row.text, row.cursor);
      QVERIFY2(word.start == row.start && word.length == row.length, row.text);
    }
    const std::vector<std::string> names = EquationNames({"", "Slave", "", ""});
    QVERIFY(std::find(names.begin(), names.end(), "STSOK") != names.end());
    QCOMPARE(Q(names.back()), QStringLiteral("CmdArg[1] (Slave)"));
    QCOMPARE(Q(std::string(InsertedName(names.back()))), QStringLiteral("CmdArg[1]"));
    QCOMPARE(Q(std::string(InsertedName("GapTme"))), QStringLiteral("GapTme"));
  }

  void findingsLeadToTheirRecords() {
    constexpr auto kUnanswered =
        static_cast<std::uint16_t>(kMarkNoReply | kMarkLateReply | kMarkCorruptReply);
    const struct {
      FindingKind kind;
      std::optional<std::uint8_t> station;
      std::vector<std::uint32_t> dpRefs;
      StationSide side;
      std::uint16_t marks;
      QuickService service;
      std::optional<RowKind> eventRows = std::nullopt;
    } rows[] = {
        {FindingKind::kNoResponse, 5, {}, StationSide::kAddressee, kUnanswered, QuickService::kAny},
        {FindingKind::kRepeats, 5, {}, StationSide::kAddressee, kUnanswered, QuickService::kAny},
        {FindingKind::kLateResponses,
         5,
         {},
         StationSide::kAnswering,
         kMarkLateAnswer,
         QuickService::kAny},
        {FindingKind::kIllegalResponses,
         5,
         {},
         StationSide::kAnswering,
         kMarkIllegalAnswer,
         QuickService::kAny},
        {FindingKind::kEarlyResponses,
         5,
         {},
         StationSide::kAnswering,
         kMarkEarlyReply,
         QuickService::kAny},
        {FindingKind::kNegativeResponses,
         5,
         {},
         StationSide::kSender,
         kMarkNegativeReply,
         QuickService::kAny},
        {FindingKind::kDiagnosisFlagged,
         5,
         {},
         StationSide::kSender,
         kMarkDiagnosisFlagged,
         QuickService::kAny},
        {FindingKind::kTsynViolations,
         5,
         {},
         StationSide::kSender,
         kMarkTsynViolation,
         QuickService::kAny},
        {FindingKind::kTtrExceeded, 5, {}, StationSide::kAddressee, 0, QuickService::kTokens},
        {FindingKind::kDpDropped, 5, {}, StationSide::kEither, 0, QuickService::kDp},
        {FindingKind::kDpDropped, 5, {7, 9}, StationSide::kEither, 0, QuickService::kAny},
        {FindingKind::kFilesCutShort,
         {},
         {},
         StationSide::kEither,
         0,
         QuickService::kAny,
         RowKind::kFileCutShort},
        {FindingKind::kLastRecordCut,
         {},
         {},
         StationSide::kEither,
         0,
         QuickService::kAny,
         RowKind::kRecordCut},
    };
    for (const auto& row : rows) {
      BusFinding finding;
      finding.kind = row.kind;
      finding.station = row.station;
      finding.text = "the finding";
      const FindingRecords records = RecordsOfFinding(finding, row.dpRefs);
      const QuickFilters& q = records.quick;
      const QByteArray name(FindingKindTitle(row.kind).data());
      QVERIFY2(q.stationSide == row.side, name);
      QVERIFY2(q.marks == row.marks, name);
      QVERIFY2(q.service == row.service, name);
      QVERIFY2(records.eventRows == row.eventRows, name);
      QVERIFY2(q.dpEvents == !row.dpRefs.empty(), name);
      QVERIFY2(q.finding.empty() == row.eventRows.has_value(), name);
      QVERIFY2(q.station == (row.eventRows || !row.dpRefs.empty() ? std::nullopt : row.station),
               name);
    }
    BusFinding corrupt;
    corrupt.kind = FindingKind::kCorruptFrames;
    corrupt.numbers = {{"status_bits.c", 3}, {"corrupt", 9}};
    QCOMPARE(RecordsOfFinding(corrupt, {}).quick.corruptCause, CorruptCauseIndex("status_bits.c"));
  }

  void quickServices_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("services");  // the services whose condition holds
    auto frame = [](const gen::Frame& f) {
      return QByteArray(reinterpret_cast<const char*>(f.bytes.data()), static_cast<int>(f.size));
    };
    const std::uint8_t data[] = {1, 2, 3};
    using gen::kNoSap;
    using gen::MakeTelegram;
    QTest::newRow("SRD request") << frame(MakeTelegram(5, 2, 0x7D, kNoSap, kNoSap, data))
                                 << "Data exchange,DP services";
    QTest::newRow("SRD low request")
        << frame(MakeTelegram(5, 2, 0x5C, kNoSap, kNoSap, data)) << "Data exchange,DP services";
    QTest::newRow("data response")
        << frame(MakeTelegram(2, 5, 0x08, kNoSap, kNoSap, data)) << "Data exchange,DP services";
    QTest::newRow("status poll") << frame(MakeTelegram(5, 2, 0x49, kNoSap, kNoSap, {})) << "";
    QTest::newRow("status reply") << frame(MakeTelegram(2, 5, 0x00, kNoSap, kNoSap, {})) << "";
    QTest::newRow("Slave_Diag request")
        << frame(MakeTelegram(5, 2, 0x6D, 60, 62, {})) << "Diagnosis,DP services";
    QTest::newRow("Slave_Diag response")
        << frame(MakeTelegram(2, 5, 0x08, 62, 60, data)) << "Diagnosis,DP services";
    QTest::newRow("Set_Prm request")
        << frame(MakeTelegram(5, 2, 0x5D, 61, 62, data)) << "Parameters,DP services";
    QTest::newRow("Chk_Cfg request")
        << frame(MakeTelegram(5, 2, 0x5D, 62, 62, data)) << "Configuration,DP services";
    QTest::newRow("Get_Cfg response")
        << frame(MakeTelegram(2, 5, 0x08, 62, 59, data)) << "Configuration,DP services";
    QTest::newRow("Rd_Inp request") << frame(MakeTelegram(5, 2, 0x5D, 56, 62, {})) << "DP services";
    QTest::newRow("DP-V1 read request") << frame(MakeTelegram(5, 2, 0x5D, 51, 51, data)) << "";
    QTest::newRow("token") << frame(gen::MakeSd4(2, 5)) << "Tokens";
    // A short acknowledgement may answer a DP request: the station filter tells whose it is.
    QTest::newRow("short acknowledgement") << frame(gen::MakeSc()) << "DP services";
  }
  void quickServices() {
    QFETCH(QByteArray, frame);
    QFETCH(QString, services);
    QStringList holding;
    for (const QuickServiceInfo& service : kQuickServices) {
      if (service.condition.empty()) continue;
      ShowOnlyProgram program;
      QVERIFY(CompileShowOnlyText(std::string(service.condition) + "#", program).ok());
      if (Evaluate(program, std::vector<std::uint8_t>(frame.begin(), frame.end())) != 0)
        holding << Q(service.label);
    }
    QCOMPARE(holding.join(','), services);
  }

  void combinedFilter() {
    // The typed equation and the quick conditions hold together; the arguments reach the equation.
    FilterInput input;
    input.equation = "SA == CmdArg[1]  ; the master";
    input.args = {"", "0x2", "", ""};
    input.quick.station = 5;
    input.quick.gapAboveUs = 100;
    const FilterCompilation compiled = CompileTableFilter(input);
    QVERIFY(compiled.filter);
    QVERIFY(!compiled.error);
    const TableFilter& filter = *compiled.filter;
    QVERIFY(filter.Active());
    QCOMPARE(filter.CmdArgs()[1], 2);
    QCOMPARE(Q(filter.Records().program->text),
             QStringLiteral(
                 "(SA == CmdArg[1]  ) && (DA == 5 || SA == 5 || SD == SC) && (GapTme > 100)"));
    QCOMPARE(Q(filter.Description()),
             QStringLiteral("SA == CmdArg[1]  ; the master; station 5 and its acknowledgements; "
                            "gap above 100 us"));
    const auto request = Bytes(gen::MakeTelegram(5, 2, 0x7D, gen::kNoSap, gen::kNoSap, {}));
    const auto otherMaster = Bytes(gen::MakeTelegram(5, 3, 0x7D, gen::kNoSap, gen::kNoSap, {}));
    const auto otherSlave = Bytes(gen::MakeTelegram(6, 2, 0x7D, gen::kNoSap, gen::kNoSap, {}));
    const ShowOnlyProgram& program = *filter.Records().program;
    std::array<std::int32_t, 4> args = filter.CmdArgs();
    auto run = [&](const std::vector<std::uint8_t>& frame, std::int32_t gap) {
      std::vector<std::uint8_t> record = frame;
      record.push_back(0);
      return EvaluateShowOnly(
                 program, DecodeFrameFields(record.data(), static_cast<std::uint8_t>(frame.size())),
                 ByteView(record.data(), record.size()), gap, args) != 0;
    };
    QVERIFY(run(request, 101));
    QVERIFY(!run(request, 100));
    QVERIFY(!run(otherMaster, 500));
    QVERIFY(!run(otherSlave, 500));

    // Nothing to filter: no program, not active; faults only alone is active without one.
    const FilterCompilation none = CompileTableFilter({" ; just a comment", {}, {}});
    QVERIFY(none.filter && !none.filter->Active());
    FilterInput faults;
    faults.quick.marks = kMarkDamaged;
    const FilterCompilation onlyFaults = CompileTableFilter(faults);
    QVERIFY(onlyFaults.filter->Active());
    QVERIFY(onlyFaults.filter->Records().program == nullptr);
    QCOMPARE(onlyFaults.filter->Records().marks, std::uint16_t{kMarkDamaged});
    QCOMPARE(Q(onlyFaults.filter->Description()), QStringLiteral("faults only: Damaged frames"));
  }

  void filterErrors_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("start");  // -1: not placed
    QTest::addColumn<int>("length");
    const QString code = "Option ShowOnly Expression Error: ";
    const QString translation = "Invalid Option ShowOnly Equation: ";
    QTest::newRow("operator twice") << "SA == == 5" << code + "Missing Parameter ' == 5" << 6 << 2;
    QTest::newRow("open parenthesis") << "(SA == 5" << code + "Missing Parenthesis '5" << 7 << 1;
    QTest::newRow("unknown character") << "SA $ 5" << code + "Invalid Operator '$ 5" << 3 << 1;
    QTest::newRow("after a constant")
        << "STSCHK == ==" << code + "Missing Parameter ' ==" << 10 << 2;
    QTest::newRow("after an indexed field")
        << "DataByte[0x1A] > 3 )" << code + "Ambiguous Operator ')" << 19 << 1;
    QTest::newRow("at the start") << "* 5" << code + "Missing Parameter '* 5" << 0 << 1;
    QTest::newRow("at the end") << "SA ==" << code + "Missing Parameter '==" << 3 << 2;
    QTest::newRow("hexadecimal too long")
        << "DA == 0x12345" << code + "Invalid Value '5" << 12 << 1;
    QTest::newRow("operand after operand")
        << "SA (DA)" << code + "Missing Operator ' (P0)" << 3 << 1;
    QTest::newRow("undefined identifier")
        << "STS != 0 && Foo == 1" << translation + "Undefined Identifier 'Foo'" << 12 << 3;
    QTest::newRow("index not closed")
        << "DataWord[3 == 1" << translation + "']' Expected 'V3'" << 0 << 10;
    QTest::newRow("comment left out") << "SA == ; 5" << code + "Missing Parameter '== " << 3 << 2;
    QTest::newRow("too long") << QString(4097, ' ') + "1" << translation + "Equation Too Long" << -1
                              << 0;
  }
  void filterErrors() {
    QFETCH(QString, typed);
    QFETCH(QString, message);
    QFETCH(int, start);
    QFETCH(int, length);
    const FilterCompilation compiled = CompileTableFilter({S(typed), {}, {}});
    QVERIFY(!compiled.filter);
    QVERIFY(compiled.error);
    // The message is the dump's own, word for word.
    ShowOnlyProgram program;
    const std::string source = S(typed) + (typed.contains(';') ? "\n#" : "#");
    QCOMPARE(Q(compiled.error->message), Q(CompileShowOnlyText(source, program).ErrorText()));
    QCOMPARE(Q(compiled.error->message), message);
    QCOMPARE(compiled.error->placed, start >= 0);
    if (start >= 0) {
      QCOMPARE(static_cast<int>(compiled.error->start), start);
      QCOMPARE(static_cast<int>(compiled.error->length), length);
    }
  }

  // --- The open run ---

  void sessionIndexesFiltersAndCloses() {
    DamagedRun run;
    WriteDamagedRun(run);
    RunIndex index;
    test::IndexAll(run.request, index);
    RunSession session;
    SessionLog log(session);
    QSignalSpy sources(&session, &RunSession::SourceChanged);
    // Every record of every file, whatever window and output the request had.
    DumpRequest request = run.request;
    request.StartRef = 10;
    request.EndRef = 20;
    request.OutputPath = "/out.txt";
    session.Open(request);
    QCOMPARE(session.Run()->StartRef, 0u);
    QCOMPARE(session.Run()->EndRef, 0xFFFFFFFFu);
    QVERIFY(session.Run()->OutputPath.empty());
    QVERIFY(!sources.isEmpty());
    QVERIFY(session.Indexing());
    QCOMPARE(session.ShownTask(), std::optional(RunSession::kIndexTask));
    QCOMPARE(session.TaskLabel(RunSession::kIndexTask), QStringLiteral("Reading the run"));
    QVERIFY(session.CountText().endsWith(QStringLiteral(" records so far")));
    QVERIFY(WaitForPasses(session));
    QTRY_COMPARE(log.indexLines.size(), 1);
    QCOMPARE(session.Index()->Rows(), index.Rows());
    QCOMPARE(session.ShownIndex(), session.Index());
    QCOMPARE(log.indexLines.front(),
             QStringLiteral("Line12359.FdcCapt (3 minutes): %1 records").arg(index.Records()));
    QCOMPARE(log.indexFailures.front(), QString());
    QCOMPARE(session.CountText(), QStringLiteral("%1 records").arg(index.Records()));
    QVERIFY(!session.YieldsNoRecord());
    QVERIFY(!session.ShownTask());

    // An equation with an error keeps the filter as it was.
    QVERIFY(session.ApplyFilter({"SA == == 5", {}, {}}));
    QVERIFY(session.CurrentFilter() == nullptr);
    QVERIFY(!session.Filtering());
    // Faults only: the table shows the matches while they are found.
    QVERIFY(!session.ApplyFilter(FaultsOnly()));
    QVERIFY(session.Filtering());
    QVERIFY(session.ShowsMatches());
    QVERIFY(session.ShownFilter() == &session.CurrentFilter()->Records());
    QVERIFY(WaitForPasses(session));
    RunIndex matches;
    IndexMatches(run.request, session.CurrentFilter()->Records(), matches);
    QCOMPARE(session.ShownIndex()->Rows(), matches.Rows());
    QCOMPARE(session.CountText(),
             QStringLiteral("%1 of %2 records shown").arg(matches.Rows()).arg(index.Records()));
    // Nothing to filter: every row again, at once.
    QVERIFY(!session.ApplyFilter({}));
    QVERIFY(!session.Filtering());
    QVERIFY(!session.ShowsMatches());
    QCOMPARE(session.ShownIndex(), session.Index());
    QVERIFY(session.ShownFilter() == nullptr);

    QVERIFY(session.Close());
    QVERIFY(!session.HasRun());
    QVERIFY(session.ShownIndex() == nullptr);
    QCOMPARE(session.CountText(), QString());
    QVERIFY(!session.Close());
  }

  void sessionFinds() {
    DamagedRun run;
    WriteDamagedRun(run);
    RunSession session;
    SessionLog log(session);
    session.Open(run.request);
    QVERIFY(WaitForPasses(session));
    const ReferenceRows reference = ReadFromStart(run.request, *session.Index(), nullptr);
    std::vector<std::uint64_t> lost;
    for (std::uint64_t r = 0; r < reference.texts.size(); ++r)
      if (reference.texts[r].find("Synchronization Lost") != std::string::npos) lost.push_back(r);
    QVERIFY(!lost.empty());
    const std::uint64_t rows = session.Index()->Rows();
    const QString text = QStringLiteral("synchronization lost");

    QVERIFY(session.StartFind(text, true, std::nullopt, rows));
    QCOMPARE(session.TaskLabel(RunSession::kFindTask),
             QStringLiteral("Finding \"synchronization lost\""));
    QTRY_COMPARE(log.finds.size(), 1);
    QVERIFY(log.finds.back().current);
    QCOMPARE(log.finds.back().row, std::optional(lost.front()));
    QCOMPARE(log.finds.back().barText, QString());
    // After the last one the search goes round the end.
    QVERIFY(session.StartFind(text, true, lost.back(), rows));
    QTRY_COMPARE(log.finds.size(), 2);
    QCOMPARE(log.finds.back().row, std::optional(lost.front()));
    QCOMPARE(log.finds.back().barText, QStringLiteral("Found after going round the end"));
    QVERIFY(session.StartFind(QStringLiteral("no such text"), false, 0, rows));
    QTRY_COMPARE(log.finds.size(), 3);
    QVERIFY(!log.finds.back().row);
    QCOMPARE(log.finds.back().barText, QStringLiteral("Not found"));
    QCOMPARE(log.finds.back().statusLine, QStringLiteral("\"no such text\" was not found"));
    // Nothing to search.
    QVERIFY(!session.StartFind(QString(), true, std::nullopt, rows));
    QVERIFY(!session.StartFind(text, true, std::nullopt, 0));
    QVERIFY(!session.Finding());
  }

  void sessionExportsTheRecordsShown() {
    DamagedRun run;
    WriteDamagedRun(run);
    RunSession session;
    SessionLog log(session);
    session.Open(run.request);
    QVERIFY(!session.ApplyFilter(FaultsOnly()));
    QVERIFY(WaitForPasses(session));
    const std::uint64_t shown = session.ShownIndex()->Rows();
    QVERIFY(shown > 0);

    // The text dump has the columns of the bar's option file, and offers the dump's name.
    session.SetOptionFile(QString::fromLocal8Bit(qgetenv("FDC_SOURCE_DIR")) +
                          QStringLiteral("/samples/Compact.opt"));
    QCOMPARE(session.SuggestedExportPath(ExportFormat::kText),
             run.dir.filePath(QStringLiteral("Line12359_Compact.txt")));
    QCOMPARE(session.SuggestedExportPath(ExportFormat::kPcapng),
             run.dir.filePath(QStringLiteral("Line12359_Compact.pcapng")));
    const QString text = run.dir.filePath(QStringLiteral("faults.txt"));
    QString refusal;
    QVERIFY2(session.StartExport(text, ExportFormat::kText, &refusal), qPrintable(refusal));
    QCOMPARE(session.ShownTask(), std::optional(RunSession::kExportTask));
    QTRY_COMPARE(log.exports.size(), 1);
    QVERIFY(log.exports.back().ok);
    QCOMPARE(log.exports.back().message,
             QStringLiteral("%1 records exported to faults.txt").arg(shown));
    const QStringList lines = QString::fromLatin1(test::ReadTextFile(text)).split('\n');
    // Record lines: the reference number, then the columns (a lost sync's second line has the
    // number too, then its offset).
    std::uint64_t recordLines = 0;
    for (const QString& line : lines) {
      if (line.size() > 10 && line[9] == ':' && line.left(9).trimmed().toUInt() > 0 &&
          !line.mid(10).startsWith(QStringLiteral(" Ofs="))) {
        ++recordLines;
      }
    }
    QCOMPARE(recordLines, shown);
    QVERIFY(lines.contains(QStringLiteral("End of Capture Data")));

    const QString pcapng = run.dir.filePath(QStringLiteral("faults.pcapng"));
    QVERIFY(session.StartExport(pcapng, ExportFormat::kPcapng));
    QTRY_COMPARE(log.exports.size(), 2);
    QVERIFY(log.exports.back().ok);
    QVERIFY(test::ReadTextFile(pcapng).startsWith(QByteArray("\x0a\x0d\x0d\x0a", 4)));
  }

  void exportRefusals_data() {
    QTest::addColumn<bool>("open");
    QTest::addColumn<bool>("exporting");   // an export runs already
    QTest::addColumn<QString>("output");   // in the run's folder; "%first": the run's first file
    QTest::addColumn<QString>("options");  // the option file, in the run's folder
    QTest::addColumn<QString>("message");  // "%first" and "%dir" stand for the run's
    QTest::newRow("no run") << false << false << "a.txt"
                            << ""
                            << "No run is open.";
    QTest::newRow("an export running") << true << true << "b.txt"
                                       << ""
                                       << "An export is running.";
    QTest::newRow("over the run") << true << false << "%first"
                                  << ""
                                  << "The output file would overwrite the input file %first";
    QTest::newRow("an option file that is not there") << true << false << "c.txt"
                                                      << "none.opt"
                                                      << "Unable to Open Option File %dir/none.opt";
  }
  void exportRefusals() {
    QFETCH(bool, open);
    QFETCH(bool, exporting);
    QFETCH(QString, output);
    QFETCH(QString, options);
    QFETCH(QString, message);
    DamagedRun run;
    WriteDamagedRun(run, 300);
    auto inRun = [&run](QString text) {
      return text.replace(QStringLiteral("%first"), Q(run.first))
          .replace(QStringLiteral("%dir"), run.dir.path());
    };
    RunSession session;
    if (open) session.Open(run.request);
    session.SetOptionFile(options.isEmpty() ? QString() : run.dir.filePath(options));
    if (exporting)
      QVERIFY(session.StartExport(run.dir.filePath("first.txt"), ExportFormat::kPcapng));
    const QString path = output == "%first" ? Q(run.first) : run.dir.filePath(output);
    QString refusal;
    QVERIFY(!session.StartExport(path, ExportFormat::kText, &refusal));
    QVERIFY2(refusal.startsWith(inRun(message)), qPrintable(refusal));
    QCOMPARE(session.Exporting(), exporting);
  }

  void sessionTasksShowTheLastStartedAndStop() {
    QTemporaryDir dir;
    const QString first = test::WriteLongRun(dir.path());
    QVERIFY(!first.isEmpty());
    const DumpRequestPlan plan = PlanRunRequest(S(first), 1439);
    QVERIFY(plan.ok());
    RunSession session;
    SessionLog log(session);
    QSignalSpy changes(&session, &RunSession::TasksChanged);
    session.Open(plan.request);
    QVERIFY(!session.ApplyFilter({"SA == 2 && GapTme > 50", {}, {}}));
    QCOMPARE(session.ShownTask(), std::optional(RunSession::kFilterTask));
    QCOMPARE(session.TaskLabel(RunSession::kFilterTask), QStringLiteral("Filtering"));
    QTRY_VERIFY_WITH_TIMEOUT(session.ShownIndex()->Rows() > 0, 30000);
    QVERIFY(session.CountText().contains(QStringLiteral(" shown so far (")));
    // Stop ends the task shown, the one started last; the one before shows again.
    const qsizetype before = changes.size();
    session.StopShownTask();
    QVERIFY(changes.size() > before);
    QVERIFY(session.TaskStopRequested(RunSession::kFilterTask));
    QTRY_VERIFY_WITH_TIMEOUT(!session.Filtering(), 5000);
    QVERIFY(session.CountText().contains(QStringLiteral("shown, stopped at")));
    QVERIFY(session.Indexing());
    QCOMPARE(session.ShownTask(), std::optional(RunSession::kIndexTask));
    session.StopShownTask();
    QTRY_COMPARE_WITH_TIMEOUT(log.indexLines.size(), 1, 5000);
    QVERIFY2(log.indexLines.front().contains(QStringLiteral(" records, stopped at ")),
             qPrintable(log.indexLines.front()));
    QVERIFY(!session.ShownTask());
    // A stopped pass does not say that the run yields no record.
    QVERIFY(!session.YieldsNoRecord());
  }

  // --- Background task ---

  void backgroundTaskProgressStopAndCancel() {
    BackgroundTask task;
    QSignalSpy done(&task, &BackgroundTask::Done);
    QSignalSpy progress(&task, &BackgroundTask::Progress);
    std::atomic<bool> started{false};
    QVERIFY(task.Start([&](const RunControl& control) {
      started = true;
      RunProgress p;
      for (unsigned percent = 0; !control.StopRequested(); percent = (percent + 1) % 100) {
        p.filePercent = percent;
        control.progress->OnProgress(p);
        std::this_thread::sleep_for(std::chrono::microseconds(100));
      }
      return Result::Error("stopped");
    }));
    QVERIFY(!task.Start([](const RunControl&) { return Result::Ok(); }));
    QTRY_VERIFY(!progress.isEmpty());
    task.RequestStop();
    QTRY_COMPARE(done.size(), 1);
    const std::optional<Result> result = task.Collect();
    QVERIFY(result && result->failed());
    QCOMPARE(Q(result->ErrorText()), QStringLiteral("stopped"));
    QVERIFY(!task.Active());

    // A cancelled job says nothing more, and the next one's Done is its own.
    QVERIFY(task.Start([](const RunControl& control) {
      while (!control.StopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return Result::Ok();
    }));
    task.Cancel();
    QVERIFY(!task.Active());
    QVERIFY(task.Start([](const RunControl&) { return Result::Ok(); }));
    QTRY_COMPARE(done.size(), 2);
    QTest::qWait(50);
    QCOMPARE(done.size(), 2);
    QVERIFY(task.Collect()->ok());
  }
};

int main(int argc, char** argv) {
  fdc::ui::test::IsolateSettings();
  QCoreApplication app(argc, argv);
  TableLogicTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "table_logic_test.moc"
