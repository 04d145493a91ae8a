// The fdcstat command line: the bus health report of a capture run, the run chosen exactly as
// fdcdump chooses it, with the same checks, messages and exit statuses.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "engine/run_control.h"

namespace fdc {

// Runs fdcstat with the arguments after the program name; returns the exit status (kExitOk,
// kExitDumpFailed for a run that ended with a read error, was interrupted (SIGINT, SIGTERM) or
// whose report could not be written, kExitUsage for refused arguments). The report goes to `out`
// unless --output names a file; messages, and the progress line when `err` is a terminal, go to
// `err`.
int RunFdcstat(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);
// The same, telling `observer` the run's progress as well.
int RunFdcstat(const std::vector<std::string>& args, std::FILE* out, std::FILE* err,
               ProgressObserver* observer);

}  // namespace fdc
