// The command-line arguments that fdcdump, fdc2pcapng and fdcstat share (the dump dialog's
// fields), read the same way for each, and the request planned from them.
#pragma once

#include <cstdio>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "engine/dump_request_rules.h"

namespace fdc {

inline constexpr int kExitOk = 0;
inline constexpr int kExitDumpFailed = 1;
inline constexpr int kExitUsage = 2;

struct RunArguments {
  std::string optionFile;
  std::string minutes = "1";
  std::string startRef = "0";
  std::string endRef = "0";
  std::vector<std::string> args;
  std::optional<std::string> output;  // "-": the standard output
  bool quiet = false;
  std::optional<std::string> captureFile;
  // Values of the program's own options, by name ("--date").
  std::map<std::string, std::string> extra;
  // Values of the program's own options that may be given more than once, in order.
  std::map<std::string, std::vector<std::string>> repeated;
};

struct CommandSyntax {
  std::string_view program;                           // "fdcdump"
  std::string_view usage;                             // the help text
  std::span<const std::string_view> own;              // further options that take a value
  std::span<const std::string_view> repeatable = {};  // own options that may be repeated
  // --opt, --start-ref, --end-ref, --arg and --quiet: the dump's filter, window and talk.
  bool dumpOptions = true;
};

// Reads the arguments after the program name. Returns the exit status when the program is done
// (--help, or a refusal written to `err` with the usage); nothing when the arguments were read.
std::optional<int> ReadRunArguments(const CommandSyntax& syntax,
                                    const std::vector<std::string>& argv, RunArguments& arguments,
                                    std::FILE* out, std::FILE* err);

// Plans the request with the dialog's checks; on a refusal writes its message and returns the
// exit status. An output "-" (the standard output) leaves the request's OutputPath empty.
std::optional<int> PlanRequest(const CommandSyntax& syntax, const RunArguments& arguments,
                               std::string_view outputExtension, DumpRequest& request,
                               std::FILE* err);

// Writes a one-line message and returns kExitUsage.
int Refuse(std::FILE* err, std::string_view message);

// The exit of a program that wrote `outputPath`: a failure's message on `err` and
// kExitDumpFailed; otherwise kExitOk, with the "PATH Created" line when the program talks.
int FinishRun(const Result& result, bool talk, const std::string& outputPath, std::FILE* out,
              std::FILE* err);

}  // namespace fdc
