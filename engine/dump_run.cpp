// DumpRun: reads the options, creates the dump, and writes one line per shown record.
#include "engine/dump_run.h"

#include <cstdio>
#include <memory>

#include "capture/capture_file_set.h"
#include "common/dump_writer.h"
#include "engine/line_writers.h"
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

// Everything one run needs, taken once at its start; the record loop allocates nothing.
struct RunState {
  DumpOptions options;
  ShowOnlyProgram program;
  DumpWriter out;
  CaptureFileSet captures;
  TimeBase time;
  std::uint8_t frame[kFrameBufferSize] = {};
};

class Run {
 public:
  Run(const DumpRequest& request, const RunControl& control, DumpSummary& summary)
      : request_(request), control_(control), summary_(summary), s_(std::make_unique<RunState>()) {}

  Result Execute() {
    Result options = ReadOptionFile(request_.OptionPath, s_->options, s_->program);
    if (!options.ok()) return options;

    if (!s_->out.Open(request_.OutputPath)) {
      return Fail("Unable to Open Output Text File %s", request_.OutputPath.c_str());
    }
    s_->time.StartRun();
    s_->captures.Start(request_.CaptureBase, request_.CaptureExtension, request_.StartHour,
                       request_.StartMinute, request_.NumMin, &s_->out,
                       {request_.OptionPath, s_->program.text});

    Result opened = s_->captures.OpenNextCaptureFile();
    if (opened.end()) return Finish("\nEnd of Capture Data\n");  // a request for no files
    if (!opened.ok()) return opened;
    s_->time.SetTimeConstants(s_->captures.Header().BaudCode);
    Result synced = s_->captures.FindSync();
    if (!synced.ok()) {
      s_->captures.CloseFiles();
      return synced;
    }
    return Loop();
  }

 private:
  Result Loop() {
    RunState& s = *s_;
    const DumpOptions& options = s.options;
    const TimeColumnFormats timeFormats(options);
    std::uint32_t refNumber = 0;
    std::uint64_t timestamp = 0;
    std::uint8_t frameLen = 0;
    for (;;) {
      if (control_.StopRequested()) {
        summary_.stopped = true;
        return Finish("\nDump Stopped\n");
      }
      Result read = s.captures.ReadRecord(timestamp, s.frame, frameLen, refNumber);
      summary_.syncLosses = s.captures.SyncLosses();
      if (read.end()) return Finish("\nEnd of Capture Data\n");
      if (!read.ok()) {
        s.captures.CloseFiles();
        return read;
      }
      ++refNumber;
      summary_.records = refNumber;

      const std::uint64_t position = s.captures.Position();
      ReportProgress(position);
      s.time.UpdateTimeBase(timestamp, frameLen);

      if (refNumber < request_.StartRef) continue;
      if (refNumber > request_.EndRef) return Finish("\nLast Reference Reached\n");
      if (options.ShowOnly &&
          EvaluateShowOnly(s.program, s.captures.Fields(),
                           ByteView(s.frame, static_cast<std::size_t>(frameLen) + 1),
                           s.time.GapMicroseconds(), request_.CmdArgs) == 0) {
        continue;
      }

      if (options.ShowFileOfs) {
        s.out.HexPadded(static_cast<std::uint32_t>(position), 8);
        s.out.Text(": ");
      }
      if (!options.NoRef) {
        s.out.Dec(refNumber, 9);
        s.out.Text(": ");
      }
      WriteTimeColumns(s.out, options, timeFormats, s.time);
      WriteFrameColumns(s.out, options, s.frame, frameLen);
      s.out.NewLine();
      ++summary_.lines;
      if (s.out.WriteFailed()) {
        s.captures.CloseFiles();
        return WriteFailure();
      }
    }
  }

  void ReportProgress(std::uint64_t position) {
    const std::uint64_t size = s_->captures.CurrentSize();
    // Positions and sizes are far below 2^57, so the product cannot overflow.
    const auto percent = static_cast<std::uint32_t>(size == 0 ? 100 : position * 100 / size);
    if (percent == s_->captures.LastPercent) return;
    s_->captures.LastPercent = percent;
    if (control_.progress == nullptr) return;
    RunProgress progress;
    progress.fileName = s_->captures.CurrentName();
    progress.filePercent = percent;
    progress.fileCount = request_.NumMin;
    progress.fileNumber = request_.NumMin - s_->captures.FilesLeft();
    progress.records = summary_.records;
    control_.progress->OnProgress(progress);
  }

  Result Finish(const char* endText) {
    s_->out.Printf("%s", endText);
    s_->captures.CloseFiles();
    s_->out.Close();
    if (s_->out.WriteFailed()) return WriteFailure();
    return Result::Ok();
  }

  Result WriteFailure() {
    return Fail("Unable to Write Output Text File %s", request_.OutputPath.c_str());
  }

  const DumpRequest& request_;
  const RunControl& control_;
  DumpSummary& summary_;
  std::unique_ptr<RunState> s_;
};

}  // namespace

ProgressObserver& StdoutProgress() {
  static StdoutProgressObserver observer;
  return observer;
}

Result DumpRun(const DumpRequest& request, const RunControl& control, DumpSummary* summary) {
  DumpSummary local;
  DumpSummary& filled = summary != nullptr ? *summary : local;
  filled = DumpSummary{};
  return Run(request, control, filled).Execute();
}

}  // namespace fdc
