// The status column and decoded frame of a dump line, for every frame kind and switch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/line_writers.h"
#include "tests/support/test_support.h"

namespace fdc {
namespace {

using test::OptionsFrom;
using test::Render;

struct FrameCase {
  const char* name;
  std::vector<std::string> options;
  std::vector<std::uint8_t> frame;
  std::uint8_t status;
  const char* expected;
};

std::string Line(const DumpOptions& options, std::vector<std::uint8_t> frame, std::uint8_t status) {
  const auto frameLen = static_cast<std::uint8_t>(frame.size());
  frame.push_back(status);
  return Render([&](DumpWriter& out) { WriteFrameColumns(out, options, frame.data(), frameLen); });
}

const std::vector<std::uint8_t> kSrdRequest = {0x68, 0x07, 0x07, 0x68, 0x82, 0x81, 0x7d,
                                               0x3e, 0x3e, 0x01, 0x02, 0xff, 0x16};

TEST(FrameColumns, WellFormedAndMalformedFrames) {
  const FrameCase cases[] = {
      {"sd2 request", {}, kSrdRequest, 0, " SD2   2<1   SRDH 62{62 01 02 ED "},
      {"sd2 all details",
       {"ShowFcbTyp", "ShowFcs", "DetailSts"},
       kSrdRequest,
       0,
       "........SD2   2<1   1v SRDH 62{62 01 02 [ff] ED "},
      {"sd1", {}, {0x10, 0x02, 0x01, 0x49, 0x4c, 0x16}, 0, " SD1   2<1   RFDL       ED "},
      {"sd4 token", {}, {0xdc, 0x02, 0x01}, 0, " SD4   2<1   "},
      {"short ack", {}, {0xe5}, 0, " SC          SHAK "},
      {"short ack fcb", {"ShowFcbTyp"}, {0xe5}, 0, " SC             SHAK "},
      {"sd2 bad LE",
       {},
       {0x68, 0x05, 0x05, 0x68, 0x02, 0x01, 0x49, 0x00, 0x4c, 0x16},
       0x41,
       "*SD2 SD2 LE?(10) 68 05 05 68 02 01 49 00 4c 16 "},
      {"sd3 bad ED",
       {},
       {0xa2, 0x02, 0x01, 0x43, 1, 2, 3, 4, 5, 6, 7, 8, 0x00, 0x15},
       0,
       " SD3   2<1   SDAL       01 02 03 04 05 06 07 08 ED?(15) "},
      {"unknown kind", {}, {0x42, 0x10}, 0, " SD?42 42 10 "},
      {"empty frame", {}, {}, 0, " FrmLen?(0)SD?00 "},
      {"empty frame, status picks sd2", {}, {}, 0x68, "*FrmLen?(0)SD2 SD2 Len(0)? "},
      {"empty frame, status picks sc", {}, {}, 0xe5, "*FrmLen?(0)SC          SHAK Len(0)? "},
      {"sd1 short", {}, {0x10, 2, 1, 0x49, 0x16}, 0, " SD1 Len(5)? 10 02 01 49 16 "},
      {"sd1 long", {}, {0x10, 2, 1, 0x49, 0x4c, 0x16, 0}, 0, " SD1 Len(7)? 10 02 01 49 4c 16 00 "},
      {"sd1 short nodelim", {"NoDelim"}, {0x10, 2, 1, 0x49, 0x16}, 0, " Len(5)? 10 02 01 49 16 "},
      {"sd2 too short",
       {},
       {0x68, 2, 2, 0x68, 2, 1, 0x49, 0x16},
       0,
       " SD2 SD2 Len(8)? 68 02 02 68 02 01 49 16 "},
      {"sd2 empty data unit",
       {},
       {0x68, 3, 3, 0x68, 2, 1, 0x49, 0x4c, 0x16},
       0,
       " SD2   2<1   RFDL       ED "},
      {"sd2 LEr differs",
       {},
       {0x68, 3, 4, 0x68, 2, 1, 0x49, 0x4c, 0x16},
       0,
       " SD2 SD2 LEr? 68 03 04 68 02 01 49 4c 16 "},
      {"sd2 second SD wrong",
       {},
       {0x68, 3, 3, 0x69, 2, 1, 0x49, 0x4c, 0x16},
       0,
       " SD2 SD2r? 68 03 03 69 02 01 49 4c 16 "},
      {"sd3 short", {}, {0xa2, 2, 1}, 0, " SD3 SD3 Len(3)? a2 02 01 "},
      {"sd4 long", {}, {0xdc, 2, 1, 0}, 0, " SD4 Len(4)? dc 02 01 00 "},
      {"sc long", {}, {0xe5, 0xe5}, 0, " SC          SHAK Len(2)? e5 e5 "},
      {"sc no addresses", {"NoDst", "NoSrc"}, {0xe5}, 0, " SC  SHAK "},
      {"sc no dst", {"NoDst"}, {0xe5}, 0, " SC       SHAK "},
      {"sc no src", {"NoSrc"}, {0xe5}, 0, " SC       SHAK "},
      {"sc no fc", {"NoFc"}, {0xe5}, 0, " SC          "},
      {"sc nodelim", {"NoDelim"}, {0xe5}, 0, "         SHAK "},
      {"sd1 wrong ED nodelim",
       {"NoDelim"},
       {0x10, 2, 1, 0x49, 0x4c, 0x17},
       0,
       "   2<1   RFDL       ED?(17) "},
      {"sd4 without addresses", {"NoDst", "NoSrc"}, {0xdc, 2, 1}, 0, " SD4 "},
      {"status e detail", {"DetailSts"}, {0xe5}, 0x80, ".......eSC          SHAK "},
      {"status all detail", {"DetailSts"}, {0xe5}, 0xff, "spdruoceSC          SHAK "},
      {"status one", {}, {0xe5}, 0x01, "*SC          SHAK "},
      {"unknown kind nodelim", {"NoDelim"}, {0x00}, 0, " SD?00 00 "},
      {"sd2 nodata keeps fcs and ed",
       {"NoData", "ShowFcs"},
       kSrdRequest,
       0,
       " SD2   2<1   SRDH 62{62 [ff] ED "},
      {"sd2 compact",
       {"NoDelim", "NoDstSap", "NoSrcSap", "NoFc"},
       kSrdRequest,
       0,
       "   2<1   01 02 "},
  };
  for (const FrameCase& c : cases) {
    EXPECT_EQ(Line(OptionsFrom(c.options), c.frame, c.status), c.expected) << c.name;
  }
}

// Extension bits that call for more SAP bytes than the body holds: the SAPs that exist are shown,
// no data, and FCS and ED come from the last two body bytes.
TEST(FrameColumns, MissingSapBytesStayInsideTheFrame) {
  const FrameCase cases[] = {
      {"sd1 with both bits",
       {"ShowFcs"},
       {0x10, 0x82, 0x81, 0x49, 0x4c, 0x16},
       0,
       " SD1   2<1   RFDL       [4c] ED "},
      {"sd2 with one SAP byte for two bits",
       {"ShowFcs"},
       {0x68, 4, 4, 0x68, 0x82, 0x81, 0x7d, 0x3e, 0x5c, 0x16},
       0,
       " SD2   2<1   SRDH 62{   [5c] ED "},
      {"sd2 with no SAP byte",
       {"ShowFcs"},
       {0x68, 3, 3, 0x68, 0x82, 0x81, 0x7d, 0x5c, 0x16},
       0,
       " SD2   2<1   SRDH       [5c] ED "},
  };
  for (const FrameCase& c : cases) {
    EXPECT_EQ(Line(OptionsFrom(c.options), c.frame, c.status), c.expected) << c.name;
  }
}

TEST(FrameColumns, EveryFirstByteAndLengthStaysInsideTheRecord) {
  // Each frame is copied to a buffer of exactly its own size so that the sanitizers see any
  // read past it.
  const DumpOptions options = OptionsFrom({"ShowFcs", "DetailSts", "ShowFcbTyp", "Data16"});
  for (int first = 0; first < 256; ++first) {
    for (int length = 0; length < 20; ++length) {
      std::vector<std::uint8_t> frame(static_cast<std::size_t>(length), 0x80);
      if (length > 0) frame[0] = static_cast<std::uint8_t>(first);
      if (length > 1) frame[1] = static_cast<std::uint8_t>(length - 6);
      if (length > 2) frame[2] = static_cast<std::uint8_t>(length - 6);
      if (length > 3) frame[3] = 0x68;
      EXPECT_FALSE(Line(options, frame, static_cast<std::uint8_t>(first)).empty());
    }
  }
}

}  // namespace
}  // namespace fdc
