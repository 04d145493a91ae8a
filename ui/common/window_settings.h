// The main window's own settings, kept in the store beside the eight of the text dump dialog and
// the window placement: the runs opened last (File > Open Recent), the option file of the
// table's filter bar, its equations applied last and the GSD folders (Options > GSD Folders).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class QSettings;

namespace fdc::ui {

inline constexpr std::size_t kMaxRecentRuns = 8;
inline constexpr std::size_t kMaxRecentFilters = 10;

struct RecentRun {
  std::string path;           // the run's first capture file
  std::uint32_t minutes = 1;  // how many minute files were opened
  friend bool operator==(const RecentRun&, const RecentRun&) = default;
};

struct WindowSettings {
  std::vector<RecentRun> RecentRuns;    // the last opened first, at most kMaxRecentRuns
  std::string TableOptFile;             // empty: the dialog's option file
  bool Maximized = false;               // "WinMaximized": the window was closed maximised
  bool DetailsHidden = false;           // the record details pane under the table was hidden
  int DetailsHeight = 0;                // its height in pixels; 0: the window's choice
  std::vector<std::string> GsdFolders;  // "GsdFolders": where the DP slaves' GSD files lie
  // "RecentFilter1" to "RecentFilter10": the equations applied last, the last first.
  std::vector<std::string> RecentFilters;
  // Read, never written: the store held a window rectangle (any of its four edges).
  bool PlacementStored = false;
  friend bool operator==(const WindowSettings&, const WindowSettings&) = default;
};

// Puts `run` first; an earlier entry of the same file goes, and the list keeps its length limit.
void AddRecentRun(std::vector<RecentRun>& runs, const RecentRun& run);
// Puts an applied equation first: an earlier entry of the same text goes, a blank one is not
// kept, and the list keeps its length limit.
void AddRecentFilter(std::vector<std::string>& equations, const std::string& equation);
// Takes the entry of `path` out of the list (a run that no longer opens).
void RemoveRecentRun(std::vector<RecentRun>& runs, const std::string& path);

// The menu text of entry `index` (from 0): "&1 Line11159.FdcCapt (3 minutes)"; when another
// entry has the same file name, its folder follows ("&1 Line11159.FdcCapt in /caps/a").
std::string RecentRunLabel(const std::vector<RecentRun>& runs, std::size_t index);

// Reads and writes the values inside the group that `store` has open ("Settings"). Entries without
// a path are skipped; a minute count that is not 1 to 1439 reads as 1. Writing removes the values
// of entries the list no longer has, and an empty option file is not written, so a store that
// never saw a run holds just the eight values of the dialog and the placement. The details pane's
// values are written only when they differ from the defaults, the GSD folders only when there are
// any (ui/common/gsd_folders.h).
WindowSettings ReadWindowSettings(QSettings& store);
void WriteWindowSettings(QSettings& store, const WindowSettings& settings);

}  // namespace fdc::ui
