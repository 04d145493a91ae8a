// Data units written as hex text and decoded by service into their JSON and their line, for the
// tests of the DP decoders and of their JSON and texts.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "dp/dp_services.h"
#include "dp/dp_text.h"
#include "report/dp_json.h"

namespace fdc::dp::test {

// "02 05 ff" as bytes; blanks are skipped.
inline std::vector<std::uint8_t> Bytes(std::string_view hex) {
  std::vector<std::uint8_t> bytes;
  std::string digits;
  for (const char c : hex) {
    if (c == ' ') continue;
    digits += c;
    if (digits.size() == 2) {
      bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits, nullptr, 16)));
      digits.clear();
    }
  }
  return bytes;
}

inline ByteView View(const std::vector<std::uint8_t>& bytes) {
  return ByteView(bytes.data(), bytes.size());
}

// The JSON of a data unit of `service`: a request's for Set_Prm, Chk_Cfg, Global_Control and
// Set_Slave_Add, a reply's for Slave_Diag and Get_Cfg.
inline nlohmann::json DecodeJson(Service service, const std::vector<std::uint8_t>& unit,
                                 bool dpv1 = false) {
  switch (service) {
    case Service::kSlaveDiag:
      return DecodedJson(DecodeSlaveDiag(View(unit), dpv1));
    case Service::kSetPrm:
      return DecodedJson(DecodeSetPrm(View(unit)));
    case Service::kChkCfg:
    case Service::kGetCfg:
      return DecodedJson(DecodeConfig(View(unit)));
    case Service::kGlobalControl:
      return DecodedJson(DecodeGlobalControl(View(unit)));
    case Service::kSetSlaveAdd:
      return DecodedJson(DecodeSetSlaveAdd(View(unit)));
    default:
      return nullptr;
  }
}

inline std::string DecodeText(Service service, const std::vector<std::uint8_t>& unit,
                              bool dpv1 = false) {
  switch (service) {
    case Service::kSlaveDiag:
      return DescribeSlaveDiag(DecodeSlaveDiag(View(unit), dpv1));
    case Service::kSetPrm:
      return DescribeSetPrm(DecodeSetPrm(View(unit)));
    case Service::kChkCfg:
      return DescribeConfig(DecodeConfig(View(unit)), "Chk_Cfg");
    case Service::kGetCfg:
      return DescribeConfig(DecodeConfig(View(unit)), "Get_Cfg");
    case Service::kGlobalControl:
      return DescribeGlobalControl(DecodeGlobalControl(View(unit)));
    case Service::kSetSlaveAdd:
      return DescribeSetSlaveAdd(DecodeSetSlaveAdd(View(unit)));
    default:
      return {};
  }
}

}  // namespace fdc::dp::test
