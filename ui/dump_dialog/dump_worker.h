// DumpWorker: runs one dump at a time on a thread of its own (a BackgroundTask), hands its
// progress over to the thread that owns the worker without flooding it, and passes on a stop
// request.
#pragma once

#include <QObject>
#include <optional>

#include "common/result.h"
#include "engine/dump_run.h"
#include "ui/common/background_task.h"
#include "ui/common/task_progress.h"

namespace fdc::ui {

struct DumpOutcome {
  Result result = Result::Ok();
  DumpSummary summary;
};

class DumpWorker : public QObject {
  Q_OBJECT

 public:
  explicit DumpWorker(QObject* parent = nullptr);
  // A run still going is stopped and waited for.
  ~DumpWorker() override = default;

  DumpWorker(const DumpWorker&) = delete;
  DumpWorker& operator=(const DumpWorker&) = delete;

  // Starts the dump. False while an earlier run has not been collected.
  bool Start(DumpRequest request);
  // The run ends between two records; its outcome then arrives as after any other end.
  void RequestStop() { task_.RequestStop(); }
  // Started and not yet collected.
  bool Active() const { return task_.Active(); }
  // The run has returned (its Done may still be on its way).
  bool Finished() const { return task_.Finished(); }
  // Waits for the run to return and hands over its outcome; nothing when no run is active.
  std::optional<DumpOutcome> Collect();

 signals:
  // The latest progress, delivered on the owner's thread. While one delivery waits, later
  // progress replaces its contents instead of queueing another.
  void Progress(const fdc::ui::ProgressSnapshot& progress);
  // The run has returned; Collect takes its outcome.
  void Done();

 private:
  // Written by the run's thread before it ends, read after the task is collected.
  DumpSummary summary_;
  BackgroundTask task_;
};

}  // namespace fdc::ui
