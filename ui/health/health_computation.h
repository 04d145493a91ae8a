// HealthComputation: the bus health figures of a run, computed by the engine's statistics
// consumer on a thread of its own, with coalesced progress and a stop request, and handed to the
// thread that owns it; the settings it is computed with and what is said about its outcome.
#pragma once

#include <QObject>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"
#include "dp/gsd.h"
#include "engine/bus_statistics.h"
#include "engine/dump_run.h"
#include "engine/run_control.h"
#include "ui/common/background_task.h"
#include "ui/common/task_progress.h"

namespace fdc::ui {

struct HealthSettings {
  std::optional<std::uint32_t> tslBits;  // none: by the first file's baud rate, as fdcstat
  std::optional<std::uint32_t> ttrBits;  // none: token rotations are not judged
  // The GSD files that name and check the DP slaves (fdcstat --gsd); null: none. Shared with the
  // computation's thread, which keeps it while it runs. Another library is another setting.
  std::shared_ptr<const dp::GsdLibrary> gsd = nullptr;
  friend bool operator==(const HealthSettings&, const HealthSettings&) = default;
};

// The settings from the view's two fields, where 0 stands for the default slot time and for no
// TTR; values beyond fdcstat's bounds are held at them.
HealthSettings HealthSettingsOf(std::uint32_t tslField, std::uint32_t ttrField);

// How a computation went, and its figures: the engine's own.
using HealthOutcome = BusFiguresRun;

// The request the figures are computed from: the run's files of `request`, every record read (no
// reference window, no option file, no filter), as fdcstat reads a run.
DumpRequest HealthRequestOf(const DumpRequest& request);

// Both name the same files.
bool SameRun(const DumpRequest& a, const DumpRequest& b);

// Runs the statistics over the run on the calling thread.
HealthOutcome ComputeHealth(const DumpRequest& request, const HealthSettings& settings,
                            const RunControl& control);

// One line for the view: what was computed and how it ended, e.g. "3 files, 3000 records; slot
// time 300 bit times (by the baud rate 1M5), no TTR; 5 findings".
std::string HealthStatusLine(const HealthOutcome& outcome, std::size_t findings);

enum class FiguresFormat { kJson, kCsv };

// Where an export starts: beside the run's first file, "<name>HHMM_<what>.<extension>".
std::string HealthExportPath(const DumpRequest& run, std::string_view what,
                             std::string_view extension);
// Why `path` must not be written, as fdcdump words it: it names a file of the run. Empty when it
// may be written.
std::string ExportRefusal(const DumpRequest& run, const std::string& path);
// Writes the figures with fdcstat's writers, after the same refusal.
Result WriteFiguresFile(const BusFigures& figures, const DumpRequest& run, const std::string& path,
                        FiguresFormat format);

class HealthComputation : public QObject {
  Q_OBJECT

 public:
  explicit HealthComputation(QObject* parent = nullptr);
  // A computation still going is stopped and waited for.
  ~HealthComputation() override = default;

  HealthComputation(const HealthComputation&) = delete;
  HealthComputation& operator=(const HealthComputation&) = delete;

  // Starts computing. False while an earlier computation has not been collected.
  bool Start(const DumpRequest& request, const HealthSettings& settings);
  // The run ends between two records; its outcome, with the figures so far, then arrives as
  // after any other end.
  void RequestStop() { task_.RequestStop(); }
  // Started and not yet collected.
  bool Active() const { return task_.Active(); }
  // Waits for the run to return and hands over its outcome; nothing when none is active.
  std::optional<HealthOutcome> Collect();

 signals:
  // The latest progress, on the owner's thread; later progress replaces a delivery still waiting
  // instead of queueing another.
  void Progress(const fdc::ui::ProgressSnapshot& progress);
  // The run has returned; Collect takes its outcome.
  void Done();

 private:
  // Written by the run's thread before it ends, read after the task is collected.
  HealthOutcome outcome_;
  BackgroundTask task_;
};

}  // namespace fdc::ui
