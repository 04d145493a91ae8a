// The desktop program's command line.
#include "ui/program_arguments.h"

#include "common/version.h"
#include "ui/common/app_settings.h"

namespace fdc::ui {

ProgramArguments ReadProgramArguments(const std::vector<std::string>& args) {
  ProgramArguments read;
  bool options = true;
  for (const std::string& arg : args) {
    if (options && arg == "--") {
      options = false;
    } else if (options && (arg == "--help" || arg == "-h")) {
      read.help = true;
    } else if (options && arg == "--version") {
      read.version = true;
    } else if (options && arg.size() > 1 && arg[0] == '-') {
      continue;  // an option of the toolkit's, or of none: not a file
    } else if (!read.file) {
      read.file = arg;
    }
  }
  return read;
}

std::string ProgramHelpText() {
  return std::string("Usage: ") + kAppName +
         " [CAPTURE_FILE]\n"
         "\n"
         "The PROFIBUS capture analyser: the record table of a capture run, its bus health and\n"
         "the text dump.\n"
         "\n"
         "  CAPTURE_FILE  the first minute file of a run, <name>HHMM.FdcCapt, opened as\n"
         "                File > Open opens it\n"
         "  --help        this text\n"
         "  --version     the program's version\n";
}

std::string ProgramVersionText() { return std::string(kAppName) + " " + kVersion + "\n"; }

}  // namespace fdc::ui
