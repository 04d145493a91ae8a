// Option file lines: keywords, numbers, time values and their messages.
#include <gtest/gtest.h>

#include <string>

#include "options/options.h"
#include "tests/support/test_support.h"

namespace fdc {
namespace {

struct LineCase {
  const char* line;
  const char* error;  // empty: accepted
};

TEST(ParseOptionLine, KeywordsAndMessages) {
  const LineCase cases[] = {
      {"noref", ""},
      {"NoRefXYZ", ""},
      {"NoRe", "Invalid Option Argument 'NoRe'"},
      {"ShowFileOffset", ""},
      {"ShowFil", ""},
      {"NoFc ; note", ""},
      {"Descrip=Bus A", ""},
      {"ArgName7=x", ""},
      {"TmeAbs", ""},
      {"TmeAbs 1234567890123456789", ""},
      {"TmeAbs 12345678901234567890", "Time Format String Too Long '12345678901234567890'"},
      {"GrphGap 4 1ms", "Invalid GrphGap Width value '4' (5-100)"},
      {"GrphGap 101 1ms", "Invalid GrphGap Width value '101' (5-100)"},
      {"GrphGap -5 1ms", "Invalid GrphGap Width value '-5' (5-100)"},
      {"GrphDelta 4 1ms", "Invalid GrphDelta Width value '4' (5-100)"},
      {"GrphGap 50", "Time Numeric String too short ''"},
      {"GrphGap 50 ;1ms", "Time Numeric String too short ''"},
      {"GrphGap 50 1", "Time Numeric String too short '1'"},
      {"GrphGap 50 10", "Time Numeric String Unit Expected '10' ("},
      {"GrphGap 50 10 ms", "Time Numeric String Unit Expected '10' ("},
      {"GrphGap 50 abms", "Invalid Dec Numeric String 'ab'"},
      {"GrphGap abc 1ms", "Invalid Dec Numeric String 'abc 1ms'"},
      {"GrphGap 0xg 1ms", "Invalid Hex Numeric String '0xg 1ms'"},
      {"GrphGap - 1ms", "Invalid Dec Numeric String '- 1ms'"},
      {"GrphGap 50 0xms", "Invalid Hex Numeric String '0x'"},
      {"Bogus", "Invalid Option Argument 'Bogus'"},
  };
  for (const LineCase& c : cases) {
    DumpOptions options;
    std::string line = c.line;
    Result result = ParseOptionLine(line, options);
    EXPECT_EQ(result.ErrorText(), c.error) << c.line;
    EXPECT_EQ(result.ok(), std::string(c.error).empty()) << c.line;
  }
}

TEST(ParseOptionLine, ValuesStored) {
  DumpOptions o = test::OptionsFrom({"NoDstSap", "TmeAbsX", "GrphDelta 0x32 0x10MS",
                                     "GrphGap 50;c 1ms", "TmeGap us;comment", "ShowFcs"});
  EXPECT_EQ(o.NoDstSap, 1);
  EXPECT_EQ(o.NoDst, 0);
  EXPECT_EQ(o.TmeAbs, "X");
  EXPECT_EQ(o.GrphDeltaWidth, 50);
  EXPECT_EQ(o.GrphDeltaTime, 16000000);
  EXPECT_EQ(o.GrphGapWidth, 50);
  EXPECT_EQ(o.GrphGapTime, 1000000);
  EXPECT_EQ(o.TmeGap, "us");
  EXPECT_EQ(o.ShowFcs, 1);

  struct TimeCase {
    const char* line;
    std::int64_t ns;
  };
  const TimeCase times[] = {
      {"GrphGap 50 2hr", 7200000000000},
      {"GrphGap 50 3mn", 180000000000},
      {"GrphGap 50 1SC", 1000000000},
      {"GrphGap 50 -7us", -7000},
      {"GrphGap 50 12abcns", 12},
      {"GrphGap 50 'ans", 97},
      {"GrphGap 50 0ns", 0},
      {"GrphGap 50 1.5ms", 1000000},
  };
  for (const TimeCase& t : times) {
    EXPECT_EQ(test::OptionsFrom({t.line}).GrphGapTime, t.ns) << t.line;
  }
}

TEST(ParseNumber, FormsAndWrapping) {
  struct Case {
    const char* text;
    std::int32_t value;
    std::size_t end;
  };
  const Case cases[] = {
      {"12abc rest", 12, 5}, {"-5", -5, 2},          {"+7x", 7, 3},
      {"0x1F", 31, 4},       {"0XfFfFfFfF", -1, 10}, {"0x123456789", 0x23456789, 11},
      {"'A", 65, 2},         {"'\xff", -1, 2},       {"4294967297", 1, 10},
      {"1;2 x", 1, 3},
  };
  for (const Case& c : cases) {
    std::string line = c.text;
    std::size_t pos = 0;
    std::int32_t value = 0;
    ASSERT_TRUE(ParseNumber(line, pos, value).ok()) << c.text;
    EXPECT_EQ(value, c.value) << c.text;
    EXPECT_EQ(pos, c.end) << c.text;
  }
}

class OptionFileTest : public ::testing::Test {
 protected:
  Result Read(const std::string& text) {
    path_ = dir_.File("test.opt");
    test::WriteText(path_, text);
    return ReadOptionFile(path_, options_, program_);
  }
  test::TempDir dir_;
  std::string path_;
  DumpOptions options_;
  ShowOnlyProgram program_;
};

TEST_F(OptionFileTest, LinesCommentsAndLineEnds) {
  ASSERT_TRUE(Read("   ; note\r\n\r\n\t NoRef\r\nDetailSts\n;NoFc\nDataSgn").ok());
  EXPECT_EQ(options_.NoRef, 1);
  EXPECT_EQ(options_.DetailSts, 1);
  EXPECT_EQ(options_.NoFc, 0);
  EXPECT_EQ(options_.DataSgn, 1);
}

TEST_F(OptionFileTest, EmptyPathAndMissingFile) {
  options_.NoRef = 1;
  EXPECT_TRUE(ReadOptionFile("", options_, program_).ok());
  EXPECT_EQ(options_.NoRef, 0);
  Result missing = ReadOptionFile(dir_.File("none.opt"), options_, program_);
  EXPECT_EQ(missing.ErrorText(), "Unable to Open Option File " + dir_.File("none.opt"));
}

TEST_F(OptionFileTest, LongLinesReadInPiecesOf199) {
  // 199 characters of a comment, then the rest of the line is a line of its own.
  std::string text = ";" + std::string(198, 'x') + "NoFc\n";
  ASSERT_TRUE(Read(text).ok());
  EXPECT_EQ(options_.NoFc, 1);
  std::string bad = "NoRef" + std::string(194, ' ') + "Junk\n";
  EXPECT_EQ(Read(bad).ErrorText(), "Invalid Option Argument 'Junk'");
}

TEST_F(OptionFileTest, ShowOnlySectionThenKeywordsAfterTheMark) {
  ASSERT_TRUE(Read("ShowOnly ignored text\nSTS != 0\n# NoRef\nShowFcs\n").ok());
  EXPECT_EQ(options_.ShowOnly, 1);
  EXPECT_EQ(options_.NoRef, 1);
  EXPECT_EQ(options_.ShowFcs, 1);
  EXPECT_EQ(program_.text, "STS != 0 ");
}

TEST_F(OptionFileTest, FirstErrorStopsReading) {
  EXPECT_EQ(Read("NoRef\nTmeAbs 12345678901234567890\nBogus\n").ErrorText(),
            "Time Format String Too Long '12345678901234567890'");
}

}  // namespace
}  // namespace fdc
