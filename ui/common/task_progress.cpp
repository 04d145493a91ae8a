// The progress snapshot and its lines.
#include "ui/common/task_progress.h"

#include "common/file_paths.h"

namespace fdc::ui {

ProgressSnapshot SnapshotOf(const RunProgress& progress) {
  ProgressSnapshot snapshot;
  snapshot.fileName = std::string(progress.fileName);
  snapshot.filePercent = progress.filePercent;
  snapshot.fileNumber = progress.fileNumber;
  snapshot.fileCount = progress.fileCount;
  snapshot.records = progress.records;
  snapshot.runPercent = progress.RunPercent();
  return snapshot;
}

std::string FileProgressLine(const ProgressSnapshot& progress) {
  return "File " + std::to_string(progress.fileNumber) + " of " +
         std::to_string(progress.fileCount) + ": " + std::string(FileNameOf(progress.fileName)) +
         " " + std::to_string(progress.filePercent) + "%";
}

std::string RecordsLine(std::uint64_t records) {
  return std::to_string(records) + (records == 1 ? " record read" : " records read");
}

}  // namespace fdc::ui
