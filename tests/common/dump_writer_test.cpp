// The dump's output writer: field widths as the printf conversions give them, writes across the
// buffer's boundary, the line end, and a failed write.
#include "common/dump_writer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "tests/support/test_support.h"

namespace fdc {
namespace {

using test::Render;

TEST(DumpWriter, FieldsAsPrintfWritesThem) {
  struct Case {
    const char* name;
    std::function<void(DumpWriter&)> write;
    const char* printf;  // what the printf conversion gives
  };
  const Case cases[] = {
      {"%9u small", [](DumpWriter& o) { o.Dec(7, 9); }, "        7"},
      {"%9u wide", [](DumpWriter& o) { o.Dec(4294967295u, 9); }, "4294967295"},
      {"%u of 0", [](DumpWriter& o) { o.Dec(0); }, "0"},
      {"%3u of 127", [](DumpWriter& o) { o.Dec(127, 3); }, "127"},
      {"%3u of 1000", [](DumpWriter& o) { o.Dec(1000, 3); }, "1000"},
      {"%-3u", [](DumpWriter& o) { o.DecLeft(5, 3); }, "5  "},
      {"%-3u of 127", [](DumpWriter& o) { o.DecLeft(127, 3); }, "127"},
      {"%-2u of 100", [](DumpWriter& o) { o.DecLeft(100, 2); }, "100"},
      {"%-9u", [](DumpWriter& o) { o.DecLeft(123456, 9); }, "123456   "},
      {"%02u", [](DumpWriter& o) { o.DecZero(7, 2); }, "07"},
      {"%03u of 1234", [](DumpWriter& o) { o.DecZero(1234, 3); }, "1234"},
      {"%06u", [](DumpWriter& o) { o.DecZero(4321, 6); }, "004321"},
      {"%6d negative", [](DumpWriter& o) { o.SignedDec(-32768, 6); }, "-32768"},
      {"%4d of -1", [](DumpWriter& o) { o.SignedDec(-1, 4); }, "  -1"},
      {"%d of INT64_MIN", [](DumpWriter& o) { o.SignedDec(INT64_MIN); }, "-9223372036854775808"},
      {"%02x", [](DumpWriter& o) { o.Hex2(0xab); }, "ab"},
      {"%08x", [](DumpWriter& o) { o.HexPadded(0x37, 8); }, "00000037"},
      {"%04x wide", [](DumpWriter& o) { o.HexPadded(0x12345, 4); }, "12345"},
      {"%x of 0", [](DumpWriter& o) { o.HexPadded(0, 0); }, "0"},
  };
  for (const Case& c : cases) EXPECT_EQ(Render(c.write), c.printf) << c.name;
}

TEST(DumpWriter, LineEndsAndPrintf) {
  const std::string end(kLineEnd);
  EXPECT_EQ(Render([](DumpWriter& o) {
              o.Text("a");
              o.NewLine();
              o.Printf("%s %2u%%\nnext\n", "x", 5u);
            }),
            "a" + end + "x  5%" + end + "next" + end);
}

TEST(DumpWriter, WritesAcrossTheBufferBoundaryKeepEveryByte) {
  // Fields of every kind, written until the buffer has filled several times over; the file must
  // hold exactly what a string built alongside holds.
  std::string expected;
  const std::string written = Render([&expected](DumpWriter& o) {
    for (std::uint32_t i = 0; expected.size() < 3 * DumpWriter::kBufferSize + 17; ++i) {
      o.Dec(i, 9);
      o.Text(": ");
      o.HexPadded(i, 8);
      o.Char(' ');
      o.DecLeft(i % 128, 3);
      o.Repeat('.', i % 7);
      o.NewLine();
      char line[64];
      std::snprintf(line, sizeof line, "%9u: %08x %-3u", i, i, i % 128);
      expected += line + std::string(i % 7, '.') + std::string(kLineEnd);
    }
    // A text longer than the buffer goes straight through.
    const std::string huge(DumpWriter::kBufferSize + 3, 'h');
    o.Text(huge);
    expected += huge;
  });
  EXPECT_EQ(written.size(), expected.size());
  EXPECT_TRUE(written == expected);
}

TEST(DumpWriter, AFailedWriteIsKept) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  DumpWriter out;
  ASSERT_TRUE(out.Open("/dev/full"));
  out.Text("a line");
  EXPECT_FALSE(out.WriteFailed());  // still in the buffer
  out.Close();
  EXPECT_TRUE(out.WriteFailed());
  DumpWriter missing;
  EXPECT_FALSE(missing.Open("/no/such/folder/dump.txt"));
}

}  // namespace
}  // namespace fdc
