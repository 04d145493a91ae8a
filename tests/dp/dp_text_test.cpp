// The one-line texts of the DP services, word for word.
#include <gtest/gtest.h>

#include "tests/dp/dp_test_support.h"

namespace fdc::dp {
namespace {

TEST(DpText, Lines) {
  struct Case {
    Service service;
    const char* unit;
    bool dpv1;
    const char* text;
  };
  const Case cases[] = {
      {Service::kSlaveDiag, "02 05 00 ff 0c da", false,
       "Slave_Diag: station_not_ready prm_req, master none, ident 0x0cda"},
      {Service::kSlaveDiag, "02 05 00 ff 0c da 83 42 86", false,
       "Slave_Diag: station_not_ready prm_req, master none, ident 0x0cda, "
       "channel 3.2 input line_break"},
      {Service::kSlaveDiag, "00 00 00 02 12 34", false,
       "Slave_Diag: bit2_clear, master 2, ident 0x1234"},
      {Service::kSlaveDiag, "00 04 00 7d 00 01 43 0a 01 42 00 04 01 02 03 01", false,
       "Slave_Diag: no flags, master 125, ident 0x0001, identifier modules 1 3 8, "
       "identifier modules none, device 3 bytes, device 0 bytes"},
      {Service::kSlaveDiag, "00 04 00 7d 00 01 02 ff 80 00 f1", false,
       "Slave_Diag: no flags, master 125, ident 0x0001, device 1 byte, "
       "channel 0.0 reserved manufacturer 17"},
      {Service::kSlaveDiag, "08 04 00 ff 0c da 06 01 02 1d aa bb 04 82 01 01 04 28 07 fb", true,
       "Slave_Diag: ext_diag, master none, ident 0x0cda, alarm diagnostic slot 2 appears, "
       "status module_status slot 1 appears, "
       "alarm manufacturer 40 slot 7 disappears_others_remain"},
      {Service::kSlaveDiag, "08 04 00 ff 0c da 04 00 00 00 04 ff 03 03", true,
       "Slave_Diag: ext_diag, master none, ident 0x0cda, alarm reserved 0 slot 0 none, "
       "status reserved 127 slot 3 reserved"},
      {Service::kSlaveDiag, "08 04 00 ff 0c da 02 ff c3 01", false,
       "Slave_Diag: ext_diag, master none, ident 0x0cda, device 1 byte, remark: reserved block"},
      {Service::kSlaveDiag, "08 04 00 ff 0c da 83 42", false,
       "Slave_Diag: ext_diag, master none, ident 0x0cda, malformed: cut off"},
      {Service::kSlaveDiag, "02 05 00 ff 0c", false, "Slave_Diag: malformed: short"},
      {Service::kSetPrm, "88 05 01 0b 0c da 01 80", false,
       "Set_Prm: wd_on lock_req, watchdog 50 ms, min_tsdr 11, ident 0x0cda, group 1, "
       "dpv1_enable"},
      {Service::kSetPrm, "b8 05 01 00 0c da 01 40 00 00", false,
       "Set_Prm: wd_on freeze_req sync_req lock_req, watchdog 50 ms, min_tsdr unchanged, "
       "ident 0x0cda, group 1, fail_safe"},
      {Service::kSetPrm, "08 0a 0a 00 12 34 00 84 20 02", false,
       "Set_Prm: wd_on, watchdog 100 ms, min_tsdr unchanged, ident 0x1234, group 0, "
       "dpv1_enable wd_base_1ms alarm_diagnostic, alarm_count 4"},
      {Service::kSetPrm, "40 00 00 00 00 00 00", false,
       "Set_Prm: unlock_req, watchdog off, min_tsdr unchanged, ident 0x0000, group 0"},
      {Service::kSetPrm, "b8 05 01 00 0c da", false, "Set_Prm: malformed: short"},
      {Service::kChkCfg, "13 13 23", false,
       "Chk_Cfg: 3 identifiers, input 8 bytes, output 4 bytes"},
      {Service::kGetCfg, "10", false, "Get_Cfg: 1 identifier, input 1 byte, output 0 bytes"},
      {Service::kGetCfg, "13 c0 41", false,
       "Get_Cfg: 1 identifier, input 4 bytes, output 0 bytes, malformed: cut off"},
      {Service::kChkCfg, "4f", false,
       "Chk_Cfg: 0 identifiers, input 0 bytes, output 0 bytes, malformed: reserved length"},
      {Service::kGlobalControl, "02 00", false, "Global_Control: clear_data, group 0"},
      {Service::kGlobalControl, "3c 03", false,
       "Global_Control: unfreeze freeze unsync sync, group 3"},
      {Service::kGlobalControl, "c1 00", false,
       "Global_Control: no flags, group 0, reserved_bits 0xc1"},
      {Service::kGlobalControl, "02", false, "Global_Control: malformed: short"},
      {Service::kSetSlaveAdd, "05 0c da 00", false, "Set_Slave_Add: new address 5, ident 0x0cda"},
      {Service::kSetSlaveAdd, "7e 12 34 01 aa", false,
       "Set_Slave_Add: new address 126, ident 0x1234, no_add_chg, user_data 1 byte"},
      {Service::kSetSlaveAdd, "05 0c da", false, "Set_Slave_Add: malformed: short"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(test::DecodeText(c.service, test::Bytes(c.unit), c.dpv1), c.text) << c.unit;
  }
}

}  // namespace
}  // namespace fdc::dp

namespace fdc::dp {
namespace {

// The DP-V1 acyclic services: each layout, an error reply, and units too short for their layout,
// as lines, with the JSON members of two of them.
TEST(Dpv1Acyclic, EachLayoutAndItsShortForm) {
  struct Case {
    const char* unit;
    const char* text;
  };
  const Case cases[] = {
      {"5e 01 02 04", "DP-V1 read: slot 1, index 2, length 4"},
      {"5e 01 02 02 aa bb", "DP-V1 read: slot 1, index 2, length 2, data 2 bytes"},
      {"5f 00 10 01 7f", "DP-V1 write: slot 0, index 16, length 1, data 1 byte"},
      {"51 03 04 00", "DP-V1 data_transport: slot 3, index 4, length 0"},
      {"5c 02 01 09", "DP-V1 alarm_ack: slot 2, alarm_type diagnostic, specifier 9"},
      {"5c 02 40 00", "DP-V1 alarm_ack: slot 2, alarm_type manufacturer 64, specifier 0"},
      {"df 80 b0 00", "DP-V1 write error: dpv1, access 0, code_2 0"},
      {"de fe a7 05", "DP-V1 read error: fms, application 7, code_2 5"},
      {"de 33 e1 00", "DP-V1 read error: reserved 51, reserved 14 1, code_2 0"},
      {"57 00 01 02", "DP-V1 initiate: data 3 bytes"},
      {"48", "DP-V1 idle"},
      {"33 01", "DP-V1 reserved 51: data 1 byte"},
      {"5e 01 02", "DP-V1: malformed: short"},
      {"de 80", "DP-V1: malformed: short"},
      {"", "DP-V1: malformed: short"},
  };
  for (const Case& c : cases) {
    const std::vector<std::uint8_t> unit = test::Bytes(c.unit);
    EXPECT_EQ(DescribeDpv1Acyclic(DecodeDpv1Acyclic(test::View(unit))), c.text) << c.unit;
  }
  const auto json = [](const char* hex) {
    const std::vector<std::uint8_t> unit = test::Bytes(hex);
    return nlohmann::json(DecodedJson(DecodeDpv1Acyclic(test::View(unit))));
  };
  EXPECT_EQ(json("5e 01 02 02 aa bb"), nlohmann::json::parse(R"({
      "function": 94, "function_name": "read", "error_reply": false, "error_decode": null,
      "error_decode_name": null, "error_class": null, "error_code": null, "error_code_2": null,
      "slot": 1, "index": 2, "length": 2, "alarm_type": null, "alarm_type_name": null,
      "specifier": null, "data": "aabb", "malformed": null, "remark": null})"));
  EXPECT_EQ(json("df 80 b3 02"), nlohmann::json::parse(R"({
      "function": 95, "function_name": "write", "error_reply": true, "error_decode": 128,
      "error_decode_name": "dpv1", "error_class": "access", "error_code": 3, "error_code_2": 2,
      "slot": null, "index": null, "length": null, "alarm_type": null, "alarm_type_name": null,
      "specifier": null, "data": "", "malformed": null, "remark": null})"));
}

}  // namespace
}  // namespace fdc::dp
