// Address, SAP, function-code, data-unit and hex columns.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/line_writers.h"
#include "tests/support/test_support.h"

namespace fdc {
namespace {

using test::OptionsFrom;
using test::Render;

struct ColumnCase {
  const char* name;
  std::vector<std::string> options;
  std::vector<std::uint8_t> bytes;
  const char* expected;
};

TEST(FieldFormatters, AddressColumn) {
  const ColumnCase cases[] = {
      {"both", {}, {0x02, 0x01}, "  2<1   "},
      {"no dst", {"NoDst"}, {0x02, 0x01}, "<1   "},
      {"no src", {"NoSrc"}, {0x02, 0x01}, "  2< "},
      {"neither", {"NoDst", "NoSrc"}, {0x02, 0x01}, ""},
      {"extension bits dropped", {}, {0xff, 0x80}, "127<0   "},
      {"wide source", {}, {0x00, 0x7e}, "  0<126 "},
  };
  for (const ColumnCase& c : cases) {
    EXPECT_EQ(Render([&](DumpWriter& out) {
                WriteAddressColumn(out, OptionsFrom(c.options), c.bytes[0], c.bytes[1]);
              }),
              c.expected)
        << c.name;
  }
}

TEST(FieldFormatters, SapColumn) {
  // bytes: DA, SA, DSAP, SSAP
  const ColumnCase cases[] = {
      {"both saps", {}, {0x82, 0x81, 62, 62}, "62{62 "},
      {"dsap only", {}, {0x82, 0x01, 62, 0}, "62{   "},
      {"ssap only", {}, {0x02, 0x81, 0, 62}, "  {62 "},
      {"none", {}, {0x02, 0x01, 0, 0}, "      "},
      {"no dst sap, ssap present", {"NoDstSap"}, {0x02, 0x81, 0, 62}, "{62 "},
      {"no dst sap, dsap present", {"NoDstSap"}, {0x82, 0x01, 62, 0}, "    "},
      {"no src sap, ssap present", {"NoSrcSap"}, {0x02, 0x81, 0, 62}, "    "},
      {"no saps at all", {"NoDstSap", "NoSrcSap"}, {0x82, 0x81, 62, 62}, ""},
      {"three digits widen", {}, {0x82, 0x81, 200, 100}, "200{100 "},
  };
  for (const ColumnCase& c : cases) {
    EXPECT_EQ(Render([&](DumpWriter& out) {
                WriteSapColumn(out, OptionsFrom(c.options), c.bytes[0], c.bytes[1], c.bytes[2],
                               c.bytes[3]);
              }),
              c.expected)
        << c.name;
  }
}

TEST(FieldFormatters, FunctionCodeColumn) {
  struct Case {
    std::uint8_t fc;
    const char* plain;
    const char* withFcbTyp;
  };
  const Case cases[] = {
      {0x7D, "SRDH ", "1v SRDH "},         {0x5D, "SRDH ", "0v SRDH "},
      {0x08, "DL   ", "ss DL   "},         {0x8C, "RDL  ", "ss RDL  "},
      {0xC1, "Typ?(c1) ", "0  Typ?(c1) "}, {0x40, "MTM1 ", "0  MTM1 "},
      {0xC0, "MTM2 ", "0  MTM2 "},         {0x4F, "RLSR ", "0  RLSR "},
      {0x04, "Typ?(04) ", "ss Typ?(04) "}, {0x0B, "Typ?(0b) ", "ss Typ?(0b) "},
      {0x47, "RDD  ", "0  RDD  "},         {0x4E, "RIR  ", "0  RIR  "},
      {0x00, "OK   ", "ss OK   "},         {0x11, "UE   ", "mn UE   "},
      {0x22, "RR   ", "mr RR   "},         {0x33, "RS   ", "mi RS   "},
      {0x09, "NR   ", "ss NR   "},         {0x0A, "DH   ", "ss DH   "},
      {0x0D, "RDH  ", "ss RDH  "},         {0x0E, "Typ?(0e) ", "ss Typ?(0e) "},
      {0xFF, "Typ?(ff) ", "1v Typ?(ff) "}, {0x6C, "SRDL ", "1  SRDL "},
  };
  const DumpOptions plain;
  const DumpOptions fcbTyp = OptionsFrom({"ShowFcbTyp"});
  const DumpOptions noFc = OptionsFrom({"NoFc", "ShowFcbTyp"});
  for (const Case& c : cases) {
    EXPECT_EQ(Render([&](DumpWriter& out) { WriteFunctionCodeColumn(out, plain, c.fc); }), c.plain)
        << int(c.fc);
    EXPECT_EQ(Render([&](DumpWriter& out) { WriteFunctionCodeColumn(out, fcbTyp, c.fc); }),
              c.withFcbTyp)
        << int(c.fc);
    EXPECT_EQ(Render([&](DumpWriter& out) { WriteFunctionCodeColumn(out, noFc, c.fc); }), "");
  }
}

TEST(FieldFormatters, DataUnit) {
  const ColumnCase cases[] = {
      {"hex bytes", {}, {0x12, 0x34, 0xff}, "12 34 ff "},
      {"odd count ignores words", {"Data16"}, {0x12, 0x34, 0xff}, "12 34 ff "},
      {"signed bytes", {"DataSgn"}, {0x12, 0x34, 0xff}, "  18   52   -1 "},
      {"unsigned bytes", {"DataUns"}, {0x05, 0xff}, "  5 255 "},
      {"signed wins", {"DataUns", "DataSgn"}, {0x80}, "-128 "},
      {"hex words", {"Data16"}, {0x12, 0x34}, "1234 "},
      {"signed words", {"Data16", "DataSgn"}, {0x12, 0x34}, "  4660 "},
      {"unsigned words", {"Data16", "DataUns"}, {0x12, 0x34, 0xff, 0xff}, " 4660 65535 "},
      {"most negative word", {"Data16", "DataSgn"}, {0x80, 0x00}, "-32768 "},
      {"small hex word", {"Data16"}, {0x00, 0x0a}, "000a "},
      {"empty", {"Data16"}, {}, ""},
  };
  for (const ColumnCase& c : cases) {
    EXPECT_EQ(Render([&](DumpWriter& out) {
                WriteDataUnit(out, OptionsFrom(c.options), c.bytes.data(), c.bytes.size());
              }),
              c.expected)
        << c.name;
  }
}

TEST(FieldFormatters, HexBytes) {
  const std::vector<std::uint8_t> bytes = {0x00, 0xab, 0x7f};
  EXPECT_EQ(Render([&](DumpWriter& out) { WriteHexBytes(out, bytes.data(), 3); }), "00 ab 7f ");
  EXPECT_EQ(Render([&](DumpWriter& out) { WriteHexBytes(out, bytes.data(), 0); }), "");
}

}  // namespace
}  // namespace fdc
