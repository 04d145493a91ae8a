// Capture name rule, output name rule, start time and the number readers.
#include <gtest/gtest.h>

#include "engine/dump_request_rules.h"

namespace fdc {
namespace {

TEST(CaptureNameRule, ValidAndInvalidNames) {
  struct Case {
    const char* name;
    bool valid;
  };
  const Case cases[] = {
      {"C:\\cap\\Line11430.FdcCapt", true}, {"D:\\x\\A0959.FDCCAPT", true},
      {"1430.FdcCapt", true},              {"9959.FdcCapt", true},
      {"1.FdcCapt", false},                {"abcd.FdcCapt", false},
      {"Line11430.FdcCapt.bak", false},    {"Line11430.txt", false},
      {"", false},                         {"/data/run/L14a0.fdccapt", false},
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
      {"12", true, 12},  {"  12abc", true, 12}, {"-1", true, 4294967295u}, {"+5", true, 5},
      {"abc", false, 0}, {"", false, 0},        {"-", false, 0},           {"0", true, 0},
      {"\t7", true, 7},
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
      {"0x1F", 31}, {"0X1f", 31},       {"-5", -5}, {"12abc", 12}, {"abc", 0},
      {"", 0},      {" 0x10", 0},       {"0xFFFFFFFF", -1},        {"  42", 42},
      {"0x", 0},    {"4294967295", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseArgValue(c.text), c.value) << c.text;
}

}  // namespace
}  // namespace fdc
