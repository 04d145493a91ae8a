// The pcapng writer: the bytes of every block kind, whole blocks at every flush, write failures.
#include "common/pcapng_writer.h"
#include "common/text_encoding.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace fdc {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes Written(const std::function<void(PcapngWriter&)>& write) {
  PcapngWriter writer;
  write(writer);
  EXPECT_TRUE(writer.Flush());
  return writer.Written();
}

Bytes SectionHeaderBytes(std::string_view userAppl) {
  return Written([&](PcapngWriter& w) { w.SectionHeader(userAppl); });
}
Bytes InterfaceBytes(std::uint16_t linkType, std::string_view name, std::string_view description,
                     std::uint32_t snapLen = 0) {
  return Written(
      [&](PcapngWriter& w) { w.InterfaceDescription(linkType, name, description, snapLen); });
}
Bytes PacketBytes(const PcapngPacket& packet) {
  return Written([&](PcapngWriter& w) { w.EnhancedPacket(packet); });
}

// Block lengths read back from a run of blocks; empty if the bytes do not end on a block.
std::vector<std::uint32_t> BlockLengths(const Bytes& bytes) {
  std::vector<std::uint32_t> lengths;
  std::size_t at = 0;
  while (at + 12 <= bytes.size()) {
    const std::uint32_t length = bytes[at + 4] | bytes[at + 5] << 8 | bytes[at + 6] << 16 |
                                 static_cast<std::uint32_t>(bytes[at + 7]) << 24;
    if (length < 12 || length % 4 != 0 || at + length > bytes.size()) return {};
    if (std::memcmp(&bytes[at + 4], &bytes[at + length - 4], 4) != 0) return {};
    lengths.push_back(length);
    at += length;
  }
  if (at != bytes.size()) return {};
  return lengths;
}

const Bytes kFrame = {0x10, 0x02, 0x01, 0x49, 0x4c, 0x16};
const Bytes kStatus = {0x41};

struct BlockCase {
  const char* name;
  Bytes written;
  Bytes expected;
};

TEST(PcapngWriter, BlockBytes) {
  static const std::vector<std::string> kComments = {"ab", "four"};
  static const Bytes kSd3Start = {0xa2, 1, 2, 3, 4, 5, 6, 7};
  const BlockCase cases[] = {
      {"section header, application name of 16 characters", SectionHeaderBytes("fdc2pcapng 4.1.1"),
       Concat({{0x0a, 0x0d, 0x0d, 0x0a, 0x34, 0, 0, 0, 0x4d, 0x3c, 0x2b, 0x1a, 1, 0, 0, 0},
               {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x04, 0, 0x10, 0},
               Text("fdc2pcapng 4.1.1"),
               {0, 0, 0, 0, 0x34, 0, 0, 0}})},
      {"section header, padded application name", SectionHeaderBytes("fdc"),
       Concat({{0x0a, 0x0d, 0x0d, 0x0a, 0x28, 0, 0, 0, 0x4d, 0x3c, 0x2b, 0x1a, 1, 0, 0, 0},
               {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x04, 0, 0x03, 0},
               {'f', 'd', 'c', 0, 0, 0, 0, 0, 0x28, 0, 0, 0}})},
      {"section header without application name", SectionHeaderBytes(""),
       Concat({{0x0a, 0x0d, 0x0d, 0x0a, 0x20, 0, 0, 0, 0x4d, 0x3c, 0x2b, 0x1a, 1, 0, 0, 0},
               {0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff},
               {0, 0, 0, 0, 0x20, 0, 0, 0}})},
      {"interface, USER0 with name and description",
       InterfaceBytes(kLinkTypeUser0, "Line1", "192.168.0.5 12M"),
       Concat({{1, 0, 0, 0, 0x40, 0, 0, 0, 0x93, 0, 0, 0, 0, 0, 0, 0},
               {0x02, 0, 0x05, 0, 'L', 'i', 'n', 'e', '1', 0, 0, 0},
               {0x03, 0, 0x0f, 0},
               Text("192.168.0.5 12M"),
               {0},
               {0x09, 0, 0x01, 0, 0x09, 0, 0, 0},
               {0, 0, 0, 0, 0x40, 0, 0, 0}})},
      {"interface, link type 257 without strings, snap length 256",
       InterfaceBytes(kLinkTypeProfibusDl, "", "", 256),
       Concat({{1, 0, 0, 0, 0x20, 0, 0, 0, 0x01, 0x01, 0, 0, 0x00, 0x01, 0, 0},
               {0x09, 0, 0x01, 0, 0x09, 0, 0, 0},
               {0, 0, 0, 0, 0x20, 0, 0, 0}})},
      {"packet, status byte and frame, flags",
       PacketBytes({.timestampNs = 0x0000000100000002,
                    .head = kStatus,
                    .data = kFrame,
                    .flags = kEpbInbound | kEpbCrcError | kEpbSymbolError}),
       Concat({{6, 0, 0, 0, 0x34, 0, 0, 0, 0, 0, 0, 0},
               {1, 0, 0, 0, 2, 0, 0, 0, 7, 0, 0, 0, 7, 0, 0, 0},
               {0x41, 0x10, 0x02, 0x01, 0x49, 0x4c, 0x16, 0},
               {0x02, 0, 0x04, 0, 0x01, 0, 0, 0x81},
               {0, 0, 0, 0, 0x34, 0, 0, 0}})},
      {"packet, frame alone of 8 bytes needs no padding, two comments",
       PacketBytes({.timestampNs = 0x123456789abcdef0,
                    .data = kSd3Start,
                    .flags = kEpbInbound | kEpbStartFrameDelimiterError,
                    .comments = kComments}),
       Concat({{6, 0, 0, 0, 0x44, 0, 0, 0, 0, 0, 0, 0},
               {0x78, 0x56, 0x34, 0x12, 0xf0, 0xde, 0xbc, 0x9a, 8, 0, 0, 0, 8, 0, 0, 0},
               {0xa2, 1, 2, 3, 4, 5, 6, 7},
               {0x02, 0, 0x04, 0, 0x01, 0, 0, 0x20},
               {0x01, 0, 0x02, 0, 'a', 'b', 0, 0},
               {0x01, 0, 0x04, 0, 'f', 'o', 'u', 'r'},
               {0, 0, 0, 0, 0x44, 0, 0, 0}})},
      {"packet without bytes", PacketBytes({.timestampNs = 5, .flags = kEpbInbound}),
       Concat({{6, 0, 0, 0, 0x2c, 0, 0, 0, 0, 0, 0, 0},
               {0, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
               {0x02, 0, 0x04, 0, 0x01, 0, 0, 0},
               {0, 0, 0, 0, 0x2c, 0, 0, 0}})},
  };
  for (const BlockCase& c : cases) {
    EXPECT_EQ(c.written, c.expected) << c.name;
  }
}

TEST(PcapngWriter, LongestFrameWithStatusByte) {
  Bytes frame(255);
  for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(i);
  const Bytes bytes =
      PacketBytes({.timestampNs = 1, .head = kStatus, .data = frame, .flags = kEpbInbound});
  // 28 bytes before the data, 256 bytes of data, flags, end of options, trailing length.
  ASSERT_EQ(bytes.size(), 28u + 256u + 8u + 4u + 4u);
  EXPECT_EQ(BlockLengths(bytes), std::vector<std::uint32_t>{300});
  EXPECT_EQ(bytes[20], 0x00);  // captured length 256
  EXPECT_EQ(bytes[21], 0x01);
  EXPECT_EQ(bytes[28], 0x41);
  EXPECT_EQ(bytes[29 + 254], 254);
}

TEST(PcapngWriter, CommentTooLongForAnOptionIsCutBeforeACharacter) {
  // 65534 letters and a two-byte character: the whole would need 65536 bytes.
  const std::vector<std::string> comments = {std::string(65534, 'a') + "\xc3\xa9"};
  const Bytes bytes = PacketBytes({.timestampNs = 0, .flags = kEpbInbound, .comments = comments});
  ASSERT_EQ(BlockLengths(bytes).size(), 1u);
  const std::size_t comment = 28 + 8;
  EXPECT_EQ(bytes[comment], 0x01);
  EXPECT_EQ(bytes[comment + 2] | bytes[comment + 3] << 8, 65534);
}

TEST(PcapngWriter, EveryHandOverEndsOnABlock) {
  PcapngWriter writer;
  writer.SectionHeader("fdc2pcapng");
  writer.InterfaceDescription(kLinkTypeUser0, "Line1", "192.168.0.5 12M");
  const Bytes frame(100, 0x68);
  std::size_t handOvers = 0;
  std::size_t seen = 0;
  for (int i = 0; i < 20000; ++i) {
    writer.EnhancedPacket({.timestampNs = static_cast<std::uint64_t>(i),
                           .head = kStatus,
                           .data = frame,
                           .flags = kEpbInbound});
    if (writer.Written().size() != seen) {
      seen = writer.Written().size();
      ++handOvers;
      ASSERT_FALSE(BlockLengths(writer.Written()).empty()) << "after packet " << i;
    }
  }
  EXPECT_GE(handOvers, 2u);
  EXPECT_EQ(writer.BufferedBytes() % 4, 0u);
  ASSERT_TRUE(writer.Flush());
  EXPECT_EQ(writer.BufferedBytes(), 0u);
  EXPECT_EQ(BlockLengths(writer.Written()).size(), 20002u);
}

TEST(PcapngWriter, BlockLargerThanTheBuffer) {
  const std::vector<std::string> comments(20, std::string(60000, 'c'));
  PcapngWriter writer;
  writer.SectionHeader("fdc2pcapng");
  writer.EnhancedPacket({.timestampNs = 1, .data = kFrame, .comments = comments});
  writer.EnhancedPacket({.timestampNs = 2, .data = kFrame});
  ASSERT_TRUE(writer.Flush());
  const std::vector<std::uint32_t> lengths = BlockLengths(writer.Written());
  ASSERT_EQ(lengths.size(), 3u);
  EXPECT_GT(lengths[1], PcapngWriter::kBufferSize);
}

TEST(PcapngWriter, FileHoldsTheSameBytesAsMemory) {
  const auto write = [](PcapngWriter& w) {
    w.SectionHeader("fdc2pcapng");
    w.InterfaceDescription(kLinkTypeUser0, "Line1", "192.168.0.5 12M");
    w.EnhancedPacket({.timestampNs = 7, .head = kStatus, .data = kFrame, .flags = kEpbInbound});
  };
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  {
    PcapngWriter writer(file);
    write(writer);
    EXPECT_EQ(std::ftell(file), 0) << "nothing reaches the file before a flush";
    ASSERT_TRUE(writer.Flush());
    EXPECT_FALSE(writer.WriteFailed());
  }
  Bytes onDisk(static_cast<std::size_t>(std::ftell(file)));
  std::rewind(file);
  ASSERT_EQ(std::fread(onDisk.data(), 1, onDisk.size(), file), onDisk.size());
  std::fclose(file);
  EXPECT_EQ(onDisk, Written(write));
}

TEST(PcapngWriter, FullDiskIsReported) {
  std::FILE* file = std::fopen("/dev/full", "wb");
  if (file == nullptr) GTEST_SKIP() << "no /dev/full here";
  PcapngWriter writer(file);
  writer.SectionHeader("fdc2pcapng");
  EXPECT_FALSE(writer.Flush());
  EXPECT_TRUE(writer.WriteFailed());
  EXPECT_EQ(writer.WriteErrno(), ENOSPC);
  writer.EnhancedPacket({.timestampNs = 1, .data = kFrame});
  EXPECT_FALSE(writer.Flush()) << "a failure stays reported";
  std::fclose(file);
}

TEST(PcapngWriter, APartialWriteTellsWhereTheWholeBlocksEnd) {
  // The file takes 1000 bytes, then is full: the packets of 52 bytes after the section header
  // (52) and the interface (32) end at 84 + 52 n; the last whole one at 968.
  test::TempDir dir;
  const std::string path = dir.File("full.pcapng");
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  std::setvbuf(file, nullptr, _IONBF, 0);
  PcapngWriter writer(file);
  writer.SectionHeader("fdc2pcapng 4.1.1");
  writer.InterfaceDescription(kLinkTypeProfibusDl, "", "");
  for (int i = 0; i < 100; ++i) {
    writer.EnhancedPacket({.timestampNs = 1, .head = kStatus, .data = kFrame, .flags = 1});
  }
  {
    const test::FileSizeLimit limit(1000);
    EXPECT_FALSE(writer.Flush());
  }
  std::fclose(file);
  EXPECT_EQ(std::filesystem::file_size(path), 1000u);
  EXPECT_EQ(writer.WholeBytes(), 968u);
  const std::string text = test::ReadText(path);
  EXPECT_EQ(BlockLengths(Bytes(text.begin(), text.begin() + 968)).size(), 2u + 17u);
}

TEST(Latin1ToUtf8, EveryByteIsOneCharacter) {
  const struct {
    std::string latin1, utf8;
  } cases[] = {
      {"Line1", "Line1"},
      {"Lin\xe9", "Lin\xc3\xa9"},
      {"\x80\xff", "\xc2\x80\xc3\xbf"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Latin1ToUtf8(c.latin1), c.utf8) << c.latin1;
}

TEST(FileNameToUtf8, AUtf8NameStaysAndAnyOtherIsLatin1) {
  const struct {
    std::string name, utf8;
  } cases[] = {
      {"L\xc3\xadnea1200.FdcCapt", "L\xc3\xadnea1200.FdcCapt"},
      {"L\xednea1200.FdcCapt", "L\xc3\xadnea1200.FdcCapt"},
      {"\xe2\x82\xac \xf0\x9f\x9a\x80 \xf4\x8f\xbf\xbf",
       "\xe2\x82\xac \xf0\x9f\x9a\x80 \xf4\x8f\xbf\xbf"},
      {"cut \xc3", "cut \xc3\x83"},
      {"stray \xa9", "stray \xc2\xa9"},
      {"overlong \xc0\xaf", "overlong \xc3\x80\xc2\xaf"},
      {"overlong \xe0\x80\xaf", "overlong \xc3\xa0\xc2\x80\xc2\xaf"},
      {"surrogate \xed\xa0\x80", "surrogate \xc3\xad\xc2\xa0\xc2\x80"},
      {"beyond U+10FFFF \xf4\x90\x80\x80", "beyond U+10FFFF \xc3\xb4\xc2\x90\xc2\x80\xc2\x80"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(FileNameToUtf8(c.name), c.utf8) << c.name;
}

}  // namespace
}  // namespace fdc
