// fdc2pcapng: exports a run of capture files to pcapng for Wireshark.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/fdc2pcapng_command.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return fdc::RunFdc2pcapng(args, stdout, stderr);
}
