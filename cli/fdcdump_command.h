// The fdcdump command line: the dump dialog in batch form, with the same checks and messages.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/run_arguments.h"

namespace fdc {

// Runs fdcdump with the arguments after the program name; returns the exit status.
int RunFdcdump(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

}  // namespace fdc
