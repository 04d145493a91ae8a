// fdcgen: writes runs of capture files for tests, samples and benchmarks.
#include <cstdio>
#include <string_view>
#include <vector>

#include "tools/fdcgen_cli.h"
#include "tools/run_generator.h"

int main(int argc, char** argv) {
  std::vector<std::string_view> args(argv + 1, argv + argc);
  fdc::gen::FdcgenCommand command;
  std::string error = fdc::gen::ParseFdcgenArgs(args, command);
  if (command.help) {
    std::fputs(fdc::gen::kFdcgenUsage, stdout);
    return 0;
  }
  if (!error.empty()) {
    std::fprintf(stderr, "fdcgen: %s\nTry 'fdcgen --help'.\n", error.c_str());
    return 2;
  }
  fdc::gen::RunOutcome outcome = fdc::gen::GenerateRun(command.plan);
  if (!outcome.ok()) {
    std::fprintf(stderr, "fdcgen: %s\n", outcome.error.c_str());
    return 1;
  }
  if (!command.quiet) std::fputs(fdc::gen::FormatSummary(outcome.summary).c_str(), stdout);
  return 0;
}
