// DumpRun: reads the options, then runs the record loop with the text dump as its consumer.
#include "engine/dump_run.h"

#include <cstdio>
#include <memory>

#include "engine/record_filter.h"
#include "engine/record_loop.h"
#include "engine/text_dump_consumer.h"
#include "options/options.h"

namespace fdc {

namespace {

class StdoutProgressObserver final : public ProgressObserver {
 public:
  void OnProgress(const RunProgress& progress) override {
    std::printf("%.*s %2u%%\r", static_cast<int>(progress.fileName.size()),
                progress.fileName.data(), progress.filePercent);
    std::fflush(stdout);
  }
};

// Taken once at the start of a run (the program alone is 64 KiB); the record loop allocates
// nothing.
struct DumpSetup {
  DumpOptions options;
  ShowOnlyProgram program;
};

}  // namespace

ProgressObserver& StdoutProgress() {
  static StdoutProgressObserver observer;
  return observer;
}

Result DumpRun(const DumpRequest& request, const RunControl& control, DumpSummary* summary) {
  if (summary != nullptr) *summary = DumpSummary{};
  const auto setup = std::make_unique<DumpSetup>();
  Result options = ReadOptionFile(request.OptionPath, setup->options, setup->program);
  if (!options.ok()) return options;
  return DumpRun(request, setup->options,
                 ShownByOptionFile(setup->options.ShowOnly ? &setup->program : nullptr, request),
                 control, summary);
}

Result DumpRun(const DumpRequest& request, const DumpOptions& options, const RecordFilter& shown,
               const RunControl& control, DumpSummary* summary) {
  DumpSummary local;
  DumpSummary& filled = summary != nullptr ? *summary : local;
  filled = DumpSummary{};

  // The header's "Show Only" line needs a program, also when every record is shown.
  static const ShowOnlyProgram kNoProgram{};
  TextDumpConsumer dump(request, options, shown.program != nullptr ? *shown.program : kNoProgram);
  const auto loop = std::make_unique<RecordLoop>(request, shown, control);
  RecordConsumer* const consumers[] = {&dump};
  Result result = loop->Run(consumers);

  filled.records = loop->Totals().records;
  filled.lines = dump.Lines();
  filled.syncLosses = loop->Totals().syncLosses;
  filled.filesCutShort = loop->Totals().filesCutShort;
  filled.stopped = loop->Ended() == RunEnd::kStopped;
  return result;
}

}  // namespace fdc
