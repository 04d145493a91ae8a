// What the dialog tells about a dump run: the progress lines while it runs, the message after it
// and the status bar's summary of the last run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/result.h"
#include "engine/dump_run.h"
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

// What a run did, one fact a line: records read, lines written and synchronisation losses; then
// "0 lines matched the filter" when records were read but none was written, and the files that a
// failed synchronisation search ended early.
std::vector<std::string> SummaryLines(const DumpSummary& summary);

enum class RunEnd { kCreated, kStopped, kFailed };

struct RunReport {
  RunEnd end = RunEnd::kCreated;
  std::string message;     // the message box's text; for a failure the run's own message
  std::string statusLine;  // one line for the main window's status bar
};

RunReport ReportRun(const std::string& outputPath, const Result& result,
                    const DumpSummary& summary);

}  // namespace fdc::ui
