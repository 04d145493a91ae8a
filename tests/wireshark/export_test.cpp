// fdc2pcapng read by tshark: every packet agrees with the line the dump prints for its record,
// on the bundled run and on damaged runs, with and without a filter, a window and a date; the
// link types, the packet comments, and the outputs it writes or refuses.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/fdc2pcapng_command.h"
#include "engine/dump_request_rules.h"
#include "engine/pcapng_export.h"
#include "tests/support/pcapng_text.h"
#include "tests/support/test_support.h"
#include "tests/wireshark/export_compare.h"
#include "tests/wireshark/tshark_runner.h"

namespace fdc {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

fs::path Source(const std::string& relative) { return fs::path(FDC_SOURCE_DIR) / relative; }

using Outcome = test::CommandOutcome;

Outcome Export(const std::vector<std::string>& args) {
  return test::RunCommand(RunFdc2pcapng, args);
}

struct Case {
  const char* name;
  std::string capture;  // from the source folder
  std::string minutes;
  std::string filter;             // a ShowOnly section, or empty
  std::vector<std::string> more;  // further arguments for both (the dump takes no --date)
};

// The dump and the export of the same request, written into `stem`.dump.txt and `stem`.pcapng.
test::ExportAndDump ExportWithItsDump(const Case& c, const std::string& stem) {
  SCOPED_TRACE(c.name);
  const std::string option = stem + ".opt";
  test::WriteText(option, std::string(test::kCompareColumns) + c.filter);
  DumpRequestInput input;
  input.captureFile = Source(c.capture).string();
  input.optionFile = option;
  input.numMin = c.minutes;
  input.outputPath = stem + ".dump.txt";
  std::string date;
  for (std::size_t i = 0; i + 1 < c.more.size(); i += 2) {
    if (c.more[i] == "--start-ref") input.startRef = c.more[i + 1];
    if (c.more[i] == "--end-ref") input.endRef = c.more[i + 1];
    if (c.more[i] == "--arg") input.args[0] = c.more[i + 1];
    if (c.more[i] == "--date") date = c.more[i + 1];
  }
  const DumpRequestPlan plan = PlanDumpRequest(input);
  if (!plan.ok()) {
    ADD_FAILURE() << plan.message;
    return {};
  }
  const Result dumped = DumpRun(plan.request, nullptr);

  std::vector<std::string> args = {"--quiet", "--opt",    option,          "--minutes",
                                   c.minutes, "--output", stem + ".pcapng"};
  args.insert(args.end(), c.more.begin(), c.more.end());
  args.push_back(input.captureFile);
  const Outcome exported = Export(args);
  // The same outcome: a reader error ends both with the same message.
  EXPECT_EQ(exported.status, dumped.ok() ? 0 : 1) << exported.err;
  if (!dumped.ok()) {
    EXPECT_EQ(exported.err, dumped.ErrorText() + "\n");
  }
  return {stem + ".pcapng", test::ReadText(input.outputPath), date.empty() ? 0 : *DayStartNs(date)};
}

TEST(Export, EveryPacketAgreesWithItsDumpLine) {
  std::vector<Case> cases = {
      {"the bundled run", "samples/Line11159.FdcCapt", "3", "", {}},
      {"with a filter on faulty records",
       "samples/Line11159.FdcCapt",
       "3",
       "ShowOnly\nSTS != STSOK || SD != SD2 && SD != SD1 && SD != SD4 && SD != SC\n#\n",
       {}},
      {"with a window",
       "samples/Line11159.FdcCapt",
       "3",
       "",
       {"--start-ref", "2795", "--end-ref", "3020"}},
      {"a station and its argument",
       "samples/Line11159.FdcCapt",
       "3",
       "ShowOnly\nDA == CmdArg[0] || SA == CmdArg[0]\n#\n",
       {"--arg", "2"}},
      {"a date makes the time of day",
       "samples/Line11159.FdcCapt",
       "3",
       "",
       {"--date", "2026-12-08"}},
      {"12M with damage", "tests/golden/runs/baud12m/Bus0959.FdcCapt", "2", "", {}},
      {"an unknown baud rate", "tests/golden/runs/nobaud/Bus1000.FdcCapt", "1", "", {}},
  };
  for (const char* damage :
       {"garbage", "sync", "len0", "len255", "malformed", "split", "truncated", "header-only"}) {
    cases.push_back(
        {damage, std::string("tests/golden/runs/") + damage + "/Line22358.FdcCapt", "3", "", {}});
  }
  TempDir dir;
  std::vector<test::ExportAndDump> exports;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    exports.push_back(ExportWithItsDump(cases[i], dir.File(std::to_string(i))));
  }
  const std::vector<test::ExportComparison> compared = test::CompareExportsWithDumps(exports);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(compared[i].problems, "") << cases[i].name;
    for (const std::string& difference : compared[i].differences) {
      ADD_FAILURE() << cases[i].name << ": " << difference;
    }
  }
}

TEST(Export, ADateMakesTheTimeOfDay) {
  TempDir dir;
  const Outcome out = Export({"--quiet", "--date", "2024-02-29", "--output", dir.File("a.pcapng"),
                              Source("samples/Line11159.FdcCapt").string()});
  ASSERT_EQ(out.status, 0) << out.err;
  const test::TsharkFields first =
      test::ReadTsharkFields(dir.File("a.pcapng"), {"frame.time_epoch"});
  ASSERT_FALSE(first.rows.empty());
  // 2024-02-29 is day 19782 since 1970; the first record stands at 11:59:00.125171.
  EXPECT_EQ(first.rows[0][0], "1709207940.125171000");
}

TEST(Export, RefusedArguments) {
  struct Refusal {
    std::vector<std::string> args;
    const char* err;
  };
  const std::string capture = Source("samples/Line11159.FdcCapt").string();
  const Refusal refusals[] = {
      {{"--date", "2023-02-29", capture},
       "fdc2pcapng: --date must be a date YYYY-MM-DD from 1970-01-01 to 2500-12-31, not "
       "'2023-02-29'\n"},
      {{"--date", "2024-13-01", capture},
       "fdc2pcapng: --date must be a date YYYY-MM-DD from 1970-01-01 to 2500-12-31, not "
       "'2024-13-01'\n"},
      {{"--date", "1969-12-31", capture},
       "fdc2pcapng: --date must be a date YYYY-MM-DD from 1970-01-01 to 2500-12-31, not "
       "'1969-12-31'\n"},
      {{"--linktype", "ethernet", capture},
       "fdc2pcapng: --linktype must be user0 or profibus, not 'ethernet'\n"},
      {{"--minutes", "0", capture}, "Please enter an integer between 1 and 1439.\n"},
      {{"--output", Source("samples/Line11200.FdcCapt").string(), "--minutes", "2", capture},
       ""},  // names an input: checked below
  };
  for (const Refusal& r : refusals) {
    const Outcome out = Export(r.args);
    EXPECT_EQ(out.status, 2) << r.args[0];
    if (*r.err != '\0') {
      EXPECT_EQ(out.err, r.err);
    }
  }
  const Outcome overwrite = Export(refusals[5].args);
  EXPECT_EQ(overwrite.err, "fdc2pcapng: The output file would overwrite the input file " +
                               Source("samples/Line11200.FdcCapt").string() + "\n");
  EXPECT_EQ(DayStartNs("2500-12-31").has_value(), true);
  EXPECT_EQ(DayStartNs("2501-01-01").has_value(), false);
  EXPECT_EQ(DayStartNs("1970-01-01"), std::optional<std::uint64_t>(0));
}

// The link type of the file's interface and each packet's bytes, read from the blocks.
struct Blocks {
  std::uint16_t linkType = 0;
  std::vector<std::vector<std::uint8_t>> packets;
  std::size_t end = 0;  // where the last whole block ends
};
Blocks ReadBlocks(const std::string& text) {
  Blocks blocks;
  for (const test::PcapngBlock& block : test::PcapngBlocks(text, &blocks.end)) {
    if (block.type == test::kPcapngInterface) {
      blocks.linkType = static_cast<std::uint16_t>(test::Le32(block.body, 0) & 0xFFFF);
    }
    if (block.type == test::kPcapngEnhancedPacket) {
      const std::string_view data = block.body.substr(20, test::Le32(block.body, 12));
      blocks.packets.emplace_back(data.begin(), data.end());
    }
  }
  return blocks;
}

TEST(Export, LinkTypesAndTheStandardOutput) {
  const std::string capture = Source("samples/Line11159.FdcCapt").string();
  TempDir dir;
  const Outcome user0 = Export({"--quiet", "--output", "-", capture});
  ASSERT_EQ(user0.status, 0) << user0.err;
  const Outcome profibus = Export({"--linktype", "profibus", "--output", "-", capture});
  ASSERT_EQ(profibus.status, 0) << profibus.err;
  const Blocks a = ReadBlocks(user0.out);
  const Blocks b = ReadBlocks(profibus.out);
  EXPECT_EQ(a.linkType, 147);
  EXPECT_EQ(b.linkType, 257);
  ASSERT_EQ(a.packets.size(), b.packets.size());
  ASSERT_FALSE(a.packets.empty());
  for (std::size_t i = 0; i < a.packets.size(); ++i) {
    ASSERT_FALSE(a.packets[i].empty());
    EXPECT_EQ(std::vector<std::uint8_t>(a.packets[i].begin() + 1, a.packets[i].end()),
              b.packets[i]);
  }
  // Written to the standard output, nothing else goes there: no progress, no "Created".
  EXPECT_EQ(static_cast<unsigned char>(user0.out[0]), 0x0A);
  test::WriteText(dir.File("out.pcapng"), user0.out);
  const test::TsharkFields read = test::ReadTsharkFields(dir.File("out.pcapng"), {"fdl.sd"});
  EXPECT_EQ(read.problems, "");
  EXPECT_EQ(read.rows.size(), a.packets.size());
}

TEST(Export, CommentsNameFilesAndCountResynchronisations) {
  const std::string capture = Source("samples/Line11159.FdcCapt").string();
  TempDir dir;
  // A sparse filter: the synchronisation loss waits for the next record it lets through.
  test::WriteText(dir.File("errors.opt"), "ShowOnly\nSTS != STSOK || SD == SD4 && SA == 1\n#\n");
  const Outcome out = Export({"--quiet", "--minutes", "3", "--opt", dir.File("errors.opt"),
                              "--output", dir.File("e.pcapng"), capture});
  ASSERT_EQ(out.status, 0) << out.err;
  test::TsharkFieldOptions options;
  options.aggregator = '\x01';
  const test::TsharkFields read =
      test::ReadTsharkFields(dir.File("e.pcapng"), {"frame.comment"}, options);
  std::vector<std::string> comments;
  for (const auto& row : read.rows) {
    for (const std::string& comment : test::SplitValues(row[0], '\x01')) {
      if (!comment.empty()) comments.push_back(comment);
    }
  }
  ASSERT_EQ(comments.size(), 4u);
  EXPECT_EQ(comments[0], "file Line11159.FdcCapt, module Line1, 192.168.0.5, 500K");
  EXPECT_EQ(comments[1], "file Line11200.FdcCapt, module Line1, 192.168.0.5, 500K");
  EXPECT_EQ(comments[2], "synchronization lost 1 time before this record, first at offset 54ef");
  EXPECT_EQ(comments[3], "file Line11201.FdcCapt, module Line1, 192.168.0.5, 500K");
}

TEST(Export, AFileNameInUtf8StaysAsItIs) {
  // The module name is Latin-1 in every case ("Möller").
  const test::CaptureBytes minute =
      test::CaptureBytes(1, 0xC0A80005, "M\xf6ller").Record(0, {0xe5});
  const struct {
    const char* name;
    const char* shown;
  } cases[] = {
      {"L\xc3\xadnea", "L\xc3\xadnea"},  // "Línea" in UTF-8
      {"L\xednea", "L\xc3\xadnea"},      // in Latin-1: converted
  };
  TempDir dir;
  std::vector<std::string> exports;
  for (const auto& c : cases) {
    const std::string capture = dir.File(std::string(c.name) + "1200.FdcCapt");
    test::WriteText(capture, std::string(minute.bytes.begin(), minute.bytes.end()));
    exports.push_back(dir.File("x" + std::to_string(exports.size()) + ".pcapng"));
    const Outcome out = Export({"--quiet", "--output", exports.back(), "--", capture});
    ASSERT_EQ(out.status, 0) << out.err;
  }
  const std::vector<test::TsharkFields> read =
      test::ReadTsharkFieldsOfEach(exports, {"frame.comment"});
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    ASSERT_EQ(read[i].rows.size(), 1u);
    EXPECT_EQ(read[i].rows[0][0], std::string("file ") + cases[i].shown +
                                      "1200.FdcCapt, module M\xc3\xb6ller, 192.168.0.5, 12M");
  }
}

TEST(Export, LossesBetweenTwoPacketsMakeOneComment) {
  // Four losses and a file left after a failed search, all between two exported records. Each
  // stretch of damage is followed by 100 records, so that the search trusts the mark after it;
  // the last one (at the stray bytes) ends in the failed search.
  TempDir dir;
  const std::vector<std::uint8_t> token = {0xdc, 0x02, 0x01};
  const std::vector<std::uint8_t> sd1 = {0x10, 0x02, 0x01, 0x49, 0x4c, 0x16};
  test::CaptureBytes first;
  first.Record(0, sd1);
  for (int i = 1; i < 100; ++i) first.Record(static_cast<std::uint64_t>(i) * 100, token);
  for (int loss = 0; loss < 3; ++loss) {
    first.Raw({0x00});
    for (int i = 0; i < 100; ++i) {
      first.Record(20000 + static_cast<std::uint64_t>(loss * 1000 + i), token);
    }
  }
  first.Raw(std::vector<std::uint8_t>(300, 0x55));  // no mark in reach: the file is left
  test::CaptureBytes second;
  second.Record(90000, sd1);
  test::WriteRun(dir, {first, second});
  test::WriteText(dir.File("sd1.opt"), "ShowOnly\nSD == SD1\n#\n");
  const Outcome out = Export({"--quiet", "--minutes", "2", "--opt", dir.File("sd1.opt"), "--output",
                              dir.File("x.pcapng"), dir.File("cap1200.FdcCapt")});
  ASSERT_EQ(out.status, 0) << out.err;
  test::TsharkFieldOptions options;
  options.aggregator = '\x01';
  const test::TsharkFields read =
      test::ReadTsharkFields(dir.File("x.pcapng"), {"frame.comment"}, options);
  ASSERT_EQ(read.rows.size(), 2u);
  EXPECT_EQ(
      test::SplitValues(read.rows[0][0], '\x01'),
      (std::vector<std::string>{"file cap1200.FdcCapt, module TestModule, 192.168.0.5, 12M"}));
  EXPECT_EQ(test::SplitValues(read.rows[1][0], '\x01'),
            (std::vector<std::string>{
                "synchronization lost 4 times before this record, first at offset 4db",
                "Capture File Sync Error: SYNC_MARK not found",
                "file cap1201.FdcCapt, module TestModule, 192.168.0.5, 12M"}));
}

TEST(Export, FailuresLeaveWholeBlocks) {
  const std::string capture = Source("samples/Line11159.FdcCapt").string();
  if (fs::exists("/dev/full")) {
    const Outcome full = Export({"--quiet", "--output", "/dev/full", capture});
    EXPECT_EQ(full.status, 1);
    EXPECT_EQ(full.err, "Unable to Write Output File /dev/full\n");
  }
  // A missing minute file: exit 1, and what was written is a valid file of whole blocks.
  TempDir dir;
  const Outcome missing =
      Export({"--quiet", "--minutes", "5", "--output", dir.File("m.pcapng"), capture});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err.rfind("Unable to Open Input File ", 0), 0u) << missing.err;

  // A full disk in the middle of a block: the file is cut back to the last whole one.
  constexpr std::uint64_t kRoom = 200000;
  Outcome full;
  {
    const test::FileSizeLimit limit(kRoom);
    full = Export({"--quiet", "--minutes", "3", "--output", dir.File("f.pcapng"), capture});
  }
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "Unable to Write Output File " + dir.File("f.pcapng") + "\n");
  const std::string kept = test::ReadText(dir.File("f.pcapng"));
  EXPECT_GT(kept.size(), kRoom - 1000);
  EXPECT_LE(kept.size(), kRoom);
  EXPECT_EQ(ReadBlocks(kept).end, kept.size()) << "the file ends on a block boundary";

  // Both files read as they are, the one cut short up to its last whole block.
  const std::vector<test::TsharkFields> read =
      test::ReadTsharkFieldsOfEach({dir.File("m.pcapng"), dir.File("f.pcapng")}, {"fdl.sd"});
  EXPECT_EQ(read[0].problems, "");
  EXPECT_EQ(read[0].rows.size(), 6009u);
  EXPECT_EQ(read[1].problems, "");
  EXPECT_GT(read[1].rows.size(), 3000u);
}

}  // namespace
}  // namespace fdc
