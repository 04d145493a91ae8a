// The state of a run's files on disk, and how it changed.
#include "ui/run_table/run_watch.h"

#include <filesystem>
#include <system_error>

#include "common/platform_io.h"

namespace fdc::ui {

namespace {

WatchedFile Watch(const std::string& name) {
  namespace fs = std::filesystem;
  WatchedFile file;
  file.name = name;
  const fs::path path = SystemPath(PathFromUtf8(name));
  std::error_code error;
  const std::uintmax_t size = fs::file_size(path, error);
  if (error) return file;
  file.size = size;
  const fs::file_time_type modified = fs::last_write_time(path, error);
  if (!error) file.modified = modified.time_since_epoch().count();
  return file;
}

}  // namespace

RunFilesState ReadRunFilesState(const CaptureRunFiles& run) {
  RunFilesState state;
  std::uint32_t hour = run.hour;
  std::uint32_t minute = run.minute;
  for (std::uint32_t i = 0; i < run.count; ++i) {
    state.files.push_back(Watch(CaptureFileName(run.base, hour, minute, run.extension)));
    AdvanceMinute(hour, minute);
  }
  state.nextExists = Watch(CaptureFileName(run.base, hour, minute, run.extension)).size.has_value();
  return state;
}

RunChange CompareRunFiles(const RunFilesState& read, const RunFilesState& now) {
  if (read == now) return RunChange::kNone;
  if (read.files.size() != now.files.size() || read.files.empty()) return RunChange::kChanged;
  const std::size_t last = read.files.size() - 1;
  for (std::size_t i = 0; i < last; ++i) {
    if (read.files[i] != now.files[i]) return RunChange::kChanged;
  }
  const WatchedFile& before = read.files[last];
  const WatchedFile& after = now.files[last];
  const bool grown = before == after || (before.size && after.size && *after.size > *before.size);
  // A next file that went again is no growth.
  if (!grown || (read.nextExists && !now.nextExists)) return RunChange::kChanged;
  return RunChange::kGrown;
}

}  // namespace fdc::ui
