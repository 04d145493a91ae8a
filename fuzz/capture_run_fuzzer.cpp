// Fuzz target: arbitrary bytes as a run of up to three capture files, dumped with one of a few
// option files, then read by the statistics, the row index and the export. Input: byte 0 picks
// the options, bytes 1-2 split the rest into files.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/bus_findings.h"
#include "engine/bus_statistics.h"
#include "engine/dump_run.h"
#include "engine/pcapng_export.h"
#include "engine/run_index.h"
#include "fuzz/scratch_directory.h"

namespace {

const char* const kOptionTexts[] = {
    "",
    "ShowFileOfs\nDetailSts\nShowFcbTyp\nShowFcs\nDataSgn\nData16\n",
    "NoRef\nNoDelim\nNoDst\nNoSrc\nNoDstSap\nNoSrcSap\nNoFc\nNoData\n",
    "TmeAbs hr:mn:sc.ms.us.ns\nTmeDelta ms.us\nTmeGap us\nGrphGap 20 1ms\nGrphDelta 10 0ns\n",
    "ShowOnly\nSTS != 0 || DataWord[2] > 7 || DSAP == 62 || GapTme < 0#\nDataUns\n",
};

std::string Directory() { return fdc::fuzz::ScratchDirectory("capture"); }

void Write(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return;
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::string dir = Directory();
  const std::size_t options = data[0] % (sizeof kOptionTexts / sizeof kOptionTexts[0]);
  const std::uint8_t* body = data + 3;
  const std::size_t length = size - 3;
  std::size_t cut1 = length == 0 ? 0 : (data[1] * length) / 255;
  std::size_t cut2 = length == 0 ? 0 : (data[2] * length) / 255;
  if (cut2 < cut1) std::swap(cut1, cut2);
  Write(dir + "/run2359.FdcCapt", body, cut1);
  Write(dir + "/run0000.FdcCapt", body + cut1, cut2 - cut1);
  Write(dir + "/run0001.FdcCapt", body + cut2, length - cut2);

  fdc::DumpRequest request;
  request.Run.base = dir + "/run";
  request.OutputPath = dir + "/dump.txt";
  request.Run.hour = 23;
  request.Run.minute = 59;
  request.Run.count = 3;
  request.CmdArgs = {1, -1, 0x7FFFFFFF, 62};
  if (options != 0) {
    request.OptionPath = dir + "/fuzz.opt";
    const std::string text = kOptionTexts[options];
    Write(request.OptionPath, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  }
  (void)fdc::DumpRun(request, nullptr);

  // The other consumers of the same stream: the health figures, the index of every row with a
  // few rows read back at random, and the Wireshark export.
  fdc::RunIndex index;
  {
    fdc::BusStatistics statistics;
    fdc::RunIndexer indexer(index);
    fdc::RecordLoop loop(request, nullptr, fdc::RunControl(nullptr));
    fdc::RecordConsumer* const consumers[] = {&statistics, &indexer};
    const fdc::Result result = loop.Run(consumers);
    indexer.Finish(result);
    const fdc::BusFigures figures = statistics.Figures(
        result.failed() ? std::optional<std::string>(result.ErrorText()) : std::nullopt);
    (void)fdc::BusFindings(figures);  // the DP layer's findings among them
  }
  // Read on from the index's last entry over the same files: the index the whole pass made.
  fdc::RunIndex readOn;
  if (const auto from = readOn.SeedFrom(index)) {
    fdc::RunIndexer indexer(readOn, from->entry);
    fdc::RecordLoop loop(request, nullptr, fdc::RunControl(nullptr));
    loop.ResumeAt(from->entry.at, from->opened);
    fdc::RecordConsumer* const consumers[] = {&indexer};
    indexer.Finish(loop.Run(consumers));
    if (readOn.Rows() != index.Rows() || readOn.Records() != index.Records()) std::abort();
  }
  fdc::RowReader reader(request, index, nullptr);
  const std::uint64_t rows = index.Rows();
  for (const std::uint64_t first : {std::uint64_t{0}, rows / 2, rows > 0 ? rows - 1 : 0}) {
    (void)reader.Read(first, 3, [](const fdc::RowItem&) { return true; });
  }
  fdc::ExportOptions exportOptions;
  request.OutputPath = dir + "/export.pcapng";
  (void)fdc::ExportRun(request, exportOptions, nullptr);
  return 0;
}
