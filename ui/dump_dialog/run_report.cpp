// The message after a run and the status bar's line.
#include "ui/dump_dialog/run_report.h"

#include <cstdint>
#include <string_view>

#include "ui/common/task_progress.h"

namespace fdc::ui {

namespace {

std::string Count(std::uint64_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

std::string Joined(const std::vector<std::string>& lines, std::string_view separator) {
  std::string text;
  for (const std::string& line : lines) {
    if (!text.empty()) text += separator;
    text += line;
  }
  return text;
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

}  // namespace

std::vector<std::string> SummaryLines(const DumpSummary& summary) {
  std::vector<std::string> lines;
  lines.push_back(RecordsLine(summary.records) + ", " +
                  Count(summary.lines, "line written", "lines written") + ", " +
                  Count(summary.syncLosses, "synchronisation loss", "synchronisation losses"));
  if (summary.records > 0 && summary.lines == 0) lines.push_back("0 lines matched the filter");
  if (summary.filesCutShort > 0) {
    lines.push_back(Count(summary.filesCutShort, "capture file", "capture files") +
                    " ended early: synchronisation not found");
  }
  return lines;
}

RunReport ReportRun(const std::string& outputPath, const Result& result,
                    const DumpSummary& summary) {
  RunReport report;
  const std::vector<std::string> lines = SummaryLines(summary);
  if (!result.ok()) {
    report.end = RunEnd::kFailed;
    report.message = result.ErrorText();
    report.statusLine = "Dump failed: " + FirstLine(result.ErrorText());
    if (summary.records > 0) report.statusLine += "; " + lines.front();
    return report;
  }
  if (summary.stopped) {
    report.end = RunEnd::kStopped;
    report.message = "Dump Stopped: " + outputPath + " is partial\n" + Joined(lines, "\n");
    report.statusLine = "Dump Stopped: " + outputPath + " is partial; " + Joined(lines, "; ");
    return report;
  }
  report.end = RunEnd::kCreated;
  report.message = outputPath + " Created\n" + Joined(lines, "\n");
  report.statusLine = outputPath + " Created; " + Joined(lines, "; ");
  return report;
}

}  // namespace fdc::ui
