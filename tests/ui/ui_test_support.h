// Shared pieces of the desktop application's tests: a settings folder of their own, a fake
// control set for the dialog's field table, and temporary files.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cstdlib>
#include <map>
#include <string>

#include "ui/text_dump_values.h"

namespace fdc::ui::test {

// Points the per-user settings at a fresh temporary folder before anything reads them, so that no
// test ever touches the settings of the person running it. Must be called before the
// application object exists.
inline QTemporaryDir& IsolateSettings() {
  static QTemporaryDir config(QDir::tempPath() + QStringLiteral("/fdc_ui_config_XXXXXX"));
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  return config;
}

// The file in which the settings of the application live under the isolated folder.
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
