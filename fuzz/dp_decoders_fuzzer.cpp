// Fuzz target for the DP services' decoders: any bytes as the data unit of every service, decoded
// with and without DP-V1, described in one line and written as JSON. What a decoder reports must
// agree with the bytes it had: never more bytes taken than given, totals that add up, one line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "dp/dp_services.h"
#include "dp/dp_text.h"
#include "report/dp_json.h"

namespace {

using namespace fdc::dp;

void Check(bool ok) {
  if (!ok) std::abort();
}

// The line must stay one line, and the JSON must hold the members every object carries.
void CheckForms(const std::string& line, const nlohmann::json& json) {
  Check(line.find('\n') == std::string::npos);
  Check(json.contains("malformed") && json.contains("remark"));
  Check(!json.dump().empty());
}

std::size_t BlockSize(const DiagBlock& block) {
  return block.kind == BlockKind::kChannel ? 3 : block.length;
}

void CheckDiag(const SlaveDiag& diag, fdc::ByteView unit, bool dpv1) {
  Check((diag.malformed == Malformed::kShort) == (unit.size() < 6));
  Check(diag.flags == DiagFlagsOf(unit));
  std::size_t taken = 6;
  for (const DiagBlock& block : diag.blocks) {
    Check(dpv1 || (block.kind != BlockKind::kAlarm && block.kind != BlockKind::kStatus));
    taken += BlockSize(block);
  }
  if (diag.malformed == Malformed::kShort) return;
  Check(taken <= unit.size());
  Check(taken == unit.size() || diag.malformed != Malformed::kNone || !diag.remark.empty());
}

void CheckConfig(const Config& config, fdc::ByteView unit) {
  std::size_t taken = 0;
  std::uint32_t input = 0;
  std::uint32_t output = 0;
  for (const CfgIdentifier& id : config.identifiers) {
    taken += id.bytes.size();
    if (id.kind == IdentifierKind::kSpecial) {
      input += id.input;
      output += id.output;
    } else {
      input += (id.direction & 1u) != 0 ? id.byteCount : 0;
      output += (id.direction & 2u) != 0 ? id.byteCount : 0;
    }
  }
  Check(input == config.inputBytes && output == config.outputBytes);
  Check(taken == unit.size() || config.malformed != Malformed::kNone);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fdc::ByteView unit(data, size);
  for (const bool dpv1 : {false, true}) {
    const SlaveDiag diag = DecodeSlaveDiag(unit, dpv1);
    CheckDiag(diag, unit, dpv1);
    CheckForms(DescribeSlaveDiag(diag), fdc::DecodedJson(diag));
  }
  const SetPrm prm = DecodeSetPrm(unit);
  Check(prm.malformed == Malformed::kShort || prm.userPrmData.size() + 7 == size);
  CheckForms(DescribeSetPrm(prm), fdc::DecodedJson(prm));
  const Config config = DecodeConfig(unit);
  CheckConfig(config, unit);
  CheckForms(DescribeConfig(config, "Chk_Cfg"), fdc::DecodedJson(config));
  CheckForms(DescribeConfig(config, "Get_Cfg"), fdc::DecodedJson(config));
  const GlobalControl control = DecodeGlobalControl(unit);
  CheckForms(DescribeGlobalControl(control), fdc::DecodedJson(control));
  const SetSlaveAdd add = DecodeSetSlaveAdd(unit);
  Check(add.malformed == Malformed::kShort || add.userData.size() + 4 == size);
  CheckForms(DescribeSetSlaveAdd(add), fdc::DecodedJson(add));
  const Dpv1Acyclic pdu = DecodeDpv1Acyclic(unit);
  Check(pdu.malformed == Malformed::kShort || pdu.data.size() < size);
  CheckForms(DescribeDpv1Acyclic(pdu), fdc::DecodedJson(pdu));
  return 0;
}
