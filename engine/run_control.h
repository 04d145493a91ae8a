// How a caller follows and steers a run over capture files: the progress it is told, and the
// stop request it may give from another thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

namespace fdc {

struct RunProgress {
  std::string_view fileName;     // the open capture file
  unsigned filePercent = 0;      // how far into the open file, in whole percent
  std::uint32_t fileNumber = 1;  // the open file's number in the run, from 1
  std::uint32_t fileCount = 1;   // files in the run
  std::uint64_t records = 0;     // records read so far

  // The whole run in whole percent: (files done + the open file's fraction) / files.
  unsigned RunPercent() const {
    if (fileCount == 0) return 100;
    const std::uint64_t done =
        std::uint64_t{fileNumber > 0 ? fileNumber - 1 : 0} * 100 + filePercent;
    return static_cast<unsigned>(done / fileCount);
  }
};

// Told whenever the whole-number percentage of the open capture file changes (and so at least
// once for every file that yields a record).
class ProgressObserver {
 public:
  virtual ~ProgressObserver() = default;
  virtual void OnProgress(const RunProgress& progress) = 0;
};

// Writes the progress line "<file> NN%\r" on the standard output.
ProgressObserver& StdoutProgress();

struct RunControl {
  // Implicit, so that a progress observer alone (or null) stands for the whole control.
  RunControl(ProgressObserver* progressObserver = &StdoutProgress(),
             const std::atomic<bool>* stopRequest = nullptr)
      : progress(progressObserver), stop(stopRequest) {}

  ProgressObserver* progress;
  // Set by the caller (from any thread) to end the run between two records.
  const std::atomic<bool>* stop;

  bool StopRequested() const { return stop != nullptr && stop->load(std::memory_order_relaxed); }
};

}  // namespace fdc
