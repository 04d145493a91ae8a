// Shared pieces of the desktop application's tests: a settings folder of their own, a fake
// control set for the dialog's field table, temporary files and capture runs, waits for layout,
// the test GSD files.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "engine/run_control.h"
#include "engine/run_index.h"
#include "tools/capture_writer.h"
#include "tools/run_generator.h"
#include "ui/dump_dialog/text_dump_values.h"

namespace fdc::ui::test {

// Points the per-user settings at a fresh temporary folder before anything reads them, so that no
// test ever touches the settings of the person running it. Must be called before the
// application object exists.
inline QTemporaryDir& IsolateSettings() {
  static QTemporaryDir config(QDir::tempPath() + QStringLiteral("/fdc_ui_config_XXXXXX"));
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  return config;
}

// The arguments of a widget test's main, read before the application object exists: the settings
// isolated, "--screenshot DIR" taken out (the documentation's pictures are written instead of
// testing), and the offscreen platform chosen unless the environment or "-platform" names one.
struct WidgetTestArguments {
  QString screenshotFolder;
  std::vector<char*> args;  // for the application and QTest, ending in a null pointer
  int count = 0;            // without the null pointer
};

inline WidgetTestArguments PrepareWidgetTest(int argc, char** argv) {
  IsolateSettings();
  WidgetTestArguments a;
  for (int i = 0; i < argc; ++i) {
    if (QByteArray(argv[i]) == "--screenshot" && i + 1 < argc) {
      a.screenshotFolder = QString::fromLocal8Bit(argv[++i]);
      continue;
    }
    a.args.push_back(argv[i]);
  }
  a.count = static_cast<int>(a.args.size());
  a.args.push_back(nullptr);
  bool platformGiven = qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
  for (int i = 1; i < a.count; ++i) {
    platformGiven = platformGiven || QByteArray(a.args[static_cast<std::size_t>(i)]) == "-platform";
  }
  if (!platformGiven) qputenv("QT_QPA_PLATFORM", "offscreen");
  return a;
}

// Waits until `done` holds, with every layout that was asked for applied before each look: a
// widget shown or resized, or a chart given a new size, is laid out only when the layout request
// it posted is handled. False when `done` did not come within the time.
template <typename Condition>
bool WaitUntilLaidOut(Condition done, int timeoutMs = 5000) {
  return QTest::qWaitFor(
      [&done] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        return done();
      },
      timeoutMs);
}

// The file in which the settings of the application live under the isolated folder.
// Indexes every row of the run in one pass, as the table's index pass does.
inline void IndexAll(const DumpRequest& request, RunIndex& index) {
  RecordLoop loop(request, nullptr, RunControl(nullptr));
  RunIndexer indexer(index);
  RecordConsumer* const consumers[] = {&indexer};
  indexer.Finish(loop.Run(consumers));
}

inline QString SettingsFilePath() {
  return QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) +
         QStringLiteral("/OrvTelo/TeloFdcCaptAnlz.conf");
}

inline void WriteTextFile(const QString& path, const QByteArray& text) {
  QFile file(path);
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(text);
}

inline QByteArray ReadTextFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The folder of the test GSD files: TEST7F01.GSD (ident 0x7F01, compact, DP-V0), TEST7F02.GSE
// and TEST7F02.GSD (ident 0x7F02, modular, DP-V1).
inline std::string GsdTestFolder() {
  const char* root = std::getenv("FDC_SOURCE_DIR");
  return std::string(root != nullptr ? root : ".") + "/tests/dp/gsd";
}

// An option file whose filter shows no record, so that a long run writes almost nothing.
inline constexpr char kShowNothing[] = "ShowOnly\nLEN == 1000\n#\n";

// A run of all 1439 minute files from <dir>/<name>1200.FdcCapt, some seconds of work for a dump,
// which the tests stop long before its end. Every minute is the same file under another name.
// Returns the first file's path, or an empty text when the run could not be written.
inline QString WriteLongRun(const QString& dir, const QString& name = QStringLiteral("long")) {
  fdc::gen::RunPlan plan;
  plan.base = (dir + QStringLiteral("/") + name).toStdString();
  plan.startHour = 12;
  plan.startMinute = 0;
  plan.recordsPerMinute = 100000;
  const fdc::gen::RunOutcome outcome = fdc::gen::GenerateRun(plan);
  if (!outcome.ok() || outcome.summary.paths.empty()) return QString();
  const std::string first = outcome.summary.paths.front();
  unsigned hour = 12;
  unsigned minute = 0;
  for (int i = 1; i < 1439; ++i) {
    fdc::gen::NextMinute(hour, minute);
    const std::string minuteFile = fdc::gen::MinuteFileName(plan.base, hour, minute);
    std::error_code error;
    std::filesystem::create_hard_link(first, minuteFile, error);
    if (error && !std::filesystem::copy_file(first, minuteFile, error)) return QString();
  }
  return QString::fromStdString(first);
}

// The dialog's controls as plain texts, keyed by control identifier.
class FakeControls : public ControlAccess {
 public:
  std::map<int, std::string> texts;
  std::map<int, std::size_t> limits;
  bool autoEdit = false;

  std::string Text(int id) const override {
    const auto found = texts.find(id);
    return found != texts.end() ? found->second : std::string();
  }
  void SetText(int id, const std::string& text) override { texts[id] = text; }
  bool Checked(int) const override { return autoEdit; }
  void SetChecked(int, bool checked) override { autoEdit = checked; }
  void SetTypingLimit(int id, std::size_t maxChars) override { limits[id] = maxChars; }
};

}  // namespace fdc::ui::test
