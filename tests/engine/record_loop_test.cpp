// The record loop as its consumers see it: the reader's events in order before the record that
// follows them, the window, the filter on demand, a stop between two records, and how a run ends.
#include "engine/record_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "options/options.h"
#include "options/show_only_compiler.h"
#include "tests/support/test_support.h"

namespace fdc {
namespace {

using test::CaptureBytes;
using test::TempDir;
using test::WriteRun;

const std::vector<std::uint8_t> kToken = {0xdc, 0x02, 0x01};
const std::vector<std::uint8_t> kRequest = {0x10, 0x05, 0x01, 0x4d, 0x53, 0x16};

// Writes what it is told as one line each.
class Recorder : public RecordConsumer {
 public:
  Result Begin(const RecordLoop&) override {
    log.push_back("begin");
    return beginResult;
  }
  void OnEvent(const CaptureEvent& event, const RecordLoop& loop) override {
    const std::string& name = loop.Captures().Files()[event.file].name;
    const std::string file = name.substr(name.size() - 12, 4);
    switch (event.kind) {
      case CaptureEvent::Kind::kFileOpened:
        log.push_back("opened " + file);
        break;
      case CaptureEvent::Kind::kSyncLost:
        log.push_back("lost in " + file + " after " + std::to_string(event.lastRefNumber));
        break;
      case CaptureEvent::Kind::kFileCutShort:
        log.push_back("cut " + file + ": " + std::string(SyncFailureMessage(event.failure)));
        break;
      case CaptureEvent::Kind::kRecordCut:
        log.push_back("record cut in " + file + " at " + std::to_string(event.offset) + ", " +
                      std::to_string(event.length) + " bytes");
        break;
    }
  }
  bool OnRecord(const RecordView& record) override {
    std::string line = "record " + std::to_string(record.RefNumber()) + " file " +
                       std::to_string(record.Record().File);
    if (askShown) line += record.Shown() ? " shown" : " hidden";
    line += record.InWindow() ? "" : " before";
    log.push_back(line);
    if (stop != nullptr && record.RefNumber() == stopAfter) stop->store(true);
    return record.RefNumber() != failAt;
  }
  Result End(RunEnd how) override {
    static const char* const kNames[] = {"end of data", "last reference", "stopped", "failed"};
    log.push_back(std::string("end ") + kNames[static_cast<int>(how)]);
    return how == RunEnd::kFailed && failAt != 0 ? Fail("consumer failed") : Result::Ok();
  }

  std::vector<std::string> log;
  Result beginResult = Result::Ok();
  bool askShown = false;
  std::atomic<bool>* stop = nullptr;
  std::uint32_t stopAfter = 0;
  std::uint32_t failAt = 0;
};

DumpRequest RequestFor(const TempDir& dir, std::uint32_t numMin) {
  DumpRequest request;
  request.Run.base = dir.File("cap");
  request.Run.hour = 12;
  request.Run.count = numMin;
  return request;
}

TEST(RecordLoop, EventsComeInOrderBeforeTheRecordThatFollows) {
  TempDir dir;
  CaptureBytes first;
  for (int i = 0; i < 100; ++i) first.Record(static_cast<std::uint64_t>(i), kToken);
  first.Raw(std::vector<std::uint8_t>(8, 0));
  CaptureBytes second;
  second.Record(500, kToken);
  // The second file's record begins in the first: it belongs to the first.
  CaptureBytes split;
  split.Record(600, kToken);
  second.Raw({split.bytes.begin() + 40, split.bytes.begin() + 45});
  CaptureBytes third;
  third.Raw({split.bytes.begin() + 45, split.bytes.end()});
  WriteRun(dir, {first, second, third});
  const DumpRequest request = RequestFor(dir, 3);
  RecordLoop loop(request, nullptr, RunControl(nullptr));
  Recorder recorder;
  RecordConsumer* const consumers[] = {&recorder};
  ASSERT_TRUE(loop.Run(consumers).ok());
  const std::vector<std::string> tail(recorder.log.end() - 8, recorder.log.end());
  EXPECT_EQ(tail, (std::vector<std::string>{
                      "record 100 file 0",
                      "lost in 1200 after 100",
                      "cut 1200: Capture File Sync Error: SYNC_MARK not found",
                      "opened 1201",
                      "record 101 file 1",
                      "opened 1202",
                      "record 102 file 1",
                      "end end of data",
                  }));
  EXPECT_EQ(recorder.log[0], "begin");
  EXPECT_EQ(recorder.log[1], "opened 1200");
  EXPECT_EQ(loop.Totals().records, 102u);
  EXPECT_EQ(loop.Totals().syncLosses, 1u);
  EXPECT_EQ(loop.Totals().filesCutShort, 1u);
  EXPECT_EQ(loop.Ended(), RunEnd::kEndOfData);
}

TEST(RecordLoop, WindowFilterStopAndFailure) {
  TempDir dir;
  CaptureBytes file;
  for (int i = 0; i < 6; ++i) file.Record(static_cast<std::uint64_t>(i), i % 2 ? kRequest : kToken);
  WriteRun(dir, {file});
  ShowOnlyProgram tokens;
  ASSERT_TRUE(CompileShowOnlyText("SD == SD4#", tokens).ok());

  struct Case {
    const char* name;
    std::uint32_t startRef, endRef;
    bool filter;
    std::uint32_t stopAfter, failAt;
    std::vector<std::string> records;  // the log without begin and the file event
    RunEnd ended;
    bool ok;
  };
  const Case cases[] = {
      {"whole run, no filter",
       0,
       0xFFFFFFFF,
       false,
       0,
       0,
       {"record 1 file 0 shown", "record 2 file 0 shown", "record 3 file 0 shown",
        "record 4 file 0 shown", "record 5 file 0 shown", "record 6 file 0 shown",
        "end end of data"},
       RunEnd::kEndOfData,
       true},
      {"window 2..4 with the filter",
       2,
       4,
       true,
       0,
       0,
       {"record 1 file 0 hidden before", "record 2 file 0 hidden", "record 3 file 0 shown",
        "record 4 file 0 hidden", "end last reference"},
       RunEnd::kLastReference,
       true},
      {"stop after record 2",
       0,
       0xFFFFFFFF,
       false,
       2,
       0,
       {"record 1 file 0 shown", "record 2 file 0 shown", "end stopped"},
       RunEnd::kStopped,
       true},
      {"a consumer fails at record 3",
       0,
       0xFFFFFFFF,
       false,
       0,
       3,
       {"record 1 file 0 shown", "record 2 file 0 shown", "record 3 file 0 shown", "end failed"},
       RunEnd::kFailed,
       false},
  };
  for (const Case& c : cases) {
    DumpRequest request = RequestFor(dir, 1);
    request.StartRef = c.startRef;
    request.EndRef = c.endRef;
    std::atomic<bool> stop{false};
    RecordLoop loop(request, c.filter ? &tokens : nullptr, RunControl(nullptr, &stop));
    Recorder recorder;
    recorder.askShown = true;
    recorder.stop = &stop;
    recorder.stopAfter = c.stopAfter;
    recorder.failAt = c.failAt;
    RecordConsumer* const consumers[] = {&recorder};
    const Result result = loop.Run(consumers);
    EXPECT_EQ(result.ok(), c.ok) << c.name;
    const std::vector<std::string> records(recorder.log.begin() + 2, recorder.log.end());
    EXPECT_EQ(records, c.records) << c.name;
    EXPECT_EQ(loop.Ended(), c.ended) << c.name;
  }
}

TEST(RecordLoop, AConsumerThatCannotBeginEndsTheRunBeforeAnyRecord) {
  TempDir dir;
  WriteRun(dir, {CaptureBytes().Record(0, kToken)});
  const DumpRequest request = RequestFor(dir, 1);
  RecordLoop loop(request, nullptr, RunControl(nullptr));
  Recorder ready;
  Recorder refusing;
  refusing.beginResult = Fail("cannot create the output");
  Recorder never;
  RecordConsumer* const consumers[] = {&ready, &refusing, &never};
  EXPECT_EQ(loop.Run(consumers).ErrorText(), "cannot create the output");
  // Only those that began are ended; nobody saw a record or an event.
  EXPECT_EQ(ready.log, (std::vector<std::string>{"begin", "end failed"}));
  EXPECT_EQ(refusing.log, (std::vector<std::string>{"begin"}));
  EXPECT_TRUE(never.log.empty());
}

TEST(RecordLoop, ProgressCoversTheWholeRun) {
  struct Seen : ProgressObserver {
    void OnProgress(const RunProgress& p) override {
      lines.push_back(std::to_string(p.fileNumber) + "/" + std::to_string(p.fileCount) + " " +
                      std::to_string(p.filePercent) + "% run " + std::to_string(p.RunPercent()) +
                      "% records " + std::to_string(p.records));
    }
    std::vector<std::string> lines;
  };
  TempDir dir;
  CaptureBytes file;
  for (int i = 0; i < 4; ++i) file.Record(static_cast<std::uint64_t>(i), kToken);  // 12 bytes each
  WriteRun(dir, {file, file});
  const DumpRequest request = RequestFor(dir, 2);
  Seen seen;
  RecordLoop loop(request, nullptr, RunControl(&seen));
  Recorder recorder;
  RecordConsumer* const consumers[] = {&recorder};
  ASSERT_TRUE(loop.Run(consumers).ok());
  // Files of 88 bytes: records end at 52, 64, 76 and 88.
  EXPECT_EQ(seen.lines,
            (std::vector<std::string>{"1/2 59% run 29% records 1", "1/2 72% run 36% records 2",
                                      "1/2 86% run 43% records 3", "1/2 100% run 50% records 4",
                                      "2/2 59% run 79% records 5", "2/2 72% run 86% records 6",
                                      "2/2 86% run 93% records 7", "2/2 100% run 100% records 8"}));
}

}  // namespace
}  // namespace fdc
