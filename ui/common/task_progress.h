// How a background task's progress reads: a copy of the engine's progress that outlives the call
// it came with, and the lines that the dialog and the views show of it.
#pragma once

#include <cstdint>
#include <string>

#include "engine/run_control.h"

namespace fdc::ui {

// A copy of the engine's progress that outlives the call it came with.
struct ProgressSnapshot {
  std::string fileName;  // the open capture file, as the run named it
  unsigned filePercent = 0;
  std::uint32_t fileNumber = 1;
  std::uint32_t fileCount = 1;
  std::uint64_t records = 0;
  unsigned runPercent = 0;
  friend bool operator==(const ProgressSnapshot&, const ProgressSnapshot&) = default;
};

ProgressSnapshot SnapshotOf(const RunProgress& progress);

// "File 2 of 3: Line11431.FdcCapt 45%": the open file without its folder.
std::string FileProgressLine(const ProgressSnapshot& progress);
// "12345 records read", beside the whole run's percentage.
std::string RecordsLine(std::uint64_t records);

}  // namespace fdc::ui
