// Capture name rule, output name rule, start time and the number readers.
#include "engine/dump_request_rules.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/test_support.h"

namespace fdc {
namespace {

TEST(CaptureNameRule, ValidAndInvalidNames) {
  struct Case {
    const char* name;
    bool valid;
  };
  const Case cases[] = {
      {"C:\\cap\\Line11430.FdcCapt", true},
      {"D:\\x\\A0959.FDCCAPT", true},
      {"1430.FdcCapt", true},
      {"9959.FdcCapt", true},
      {"1.FdcCapt", false},
      {"abcd.FdcCapt", false},
      {"Line11430.FdcCapt.bak", false},
      {"Line11430.txt", false},
      {"", false},
      {"/data/run/L14a0.fdccapt", false},
      {"/data/run/L1430.fdccapt", true},
  };
  for (const Case& c : cases) EXPECT_EQ(IsValidCaptureName(c.name), c.valid) << c.name;
}

TEST(CaptureNameRule, PartsOfTheName) {
  EXPECT_EQ(CaptureBaseOf("C:\\cap\\Line11430.FdcCapt"), "C:\\cap\\Line1");
  EXPECT_EQ(CaptureBaseOf("1430.FdcCapt"), "");
  EXPECT_EQ(CaptureStartHour("C:\\cap\\Line11430.FdcCapt"), 14u);
  EXPECT_EQ(CaptureStartMinute("C:\\cap\\Line11430.FdcCapt"), 30u);
  EXPECT_EQ(CaptureStartHour("9959.FdcCapt"), 99u);
  EXPECT_EQ(CaptureStartMinute("1260.FdcCapt"), 60u);
}

TEST(OutputNameRule, Paths) {
  struct Case {
    const char* capture;
    const char* option;
    const char* output;
  };
  const Case cases[] = {
      {"C:\\cap\\Line11430.FdcCapt", "C:\\opt\\ORV_PB_All.opt",
       "C:\\cap\\Line11430_ORV_PB_All.txt"},
      {"D:\\x\\A0959.FDCCAPT", "ORV.opt", "D:\\x\\A0959_ORV.txt"},
      {"/cap/L0001.FdcCapt", "C:\\data.old\\opts", "/cap/L0001_data.txt"},
      {"/cap/L0001.FdcCapt", "/home/u/opts/Errors.opt", "/cap/L0001_Errors.txt"},
      {"/cap/L0001.FdcCapt", "noextension", "/cap/L0001_.txt"},
      {"/cap/L0001.FdcCapt", "", "/cap/L0001_.txt"},
      {"/cap/L0001.FdcCapt", "a.b.opt", "/cap/L0001_a.b.txt"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OutputPathFor(c.capture, c.option), c.output) << c.capture << " " << c.option;
  }
}

TEST(NumberReaders, ScanUnsignedReadsLikeLu) {
  struct Case {
    const char* text;
    bool readable;
    std::uint32_t value;
  };
  const Case cases[] = {
      {"12", true, 12},
      {"  12abc", true, 12},
      {"-1", true, 4294967295u},
      {"+5", true, 5},
      {"abc", false, 0},
      {"", false, 0},
      {"-", false, 0},
      {"0", true, 0},
      {"\t7", true, 7},
      // Beyond 32 bits a number is refused rather than cut to its low 32 bits.
      {"4294967295", true, 4294967295u},
      {"4294967296", false, 0},
      {"4294967297", false, 0},
      {"-4294967295", true, 1u},
      {"-4294967296", false, 0},
      {"+99999999999", false, 0},
      {"00000000004294967295", true, 4294967295u},
  };
  for (const Case& c : cases) {
    auto value = ScanUnsigned(c.text);
    EXPECT_EQ(value.has_value(), c.readable) << c.text;
    if (value) {
      EXPECT_EQ(*value, c.value) << c.text;
    }
  }
}

TEST(NumberReaders, ParseArgValue) {
  struct Case {
    const char* text;
    std::int32_t value;
  };
  const Case cases[] = {
      {"0x1F", 31}, {"0X1f", 31},       {"-5", -5},   {"12abc", 12}, {"abc", 0},         {"", 0},
      {" 0x10", 0}, {"0xFFFFFFFF", -1}, {"  42", 42}, {"0x", 0},     {"4294967295", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseArgValue(c.text), c.value) << c.text;
}

TEST(RequestPlanner, ChecksInTheDialogsOrder) {
  struct Case {
    const char* name;
    DumpRequestInput input;
    RequestField refused;
    const char* message;
  };
  const auto input = [](std::string endRef, std::string numMin, std::string startRef,
                        std::string capture) {
    DumpRequestInput in;
    in.captureFile = std::move(capture);
    in.optionFile = "/o/Errors.opt";
    in.endRef = std::move(endRef);
    in.numMin = std::move(numMin);
    in.startRef = std::move(startRef);
    return in;
  };
  const Case cases[] = {
      {"valid", input("0", "1", "0", "/c/L1430.FdcCapt"), RequestField::kNone, ""},
      {"EndRef first", input("x", "0", "x", "bad"), RequestField::kEndRef,
       "Please enter a positive integer."},
      {"EndRef beyond 32 bits", input("4294967297", "1", "0", "/c/L1430.FdcCapt"),
       RequestField::kEndRef, "Please enter a positive integer."},
      {"NumMin unreadable", input("0", "", "x", "bad"), RequestField::kNumMin,
       "Please enter a positive integer."},
      {"NumMin 0", input("0", "0", "x", "bad"), RequestField::kNumMin,
       "Please enter an integer between 1 and 1439."},
      {"NumMin beyond 32 bits wraps no more", input("0", "4294967297", "0", "/c/L1430.FdcCapt"),
       RequestField::kNumMin, "Please enter an integer between 1 and 1439."},
      {"StartRef beyond 32 bits", input("0", "1", "-4294967297", "/c/L1430.FdcCapt"),
       RequestField::kStartRef, "Please enter a positive integer."},
      {"capture name", input("0", "1", "0", "/c/L14x0.FdcCapt"), RequestField::kCaptureFile,
       kInvalidCaptureNameMessage.data()},
      {"minute", input("0", "1", "0", "/c/L1460.FdcCapt"), RequestField::kCaptureFile,
       kInvalidMinuteMessage.data()},
  };
  for (const Case& c : cases) {
    const DumpRequestPlan plan = PlanDumpRequest(c.input);
    EXPECT_EQ(plan.refused, c.refused) << c.name;
    EXPECT_EQ(plan.message, c.message) << c.name;
  }
}

TEST(RequestPlanner, TheRequestFromTheTexts) {
  DumpRequestInput in;
  in.captureFile = "/c/Line11430.fdccapt";
  in.optionFile = "/o/Station.opt";
  in.endRef = "0";
  in.numMin = "3";
  in.startRef = "12abc";
  in.args = {"0x1F", "-5", "", "12abc"};
  const DumpRequestPlan plan = PlanDumpRequest(in);
  ASSERT_TRUE(plan.ok()) << plan.message;
  EXPECT_EQ(plan.request.Run.base, "/c/Line1");
  // The run's files are opened with the extension as the name spells it.
  EXPECT_EQ(plan.request.Run.extension, ".fdccapt");
  EXPECT_EQ(plan.request.OutputPath, "/c/Line11430_Station.txt");
  EXPECT_EQ(plan.request.Run.hour, 14u);
  EXPECT_EQ(plan.request.Run.minute, 30u);
  EXPECT_EQ(plan.request.Run.count, 3u);
  EXPECT_EQ(plan.request.StartRef, 12u);
  EXPECT_EQ(plan.request.EndRef, 0xFFFFFFFFu);
  EXPECT_EQ(plan.request.CmdArgs, (std::array<std::int32_t, 4>{31, -5, 0, 12}));
}

TEST(RequestPlanner, TheOutputMayNameNoFileOfTheRun) {
  namespace fs = std::filesystem;
  test::TempDir dir;
  test::WriteText(dir.File("cap1200.FdcCapt"), "x");
  test::WriteText(dir.File("a.opt"), "NoRef\n");
  fs::create_directory(dir.File("sub"));
  fs::create_directory_symlink(".", dir.File("alias"));
  fs::create_directory_symlink(dir.path(), dir.File("sub/up"));
  fs::create_symlink("cap1202.FdcCapt", dir.File("future"));  // dangling: not written yet
  fs::create_symlink("future", dir.File("chain"));
  fs::create_symlink("../cap1201.FdcCapt", dir.File("sub/back"));
  fs::create_symlink(dir.File("cap1203.FdcCapt"), dir.File("after"));
  fs::create_hard_link(dir.File("cap1200.FdcCapt"), dir.File("hard.txt"));
  fs::create_symlink("loop1", dir.File("loop2"));
  fs::create_symlink("loop2", dir.File("loop1"));
  fs::create_directory_symlink("knot", dir.File("knot"));
  struct Case {
    const char* name;
    std::string output;
    const char* named;  // empty: accepted
    bool loop = false;  // refused as an output that can't be opened
  };
  const Case cases[] = {
      {"the first file", dir.File("cap1200.FdcCapt"), "cap1200.FdcCapt"},
      {"a minute file not written yet", dir.File("cap1202.FdcCapt"), "cap1202.FdcCapt"},
      {"by another spelling of the path", dir.File("sub/../cap1201.FdcCapt"), "cap1201.FdcCapt"},
      {"the option file", dir.File("a.opt"), "a.opt"},
      {"through a folder link", dir.File("alias/cap1202.FdcCapt"), "cap1202.FdcCapt"},
      {"through a link back up", dir.File("sub/up/cap1200.FdcCapt"), "cap1200.FdcCapt"},
      {"a dangling link to a minute not written yet", dir.File("future"), "cap1202.FdcCapt"},
      {"a chain of links ending dangling", dir.File("chain"), "cap1202.FdcCapt"},
      {"a relative link counts from its folder", dir.File("sub/back"), "cap1201.FdcCapt"},
      {"a hard link", dir.File("hard.txt"), "cap1200.FdcCapt"},
      {"a link loop", dir.File("loop1"), "", true},
      {"a folder that is a loop", dir.File("knot/report.txt"), "", true},
      {"a link to the minute after the run", dir.File("after"), ""},
      {"the minute after the run", dir.File("cap1203.FdcCapt"), ""},
      {"a dump beside them", dir.File("cap1200_a.txt"), ""},
      {"a device", "/dev/null", ""},
  };
  for (const Case& c : cases) {
    DumpRequestInput in;
    in.captureFile = dir.File("cap1200.FdcCapt");
    in.optionFile = dir.File("a.opt");
    in.numMin = "3";
    in.outputPath = c.output;
    const DumpRequestPlan plan = PlanDumpRequest(in);
    if (c.loop) {
      EXPECT_EQ(plan.refused, RequestField::kOutput) << c.name;
      EXPECT_EQ(plan.message, "Unable to Open Output File " + c.output) << c.name;
    } else if (std::string(c.named).empty()) {
      EXPECT_TRUE(plan.ok()) << c.name << ": " << plan.message;
    } else {
      EXPECT_EQ(plan.refused, RequestField::kOutput) << c.name;
      EXPECT_EQ(plan.message, "The output file would overwrite the input file " + dir.File(c.named))
          << c.name;
    }
  }
  // Only the refusal created nothing: no file appeared where the links point.
  EXPECT_FALSE(fs::exists(dir.File("cap1202.FdcCapt")));
}

TEST(RequestPlanner, AStreamOutputIsNotChecked) {
  test::TempDir dir;
  // The default output name would be a link to the run's own file.
  std::filesystem::create_symlink("cap1200.FdcCapt", dir.File("cap1200_.txt"));
  DumpRequestInput in;
  in.captureFile = dir.File("cap1200.FdcCapt");
  in.outputToStream = true;
  const DumpRequestPlan plan = PlanDumpRequest(in);
  EXPECT_TRUE(plan.ok()) << plan.message;
  EXPECT_EQ(plan.request.OutputPath, "");
  in.outputToStream = false;
  EXPECT_EQ(PlanDumpRequest(in).refused, RequestField::kOutput);
}

TEST(RequestPlanner, ALowerCaseExtensionRunsThroughItsOwnFiles) {
  test::TempDir dir;
  for (const char* hhmm : {"0959", "1000"}) {
    test::CaptureBytes file;
    file.Record(5, {0xdc, 0x02, 0x01});
    test::WriteText(dir.File(std::string("cap") + hhmm + ".fdccapt"),
                    std::string(file.bytes.begin(), file.bytes.end()));
  }
  DumpRequestInput in;
  in.captureFile = dir.File("cap0959.fdccapt");
  in.numMin = "2";
  const DumpRequestPlan plan = PlanDumpRequest(in);
  ASSERT_TRUE(plan.ok()) << plan.message;
  ASSERT_TRUE(DumpRun(plan.request, nullptr).ok());
  const std::string dump = test::ReadText(plan.request.OutputPath);
  EXPECT_NE(dump.find("File      : " + dir.File("cap1000.fdccapt")), std::string::npos) << dump;
  EXPECT_NE(dump.find("End of Capture Data"), std::string::npos);
}

}  // namespace
}  // namespace fdc
