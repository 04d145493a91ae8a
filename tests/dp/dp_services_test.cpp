// The DP decoders on known data units, seen through their JSON: whole objects and the nulls of a
// short unit, flags and fields, every kind of diagnosis block and Cfg identifier, each malformed
// ending, every prefix of a long unit, and the value names at the edges of their ranges.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/dp/dp_test_support.h"

namespace fdc::dp {
namespace {

using nlohmann::json;
using test::Bytes;
using test::DecodeJson;
using test::View;

// A Slave_Diag header before the blocks: ext_diag, wd_on, master 2, ident 0x0cda.
#define DIAG "08 0c 00 02 0c da "

// Each member of `expected` must stand in `actual` with that value; others are not looked at.
void ExpectMembers(const json& actual, const json& expected, const std::string& name) {
  for (const auto& [key, value] : expected.items()) {
    EXPECT_EQ(actual.contains(key) ? actual.at(key) : json("<absent>"), value)
        << name << ": " << key;
  }
}

std::set<std::string> Members(const json& object) {
  std::set<std::string> names;
  for (const auto& [key, value] : object.items()) names.insert(key);
  return names;
}

// The published replies and requests as whole objects, which pins every member's name; the same
// members stand for a short unit, all null but `malformed`.
TEST(DpJson, WholeObjectsAndShortUnits) {
  struct WholeCase {
    Service service;
    const char* unit;
    const char* shortUnit;  // none: the service has no short data unit
    const char* expected;
  };
  const WholeCase cases[] = {
      {Service::kSlaveDiag, "02 05 00 ff 0c da", "02 05 00 ff 0c",
       R"({"station_non_existent": false, "station_not_ready": true, "cfg_fault": false,
           "ext_diag": false, "not_supported": false, "invalid_slave_response": false,
           "prm_fault": false, "master_lock": false, "prm_req": true, "stat_diag": false,
           "bit2_clear": false, "wd_on": false, "freeze_mode": false, "sync_mode": false,
           "deactivated": false, "ext_diag_overflow": false, "master_address": null,
           "ident_number": 3290, "blocks": [], "malformed": null, "remark": null})"},
      {Service::kSetPrm, "b8 05 01 00 0c da 01 40 00 00", "b8 05 01 00 0c da",
       R"({"wd_on": true, "freeze_req": true, "sync_req": true, "unlock_req": false,
           "lock_req": true, "wd_fact_1": 5, "wd_fact_2": 1, "min_tsdr_bits": 0,
           "ident_number": 3290, "group_ident": 1, "user_prm_data": "400000",
           "dpv1_enable": false, "fail_safe": true, "publisher": false, "wd_base_1ms": false,
           "reduced_chk_cfg": false, "alarm_update": false, "alarm_status": false,
           "alarm_manufacturer": false, "alarm_diagnostic": false, "alarm_process": false,
           "alarm_pull_plug": false, "alarm_count": 1, "prm_block": false,
           "isochronous": false, "redundancy": false, "watchdog_ms": 50, "malformed": null,
           "remark": null})"},
      {Service::kGetCfg, "13 42 85 aa bb", nullptr,
       R"({"identifiers": [
             {"kind": "general", "hex": "13", "direction": "input", "length": 4,
              "unit": "byte", "consistent": false, "bytes": 4},
             {"kind": "special", "hex": "4285aabb", "output": 0, "input": 6,
              "manufacturer_data": "aabb"}],
           "input_bytes": 10, "output_bytes": 0, "malformed": null, "remark": null})"},
      {Service::kGlobalControl, "02 00", "02",
       R"({"clear_data": true, "unfreeze": false, "freeze": false, "unsync": false,
           "sync": false, "reserved_bits": 0, "group_select": 0, "malformed": null,
           "remark": null})"},
      {Service::kSetSlaveAdd, "05 0c da 00", "",
       R"({"new_address": 5, "ident_number": 3290, "no_add_chg": 0, "user_data": "",
           "malformed": null, "remark": null})"},
  };
  for (const WholeCase& c : cases) {
    const json expected = json::parse(c.expected);
    EXPECT_EQ(DecodeJson(c.service, Bytes(c.unit)), expected) << c.unit;
    if (c.shortUnit == nullptr) continue;
    const json cut = DecodeJson(c.service, Bytes(c.shortUnit));
    EXPECT_EQ(Members(cut), Members(expected)) << c.shortUnit;
    for (const auto& [key, value] : cut.items()) {
      EXPECT_EQ(value, key == "malformed" ? json("short") : json(nullptr))
          << c.shortUnit << ": " << key;
    }
  }
}

struct Case {
  const char* name;
  Service service;
  const char* unit;
  bool dpv1;
  const char* expected;  // the JSON members that must stand so
};

const Case kCases[] = {
    // --- Slave_Diag header -----------------------------------------------------------------------
    {"master and overflow", Service::kSlaveDiag, "00 04 80 02 12 34", false,
     R"({"ext_diag_overflow": true, "master_address": 2, "ident_number": 4660})"},
    {"master 0", Service::kSlaveDiag, "00 04 00 00 00 00", false, R"({"master_address": 0})"},
    // --- Diagnosis blocks ------------------------------------------------------------------------
    {"device", Service::kSlaveDiag, DIAG "04 01 02 03", false,
     R"({"blocks": [{"block": "device", "length": 4, "data": "010203"}], "malformed": null})"},
    {"device of its header only", Service::kSlaveDiag, DIAG "01", false,
     R"({"blocks": [{"block": "device", "length": 1, "data": ""}]})"},
    {"identifier", Service::kSlaveDiag, DIAG "43 0a 01", false,
     R"({"blocks": [{"block": "identifier", "length": 3, "modules": [1, 3, 8]}]})"},
    {"identifier without modules", Service::kSlaveDiag, DIAG "42 00", false,
     R"({"blocks": [{"block": "identifier", "length": 2, "modules": []}]})"},
    {"identifier with DP-V1", Service::kSlaveDiag, DIAG "43 0a 01", true,
     R"({"blocks": [{"block": "identifier", "length": 3, "modules": [1, 3, 8]}]})"},
    {"channel", Service::kSlaveDiag, DIAG "83 42 86", false,
     R"({"blocks": [{"block": "channel", "module": 3, "channel": 2, "direction": "input",
                     "type": "byte", "error": 6, "error_name": "line_break"}]})"},
    {"channel output", Service::kSlaveDiag, DIAG "a1 85 c9", false,
     R"({"blocks": [{"block": "channel", "module": 33, "channel": 5, "direction": "output",
                     "type": "2_words", "error": 9, "error_name": "error"}]})"},
    {"channel input_output", Service::kSlaveDiag, DIAG "bf ff 2a", false,
     R"({"blocks": [{"block": "channel", "module": 63, "channel": 63, "direction": "input_output",
                     "type": "bit", "error": 10, "error_name": "reserved"}]})"},
    {"channel reserved", Service::kSlaveDiag, DIAG "80 00 f1", false,
     R"({"blocks": [{"block": "channel", "module": 0, "channel": 0, "direction": "reserved",
                     "type": "reserved", "error": 17, "error_name": "manufacturer"}]})"},
    {"blocks in order", Service::kSlaveDiag, DIAG "42 01 83 42 86 02 ff", false,
     R"({"blocks": [{"block": "identifier", "length": 2, "modules": [0]},
                    {"block": "channel", "module": 3, "channel": 2, "direction": "input",
                     "type": "byte", "error": 6, "error_name": "line_break"},
                    {"block": "device", "length": 2, "data": "ff"}], "malformed": null})"},
    {"alarm", Service::kSlaveDiag, DIAG "06 01 02 1d aa bb", true,
     R"({"blocks": [{"block": "alarm", "length": 6, "alarm_type": 1,
                     "alarm_type_name": "diagnostic", "slot": 2, "specifier": "appears",
                     "add_ack": true, "sequence": 3, "data": "aabb"}]})"},
    {"alarm without DP-V1", Service::kSlaveDiag, DIAG "06 01 02 1d aa bb", false,
     R"({"blocks": [{"block": "device", "length": 6, "data": "01021daabb"}]})"},
    {"manufacturer alarm", Service::kSlaveDiag, DIAG "04 28 07 fb", true,
     R"({"blocks": [{"block": "alarm", "length": 4, "alarm_type": 40,
                     "alarm_type_name": "manufacturer", "slot": 7,
                     "specifier": "disappears_others_remain", "add_ack": false, "sequence": 31,
                     "data": ""}]})"},
    {"status", Service::kSlaveDiag, DIAG "05 82 01 01 ff", true,
     R"({"blocks": [{"block": "status", "length": 5, "status_type": 2,
                     "status_type_name": "module_status", "slot": 1, "specifier": "appears",
                     "data": "ff"}]})"},
    {"status reserved specifier", Service::kSlaveDiag, DIAG "04 9e 00 ff", true,
     R"({"blocks": [{"block": "status", "length": 4, "status_type": 30,
                     "status_type_name": "prm_command_ack", "slot": 0, "specifier": "reserved",
                     "data": ""}]})"},
    {"DP-V1 block under 4 bytes", Service::kSlaveDiag, DIAG "03 01 02", true,
     R"({"blocks": [{"block": "device", "length": 3, "data": "0102"}]})"},
    // --- Malformed diagnosis ---------------------------------------------------------------------
    {"block length 0", Service::kSlaveDiag, DIAG "00 01", false,
     R"({"blocks": [], "malformed": "block length 0", "remark": null})"},
    {"identifier length 0", Service::kSlaveDiag, DIAG "83 42 86 40 01", false,
     R"({"blocks": [{"block": "channel", "module": 3, "channel": 2, "direction": "input",
                     "type": "byte", "error": 6, "error_name": "line_break"}],
         "malformed": "block length 0"})"},
    {"device cut off", Service::kSlaveDiag, DIAG "05 01 02", false,
     R"({"blocks": [], "malformed": "cut off"})"},
    {"identifier cut off", Service::kSlaveDiag, DIAG "02 ff 44 01 02", false,
     R"({"blocks": [{"block": "device", "length": 2, "data": "ff"}], "malformed": "cut off"})"},
    {"channel cut off", Service::kSlaveDiag, DIAG "83 42", false,
     R"({"blocks": [], "malformed": "cut off"})"},
    {"alarm cut off", Service::kSlaveDiag, DIAG "08 01 02 1d", true,
     R"({"blocks": [], "malformed": "cut off"})"},
    {"reserved block", Service::kSlaveDiag, DIAG "02 ff c3 01 02 03", false,
     R"({"blocks": [{"block": "device", "length": 2, "data": "ff"}], "malformed": null,
         "remark": "reserved block"})"},
    // --- Set_Prm ---------------------------------------------------------------------------------
    {"no DP-V1 bytes", Service::kSetPrm, "08 0a 0a 0b 12 34 80", false,
     R"({"wd_on": true, "freeze_req": false, "min_tsdr_bits": 11, "ident_number": 4660,
         "group_ident": 128, "user_prm_data": "", "dpv1_enable": null, "fail_safe": null,
         "reduced_chk_cfg": null, "alarm_count": null, "redundancy": null,
         "watchdog_ms": 1000})"},
    {"1 ms base", Service::kSetPrm, "08 0a 0a 00 12 34 00 84", false,
     R"({"dpv1_enable": true, "wd_base_1ms": true, "fail_safe": false, "publisher": false,
         "reduced_chk_cfg": null, "alarm_count": null, "user_prm_data": "84",
         "watchdog_ms": 100})"},
    {"1 ms base without DP-V1", Service::kSetPrm, "08 0a 0a 00 12 34 00 04", false,
     R"({"dpv1_enable": false, "wd_base_1ms": true, "watchdog_ms": 1000})"},
    {"largest watchdog", Service::kSetPrm, "08 ff ff 00 00 00 00", false,
     R"({"watchdog_ms": 650250})"},
    {"watchdog off", Service::kSetPrm, "f0 0a 0a 00 00 00 00", false,
     R"({"wd_on": false, "freeze_req": true, "sync_req": true, "unlock_req": true,
         "lock_req": true, "watchdog_ms": null})"},
    {"watchdog factor 0", Service::kSetPrm, "08 00 0a 00 00 00 00", false,
     R"({"wd_on": true, "watchdog_ms": null})"},
    {"DP-V1 status bits", Service::kSetPrm, "00 00 00 00 00 00 00 64 05 9f aa", false,
     R"({"dpv1_enable": false, "fail_safe": true, "publisher": true, "wd_base_1ms": true,
         "reduced_chk_cfg": true, "alarm_update": true, "alarm_status": false,
         "alarm_manufacturer": false, "alarm_diagnostic": false, "alarm_process": false,
         "alarm_pull_plug": false, "alarm_count": 32, "prm_block": true, "isochronous": true,
         "redundancy": true, "user_prm_data": "64059faa"})"},
    {"other DP-V1 status bits", Service::kSetPrm, "00 00 00 00 00 00 00 80 a8 16", false,
     R"({"dpv1_enable": true, "fail_safe": false, "reduced_chk_cfg": false,
         "alarm_update": false, "alarm_status": true, "alarm_manufacturer": false,
         "alarm_diagnostic": true, "alarm_process": false, "alarm_pull_plug": true,
         "alarm_count": 24, "prm_block": false, "isochronous": true, "redundancy": false})"},
    {"remaining DP-V1 status bits", Service::kSetPrm, "00 00 00 00 00 00 00 00 52 65", false,
     R"({"reduced_chk_cfg": false, "alarm_manufacturer": true, "alarm_process": true,
         "alarm_status": false, "alarm_count": 16, "prm_block": false, "isochronous": false,
         "redundancy": false})"},
    // --- Chk_Cfg, Get_Cfg ------------------------------------------------------------------------
    {"general identifiers", Service::kChkCfg, "13 e3 31", false,
     R"({"identifiers": [
           {"kind": "general", "hex": "13", "direction": "input", "length": 4, "unit": "byte",
            "consistent": false, "bytes": 4},
           {"kind": "general", "hex": "e3", "direction": "output", "length": 4, "unit": "word",
            "consistent": true, "bytes": 8},
           {"kind": "general", "hex": "31", "direction": "input_output", "length": 2,
            "unit": "byte", "consistent": false, "bytes": 2}],
         "input_bytes": 6, "output_bytes": 10, "malformed": null, "remark": null})"},
    {"empty slot", Service::kGetCfg, "00", false,
     R"({"identifiers": [{"kind": "special", "hex": "00", "output": 0, "input": 0,
                          "manufacturer_data": ""}], "input_bytes": 0, "output_bytes": 0})"},
    {"special input", Service::kChkCfg, "42 85 aa bb", false,
     R"({"identifiers": [{"kind": "special", "hex": "4285aabb", "output": 0, "input": 6,
                          "manufacturer_data": "aabb"}], "input_bytes": 6, "output_bytes": 0})"},
    {"special output then input", Service::kChkCfg, "c0 41 07", false,
     R"({"identifiers": [{"kind": "special", "hex": "c04107", "output": 4, "input": 8,
                          "manufacturer_data": ""}], "input_bytes": 8, "output_bytes": 4})"},
    {"special output of 64 words", Service::kChkCfg, "80 7f", false,
     R"({"identifiers": [{"kind": "special", "hex": "807f", "output": 128, "input": 0,
                          "manufacturer_data": ""}], "output_bytes": 128})"},
    {"free place with data", Service::kChkCfg, "01 ab", false,
     R"({"identifiers": [{"kind": "special", "hex": "01ab", "output": 0, "input": 0,
                          "manufacturer_data": "ab"}]})"},
    {"no identifiers", Service::kGetCfg, "", false,
     R"({"identifiers": [], "input_bytes": 0, "output_bytes": 0, "malformed": null})"},
    {"reserved length", Service::kChkCfg, "13 0f 10", false,
     R"({"identifiers": [{"kind": "general", "hex": "13", "direction": "input", "length": 4,
                          "unit": "byte", "consistent": false, "bytes": 4}],
         "input_bytes": 4, "output_bytes": 0, "malformed": "reserved length"})"},
    {"reserved length before cut off", Service::kChkCfg, "4f", false,
     R"({"identifiers": [], "malformed": "reserved length"})"},
    {"special cut off", Service::kChkCfg, "13 c0 41", false,
     R"({"input_bytes": 4, "output_bytes": 0, "malformed": "cut off"})"},
    {"manufacturer bytes cut off", Service::kChkCfg, "02 aa", false,
     R"({"identifiers": [], "malformed": "cut off"})"},
    // --- Global_Control, Set_Slave_Add -----------------------------------------------------------
    {"unfreeze unsync", Service::kGlobalControl, "14 05", false,
     R"({"clear_data": false, "unfreeze": true, "freeze": false, "unsync": true, "sync": false,
         "group_select": 5})"},
    {"freeze sync", Service::kGlobalControl, "28 80", false,
     R"({"unfreeze": false, "freeze": true, "unsync": false, "sync": true, "group_select": 128})"},
    {"reserved bits", Service::kGlobalControl, "ff 00", false,
     R"({"clear_data": true, "sync": true, "reserved_bits": 193})"},
    {"Set_Slave_Add with user data", Service::kSetSlaveAdd, "7e 12 34 01 aa bb", false,
     R"({"new_address": 126, "ident_number": 4660, "no_add_chg": 1, "user_data": "aabb"})"},
};

TEST(DpDecoders, KnownUnits) {
  for (const Case& c : kCases) {
    ExpectMembers(DecodeJson(c.service, Bytes(c.unit), c.dpv1), json::parse(c.expected), c.name);
  }
}

// Each bit of the first three bytes alone, against a reply holding only the always-set bit 2 of
// byte 2: the flag it raises, or none ("-").
TEST(DpDecoders, DiagFlagBits) {
  std::istringstream words(
      "station_non_existent station_not_ready cfg_fault ext_diag not_supported "
      "invalid_slave_response prm_fault master_lock prm_req stat_diag bit2_clear wd_on "
      "freeze_mode sync_mode - deactivated - - - - - - - ext_diag_overflow");
  std::string flag;
  for (unsigned bit = 0; words >> flag; ++bit) {
    std::vector<std::uint8_t> unit = Bytes("00 04 00 ff 0c da");
    unit[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
    const auto at = std::find(kDiagFlagNames.begin(), kDiagFlagNames.end(), flag);
    const auto expected = static_cast<std::uint16_t>(
        flag == "-" ? 0 : 1u << static_cast<unsigned>(at - kDiagFlagNames.begin()));
    EXPECT_EQ(DiagFlagsOf(View(unit)), expected) << bit;
    EXPECT_EQ(DecodeSlaveDiag(View(unit), false).flags, expected) << bit;
    unit.pop_back();
    EXPECT_EQ(DiagFlagsOf(View(unit)), 0) << bit << " short";
  }
}

TEST(DpDecoders, AlarmCounts) {
  const std::uint8_t counts[] = {1, 2, 4, 8, 12, 16, 24, 32};
  for (std::uint8_t bits = 0; bits < 8; ++bits) {
    std::vector<std::uint8_t> unit = Bytes("00 00 00 00 00 00 00 80 00");
    unit.push_back(static_cast<std::uint8_t>(0xf8 | bits));
    EXPECT_EQ(DecodeSetPrm(View(unit)).alarmCount, counts[bits]) << int{bits};
  }
}

// Every prefix of a long unit decodes to a prefix of its blocks or identifiers, and is malformed
// unless it ends where one does.
TEST(DpDecoders, EveryPrefix) {
  struct SweepCase {
    Service service;
    const char* unit;
    bool dpv1;
    std::vector<std::size_t> complete;  // the prefix sizes that decode without fault
  };
  const SweepCase cases[] = {
      {Service::kSlaveDiag, DIAG "42 01 83 42 86 02 ff", false, {6, 8, 11, 13}},
      {Service::kSlaveDiag, DIAG "06 01 02 1d aa bb 04 82 01 01", true, {6, 12, 16}},
      {Service::kChkCfg, "13 c0 41 07 42 85 aa bb 00", false, {0, 1, 4, 8, 9}},
  };
  for (const SweepCase& c : cases) {
    const char* list = c.service == Service::kChkCfg ? "identifiers" : "blocks";
    const std::vector<std::uint8_t> whole = Bytes(c.unit);
    const json full = DecodeJson(c.service, whole, c.dpv1)[list];
    for (std::size_t size = c.complete.front(); size <= whole.size(); ++size) {
      const std::vector<std::uint8_t> prefix(whole.begin(), whole.begin() + size);
      const json decoded = DecodeJson(c.service, prefix, c.dpv1);
      const std::string where = std::string(c.unit) + " of " + std::to_string(size);
      ASSERT_LE(decoded[list].size(), full.size()) << where;
      for (std::size_t i = 0; i < decoded[list].size(); ++i) {
        EXPECT_EQ(decoded[list][i], full[i]) << where;
      }
      const bool complete =
          std::find(c.complete.begin(), c.complete.end(), size) != c.complete.end();
      EXPECT_EQ(decoded["malformed"].is_null(), complete) << where;
    }
  }
}

// The names at the edges of their ranges, where the fallback takes over.
TEST(DpDecoders, ValueNameRanges) {
  using NameOf = std::string_view (*)(std::uint8_t);
  struct NameCase {
    NameOf name;
    std::uint8_t value;
    std::string_view expected;
  };
  const NameCase cases[] = {
      {ChannelTypeName, 7, "reserved"},       {ChannelErrorName, 15, "reserved"},
      {ChannelErrorName, 16, "manufacturer"}, {ChannelErrorName, 31, "manufacturer"},
      {AlarmTypeName, 0, "reserved"},         {AlarmTypeName, 6, "update"},
      {AlarmTypeName, 31, "reserved"},        {AlarmTypeName, 126, "manufacturer"},
      {AlarmTypeName, 127, "reserved"},       {StatusTypeName, 29, "reserved"},
      {StatusTypeName, 31, "status_read"},    {StatusTypeName, 32, "manufacturer"},
      {StatusTypeName, 127, "reserved"},      {AlarmSpecifierName, 2, "disappears"},
  };
  for (const NameCase& c : cases) EXPECT_EQ(c.name(c.value), c.expected) << int{c.value};
}

}  // namespace
}  // namespace fdc::dp
