// The health figures' run over the record loop, its thread, progress and stop request, and its
// status line.
#include "ui/health/health_computation.h"

#include <algorithm>
#include <exception>
#include <fstream>
#include <memory>
#include <utility>

#include "capture/baud_rate_table.h"
#include "capture/capture_file_set.h"
#include "engine/dump_request_rules.h"
#include "engine/record_loop.h"
#include "report/bus_report.h"

namespace fdc::ui {

namespace {

std::string Counted(std::uint64_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

}  // namespace

HealthSettings HealthSettingsOf(std::uint32_t tslField, std::uint32_t ttrField) {
  HealthSettings settings;
  if (tslField != 0) settings.tslBits = std::min(tslField, kMaxSlotTimeBits);
  if (ttrField != 0) settings.ttrBits = std::min(ttrField, kMaxRotationBits);
  return settings;
}

DumpRequest HealthRequestOf(const DumpRequest& request) {
  DumpRequest run;
  run.Run = request.Run;
  return run;
}

bool SameRun(const DumpRequest& a, const DumpRequest& b) { return a.Run == b.Run; }

HealthOutcome ComputeHealth(const DumpRequest& request, const HealthSettings& settings,
                            const RunControl& control) {
  BusStatisticsOptions options;
  options.tslBits = settings.tslBits;
  options.ttrBits = settings.ttrBits;
  options.gsd = settings.gsd.get();
  return ComputeBusFigures(HealthRequestOf(request), options, control);
}

std::string HealthStatusLine(const HealthOutcome& outcome, std::size_t findings) {
  if (!outcome.figures) {
    return "No figures: " + FirstLine(outcome.result.ErrorText());
  }
  const BusFigures& f = *outcome.figures;
  std::string line = Counted(f.run.files, "file", "files") + ", " +
                     Counted(f.run.records, "record", "records") + "; ";
  if (!f.rateKnown) {
    line += "baud rate unknown: no times, no slot time test";
  } else {
    line += "slot time " + std::to_string(f.tslBits) + " bit times";
    if (f.tslBits == DefaultSlotTimeBits(f.baudCode)) {
      line += " (by the baud rate " + std::string(BaudRateName(f.baudCode)) + ")";
    }
    line += f.ttrBits ? ", TTR " + std::to_string(*f.ttrBits) + " bit times" : ", no TTR";
  }
  if (f.run.records == 0) {
    line += "; no records could be read";
  } else {
    line += "; " + (findings == 0 ? std::string("the bus looked healthy")
                                  : Counted(findings, "finding", "findings"));
  }
  if (outcome.stopped) line += ". Stopped: the figures cover the records read before it";
  if (outcome.result.failed()) {
    line += ". Reading ended early: " + FirstLine(outcome.result.ErrorText());
  }
  return line;
}

std::string HealthExportPath(const DumpRequest& run, std::string_view what,
                             std::string_view extension) {
  const std::string first = run.Run.FirstName();
  return first.substr(0, first.size() - run.Run.extension.size()) + "_" + std::string(what) + "." +
         std::string(extension);
}

std::string ExportRefusal(const DumpRequest& run, const std::string& path) {
  const std::optional<std::string> named = InputNamedBy(HealthRequestOf(run), path);
  return named ? "The output file would overwrite the input file " + *named : std::string();
}

Result WriteFiguresFile(const BusFigures& figures, const DumpRequest& run, const std::string& path,
                        FiguresFormat format) {
  if (const std::string refusal = ExportRefusal(run, path); !refusal.empty()) {
    return Result::Error(refusal);
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return Fail("Unable to Open Output File %s", path.c_str());
  if (format == FiguresFormat::kJson) {
    WriteBusJson(figures, out);
  } else {
    WriteBusCsv(figures, out);
  }
  out.close();
  if (!out) return Fail("Unable to Write Output File %s", path.c_str());
  return Result::Ok();
}

HealthComputation::HealthComputation(QObject* parent) : QObject(parent) {
  connect(&task_, &BackgroundTask::Progress, this, &HealthComputation::Progress);
  connect(&task_, &BackgroundTask::Done, this, &HealthComputation::Done);
}

bool HealthComputation::Start(const DumpRequest& request, const HealthSettings& settings) {
  if (task_.Active()) return false;
  outcome_ = HealthOutcome{};
  // The lambda holds a copy of the settings, and with it the GSD library, until the run returns.
  return task_.Start([this, request, settings](const RunControl& control) {
    outcome_ = ComputeHealth(request, settings, control);
    return outcome_.result;
  });
}

std::optional<HealthOutcome> HealthComputation::Collect() {
  std::optional<Result> result = task_.Collect();
  if (!result) return std::nullopt;
  HealthOutcome outcome = std::exchange(outcome_, HealthOutcome{});
  // A job that could not finish (memory ran out) reports its failure without figures.
  if (result->failed() && !outcome.result.failed()) {
    outcome.figures.reset();
    outcome.result = std::move(*result);
  }
  return outcome;
}

}  // namespace fdc::ui
