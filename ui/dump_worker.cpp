// The dump's own thread, its coalesced progress and its stop request.
#include "ui/dump_worker.h"

#include <exception>
#include <string>
#include <utility>

namespace fdc::ui {

DumpWorker::DumpWorker(QObject* parent) : QObject(parent) {}

DumpWorker::~DumpWorker() {
  RequestStop();
  if (thread_.joinable()) thread_.join();
}

bool DumpWorker::Start(DumpRequest request) {
  if (thread_.joinable()) return false;
  stop_.store(false);
  finished_.store(false);
  {
    const std::lock_guard<std::mutex> lock(progressMutex_);
    pendingProgress_.reset();
  }
  thread_ = std::thread([this, request = std::move(request)] {
    DumpOutcome outcome;
    try {
      outcome.result = DumpRun(request, RunControl(this, &stop_), &outcome.summary);
    } catch (const std::exception& error) {
      // Only memory can run out in the engine; the dialog reports it like any failed run.
      outcome.result = Result::Error(std::string("Dump failed: ") + error.what());
    }
    outcome_ = std::move(outcome);
    finished_.store(true, std::memory_order_release);
    // The destructor joins this thread before the object goes, so `this` is still there.
    QMetaObject::invokeMethod(
        this, [this] { emit Done(); }, Qt::QueuedConnection);
  });
  return true;
}

void DumpWorker::RequestStop() { stop_.store(true); }

std::optional<DumpOutcome> DumpWorker::Collect() {
  if (!thread_.joinable()) return std::nullopt;
  thread_.join();
  {
    // Progress still waiting for delivery belongs to a run that is over.
    const std::lock_guard<std::mutex> lock(progressMutex_);
    pendingProgress_.reset();
  }
  return std::exchange(outcome_, DumpOutcome{});
}

void DumpWorker::OnProgress(const RunProgress& progress) {
  ProgressSnapshot snapshot = SnapshotOf(progress);
  bool post = false;
  {
    const std::lock_guard<std::mutex> lock(progressMutex_);
    pendingProgress_ = std::move(snapshot);
    post = !deliveryPosted_;
    deliveryPosted_ = true;
  }
  if (post)
    QMetaObject::invokeMethod(
        this, [this] { DeliverProgress(); }, Qt::QueuedConnection);
}

void DumpWorker::DeliverProgress() {
  std::optional<ProgressSnapshot> snapshot;
  {
    const std::lock_guard<std::mutex> lock(progressMutex_);
    snapshot.swap(pendingProgress_);
    deliveryPosted_ = false;
  }
  if (snapshot) emit Progress(*snapshot);
}

}  // namespace fdc::ui
