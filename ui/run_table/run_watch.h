// RunWatch: whether the files of the open run changed on disk since it was read — a capture
// module may still be writing the run. The state of the run's minute files (size and time of the
// last change) and whether the minute file after them exists, compared with the state when the
// run was read: a last file that grew or a next minute file that appeared can be read on from
// where the index ended; anything else needs the run read again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "capture/capture_file_set.h"

namespace fdc::ui {

struct WatchedFile {
  std::string name;
  std::optional<std::uint64_t> size;  // none: the file is not there (or cannot be read)
  std::int64_t modified = 0;          // the time of its last change, in the system's units
  friend bool operator==(const WatchedFile&, const WatchedFile&) = default;
};

struct RunFilesState {
  std::vector<WatchedFile> files;  // the run's minute files, in order
  bool nextExists = false;         // the minute file after the last one
  friend bool operator==(const RunFilesState&, const RunFilesState&) = default;
};

RunFilesState ReadRunFilesState(const CaptureRunFiles& run);

enum class RunChange : std::uint8_t {
  kNone,
  kGrown,    // the last file grew, or the next minute file appeared; the rest is as it was
  kChanged,  // a file shrank, went, or changed otherwise
};
RunChange CompareRunFiles(const RunFilesState& read, const RunFilesState& now);

}  // namespace fdc::ui
