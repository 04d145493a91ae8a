// fdcdump: dumps a run of capture files to text from the command line.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/fdcdump_command.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return fdc::RunFdcdump(args, stdout, stderr);
}
