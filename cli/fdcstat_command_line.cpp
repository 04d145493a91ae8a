// fdcstat: argument parsing, the run chosen as fdcdump chooses it, the statistics run and the
// report written in the chosen format.
#include "cli/fdcstat_command_line.h"

#include <unistd.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <sstream>
#include <string_view>

#include "cli/bus_report.h"
#include "cli/run_arguments.h"
#include "engine/bus_statistics.h"
#include "engine/dump_request_rules.h"
#include "engine/record_loop.h"

namespace fdc {

namespace {

constexpr const char* kUsage =
    "Usage: fdcstat [--minutes N] [--tsl BITS] [--ttr BITS] [--format text|json|csv]\n"
    "               [--output FILE] [--] CAPTURE_FILE\n"
    "\n"
    "Reports the health of the bus in a run of capture files: the live list, and per station\n"
    "requests, answers, repeats, late, illegal and early responses, response and cycle times,\n"
    "token rotations.\n"
    "\n"
    "  CAPTURE_FILE     the first file of the run, <name>HHMM.FdcCapt\n"
    "  --minutes N      number of minute files to read, 1 to 1439; default 1\n"
    "  --tsl BITS       slot time in bit times, 1 to 16383; default by the first file's baud\n"
    "                   rate: 100 up to 187K5, 200 at 500K, 300 at 1M5, 400 at 3M, 600 at 6M,\n"
    "                   1000 at 12M\n"
    "  --ttr BITS       target rotation time in bit times, 1 to 16777215; when given, each\n"
    "                   master's token rotations above it are counted\n"
    "  --format FORMAT  text (a report for people, the default), json (every figure) or csv\n"
    "                   (the station table)\n"
    "  --output FILE    where the report goes; default (or -): the standard output\n"
    "  --help           this text\n"
    "  --               the end of the options (a capture file name may start with -)\n"
    "\n"
    "Exit status: 0 report written; 1 the run ended with a read error (message on standard\n"
    "error; the figures of the records read before it are still written) or the report could\n"
    "not be written; 2 invalid arguments.\n";

enum class ReportFormat { kText, kJson, kCsv };

constexpr std::string_view kOwnOptions[] = {"--tsl", "--ttr", "--format"};

// Decimal digits only (no sign, no blanks, no "0x"), 1 to `max`.
std::optional<std::uint32_t> BitTimes(std::string_view text, std::uint32_t max) {
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    // Held just above `max`, so that any number of digits cannot overflow.
    value = std::min<std::uint64_t>(value * 10 + static_cast<std::uint64_t>(c - '0'),
                                    std::uint64_t{max} + 1);
  }
  if (value < 1 || value > max) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

std::optional<ReportFormat> FormatNamed(std::string_view name) {
  if (name == "text") return ReportFormat::kText;
  if (name == "json") return ReportFormat::kJson;
  if (name == "csv") return ReportFormat::kCsv;
  return std::nullopt;
}

// The progress line of fdcdump, on the standard error, wiped when the run ends so that the
// messages and the shell prompt after it start on a clean line.
class TerminalProgress final : public ProgressObserver {
 public:
  explicit TerminalProgress(std::FILE* stream) : stream_(stream) {}
  void OnProgress(const RunProgress& progress) override {
    const int n = std::fprintf(stream_, "%.*s %2u%%\r", static_cast<int>(progress.fileName.size()),
                               progress.fileName.data(), progress.filePercent);
    width_ = std::max(width_, n);
    std::fflush(stream_);
  }
  void Wipe() {
    if (width_ > 1) std::fprintf(stream_, "%*s\r", width_ - 1, "");
    std::fflush(stream_);
  }

 private:
  std::FILE* stream_;
  int width_ = 0;
};

// Opens the report file when the run's first capture file is open: a run that cannot start leaves
// no output behind, and an output that can't be created is found before hours of reading.
class ReportFile final : public RecordConsumer {
 public:
  explicit ReportFile(const std::optional<std::string>& path) : path_(path) {}
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;
  ~ReportFile() override {
    if (file_ != nullptr) std::fclose(file_);
  }

  Result Begin(const RecordLoop&) override {
    started_ = true;
    if (!path_) return Result::Ok();
    file_ = std::fopen(path_->c_str(), "wb");
    if (file_ == nullptr) return Fail("Unable to Open Output File %s", path_->c_str());
    return Result::Ok();
  }
  bool OnRecord(const RecordView&) override { return true; }

  // The run got as far as its first capture file, and there is somewhere to write: the standard
  // output, or the file that was opened.
  bool Ready() const { return started_ && (!path_ || file_ != nullptr); }

  // Writes the report and closes the file; false when any part of it could not be written.
  bool Write(const std::string& text, std::FILE* standardOutput) {
    std::FILE* stream = path_ ? file_ : standardOutput;
    bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
    if (path_) {
      // A full device shows only when the buffer goes out, at the latest on closing.
      written = std::fclose(file_) == 0 && written;
      file_ = nullptr;
    } else {
      written = std::fflush(stream) == 0 && !std::ferror(stream) && written;
    }
    return written;
  }

  std::string Name() const { return path_ ? *path_ : "<standard output>"; }

 private:
  const std::optional<std::string>& path_;
  std::FILE* file_ = nullptr;
  bool started_ = false;
};

std::string Render(const BusFigures& figures, ReportFormat format) {
  std::ostringstream text;
  switch (format) {
    case ReportFormat::kText:
      WriteBusTextReport(figures, text);
      break;
    case ReportFormat::kJson:
      WriteBusJson(figures, text);
      break;
    case ReportFormat::kCsv:
      WriteBusCsv(figures, text);
      break;
  }
  return std::move(text).str();
}

}  // namespace

int RunFdcstat(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
  CommandSyntax syntax{"fdcstat", kUsage, kOwnOptions};
  syntax.dumpOptions = false;  // the figures cover every record: no filter and no window
  RunArguments a;
  if (const std::optional<int> done = ReadRunArguments(syntax, argv, a, out, err)) return *done;
  const auto ownValue = [&a](const char* name) -> std::optional<std::string> {
    const auto found = a.extra.find(name);
    if (found == a.extra.end()) return std::nullopt;
    return found->second;
  };
  const std::optional<std::string> tsl = ownValue("--tsl");
  const std::optional<std::string> ttr = ownValue("--ttr");
  const std::string formatName = ownValue("--format").value_or("text");

  BusStatisticsOptions options;
  if (tsl) {
    options.tslBits = BitTimes(*tsl, kMaxSlotTimeBits);
    if (!options.tslBits) {
      return Refuse(err,
                    "fdcstat: --tsl must be a slot time of 1 to 16383 bit times in decimal "
                    "digits, not '" +
                        *tsl + "'");
    }
  }
  if (ttr) {
    options.ttrBits = BitTimes(*ttr, kMaxRotationBits);
    if (!options.ttrBits) {
      return Refuse(err,
                    "fdcstat: --ttr must be a target rotation time of 1 to 16777215 bit "
                    "times in decimal digits, not '" +
                        *ttr + "'");
    }
  }
  const std::optional<ReportFormat> format = FormatNamed(formatName);
  if (!format) {
    return Refuse(err, "fdcstat: --format must be text, json or csv, not '" + formatName + "'");
  }
  if (a.output && a.output->empty()) return Refuse(err, "fdcstat: --output needs a file name");
  if (!a.output) a.output = "-";  // the standard output, as for fdc2pcapng

  // The run is chosen with fdcdump's checks and messages; there is no option file, no window and
  // no filter: the figures cover every record read.
  DumpRequest request;
  if (const std::optional<int> refused = PlanRequest(syntax, a, ".txt", request, err)) {
    return *refused;
  }
  if (a.output == "-") a.output.reset();

  TerminalProgress progress(err);
  const bool showProgress = isatty(fileno(err)) == 1;
  ReportFile report(a.output);
  BusStatistics statistics(options);
  RecordConsumer* const consumers[] = {&report, &statistics};
  const auto loop = std::make_unique<RecordLoop>(request, nullptr,
                                                 RunControl(showProgress ? &progress : nullptr));
  const Result result = loop->Run(consumers);
  if (showProgress) progress.Wipe();

  if (result.failed()) std::fprintf(err, "%s\n", result.ErrorText().c_str());
  // A run that could not start (its first capture file, or the output) has no figures to show.
  if (!report.Ready()) return kExitDumpFailed;

  const BusFigures figures = statistics.Figures(
      result.failed() ? std::optional<std::string>(result.ErrorText()) : std::nullopt);
  if (!report.Write(Render(figures, *format), out)) {
    std::fprintf(err, "Unable to Write Output File %s\n", report.Name().c_str());
    return kExitDumpFailed;
  }
  return result.failed() ? kExitDumpFailed : kExitOk;
}

}  // namespace fdc
