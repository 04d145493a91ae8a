// A job on its own thread with coalesced progress and a stop request.
#include "ui/common/background_task.h"

#include <exception>
#include <string>
#include <utility>

namespace fdc::ui {

BackgroundTask::BackgroundTask(QObject* parent) : QObject(parent) {}

BackgroundTask::~BackgroundTask() { Cancel(); }

bool BackgroundTask::Start(Job job) {
  if (thread_.joinable()) return false;
  stop_.store(false);
  finished_.store(false);
  result_.reset();
  {
    const std::lock_guard<std::mutex> lock(progressMutex_);
    pendingProgress_.reset();
  }
  const std::uint64_t generation = ++generation_;
  thread_ = std::thread([this, generation, job = std::move(job)] {
    Result result = Result::Ok();
    try {
      result = job(RunControl(this, &stop_));
    } catch (const std::exception& error) {
      // Only memory can run out in the engine; the window reports it like any failure.
      result = Result::Error(std::string("Out of memory: ") + error.what());
    }
    result_ = std::move(result);
    finished_.store(true, std::memory_order_release);
    // The destructor joins this thread before the object goes, so `this` is still there.
    QMetaObject::invokeMethod(
        this,
        [this, generation] {
          if (generation == generation_.load() && thread_.joinable()) emit Done();
        },
        Qt::QueuedConnection);
  });
  return true;
}

std::optional<Result> BackgroundTask::Collect() {
  if (!thread_.joinable()) return std::nullopt;
  thread_.join();
  {
    // Progress still waiting belongs to a job that is over.
    const std::lock_guard<std::mutex> lock(progressMutex_);
    pendingProgress_.reset();
  }
  std::optional<Result> result = std::move(result_);
  result_.reset();
  return result ? result : std::optional<Result>(Result::Ok());
}

void BackgroundTask::Cancel() {
  if (!thread_.joinable()) return;
  RequestStop();
  ++generation_;
  (void)Collect();
}

void BackgroundTask::OnProgress(const RunProgress& progress) {
  ProgressSnapshot snapshot = SnapshotOf(progress);
  bool post = false;
  {
    const std::lock_guard<std::mutex> lock(progressMutex_);
    pendingProgress_ = std::move(snapshot);
    post = !deliveryPosted_;
    deliveryPosted_ = true;
  }
  if (post) {
    QMetaObject::invokeMethod(
        this, [this] { DeliverProgress(); }, Qt::QueuedConnection);
  }
}

void BackgroundTask::DeliverProgress() {
  std::optional<ProgressSnapshot> snapshot;
  {
    const std::lock_guard<std::mutex> lock(progressMutex_);
    snapshot.swap(pendingProgress_);
    deliveryPosted_ = false;
  }
  if (snapshot) emit Progress(*snapshot);
}

}  // namespace fdc::ui
