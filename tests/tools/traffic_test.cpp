// Telegram construction and the generated bus traffic: well-formed frames, a believable
// exchange of requests, responses and tokens, and the same traffic for the same seed.
#include "tools/traffic.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/tools/capture_check.h"
#include "tools/frame_builder.h"

namespace fdc::gen {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Of(const Frame& frame) { return Bytes(frame.View().begin(), frame.View().end()); }

TEST(FrameBuilder, BuildsKnownTelegrams) {
  const Bytes two = {0x01, 0x02};
  const Bytes eight = {1, 2, 3, 4, 5, 6, 7, 8};
  struct Row {
    const char* name;
    Frame frame;
    Bytes expected;
  };
  const Row rows[] = {
      {"SD2 with both SAPs",
       MakeTelegram(2, 1, 0x7D, 0x3E, 0x3E, two),
       {0x68, 0x07, 0x07, 0x68, 0x82, 0x81, 0x7D, 0x3E, 0x3E, 0x01, 0x02, 0xFF, 0x16}},
      {"SD1 status request",
       MakeTelegram(2, 1, 0x49, kNoSap, kNoSap, {}),
       {0x10, 0x02, 0x01, 0x49, 0x4C, 0x16}},
      {"SD3 of 8 data bytes",
       MakeTelegram(2, 1, 0x43, kNoSap, kNoSap, eight),
       {0xA2, 0x02, 0x01, 0x43, 1, 2, 3, 4, 5, 6, 7, 8, 0x6A, 0x16}},
      {"SAPs and 6 bytes make SD3",
       MakeTelegram(5, 1, 0x5D, 60, 62, Bytes(6, 0)),
       {0xA2, 0x85, 0x81, 0x5D, 60, 62, 0, 0, 0, 0, 0, 0, 0xDD, 0x16}},
      {"DSAP only",
       MakeTelegram(0x85, 2, 0x08, 0x3C, kNoSap, two),
       {0x68, 0x06, 0x06, 0x68, 0x85, 0x02, 0x08, 0x3C, 0x01, 0x02, 0xCE, 0x16}},
      {"token", MakeSd4(2, 1), {0xDC, 0x02, 0x01}},
      {"short acknowledge", MakeSc(), {0xE5}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(Of(row.frame), row.expected);
    EXPECT_EQ(check::FrameProblem(row.frame.View()), "");
  }
}

TEST(FrameBuilder, KindFollowsTheDataUnitSize) {
  struct Row {
    std::size_t dataSize;
    int dsap, ssap;
    std::uint8_t sd;
    std::size_t frameSize;
  };
  const Row rows[] = {
      {0, kNoSap, kNoSap, kSd1, 6},     {1, kNoSap, kNoSap, kSd2, 10},
      {7, kNoSap, kNoSap, kSd2, 16},    {8, kNoSap, kNoSap, kSd3, 14},
      {9, kNoSap, kNoSap, kSd2, 18},    {0, 51, 51, kSd2, 11},
      {7, 51, kNoSap, kSd3, 14},        {244, 51, 51, kSd2, 255},
      {246, kNoSap, kNoSap, kSd2, 255},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.dataSize);
    Frame frame = MakeTelegram(9, 3, 0x7D, row.dsap, row.ssap, Bytes(row.dataSize, 0xAB));
    EXPECT_EQ(frame.bytes[0], row.sd);
    EXPECT_EQ(frame.size, row.frameSize);
    EXPECT_EQ(check::FrameProblem(frame.View()), "");
  }
}

TEST(FrameBuilder, FcsPositionByKind) {
  EXPECT_EQ(FcsPosition(MakeSd1(1, 2, 3)), 4u);
  EXPECT_EQ(FcsPosition(MakeSd2(1, 2, 3, Bytes(5, 0))), 12u);
  EXPECT_EQ(FcsPosition(MakeSd3(1, 2, 3, Bytes(8, 0))), 12u);
  EXPECT_EQ(FcsPosition(MakeSd4(1, 2)), 0u);
  EXPECT_EQ(FcsPosition(MakeSc()), 0u);
  EXPECT_EQ(FcsPosition(MakeRaw({0x10, 1, 2})), 0u);
}

TEST(BaudTimings, FoundByCodeOrName) {
  EXPECT_EQ(FindBaudTiming("12M")->code, 1);
  EXPECT_EQ(FindBaudTiming("1m5")->code, 4);
  EXPECT_EQ(FindBaudTiming("500K")->code, 5);
  EXPECT_EQ(FindBaudTiming("9")->name, "9K6");
  EXPECT_FALSE(FindBaudTiming("0"));
  EXPECT_FALSE(FindBaudTiming("10"));
  EXPECT_FALSE(FindBaudTiming("12"));
  EXPECT_FALSE(FindBaudTiming(""));
  EXPECT_FALSE(FindBaudTiming("4x"));
  // The clock: 16 ticks a bit, except at 12M and 6M, whose 48 MHz clock gives 4 and 8.
  for (const BaudTiming& timing : kBaudTimings) {
    SCOPED_TRACE(timing.name);
    EXPECT_EQ(timing.ticksPerBit, timing.code == 1 ? 4u : timing.code == 2 ? 8u : 16u);
  }
  EXPECT_EQ(FindBaudTiming(8)->ticksPerSecond, 307'200u);
  EXPECT_EQ(FindBaudTiming(7)->ticksPerSecond, 1'500'000u);
}

std::vector<TrafficRecord> Take(TrafficGenerator& traffic, std::size_t count) {
  std::vector<TrafficRecord> records;
  for (std::size_t i = 0; i < count; ++i) records.push_back(traffic.Next());
  return records;
}

bool Same(const TrafficRecord& a, const TrafficRecord& b) {
  return Of(a.frame) == Of(b.frame) && a.status == b.status && a.gapBits == b.gapBits &&
         a.jitterTicks == b.jitterTicks && a.stretchable == b.stretchable;
}

TEST(Traffic, SameSeedSameTrafficAndCopiesContinueAlike) {
  const BaudTiming timing = *FindBaudTiming(4);
  TrafficGenerator a(42, timing);
  TrafficGenerator b(42, timing);
  std::vector<TrafficRecord> first = Take(a, 5000);
  std::vector<TrafficRecord> second = Take(b, 5000);
  for (std::size_t i = 0; i < first.size(); ++i) ASSERT_TRUE(Same(first[i], second[i])) << i;

  TrafficGenerator copy = a;
  for (int i = 0; i < 3000; ++i) ASSERT_TRUE(Same(a.Next(), copy.Next())) << i;

  TrafficGenerator other(43, timing);
  std::vector<TrafficRecord> third = Take(other, 200);
  std::size_t same = 0;
  for (std::size_t i = 0; i < third.size(); ++i) same += Same(first[i], third[i]);
  EXPECT_LT(same, third.size() / 2);
}

// Every frame the module reports without findings is a well-formed telegram; a reported check
// error comes with a check byte that does not match.
TEST(Traffic, FramesAreWellFormedUnlessFlagged) {
  for (const BaudTiming& timing : kBaudTimings) {
    for (std::uint64_t seed : {1ull, 2ull, 77ull}) {
      SCOPED_TRACE(std::string(timing.name) + " seed " + std::to_string(seed));
      TrafficGenerator traffic(seed, timing);
      std::size_t flagged = 0;
      for (int i = 0; i < 40000; ++i) {
        const TrafficRecord& record = traffic.Next();
        std::string problem = check::FrameProblem(record.frame.View());
        if (record.status == 0) {
          ASSERT_EQ(problem, "") << "record " << i;
        } else {
          ++flagged;
          if (record.status == 0x40 && FcsPosition(record.frame) != 0) {
            EXPECT_EQ(problem, "FCS");
          }
        }
        ASSERT_LT(record.jitterTicks, timing.ticksPerBit);
      }
      EXPECT_GT(flagged, 0u);
      EXPECT_LT(flagged, 40u);  // occasional, about one in 4096
    }
  }
}

// The mix a real line shows: tokens, SD1 status polls and their answers, SD2 with and without
// SAPs, SD3, short acknowledgements, broadcasts.
TEST(Traffic, ShowsEveryKindOfTelegram) {
  for (std::uint64_t seed : {1ull, 5ull, 12ull, 999ull}) {
    SCOPED_TRACE(seed);
    TrafficGenerator traffic(seed, *FindBaudTiming(5));
    std::map<std::string, int> seen;
    for (int i = 0; i < 100000; ++i) {
      const TrafficRecord& record = traffic.Next();
      const Frame& f = record.frame;
      switch (f.bytes[0]) {
        case kSd1:
          ++seen[f.bytes[3] == 0x49 ? "SD1 status request" : "SD1 other"];
          if (f.bytes[3] == 0x00) ++seen["SD1 status response"];
          break;
        case kSd2:
          ++seen[(f.bytes[4] & 0x80) ? "SD2 with SAPs" : "SD2 without SAPs"];
          if (f.bytes[4] == 0xFF) ++seen["broadcast"];
          break;
        case kSd3:
          ++seen["SD3"];
          break;
        case kSd4:
          ++seen["SD4"];
          break;
        case kSc:
          ++seen["SC"];
          break;
      }
    }
    for (const char* kind : {"SD1 status request", "SD1 status response", "SD2 with SAPs",
                             "SD2 without SAPs", "broadcast", "SD3", "SD4", "SC"}) {
      EXPECT_GT(seen[kind], 0) << kind;
    }
    // Cyclic exchange dominates; tokens come once per hold.
    EXPECT_GT(seen["SD2 without SAPs"] + seen["SD3"] + seen["SC"], seen["SD4"]);
  }
}

// Who may speak after whom: a response goes back to the station that asked, the token goes
// around the masters in a ring, and bus idle times respect the sync and response times.
TEST(Traffic, ResponsesAnswerTheRequestAndTheTokenCircles) {
  const BaudTiming timing = *FindBaudTiming(1);
  TrafficGenerator traffic(3, timing);
  std::set<std::uint8_t> tokenHolders;
  int lastTokenTo = -1;
  int requester = -1;
  int responder = -1;
  for (int i = 0; i < 50000; ++i) {
    const TrafficRecord& record = traffic.Next();
    const Frame& f = record.frame;
    SCOPED_TRACE(i);
    if (f.bytes[0] == kSd4) {
      if (lastTokenTo >= 0) {
        EXPECT_EQ(f.bytes[2], lastTokenTo);
      }
      lastTokenTo = f.bytes[1];
      tokenHolders.insert(f.bytes[2]);
      EXPECT_GE(record.gapBits, 33u);
      requester = -1;
      continue;
    }
    if (f.bytes[0] == kSc) {
      ASSERT_GE(requester, 0);
      EXPECT_GE(record.gapBits, 11u);
      requester = -1;
      continue;
    }
    std::size_t da = f.bytes[0] == kSd2 ? 4 : 1;
    std::size_t fc = da + 2;
    int dst = f.bytes[da] & 0x7F;
    int src = f.bytes[da + 1] & 0x7F;
    if (f.bytes[fc] & 0x40) {  // a request; a master holding the token sends it
      EXPECT_EQ(src, lastTokenTo < 0 ? src : lastTokenTo);
      EXPECT_GE(record.gapBits, 33u);
      requester = dst == 127 ? -1 : src;
      responder = dst;
    } else {
      ASSERT_GE(requester, 0) << "a response without a request";
      EXPECT_EQ(dst, requester);
      EXPECT_EQ(src, responder);
      EXPECT_GE(record.gapBits, 11u);
      EXPECT_LT(record.gapBits, timing.maxTsdrBits);
      requester = -1;
    }
  }
  EXPECT_GE(tokenHolders.size(), 2u);
  EXPECT_LE(tokenHolders.size(), 3u);
}

TEST(Traffic, LongestTelegramFillsTheFrame) {
  TrafficGenerator traffic(8, *FindBaudTiming(1));
  Rng rng(1);
  Frame frame = traffic.LongestTelegram(rng);
  EXPECT_EQ(frame.size, 255u);
  EXPECT_EQ(frame.bytes[1], 249);
  EXPECT_EQ(check::FrameProblem(frame.View()), "");
}

}  // namespace
}  // namespace fdc::gen
