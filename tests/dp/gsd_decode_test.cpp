// A GSD file's names on a slave's configuration, diagnosis and parameters, with the test files of
// tests/dp/gsd/ and worked telegrams.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "dp/gsd.h"
#include "tests/dp/dp_test_support.h"

namespace fdc::dp {
namespace {

using test::Bytes;
using test::View;

const GsdFile& TestFile(const std::string& name) {
  static std::map<std::string, GsdFile> files;
  auto [it, added] = files.try_emplace(name);
  if (added) {
    const char* root = std::getenv("FDC_SOURCE_DIR");
    std::ifstream in(std::string(root != nullptr ? root : ".") + "/tests/dp/gsd/" + name,
                     std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    it->second = ParseGsd(text.str());
    EXPECT_TRUE(it->second.identNumber.has_value()) << name;
  }
  return it->second;
}

// "name|name[cand,cand]|?hex": the split in one line.
std::string SplitText(const GsdFile& file, const std::vector<GsdModuleMatch>& split) {
  std::string text;
  for (const GsdModuleMatch& m : split) {
    if (!text.empty()) text += '|';
    if (!m.module) {
      text += '?';
      for (const std::uint8_t b : m.bytes)
        text += "0123456789abcdef"[b >> 4], text += "0123456789abcdef"[b & 15];
      continue;
    }
    text += file.modules[*m.module].name;
    if (m.candidates.size() > 1) {
      text += '[';
      for (std::size_t i = 0; i < m.candidates.size(); ++i) {
        text += (i == 0 ? "" : ",") + file.modules[m.candidates[i]].name;
      }
      text += ']';
    }
  }
  return text;
}

TEST(GsdSplitModules, FewestUnmatchedThenLongestThenEarliest) {
  GsdFile abc;
  for (const auto& [name, hex] : std::vector<std::pair<std::string, std::string>>{
           {"A", "01"}, {"AB", "0102"}, {"BC", "0203"}, {"C", "03"}, {"A too", "01"}}) {
    GsdModule& module = abc.modules.emplace_back();
    module.name = name;
    module.bytes = Bytes(hex);
  }
  GsdFile noC = abc;
  noC.modules.erase(noC.modules.begin() + 3);
  const struct {
    const GsdFile* file;
    const char* config;
    const char* split;
    std::size_t unmatched;
  } rows[] = {
      {&abc, "010203", "AB|C", 0},           // two whole splits: the longest first
      {&noC, "010203", "A[A,A too]|BC", 0},  // AB would leave 03 unmatched
      {&abc, "01ff0203", "A[A,A too]|?ff|BC", 1},
      {&abc, "fffe", "?fffe", 2},
      {&abc, "", "", 0},
      {&TestFile("TEST7F02.GSE"), "2051c101010700", "8 DO[8 DO,8 DO fast]|2 AI|Counter|Empty", 0},
      {&TestFile("TEST7F02.GSE"), "c10101", "?c10101", 3},  // a module cut short
      {&TestFile("TEST7F01.GSD"), "10", "8 DI", 0},
  };
  for (const auto& row : rows) {
    const auto config = Bytes(row.config);
    const auto split = SplitModules(*row.file, View(config));
    EXPECT_EQ(SplitText(*row.file, split), row.split) << row.config;
    EXPECT_EQ(UnmatchedBytes(split), row.unmatched) << row.config;
  }
}

TEST(GsdDiagTexts, BitsAreasAndChannelsPerBlock) {
  const struct {
    const char* file;
    const char* config;
    const char* unit;
    const char* texts;
  } rows[] = {
      // A DP-V0 block: bit 0 set, bit 2 set (no Not_Bit text), area 4-11 across two bytes = 0x23,
      // area 16-19 = 1.
      {"TEST7F01.GSD", "10", "080c00027f01 04350201",
       "0:b0 Sensor supply short (Check the sensor wiring); 0:a4-11 Fault code 35: overload; "
       "0:a16-19 Temperature warning"},
      // One byte: the areas beyond it are not read; bit 2 clear says so.
      {"TEST7F01.GSD", "10", "080c00027f01 0208", "0:b3 Wire break; 0:b2 Not parameterised"},
      // An area value without a text is its number.
      {"TEST7F01.GSD", "10", "080c00027f01 04f4ff00", "0:a4-11 255; 0:a16-19 0"},
      // A DP-V1 status block: type, slot and specifier are bytes 0-2; then an identifier block
      // and channel blocks (module 0: its own text; module 2: the device's).
      {"TEST7F02.GSE", "2051c101010700", "080c00027f02 4201 0581000102 804031 824032",
       "1:b16 Status appears; 1:b25 Backplane fault; 2:c17 Output channel overload; "
       "3:c18 Device channel fault 18"},
      // Each device block by itself; a block cut off ends the reading.
      {"TEST7F02.GSE", "", "080c00027f02 04000001 0500000002 0900",
       "0:b16 Status appears; 1:b25 Backplane fault"},
      {"TEST7F02.GSE", "", "080c00", ""},
  };
  for (const auto& row : rows) {
    const GsdFile& file = TestFile(row.file);
    const auto config = Bytes(row.config);
    const auto unit = Bytes(row.unit);
    std::string text;
    for (const GsdDiagText& t : DiagTexts(file, View(unit), SplitModules(file, View(config)))) {
      text += (text.empty() ? "" : "; ") + std::to_string(t.block) + ":";
      if (t.bit) text += "b" + std::to_string(*t.bit);
      if (t.areaFirst)
        text += "a" + std::to_string(*t.areaFirst) + "-" + std::to_string(*t.areaLast);
      if (t.channelError) text += "c" + std::to_string(*t.channelError);
      text += " " + t.text + (t.help.empty() ? "" : " (" + t.help + ")");
    }
    EXPECT_EQ(text, row.texts) << row.unit;
  }
}

TEST(GsdParameters, DeviceThenModuleAreasInSlotOrder) {
  const struct {
    const char* file;
    const char* config;
    const char* user;
    const char* parameters;
    bool shortArea;
  } rows[] = {
      {"TEST7F01.GSD", "10", "1601f4", "Diagnosis alarm=1(on) Filter time=5 Limit=500", false},
      {"TEST7F01.GSD", "10", "0c", "Diagnosis alarm=0(off) Filter time=3(3 ms)", true},
      {"TEST7F02.GSE", "2051c101010700", "80000001ffff03",
       "Station alarm=1 1:8 DO/Substitute=-1(hold last value) 2:2 AI/Range=3", false},
      {"TEST7F02.GSE", "2051c101010700", "800000000005", "Station alarm=0 1:8 DO/Substitute=5",
       true},
      // Without a configuration only the device's own parameters are read.
      {"TEST7F02.GSE", "", "80000001", "Station alarm=1", false},
  };
  for (const auto& row : rows) {
    const GsdFile& file = TestFile(row.file);
    const auto config = Bytes(row.config);
    const auto user = Bytes(row.user);
    const GsdParameters decoded =
        DecodeParameters(file, View(user), SplitModules(file, View(config)));
    std::string text;
    for (const GsdParameter& p : decoded.parameters) {
      text += (text.empty() ? "" : " ") +
              (p.module ? std::to_string(p.slot) + ":" + *p.module + "/" : std::string()) + p.name +
              "=" + std::to_string(p.value) + (p.text ? "(" + *p.text + ")" : "");
    }
    EXPECT_EQ(text, row.parameters) << row.user;
    EXPECT_EQ(decoded.shortArea, row.shortArea) << row.user;
  }
}

TEST(GsdSetPrm, ByteEightIsTheMakersWithoutDpv1Slave) {
  // Byte 8 = 0x84: DP-V1 enabled with the 1 ms watchdog base, as the bytes say.
  const auto unit = Bytes("b80a0a0b7f0100 840000");
  SetPrm v0 = DecodeSetPrm(View(unit));
  SetPrm v1 = v0;
  EXPECT_EQ(v0.watchdogMs, 100u);
  ApplyGsdToSetPrm(TestFile("TEST7F01.GSD"), v0);
  EXPECT_FALSE(v0.dpv1Enable.has_value());
  EXPECT_FALSE(v0.alarmCount.has_value());
  EXPECT_EQ(v0.watchdogMs, 1000u);
  ApplyGsdToSetPrm(TestFile("TEST7F02.GSE"), v1);
  EXPECT_EQ(v1.dpv1Enable, true);
  EXPECT_EQ(v1.watchdogMs, 100u);
}

}  // namespace
}  // namespace fdc::dp
