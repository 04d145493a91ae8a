// fdcdump: argument parsing, the dialog's checks in their order, and the dump run.
#include "cli/fdcdump_command.h"

#include <optional>
#include <string_view>

#include "cli/run_arguments.h"
#include "common/platform_io.h"
#include "engine/dump_request_rules.h"
#include "engine/dump_run.h"

namespace fdc {

namespace {

constexpr const char* kUsage =
    "Usage: fdcdump [--opt FILE] [--minutes N] [--start-ref N] [--end-ref N]\n"
    "               [--arg VALUE]... [--output FILE] [--quiet] [--] CAPTURE_FILE\n"
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
    "  --output FILE    the dump file, - for the standard output (then without progress\n"
    "                   and \"Created\" line); default: <name>HHMM_<option file name>.txt\n"
    "  --quiet          no progress lines and no \"Created\" line\n"
    "  --help           this text\n"
    "  --               the end of the options (a capture file name may start with -)\n"
    "\n"
    "Exit status: 0 dump written, 1 the dump failed (message on standard error),\n"
    "2 invalid arguments.\n";

}  // namespace

int RunFdcdump(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
  const CommandSyntax syntax{"fdcdump", kUsage, {}};
  RunArguments a;
  if (const std::optional<int> done = ReadRunArguments(syntax, argv, a, out, err)) return *done;
  DumpRequest request;
  if (const std::optional<int> refused = PlanRequest(syntax, a, ".txt", request, err)) {
    return *refused;
  }

  const bool toStdout = a.output == "-";
  if (toStdout) {
    // The dump's line ends are written as they are, on every system.
    SetBinaryMode(out);
    request.OutputStream = out;
  }
  const bool talk = !a.quiet && !toStdout;  // the dump alone goes to the standard output
  Result result = DumpRun(request, talk ? &StdoutProgress() : nullptr);
  std::fflush(stdout);
  return FinishRun(result, talk, request.OutputPath, out, err);
}

}  // namespace fdc
