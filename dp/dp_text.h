// One-line texts of the decoded DP services for people: the events of fdcstat and the desktop.
// Each reads "Service: part, part, ...", with `, malformed: REASON` and `, remark: TEXT` last.
#pragma once

#include <string>
#include <string_view>

#include "dp/dp_services.h"

namespace fdc::dp {

// "Slave_Diag: station_not_ready prm_req, master none, ident 0x0cda, channel 3.2 input line_break"
std::string DescribeSlaveDiag(const SlaveDiag& diag);
// "Set_Prm: wd_on lock_req, watchdog 50 ms, min_tsdr 11, ident 0x0cda, group 1, dpv1_enable"
std::string DescribeSetPrm(const SetPrm& prm);
// "Chk_Cfg: 3 identifiers, input 8 bytes, output 4 bytes"; `service` is "Chk_Cfg" or "Get_Cfg".
std::string DescribeConfig(const Config& config, std::string_view service);
// "Global_Control: clear_data, group 0"
std::string DescribeGlobalControl(const GlobalControl& control);
// "Set_Slave_Add: new address 5, ident 0x0cda"
std::string DescribeSetSlaveAdd(const SetSlaveAdd& add);
// "DP-V1 read: slot 1, index 2, length 4, data 4 bytes"; "DP-V1 write error: dpv1, access 9,
// code_2 0"; "DP-V1 alarm_ack: slot 2, alarm_type diagnostic, specifier 1"
std::string DescribeDpv1Acyclic(const Dpv1Acyclic& pdu);

}  // namespace fdc::dp
