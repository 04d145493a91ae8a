// What the dialog tells about a dump run when it ends: the message after it and the status bar's
// summary of the last run.
#pragma once

#include <string>
#include <vector>

#include "common/result.h"
#include "engine/dump_run.h"

namespace fdc::ui {

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
