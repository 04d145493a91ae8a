// AppSettings: the eight persisted settings, their table of names and defaults, and their
// reading and writing through the per-user settings store; beside them the main window's own
// (recent runs, the table's option file).
#pragma once

#include <string>
#include <string_view>

#include "ui/common/window_settings.h"

class QSettings;

namespace fdc::ui {

inline constexpr char kCompanyKey[] = "OrvTelo";
inline constexpr char kAppName[] = "TeloFdcCaptAnlz";
inline constexpr char kSettingsSection[] = "Settings";
inline constexpr char kShippedOptionFile[] = "ORV_PB_All.opt";

struct AppSettings {
  // Despite their names, the left, top, right and bottom edges of the main window's normal
  // rectangle (frame included, right and bottom exclusive).
  int WinMinX = 20;
  int WinMinY = 20;
  int WinMaxX = 480;
  int WinMaxY = 450;
  std::string DumpFile;
  std::string OptFile;
  std::string EditorPath;
  int AutoEdit = 1;
  // Not one of the eight: the main window's recent runs and the table's option file.
  WindowSettings Window;
  friend bool operator==(const AppSettings&, const AppSettings&) = default;
};

// The folder of the program file, without its trailing separator.
std::string ProgramDirOf(std::string_view programPath);

// Defaults of the three texts; each one applies whenever the stored text is empty.
std::string DefaultDumpFile();
std::string DefaultOptFile(const std::string& programDir);
std::string DefaultEditorPath();

// All eight settings at their defaults.
AppSettings DefaultAppSettings(const std::string& programDir);

// Reads the eight values from the "Settings" group of `store`. A missing value, an integer that
// does not read as one, and an empty text all give the default. The window's own values are read
// from the same group.
AppSettings ReadAppSettings(QSettings& store, const std::string& programDir);

// Writes the eight values, in the table's order, into the "Settings" group of `store`, then the
// window's own values.
void WriteAppSettings(QSettings& store, const AppSettings& settings);

}  // namespace fdc::ui
