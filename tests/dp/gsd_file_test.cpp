// The GSD reader on small texts, each seen through a dump of everything it read, and the library
// of a folder's files by ident number.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "dp/gsd.h"
#include "tests/support/test_support.h"

namespace fdc::dp {
namespace {

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::ostringstream out;
  out << std::hex;
  for (const std::uint8_t byte : bytes) out << ' ' << +byte;
  return out.str();
}

template <typename Map>
void DumpMap(std::ostream& out, const char* name, const Map& map) {
  for (const auto& [key, text] : map) out << name << ' ' << key << ' ' << text << '\n';
}

// One line for each thing read, in a fixed order; warnings by line.
std::string Dump(const GsdFile& f) {
  std::ostringstream out;
  const auto optional = [&](const char* name, const auto& value) {
    if (value) out << name << ' ' << +*value << '\n';
  };
  optional("gsd_revision", f.gsdRevision);
  for (const auto& [name, text] : {std::pair{"vendor", &f.vendor},
                                   {"model", &f.model},
                                   {"revision", &f.revision},
                                   {"hw", &f.hardwareRelease},
                                   {"sw", &f.softwareRelease}}) {
    if (!text->empty()) out << name << ' ' << *text << '\n';
  }
  if (f.identNumber) out << "ident 0x" << std::hex << *f.identNumber << std::dec << '\n';
  for (std::size_t r = 0; r < kGsdRateNames.size(); ++r) {
    optional((std::string(kGsdRateNames[r]) + "_supp").c_str(), f.rateSupported[r]);
    optional(("tsdr_" + std::string(kGsdRateNames[r])).c_str(), f.maxTsdrBits[r]);
  }
  optional("min_slave_interval", f.minSlaveInterval);
  optional("max_diag", f.maxDiagDataLen);
  optional("dpv1", f.dpv1Slave);
  optional("wd_1ms", f.wdBase1msSupp);
  optional("fail_safe", f.failSafe);
  optional("modular", f.modularStation);
  for (const GsdModule& m : f.modules) {
    out << "module " << m.name << ':' << Hex(m.bytes) << '\n';
    optional(" reference", m.reference);
    optional(" prm_len", m.prmDataLen);
    for (const GsdPrmRef& r : m.prmRefs) out << " ref " << r.offset << ' ' << r.ref << '\n';
    for (const GsdPrmConst& c : m.prmConsts) out << " const " << c.offset << Hex(c.bytes) << '\n';
    DumpMap(out, " channel", m.channelDiag);
  }
  DumpMap(out, "bit", f.unitDiagBits);
  DumpMap(out, "not_bit", f.unitDiagNotBits);
  DumpMap(out, "help", f.unitDiagBitHelp);
  for (const GsdUnitDiagArea& a : f.unitDiagAreas) {
    out << "area " << a.first << '-' << a.last << '\n';
    DumpMap(out, " value", a.values);
  }
  DumpMap(out, "channel", f.channelDiag);
  for (const GsdPrmText& t : f.prmTexts) {
    out << "prm_text " << t.id << '\n';
    DumpMap(out, " text", t.texts);
  }
  for (const GsdPrmDefinition& d : f.prmDefinitions) {
    out << "prm " << d.ref << ' ' << d.name << " type " << +static_cast<int>(d.type) << " bits "
        << +d.firstBit << '-' << +d.lastBit << " default " << d.defaultValue;
    if (d.minValue) out << " range " << *d.minValue << ".." << *d.maxValue;
    for (const std::int64_t v : d.allowed) out << " allow " << v;
    if (d.textRef) out << " text_ref " << *d.textRef;
    out << '\n';
  }
  for (const GsdPrmRef& r : f.prmRefs) out << "ref " << r.offset << ' ' << r.ref << '\n';
  for (const GsdPrmConst& c : f.prmConsts) out << "const " << c.offset << Hex(c.bytes) << '\n';
  for (const GsdWarning& w : f.warnings) out << "warning " << w.line << '\n';
  return out.str();
}

TEST(GsdFile, ReadsWhatTheRulesSay) {
  struct Case {
    const char* name;
    std::string text;
    const char* dump;
  };
  const Case cases[] = {
      {"text before the marker ignored, marker in any case, CR LF",
       "Vendor_Name = \"A\"\r\n  #PROFIBUS_dp ; x\r\nVendor_Name = \"B\"\r\n", "vendor B\n"},
      {"no marker", "Vendor_Name = \"A\"\n", "warning 1\n"},
      {"keywords in any case, blanks anywhere, rates",
       "#Profibus_DP\nvendor_NAME=\"V\"\n\tIdent_Number\t =  0x7e0A\n12m_SUPP = 1\n"
       "maxtsdr_1.5m = 150\nMaxTsdr_9.6=60\nDPV1_Slave = 0\n",
       "vendor V\nident 0x7e0a\ntsdr_9.6 60\ntsdr_1.5M 150\n12M_supp 1\ndpv1 0\n"},
      {"leading zeros, hex digits of either case, Latin-1 to UTF-8, trailing blanks",
       "#Profibus_DP\nMin_Slave_Intervall = 0010\nIdent_Number = 0XaBc\n"
       "Model_Name = \"Pr\xFC"
       "fger\xE4t  \"\n",
       "model Pr\xC3\xBC"
       "fger\xC3\xA4t\nident 0xabc\nmin_slave_interval 10\n"},
      {"comments, and ';' within a string",
       "#Profibus_DP\n; Vendor_Name = \"X\"\nVendor_Name = \"a;b\" ; comment \"\n", "vendor a;b\n"},
      {"'\\' before a comment and within a string",
       "#Profibus_DP\nExt_User_Prm_Data_Const(0) = 0x01,\\   ; bytes go on\n0x02\n"
       "Vendor_Name = \"one \\\ntwo\"\nUnit_Diag_Bit(1) = \"x\" junk\n",
       "vendor one two\nconst 0 1 2\nwarning 6\n"},
      {"malformed lines skipped on their line, the rest read",
       "#Profibus_DP\nUnit_Diag_!Bit(1) = \"x\"\nUnit_Diag_Bit(2) = \"y\"\nIdent_Number = 0x10000\n"
       "Vendor_Name \"v\"\nModel_Name = \"m\nGSD_Revision = 3x\nChannel_Diag(16 = \"c\"\n"
       "Ext_User_Prm_Data_Const(0) = 1,256\nUnit_Diag_Bit = \"z\"\nMaxTsdr_3M = 99\n",
       "tsdr_3M 99\nbit 2 y\nwarning 2\nwarning 4\nwarning 5\nwarning 6\nwarning 7\nwarning 8\n"
       "warning 9\nwarning 10\n"},
      {"a module with its reference number and parameters",
       "#Profibus_DP\nModule = \"2 AO\" 0x61 , 0X42\n4\nExt_Module_Prm_Data_Len = 2\n"
       "Ext_User_Prm_Data_Const(0) = 0xFF,0xff\nExt_User_Prm_Data_Ref(0) = 21\n"
       "Channel_Diag(16) = \"m\"\nUnit_Diag_Bit(0) = \"ignored here\"\nEndModule\n"
       "Channel_Diag(17) = \"g\"\nModule = \"no ref\" 0x10\nEndModule\n5\n",
       "module 2 AO: 61 42\n reference 4\n prm_len 2\n ref 0 21\n const 0 ff ff\n channel 16 m\n"
       "module no ref: 10\nchannel 17 g\nwarning 13\n"},
      {"forward references, negative numbers and ranges, lists, blocks",
       "#Profibus_DP\nExt_User_Prm_Data_Ref(3) = 7\nExtUserPrmData = 7 \"Filter\"\n"
       "Signed8 0 -1-1\nPrm_Text_Ref = 2\nEndExtUserPrmData\nPrmText = 2\nText(-1) = \"off\"\n"
       "Text(0) = \"on\"\nEndPrmText\nExtUserPrmData = 8 \"Delay\"\nBitArea(4-5) 1 0,1,3\n"
       "EndExtUserPrmData\nExtUserPrmData = 9 \"S16\"\nSigned16 -1 -32768-32767\n"
       "EndExtUserPrmData\nUnit_Diag_Area = 8-11\nValue(2) = \"hot\"\nUnit_Diag_Area_End\n",
       "area 8-11\n value 2 hot\nprm_text 2\n text -1 off\n text 0 on\n"
       "prm 7 Filter type 5 bits 0-0 default 0 range -1..1 text_ref 2\n"
       "prm 8 Delay type 1 bits 4-5 default 1 allow 0 allow 1 allow 3\n"
       "prm 9 S16 type 6 bits 0-0 default -1 range -32768..32767\nref 3 7\n"},
      {"type lines out of range, missing or twice",
       "#Profibus_DP\nExtUserPrmData = 1 \"a\"\nBit(8) 0 0-1\nEndExtUserPrmData\n"
       "ExtUserPrmData = 2 \"b\"\nUnsigned8 1\nUnsigned16 2\nEndExtUserPrmData\n"
       "ExtUserPrmData = 3 \"c\"\nBitArea(2-3) 4 0-3\nEndExtUserPrmData\n",
       "prm 2 b type 2 bits 0-0 default 1\nwarning 3\nwarning 2\nwarning 7\nwarning 10\n"
       "warning 9\n"},
      {"unused blocks skipped, an unterminated block ends at the end",
       "#Profibus_DP\nSlotDefinition\nSlot(1) = \"Slot 1\" 2 1-3\nIdent_Number = 1\n"
       "EndSlotDefinition\nX_Thing = 1\nVendor_Name = \"no\"\nX_Thing_End\n"
       "Data_Area_Beg\nModel_Name = \"no\"\nData_Area_End\nPrmText = 1\nText(1) = \"t\"\n",
       "prm_text 1\n text 1 t\nwarning 12\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Dump(ParseGsd(c.text)), c.dump) << c.name;
}

TEST(GsdFile, LooksUpTheFirstTextAndDefinition) {
  const GsdFile f = ParseGsd(
      "#Profibus_DP\nPrmText = 1\nText(0) = \"a\"\nEndPrmText\nPrmText = 1\nText(0) = \"b\"\n"
      "EndPrmText\nExtUserPrmData = 4 \"x\"\nBit(1) 0\nEndExtUserPrmData\n");
  ASSERT_NE(f.PrmTextById(1), nullptr);
  EXPECT_EQ(f.PrmTextById(1)->texts.at(0), "a");
  EXPECT_EQ(f.PrmTextById(2), nullptr);
  ASSERT_NE(f.PrmDefinitionByRef(4), nullptr);
  EXPECT_EQ(f.PrmDefinitionByRef(4)->firstBit, 1);
  EXPECT_EQ(f.PrmDefinitionByRef(5), nullptr);
}

TEST(GsdLibrary, PrefersGseThenGsdByName) {
  test::TempDir dir;
  const std::string gsd = "#Profibus_DP\nIdent_Number = 0x7E01\n";
  for (const char* name : {"b.GSD", "a.gsg", "z.gse", "a.gsd", "c.Gse", "x.txt"}) {
    test::WriteText(dir.File(name), gsd);
  }
  test::WriteText(dir.File("none.gsd"), "#Profibus_DP\nIdent_Number = 0x1FFFF\n");
  const GsdLibrary library = GsdLibrary::Load({dir.path(), dir.path() / "missing"});
  EXPECT_EQ(library.FileCount(), 5u);
  const GsdLibrary::Match* match = library.Find(0x7E01);
  ASSERT_NE(match, nullptr);
  EXPECT_EQ(match->entry->file, "c.Gse");
  EXPECT_EQ(match->otherFiles, (std::vector<std::string>{"z.gse", "a.gsd", "b.GSD", "a.gsg"}));
  EXPECT_EQ(library.Find(0x7E02), nullptr);
  ASSERT_EQ(library.Messages().size(), 3u);
  EXPECT_EQ(library.Messages()[0].rfind("none.gsd:2: ", 0), 0u);
  EXPECT_EQ(library.Messages()[1], "none.gsd: no Ident_Number, ignored");
  EXPECT_EQ(library.Messages()[2].rfind("GSD folder " + (dir.path() / "missing").string(), 0), 0u);

  GsdLibrary added;
  added.Add("first.gsd", ParseGsd(gsd));
  added.Add("first.gsd", ParseGsd(gsd + "Vendor_Name = \"second\"\n"));
  added.Add("noident.gsd", GsdFile{});
  EXPECT_EQ(added.FileCount(), 2u);
  EXPECT_EQ(added.Find(0x7E01)->entry->gsd.vendor, "");
  EXPECT_EQ(added.Find(0x7E01)->otherFiles, std::vector<std::string>{"first.gsd"});
}

}  // namespace
}  // namespace fdc::dp
