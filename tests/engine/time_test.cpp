// Time base figures, time value layouts and bar graphs.
#include <gtest/gtest.h>

#include <string>

#include "engine/line_writers.h"
#include "tests/support/test_support.h"

namespace fdc {
namespace {

using test::Render;

TEST(TimeBase, FiguresAtEachRate) {
  TimeBase time;
  time.SetTimeConstants(1);  // 12M
  time.StartRun();
  time.UpdateTimeBase(0, 6);
  EXPECT_EQ(time.GapTimeNs(), 0);
  EXPECT_EQ(time.DeltaTimeNs(), 0);
  time.UpdateTimeBase(48000, 1);
  EXPECT_EQ(time.AbsTimeNs(), 1000000);
  EXPECT_EQ(time.GapTimeNs(), 994500);  // (48000 - 264) * 1000 / 48
  EXPECT_EQ(time.GapMicroseconds(), 994);

  // A gap of -1 tick at 12M: -20.83 truncates toward zero.
  time.UpdateTimeBase(48000 + 44 - 1, 0);
  EXPECT_EQ(time.GapTimeNs(), -20);
  EXPECT_EQ(time.GapMicroseconds(), 0);

  TimeBase slow;
  slow.SetTimeConstants(9);  // 9K6
  slow.StartRun();
  slow.UpdateTimeBase(1536, 0);
  EXPECT_EQ(slow.AbsTimeNs(), 10000000);

  TimeBase mid;
  mid.SetTimeConstants(7);  // 93K75
  mid.StartRun();
  mid.UpdateTimeBase(100, 0);
  mid.UpdateTimeBase(101, 0);
  EXPECT_EQ(mid.GapTimeNs(), 666);
}

TEST(TimeBase, SlowRatesStayExactBeyondSixtyFourBitProducts) {
  TimeBase time;
  time.SetTimeConstants(8);  // 19K2: t * 10^7 passes 2^63 after 922337203685 ticks
  time.StartRun();
  const std::uint64_t t = (std::uint64_t{1} << 48) - 1;
  time.UpdateTimeBase(t, 0);
  // (2^48 - 1) * 10^7 / 3072, worked out by hand in 128 bits.
  EXPECT_EQ(time.AbsTimeNs(), 916259689813330078);
}

TEST(TimeBase, UnknownRateGivesZeroTimes) {
  for (std::uint16_t code : {0, 10, 0xFFFF}) {
    TimeBase time;
    time.SetTimeConstants(code);
    time.StartRun();
    time.UpdateTimeBase(5000, 10);
    time.UpdateTimeBase(90000, 10);
    EXPECT_EQ(time.AbsTimeNs(), 0) << code;
    EXPECT_EQ(time.GapTimeNs(), 0) << code;
  }
}

TEST(TimeBase, DeltaCountsFromTheLastPrintedLine) {
  TimeBase time;
  time.SetTimeConstants(1);
  time.StartRun();
  time.UpdateTimeBase(480, 0);
  time.UpdateTimeBase(960, 0);  // first printed line
  time.FirstPrintedLineStep();
  EXPECT_EQ(time.DeltaTimeNs(), 0);
  time.DeltaBaseStep();
  time.UpdateTimeBase(1440, 0);  // not printed
  time.UpdateTimeBase(1920, 0);
  time.FirstPrintedLineStep();
  EXPECT_EQ(time.DeltaTimeNs(), 20000);  // 960 ticks
}

TEST(WriteTimeValue, Layouts) {
  const std::int64_t v = 3723004005006;  // 1 h 2 min 3.004005006 s
  struct Case {
    std::int64_t value;
    const char* format;
    const char* expected;
  };
  const Case cases[] = {
      {v, "hr:mn:sc.ms", " 1:02:03.004 "},
      {v, "sc.ms.us", " 3.004.005 "},
      {v, "sc.ms.us.ns", " 3.004.005.006 "},
      {v, "mn:sc", " 2:03 "},
      {v, "ms.us", "  4.005 "},
      {v, "MS", "  4 "},
      {v, "scms", " 3004 "},
      {v, "ms.sc", "  4."},
      {v, "hrmn", " 1m"},
      {2500000000, "ms.us", "500.000 "},
      {v, "xyz", ""},
      {v, "x ms", ""},
      {v, "ms..us", "  4."},
      {0, "hr:mn:sc", " 0:00:00 "},
      {65536LL * 3600000000000LL, "hr", " 0 "},
      {v, "us", "  5 "},
      {v, "ns|", "  6|"},
      {-2500000000, "ms.us", "-500.000 "},
      {-20, "us.ns", "-  0.020 "},
      {INT64_MIN, "hr", "-6143 "},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Render([&](DumpWriter& out) { WriteTimeValue(out, c.value, c.format); }), c.expected)
        << c.format << " " << c.value;
  }
}

TEST(WriteBarGraph, DotsMarksAndScale) {
  struct Case {
    int width;
    std::int64_t value;
    std::int64_t scale;
    const char* expected;
  };
  const Case cases[] = {
      {10, 0, 100000, "         |"},
      {10, 25000, 100000, "..       |"},
      {10, 50000, 100000, ".....    |"},
      {10, 99999, 100000, ".........|"},
      {10, 100000, 100000, ".........."},
      {10, 100001, 100000, "*        *"},
      {5, 7, 7, "....."},
      {5, 8, 7, "*   *"},
      {5, -1, 100, "-   |"},
      {5, 0, 0, "....."},
      {5, 1, 0, "*   *"},
      {5, -1, 0, "-   |"},
      {5, -5, -5, "....."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Render([&](DumpWriter& out) { WriteBarGraph(out, c.width, c.value, c.scale); }),
              c.expected)
        << c.width << " " << c.value << " " << c.scale;
  }
  EXPECT_EQ(Render([](DumpWriter& out) { WriteBarGraph(out, 100, INT64_MAX - 1, INT64_MAX); }),
            std::string(99, '.') + "|");
}

}  // namespace
}  // namespace fdc
