// Times what the desktop's record table does with a long run: the first rows while the index is
// still being built, the whole index, a jump to the last record, and a filter pass.
//   index_bench CAPTURE_FILE MINUTES [EQUATION]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "engine/dump_request_rules.h"
#include "engine/run_index.h"
#include "options/show_only_compiler.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from) {
  return std::chrono::duration<double>(Clock::now() - from).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "Usage: index_bench CAPTURE_FILE MINUTES [EQUATION]\n");
    return 2;
  }
  fdc::DumpRequestInput input;
  input.captureFile = argv[1];
  input.numMin = argv[2];
  const fdc::DumpRequestPlan plan = fdc::PlanDumpRequest(input);
  if (!plan.ok()) {
    std::fprintf(stderr, "%s\n", plan.message.c_str());
    return 2;
  }
  const fdc::DumpRequest& request = plan.request;

  // The index pass in the background, as the window runs it; the first rows are read as soon as
  // its first entry is there.
  fdc::RunIndex index;
  const Clock::time_point start = Clock::now();
  std::thread pass([&] {
    fdc::RecordLoop loop(request, nullptr, fdc::RunControl(nullptr));
    fdc::RunIndexer indexer(index);
    fdc::RecordConsumer* const consumers[] = {&indexer};
    indexer.Finish(loop.Run(consumers));
  });
  while (index.Rows() < 50 && !index.Complete())
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  fdc::RowReader reader(request, index, nullptr);
  std::uint64_t seen = 0;
  (void)reader.Read(0, 50, [&](const fdc::RowItem&) { return ++seen < 50; });
  const double firstRows = Seconds(start);
  pass.join();
  const double whole = Seconds(start);
  const std::uint64_t records = index.Records();

  const Clock::time_point jump = Clock::now();
  (void)reader.Read(index.Rows() - 1, 1, [](const fdc::RowItem&) { return true; });
  const double lastRow = Seconds(jump);

  const std::string equation =
      argc > 3 ? argv[3] : "(DA == 5 || SA == 5) && STS != STSOK || GapTme > 1000";
  fdc::ShowOnlyProgram program;
  if (!fdc::CompileShowOnlyText(equation + "#", program).ok()) {
    std::fprintf(stderr, "the equation does not compile\n");
    return 2;
  }
  fdc::RecordFilter filter;
  filter.program = &program;
  fdc::RunIndex matches;
  const Clock::time_point filtering = Clock::now();
  const std::clock_t cpu = std::clock();
  {
    fdc::RecordLoop loop(request, filter, fdc::RunControl(nullptr));
    fdc::MatchIndexer indexer(matches);
    fdc::RecordConsumer* const consumers[] = {&indexer};
    indexer.Finish(loop.Run(consumers));
  }
  const double filterWall = Seconds(filtering);
  const double filterCpu = static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;

  std::printf("records %llu rows %llu\n", static_cast<unsigned long long>(records),
              static_cast<unsigned long long>(index.Rows()));
  std::printf("first rows %.3f s (goal under 0.5 s)\n", firstRows);
  std::printf("index %.2f s, %.2f M records/s\n", whole, records / whole / 1e6);
  std::printf("jump to the last record %.1f ms (goal under 50 ms)\n", lastRow * 1000);
  std::printf(
      "filter pass %.2f s, %.2f M records/s (%.2f M/s of processor time; goal 10 M/s), "
      "%llu matches\n",
      filterWall, records / filterWall / 1e6, records / filterCpu / 1e6,
      static_cast<unsigned long long>(matches.Rows()));
  return 0;
}
