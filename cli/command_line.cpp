// fdcdump: argument parsing, the dialog's checks in their order, and the dump run.
#include "cli/command_line.h"

#include <filesystem>
#include <optional>
#include <string_view>

#include "capture/capture_file_set.h"
#include "engine/dump_request_rules.h"
#include "engine/dump_run.h"

namespace fdc {

namespace {

constexpr const char* kUsage =
    "Usage: fdcdump [--opt FILE] [--minutes N] [--start-ref N] [--end-ref N]\n"
    "               [--arg VALUE]... [--output FILE] [--quiet] CAPTURE_FILE\n"
    "\n"
    "Dumps a run of capture files to a text file.\n"
    "\n"
    "  CAPTURE_FILE     the first file of the run, <name>HHMM.FdcCapt\n"
    "  --opt FILE       option file (columns, formats, ShowOnly filter); default: none\n"
    "  --minutes N      number of minute files to read, 1 to 1439; default 1\n"
    "  --start-ref N    first reference number to print; default 0 (the first record)\n"
    "  --end-ref N      last reference number to print; default 0 (no limit)\n"
    "  --arg VALUE      a user argument for the ShowOnly filter (CmdArg[0] to CmdArg[3]),\n"
    "                   decimal or 0x hexadecimal; up to four, in order\n"
    "  --output FILE    the dump file; default: <name>HHMM_<option file name>.txt\n"
    "  --quiet          no progress lines and no \"Created\" line\n"
    "  --help           this text\n"
    "\n"
    "Exit status: 0 dump written, 1 the dump failed (message on standard error),\n"
    "2 invalid arguments.\n";

struct Arguments {
  std::string optionFile;
  std::string minutes = "1";
  std::string startRef = "0";
  std::string endRef = "0";
  std::vector<std::string> args;
  std::optional<std::string> output;
  bool quiet = false;
  std::optional<std::string> captureFile;
};

int Refuse(std::FILE* err, std::string_view message) {
  std::fprintf(err, "%.*s\n", static_cast<int>(message.size()), message.data());
  return kExitUsage;
}

int Usage(std::FILE* stream, int status) {
  std::fputs(kUsage, stream);
  return status;
}

// The option file or capture file of the run that `output` names, if any: an --output typed by
// hand must not empty an input before it is read.
std::optional<std::string> InputAt(const DumpRequest& request, const std::string& output) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (!fs::exists(output, error)) return std::nullopt;
  auto same = [&](const std::string& path) {
    std::error_code ignored;
    return !path.empty() && fs::equivalent(output, path, ignored);
  };
  if (same(request.OptionPath)) return request.OptionPath;
  std::uint32_t hour = request.StartHour;
  std::uint32_t minute = request.StartMinute;
  for (std::uint32_t i = 0; i < request.NumMin; ++i, AdvanceMinute(hour, minute)) {
    const std::string name = CaptureFileName(request.CaptureBase, hour, minute);
    if (same(name)) return name;
  }
  return std::nullopt;
}

}  // namespace

int RunCommandLine(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
  Arguments a;
  for (std::size_t i = 0; i < argv.size(); ++i) {
    const std::string& word = argv[i];
    if (word == "--help" || word == "-h") return Usage(out, kExitOk);
    if (word == "--quiet" || word == "-q") {
      a.quiet = true;
      continue;
    }
    // Options take their value from the next word or after "=".
    std::string name = word;
    std::optional<std::string> value;
    if (word.rfind("--", 0) == 0 && word.find('=') != std::string::npos) {
      name = word.substr(0, word.find('='));
      value = word.substr(word.find('=') + 1);
    }
    std::string* target = nullptr;
    if (name == "--opt") {
      target = &a.optionFile;
    } else if (name == "--minutes") {
      target = &a.minutes;
    } else if (name == "--start-ref") {
      target = &a.startRef;
    } else if (name == "--end-ref") {
      target = &a.endRef;
    } else if (name == "--arg" || name == "--output") {
      target = nullptr;
    } else if (word.size() > 1 && word[0] == '-') {
      std::fprintf(err, "fdcdump: unknown option '%s'\n", word.c_str());
      return Usage(err, kExitUsage);
    } else {
      if (a.captureFile) {
        std::fprintf(err, "fdcdump: more than one capture file given\n");
        return Usage(err, kExitUsage);
      }
      a.captureFile = word;
      continue;
    }
    if (!value) {
      if (i + 1 >= argv.size()) {
        std::fprintf(err, "fdcdump: %s needs a value\n", name.c_str());
        return Usage(err, kExitUsage);
      }
      value = argv[++i];
    }
    if (name == "--arg") {
      if (a.args.size() == 4) return Refuse(err, "At most four --arg values");
      a.args.push_back(*value);
    } else if (name == "--output") {
      a.output = *value;
    } else {
      *target = *value;
    }
  }
  if (!a.captureFile) {
    std::fprintf(err, "fdcdump: no capture file given\n");
    return Usage(err, kExitUsage);
  }

  // The dialog's checks, in the order in which it stores its fields.
  const std::optional<std::uint32_t> endRef = ScanUnsigned(a.endRef);
  if (!endRef) return Refuse(err, kPositiveIntegerMessage);
  const std::optional<std::uint32_t> minutes = ScanUnsigned(a.minutes);
  if (!minutes) return Refuse(err, kPositiveIntegerMessage);
  if (*minutes < 1 || *minutes > kMaxNumMin) return Refuse(err, kNumMinRangeMessage);
  const std::optional<std::uint32_t> startRef = ScanUnsigned(a.startRef);
  if (!startRef) return Refuse(err, kPositiveIntegerMessage);

  const std::string& captureFile = *a.captureFile;
  if (!IsValidCaptureName(captureFile)) return Refuse(err, kInvalidCaptureNameMessage);
  const std::uint32_t minute = CaptureStartMinute(captureFile);
  if (minute > 59) {
    std::string_view message = kInvalidMinuteMessage;
    if (!message.empty() && message.back() == '\n') message.remove_suffix(1);
    return Refuse(err, message);
  }

  DumpRequest request;
  request.CaptureBase = CaptureBaseOf(captureFile);
  request.OutputPath = a.output ? *a.output : OutputPathFor(captureFile, a.optionFile);
  request.OptionPath = a.optionFile;
  request.StartHour = CaptureStartHour(captureFile);
  request.StartMinute = minute;
  request.NumMin = *minutes;
  request.StartRef = *startRef;
  request.EndRef = *endRef == 0 ? 0xFFFFFFFFu : *endRef;
  for (std::size_t i = 0; i < a.args.size(); ++i) request.CmdArgs[i] = ParseArgValue(a.args[i]);

  if (a.output) {
    if (const std::optional<std::string> input = InputAt(request, *a.output)) {
      std::fprintf(err, "fdcdump: the output file would overwrite the input file %s\n",
                   input->c_str());
      return kExitUsage;
    }
  }

  Result result = DumpRun(request, a.quiet ? nullptr : &StdoutProgress());
  std::fflush(stdout);
  if (!result.ok()) {
    std::fprintf(err, "%s\n", result.ErrorText().c_str());
    return kExitDumpFailed;
  }
  if (!a.quiet) std::fprintf(out, "%s Created\n", request.OutputPath.c_str());
  return kExitOk;
}

}  // namespace fdc
