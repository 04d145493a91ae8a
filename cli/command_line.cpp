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
  DumpRequestInput input;
  input.captureFile = *a.captureFile;
  input.optionFile = a.optionFile;
  input.endRef = a.endRef;
  input.numMin = a.minutes;
  input.startRef = a.startRef;
  for (std::size_t i = 0; i < a.args.size(); ++i) input.args[i] = a.args[i];
  if (a.output) input.outputPath = *a.output;
  const DumpRequestPlan plan = PlanDumpRequest(input);
  if (!plan.ok()) {
    std::string_view message = plan.message;
    if (!message.empty() && message.back() == '\n') message.remove_suffix(1);
    if (plan.refused == RequestField::kOutput) std::fputs("fdcdump: ", err);
    return Refuse(err, message);
  }
  const DumpRequest& request = plan.request;

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
