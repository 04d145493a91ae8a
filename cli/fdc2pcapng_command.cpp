// fdc2pcapng: fdcdump's run, window, filter and arguments, written as pcapng.
#include "cli/fdc2pcapng_command.h"

#include <optional>
#include <string_view>

#include "cli/run_arguments.h"
#include "common/platform_io.h"
#include "common/version.h"
#include "engine/pcapng_export.h"

namespace fdc {

namespace {

constexpr const char* kUsage =
    "Usage: fdc2pcapng [--opt FILE] [--minutes N] [--start-ref N] [--end-ref N] [--arg VALUE]...\n"
    "                  [--date YYYY-MM-DD] [--linktype user0|profibus] [--output FILE] [--quiet]\n"
    "                  [--] CAPTURE_FILE\n"
    "\n"
    "Writes the records that fdcdump would print as a pcapng file for Wireshark (decoded by\n"
    "wireshark/profibus_fdl.lua).\n"
    "\n"
    "  CAPTURE_FILE       the first file of the run, <name>HHMM.FdcCapt\n"
    "  --opt FILE         option file; only its ShowOnly filter matters here\n"
    "  --minutes N        number of minute files to read, 1 to 1439; default 1\n"
    "  --start-ref N      first reference number to export; default 0 (the first record)\n"
    "  --end-ref N        last reference number to export; default 0 (no limit)\n"
    "  --arg VALUE        a user argument for the ShowOnly filter (CmdArg[0] to CmdArg[3])\n"
    "  --date YYYY-MM-DD  the day of the capture: timestamps become that day's time of day\n"
    "                     (UTC); without it they count from 1970-01-01\n"
    "  --linktype TYPE    user0 (default, link type 147: the status byte, then the frame) or\n"
    "                     profibus (link type 257: the frame alone)\n"
    "  --output FILE      the pcapng file, - for the standard output;\n"
    "                     default: <name>HHMM_<option file name>.pcapng\n"
    "  --quiet            no progress lines and no \"Created\" line\n"
    "  --help             this text\n"
    "  --                 the end of the options (a capture file name may start with -)\n"
    "\n"
    "Exit status: 0 file written, 1 the export failed (message on standard error; the file\n"
    "holds whole blocks up to the failure, cut back after a failed write; the standard output\n"
    "can't be cut back, so there the last block may be cut short), 2 invalid arguments.\n";

constexpr std::string_view kOwnOptions[] = {"--date", "--linktype"};

}  // namespace

int RunFdc2pcapng(const std::vector<std::string>& argv, std::FILE* out, std::FILE* err) {
  const CommandSyntax syntax{"fdc2pcapng", kUsage, kOwnOptions};
  RunArguments a;
  if (const std::optional<int> done = ReadRunArguments(syntax, argv, a, out, err)) return *done;

  ExportOptions options;
  options.userAppl = std::string("fdc2pcapng ") + kVersion;
  if (const auto linkType = a.extra.find("--linktype"); linkType != a.extra.end()) {
    if (linkType->second == "profibus") {
      options.linkType = ExportLinkType::kProfibus;
    } else if (linkType->second != "user0") {
      return Refuse(
          err, "fdc2pcapng: --linktype must be user0 or profibus, not '" + linkType->second + "'");
    }
  }
  if (const auto date = a.extra.find("--date"); date != a.extra.end()) {
    const std::optional<std::uint64_t> dayStart = DayStartNs(date->second);
    if (!dayStart) {
      return Refuse(err,
                    "fdc2pcapng: --date must be a date YYYY-MM-DD from 1970-01-01 to "
                    "2500-12-31, not '" +
                        date->second + "'");
    }
    options.dayStartNs = *dayStart;
  }

  const bool toStdout = a.output == "-";
  DumpRequest request;
  if (const std::optional<int> refused = PlanRequest(syntax, a, ".pcapng", request, err)) {
    return *refused;
  }
  if (toStdout) {
    SetBinaryMode(out);
    options.stream = out;
  }

  const bool talk = !a.quiet && !toStdout;
  const Result result = ExportRun(request, options, talk ? &StdoutProgress() : nullptr);
  std::fflush(stdout);
  return FinishRun(result, talk, request.OutputPath, out, err);
}

}  // namespace fdc
