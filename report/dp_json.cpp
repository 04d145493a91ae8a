// The decoded DP services as JSON.
#include "report/dp_json.h"

#include <cstddef>
#include <string>

namespace fdc {

namespace {

using json = nlohmann::ordered_json;

std::string HexText(const std::vector<std::uint8_t>& bytes) {
  static constexpr std::string_view kDigits = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const std::uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 0xFu];
  }
  return text;
}

std::string Name(std::string_view name) { return std::string(name); }

template <typename T>
json Optional(const std::optional<T>& value) {
  return value ? json(*value) : json(nullptr);
}

// Adds the malformed reason and the remark; a short data unit leaves every other member null.
json Finish(json object, dp::Malformed malformed, std::string_view remark) {
  if (malformed == dp::Malformed::kShort) {
    for (json& value : object) value = nullptr;
  }
  object["malformed"] =
      malformed == dp::Malformed::kNone ? json(nullptr) : json(Name(dp::MalformedName(malformed)));
  object["remark"] = remark.empty() ? json(nullptr) : json(Name(remark));
  return object;
}

json BlockJson(const dp::DiagBlock& block) {
  json object = json::object();
  object["block"] = Name(dp::kBlockKindNames[static_cast<std::size_t>(block.kind)]);
  if (block.kind != dp::BlockKind::kChannel) object["length"] = block.length;
  switch (block.kind) {
    case dp::BlockKind::kDevice:
      object["data"] = HexText(block.data);
      break;
    case dp::BlockKind::kIdentifier:
      object["modules"] = block.modules;
      break;
    case dp::BlockKind::kChannel:
      object["module"] = block.module;
      object["channel"] = block.channel;
      object["direction"] = Name(dp::ChannelDirectionName(block.direction));
      object["type"] = Name(dp::ChannelTypeName(block.type));
      object["error"] = block.error;
      object["error_name"] = Name(dp::ChannelErrorName(block.error));
      break;
    case dp::BlockKind::kAlarm:
      object["alarm_type"] = block.alarmType;
      object["alarm_type_name"] = Name(dp::AlarmTypeName(block.alarmType));
      object["slot"] = block.slot;
      object["specifier"] = Name(dp::AlarmSpecifierName(block.specifier));
      object["add_ack"] = block.addAck;
      object["sequence"] = block.sequence;
      object["data"] = HexText(block.data);
      break;
    case dp::BlockKind::kStatus:
      object["status_type"] = block.statusType;
      object["status_type_name"] = Name(dp::StatusTypeName(block.statusType));
      object["slot"] = block.slot;
      object["specifier"] = Name(dp::StatusSpecifierName(block.specifier));
      object["data"] = HexText(block.data);
      break;
  }
  return object;
}

json IdentifierJson(const dp::CfgIdentifier& id) {
  json object = json::object();
  object["hex"] = HexText(id.bytes);
  if (id.kind == dp::IdentifierKind::kGeneral) {
    object["kind"] = "general";
    object["direction"] = Name(dp::ChannelDirectionName(id.direction));
    object["length"] = id.length;
    object["unit"] = id.word ? "word" : "byte";
    object["consistent"] = id.consistent;
    object["bytes"] = id.byteCount;
  } else {
    object["kind"] = "special";
    object["output"] = id.output;
    object["input"] = id.input;
    object["manufacturer_data"] = HexText(id.manufacturerData);
  }
  return object;
}

}  // namespace

json GsdTextsJson(const std::vector<dp::GsdDiagText>& texts) {
  json list = json::array();
  for (const dp::GsdDiagText& t : texts) {
    json object = json::object();
    object["block"] = t.block;
    if (t.bit) {
      object["bit"] = *t.bit;
      object["clear"] = t.clear;  // a Unit_Diag_Not_Bit text
    }
    if (t.areaFirst) object["area"] = json::array({*t.areaFirst, t.areaLast.value_or(0)});
    if (t.channelError) object["channel_error"] = *t.channelError;
    object["text"] = t.text;
    object["help"] = t.help.empty() ? json(nullptr) : json(t.help);
    list.push_back(std::move(object));
  }
  return list;
}

json GsdParametersJson(const std::vector<dp::GsdParameter>& parameters) {
  json list = json::array();
  for (const dp::GsdParameter& p : parameters) {
    json object = json::object();
    object["module"] = Optional(p.module);
    object["slot"] = p.slot;
    object["name"] = p.name;
    object["value"] = p.value;
    object["text"] = Optional(p.text);
    list.push_back(std::move(object));
  }
  return list;
}

json DecodedJson(const dp::SlaveDiag& diag) {
  json object = json::object();
  for (std::size_t i = 0; i < dp::kDiagFlagNames.size(); ++i) {
    object[Name(dp::kDiagFlagNames[i])] = diag.Has(static_cast<dp::DiagFlag>(i));
  }
  object["master_address"] = Optional(diag.masterAddress);
  object["ident_number"] = diag.identNumber;
  json blocks = json::array();
  for (const dp::DiagBlock& block : diag.blocks) blocks.push_back(BlockJson(block));
  object["blocks"] = std::move(blocks);
  if (diag.texts) object["texts"] = GsdTextsJson(*diag.texts);
  return Finish(std::move(object), diag.malformed, diag.remark);
}

json DecodedJson(const dp::SetPrm& prm) {
  json object = json::object();
  for (const dp::SetPrmFlag& f : dp::kSetPrmFlags) object[Name(f.name)] = prm.*f.member;
  object["wd_fact_1"] = prm.wdFact1;
  object["wd_fact_2"] = prm.wdFact2;
  object["min_tsdr_bits"] = prm.minTsdrBits;
  object["ident_number"] = prm.identNumber;
  object["group_ident"] = prm.groupIdent;
  object["user_prm_data"] = HexText(prm.userPrmData);
  for (const dp::SetPrmDpv1Flag& f : dp::kSetPrmDpv1Flags) {
    object[Name(f.name)] = Optional(prm.*f.member);
  }
  object["alarm_count"] = Optional(prm.alarmCount);
  object["watchdog_ms"] = Optional(prm.watchdogMs);
  if (prm.parameters) object["parameters"] = GsdParametersJson(*prm.parameters);
  return Finish(std::move(object), prm.malformed, prm.remark);
}

json DecodedJson(const dp::Config& config) {
  json object = json::object();
  json identifiers = json::array();
  for (const dp::CfgIdentifier& id : config.identifiers) identifiers.push_back(IdentifierJson(id));
  object["identifiers"] = std::move(identifiers);
  object["input_bytes"] = config.inputBytes;
  object["output_bytes"] = config.outputBytes;
  return Finish(std::move(object), config.malformed, config.remark);
}

json DecodedJson(const dp::GlobalControl& control) {
  json object = json::object();
  for (const dp::GlobalControlCommand& c : dp::kGlobalControlCommands) {
    object[Name(c.name)] = control.*c.member;
  }
  object["reserved_bits"] = control.reservedBits;
  object["group_select"] = control.groupSelect;
  return Finish(std::move(object), control.malformed, control.remark);
}

json DecodedJson(const dp::SetSlaveAdd& add) {
  json object = json::object();
  object["new_address"] = add.newAddress;
  object["ident_number"] = add.identNumber;
  object["no_add_chg"] = add.noAddChg;
  object["user_data"] = HexText(add.userData);
  return Finish(std::move(object), add.malformed, add.remark);
}

// Members outside the request's or reply's layout are null.
json DecodedJson(const dp::Dpv1Acyclic& pdu) {
  const auto when = [](bool present, auto value) { return present ? json(value) : json(nullptr); };
  const bool error = pdu.errorReply;
  const bool index = pdu.HasIndex();
  const bool alarm = pdu.HasSlot() && !index;
  json object = json::object();
  object["function"] = pdu.function;
  object["function_name"] = Name(dp::Dpv1FunctionNameOf(pdu.function));
  object["error_reply"] = error;
  object["error_decode"] = when(error, pdu.errorDecode);
  object["error_decode_name"] = when(error, Name(dp::Dpv1ErrorDecodeName(pdu.errorDecode)));
  object["error_class"] = when(error, Name(dp::Dpv1ErrorClassName(pdu.errorCode1)));
  object["error_code"] = when(error, pdu.errorCode1 & 0xFu);
  object["error_code_2"] = when(error, pdu.errorCode2);
  object["slot"] = when(pdu.HasSlot(), pdu.slot);
  object["index"] = when(index, pdu.index);
  object["length"] = when(index, pdu.length);
  object["alarm_type"] = when(alarm, pdu.alarmType);
  object["alarm_type_name"] = when(alarm, Name(dp::AlarmTypeName(pdu.alarmType)));
  object["specifier"] = when(alarm, pdu.specifier);
  object["data"] = HexText(pdu.data);
  return Finish(std::move(object), pdu.malformed, pdu.remark);
}

}  // namespace fdc
