// DumpRun: one dump from request to closed files — options, capture run, filter, text lines.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "capture/capture_file_set.h"
#include "common/result.h"
#include "engine/run_control.h"

namespace fdc {

struct DumpOptions;
struct ShowOnlyProgram;

// What a dump, a statistics run, an export or the desktop's table reads and writes: the run's
// minute files (the capture base less "HHMM.FdcCapt", the extension as the capture name spells
// it, the first hour and minute, how many files), the reference window, the filter's arguments,
// the option file and the output.
struct DumpRequest {
  CaptureRunFiles Run;
  std::string OutputPath;
  // When set, the dump goes to this stream instead (the caller's, left open: the standard output).
  std::FILE* OutputStream = nullptr;
  std::string OptionPath;              // empty: no option file, every option at its default
  std::uint32_t StartRef = 0;          // 0 and 1 both mean the first record
  std::uint32_t EndRef = 0xFFFFFFFFu;  // last record to print
  std::array<std::int32_t, 4> CmdArgs{};
};

// What a dump run did, for the message after it.
struct DumpSummary {
  std::uint64_t records = 0;        // records read
  std::uint64_t lines = 0;          // record lines written
  std::uint32_t syncLosses = 0;     // "Synchronization Lost" blocks written
  std::uint32_t filesCutShort = 0;  // files left after a failed synchronisation search
  bool stopped = false;             // ended by a stop request ("Dump Stopped")
};

// Runs one dump. Returns Ok when the dump ended with "End of Capture Data", "Last Reference
// Reached" or, after a stop request, "Dump Stopped"; otherwise the failure with its message.
// `summary`, when given, is filled whatever the outcome.
Result DumpRun(const DumpRequest& request, const RunControl& control = RunControl(),
               DumpSummary* summary = nullptr);

struct RecordFilter;

// The same dump with options and filter that the caller holds rather than the option file's
// ShowOnly section (the desktop's table exports the records it shows): the option file is not
// read (its path still stands in the header blocks), and the header's "Show Only" line shows the
// filter program's text. Both must outlive the call.
Result DumpRun(const DumpRequest& request, const DumpOptions& options, const RecordFilter& shown,
               const RunControl& control = RunControl(), DumpSummary* summary = nullptr);

}  // namespace fdc
