// fdcstat: the bus health report of a run of capture files, from the command line.
#include <cstdio>

#include "cli/fdcstat_command.h"
#include "common/platform_io.h"

int FDC_MAIN(int argc, fdc::ArgChar** argv) {
  return fdc::RunFdcstat(fdc::ProgramArguments(argc, argv), stdout, stderr);
}
