// DumpWorker: runs one dump at a time on a thread of its own, hands its progress over to the
// thread that owns the worker without flooding it, and passes on a stop request.
#pragma once

#include <QObject>
#include <atomic>
#include <mutex>
#include <optional>
#include <thread>

#include "common/result.h"
#include "engine/dump_run.h"
#include "ui/run_report.h"

namespace fdc::ui {

struct DumpOutcome {
  Result result = Result::Ok();
  DumpSummary summary;
};

class DumpWorker : public QObject, private ProgressObserver {
  Q_OBJECT

 public:
  explicit DumpWorker(QObject* parent = nullptr);
  // A run still going is stopped and waited for.
  ~DumpWorker() override;

  DumpWorker(const DumpWorker&) = delete;
  DumpWorker& operator=(const DumpWorker&) = delete;

  // Starts the dump. False while an earlier run has not been collected.
  bool Start(DumpRequest request);
  // The run ends between two records; its outcome then arrives as after any other end.
  void RequestStop();
  // Started and not yet collected.
  bool Active() const { return thread_.joinable(); }
  // The run has returned (its Done may still be on its way).
  bool Finished() const { return finished_.load(std::memory_order_acquire); }
  // Waits for the run to return and hands over its outcome; nothing when no run is active.
  std::optional<DumpOutcome> Collect();

 signals:
  // The latest progress, delivered on the owner's thread. While one delivery waits, later
  // progress replaces its contents instead of queueing another.
  void Progress(const fdc::ui::ProgressSnapshot& progress);
  // The run has returned; Collect takes its outcome.
  void Done();

 private:
  // On the run's thread.
  void OnProgress(const RunProgress& progress) override;
  void DeliverProgress();

  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{false};
  // Written by the run's thread before it ends, read after the join.
  DumpOutcome outcome_;

  std::mutex progressMutex_;
  std::optional<ProgressSnapshot> pendingProgress_;  // guarded by progressMutex_
  bool deliveryPosted_ = false;                      // guarded by progressMutex_
};

}  // namespace fdc::ui
