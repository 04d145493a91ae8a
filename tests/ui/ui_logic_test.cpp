// The desktop application's logic without a display: settings, the dialog's checks and their
// order, Execute's request, the dump's worker thread and what is said about its run, the
// description reader, the file dialogs' start, the editor command, the indicators and the
// dialog geometry.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRect>
#include <QSettings>
#include <QTest>
#include <QThread>
#include <climits>
#include <string>

#include "tests/ui/ui_test_support.h"
#include "ui/common/app_settings.h"
#include "ui/common/browse_start.h"
#include "ui/common/dialog_geometry.h"
#include "ui/common/editor_command.h"
#include "ui/common/key_locks.h"
#include "ui/common/option_description.h"
#include "ui/common/task_progress.h"
#include "ui/dump_dialog/dump_worker.h"
#include "ui/dump_dialog/run_report.h"
#include "ui/dump_dialog/text_dump_values.h"
#include "ui/program_arguments.h"

using namespace fdc::ui;
using fdc::ui::test::FakeControls;

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

QSettings NativeStore() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("OrvTelo"),
                   QStringLiteral("TeloFdcCaptAnlz"));
}

// One setting of an AppSettings as text, by its stored name.
QString SettingText(const AppSettings& s, const QString& name) {
  if (name == "WinMinX") return QString::number(s.WinMinX);
  if (name == "WinMinY") return QString::number(s.WinMinY);
  if (name == "WinMaxX") return QString::number(s.WinMaxX);
  if (name == "WinMaxY") return QString::number(s.WinMaxY);
  if (name == "DumpFile") return Q(s.DumpFile);
  if (name == "OptFile") return Q(s.OptFile);
  if (name == "EditorPath") return Q(s.EditorPath);
  if (name == "AutoEdit") return QString::number(s.AutoEdit);
  return QStringLiteral("<unknown setting>");
}

// Texts that pass every check.
FakeControls ValidControls() {
  FakeControls controls;
  controls.texts = {{kIdFileName, "C:\\cap\\Line11430.FdcCapt"},
                    {kIdOptionFile, "C:\\opt\\ORV_PB_All.opt"},
                    {kIdEndRef, "0"},
                    {kIdNumMin, "1"},
                    {kIdStartRef, "0"},
                    {kIdEditorPath, "/usr/bin/xdg-open"}};
  return controls;
}

// "1034=abc" rows of a table into control texts.
void ApplyOverrides(FakeControls& controls, const QStringList& overrides) {
  for (const QString& row : overrides) {
    const qsizetype cut = row.indexOf('=');
    controls.texts[row.left(cut).toInt()] = S(row.mid(cut + 1));
  }
}

constexpr std::array<bool, 4> kAllNamed = {true, true, true, true};

// A dump of the run <dir>/<name>HHMM.FdcCapt from 12:00 into <dir>/out.txt.
fdc::DumpRequest RequestFor(const QTemporaryDir& dir, const QString& name, std::uint32_t minutes,
                            const QString& optionFile = QString()) {
  fdc::DumpRequest request;
  request.Run.base = S(dir.filePath(name));
  request.OutputPath = S(dir.filePath("out.txt"));
  request.OptionPath = S(optionFile);
  request.Run.hour = 12;
  request.Run.minute = 0;
  request.Run.count = minutes;
  return request;
}

// Three minute files of 500 records each: <dir>/run1200.FdcCapt to run1202.
bool WriteShortRun(const QTemporaryDir& dir) {
  fdc::gen::RunPlan plan;
  plan.base = S(dir.filePath("run"));
  plan.minutes = 3;
  plan.recordsPerMinute = 500;
  return fdc::gen::GenerateRun(plan).ok();
}

// What a worker delivered.
struct WorkerLog {
  QList<ProgressSnapshot> progress;
  int done = 0;
};

void Listen(DumpWorker& worker, QObject* context, WorkerLog& log) {
  QObject::connect(&worker, &DumpWorker::Progress, context,
                   [&log](const ProgressSnapshot& progress) { log.progress << progress; });
  QObject::connect(&worker, &DumpWorker::Done, context, [&log] { ++log.done; });
}

bool DumpEndsWith(const QTemporaryDir& dir, const char* end) {
  return fdc::ui::test::ReadTextFile(dir.filePath("out.txt")).endsWith(end);
}

const QString kInvalidName = QStringLiteral(
    "Invalid Capture File Name\n"
    "It must be in the following form:\n"
    "<name>HHMM.FdcCapt\n"
    "Note:\n"
    "<name> is the user defined portion of the name\n"
    "HH is the hour   the file was created\n"
    "MM is the minute the file was created");

}  // namespace

class UiLogicTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    QSettings store = NativeStore();
    store.clear();
    store.sync();
  }

  void settingsStored_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty DumpFile") << "DumpFile"
                                    << ""
                                    << "FdcCapt.FdcCapt";
    QTest::newRow("empty OptFile") << "OptFile"
                                   << ""
                                   << "/opt/fdc/ORV_PB_All.opt";
    QTest::newRow("empty EditorPath") << "EditorPath"
                                      << ""
                                      << "/usr/bin/xdg-open";
    QTest::newRow("blank DumpFile is not empty") << "DumpFile"
                                                 << " "
                                                 << " ";
    QTest::newRow("stored DumpFile") << "DumpFile"
                                     << "/cap/Line11430.FdcCapt"
                                     << "/cap/Line11430.FdcCapt";
    QTest::newRow("AutoEdit 0") << "AutoEdit"
                                << "0"
                                << "0";
    QTest::newRow("AutoEdit 7 kept") << "AutoEdit"
                                     << "7"
                                     << "7";
    QTest::newRow("negative edge kept") << "WinMinX"
                                        << "-300"
                                        << "-300";
    QTest::newRow("inverted edge kept") << "WinMaxX"
                                        << "5"
                                        << "5";
    QTest::newRow("not a number") << "WinMaxX"
                                  << "wide"
                                  << "480";
    QTest::newRow("beyond 32 bits") << "WinMaxY"
                                    << "99999999999"
                                    << "450";
  }
  void settingsStored() {
    QFETCH(QString, name);
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    {
      QSettings store = NativeStore();
      store.setValue("Settings/" + name, stored);
      store.sync();
    }
    QSettings store = NativeStore();
    QCOMPARE(SettingText(ReadAppSettings(store, "/opt/fdc"), name), expected);
  }

  void settingsRoundTrip_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("windows path") << "C:\\cap\\Line11430.FdcCapt";
    QTest::newRow("comma, semicolon, equals, hash") << "/a,b/c;d=e#f.FdcCapt";
    QTest::newRow("non-ASCII") << QString::fromUtf8("/tmp/\xC3\xBC \xC3\xA4/x.opt");
    QTest::newRow("quotes") << "/cap/\"quoted\" name.FdcCapt";
    QTest::newRow("outer blanks") << "  /cap/x.FdcCapt  ";
    QTest::newRow("300 characters") << "/" + QString(299, 'p');
    QTest::newRow("group-like") << "[Settings]";
  }
  void settingsRoundTrip() {
    QFETCH(QString, text);
    AppSettings written{-7, 3, 1500, 1200, S(text), S(text) + ".opt", S(text) + "-ed", 0, {}};
    written.Window.GsdFolders = {S(text), S(text) + "/gsd"};
    {
      QSettings store = NativeStore();
      WriteAppSettings(store, written);
      store.sync();
      QCOMPARE(store.status(), QSettings::NoError);
    }
    QSettings store = NativeStore();
    const AppSettings read = ReadAppSettings(store, "/opt/fdc");
    for (const char* name : {"WinMinX", "WinMinY", "WinMaxX", "WinMaxY", "DumpFile", "OptFile",
                             "EditorPath", "AutoEdit"}) {
      QCOMPARE(SettingText(read, name), SettingText(written, name));
    }
    QCOMPARE(read.Window.GsdFolders, written.Window.GsdFolders);
    // A list of one folder, as it is most often.
    written.Window.GsdFolders.pop_back();
    {
      QSettings again = NativeStore();
      WriteAppSettings(again, written);
    }
    QSettings again = NativeStore();
    QCOMPARE(ReadAppSettings(again, "/opt/fdc").Window.GsdFolders, written.Window.GsdFolders);
  }

  void storeChecks_data() {
    QTest::addColumn<QStringList>("overrides");
    QTest::addColumn<int>("failedId");
    QTest::addColumn<QString>("message");
    const QString positive = "Please enter a positive integer.";
    const QString range = "Please enter an integer between 1 and 1439.";
    const QString long256 = "Please enter no more than 256 characters.";
    const QString long20 = "Please enter no more than 20 characters.";
    const QString p256 = QString(252, 'f') + "1430";
    QTest::newRow("all valid") << QStringList{} << 0 << "";
    QTest::newRow("FileName 256") << QStringList{"1024=" + p256} << 0 << "";
    QTest::newRow("FileName 257") << QStringList{"1024=x" + p256} << 1024 << long256;
    QTest::newRow("FileName 256 two-byte characters")
        << QStringList{"1024=" + QString(256, QChar(0xFC))} << 0 << "";
    QTest::newRow("OptionFile 257") << QStringList{"1025=" + QString(257, 'o')} << 1025 << long256;
    QTest::newRow("EndRef abc") << QStringList{"1035=abc"} << 1035 << positive;
    QTest::newRow("EndRef empty") << QStringList{"1035="} << 1035 << positive;
    QTest::newRow("EndRef blanks only") << QStringList{"1035=   "} << 1035 << positive;
    QTest::newRow("EndRef sign only") << QStringList{"1035=-"} << 1035 << positive;
    QTest::newRow("NumMin 0") << QStringList{"1036=0"} << 1036 << range;
    QTest::newRow("NumMin 1440") << QStringList{"1036=1440"} << 1036 << range;
    QTest::newRow("NumMin -1") << QStringList{"1036=-1"} << 1036 << range;
    QTest::newRow("NumMin 1") << QStringList{"1036=1"} << 0 << "";
    QTest::newRow("NumMin 1439") << QStringList{"1036=1439"} << 0 << "";
    QTest::newRow("NumMin x") << QStringList{"1036=x"} << 1036 << positive;
    QTest::newRow("StartRef abc") << QStringList{"1034=abc"} << 1034 << positive;
    QTest::newRow("StartRef empty") << QStringList{"1034="} << 1034 << positive;
    QTest::newRow("StartRef 12abc") << QStringList{"1034=12abc"} << 0 << "";
    // Digits beyond 32 bits are refused rather than cut to their low 32 bits.
    QTest::newRow("EndRef 4294967295") << QStringList{"1035=4294967295"} << 0 << "";
    QTest::newRow("EndRef 4294967296") << QStringList{"1035=4294967296"} << 1035 << positive;
    QTest::newRow("StartRef -4294967297") << QStringList{"1034=-4294967297"} << 1034 << positive;
    QTest::newRow("NumMin 4294967297") << QStringList{"1036=4294967297"} << 1036 << range;
    QTest::newRow("ArgValue0 21") << QStringList{"1037=" + QString(21, '1')} << 1037 << long20;
    QTest::newRow("ArgValue3 21") << QStringList{"1040=" + QString(21, '1')} << 1040 << long20;
    QTest::newRow("ArgValue2 20") << QStringList{"1039=" + QString(20, '1')} << 0 << "";
    QTest::newRow("EditorPath has no limit")
        << QStringList{"1029=/" + QString(999, 'e')} << 0 << "";
    QTest::newRow("display lines have no limit")
        << QStringList{"1044=" + QString(400, 'd'), "1031=" + QString(300, 'n')} << 0 << "";
    // The exchange order, not the screen order, decides which field is reported.
    QTest::newRow("FileName before EndRef")
        << QStringList{"1024=x" + p256, "1035=abc"} << 1024 << long256;
    QTest::newRow("OptionFile before EndRef")
        << QStringList{"1025=" + QString(257, 'o'), "1035=abc"} << 1025 << long256;
    QTest::newRow("EndRef before NumMin") << QStringList{"1035=abc", "1036=0"} << 1035 << positive;
    QTest::newRow("NumMin before StartRef") << QStringList{"1034=abc", "1036=0"} << 1036 << range;
    QTest::newRow("StartRef before ArgValue0")
        << QStringList{"1034=abc", "1037=" + QString(21, '1')} << 1034 << positive;
    QTest::newRow("ArgValue1 before ArgValue2")
        << QStringList{"1039=" + QString(21, '2'), "1038=" + QString(21, '1')} << 1038 << long20;
  }
  void storeChecks() {
    QFETCH(QStringList, overrides);
    QFETCH(int, failedId);
    QFETCH(QString, message);
    FakeControls controls = ValidControls();
    ApplyOverrides(controls, overrides);
    TextDumpValues values;
    const StoreOutcome outcome = StoreFields(controls, values);
    QCOMPARE(outcome.ok, failedId == 0);
    QCOMPARE(outcome.failedId, failedId);
    QCOMPARE(Q(outcome.message), message);
  }

  void numberReading_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<uint>("value");
    QTest::addColumn<QString>("shownAgain");
    QTest::newRow("trailing letters") << "12abc" << 12u << "12";
    QTest::newRow("minus one wraps") << "-1" << 4294967295u << "4294967295";
    QTest::newRow("leading blanks") << "   7" << 7u << "7";
    QTest::newRow("hex is not read") << "0x10" << 0u << "0";
  }
  void numberReading() {
    QFETCH(QString, text);
    QFETCH(uint, value);
    QFETCH(QString, shownAgain);
    FakeControls controls = ValidControls();
    controls.texts[kIdStartRef] = S(text);
    TextDumpValues values;
    QVERIFY(StoreFields(controls, values).ok);
    QCOMPARE(values.StartRef, value);
    LoadFields(values, controls);
    QCOMPARE(Q(controls.texts[kIdStartRef]), shownAgain);
  }

  void failedStoreKeepsEarlierFields() {
    FakeControls controls = ValidControls();
    controls.texts[kIdFileName] = "/new/Line10800.FdcCapt";
    controls.texts[kIdEndRef] = "99";
    controls.texts[kIdNumMin] = "0";
    controls.texts[kIdStartRef] = "5";
    controls.texts[kIdArgValue0] = "17";
    controls.autoEdit = true;
    TextDumpValues values;
    values.NumMin = 3;
    QVERIFY(!StoreFields(controls, values).ok);
    QCOMPARE(values.FileName, std::string("/new/Line10800.FdcCapt"));
    QCOMPARE(values.EndRef, 99u);
    QCOMPARE(values.NumMin, 3u);  // the failing field keeps its valid value
    QCOMPARE(values.StartRef, 0u);
    QCOMPARE(values.AutoEdit, false);
    QCOMPARE(values.ArgValue[0], std::string());
  }

  void loadShowsTooLongTextWhole() {
    // A path longer than the limit (from the settings) must reach the control uncut, so that the
    // next store reports it rather than a silently shortened path being used.
    TextDumpValues values;
    values.FileName = std::string(300, 'f');
    FakeControls controls;
    LoadFields(values, controls);
    QCOMPARE(controls.limits[kIdFileName], std::size_t{0});
    QCOMPARE(controls.texts[kIdFileName].size(), std::size_t{300});
    QCOMPARE(Q(StoreFields(controls, values).message),
             QStringLiteral("Please enter no more than 256 characters."));
  }

  void planExecute_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("optionFile");
    QTest::addColumn<uint>("endRef");
    QTest::addColumn<QString>("message");  // empty: the run goes ahead
    QTest::addColumn<QString>("base");
    QTest::addColumn<uint>("hour");
    QTest::addColumn<uint>("minute");
    QTest::addColumn<QString>("output");
    QTest::addColumn<uint>("requestEndRef");
    QTest::newRow("windows example")
        << "C:\\cap\\Line11430.FdcCapt"
        << "C:\\opt\\ORV_PB_All.opt" << 0u << ""
        << "C:\\cap\\Line1" << 14u << 30u << "C:\\cap\\Line11430_ORV_PB_All.txt" << 0xFFFFFFFFu;
    QTest::newRow("posix paths, EndRef kept")
        << "/cap/Line11430.FdcCapt"
        << "/opt/Station.opt" << 500u << ""
        << "/cap/Line1" << 14u << 30u << "/cap/Line11430_Station.txt" << 500u;
    QTest::newRow("upper-case extension")
        << "D:\\x\\A0959.FDCCAPT"
        << "C:\\opt\\Station.opt" << 0u << ""
        << "D:\\x\\A" << 9u << 59u << "D:\\x\\A0959_Station.txt" << 0xFFFFFFFFu;
    QTest::newRow("exactly twelve characters") << "1430.FdcCapt"
                                               << "/opt/ORV_PB_All.opt" << 1u << ""
                                               << "" << 14u << 30u << "1430_ORV_PB_All.txt" << 1u;
    QTest::newRow("hour 99") << "/c/9959.FdcCapt"
                             << "/o/a.opt" << 0u << ""
                             << "/c/" << 99u << 59u << "/c/9959_a.txt" << 0xFFFFFFFFu;
    QTest::newRow("option folder with a dot")
        << "C:\\cap\\Line11430.FdcCapt"
        << "C:\\data.old\\opts" << 0u << ""
        << "C:\\cap\\Line1" << 14u << 30u << "C:\\cap\\Line11430_data.txt" << 0xFFFFFFFFu;
    QTest::newRow("option without a dot")
        << "/cap/Line11430.FdcCapt"
        << "opts" << 0u << ""
        << "/cap/Line1" << 14u << 30u << "/cap/Line11430_.txt" << 0xFFFFFFFFu;
    QTest::newRow("minute 60") << "1260.FdcCapt"
                               << "/o/a.opt" << 0u << "Invalid Capture File Name Minute (00-59)\n"
                               << "" << 0u << 0u << "" << 0u;
    QTest::newRow("too short") << "1.FdcCapt"
                               << "/o/a.opt" << 0u << kInvalidName << "" << 0u << 0u << "" << 0u;
    QTest::newRow("no digits") << "abcd.FdcCapt"
                               << "/o/a.opt" << 0u << kInvalidName << "" << 0u << 0u << "" << 0u;
    QTest::newRow("extension then .bak")
        << "Line11430.FdcCapt.bak"
        << "/o/a.opt" << 0u << kInvalidName << "" << 0u << 0u << "" << 0u;
    QTest::newRow("wrong extension")
        << "Line11430.txt"
        << "/o/a.opt" << 0u << kInvalidName << "" << 0u << 0u << "" << 0u;
    QTest::newRow("empty") << ""
                           << "/o/a.opt" << 0u << kInvalidName << "" << 0u << 0u << "" << 0u;
  }
  void planExecute() {
    QFETCH(QString, fileName);
    QFETCH(QString, optionFile);
    QFETCH(uint, endRef);
    QFETCH(QString, message);
    TextDumpValues values;
    values.FileName = S(fileName);
    values.OptionFile = S(optionFile);
    values.EndRef = endRef;
    values.StartRef = 4;
    values.NumMin = 1439;
    const ExecutePlan plan = PlanExecute(values, kAllNamed);
    QCOMPARE(Q(plan.message), message);
    QCOMPARE(plan.step == ExecutePlan::Step::kRun, message.isEmpty());
    if (!message.isEmpty()) return;
    QFETCH(QString, base);
    QFETCH(uint, hour);
    QFETCH(uint, minute);
    QFETCH(QString, output);
    QFETCH(uint, requestEndRef);
    QCOMPARE(Q(plan.request.Run.base), base);
    QCOMPARE(plan.request.Run.hour, hour);
    QCOMPARE(plan.request.Run.minute, minute);
    QCOMPARE(Q(plan.request.OutputPath), output);
    QCOMPARE(Q(plan.request.OptionPath), optionFile);
    QCOMPARE(plan.request.EndRef, requestEndRef);
    QCOMPARE(plan.request.StartRef, 4u);
    QCOMPARE(plan.request.Run.count, 1439u);
  }

  void argumentParsing_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("hex lower") << "0x1F" << 31;
    QTest::newRow("hex upper X") << "0X1f" << 31;
    QTest::newRow("negative") << "-5" << -5;
    QTest::newRow("trailing letters") << "12abc" << 12;
    QTest::newRow("letters") << "abc" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("blank before 0x") << " 0x10" << 0;
    QTest::newRow("all ones") << "0xFFFFFFFF" << -1;
    QTest::newRow("leading blanks decimal") << "  42" << 42;
  }
  void argumentParsing() {
    QFETCH(QString, text);
    QFETCH(int, value);
    TextDumpValues values;
    values.FileName = "/c/Line11430.FdcCapt";
    values.ArgValue = {S(text), "1", "2", S(text)};
    const ExecutePlan plan = PlanExecute(values, kAllNamed);
    QCOMPARE(plan.request.CmdArgs[0], value);
    QCOMPARE(plan.request.CmdArgs[1], 1);
    QCOMPARE(plan.request.CmdArgs[2], 2);
    QCOMPARE(plan.request.CmdArgs[3], value);
  }

  void argumentsTheOptionFileDoesNotName_data() {
    QTest::addColumn<QString>("named");  // one digit per argument
    QTest::addColumn<QString>("cmdArgs");
    QTest::newRow("all named") << "1111"
                               << "7 -2 31 5";
    QTest::newRow("none named") << "0000"
                                << "0 0 0 0";
    QTest::newRow("first and third") << "1010"
                                     << "7 0 31 0";
    QTest::newRow("last only") << "0001"
                               << "0 0 0 5";
  }
  void argumentsTheOptionFileDoesNotName() {
    QFETCH(QString, named);
    QFETCH(QString, cmdArgs);
    TextDumpValues values;
    values.FileName = "/c/Line11430.FdcCapt";
    values.ArgValue = {"7", "-2", "0x1f", "5"};
    std::array<bool, 4> argNamed{};
    for (std::size_t i = 0; i < argNamed.size(); ++i) argNamed[i] = named[qsizetype(i)] == '1';
    const ExecutePlan plan = PlanExecute(values, argNamed);
    QCOMPARE(plan.step, ExecutePlan::Step::kRun);
    QStringList args;
    for (const std::int32_t arg : plan.request.CmdArgs) args << QString::number(arg);
    QCOMPARE(args.join(' '), cmdArgs);
    // The texts themselves stay for when the option file names the arguments again.
    QCOMPARE(values.ArgValue[1], std::string("-2"));
  }

  void progressLines_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<uint>("filePercent");
    QTest::addColumn<uint>("fileNumber");
    QTest::addColumn<uint>("fileCount");
    QTest::addColumn<qulonglong>("records");
    QTest::addColumn<QString>("fileLine");
    QTest::addColumn<QString>("recordsLine");
    QTest::addColumn<uint>("runPercent");
    QTest::newRow("second of three") << "/cap/Line11431.FdcCapt" << 45u << 2u << 3u << 12345ull
                                     << "File 2 of 3: Line11431.FdcCapt 45%"
                                     << "12345 records read" << 48u;
    QTest::newRow("one file, one record") << "C:\\cap\\Line11430.FdcCapt" << 100u << 1u << 1u
                                          << 1ull << "File 1 of 1: Line11430.FdcCapt 100%"
                                          << "1 record read" << 100u;
    QTest::newRow("last of a whole day") << "Line12359.FdcCapt" << 0u << 1439u << 1439u << 0ull
                                         << "File 1439 of 1439: Line12359.FdcCapt 0%"
                                         << "0 records read" << 99u;
  }
  void progressLines() {
    QFETCH(QString, fileName);
    QFETCH(uint, filePercent);
    QFETCH(uint, fileNumber);
    QFETCH(uint, fileCount);
    QFETCH(qulonglong, records);
    const std::string name = S(fileName);
    fdc::RunProgress progress;
    progress.fileName = name;
    progress.filePercent = filePercent;
    progress.fileNumber = fileNumber;
    progress.fileCount = fileCount;
    progress.records = records;
    const ProgressSnapshot snapshot = SnapshotOf(progress);
    QTEST(Q(FileProgressLine(snapshot)), "fileLine");
    QTEST(Q(RecordsLine(snapshot.records)), "recordsLine");
    QTEST(snapshot.runPercent, "runPercent");
  }

  void runReport_data() {
    QTest::addColumn<qulonglong>("records");
    QTest::addColumn<qulonglong>("lines");
    QTest::addColumn<uint>("syncLosses");
    QTest::addColumn<uint>("filesCutShort");
    QTest::addColumn<bool>("stopped");
    QTest::addColumn<QString>("error");  // empty: the run succeeded
    QTest::addColumn<int>("end");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("status");
    const int created = int(RunEnd::kCreated);
    const QString counts = "2 records read, 2 lines written, 0 synchronisation losses";
    QTest::newRow("created") << 2ull << 2ull << 0u << 0u << false << "" << created
                             << "/d/a1430_b.txt Created\n" + counts
                             << "/d/a1430_b.txt Created; " + counts;
    QTest::newRow("one of each")
        << 1ull << 1ull << 1u << 0u << false << "" << created
        << "/d/a1430_b.txt Created\n1 record read, 1 line written, 1 synchronisation loss"
        << "/d/a1430_b.txt Created; 1 record read, 1 line written, 1 synchronisation loss";
    QTest::newRow("filter selected nothing")
        << 5ull << 0ull << 0u << 0u << false << "" << created
        << "/d/a1430_b.txt Created\n5 records read, 0 lines written, 0 synchronisation "
           "losses\n0 lines matched the filter"
        << "/d/a1430_b.txt Created; 5 records read, 0 lines written, 0 synchronisation "
           "losses; 0 lines matched the filter";
    QTest::newRow("no records at all")
        << 0ull << 0ull << 0u << 0u << false << "" << created
        << "/d/a1430_b.txt Created\n0 records read, 0 lines written, 0 synchronisation losses"
        << "/d/a1430_b.txt Created; 0 records read, 0 lines written, 0 synchronisation losses";
    QTest::newRow("files cut short")
        << 9ull << 9ull << 3u << 2u << false << "" << created
        << "/d/a1430_b.txt Created\n9 records read, 9 lines written, 3 synchronisation "
           "losses\n2 capture files ended early: synchronisation not found"
        << "/d/a1430_b.txt Created; 9 records read, 9 lines written, 3 synchronisation losses; "
           "2 capture files ended early: synchronisation not found";
    QTest::newRow("stopped") << 120ull << 120ull << 0u << 0u << true << "" << int(RunEnd::kStopped)
                             << "Dump Stopped: /d/a1430_b.txt is partial\n120 records read, 120 "
                                "lines written, 0 synchronisation losses"
                             << "Dump Stopped: /d/a1430_b.txt is partial; 120 records read, 120 "
                                "lines written, 0 synchronisation losses";
    QTest::newRow("failed at once")
        << 0ull << 0ull << 0u << 0u << false << "Unable to Open Input File /d/a1430.FdcCapt"
        << int(RunEnd::kFailed) << "Unable to Open Input File /d/a1430.FdcCapt"
        << "Dump failed: Unable to Open Input File /d/a1430.FdcCapt";
    QTest::newRow("failed after records")
        << 10ull << 10ull << 0u << 0u << false << "Capture File Read Error: Data Under Run"
        << int(RunEnd::kFailed) << "Capture File Read Error: Data Under Run"
        << "Dump failed: Capture File Read Error: Data Under Run; 10 records read, 10 lines "
           "written, 0 synchronisation losses";
    QTest::newRow("failure of two lines")
        << 0ull << 0ull << 0u << 0u << false << "Option Error\nat line 3" << int(RunEnd::kFailed)
        << "Option Error\nat line 3"
        << "Dump failed: Option Error";
  }
  void runReport() {
    QFETCH(qulonglong, records);
    QFETCH(qulonglong, lines);
    QFETCH(uint, syncLosses);
    QFETCH(uint, filesCutShort);
    QFETCH(bool, stopped);
    QFETCH(QString, error);
    fdc::DumpSummary summary;
    summary.records = records;
    summary.lines = lines;
    summary.syncLosses = syncLosses;
    summary.filesCutShort = filesCutShort;
    summary.stopped = stopped;
    const fdc::Result result = error.isEmpty() ? fdc::Result::Ok() : fdc::Result::Error(S(error));
    const RunReport report = ReportRun("/d/a1430_b.txt", result, summary);
    QTEST(int(report.end), "end");
    QTEST(Q(report.message), "message");
    QTEST(Q(report.statusLine), "status");
  }

  void dumpWorkerRunsTheWholeRun() {
    QTemporaryDir dir;
    QVERIFY(WriteShortRun(dir));
    DumpWorker worker;
    WorkerLog log;
    Listen(worker, this, log);
    QVERIFY(!worker.Collect());
    QVERIFY(worker.Start(RequestFor(dir, "run", 3)));
    QVERIFY(worker.Active());
    QVERIFY(!worker.Start(RequestFor(dir, "run", 1)));
    QTRY_COMPARE(log.done, 1);
    const std::optional<DumpOutcome> outcome = worker.Collect();
    QVERIFY(outcome.has_value());
    QVERIFY(outcome->result.ok());
    QCOMPARE(outcome->summary.records, 1500ull);
    QCOMPARE(outcome->summary.lines, 1500ull);
    QVERIFY(!outcome->summary.stopped);
    QVERIFY(!worker.Active());
    QVERIFY(!worker.Collect());
    QVERIFY(DumpEndsWith(dir, "\nEnd of Capture Data\n"));
    // The last progress delivered is the end of the last file, and of the run.
    QVERIFY(!log.progress.isEmpty());
    const ProgressSnapshot& last = log.progress.back();
    QVERIFY(Q(last.fileName).endsWith("run1202.FdcCapt"));
    QCOMPARE(last.fileNumber, 3u);
    QCOMPARE(last.fileCount, 3u);
    QCOMPARE(last.filePercent, 100u);
    QCOMPARE(last.runPercent, 100u);
    QCOMPARE(last.records, 1500ull);
    // Progress runs forward.
    for (qsizetype i = 1; i < log.progress.size(); ++i) {
      QVERIFY(log.progress[i].records >= log.progress[i - 1].records);
      QVERIFY(log.progress[i].runPercent >= log.progress[i - 1].runPercent);
    }
  }

  void dumpWorkerCoalescesProgress() {
    QTemporaryDir dir;
    QVERIFY(WriteShortRun(dir));
    DumpWorker worker;
    WorkerLog log;
    Listen(worker, this, log);
    QVERIFY(worker.Start(RequestFor(dir, "run", 3)));
    // The owner's thread is busy for the whole run: the run's hundreds of progress reports wait
    // as one delivery, which holds the latest of them.
    QElapsedTimer waited;
    waited.start();
    while (!worker.Finished() && waited.elapsed() < 20000) QThread::msleep(1);
    QVERIFY(worker.Finished());
    QCOMPARE(log.progress.size(), 0);
    QTRY_COMPARE(log.done, 1);
    QCOMPARE(log.progress.size(), 1);
    QCOMPARE(log.progress[0].fileNumber, 3u);
    QCOMPARE(log.progress[0].runPercent, 100u);
    QVERIFY(worker.Collect().has_value());
  }

  void dumpWorkerStops() {
    QTemporaryDir dir;
    QVERIFY(!fdc::ui::test::WriteLongRun(dir.path()).isEmpty());
    fdc::ui::test::WriteTextFile(dir.filePath("none.opt"), fdc::ui::test::kShowNothing);
    DumpWorker worker;
    WorkerLog log;
    Listen(worker, this, log);
    QVERIFY(worker.Start(RequestFor(dir, "long", 1439, dir.filePath("none.opt"))));
    worker.RequestStop();
    QTRY_COMPARE(log.done, 1);
    const std::optional<DumpOutcome> outcome = worker.Collect();
    QVERIFY(outcome.has_value());
    QVERIFY(outcome->result.ok());
    QVERIFY(outcome->summary.stopped);
    QVERIFY(outcome->summary.records < 1439ull * 100000);
    QVERIFY(DumpEndsWith(dir, "\nDump Stopped\n"));
  }

  void dumpWorkerStopIsForOneRunOnly() {
    // A stop asked for when nothing runs does not end the next run.
    QTemporaryDir dir;
    QVERIFY(WriteShortRun(dir));
    DumpWorker worker;
    worker.RequestStop();
    QVERIFY(worker.Start(RequestFor(dir, "run", 3)));
    QTRY_VERIFY(worker.Finished());
    const std::optional<DumpOutcome> outcome = worker.Collect();
    QVERIFY(outcome.has_value());
    QVERIFY(!outcome->summary.stopped);
    QCOMPARE(outcome->summary.records, 1500ull);
  }

  void dumpWorkerGoneDuringRunStopsIt() {
    QTemporaryDir dir;
    QVERIFY(!fdc::ui::test::WriteLongRun(dir.path()).isEmpty());
    fdc::ui::test::WriteTextFile(dir.filePath("none.opt"), fdc::ui::test::kShowNothing);
    {
      DumpWorker worker;
      QVERIFY(worker.Start(RequestFor(dir, "long", 1439, dir.filePath("none.opt"))));
      QTRY_VERIFY(QFile::exists(dir.filePath("out.txt")));
    }
    // The worker's end stopped the run and waited for it: the dump is closed and complete.
    QVERIFY(DumpEndsWith(dir, "\nDump Stopped\n"));
  }

  void dumpWorkerReportsFailure() {
    QTemporaryDir dir;
    DumpWorker worker;
    QVERIFY(worker.Start(RequestFor(dir, "missing", 1)));
    QTRY_VERIFY(worker.Finished());
    const std::optional<DumpOutcome> outcome = worker.Collect();
    QVERIFY(outcome.has_value());
    QCOMPARE(Q(outcome->result.ErrorText()),
             "Unable to Open Input File " + dir.filePath("missing1200.FdcCapt"));
  }

  void browseStart_data() {
    QTest::addColumn<QString>("current");  // <dir> stands for an existing folder
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("file in an existing folder") << "<dir>/run1430.FdcCapt"
                                                << "<dir>"
                                                << "run1430.FdcCapt";
    QTest::newRow("folder missing") << "/nonexistent/fdc/run1430.FdcCapt"
                                    << ""
                                    << "run1430.FdcCapt";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
  }
  void browseStart() {
    QFETCH(QString, current);
    QFETCH(QString, folder);
    QFETCH(QString, fileName);
    QTemporaryDir dir;
    const BrowseStart start = BrowseStartFor(S(current.replace("<dir>", dir.path())));
    QCOMPARE(Q(start.folder), folder.replace("<dir>", dir.path()));
    QCOMPARE(Q(start.fileName), fileName);
  }

  void optionBrowseStart_data() {
    QTest::addColumn<QString>("optionFile");  // <dir> has the file opts/a.opt
    QTest::addColumn<QString>("captureFile");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("existing option file") << "<dir>/opts/a.opt"
                                          << "<dir>/run1430.FdcCapt"
                                          << "<dir>/opts"
                                          << "a.opt";
    QTest::newRow("empty: the capture file's folder") << ""
                                                      << "<dir>/run1430.FdcCapt"
                                                      << "<dir>"
                                                      << "";
    QTest::newRow("missing: the capture file's folder") << "<dir>/opts/gone.opt"
                                                        << "<dir>/run1430.FdcCapt"
                                                        << "<dir>"
                                                        << "";
    QTest::newRow("both folders missing") << "/nonexistent/a.opt"
                                          << "/nonexistent/run1430.FdcCapt"
                                          << ""
                                          << "";
  }
  void optionBrowseStart() {
    QFETCH(QString, optionFile);
    QFETCH(QString, captureFile);
    QFETCH(QString, folder);
    QFETCH(QString, fileName);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("opts"));
    fdc::ui::test::WriteTextFile(dir.filePath("opts/a.opt"), "Descrip=a\n");
    const BrowseStart start = OptionBrowseStart(S(optionFile.replace("<dir>", dir.path())),
                                                S(captureFile.replace("<dir>", dir.path())));
    QCOMPARE(Q(start.folder), folder.replace("<dir>", dir.path()));
    QCOMPARE(Q(start.fileName), fileName);
  }

  void optionDescription_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("enabled");  // description, then the four arguments
    const QString none = "Option File description not available";
    const QStringList na = {"N/A", "N/A", "N/A", "N/A"};
    QTest::newRow("lower-case key, indented name")
        << QByteArray("descrip=Line 1 traffic\n   ArgName2=Station\n") << "Line 1 traffic"
        << QStringList{"N/A", "N/A", "Station", "N/A"} << "10010";
    QTest::newRow("comment") << QByteArray(";ArgName0=x\n") << none << na << "00000";
    QTest::newRow("indented comment") << QByteArray("  ;Descrip=x\n") << none << na << "00000";
    QTest::newRow("empty description") << QByteArray("Descrip=\n") << "" << na << "10000";
    QTest::newRow("blank before equals, fifth argument")
        << QByteArray("ArgName0 = x\nArgName4=x\n") << none << na << "00000";
    QTest::newRow("last one wins")
        << QByteArray("Descrip=first\nDescrip=second\n") << "second" << na << "10000";
    QTest::newRow("trailing blanks kept")
        << QByteArray("Descrip=abc  \n") << "abc  " << na << "10000";
    QTest::newRow("CR LF line ends") << QByteArray("Descrip=abc\r\nArgName0=Station\r\n") << "abc"
                                     << QStringList{"Station", "N/A", "N/A", "N/A"} << "11000";
    QTest::newRow("tab and form feed before key")
        << QByteArray("\t\fArgName1=Gap (us)\n") << none
        << QStringList{"N/A", "Gap (us)", "N/A", "N/A"} << "00100";
    QTest::newRow("no final line end") << QByteArray("Descrip=end") << "end" << na << "10000";
    QTest::newRow("value holding '='") << QByteArray("Descrip=a=b\n") << "a=b" << na << "10000";
    QTest::newRow("upper-case key")
        << QByteArray("ARGNAME3=Z\n") << none << QStringList{"N/A", "N/A", "N/A", "Z"} << "00001";
    QTest::newRow("empty and blank lines") << QByteArray("\n   \n\nArgName0=A\n") << none
                                           << QStringList{"A", "N/A", "N/A", "N/A"} << "01000";
    QTest::newRow("blank value") << QByteArray("ArgName0=  \n") << none
                                 << QStringList{"  ", "N/A", "N/A", "N/A"} << "01000";
    QTest::newRow("keyword lines and equation ignored")
        << QByteArray("NoRef\nShowOnly\n(SD == 1)\n#\nTmeAbs hr:mn\nDescrip=x\n") << "x" << na
        << "10000";
    QTest::newRow("long line: 191 characters, the rest a line of its own")
        << QByteArray("Descrip=" + QByteArray(191, 'a') + "ArgName0=tail\n") << QString(191, 'a')
        << QStringList{"tail", "N/A", "N/A", "N/A"} << "11000";
    QTest::newRow("long line: rest not a key")
        << QByteArray("Descrip=" + QByteArray(250, 'b') + "\n") << QString(191, 'b') << na
        << "10000";
    QTest::newRow("all four names")
        << QByteArray("ArgName3=d\nArgName2=c\nArgName1=b\nArgName0=a\n") << none
        << QStringList{"a", "b", "c", "d"} << "01111";
  }
  void optionDescription() {
    QFETCH(QByteArray, content);
    QFETCH(QString, description);
    QFETCH(QStringList, names);
    QFETCH(QString, enabled);
    QTemporaryDir dir;
    const QString path = dir.filePath("panel.opt");
    fdc::ui::test::WriteTextFile(path, content);
    const OptionDescription panel = LoadOptionDescription(S(path));
    QCOMPARE(Q(panel.description), description);
    QStringList readNames;
    for (const std::string& name : panel.argName) readNames << Q(name);
    QCOMPARE(readNames, names);
    QString readEnabled = panel.descriptionEnabled ? "1" : "0";
    for (const bool arg : panel.argEnabled) readEnabled += arg ? "1" : "0";
    QCOMPARE(readEnabled, enabled);
  }

  void optionDescriptionUnreadable_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("empty path") << "";
    QTest::newRow("missing file") << "/nonexistent/fdc/none.opt";
    QTest::newRow("a folder") << "/";
    QTest::newRow("an endless device") << "/dev/zero";
  }
  void optionDescriptionUnreadable() {
    QFETCH(QString, path);
    const OptionDescription panel = LoadOptionDescription(S(path));
    QCOMPARE(Q(panel.description), QStringLiteral("Option File description not available"));
    for (std::size_t i = 0; i < 4; ++i) {
      QCOMPARE(Q(panel.argName[i]), QStringLiteral("N/A"));
      QVERIFY(!panel.argEnabled[i]);
    }
    QVERIFY(!panel.descriptionEnabled);
  }

  void editorCommand_data() {
    QTest::addColumn<QString>("editor");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("currentDir");
    QTest::addColumn<QString>("argument");
    QTest::newRow("absolute path with blanks") << "/usr/bin/gedit"
                                               << "/cap/a b.txt"
                                               << "/home"
                                               << "/cap/a b.txt";
    QTest::newRow("relative path made absolute") << "gedit"
                                                 << "Line11430_x.txt"
                                                 << "/work"
                                                 << "/work/Line11430_x.txt";
    QTest::newRow("name beginning with a minus") << "gedit"
                                                 << "-x1430_y.txt"
                                                 << "/work"
                                                 << "/work/-x1430_y.txt";
  }
  void editorCommand() {
    QFETCH(QString, editor);
    QFETCH(QString, file);
    QFETCH(QString, currentDir);
    QFETCH(QString, argument);
    const EditorCommand command = EditorCommandFor(S(editor), S(file), S(currentDir));
    QCOMPARE(Q(command.program), editor);
    QCOMPARE(command.arguments.size(), std::size_t{1});
    QCOMPARE(Q(command.arguments[0]), argument);
  }

  void indicators_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("state");  // -1 unknown, 0 off, 1 on
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("caps on") << int(LockKey::kCaps) << 1 << "CAP" << true;
    QTest::newRow("caps off") << int(LockKey::kCaps) << 0 << "" << true;
    QTest::newRow("caps unknown") << int(LockKey::kCaps) << -1 << "CAP" << false;
    QTest::newRow("num on") << int(LockKey::kNum) << 1 << "NUM" << true;
    QTest::newRow("num off") << int(LockKey::kNum) << 0 << "" << true;
    QTest::newRow("num unknown") << int(LockKey::kNum) << -1 << "NUM" << false;
    QTest::newRow("scroll on") << int(LockKey::kScroll) << 1 << "SCRL" << true;
    QTest::newRow("scroll unknown") << int(LockKey::kScroll) << -1 << "SCRL" << false;
  }
  void indicators() {
    QFETCH(int, key);
    QFETCH(int, state);
    QFETCH(QString, text);
    QFETCH(bool, enabled);
    const std::optional<bool> locked = state < 0 ? std::nullopt : std::optional<bool>(state == 1);
    const IndicatorDisplay display = IndicatorFor(static_cast<LockKey>(key), locked);
    QCOMPARE(Q(display.text), text);
    QCOMPARE(display.enabled, enabled);
  }

  void dialogUnits_data() {
    QTest::addColumn<int>("alphabetWidth");
    QTest::addColumn<int>("fontHeight");
    QTest::addColumn<QRect>("units");
    QTest::addColumn<QRect>("pixels");
    // 312 / 26 = 12, (12 + 1) / 2 = 6: the classic 6 x 13 base units.
    QTest::newRow("dialog size, classic font")
        << 312 << 13 << QRect(0, 0, 269, 137) << QRect(0, 0, 404, 223);
    QTest::newRow("dialog size, wider font")
        << 353 << 13 << QRect(0, 0, 269, 137) << QRect(0, 0, 471, 223);
    QTest::newRow("halves round up") << 312 << 13 << QRect(1, 4, 3, 1) << QRect(2, 7, 5, 2);
    // 390 / 26 = 15, (15 + 1) / 2 = 8.
    QTest::newRow("odd quotient rounds up")
        << 390 << 16 << QRect(4, 8, 8, 16) << QRect(8, 16, 16, 32);
  }
  void dialogUnits() {
    QFETCH(int, alphabetWidth);
    QFETCH(int, fontHeight);
    QFETCH(QRect, units);
    QFETCH(QRect, pixels);
    const PixelRect result =
        DialogUnitsToPixels(units.x(), units.y(), units.width(), units.height(),
                            BaseUnitsFrom(alphabetWidth, fontHeight));
    QCOMPARE(QRect(result.x, result.y, result.width, result.height), pixels);
  }

  void keepWithinScreens_data() {
    // Rectangles as (left, top, right, bottom) in QRect's x, y, width, height slots.
    QTest::addColumn<QRect>("stored");
    QTest::addColumn<QList<QRect>>("screens");
    QTest::addColumn<QRect>("placed");
    const QList<QRect> one = {QRect(0, 0, 1024, 768)};
    QTest::newRow("on the screen") << QRect(20, 20, 480, 450) << one << QRect(20, 20, 480, 450);
    QTest::newRow("right of every screen")
        << QRect(3000, 100, 3460, 530) << one << QRect(0, 0, 460, 430);
    QTest::newRow("on the second screen")
        << QRect(2000, 100, 2400, 500)
        << QList<QRect>{QRect(0, 0, 1920, 1080), QRect(1920, 0, 3840, 1080)}
        << QRect(2000, 100, 2400, 500);
    QTest::newRow("off and larger than the screen")
        << QRect(5000, 5000, 7000, 7000) << one << QRect(0, 0, 1024, 768);
    QTest::newRow("screen not at the origin")
        << QRect(-5000, -5000, -4540, -4570) << QList<QRect>{QRect(100, 50, 900, 650)}
        << QRect(100, 50, 560, 480);
    QTest::newRow("larger than the screen")
        << QRect(-50, -40, 1500, 1000) << one << QRect(0, 0, 1024, 768);
    QTest::newRow("wider than the screen only")
        << QRect(100, 100, 2000, 300) << one << QRect(0, 100, 1024, 300);
    QTest::newRow("partly off the right")
        << QRect(900, 100, 1300, 400) << one << QRect(624, 100, 1024, 400);
    QTest::newRow("partly off the bottom")
        << QRect(100, 700, 500, 900) << one << QRect(100, 568, 500, 768);
    QTest::newRow("title bar above the screen")
        << QRect(-100, -30, 300, 270) << one << QRect(0, 0, 400, 300);
    QTest::newRow("across two screens: onto the larger share")
        << QRect(1800, 100, 2400, 500)
        << QList<QRect>{QRect(0, 0, 1920, 1080), QRect(1920, 0, 3840, 1080)}
        << QRect(1920, 100, 2520, 500);
    QTest::newRow("partly off the second screen")
        << QRect(3600, 900, 4000, 1300)
        << QList<QRect>{QRect(0, 0, 1920, 1080), QRect(1920, 0, 3840, 1080)}
        << QRect(3440, 680, 3840, 1080);
    QTest::newRow("inverted, on the screen")
        << QRect(500, 500, 400, 400) << one << QRect(500, 500, 500, 500);
  }
  void keepWithinScreens() {
    QFETCH(QRect, stored);
    QFETCH(QList<QRect>, screens);
    QFETCH(QRect, placed);
    auto edges = [](const QRect& r) { return ScreenRect{r.x(), r.y(), r.width(), r.height()}; };
    std::vector<ScreenRect> screenRects;
    for (const QRect& screen : screens) screenRects.push_back(edges(screen));
    const ScreenRect result = KeepWithinScreens(edges(stored), screenRects);
    QCOMPARE(QRect(result.left, result.top, result.right, result.bottom), placed);
  }

  void keepWithinScreensExtremeEdges() {
    // Hand-edited settings may hold any 32-bit edges; none of them may overflow.
    const std::vector<ScreenRect> screens = {{0, 0, 1024, 768}};
    QCOMPARE(KeepWithinScreens({INT_MIN, INT_MIN, INT_MAX, INT_MAX}, screens),
             (ScreenRect{0, 0, 1024, 768}));
    QCOMPARE(KeepWithinScreens({INT_MAX, INT_MAX, INT_MIN, INT_MIN}, screens),
             (ScreenRect{0, 0, 0, 0}));
    QCOMPARE(KeepWithinScreens({1000, 700, INT_MAX, INT_MAX}, screens),
             (ScreenRect{0, 0, 1024, 768}));
    QCOMPARE(KeepWithinScreens({-20, -20, 100, 100}, {}), (ScreenRect{-20, -20, 100, 100}));
  }

  void firstStartRect() {
    QCOMPARE(FirstStartRect({0, 0, 1000, 700}), (ScreenRect{100, 70, 900, 630}));
    QCOMPARE(FirstStartRect({1920, 24, 3200, 1024}), (ScreenRect{2048, 124, 3072, 924}));
  }

  void programArguments_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("read");  // "help", "version", the file, or empty
    QTest::newRow("nothing") << QStringList{} << "";
    QTest::newRow("a file") << QStringList{"/d/Line11159.FdcCapt"} << "/d/Line11159.FdcCapt";
    QTest::newRow("any name is a file") << QStringList{"notes.txt", "b.FdcCapt"} << "notes.txt";
    QTest::newRow("help") << QStringList{"x1200.FdcCapt", "--help"} << "help";
    QTest::newRow("short help") << QStringList{"-h"} << "help";
    QTest::newRow("version") << QStringList{"--version"} << "version";
    QTest::newRow("toolkit options are no file")
        << QStringList{"-style=fusion", "--reverse", "a1200.FdcCapt"} << "a1200.FdcCapt";
    QTest::newRow("after --, a name may start with -")
        << QStringList{"--", "-x1200.FdcCapt"} << "-x1200.FdcCapt";
  }
  void programArguments() {
    QFETCH(QStringList, args);
    QFETCH(QString, read);
    std::vector<std::string> words;
    for (const QString& a : args) words.push_back(a.toStdString());
    const ProgramArguments got = ReadProgramArguments(words);
    const QString seen = got.help      ? QStringLiteral("help")
                         : got.version ? QStringLiteral("version")
                                       : QString::fromStdString(got.file.value_or(""));
    QCOMPARE(seen, read);
  }
};

int main(int argc, char** argv) {
  fdc::ui::test::IsolateSettings();
  QCoreApplication app(argc, argv);
  UiLogicTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "ui_logic_test.moc"
