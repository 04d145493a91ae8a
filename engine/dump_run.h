// DumpRun: one dump from request to closed files — options, capture run, filter, text lines.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "common/result.h"

namespace fdc {

struct DumpRequest {
  std::string CaptureBase;  // capture path less its trailing "HHMM.FdcCapt"
  std::string OutputPath;
  std::string OptionPath;  // empty: no option file, every option at its default
  std::uint32_t StartHour = 0;
  std::uint32_t StartMinute = 0;
  std::uint32_t NumMin = 1;
  std::uint32_t StartRef = 0;           // 0 and 1 both mean the first record
  std::uint32_t EndRef = 0xFFFFFFFFu;  // last record to print
  std::array<std::int32_t, 4> CmdArgs{};
};

// Told whenever the whole-number percentage of the open capture file changes.
class ProgressObserver {
 public:
  virtual ~ProgressObserver() = default;
  virtual void OnProgress(const std::string& fileName, unsigned percent) = 0;
};

// Writes the progress line "<file> NN%\r" on the standard output.
ProgressObserver& StdoutProgress();

// Runs one dump. Returns Ok when the dump ended with "End of Capture Data" or "Last Reference
// Reached", otherwise the failure with its message. `progress` may be null.
Result DumpRun(const DumpRequest& request, ProgressObserver* progress = &StdoutProgress());

}  // namespace fdc
