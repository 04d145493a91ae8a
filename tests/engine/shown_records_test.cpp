// Dumps and exports of the records a caller selects (the desktop's table exports what it shows):
// the same text as a dump that reads its filter from the option file, "faulty records only" on its
// own and together with a ShowOnly program, a station with the acknowledgements of its
// requests, and the requests that carry a DP event with their replies.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/bus_findings.h"
#include "engine/dump_run.h"
#include "engine/pcapng_export.h"
#include "engine/record_filter.h"
#include "engine/record_marks.h"
#include "options/options.h"
#include "options/show_only_compiler.h"
#include "tests/support/test_support.h"

namespace fdc {
namespace {

using test::CaptureBytes;
using test::ReadText;
using test::TempDir;
using test::WriteRun;
using test::WriteText;

// Every kind of fault the table colours, between good telegrams of stations 2 and 3, and short
// acknowledgements that answer a request (9) and that do not (6, 10).
CaptureBytes MixedRecords() {
  CaptureBytes file;
  std::uint64_t t = 0;
  // At 12M: 4 ticks a bit; far apart unless told.
  auto add = [&](const std::vector<std::uint8_t>& frame, std::uint8_t status = 0,
                 std::uint64_t after = 48000) { file.Record(t += after, frame, status); };
  add({0x10, 0x02, 0x01, 0x49, 0x4c, 0x16});        // 1: good, station 2
  add({0x10, 0x03, 0x01, 0x49, 0x4d, 0x16}, 0x40);  // 2: status bit c, station 3
  add({0x10, 0x02, 0x01, 0x49, 0x4c});              // 3: SD1 of 5 bytes
  add({0x10, 0x02, 0x01, 0x49, 0x4b, 0x16});        // 4: wrong FCS, station 2
  add({0x10, 0x03, 0x01, 0x49, 0x4d, 0x17});        // 5: wrong ED, station 3
  add({0xE5});                                      // 6: good short acknowledgement
  add({0x10, 0x03, 0x01, 0x49, 0x4d, 0x16});        // 7: good, station 3
  add({0x10, 0x03, 0x01, 0x49, 0x4d, 0x16});        // 8: good, station 3
  add({0xE5}, 0, 6 * 44 + 36);                      // 9: its acknowledgement, 9 bits after it
  add({0xE5}, 0, 4 + 36);                           // 10: one more, answering nothing
  return file;
}

DumpRequest RequestFor(const TempDir& dir, const std::string& optionPath = "") {
  DumpRequest request;
  request.Run.base = dir.File("cap");
  request.Run.hour = 12;
  request.Run.minute = 0;
  request.OutputPath = dir.File("dump.txt");
  request.OptionPath = optionPath;
  return request;
}

// The reference numbers of a dump's record lines.
std::vector<int> LineRefs(const std::string& dump) {
  std::vector<int> refs;
  std::size_t at = dump.find("\n\n");
  while (at != std::string::npos) {
    const std::size_t line = at + 1;
    const std::size_t colon = dump.find(':', line);
    const std::size_t end = dump.find('\n', line);
    if (colon != std::string::npos && colon < end && colon - line == 9) {
      refs.push_back(std::stoi(dump.substr(line, 9)));
    }
    at = end;
  }
  return refs;
}

TEST(ShownRecords, GivenOptionsAndProgramDumpAsTheOptionFileDoes) {
  TempDir dir;
  WriteRun(dir, {MixedRecords()});
  const std::string optionPath = dir.File("station.opt");
  WriteText(optionPath,
            "DetailSts\nShowFcs\nTmeAbs hr:mn:sc.ms.us\nTmeDelta ms.us\nShowOnly\n"
            "SA == 1 && DA == CmdArg[0] ; to station 3\n#\n");
  DumpRequest request = RequestFor(dir, optionPath);
  request.CmdArgs = {3, 0, 0, 0};
  ASSERT_TRUE(DumpRun(request, RunControl(nullptr)).ok());
  const std::string fromFile = ReadText(request.OutputPath);

  DumpOptions options;
  ShowOnlyProgram program;
  ASSERT_TRUE(ReadOptionFile(optionPath, options, program).ok());
  request.OutputPath = dir.File("given.txt");
  DumpSummary summary;
  ASSERT_TRUE(
      DumpRun(request, options, ShownByOptionFile(&program, request), RunControl(nullptr), &summary)
          .ok());
  EXPECT_EQ(ReadText(request.OutputPath), fromFile);
  EXPECT_EQ(LineRefs(fromFile), (std::vector<int>{2, 5, 7, 8}));
  EXPECT_EQ(summary.records, 10u);
  EXPECT_EQ(summary.lines, 4u);
}

TEST(ShownRecords, FaultsStationsAndPrograms) {
  struct Case {
    const char* name;
    const char* equation;  // empty: no program
    std::uint16_t marks;  // 0: any record
    std::optional<std::uint8_t> station;
    std::uint32_t slotTimeBits;  // 0: by the baud rate (1000 bits at 12M)
    std::optional<std::vector<std::uint32_t>> events;  // the requests that carry a DP event
    std::vector<int> refs;
    std::optional<std::uint8_t> cause = std::nullopt;
    StationSide side = StationSide::kEither;
  };
  const Case cases[] = {
      {"every record", "", 0, {}, 0, {}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {"faults only", "", kMarkDamaged, {}, 0, {}, {2, 3, 4, 5}},
      {"faults of station 3", "DA == 3", kMarkDamaged, {}, 0, {}, {2, 5}},
      {"station 3 without the fault check", "DA == 3", 0, {}, 0, {}, {2, 5, 7, 8}},
      {"a program that shows nothing", "LEN == 1000", kMarkDamaged, {}, 0, {}, {}},
      {"protocol faults: the reply 9 bits after", "", kProtocolMarks, {}, 0, {}, {9}},
      {"damaged or protocol", "", kMarkDamaged | kProtocolMarks, {}, 0, {}, {2, 3, 4, 5, 9}},
      {"a late reply by a slot time of 5 bits", "", kMarkLateAnswer, {}, 5, {}, {9}},
      {"status bit c", "", 0, {}, 0, {}, {2}, CorruptCauseIndex("status_bits.c")},
      {"a wrong FCS", "", 0, {}, 0, {}, {4}, CorruptCauseIndex("fcs_errors")},
      {"sent to station 3", "", 0, 3, 0, {}, {2, 5, 7, 8}, {}, StationSide::kAddressee},
      {"sent by station 3: its acknowledgement", "", 0, 3, 0, {}, {9}, {}, StationSide::kSender},
      {"after requests to station 3", "", 0, 3, 0, {}, {8, 9}, {}, StationSide::kAnswering},
      {"station 3 with its acknowledgement", "", 0, 3, 0, {}, {2, 5, 7, 8, 9}},
      {"one after a slot time of 5 bits is none", "", 0, 3, 5, {}, {2, 5, 7, 8}},
      {"station 2, its malformed frames too", "", 0, 2, 0, {}, {1, 3, 4}},
      {"station 3 and a program", "STS == 0", 0, 3, 0, {}, {5, 7, 8, 9}},
      {"events: a request with the acknowledgement after it", "", 0, {}, 0, {{8}}, {8, 9}},
      {"events: a faulty request, the record after it alone", "", 0, {}, 0, {{5}}, {5}},
      {"events of station 2", "", 0, 2, 0, {{1, 8}}, {1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteRun(dir, {MixedRecords()});
    const DumpRequest request = RequestFor(dir);
    ShowOnlyProgram program;
    ASSERT_TRUE(CompileShowOnlyText(std::string(c.equation) + "#", program).ok());
    RecordFilter shown;
    shown.program = *c.equation != '\0' ? &program : nullptr;
    shown.marks = c.marks;
    shown.corruptCause = c.cause;
    shown.stationSide = c.side;
    shown.station = c.station;
    shown.slotTimeBits = c.slotTimeBits;
    shown.eventRefs = c.events ? &*c.events : nullptr;
    DumpSummary summary;
    ASSERT_TRUE(DumpRun(request, DumpOptions{}, shown, RunControl(nullptr), &summary).ok());
    const std::string dump = ReadText(request.OutputPath);
    EXPECT_EQ(LineRefs(dump), c.refs);
    EXPECT_EQ(summary.lines, c.refs.size());
    // The header names the program only when there is one.
    EXPECT_EQ(dump.find("Show Only : ") != std::string::npos, *c.equation != '\0');

    DumpRequest exportRequest = request;
    exportRequest.OutputPath = dir.File("shown.pcapng");
    ExportSummary exported;
    ASSERT_TRUE(
        ExportRun(exportRequest, shown, ExportOptions{}, RunControl(nullptr), &exported).ok());
    EXPECT_EQ(exported.packets, c.refs.size());
    EXPECT_EQ(exported.records, 10u);
  }
}

TEST(ShownRecords, TheOptionFileExportIsUnchanged) {
  TempDir dir;
  WriteRun(dir, {MixedRecords()});
  const std::string optionPath = dir.File("errors.opt");
  WriteText(optionPath, "ShowOnly\nSTS != STSOK\n#\n");
  DumpRequest request = RequestFor(dir, optionPath);
  request.OutputPath = dir.File("errors.pcapng");
  ExportSummary summary;
  ASSERT_TRUE(ExportRun(request, ExportOptions{}, RunControl(nullptr), &summary).ok());
  EXPECT_EQ(summary.packets, 1u);

  // A faulty option file fails before anything is written, whichever entry point reads it.
  WriteText(optionPath, "ShowOnly\nSTS ==\n#\n");
  request.OutputPath = dir.File("never.pcapng");
  EXPECT_TRUE(ExportRun(request, ExportOptions{}, RunControl(nullptr), &summary).failed());
  EXPECT_EQ(summary.packets, 0u);
  EXPECT_FALSE(std::filesystem::exists(request.OutputPath));
}

}  // namespace
}  // namespace fdc
