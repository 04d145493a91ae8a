// The byte layout of headers and records, and the names of minute files.
#include "tools/capture_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fdc::gen {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(EncodeHeader, PlacesBaudIpAndNameLittleEndian) {
  Bytes header = EncodeHeader(0x0107, 0xC0A80005, "Line1");
  ASSERT_EQ(header.size(), 40u);
  EXPECT_EQ(Bytes(header.begin(), header.begin() + 8),
            (Bytes{0x00, 0x00, 0x07, 0x01, 0x05, 0x00, 0xA8, 0xC0}));
  EXPECT_EQ(std::string(header.begin() + 8, header.begin() + 13), "Line1");
  EXPECT_EQ(Bytes(header.begin() + 13, header.end()), Bytes(27, 0));
}

TEST(EncodeHeader, ThirtyTwoCharacterNameLeavesNoNul) {
  std::string name(32, 'N');
  name.back() = 'Z';
  Bytes header = EncodeHeader(0xFFFF, 0, name);
  ASSERT_EQ(header.size(), 40u);
  EXPECT_EQ(header[2], 0xFF);
  EXPECT_EQ(header[3], 0xFF);
  EXPECT_EQ(std::string(header.begin() + 8, header.end()), name);
}

TEST(AppendRecord, LaysOutMarkTimestampLengthFrameStatus) {
  Bytes out;
  AppendRecord(out, (std::uint64_t{1} << 32) + 1, Bytes{0xDC, 0x02, 0x01}, 0x41);
  EXPECT_EQ(out, (Bytes{0xDD, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x03, 0xDC, 0x02, 0x01, 0x41}));
}

TEST(AppendRecord, KeepsOnlyTheLow48BitsOfTheTimestamp) {
  Bytes out;
  AppendRecord(out, 0xABCD'1122'3344'5566ull, Bytes{0xE5}, 0);
  EXPECT_EQ(Bytes(out.begin() + 1, out.begin() + 7), (Bytes{0x66, 0x55, 0x44, 0x33, 0x22, 0x11}));
}

TEST(AppendRecord, RecordSizesAtTheLengthLimits) {
  Bytes out = {0x99};
  AppendRecord(out, 5, {}, 0x10);
  EXPECT_EQ(out, (Bytes{0x99, 0xDD, 0x05, 0, 0, 0, 0, 0, 0x00, 0x10}));
  Bytes longest;
  AppendRecord(longest, 0, Bytes(255, 0x68), 0x00);
  EXPECT_EQ(longest.size(), 264u);
  EXPECT_EQ(longest[7], 255);
  EXPECT_EQ(longest[263], 0x00);
}

TEST(MinuteFiles, NamesAndRollOver) {
  struct Row {
    unsigned hour, minute, nextHour, nextMinute;
    const char* name;
  };
  const Row rows[] = {
      {12, 0, 12, 1, "cap1200.FdcCapt"},   {12, 59, 13, 0, "cap1259.FdcCapt"},
      {22, 59, 23, 0, "cap2259.FdcCapt"},  {23, 59, 0, 0, "cap2359.FdcCapt"},
      {30, 12, 30, 13, "cap3012.FdcCapt"}, {30, 59, 0, 0, "cap3059.FdcCapt"},
      {99, 59, 0, 0, "cap9959.FdcCapt"},   {0, 0, 0, 1, "cap0000.FdcCapt"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(MinuteFileName("cap", row.hour, row.minute), row.name);
    unsigned hour = row.hour;
    unsigned minute = row.minute;
    NextMinute(hour, minute);
    EXPECT_EQ(hour, row.nextHour);
    EXPECT_EQ(minute, row.nextMinute);
  }
}

}  // namespace
}  // namespace fdc::gen
