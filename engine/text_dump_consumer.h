// TextDumpConsumer: the text dump as a consumer of the record loop — a header block for every
// capture file, the diagnostics of lost synchronisation, one line per shown record, the end text.
#pragma once

#include <cstdint>

#include "common/dump_writer.h"
#include "engine/line_writers.h"
#include "engine/record_loop.h"
#include "options/options.h"

namespace fdc {

class TextDumpConsumer final : public RecordConsumer {
 public:
  // The options and the program stay the caller's and must outlive the run.
  TextDumpConsumer(const DumpRequest& request, const DumpOptions& options,
                   const ShowOnlyProgram& program);

  // Creates (or empties) the dump file, or takes the request's stream.
  Result Begin(const RecordLoop& loop) override;
  void OnEvent(const CaptureEvent& event, const RecordLoop& loop) override;
  bool OnRecord(const RecordView& record) override;
  // Writes the end text of the way the run ended and closes the dump.
  Result End(RunEnd how) override;

  std::uint64_t Lines() const { return lines_; }

 private:
  void WriteHeaderBlock(const CaptureFileInfo& file);
  Result WriteFailure() const;

  const DumpRequest& request_;
  const DumpOptions& options_;
  const ShowOnlyProgram& program_;
  const TimeColumnFormats timeFormats_;
  DumpWriter out_;
  std::uint64_t lines_ = 0;
};

}  // namespace fdc
