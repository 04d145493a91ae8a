// The settings table: every persisted value with its name, kind and default, in store order.
#include "ui/common/app_settings.h"

#include <QSettings>
#include <QString>
#include <QVariant>
#include <array>
#include <limits>

namespace fdc::ui {

namespace {

#if defined(_WIN32)
constexpr char kFolderSeparator = '\\';
#else
constexpr char kFolderSeparator = '/';
#endif

bool IsFolderSeparator(char c) {
#if defined(_WIN32)
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}

struct SettingEntry {
  const char* name;
  int AppSettings::*number;        // set for the integers
  std::string AppSettings::*text;  // set for the texts
  int numberDefault;
  std::string (*textDefault)(const std::string& programDir);
};

std::string DumpFileDefault(const std::string&) { return DefaultDumpFile(); }
std::string EditorPathDefault(const std::string&) { return DefaultEditorPath(); }

// One row per value, in the order in which they are read and written; the window's four edges
// first.
const std::array<SettingEntry, 8> kSettingsTable = {{
    {"WinMinX", &AppSettings::WinMinX, nullptr, 20, nullptr},
    {"WinMinY", &AppSettings::WinMinY, nullptr, 20, nullptr},
    {"WinMaxX", &AppSettings::WinMaxX, nullptr, 480, nullptr},
    {"WinMaxY", &AppSettings::WinMaxY, nullptr, 450, nullptr},
    {"DumpFile", nullptr, &AppSettings::DumpFile, 0, &DumpFileDefault},
    {"OptFile", nullptr, &AppSettings::OptFile, 0, &DefaultOptFile},
    {"EditorPath", nullptr, &AppSettings::EditorPath, 0, &EditorPathDefault},
    {"AutoEdit", &AppSettings::AutoEdit, nullptr, 1, nullptr},
}};

// A value that is not a whole number, or does not fit 32 bits, reads as missing.
int ReadNumber(const QSettings& store, const char* name, int fallback) {
  const QVariant stored = store.value(QLatin1String(name));
  if (!stored.isValid()) return fallback;
  bool ok = false;
  const qlonglong value = stored.toString().trimmed().toLongLong(&ok);
  if (!ok || value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
    return fallback;
  }
  return static_cast<int>(value);
}

}  // namespace

std::string ProgramDirOf(std::string_view programPath) {
  std::size_t cut = programPath.size();
  while (cut > 0 && !IsFolderSeparator(programPath[cut - 1])) --cut;
  if (cut == 0) return std::string();
  return std::string(programPath.substr(0, cut - 1));
}

std::string DefaultDumpFile() { return "FdcCapt.FdcCapt"; }

std::string DefaultOptFile(const std::string& programDir) {
  return programDir + kFolderSeparator + kShippedOptionFile;
}

std::string DefaultEditorPath() {
#if defined(_WIN32)
  return "\\Windows\\NotePad.exe";
#else
  return "/usr/bin/xdg-open";
#endif
}

AppSettings DefaultAppSettings(const std::string& programDir) {
  AppSettings settings;
  for (const SettingEntry& entry : kSettingsTable) {
    if (entry.number != nullptr) {
      settings.*entry.number = entry.numberDefault;
    } else {
      settings.*entry.text = entry.textDefault(programDir);
    }
  }
  return settings;
}

AppSettings ReadAppSettings(QSettings& store, const std::string& programDir) {
  AppSettings settings;
  store.beginGroup(QLatin1String(kSettingsSection));
  for (const SettingEntry& entry : kSettingsTable) {
    if (entry.number != nullptr) {
      settings.*entry.number = ReadNumber(store, entry.name, entry.numberDefault);
      continue;
    }
    std::string text = store.value(QLatin1String(entry.name)).toString().toStdString();
    settings.*entry.text = text.empty() ? entry.textDefault(programDir) : std::move(text);
  }
  settings.Window = ReadWindowSettings(store);
  for (std::size_t i = 0; i < 4; ++i) {
    if (store.contains(QLatin1String(kSettingsTable[i].name)))
      settings.Window.PlacementStored = true;
  }
  store.endGroup();
  return settings;
}

void WriteAppSettings(QSettings& store, const AppSettings& settings) {
  store.beginGroup(QLatin1String(kSettingsSection));
  for (const SettingEntry& entry : kSettingsTable) {
    if (entry.number != nullptr) {
      store.setValue(QLatin1String(entry.name), settings.*entry.number);
    } else {
      store.setValue(QLatin1String(entry.name), QString::fromStdString(settings.*entry.text));
    }
  }
  WriteWindowSettings(store, settings.Window);
  store.endGroup();
}

}  // namespace fdc::ui
