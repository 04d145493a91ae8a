// fdc2pcapng: exports a run of capture files to pcapng for Wireshark.
#include <cstdio>

#include "cli/fdc2pcapng_command.h"
#include "common/platform_io.h"

int FDC_MAIN(int argc, fdc::ArgChar** argv) {
  return fdc::RunFdc2pcapng(fdc::ProgramArguments(argc, argv), stdout, stderr);
}
