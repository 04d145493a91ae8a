// The recent runs, the table's option file, the details pane and the GSD folders in the settings
// store.
#include "ui/common/window_settings.h"

#include <QSettings>
#include <QString>
#include <algorithm>

#include "common/file_paths.h"
#include "engine/dump_request_rules.h"
#include "ui/common/gsd_folders.h"

namespace fdc::ui {

namespace {

constexpr char kTableOptFile[] = "TableOptFile";
constexpr char kDetailsHidden[] = "DetailsHidden";
constexpr char kDetailsHeight[] = "DetailsHeight";
constexpr char kWinMaximized[] = "WinMaximized";

// "RecentRun1" and "RecentMinutes1" for the first entry.
QString RunKey(std::size_t index) { return QStringLiteral("RecentRun%1").arg(index + 1); }
QString MinutesKey(std::size_t index) { return QStringLiteral("RecentMinutes%1").arg(index + 1); }
QString FilterKey(std::size_t index) { return QStringLiteral("RecentFilter%1").arg(index + 1); }

}  // namespace

void AddRecentRun(std::vector<RecentRun>& runs, const RecentRun& run) {
  RemoveRecentRun(runs, run.path);
  runs.insert(runs.begin(), run);
  if (runs.size() > kMaxRecentRuns) runs.resize(kMaxRecentRuns);
}

void AddRecentFilter(std::vector<std::string>& equations, const std::string& equation) {
  if (equation.find_first_not_of(" \t") == std::string::npos) return;
  equations.erase(std::remove(equations.begin(), equations.end(), equation), equations.end());
  equations.insert(equations.begin(), equation);
  if (equations.size() > kMaxRecentFilters) equations.resize(kMaxRecentFilters);
}

void RemoveRecentRun(std::vector<RecentRun>& runs, const std::string& path) {
  runs.erase(
      std::remove_if(runs.begin(), runs.end(), [&](const RecentRun& r) { return r.path == path; }),
      runs.end());
}

std::string RecentRunLabel(const std::vector<RecentRun>& runs, std::size_t index) {
  const RecentRun& run = runs[index];
  // Entries 1 to 8 get their digit as the mnemonic; a "&" of the name itself is doubled.
  const auto menuText = [](std::string_view text) {
    std::string escaped;
    for (char c : text) {
      if (c == '&') escaped += '&';
      escaped += c;
    }
    return escaped;
  };
  const std::string_view name = FileNameOf(run.path);
  std::string label = "&" + std::to_string(index + 1) + " " + menuText(name);
  if (run.minutes > 1) label += " (" + std::to_string(run.minutes) + " minutes)";
  const bool sameName = std::any_of(runs.begin(), runs.end(), [&](const RecentRun& other) {
    return other.path != run.path && FileNameOf(other.path) == name;
  });
  if (sameName) {
    std::string_view folder = std::string_view(run.path).substr(0, run.path.size() - name.size());
    while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) {
      folder.remove_suffix(1);
    }
    label += " in " + menuText(folder);
  }
  return label;
}

WindowSettings ReadWindowSettings(QSettings& store) {
  WindowSettings settings;
  for (std::size_t i = 0; i < kMaxRecentRuns; ++i) {
    const std::string path = store.value(RunKey(i)).toString().toStdString();
    if (path.empty()) continue;
    bool ok = false;
    const qlonglong minutes = store.value(MinutesKey(i)).toString().trimmed().toLongLong(&ok);
    const bool valid = ok && minutes >= 1 && minutes <= kMaxNumMin;
    settings.RecentRuns.push_back({path, valid ? static_cast<std::uint32_t>(minutes) : 1u});
  }
  settings.TableOptFile = store.value(QLatin1String(kTableOptFile)).toString().toStdString();
  settings.Maximized = store.value(QLatin1String(kWinMaximized)).toString().trimmed() == "1";
  settings.DetailsHidden = store.value(QLatin1String(kDetailsHidden)).toString().trimmed() == "1";
  const int height = store.value(QLatin1String(kDetailsHeight)).toString().trimmed().toInt();
  settings.DetailsHeight = height > 0 && height < 100'000 ? height : 0;
  settings.GsdFolders = ReadGsdFolders(store);
  for (std::size_t i = 0; i < kMaxRecentFilters; ++i) {
    const std::string equation = store.value(FilterKey(i)).toString().toStdString();
    if (!equation.empty()) settings.RecentFilters.push_back(equation);
  }
  return settings;
}

void WriteWindowSettings(QSettings& store, const WindowSettings& settings) {
  for (std::size_t i = 0; i < kMaxRecentRuns; ++i) {
    if (i < settings.RecentRuns.size()) {
      store.setValue(RunKey(i), QString::fromStdString(settings.RecentRuns[i].path));
      store.setValue(MinutesKey(i), settings.RecentRuns[i].minutes);
    } else {
      store.remove(RunKey(i));
      store.remove(MinutesKey(i));
    }
  }
  store.setValue(QLatin1String(kWinMaximized), settings.Maximized ? 1 : 0);
  if (settings.TableOptFile.empty()) {
    store.remove(QLatin1String(kTableOptFile));
  } else {
    store.setValue(QLatin1String(kTableOptFile), QString::fromStdString(settings.TableOptFile));
  }
  auto writeUnlessDefault = [&store](const char* key, int value) {
    if (value == 0) {
      store.remove(QLatin1String(key));
    } else {
      store.setValue(QLatin1String(key), value);
    }
  };
  writeUnlessDefault(kDetailsHidden, settings.DetailsHidden ? 1 : 0);
  writeUnlessDefault(kDetailsHeight, settings.DetailsHeight);
  WriteGsdFolders(store, settings.GsdFolders);
  for (std::size_t i = 0; i < kMaxRecentFilters; ++i) {
    if (i < settings.RecentFilters.size()) {
      store.setValue(FilterKey(i), QString::fromStdString(settings.RecentFilters[i]));
    } else {
      store.remove(FilterKey(i));
    }
  }
}

}  // namespace fdc::ui
