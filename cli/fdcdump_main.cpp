// fdcdump: dumps a run of capture files to text from the command line.
#include <cstdio>

#include "cli/fdcdump_command.h"
#include "common/platform_io.h"

int FDC_MAIN(int argc, fdc::ArgChar** argv) {
  return fdc::RunFdcdump(fdc::ProgramArguments(argc, argv), stdout, stderr);
}
