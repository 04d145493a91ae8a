// BackgroundTask: one long job at a time on a thread of its own — the dialog's dump, the health
// figures, the main window's index or filter pass, a text search, an export — with its progress
// handed to the owner's thread without flooding it, and a stop request passed on.
#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "common/result.h"
#include "engine/run_control.h"
#include "ui/common/task_progress.h"

namespace fdc::ui {

class BackgroundTask : public QObject, private ProgressObserver {
  Q_OBJECT

 public:
  // The job runs on the task's thread; it reports progress through the control's observer and
  // ends soon after the control's stop request.
  using Job = std::function<Result(const RunControl& control)>;

  explicit BackgroundTask(QObject* parent = nullptr);
  // A job still going is stopped and waited for.
  ~BackgroundTask() override;
  BackgroundTask(const BackgroundTask&) = delete;
  BackgroundTask& operator=(const BackgroundTask&) = delete;

  // Starts the job. False while an earlier one has not been collected.
  bool Start(Job job);
  void RequestStop() { stop_.store(true); }
  bool StopRequested() const { return stop_.load(); }
  // Started and not yet collected.
  bool Active() const { return thread_.joinable(); }
  // The job has returned (its Done may still be on its way).
  bool Finished() const { return finished_.load(std::memory_order_acquire); }
  // Waits for the job to return and hands over its result; nothing when no job is active.
  std::optional<Result> Collect();
  // Stops a job still going and waits for it; its Done is not delivered.
  void Cancel();

 signals:
  // The latest progress, on the owner's thread; later progress replaces one not yet delivered.
  void Progress(const fdc::ui::ProgressSnapshot& progress);
  // The job has returned; Collect takes its result.
  void Done();

 private:
  void OnProgress(const RunProgress& progress) override;
  void DeliverProgress();

  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{false};
  // Counts the jobs, so that the Done of a cancelled one is not taken for a later one's.
  std::atomic<std::uint64_t> generation_{0};
  std::optional<Result> result_;  // written by the job's thread before it ends

  std::mutex progressMutex_;
  std::optional<ProgressSnapshot> pendingProgress_;  // guarded by progressMutex_
  bool deliveryPosted_ = false;                      // guarded by progressMutex_
};

}  // namespace fdc::ui
