// Reading a run of capture files: header blocks, file changes, damage and resynchronisation.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/capture_file_set.h"
#include "tests/support/test_support.h"

namespace fdc {
namespace {

using test::CaptureBytes;
using test::RunDump;
using test::TempDir;
using test::WriteRun;

const std::vector<std::uint8_t> kSd1 = {0x10, 0x02, 0x01, 0x49, 0x4c, 0x16};
const std::vector<std::uint8_t> kToken = {0xdc, 0x02, 0x01};
const char* const kSd1Line = " SD1   2<1   RFDL       ED \n";

std::string HeaderBlock(const TempDir& dir, const std::string& hhmm,
                        const std::string& name = "TestModule", const std::string& baud = "12M",
                        const std::string& ip = "192.168.0.5") {
  return "File      : " + dir.File("cap") + hhmm + ".FdcCapt\nTELO Name : " + name +
         "\nTELO IP   : " + ip + "\nBaud      : " + baud + "\nOpt File  : \n\n";
}

std::string Ref(unsigned n) {
  char text[16];
  std::snprintf(text, sizeof text, "%9u: ", n);
  return text;
}

TEST(CaptureReader, HeaderBlockFields) {
  TempDir dir;
  const std::string name32 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
  WriteRun(dir, {CaptureBytes(7, 0xC0A80005, name32).Record(0, kToken),
                 CaptureBytes(0, 0x0A000001, "").Record(100, kToken),
                 CaptureBytes(77, 0x7F000001, "x").Record(200, kToken)});
  auto run = RunDump(dir, 3);
  ASSERT_TRUE(run.ok) << run.error;
  EXPECT_EQ(run.dump, HeaderBlock(dir, "1200", name32, "93K75") + Ref(1) + " SD4   2<1   \n" +
                          HeaderBlock(dir, "1201", "", "???", "10.0.0.1") + Ref(2) +
                          " SD4   2<1   \n" + HeaderBlock(dir, "1202", "x", "???", "127.0.0.1") +
                          Ref(3) + " SD4   2<1   \n\nEnd of Capture Data\n");
}

TEST(CaptureReader, MinuteAndHourRollOver) {
  TempDir dir;
  WriteRun(dir,
           {CaptureBytes().Record(0, kToken), CaptureBytes().Record(1, kToken),
            CaptureBytes().Record(2, kToken)},
           23, 59);
  auto run = RunDump(dir, 3, "", 0, 0xFFFFFFFF, {}, 23, 59);
  ASSERT_TRUE(run.ok) << run.error;
  EXPECT_NE(run.dump.find("cap2359.FdcCapt"), std::string::npos);
  EXPECT_NE(run.dump.find("cap0000.FdcCapt"), std::string::npos);
  EXPECT_NE(run.dump.find("cap0001.FdcCapt"), std::string::npos);

  // An hour beyond 23 is read as given and rolls to 00 after its minute 59.
  TempDir late;
  WriteRun(late, {CaptureBytes().Record(0, kToken)}, 30, 59);
  const std::vector<std::uint8_t> next = CaptureBytes().Record(5, kToken).bytes;
  test::WriteText(late.File("cap0000.FdcCapt"), std::string(next.begin(), next.end()));
  auto lateRun = RunDump(late, 2, "", 0, 0xFFFFFFFF, {}, 30, 59);
  ASSERT_TRUE(lateRun.ok) << lateRun.error;
  EXPECT_NE(lateRun.dump.find("cap3059.FdcCapt"), std::string::npos);
  EXPECT_NE(lateRun.dump.find("cap0000.FdcCapt"), std::string::npos);
}

TEST(CaptureReader, SynchronisationLostAndRegained) {
  // The start-up check follows 100 record lengths, so the damage stands after 100 records.
  TempDir dir;
  CaptureBytes file;
  for (int i = 0; i < 100; ++i) file.Record(static_cast<std::uint64_t>(i) * 100, kSd1);
  file.Raw({0x00}).Record(20000, kSd1);
  WriteRun(dir, {file});
  auto run = RunDump(dir, 1);
  ASSERT_TRUE(run.ok) << run.error;
  const std::string tail = Ref(100) + kSd1Line +
                           "**** Synchronization Lost ****\n"
                           "      100: Ofs=604 Mark=00\n"
                           "           PrvLen=06 PrvTme=000026ac 00000000\n" +
                           Ref(101) + kSd1Line + "\nEnd of Capture Data\n";
  ASSERT_GE(run.dump.size(), tail.size());
  EXPECT_EQ(run.dump.substr(run.dump.size() - tail.size()), tail);
}

TEST(CaptureReader, DamageBeforeTheChainEndsSkipsToAVerifiedMark) {
  // At the start, a record whose length leads to damage is not trusted: reading begins at the
  // first mark from which the chain holds.
  TempDir dir;
  CaptureBytes file;
  file.Record(100, kSd1).Raw({0x00}).Record(200, kSd1);
  WriteRun(dir, {file});
  auto run = RunDump(dir, 1);
  ASSERT_TRUE(run.ok) << run.error;
  EXPECT_EQ(run.dump, HeaderBlock(dir, "1200") + Ref(1) + kSd1Line + "\nEnd of Capture Data\n");
}

TEST(CaptureReader, RecordSplitAcrossFiles) {
  TempDir dir;
  CaptureBytes whole;
  whole.Record(1, kSd1);
  CaptureBytes first;
  first.Record(0, kSd1).Raw({whole.bytes.begin() + 40, whole.bytes.begin() + 43});
  CaptureBytes second;
  second.Raw({whole.bytes.begin() + 43, whole.bytes.end()}).Record(2, kSd1);
  WriteRun(dir, {first, second});
  auto run = RunDump(dir, 2);
  ASSERT_TRUE(run.ok) << run.error;
  EXPECT_EQ(run.dump, HeaderBlock(dir, "1200") + Ref(1) + kSd1Line + HeaderBlock(dir, "1201") +
                          Ref(2) + kSd1Line + Ref(3) + kSd1Line + "\nEnd of Capture Data\n");
}

// The records of a run read straight from the reader, and the record cut short at its end as
// "file offset bytes" (the file as its index in the run).
struct ReaderOutcome {
  Result result = Result::Ok();
  unsigned records = 0;
  std::string cut;
};
ReaderOutcome ReadRun(const TempDir& dir, unsigned numMin) {
  CaptureFileSet captures;
  captures.Start({dir.File("cap"), ".FdcCapt", 12, 0, numMin});
  ReaderOutcome out;
  out.result = captures.OpenNextCaptureFile();
  if (out.result.ok()) out.result = captures.FindFirstSync();
  while (out.result.ok()) {
    out.result = captures.ReadRecord();
    if (out.result.ok()) ++out.records;
    for (const CaptureEvent& event : captures.Events()) {
      if (event.kind != CaptureEvent::Kind::kRecordCut) continue;
      out.cut = std::to_string(event.file) + " " + std::to_string(event.offset) + " " +
                std::to_string(event.length);
    }
    captures.ClearEvents();
  }
  return out;
}

TEST(CaptureReader, EndsAndFailures) {
  struct Case {
    const char* name;
    std::vector<CaptureBytes> files;
    std::string error;  // empty: the run ends normally
    unsigned lines;     // record lines in the dump
    std::string cut;    // the record cut short at the end: "file offset bytes"
  };
  const auto withTail = [](CaptureBytes file, std::size_t bytes) {
    CaptureBytes tail;
    tail.Record(9, kSd1);
    file.Raw({tail.bytes.begin() + 40, tail.bytes.begin() + 40 + static_cast<long>(bytes)});
    return file;
  };
  CaptureBytes shortHeader;
  shortHeader.bytes.resize(10);
  CaptureBytes few;
  for (int i = 0; i < 5; ++i) few.Record(static_cast<std::uint64_t>(i), kToken);
  const std::size_t fewSize = few.bytes.size();  // 40 + 5 records of 12 bytes
  CaptureBytes garbage;
  garbage.Raw(std::vector<std::uint8_t>(300, 0x55));
  const CaptureBytes headerOnly;
  const std::string underRun = "Capture File Read Error: Data Under Run";
  const std::string notFound = "Capture File Sync Error: SYNC_MARK not found";
  const std::string atEnd = std::to_string(fewSize);

  const Case cases[] = {
      {"last record cut short in its frame", {withTail(few, 11)}, "", 5, "0 " + atEnd + " 11"},
      {"last record cut short in its header", {withTail(few, 5)}, "", 5, "0 " + atEnd + " 5"},
      {"a header alone ends the last file", {withTail(few, 8)}, "", 5, "0 " + atEnd + " 8"},
      {"header-only first file", {headerOnly}, notFound, 0, ""},
      {"file shorter than its header", {shortHeader}, notFound, 0, ""},
      {"header-only middle file is passed over", {few, headerOnly, few}, "", 10, ""},
      {"header-only last file ends the run", {few, headerOnly}, "", 5, ""},
      {"header-only last files end the run", {few, headerOnly, headerOnly}, "", 5, ""},
      {"after a failed search, header-only files", {garbage, headerOnly, headerOnly}, "", 0, ""},
      {"a header whose first byte is in the last file",
       {few, headerOnly, withTail(CaptureBytes(), 3)},
       "",
       5,
       "2 40 3"},
      {"a frame whose first byte is in the last file",
       {withTail(few, 8), withTail(CaptureBytes(), 0).Raw({0x10})},
       "",
       5,
       "0 " + atEnd + " 9"},
      {"a record split across files, cut in the last",
       {withTail(few, 4), CaptureBytes().Raw({0x00, 0x00, 0x00, 0x06, 0x10})},
       "",
       5,
       "0 " + atEnd + " 9"},
      {"a header begun in an earlier file", {withTail(few, 3), headerOnly}, underRun, 5, ""},
      {"a header whose first byte ends an earlier file",
       {withTail(few, 1), CaptureBytes().Raw({0x09, 0x00})},
       underRun,
       5,
       ""},
      {"a frame with no byte after its header", {withTail(few, 8), headerOnly}, underRun, 5, ""},
      {"fewer than 100 records sync at once", {few}, "", 5, ""},
      {"no mark in 280 bytes", {garbage}, notFound, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteRun(dir, c.files);
    const auto numMin = static_cast<unsigned>(c.files.size());
    auto run = RunDump(dir, numMin);
    EXPECT_EQ(run.error, c.error);
    std::size_t lines = 0;
    for (std::size_t pos = 0; (pos = run.dump.find(":  SD", pos)) != std::string::npos; ++pos) {
      ++lines;
    }
    EXPECT_EQ(lines, c.lines);
    EXPECT_EQ(run.dump.find("End of Capture Data") != std::string::npos, run.ok);
    const ReaderOutcome read = ReadRun(dir, numMin);
    EXPECT_EQ(read.result.ErrorText(), c.error);
    EXPECT_EQ(read.records, c.lines);
    EXPECT_EQ(read.cut, c.cut);
  }
}

TEST(CaptureReader, MissingNextFileKeepsTheDumpSoFar) {
  TempDir dir;
  WriteRun(dir, {CaptureBytes().Record(0, kToken)});
  auto run = RunDump(dir, 2);
  EXPECT_EQ(run.error, "Unable to Open Input File " + dir.File("cap1201.FdcCapt"));
  EXPECT_EQ(run.dump, HeaderBlock(dir, "1200") + Ref(1) + " SD4   2<1   \n");
}

TEST(CaptureReader, ChainCheckSkipsFalseMarks) {
  // A 0xDD inside the garbage whose length byte leads nowhere near another mark is passed over.
  TempDir dir;
  CaptureBytes file;
  file.Raw({0x01, 0xDD, 0, 0, 0, 0, 0, 0, 0x02, 0x33});
  for (int i = 0; i < 150; ++i) file.Record(static_cast<std::uint64_t>(i), kToken);
  WriteRun(dir, {file});
  auto run = RunDump(dir, 1);
  ASSERT_TRUE(run.ok) << run.error;
  EXPECT_EQ(run.dump.find("Synchronization"), std::string::npos);
  EXPECT_NE(run.dump.find(Ref(150)), std::string::npos);
  EXPECT_EQ(run.dump.find(Ref(151)), std::string::npos);
}

TEST(CaptureReader, LostOnFirstHeaderOfNewFileResyncsInThatFile) {
  TempDir dir;
  CaptureBytes second;
  second.Raw({0x00, 0x00}).Record(7, kToken);
  WriteRun(dir, {CaptureBytes().Record(0, kToken).Record(1, kToken), second});
  auto run = RunDump(dir, 2);
  ASSERT_TRUE(run.ok) << run.error;
  EXPECT_NE(run.dump.find("        2: Ofs=28 Mark=00\n"), std::string::npos);
  EXPECT_NE(run.dump.find(Ref(3) + " SD4"), std::string::npos);
}

// Every prefix of a damaged two-file run: the run ends with a known result and never reads out
// of bounds (run under the sanitizers in CI).
TEST(CaptureReader, TruncationSweep) {
  CaptureBytes full;
  full.Record(0, kSd1, 0x40)
      .Raw({0xDD, 0x01})
      .Record(9, {0x68, 5, 5, 0x68, 0x82, 0x81, 0x7d, 1, 2, 3, 0x16});
  full.Record(20, {}).Record(30, std::vector<std::uint8_t>(255, 0xA2));
  for (std::size_t size = 0; size <= full.bytes.size(); ++size) {
    TempDir dir;
    CaptureBytes cut;
    cut.bytes.assign(full.bytes.begin(), full.bytes.begin() + static_cast<long>(size));
    WriteRun(dir, {cut, full});
    auto run = RunDump(dir, 2, "ShowFileOfs\nDetailSts\nTmeGap us\nGrphGap 10 1ms\n");
    if (!run.ok) {
      EXPECT_TRUE(run.error.rfind("Capture File", 0) == 0) << size << ": " << run.error;
    }
  }
}

}  // namespace
}  // namespace fdc
