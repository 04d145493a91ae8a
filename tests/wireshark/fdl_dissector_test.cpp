// The FDL dissector under tshark: hand-built frames of every kind and mark, written as pcapng and
// read back field by field, in the Info column, the tree and display filters.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/pcapng_writer.h"
#include "common/text_encoding.h"
#include "engine/line_writers.h"
#include "tests/support/test_support.h"
#include "tests/wireshark/tshark_runner.h"

namespace fdc {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::ReadTsharkFields;
using test::TempDir;

std::uint8_t Fcs(const Bytes& bytes, std::size_t from) {
  unsigned sum = 0;
  for (std::size_t i = from; i < bytes.size(); ++i) sum += bytes[i];
  return static_cast<std::uint8_t>(sum);
}

Bytes Sd1(std::uint8_t da, std::uint8_t sa, std::uint8_t fc) {
  Bytes frame = {0x10, da, sa, fc};
  frame.push_back(Fcs(frame, 1));
  frame.push_back(0x16);
  return frame;
}

Bytes Sd2(std::uint8_t da, std::uint8_t sa, std::uint8_t fc, const Bytes& unit) {
  const auto le = static_cast<std::uint8_t>(3 + unit.size());
  Bytes frame = {0x68, le, le, 0x68, da, sa, fc};
  frame.insert(frame.end(), unit.begin(), unit.end());
  frame.push_back(Fcs(frame, 4));
  frame.push_back(0x16);
  return frame;
}

Bytes Sd3(std::uint8_t da, std::uint8_t sa, std::uint8_t fc, const Bytes& unit) {
  Bytes frame = {0xa2, da, sa, fc};
  frame.insert(frame.end(), unit.begin(), unit.end());
  frame.push_back(Fcs(frame, 1));
  frame.push_back(0x16);
  return frame;
}

struct Record {
  std::uint8_t status;
  Bytes frame;
};

// A USER0 file: each record as its status byte, then the frame bytes.
void WriteUser0File(const std::string& path, const std::vector<Record>& records) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  {
    PcapngWriter writer(file);
    writer.SectionHeader("fdl_dissector_test");
    writer.InterfaceDescription(kLinkTypeUser0, "Line1", "192.168.0.5 12M");
    for (std::size_t i = 0; i < records.size(); ++i) {
      writer.EnhancedPacket({.timestampNs = 1000000000u + i,
                             .head = {&records[i].status, 1},
                             .data = records[i].frame,
                             .flags = kEpbInbound});
    }
    ASSERT_TRUE(writer.Flush());
  }
  std::fclose(file);
}

// The columns a case checks besides Info, with the short names its expectation uses.
const std::vector<std::pair<std::string, std::string>> kColumns = {
    {"fdl.sd", "sd"},
    {"fdl.le", "le"},
    {"fdl.da", "da"},
    {"fdl.da_ext", "da_ext"},
    {"fdl.sa", "sa"},
    {"fdl.sa_ext", "sa_ext"},
    {"fdl.fc", "fc"},
    {"fdl.fc.request", "fc.request"},
    {"fdl.fc.fcb", "fc.fcb"},
    {"fdl.fc.fcv", "fc.fcv"},
    {"fdl.fc.function", "fc.function"},
    {"fdl.fc.station_type", "fc.station_type"},
    {"fdl.dsap", "dsap"},
    {"fdl.ssap", "ssap"},
    {"fdl.dp_service", "dp_service"},
    {"fdl.data", "data"},
    {"fdl.fcs", "fcs"},
    {"fdl.fcs.status", "fcs.status"},
    {"fdl.ed", "ed"},
    {"fdl.raw", "raw"},
    {"fdl.mark", "mark"},
    {"_ws.expert.message", "expert"},
};

// The non-empty columns of a row as "name=value; name=value".
std::string Present(const std::vector<std::string>& row) {
  std::string text;
  for (std::size_t i = 0; i < kColumns.size(); ++i) {
    if (row[i + 1].empty()) continue;
    if (!text.empty()) text += "; ";
    text += kColumns[i].second + "=" + row[i + 1];
  }
  return text;
}

struct FrameCase {
  std::string name;
  Record record;
  std::string info;
  std::string fields;  // every column that is present, as Present writes them
};

std::string HexBytes(const Bytes& bytes) {
  std::string text;
  for (const std::uint8_t b : bytes) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02x", b);
    text += (text.empty() ? "" : " ") + std::string(hex);
  }
  return text;
}

// The longest frame a record holds: an SD2 frame of 255 bytes, 246 of them data.
FrameCase LongestFrame() {
  Bytes data(246);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i + 7);
  const Bytes frame = Sd2(2, 1, 0x45, data);
  const std::string hex = HexBytes(data);
  char fcs[8];
  std::snprintf(fcs, sizeof fcs, "0x%02x", frame[253]);
  return {"sd2 of 255 bytes",
          {0, frame},
          "SD2 2<1 SDAH " + hex + " ED",
          "sd=0x68; le=249; da=2; da_ext=0; sa=1; sa_ext=0; fc=0x45; fc.request=1; fc.fcb=0; "
          "fc.fcv=0; fc.function=SDAH; data=" +
              hex + "; fcs=" + fcs + "; fcs.status=good; ed=0x16"};
}

std::vector<FrameCase> FrameCases() {
  const std::string sd1Request = "sd=0x10; da=2; da_ext=0; sa=1; sa_ext=0; ";
  const std::string sd1Response = "sd=0x10; da=1; da_ext=0; sa=2; sa_ext=0; ";
  std::vector<FrameCase> cases = {
      {"sd2 request with both SAPs",
       {0, {0x68, 0x07, 0x07, 0x68, 0x82, 0x81, 0x7d, 0x3e, 0x3e, 0x01, 0x02, 0xff, 0x16}},
       "SD2 2<1 SRDH 62{62 Chk_Cfg 01 02 ED",
       "sd=0x68; le=7; da=2; da_ext=1; sa=1; sa_ext=1; fc=0x7d; fc.request=1; fc.fcb=1; "
       "fc.fcv=1; fc.function=SRDH; dsap=62; ssap=62; dp_service=Chk_Cfg; data=01 02; fcs=0xff; "
       "fcs.status=good; ed=0x16"},
      {"sd1 request",
       {0, Sd1(2, 1, 0x49)},
       "SD1 2<1 RFDL ED",
       sd1Request + "fc=0x49; fc.request=1; fc.fcb=0; fc.fcv=0; fc.function=RFDL; fcs=0x4c; "
                    "fcs.status=good; ed=0x16"},
      {"sd1 extension bits take no SAP: no data unit",
       {0, Sd1(0x82, 0x81, 0x5d)},
       "SD1 2<1 SRDH ED",
       "sd=0x10; da=2; da_ext=1; sa=1; sa_ext=1; fc=0x5d; fc.request=1; fc.fcb=0; fc.fcv=1; "
       "fc.function=SRDH; fcs=0x60; fcs.status=good; ed=0x16"},
      {"request MTM2",
       {0, Sd1(2, 1, 0xc0)},
       "SD1 2<1 MTM2 ED",
       sd1Request + "fc=0xc0; fc.request=1; fc.fcb=0; fc.fcv=0; fc.function=MTM2; fcs=0xc3; "
                    "fcs.status=good; ed=0x16"},
      {"request code without a name",
       {0, Sd1(2, 1, 0xc1)},
       "SD1 2<1 Typ?(c1) ED",
       sd1Request + "fc=0xc1; fc.request=1; fc.fcb=0; fc.fcv=0; fc.function=Typ?(c1); "
                    "fcs=0xc4; fcs.status=good; ed=0x16"},
      {"response of a slave",
       {0, Sd1(1, 2, 0x08)},
       "SD1 1<2 DL ED",
       sd1Response + "fc=0x08; fc.request=0; fc.function=DL; fc.station_type=slave; fcs=0x0b; "
                     "fcs.status=good; ed=0x16"},
      {"response of a master not ready",
       {0, Sd1(1, 2, 0x10)},
       "SD1 1<2 OK ED",
       sd1Response + "fc=0x10; fc.request=0; fc.function=OK; fc.station_type=master-not-ready; "
                     "fcs=0x13; fcs.status=good; ed=0x16"},
      {"response of a master ready",
       {0, Sd1(1, 2, 0x2a)},
       "SD1 1<2 DH ED",
       sd1Response + "fc=0x2a; fc.request=0; fc.function=DH; fc.station_type=master-ready; "
                     "fcs=0x2d; fcs.status=good; ed=0x16"},
      {"response of a master in the ring",
       {0, Sd1(1, 2, 0x3c)},
       "SD1 1<2 RDL ED",
       sd1Response + "fc=0x3c; fc.request=0; fc.function=RDL; fc.station_type=master-in-ring; "
                     "fcs=0x3f; fcs.status=good; ed=0x16"},
      {"response with bit 7 set",
       {0, Sd1(1, 2, 0x8c)},
       "SD1 1<2 RDL ED",
       sd1Response + "fc=0x8c; fc.request=0; fc.function=RDL; fc.station_type=slave; "
                     "fcs=0x8f; fcs.status=good; ed=0x16"},
      {"response code without a name",
       {0, Sd1(1, 2, 0x04)},
       "SD1 1<2 Typ?(04) ED",
       sd1Response + "fc=0x04; fc.request=0; fc.function=Typ?(04); fc.station_type=slave; "
                     "fcs=0x07; fcs.status=good; ed=0x16"},
      {"sd1 with a bad FCS",
       {0, {0x10, 0x02, 0x01, 0x49, 0x4d, 0x16}},
       "SD1 2<1 RFDL FCS?(4d) ED",
       sd1Request + "fc=0x49; fc.request=1; fc.fcb=0; fc.fcv=0; fc.function=RFDL; fcs=0x4d; "
                    "fcs.status=bad; ed=0x16; expert=FCS?(4d) computed 4c"},
      {"sd3 request with SAPs",
       {0, Sd3(0x83, 0x81, 0x4d, {0x3c, 0x3e, 1, 2, 3, 4, 5, 6})},
       "SD3 3<1 SRDH 60{62 Slave_Diag 01 02 03 04 05 06 ED",
       "sd=0xa2; da=3; da_ext=1; sa=1; sa_ext=1; fc=0x4d; fc.request=1; fc.fcb=0; fc.fcv=0; "
       "fc.function=SRDH; dsap=60; ssap=62; dp_service=Slave_Diag; data=01 02 03 04 05 06; "
       "fcs=0xe0; fcs.status=good; ed=0x16"},
      {"sd3 with a bad FCS and a bad ED",
       {0xff, {0xa2, 0x02, 0x01, 0x43, 1, 2, 3, 4, 5, 6, 7, 8, 0x00, 0x15}},
       "SD3 2<1 SDAL 01 02 03 04 05 06 07 08 FCS?(00) ED?(15)",
       "sd=0xa2; da=2; da_ext=0; sa=1; sa_ext=0; fc=0x43; fc.request=1; fc.fcb=0; fc.fcv=0; "
       "fc.function=SDAL; data=01 02 03 04 05 06 07 08; fcs=0x00; fcs.status=bad; ed=0x15; "
       "mark=ED?(15); expert=Status bits: s (stop bit), p (parity), d (start delimiter), r "
       "(repeat), u (underrun), o (overrun), c (check), e (end delimiter),FCS?(00) computed "
       "6a,ED?(15)"},
      {"response is named by the slave's SAP, its SSAP",
       {0, Sd2(0x82, 0x81, 0x08, {0x3e, 0x3c, 1, 2})},
       "SD2 2<1 DL 62{60 Slave_Diag 01 02 ED",
       "sd=0x68; le=7; da=2; da_ext=1; sa=1; sa_ext=1; fc=0x08; fc.request=0; fc.function=DL; "
       "fc.station_type=slave; dsap=62; ssap=60; dp_service=Slave_Diag; data=01 02; fcs=0x88; "
       "fcs.status=good; ed=0x16; expert=DP data unit short"},
      {"sd2 with an SSAP only",
       {0, Sd2(0x02, 0x81, 0x08, {0x3b})},
       "SD2 2<1 DL {59 Get_Cfg ED",
       "sd=0x68; le=4; da=2; da_ext=0; sa=1; sa_ext=1; fc=0x08; fc.request=0; fc.function=DL; "
       "fc.station_type=slave; ssap=59; dp_service=Get_Cfg; fcs=0xc6; fcs.status=good; "
       "ed=0x16"},
      {"sd2 with room for the DSAP only",
       {0, Sd2(0x82, 0x81, 0x7d, {0x3e})},
       "SD2 2<1 SRDH 62{ Chk_Cfg ED",
       "sd=0x68; le=4; da=2; da_ext=1; sa=1; sa_ext=1; fc=0x7d; fc.request=1; fc.fcb=1; "
       "fc.fcv=1; fc.function=SRDH; dsap=62; dp_service=Chk_Cfg; fcs=0xbe; fcs.status=good; "
       "ed=0x16"},
      {"sd2 with an empty data unit and extension bits",
       {0, Sd2(0x82, 0x81, 0x49, {})},
       "SD2 2<1 RFDL ED",
       "sd=0x68; le=3; da=2; da_ext=1; sa=1; sa_ext=1; fc=0x49; fc.request=1; fc.fcb=0; "
       "fc.fcv=0; fc.function=RFDL; fcs=0x4c; fcs.status=good; ed=0x16"},
      {"sd4 token", {0, {0xdc, 0x02, 0x01}}, "SD4 2<1", "sd=0xdc; da=2; da_ext=0; sa=1; sa_ext=0"},
      {"sd4 with extension bits",
       {0, {0xdc, 0x82, 0xff}},
       "SD4 2<127",
       "sd=0xdc; da=2; da_ext=1; sa=127; sa_ext=1"},
      {"short acknowledgement", {0, {0xe5}}, "SC SHAK", "sd=0xe5"},
      {"unknown kind",
       {0, {0x42, 0x10}},
       "SD?42 42 10",
       "sd=0x42; raw=42 10; mark=SD?42; expert=SD?42"},
      {"empty frame", {0, {}}, "FrmLen?(0)SD?00", "mark=FrmLen?(0),SD?00; expert=FrmLen?(0),SD?00"},
      {"empty frame, status picks sd2",
       {0x68, {}},
       "FrmLen?(0)SD2 SD2 Len(0)?",
       "mark=FrmLen?(0),SD2 Len(0)?; expert=Status bits: r (repeat), o (overrun), c "
       "(check),FrmLen?(0),SD2 Len(0)?"},
      {"empty frame, status picks sc",
       {0xe5, {}},
       "FrmLen?(0)SC SHAK Len(0)?",
       "mark=FrmLen?(0),Len(0)?; expert=Status bits: s (stop bit), d (start delimiter), o "
       "(overrun), c (check), e (end delimiter),FrmLen?(0),Len(0)?"},
      {"sd1 of 5 bytes",
       {0, {0x10, 2, 1, 0x49, 0x16}},
       "SD1 Len(5)? 10 02 01 49 16",
       "sd=0x10; raw=10 02 01 49 16; mark=Len(5)?; expert=Len(5)?"},
      {"sd1 of 7 bytes",
       {0x01, {0x10, 2, 1, 0x49, 0x4c, 0x16, 0}},
       "SD1 Len(7)? 10 02 01 49 4c 16 00",
       "sd=0x10; raw=10 02 01 49 4c 16 00; mark=Len(7)?; expert=Status bits: s (stop "
       "bit),Len(7)?"},
      {"sd2 of 1 byte",
       {0, {0x68}},
       "SD2 SD2 Len(1)? 68",
       "sd=0x68; raw=68; mark=SD2 Len(1)?; expert=SD2 Len(1)?"},
      {"sd2 of 8 bytes",
       {0, {0x68, 2, 2, 0x68, 2, 1, 0x49, 0x16}},
       "SD2 SD2 Len(8)? 68 02 02 68 02 01 49 16",
       "sd=0x68; le=2; raw=68 02 02 68 02 01 49 16; mark=SD2 Len(8)?; expert=SD2 Len(8)?"},
      {"sd2 LE not the length",
       {0x41, {0x68, 5, 5, 0x68, 2, 1, 0x49, 0, 0x4c, 0x16}},
       "SD2 SD2 LE?(10) 68 05 05 68 02 01 49 00 4c 16",
       "sd=0x68; le=5; raw=68 05 05 68 02 01 49 00 4c 16; mark=SD2 LE?(10); "
       "expert=Status bits: s (stop bit), c (check),SD2 LE?(10)"},
      {"sd2 LEr differs",
       {0, {0x68, 3, 4, 0x68, 2, 1, 0x49, 0x4c, 0x16}},
       "SD2 SD2 LEr? 68 03 04 68 02 01 49 4c 16",
       "sd=0x68; le=3; raw=68 03 04 68 02 01 49 4c 16; mark=SD2 LEr?; expert=SD2 LEr?"},
      {"sd2 second SD wrong",
       {0, {0x68, 3, 3, 0x69, 2, 1, 0x49, 0x4c, 0x16}},
       "SD2 SD2r? 68 03 03 69 02 01 49 4c 16",
       "sd=0x68; le=3; raw=68 03 03 69 02 01 49 4c 16; mark=SD2r?; expert=SD2r?"},
      {"sd3 of 3 bytes",
       {0, {0xa2, 2, 1}},
       "SD3 SD3 Len(3)? a2 02 01",
       "sd=0xa2; raw=a2 02 01; mark=SD3 Len(3)?; expert=SD3 Len(3)?"},
      {"sd4 of 4 bytes",
       {0, {0xdc, 2, 1, 0}},
       "SD4 Len(4)? dc 02 01 00",
       "sd=0xdc; raw=dc 02 01 00; mark=Len(4)?; expert=Len(4)?"},
      {"sc of 2 bytes",
       {0, {0xe5, 0xe5}},
       "SC SHAK Len(2)? e5 e5",
       "sd=0xe5; raw=e5 e5; mark=Len(2)?; expert=Len(2)?"},
  };
  cases.push_back(LongestFrame());
  return cases;
}

// The cases' records as one USER0 file in `dir`; returns its path.
std::string WriteCases(const TempDir& dir, const std::vector<FrameCase>& cases) {
  std::vector<Record> records;
  for (const FrameCase& c : cases) records.push_back(c.record);
  const std::string path = dir.File("frames.pcapng");
  WriteUser0File(path, records);
  return path;
}

std::vector<std::string> ColumnsWithInfo() {
  std::vector<std::string> fields = {"_ws.col.Info"};
  for (const auto& column : kColumns) fields.push_back(column.first);
  return fields;
}

// The status bits, one record each, on short acknowledgements.
const struct {
  std::uint8_t status;
  const char* byte;
  const char* letters;
} kStatusCases[] = {
    {0x00, "0x00", "........"}, {0x01, "0x01", "s......."}, {0x02, "0x02", ".p......"},
    {0x04, "0x04", "..d....."}, {0x08, "0x08", "...r...."}, {0x10, "0x10", "....u..."},
    {0x20, "0x20", ".....o.."}, {0x40, "0x40", "......c."}, {0x80, "0x80", ".......e"},
    {0xff, "0xff", "spdruoce"},
};

// DP services by the slave's SAP: the DSAP of a request (55 to 62; none for others).
const struct {
  std::uint8_t dsap;
  const char* service;
} kServiceCases[] = {
    {55, "Set_Slave_Add"}, {56, "Rd_Inp"},   {57, "Rd_Outp"}, {58, "Global_Control"},
    {59, "Get_Cfg"},       {60, "Slave_Diag"}, {61, "Set_Prm"}, {62, "Chk_Cfg"},
    {54, ""},              {63, ""},
};

// The habits of a Wireshark dissector: the addresses in the Source and Destination columns and
// in fdl.addr, the data length, the function code's number, standard name and station type code,
// the checksum status.
const struct {
  Record record;
  const char* row;  // src|dst|addr|data.len|fc.code|station_type_code|fcs.check|standard_name
} kHabitCases[] = {
    {{0, Sd2(0x8b, 0x81, 0x6d, {60, 62, 7})}, "1|11|11,1|1|0x0d||1|SRD_high"},
    {{0, Sd1(1, 76, 0x20)}, "76|1|1,76|0|0x00|2|1|OK"},
    {{0, Sd1(1, 76, 0x49)}, "76|1|1,76|0|0x09||1|Request FDL Status"},
    {{0, {0xe5}}, "|||||||"},
    {{0, {0xdc, 2, 1}}, "1|2|2,1|||||"},
    {{0, {0x10, 2, 1, 0x49, 0x4d, 0x16}}, "1|2|2,1|0|0x09||0|Request FDL Status"},
    {{0, {0x68, 5, 5, 0x68, 2, 1, 0x49, 0, 0x4c, 0x16}}, "|||||||"},
};
const std::vector<std::string> kHabitFields = {
    "_ws.col.Source", "_ws.col.Destination",      "fdl.addr",      "fdl.data.len",
    "fdl.fc.code",    "fdl.fc.station_type_code", "fdl.fcs.check", "fdl.fc.standard_name"};

// A file of link type 257: frames without the status byte.
void WriteFrameOnlyFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  {
    PcapngWriter writer(file);
    writer.SectionHeader("fdl_dissector_test");
    writer.InterfaceDescription(kLinkTypeProfibusDl, "Line1", "");
    const Bytes frames[] = {Sd1(2, 1, 0x49), {}};
    for (const Bytes& frame : frames) {
      writer.EnhancedPacket({.timestampNs = 1, .data = frame, .flags = kEpbInbound});
    }
    ASSERT_TRUE(writer.Flush());
  }
  std::fclose(file);
}

// Every frame kind and mark, the status bits, the DP services, the habits (then every FC byte,
// whose number and standard name are the engine's) and a frame-only file, read with one tshark
// run; then the two preferences with one more.
TEST(FdlDissector, FieldsOfEveryKindInTwoRuns) {
  TempDir dir;
  const std::vector<FrameCase> frames = FrameCases();
  const std::string framesPath = WriteCases(dir, frames);
  std::vector<Record> status;
  for (const auto& c : kStatusCases) status.push_back({c.status, {0xe5}});
  const std::string statusPath = dir.File("status.pcapng");
  WriteUser0File(statusPath, status);
  std::vector<Record> services;
  for (const auto& c : kServiceCases) services.push_back({0, Sd2(0x85, 0x81, 0x6d, {c.dsap, 62, 0x00})});
  const std::string servicesPath = dir.File("dp.pcapng");
  WriteUser0File(servicesPath, services);
  std::vector<Record> habits;
  for (const auto& c : kHabitCases) habits.push_back(c.record);
  for (unsigned fc = 0; fc < 256; ++fc) {
    habits.push_back({0, Sd1(2, 1, static_cast<std::uint8_t>(fc))});
  }
  const std::string habitsPath = dir.File("habits.pcapng");
  WriteUser0File(habitsPath, habits);
  const std::string frameOnlyPath = dir.File("profibus.pcapng");
  WriteFrameOnlyFile(frameOnlyPath);

  std::vector<std::string> fields = ColumnsWithInfo();
  const std::string letters = "spdruoce";
  fields.push_back("fdl.status");
  for (const char letter : letters) fields.push_back(std::string("fdl.status.") + letter);
  fields.insert(fields.end(), kHabitFields.begin(), kHabitFields.end());
  const auto at = [&fields](const std::string& name) {
    return static_cast<std::size_t>(std::find(fields.begin(), fields.end(), name) - fields.begin());
  };
  const std::vector<test::TsharkFields> read = test::ReadTsharkFieldsOfEach(
      {framesPath, statusPath, servicesPath, habitsPath, frameOnlyPath}, fields);
  ASSERT_EQ(read.size(), 5u);
  for (const test::TsharkFields& r : read) EXPECT_EQ(r.problems, "");

  // Every frame kind and mark.
  ASSERT_EQ(read[0].rows.size(), frames.size());
  for (std::size_t i = 0; i < frames.size(); ++i) {
    EXPECT_EQ(read[0].rows[i][0], frames[i].info) << frames[i].name;
    EXPECT_EQ(Present(read[0].rows[i]), frames[i].fields) << frames[i].name;
  }
  // The status bits.
  ASSERT_EQ(read[1].rows.size(), std::size(kStatusCases));
  for (std::size_t i = 0; i < std::size(kStatusCases); ++i) {
    std::string shown;
    for (std::size_t bit = 0; bit < 8; ++bit) {
      const std::string& cell = read[1].rows[i][at(std::string("fdl.status.") + letters[bit])];
      shown += cell == "1" ? letters[bit] : cell == "0" ? '.' : '?';
    }
    EXPECT_EQ(read[1].rows[i][at("fdl.status")], kStatusCases[i].byte) << kStatusCases[i].letters;
    EXPECT_EQ(shown, kStatusCases[i].letters) << kStatusCases[i].byte;
  }
  // The DP services by the slave's SAP.
  ASSERT_EQ(read[2].rows.size(), std::size(kServiceCases));
  for (std::size_t i = 0; i < std::size(kServiceCases); ++i) {
    const std::string service = kServiceCases[i].service;
    const std::string saps = std::to_string(kServiceCases[i].dsap) + "{62 ";
    EXPECT_EQ(read[2].rows[i][at("fdl.dp_service")], service) << kServiceCases[i].dsap;
    EXPECT_EQ(read[2].rows[i][0],
              "SD2 5<1 SRDH " + saps + (service.empty() ? "" : service + " ") + "00 ED")
        << kServiceCases[i].dsap;
  }
  // The habits, then every FC byte.
  ASSERT_EQ(read[3].rows.size(), habits.size());
  for (std::size_t i = 0; i < std::size(kHabitCases); ++i) {
    std::string row;
    for (std::size_t c = 0; c < kHabitFields.size(); ++c) {
      row += (c > 0 ? "|" : "") + read[3].rows[i][at(kHabitFields[c])];
    }
    EXPECT_EQ(row, kHabitCases[i].row) << i;
  }
  for (unsigned fc = 0; fc < 256; ++fc) {
    const std::vector<std::string>& row = read[3].rows[std::size(kHabitCases) + fc];
    EXPECT_EQ(row[at("fdl.fc.standard_name")], StandardFunctionName(static_cast<std::uint8_t>(fc)))
        << fc;
    char code[8];
    std::snprintf(code, sizeof code, "0x%02x", fc & 0x0F);
    EXPECT_EQ(row[at("fdl.fc.code")], code) << fc;
  }
  // Link type 257 stays undecoded by default.
  ASSERT_EQ(read[4].rows.size(), 2u);
  EXPECT_EQ(read[4].rows[0][at("fdl.sd")], "");

  // With USER0 left to other dissectors and link type 257 decoded as FDL frames.
  test::TsharkFieldOptions options;
  options.extraArgs = {"-o", "fdl.claim_user0:FALSE", "-o", "fdl.link_type_257:TRUE"};
  const std::vector<std::string> few = {"fdl.status", "fdl.sd", "fdl.mark", "_ws.col.Info"};
  const std::vector<test::TsharkFields> prefs =
      test::ReadTsharkFieldsOfEach({habitsPath, frameOnlyPath}, few, options);
  ASSERT_EQ(prefs.size(), 2u);
  EXPECT_EQ(prefs[0].problems, "");
  ASSERT_EQ(prefs[0].rows.size(), habits.size());
  EXPECT_EQ(prefs[0].rows[0][1], "") << "USER0 is left to other dissectors";
  EXPECT_EQ(prefs[1].problems, "");
  ASSERT_EQ(prefs[1].rows.size(), 2u);
  EXPECT_EQ(prefs[1].rows[0], (std::vector<std::string>{"", "0x10", "", "SD1 2<1 RFDL ED"}));
  EXPECT_EQ(prefs[1].rows[1], (std::vector<std::string>{"", "", "FrmLen?(0)", "FrmLen?(0)"}));
}

TEST(FdlDissector, DisplayFilters) {
  const std::vector<FrameCase> cases = FrameCases();
  TempDir dir;
  const std::string path = WriteCases(dir, cases);

  // Each filter as Wireshark's user types it, and the names of the cases it selects.
  const struct {
    const char* filter;
    std::vector<std::string> names;
  } filters[] = {
      {"fdl.fcs.status == \"bad\"", {"sd1 with a bad FCS", "sd3 with a bad FCS and a bad ED"}},
      {"fdl.fc.station_type == \"master-in-ring\"", {"response of a master in the ring"}},
      {"fdl.status.c == 1 && fdl.status.e == 1",
       {"sd3 with a bad FCS and a bad ED", "empty frame, status picks sc"}},
      {"fdl.mark contains \"LE\"", {"sd2 LE not the length", "sd2 LEr differs"}},
      {"fdl.ed.bad", {"sd3 with a bad FCS and a bad ED"}},
      {"fdl.ssap == 60 && fdl.dp_service == \"Slave_Diag\"",
       {"response is named by the slave's SAP, its SSAP"}},
  };
  for (const auto& f : filters) {
    test::TsharkFieldOptions options;
    options.extraArgs = {"-Y", f.filter};
    const test::TsharkFields out = ReadTsharkFields(path, {"frame.number"}, options);
    EXPECT_EQ(out.problems, "") << f.filter;
    std::vector<std::string> names;
    for (const auto& row : out.rows) names.push_back(cases[std::stoul(row[0]) - 1].name);
    EXPECT_EQ(names, f.names) << f.filter;
  }
}

TEST(FdlDissector, TreeHasNoLuaErrorAndNamesEverything) {
  const std::vector<FrameCase> cases = FrameCases();
  TempDir dir;
  const std::string path = WriteCases(dir, cases);

  const test::TsharkRun run = test::ReadTsharkVerbose(path);
  EXPECT_EQ(run.problems, "");
  for (const char* line : {
           "PROFIBUS FDL, SD2 2<1 SRDH 62{62 Chk_Cfg 01 02 ED",
           "    Header",
           "        Start delimiter: SD2 (0x68)",
           "    Data unit",
           "        [Data length: 2]",
           "        [Standard name: SRD_high]",
           "        [FCS check: Bad (0)]",
           "        [Expert Info (Warning/Protocol): Status bits: s (stop bit), c (check)]",
           "    Function code: 0x7d (SRDH)",
           "    [DP service: Chk_Cfg]",
           "        [FCS status: bad]",
           "    [Expert Info (Error/Malformed): SD2 LE?(10)]",
           "        [Expert Info (Warning/Checksum): FCS?(4d) computed 4c]",
           "        [Expert Info (Warning/Malformed): ED?(15)]",
           "    Status: 0xff (spdruoce)",
       }) {
    EXPECT_NE(run.out.find(std::string("\n") + line + "\n"), std::string::npos) << line;
  }
}

// The status bits' letters, names and words in the dissector are the engine's.
TEST(FdlDissector, StatusWordsAreTheEngines) {
  const std::string lua = test::ReadText(FDC_SOURCE_DIR "/wireshark/profibus_fdl.lua");
  for (const StatusBitName& bit : kStatusBits) {
    const std::string entry = std::string("{\"") + bit.letter + "\", \"" +
                              std::string(bit.identifier) + "\", \"" + std::string(bit.word) + "\"}";
    EXPECT_NE(lua.find(entry), std::string::npos) << entry;
  }
}

TEST(FdlDissector, PacketBlockFieldsReachWireshark) {
  TempDir dir;
  const std::string path = dir.File("blocks.pcapng");
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  const std::vector<std::string> comments = {
      "file Line11200.FdcCapt, module Line1, 192.168.0.5, 12M",
      "synchronization lost 3 times before this record, first at offset 54ef"};
  const std::uint8_t status = 0x45;
  {
    PcapngWriter writer(file);
    writer.SectionHeader("fdl_dissector_test");
    writer.InterfaceDescription(kLinkTypeUser0, Latin1ToUtf8("Lin\xe9"), "192.168.0.5 12M");
    writer.EnhancedPacket(
        {.timestampNs = 1700000000123456789u,
         .head = {&status, 1},
         .data = Sd1(2, 1, 0x49),
         .flags = kEpbInbound | kEpbCrcError | kEpbSymbolError | kEpbStartFrameDelimiterError,
         .comments = comments});
    ASSERT_TRUE(writer.Flush());
  }
  std::fclose(file);

  test::TsharkFieldOptions options;
  options.aggregator = '|';
  const test::TsharkFields out =
      ReadTsharkFields(path,
                       {"frame.time_epoch", "frame.packet_flags", "frame.comment",
                        "frame.interface_name", "frame.interface_description", "fdl.status"},
                       options);
  EXPECT_EQ(out.problems, "");
  ASSERT_EQ(out.rows.size(), 1u);
  EXPECT_EQ(out.rows[0], (std::vector<std::string>{"1700000000.123456789", "0xa1000001",
                                                   comments[0] + "|" + comments[1], "Lin\xc3\xa9",
                                                   "192.168.0.5 12M", "0x45"}));
  EXPECT_EQ(test::SplitValues(out.rows[0][2], '|'), comments);
}

// Random frames near every kind's layout: mostly well formed, often a byte too short or too long,
// with random extension bits, lengths and status bytes.
std::vector<Record> RandomRecords(std::size_t count) {
  std::mt19937 random(12);
  const auto byte = [&] { return static_cast<std::uint8_t>(random() & 0xFF); };
  const std::uint8_t kinds[] = {0x10, 0x68, 0xa2, 0xdc, 0xe5};
  const std::size_t lengths[] = {6, 0, 14, 3, 1};
  std::vector<Record> records;
  for (std::size_t n = 0; n < count; ++n) {
    const std::size_t pick = random() % 6;
    std::size_t length = pick < 5 ? lengths[pick] : random() % 256;
    if (pick == 1) length = 9 + random() % 247;
    if (random() % 4 == 0) length = random() % 3 == 0 ? random() % 256 : length + random() % 3 - 1;
    length = std::min<std::size_t>(length, 255);
    Bytes frame(length);
    for (std::uint8_t& b : frame) b = byte();
    if (length > 0 && pick < 5) frame[0] = kinds[pick];
    if (pick == 1 && length >= 4) {
      frame[1] = frame[2] = static_cast<std::uint8_t>(length - 6);
      frame[3] = 0x68;
      if (random() % 4 == 0) frame[1 + random() % 3] = byte();  // LE, LEr or the second SD
    }
    if (length >= 2 && random() % 3 == 0) frame[length - 1] = 0x16;
    records.push_back({static_cast<std::uint8_t>(random() % 3 == 0 ? byte() : 0), frame});
  }
  return records;
}

// The dump line's status column and frame part with default options, blanks collapsed.
std::string DumpBody(const Record& record) {
  Bytes bytes = record.frame;
  bytes.push_back(record.status);
  const std::string line = test::Render([&](DumpWriter& out) {
    WriteFrameColumns(out, DumpOptions{}, bytes.data(),
                      static_cast<std::uint8_t>(record.frame.size()));
  });
  std::istringstream words(line.substr(1));
  std::string body;
  for (std::string word; words >> word;) body += (body.empty() ? "" : " ") + word;
  return body;
}

// The Info column less what the dump does not show: DP service names and a recomputed FCS.
std::string InfoLessAdditions(const std::string& info) {
  static const std::set<std::string> kServices = {"Set_Slave_Add",  "Rd_Inp",  "Rd_Outp",
                                                  "Global_Control", "Get_Cfg", "Slave_Diag",
                                                  "Set_Prm",        "Chk_Cfg"};
  std::istringstream words(info);
  std::string kept;
  for (std::string word; words >> word;) {
    if (kServices.count(word) != 0 || word.starts_with("FCS?(")) continue;
    kept += (kept.empty() ? "" : " ") + word;
  }
  return kept;
}

TEST(FdlDissector, InfoReadsAsTheDumpLine) {
  const std::vector<Record> records = RandomRecords(3000);
  TempDir dir;
  const std::string path = dir.File("random.pcapng");
  WriteUser0File(path, records);

  const test::TsharkFields out = ReadTsharkFields(path, {"_ws.col.Info"});
  EXPECT_EQ(out.problems, "");
  ASSERT_EQ(out.rows.size(), records.size());
  int mismatches = 0;
  for (std::size_t i = 0; i < records.size() && mismatches < 10; ++i) {
    const std::string dump = DumpBody(records[i]);
    const std::string info = InfoLessAdditions(out.rows[i][0]);
    EXPECT_EQ(info, dump) << "packet " << i + 1;
    if (info != dump) ++mismatches;
  }
}

// The runner itself must see a dissection that failed, or the tests above prove nothing.
TEST(TsharkRunner, ReportsLuaErrorsAndErrorOutput) {
  TempDir dir;
  const std::string capture = dir.File("one.pcapng");
  WriteUser0File(capture, {{0, {0xe5}}});
  const struct {
    const char* name;
    const char* script;
    const char* problem;
  } cases[] = {
      {"error while dissecting",
       "local p = Proto('broken', 'Broken')\n"
       "function p.dissector(tvb, pinfo, tree) error('boom') end\n"
       "DissectorTable.get('wtap_encap'):add(wtap_encaps.USER0, p)\n",
       "packet 1: Lua error"},
      {"read past the packet",
       "local p = Proto('broken', 'Broken')\n"
       "local f = ProtoField.uint8('broken.f', 'F')\n"
       "p.fields = {f}\n"
       "function p.dissector(tvb, pinfo, tree) tree:add(f, tvb(5, 1)) end\n"
       "DissectorTable.get('wtap_encap'):add(wtap_encaps.USER0, p)\n",
       "packet 1: Lua error"},
      {"script that does not load", "local p = Proto(\n", "tshark's standard error"},
  };
  for (const auto& c : cases) {
    const std::string script = dir.File("broken.lua");
    test::WriteText(script, c.script);
    test::TsharkFieldOptions options;
    options.setup.dissector = script;
    const test::TsharkFields out = ReadTsharkFields(capture, {"frame.number"}, options);
    EXPECT_NE(out.problems.find(c.problem), std::string::npos) << c.name << ": " << out.problems;
  }
}

}  // namespace
}  // namespace fdc
