// The dialog's dump as a background task.
#include "ui/dump_dialog/dump_worker.h"

#include <utility>

namespace fdc::ui {

DumpWorker::DumpWorker(QObject* parent) : QObject(parent) {
  connect(&task_, &BackgroundTask::Progress, this, &DumpWorker::Progress);
  connect(&task_, &BackgroundTask::Done, this, &DumpWorker::Done);
}

bool DumpWorker::Start(DumpRequest request) {
  if (task_.Active()) return false;
  summary_ = DumpSummary{};
  return task_.Start([this, request = std::move(request)](const RunControl& control) {
    return DumpRun(request, control, &summary_);
  });
}

std::optional<DumpOutcome> DumpWorker::Collect() {
  std::optional<Result> result = task_.Collect();
  if (!result) return std::nullopt;
  return DumpOutcome{std::move(*result), std::exchange(summary_, DumpSummary{})};
}

}  // namespace fdc::ui
