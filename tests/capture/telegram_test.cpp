// The telegram dissector: kind, the first failing length check, field positions, the SAP bytes a
// data unit actually holds, and the frame check sum.
#include "capture/telegram.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fdc {
namespace {

struct Dissected {
  std::vector<std::uint8_t> record;  // frame bytes and status
  Telegram t;
};

Dissected Dissect(std::vector<std::uint8_t> frame, std::uint8_t status = 0) {
  Dissected d;
  d.record = std::move(frame);
  const auto frameLen = static_cast<std::uint8_t>(d.record.size());
  d.record.push_back(status);
  d.t = DissectTelegram(ByteView(d.record.data(), d.record.size()), frameLen);
  return d;
}

TEST(Telegram, KindsAndMarks) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> frame;
    std::uint8_t status;
    FrameKind kind;
    FrameMark mark;
    const char* text;  // the mark as the dump shows it, without its blank
  };
  const Case cases[] = {
      {"SD1", {0x10, 0x02, 0x01, 0x49, 0x4c, 0x16}, 0, FrameKind::kSd1, FrameMark::kNone, ""},
      {"SD1 of 5",
       {0x10, 0x02, 0x01, 0x49, 0x4c},
       0,
       FrameKind::kSd1,
       FrameMark::kLength,
       "Len(5)?"},
      {"SD1 of 7",
       {0x10, 0x02, 0x01, 0x49, 0x4c, 0x16, 0},
       0,
       FrameKind::kSd1,
       FrameMark::kLength,
       "Len(7)?"},
      {"SD2", {0x68, 3, 3, 0x68, 2, 1, 0x49, 0x4c, 0x16}, 0, FrameKind::kSd2, FrameMark::kNone, ""},
      {"SD2 of 8",
       {0x68, 2, 2, 0x68, 2, 1, 0x49, 0x4c},
       0,
       FrameKind::kSd2,
       FrameMark::kSd2Length,
       "SD2 Len(8)?"},
      {"SD2 LE",
       {0x68, 5, 5, 0x68, 2, 1, 0x49, 0, 0x4c, 0x16},
       0x41,
       FrameKind::kSd2,
       FrameMark::kLe,
       "SD2 LE?(10)"},
      {"SD2 LEr",
       {0x68, 3, 4, 0x68, 2, 1, 0x49, 0x4c, 0x16},
       0,
       FrameKind::kSd2,
       FrameMark::kLer,
       "SD2 LEr?"},
      {"SD2 second SD",
       {0x68, 3, 3, 0x69, 2, 1, 0x49, 0x4c, 0x16},
       0,
       FrameKind::kSd2,
       FrameMark::kSecondSd,
       "SD2r?"},
      {"SD3",
       {0xa2, 2, 1, 0x43, 1, 2, 3, 4, 5, 6, 7, 8, 0, 0x15},
       0,
       FrameKind::kSd3,
       FrameMark::kNone,
       ""},
      {"SD3 of 13",
       {0xa2, 2, 1, 0x43, 1, 2, 3, 4, 5, 6, 7, 8, 0},
       0,
       FrameKind::kSd3,
       FrameMark::kSd3Length,
       "SD3 Len(13)?"},
      {"SD4", {0xdc, 2, 1}, 0, FrameKind::kSd4, FrameMark::kNone, ""},
      {"SD4 of 4", {0xdc, 2, 1, 0}, 0, FrameKind::kSd4, FrameMark::kLength, "Len(4)?"},
      {"SC", {0xe5}, 0, FrameKind::kSc, FrameMark::kNone, ""},
      {"SC of 2", {0xe5, 0xe5}, 0, FrameKind::kSc, FrameMark::kLength, "Len(2)?"},
      {"unknown", {0x42, 0x10}, 0, FrameKind::kUnknown, FrameMark::kUnknownSd, "SD?42"},
      // An empty frame: the status byte stands at position 0 and picks the kind.
      {"empty, status 0", {}, 0, FrameKind::kUnknown, FrameMark::kUnknownSd, "SD?00"},
      {"empty, status like SC", {}, 0xe5, FrameKind::kSc, FrameMark::kLength, "Len(0)?"},
      {"empty, status like SD2", {}, 0x68, FrameKind::kSd2, FrameMark::kSd2Length, "SD2 Len(0)?"},
  };
  for (const Case& c : cases) {
    const Dissected d = Dissect(c.frame, c.status);
    EXPECT_EQ(d.t.kind, c.kind) << c.name;
    EXPECT_EQ(d.t.mark, c.mark) << c.name;
    EXPECT_EQ(d.t.Decoded(), c.mark == FrameMark::kNone) << c.name;
    EXPECT_EQ(d.t.Empty(), c.frame.empty()) << c.name;
    EXPECT_EQ(d.t.status, c.status) << c.name;
    FrameMarkBuffer buffer;
    EXPECT_EQ(FrameMarkText(d.t, buffer), c.text) << c.name;
  }
}

TEST(Telegram, FieldPositions) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> frame;
    bool hasDsap, hasSsap;
    std::uint8_t dsap, ssap, dataPos, dataLen, fcs, ed;
  };
  const Case cases[] = {
      {"SD2 with both SAPs",
       {0x68, 7, 7, 0x68, 0x82, 0x81, 0x7d, 0x3e, 0x3e, 1, 2, 0xff, 0x16},
       true,
       true,
       0x3e,
       0x3e,
       9,
       2,
       0xff,
       0x16},
      {"SD2 with DSAP only: LE 10",
       {0x68, 10, 10, 0x68, 0x85, 0x02, 0x5d, 60, 1, 2, 3, 4, 5, 6, 0, 0x16},
       true,
       false,
       60,
       0,
       8,
       6,
       0,
       0x16},
      {"SD3 without SAPs",
       {0xa2, 2, 1, 0x43, 1, 2, 3, 4, 5, 6, 7, 8, 0x24, 0x15},
       false,
       false,
       0,
       0,
       4,
       8,
       0x24,
       0x15},
      // Extension bits that call for SAP bytes the data unit does not hold.
      {"SD1 with both bits",
       {0x10, 0x82, 0x81, 0x49, 0xcc, 0x16},
       false,
       false,
       0,
       0,
       4,
       0,
       0xcc,
       0x16},
      {"SD2 with room for one SAP",
       {0x68, 4, 4, 0x68, 0x82, 0x81, 0x5d, 62, 0x61, 0x16},
       true,
       false,
       62,
       0,
       8,
       0,
       0x61,
       0x16},
  };
  for (const Case& c : cases) {
    const Dissected d = Dissect(c.frame);
    ASSERT_TRUE(d.t.HasBody()) << c.name;
    EXPECT_EQ(d.t.hasDsap, c.hasDsap) << c.name;
    EXPECT_EQ(d.t.hasSsap, c.hasSsap) << c.name;
    EXPECT_EQ(d.t.dsap, c.dsap) << c.name;
    EXPECT_EQ(d.t.ssap, c.ssap) << c.name;
    EXPECT_EQ(d.t.dataPos, c.dataPos) << c.name;
    EXPECT_EQ(d.t.dataLen, c.dataLen) << c.name;
    EXPECT_EQ(d.t.fcs, c.fcs) << c.name;
    EXPECT_EQ(d.t.ed, c.ed) << c.name;
  }
}

TEST(Telegram, AddressesAndFunction) {
  const Dissected request =
      Dissect({0x68, 7, 7, 0x68, 0x82, 0x81, 0x7d, 0x3e, 0x3e, 1, 2, 0xff, 0x16});
  EXPECT_EQ(request.t.Da(), 2);
  EXPECT_EQ(request.t.Sa(), 1);
  EXPECT_TRUE(request.t.IsRequest());
  EXPECT_EQ(FunctionCodeName(request.t.fc), "SRDH");
  const Dissected token = Dissect({0xdc, 0x85, 0x03});
  EXPECT_TRUE(token.t.HasAddresses());
  EXPECT_FALSE(token.t.HasBody());
  EXPECT_EQ(token.t.Da(), 5);
  EXPECT_EQ(token.t.Sa(), 3);
  EXPECT_FALSE(Dissect({0xe5}).t.HasAddresses());
  EXPECT_FALSE(Dissect({0xdc, 1}).t.HasAddresses());
}

// The standard's names beside the dump's: the frame count bits play no part, bit 7 of a request
// turns TE into CV, codes without a name are reserved.
TEST(Telegram, StandardFunctionNames) {
  const std::pair<std::uint8_t, std::string_view> cases[] = {
      {0x40, "TE"},
      {0xc0, "CV"},
      {0x43, "SDA_low"},
      {0x44, "SDN_low"},
      {0x75, "SDA_high"},
      {0x46, "SDN_high"},
      {0x47, "MSRD"},
      {0x49, "Request FDL Status"},
      {0x5c, "SRD_low"},
      {0x7d, "SRD_high"},
      {0x4e, "Request Ident"},
      {0x4f, "Request LSAP Status"},
      {0x41, "reserved"},
      {0x4b, "reserved"},
      {0x00, "OK"},
      {0x01, "UE"},
      {0x02, "RR"},
      {0x03, "RS"},
      {0x08, "DL"},
      {0x09, "NR"},
      {0x2a, "DH"},
      {0x0c, "RDL"},
      {0x0d, "RDH"},
      {0x04, "reserved"},
  };
  for (const auto& [fc, name] : cases) EXPECT_EQ(StandardFunctionName(fc), name) << int{fc};
}

TEST(Telegram, FrameCheckSumCoversDaToTheLastDataByte) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> frame;
    bool matches;
  };
  const Case cases[] = {
      {"SD1 good", {0x10, 0x02, 0x01, 0x49, 0x4c, 0x16}, true},
      {"SD1 bad", {0x10, 0x02, 0x01, 0x49, 0x4d, 0x16}, false},
      {"SD2 wraps modulo 256", {0x68, 5, 5, 0x68, 0x80, 0x80, 0x7d, 0xff, 0xfe, 0x7a, 0x16}, true},
      {"SD3 good", {0xa2, 2, 1, 0x43, 1, 2, 3, 4, 5, 6, 7, 8, 0x6a, 0x16}, true},
      {"a wrong ED does not matter", {0x10, 0x02, 0x01, 0x49, 0x4c, 0x17}, true},
  };
  for (const Case& c : cases) {
    const Dissected d = Dissect(c.frame);
    ASSERT_TRUE(d.t.HasBody()) << c.name;
    EXPECT_EQ(FcsMatches(ByteView(d.record.data(), d.record.size()), d.t), c.matches) << c.name;
  }
}

TEST(Telegram, EveryLengthOfEveryKindStaysInsideTheRecord) {
  // A view of exactly frameLen + 1 bytes: under the sanitizers any read past it would show.
  for (const std::uint8_t first : {kSd1, kSd2, kSd3, kSd4, kSc, std::uint8_t{0x42}}) {
    for (unsigned len = 0; len <= 255; ++len) {
      std::vector<std::uint8_t> frame(len, 0xff);
      if (len > 0) frame[0] = first;
      if (len > 3) frame[1] = frame[2] = static_cast<std::uint8_t>(len - 6), frame[3] = kSd2;
      const Dissected d = Dissect(frame);
      if (d.t.HasBody()) {
        EXPECT_LE(d.t.fcsPos + 1u, len - 1u + 1u);
        EXPECT_LE(d.t.dataPos + d.t.dataLen, d.t.fcsPos);
      }
    }
  }
}

}  // namespace
}  // namespace fdc
