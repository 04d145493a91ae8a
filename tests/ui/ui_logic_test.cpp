// The desktop application's logic without a display: settings, the dialog's checks and their
// order, Execute's request, the description reader, the editor command, the indicators and the
// dialog geometry.
#include <QCoreApplication>
#include <QRect>
#include <QSettings>
#include <QTest>
#include <string>

#include "tests/ui/ui_test_support.h"
#include "ui/app_settings.h"
#include "ui/dialog_geometry.h"
#include "ui/editor_command.h"
#include "ui/key_locks.h"
#include "ui/option_description.h"
#include "ui/text_dump_values.h"

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
    AppSettings written{-7, 3, 1500, 1200, S(text), S(text) + ".opt", S(text) + "-ed", 0};
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
    const ExecutePlan plan = PlanExecute(values);
    QCOMPARE(Q(plan.message), message);
    QCOMPARE(plan.step == ExecutePlan::Step::kRun, message.isEmpty());
    if (!message.isEmpty()) return;
    QFETCH(QString, base);
    QFETCH(uint, hour);
    QFETCH(uint, minute);
    QFETCH(QString, output);
    QFETCH(uint, requestEndRef);
    QCOMPARE(Q(plan.request.CaptureBase), base);
    QCOMPARE(plan.request.StartHour, hour);
    QCOMPARE(plan.request.StartMinute, minute);
    QCOMPARE(Q(plan.request.OutputPath), output);
    QCOMPARE(Q(plan.request.OptionPath), optionFile);
    QCOMPARE(plan.request.EndRef, requestEndRef);
    QCOMPARE(plan.request.StartRef, 4u);
    QCOMPARE(plan.request.NumMin, 1439u);
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
    const ExecutePlan plan = PlanExecute(values);
    QCOMPARE(plan.request.CmdArgs[0], value);
    QCOMPARE(plan.request.CmdArgs[1], 1);
    QCOMPARE(plan.request.CmdArgs[2], 2);
    QCOMPARE(plan.request.CmdArgs[3], value);
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
    QCOMPARE(Q(panel.Description), description);
    QStringList readNames;
    for (const std::string& name : panel.ArgName) readNames << Q(name);
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
    QCOMPARE(Q(panel.Description), QStringLiteral("Option File description not available"));
    for (std::size_t i = 0; i < 4; ++i) {
      QCOMPARE(Q(panel.ArgName[i]), QStringLiteral("N/A"));
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
};

int main(int argc, char** argv) {
  fdc::ui::test::IsolateSettings();
  QCoreApplication app(argc, argv);
  UiLogicTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "ui_logic_test.moc"
