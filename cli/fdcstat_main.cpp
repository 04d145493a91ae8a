// fdcstat: the bus health report of a run of capture files, from the command line.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/fdcstat_command.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return fdc::RunFdcstat(args, stdout, stderr);
}
