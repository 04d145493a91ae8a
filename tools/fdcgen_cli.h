// The fdcgen command line: reading the arguments into a run plan, and the summary it prints.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "tools/run_generator.h"

namespace fdc::gen {

extern const char kFdcgenUsage[];

struct FdcgenCommand {
  RunPlan plan;
  bool quiet = false;
  bool help = false;
};

// Reads the arguments that follow the program name. Returns the first problem as a one-line
// message, or an empty string.
std::string ParseFdcgenArgs(std::span<const std::string_view> args, FdcgenCommand& command);

// "A.B.C.D" as the header stores it, first octet in the top byte.
bool ParseIpAddress(std::string_view text, std::uint32_t& address);

// What fdcgen prints after a run: one "file", "damage", "records" and "bytes" line each, then
// a run with faults' "truth" lines; easy to read by eye and by a script.
std::string FormatSummary(const RunSummary& summary);

}  // namespace fdc::gen
