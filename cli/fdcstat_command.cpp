// fdcstat: argument parsing, the run chosen as fdcdump chooses it, the statistics run and the
// report written in the chosen format.
#include "cli/fdcstat_command.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string_view>
#include <system_error>

#include "cli/run_arguments.h"
#include "common/file_paths.h"
#include "common/platform_io.h"
#include "engine/bus_statistics.h"
#include "engine/dump_request_rules.h"
#include "engine/record_loop.h"
#include "report/bus_report.h"
#include "report/dp_report.h"

namespace fdc {

namespace {

constexpr const char* kUsage =
    "Usage: fdcstat [--minutes N] [--tsl BITS] [--ttr BITS] [--format text|json|csv|events]\n"
    "               [--gsd DIR]... [--output FILE] [--] CAPTURE_FILE\n"
    "\n"
    "Reports the health of the bus in a run of capture files: the live list, and per station\n"
    "requests, answers, repeats, late, illegal and early responses, response and cycle times,\n"
    "token rotations; and the DP layer: each slave's state over time, its diagnosis,\n"
    "parameters and configuration, the checks of FCB, watchdog, io lengths and min TSDR.\n"
    "\n"
    "  CAPTURE_FILE     the first file of the run, <name>HHMM.FdcCapt\n"
    "  --minutes N      number of minute files to read, 1 to 1439; default 1\n"
    "  --tsl BITS       slot time in bit times, 1 to 16383; default by the first file's baud\n"
    "                   rate: 100 up to 187K5, 200 at 500K, 300 at 1M5, 400 at 3M, 600 at 6M,\n"
    "                   1000 at 12M\n"
    "  --ttr BITS       target rotation time in bit times, 1 to 16777215; when given, each\n"
    "                   master's token rotations above it are counted\n"
    "  --format FORMAT  text (a report for people, the default), json (every figure), csv\n"
    "                   (the station table) or events (the DP event log, a line per event)\n"
    "  --gsd DIR        a folder of GSD files (.gsd, .gse, .gsg, .gsf, .gsi, .gss); may be\n"
    "                   repeated. Slaves are named by their ident's file, their modules,\n"
    "                   diagnosis bits and parameters by its texts, and checked against it\n"
    "  --output FILE    where the report goes; default (or -): the standard output. It is\n"
    "                   written to FILE.tmp and renamed over FILE when complete, so that an\n"
    "                   interrupted or failed run keeps the previous report\n"
    "  --help           this text\n"
    "  --               the end of the options (a capture file name may start with -)\n"
    "\n"
    "Exit status: 0 report written; 1 the run ended with a read error (message on standard\n"
    "error; the figures of the records read before it are still written), was interrupted\n"
    "(SIGINT or SIGTERM: nothing written) or the report could not be written; 2 invalid\n"
    "arguments.\n";

enum class ReportFormat { kText, kJson, kCsv, kEvents };

constexpr std::string_view kOwnOptions[] = {"--tsl", "--ttr", "--format"};
constexpr std::string_view kRepeatable[] = {"--gsd"};

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
  if (name == "events") return ReportFormat::kEvents;
  return std::nullopt;
}

namespace fs = std::filesystem;

// The progress line of fdcdump on the standard error when it is a terminal, wiped when the run
// ends so that the messages and the shell prompt after it start on a clean line; and the caller's
// own observer.
class RunProgressLine final : public ProgressObserver {
 public:
  RunProgressLine(std::FILE* stream, bool shown, ProgressObserver* also)
      : stream_(stream), shown_(shown), also_(also) {}
  void OnProgress(const RunProgress& progress) override {
    if (shown_) {
      const int n =
          std::fprintf(stream_, "%.*s %2u%%\r", static_cast<int>(progress.fileName.size()),
                       progress.fileName.data(), progress.filePercent);
      width_ = std::max(width_, n);
      std::fflush(stream_);
    }
    if (also_ != nullptr) also_->OnProgress(progress);
  }
  void Wipe() {
    if (!shown_) return;
    if (width_ > 1) std::fprintf(stream_, "%*s\r", width_ - 1, "");
    std::fflush(stream_);
  }

 private:
  std::FILE* stream_;
  bool shown_;
  ProgressObserver* also_;
  int width_ = 0;
};

// Set by SIGINT and SIGTERM; the record loop stops between records once it is set.
std::atomic<bool> interruptRequest{false};
static_assert(std::atomic<bool>::is_always_lock_free,
              "a signal handler may set only a lock-free atomic");

void OnInterruptSignal(int) { interruptRequest.store(true, std::memory_order_relaxed); }

// SIGINT and SIGTERM end the run between records while the guard lives; the handlers that were
// there before come back with its end. A signal that was ignored (a program started in the
// background by a shell without job control) stays ignored.
class InterruptGuard {
 public:
  InterruptGuard() {
    interruptRequest.store(false);
    for (Handled& handled : handled_) {
      handled.previous = std::signal(handled.signal, OnInterruptSignal);
      if (handled.previous == SIG_IGN) std::signal(handled.signal, SIG_IGN);
    }
  }
  ~InterruptGuard() {
    for (const Handled& handled : handled_) {
      if (handled.previous != SIG_ERR) std::signal(handled.signal, handled.previous);
    }
  }
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

  const std::atomic<bool>* Request() const { return &interruptRequest; }
  bool Interrupted() const { return interruptRequest.load(); }

 private:
  using Handler = void (*)(int);
  struct Handled {
    int signal;
    Handler previous = SIG_ERR;
  };
  Handled handled_[2] = {{SIGINT}, {SIGTERM}};
};

// Where the report goes. A file is written as FILE.tmp beside it (beside the file that a link
// names), created when the run's first capture file is open, so that a run that cannot start
// leaves nothing behind and an output that can't be created is found before hours of reading;
// the complete report is renamed over the previous one, which an interrupted or failed run keeps.
// A device or a pipe has nothing to replace and is written as it is.
class ReportFile final : public RecordConsumer {
 public:
  explicit ReportFile(const std::optional<std::string>& path) : path_(path) {}
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;
  ~ReportFile() override { Discard(); }

  Result Begin(const RecordLoop&) override {
    started_ = true;
    if (!path_) return Result::Ok();
    const fs::path named = PathFromUtf8(*path_);
    const fs::path target = SystemPath(ResolvedPath(named).value_or(named));
    std::error_code error;
    const fs::file_status status = fs::status(target, error);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
      file_ = OpenSystemFile(SystemPath(named), "wb");
    } else if (!fs::exists(status) || Writable(target)) {
      target_ = target;
      temporary_ = target;
      temporary_ += ".tmp";
      // Created anew, never through a link left at that name.
      fs::remove(temporary_, error);
      file_ = OpenSystemFile(temporary_, "wbx");
      if (file_ == nullptr) temporary_.clear();
    }
    if (file_ == nullptr) return Fail("Unable to Open Output File %s", path_->c_str());
    return Result::Ok();
  }
  bool OnRecord(const RecordView&) override { return true; }

  // The run got as far as its first capture file, and there is somewhere to write: the standard
  // output, or the file that was opened.
  bool Ready() const { return started_ && (!path_ || file_ != nullptr); }

  // Where the report is written: the file opened, or the standard output.
  std::FILE* Stream(std::FILE* standardOutput) const { return path_ ? file_ : standardOutput; }

  // Ends the report written to Stream; a file then takes the previous report's place. False when
  // any part of it could not be written: the previous report then stays.
  bool Finish(std::FILE* standardOutput) {
    std::FILE* stream = Stream(standardOutput);
    bool written = !std::ferror(stream);
    if (!path_) return std::fflush(stream) == 0 && !std::ferror(stream) && written;
    // A full device shows only when the buffer goes out, at the latest on closing.
    written = std::fclose(file_) == 0 && written;
    file_ = nullptr;
    if (temporary_.empty()) return written;
    std::error_code error;
    if (written) {
      // The report keeps the permissions that the previous one had.
      const fs::file_status previous = fs::status(target_, error);
      if (fs::exists(previous)) fs::permissions(temporary_, previous.permissions(), error);
      fs::rename(temporary_, target_, error);
      written = !error;
    }
    if (written) temporary_.clear();
    Discard();
    return written;
  }

  // Closes and removes the temporary file, if any: the previous report stays.
  void Discard() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (temporary_.empty()) return;
    std::error_code ignored;
    fs::remove(temporary_, ignored);
    temporary_.clear();
  }

  std::string Name() const { return path_ ? *path_ : "<standard output>"; }

 private:
  // An existing report that can't be opened for writing is refused as before: replacing it
  // through its folder would get round its permissions. Opening it to append changes nothing.
  static bool Writable(const fs::path& report) {
    std::FILE* probe = OpenSystemFile(report, "ab");
    if (probe == nullptr) return false;
    std::fclose(probe);
    return true;
  }

  const std::optional<std::string>& path_;
  std::FILE* file_ = nullptr;
  fs::path target_;     // the file the report replaces
  fs::path temporary_;  // while it exists
  bool started_ = false;
};

// An output stream onto a C stream: the report goes out as it is made, so that a long run's
// report is never held whole in memory. A failure shows in the C stream's error indicator.
class CStreamBuffer final : public std::streambuf {
 public:
  explicit CStreamBuffer(std::FILE* stream) : stream_(stream) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    return std::fputc(c, stream_) == EOF ? traits_type::eof() : c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    return static_cast<std::streamsize>(std::fwrite(s, 1, static_cast<std::size_t>(n), stream_));
  }

 private:
  std::FILE* stream_;
};

void Render(const BusFigures& figures, ReportFormat format, std::FILE* stream) {
  CStreamBuffer buffer(stream);
  std::ostream text(&buffer);
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
    case ReportFormat::kEvents:
      WriteDpEvents(figures, text);
      break;
  }
}

}  // namespace

int RunFdcstat(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
  return RunFdcstat(argv, out, err, nullptr);
}

int RunFdcstat(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err,
               ProgressObserver* observer) {
  CommandSyntax syntax{"fdcstat", kUsage, kOwnOptions, kRepeatable};
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
    return Refuse(err,
                  "fdcstat: --format must be text, json, csv or events, not '" + formatName + "'");
  }
  std::vector<std::filesystem::path> gsdFolders;
  for (const std::string& folder : a.repeated["--gsd"]) {
    std::error_code error;
    if (folder.empty() || !std::filesystem::is_directory(SystemPath(PathFromUtf8(folder)), error)) {
      return Refuse(err, "fdcstat: --gsd needs a folder of GSD files, not '" + folder + "'");
    }
    gsdFolders.push_back(SystemPath(PathFromUtf8(folder)));
  }
  std::optional<dp::GsdLibrary> gsd;
  if (!gsdFolders.empty()) {
    gsd = dp::GsdLibrary::Load(gsdFolders);
    for (const std::string& message : gsd->Messages()) {
      std::fprintf(err, "fdcstat: warning: %s\n", message.c_str());
    }
    options.gsd = &*gsd;
  }
  // The text and the CSV count the DP events but list none: a long run's events are not kept.
  options.dpEvents = *format == ReportFormat::kJson || *format == ReportFormat::kEvents;
  if (a.output && a.output->empty()) return Refuse(err, "fdcstat: --output needs a file name");
  if (!a.output) a.output = "-";  // the standard output, as for fdc2pcapng

  // The run is chosen with fdcdump's checks and messages; there is no option file, no window and
  // no filter: the figures cover every record read.
  DumpRequest request;
  if (const std::optional<int> refused = PlanRequest(syntax, a, ".txt", request, err)) {
    return *refused;
  }
  if (a.output == "-") {
    a.output.reset();
    SetBinaryMode(out);  // the CSV's CR LF and the other formats' LF, as they are
  }

  RunProgressLine progress(err, IsTerminal(err), observer);
  ReportFile report(a.output);
  RecordConsumer* const alongside[] = {&report};
  const InterruptGuard interrupt;
  const BusFiguresRun run =
      ComputeBusFigures(request, options, RunControl(&progress, interrupt.Request()), alongside);
  const Result& result = run.result;
  progress.Wipe();

  if (result.failed()) std::fprintf(err, "%s\n", result.ErrorText().c_str());
  // A run that could not start (its first capture file, or the output) has no figures to show.
  if (!report.Ready() || !run.figures) return kExitDumpFailed;

  // Also a signal after the last record: the run was not meant to end with a report (one that
  // comes while it is written leaves a report file as it was).
  const auto interrupted = [&] {
    if (!interrupt.Interrupted()) return false;
    report.Discard();
    std::fprintf(err, "fdcstat: interrupted\n");
    return true;
  };
  if (interrupted()) return kExitDumpFailed;
  Render(*run.figures, *format, report.Stream(out));
  if (interrupted()) return kExitDumpFailed;
  if (!report.Finish(out)) {
    std::fprintf(err, "Unable to Write Output File %s\n", report.Name().c_str());
    return kExitDumpFailed;
  }
  return result.failed() ? kExitDumpFailed : kExitOk;
}

}  // namespace fdc
