// A dump run from request to closed files: reference window, line prefix, time columns, end texts.
#include "engine/dump_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace fdc {
namespace {

using test::CaptureBytes;
using test::RunDump;
using test::TempDir;
using test::WriteRun;

const std::vector<std::uint8_t> kSd1 = {0x10, 0x02, 0x01, 0x49, 0x4c, 0x16};

// Ten SD1 records, 1 ms apart at 12M.
CaptureBytes TenRecords() {
  CaptureBytes file;
  for (int i = 0; i < 10; ++i) file.Record(static_cast<std::uint64_t>(i) * 48000, kSd1);
  return file;
}

std::string Body(const std::string& dump) {
  // The lines after the header block.
  return dump.substr(dump.find("\n\n") + 2);
}

TEST(DumpRun, ReferenceWindow) {
  struct Case {
    std::uint32_t startRef;
    std::uint32_t endRef;
    const char* body;
  };
  const Case cases[] = {
      {5, 7, "        5:  \n        6:  \n        7:  \n\nLast Reference Reached\n"},
      {10, 5, "\nLast Reference Reached\n"},
      {9, 0xFFFFFFFF, "        9:  \n       10:  \n\nEnd of Capture Data\n"},
      {0, 1, "        1:  \n\nLast Reference Reached\n"},
      {11, 0xFFFFFFFF, "\nEnd of Capture Data\n"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    WriteRun(dir, {TenRecords()});
    // With every column of an SD1 frame switched off, a line is its prefix and the status blank.
    auto run =
        RunDump(dir, 1, "NoDelim\nNoDst\nNoSrc\nNoFc\nNoDstSap\nNoSrcSap\n", c.startRef, c.endRef);
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_EQ(Body(run.dump), c.body) << c.startRef << ".." << c.endRef;
  }
}

TEST(DumpRun, LinePrefixes) {
  TempDir dir;
  WriteRun(dir, {TenRecords()});
  auto run = RunDump(dir, 1, "ShowFileOfs\nNoRef\n", 0, 2);
  ASSERT_TRUE(run.ok) << run.error;
  EXPECT_EQ(Body(run.dump),
            "00000037:  SD1   2<1   RFDL       ED \n"
            "00000046:  SD1   2<1   RFDL       ED \n\nLast Reference Reached\n");
  auto both = RunDump(dir, 1, "ShowFileOfs\n", 0, 1);
  EXPECT_EQ(Body(both.dump),
            "00000037:         1:  SD1   2<1   RFDL       ED \n\nLast "
            "Reference Reached\n");
  auto bare = RunDump(dir, 1, "NoRef\n", 0, 1);
  EXPECT_EQ(Body(bare.dump), " SD1   2<1   RFDL       ED \n\nLast Reference Reached\n");
}

TEST(DumpRun, TimeColumnsFollowPrintedLines) {
  TempDir dir;
  WriteRun(dir, {TenRecords()});
  auto run = RunDump(dir, 1,
                     "NoDelim\nNoDst\nNoSrc\nNoFc\nNoDstSap\nNoSrcSap\nTmeAbs ms\nTmeDelta ms.us\n"
                     "TmeGap us\nGrphDelta 5 2ms\nGrphGap 5 1ms\n",
                     4, 6);
  ASSERT_TRUE(run.ok) << run.error;
  // Record 4 is the first printed line: delta 0 even though records 1-3 were read. The gap of
  // every record is 1 ms less the 6 bytes x 44 ticks of the frame before: 994.5 us.
  EXPECT_EQ(Body(run.dump),
            "        4: a  3 d  0.000 d    |g994 g....| \n"
            "        5: a  4 d  1.000 d..  |g994 g....| \n"
            "        6: a  5 d  1.000 d..  |g994 g....| \n\nLast Reference Reached\n");
}

TEST(DumpRun, ShowOnlyFilterSeesTheWindowAndTheArguments) {
  TempDir dir;
  CaptureBytes file;
  for (int i = 0; i < 10; ++i) {
    const std::uint8_t da = static_cast<std::uint8_t>(i % 3);
    file.Record(static_cast<std::uint64_t>(i) * 48000, {0x10, da, 0x01, 0x49, 0x4c, 0x16},
                i == 7 ? STSCHK : 0);
  }
  WriteRun(dir, {file});
  const std::string filter =
      "NoDelim\nNoFc\nNoDstSap\nNoSrcSap\nShowOnly\nDA == CmdArg[2] || STS & STSCHK\n#\n";
  auto run = RunDump(dir, 1, filter, 3, 9, {0, 0, 2, 0});
  ASSERT_TRUE(run.ok) << run.error;
  EXPECT_NE(run.dump.find("Show Only : DA == CmdArg[2] || STS & STSCHK \n\n"), std::string::npos);
  // Records 3 and 6 and 9 have DA 2; record 8 has the status bit; 1 to 2 are outside the window.
  EXPECT_EQ(Body(run.dump),
            "        3:    2<1   \n        6:    2<1   \n        8: *  1<1   \n"
            "        9:    2<1   \n\nLast Reference Reached\n");

  auto none = RunDump(dir, 1, "ShowOnly\n0\n#\n");
  ASSERT_TRUE(none.ok) << none.error;
  EXPECT_EQ(Body(none.dump), "\nEnd of Capture Data\n");
}

TEST(DumpRun, TimeConstantsComeFromTheFirstFileOnly) {
  // 6M counts 8 ticks a bit, 12M 4, both at 48 MHz: the gap after a 6-byte frame tells which.
  TempDir dir;
  WriteRun(dir, {CaptureBytes(2).Record(0, kSd1), CaptureBytes(1).Record(48000, kSd1)});
  auto run = RunDump(dir, 2, "NoDelim\nNoDst\nNoSrc\nNoFc\nNoDstSap\nNoSrcSap\nTmeGap us.ns\n");
  ASSERT_TRUE(run.ok) << run.error;
  EXPECT_NE(run.dump.find("Baud      : 6M\n"), std::string::npos);
  EXPECT_NE(run.dump.find("Baud      : 12M\n"), std::string::npos);
  EXPECT_NE(run.dump.find("        2: g989.000  \n"), std::string::npos) << run.dump;

  // An unknown rate in the first file: the run dumps with every time 0.
  TempDir unknown;
  WriteRun(unknown, {CaptureBytes(0).Record(0, kSd1).Record(480000, kSd1)});
  auto zero = RunDump(unknown, 1, "NoDelim\nNoDst\nNoSrc\nNoFc\nNoDstSap\nNoSrcSap\nTmeAbs us\n");
  ASSERT_TRUE(zero.ok) << zero.error;
  EXPECT_NE(zero.dump.find("Baud      : ???\n"), std::string::npos);
  EXPECT_NE(zero.dump.find("        2: a  0  \n"), std::string::npos) << zero.dump;
}

TEST(DumpRun, OptionErrorsLeaveNoDumpFile) {
  TempDir dir;
  WriteRun(dir, {TenRecords()});
  auto run = RunDump(dir, 1, "NoRef\nBogus\n");
  EXPECT_EQ(run.error, "Invalid Option Argument 'Bogus'");
  EXPECT_FALSE(std::filesystem::exists(dir.File("dump.txt")));
}

TEST(DumpRun, OutputFileThatCannotBeCreated) {
  TempDir dir;
  WriteRun(dir, {TenRecords()});
  DumpRequest request;
  request.Run.base = dir.File("cap");
  request.OutputPath = dir.File("no/such/folder/dump.txt");
  request.Run.hour = 12;
  Result result = DumpRun(request, nullptr);
  EXPECT_EQ(result.ErrorText(), "Unable to Open Output Text File " + request.OutputPath);
}

TEST(DumpRun, FailedWritesAreReported) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TempDir dir;
  WriteRun(dir, {TenRecords()});
  DumpRequest request;
  request.Run.base = dir.File("cap");
  request.OutputPath = "/dev/full";
  request.Run.hour = 12;
  Result result = DumpRun(request, nullptr);
  EXPECT_EQ(result.ErrorText(), "Unable to Write Output Text File /dev/full");
}

TEST(DumpRun, ProgressOnlyWhenThePercentageChanges) {
  struct Recorder : ProgressObserver {
    void OnProgress(const RunProgress& progress) override {
      const std::string name(progress.fileName);
      seen.push_back(name.substr(name.size() - 12) + " " + std::to_string(progress.filePercent));
    }
    std::vector<std::string> seen;
  };
  TempDir dir;
  CaptureBytes big;
  for (int i = 0; i < 1000; ++i) big.Record(static_cast<std::uint64_t>(i), {0xe5});
  WriteRun(dir, {big, TenRecords()});
  DumpRequest request;
  request.Run.base = dir.File("cap");
  request.OutputPath = dir.File("dump.txt");
  request.Run.hour = 12;
  request.Run.count = 2;
  Recorder recorder;
  ASSERT_TRUE(DumpRun(request, &recorder).ok());
  // 1000 records of 10 bytes in a file of 10040: every whole percent once, 0 to 100.
  ASSERT_EQ(recorder.seen.size(), 101u + 10u);
  EXPECT_EQ(recorder.seen.front(), "1200.FdcCapt 0");
  EXPECT_EQ(recorder.seen[100], "1200.FdcCapt 100");
  EXPECT_EQ(recorder.seen[101], "1201.FdcCapt 28");
  EXPECT_EQ(recorder.seen.back(), "1201.FdcCapt 100");
}

}  // namespace
}  // namespace fdc
