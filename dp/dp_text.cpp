// The one-line texts of the decoded DP services.
#include "dp/dp_text.h"

#include <cstddef>
#include <vector>

namespace fdc::dp {

namespace {

using Parts = std::vector<std::string>;

std::string Dec(std::uint64_t value) { return std::to_string(value); }

// 0x and `digits` lowercase hex digits, as ident numbers are written everywhere.
std::string Hex(unsigned value, int digits) {
  static constexpr std::string_view kDigits = "0123456789abcdef";
  std::string text = "0x";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
    text += kDigits[(value >> shift) & 0xFu];
  return text;
}

std::string Count(std::uint64_t count, std::string_view unit) {
  std::string text = Dec(count);
  text += ' ';
  text += unit;
  if (count != 1) text += 's';
  return text;
}

// The names joined by blanks; `none` when there are none.
std::string Words(const std::vector<std::string_view>& names, std::string_view none) {
  if (names.empty()) return std::string(none);
  std::string text;
  for (const std::string_view name : names) {
    if (!text.empty()) text += ' ';
    text += name;
  }
  return text;
}

// A name that covers a range of values ("manufacturer", "reserved") is followed by the value.
std::string Named(std::string_view name, unsigned value) {
  std::string text(name);
  if (name == "manufacturer" || name == "reserved") text += ' ' + Dec(value);
  return text;
}

// "Service: part, part", then the malformed reason and the remark; a short data unit has no parts
// but its reason.
std::string Line(std::string_view service, Parts parts, Malformed malformed,
                 std::string_view remark) {
  if (malformed != Malformed::kNone) {
    parts.push_back("malformed: " + std::string(MalformedName(malformed)));
  }
  if (!remark.empty()) parts.push_back("remark: " + std::string(remark));
  std::string text(service);
  if (!parts.empty()) text += ':';  // a service with nothing more to say ends with its name
  for (std::size_t i = 0; i < parts.size(); ++i) {
    text += i == 0 ? " " : ", ";
    text += parts[i];
  }
  return text;
}

constexpr std::string_view kNoFlags = "no flags";

std::string BlockText(const DiagBlock& block) {
  switch (block.kind) {
    case BlockKind::kDevice:
      return "device " + Count(block.data.size(), "byte");
    case BlockKind::kIdentifier: {
      std::string text = "identifier modules";
      if (block.modules.empty()) text += " none";
      for (const std::uint16_t module : block.modules) text += ' ' + Dec(module);
      return text;
    }
    case BlockKind::kChannel:
      return "channel " + Dec(block.module) + '.' + Dec(block.channel) + ' ' +
             std::string(ChannelDirectionName(block.direction)) + ' ' +
             Named(ChannelErrorName(block.error), block.error);
    case BlockKind::kAlarm:
      return "alarm " + Named(AlarmTypeName(block.alarmType), block.alarmType) + " slot " +
             Dec(block.slot) + ' ' + std::string(AlarmSpecifierName(block.specifier));
    case BlockKind::kStatus:
      return "status " + Named(StatusTypeName(block.statusType), block.statusType) + " slot " +
             Dec(block.slot) + ' ' + std::string(StatusSpecifierName(block.specifier));
  }
  return {};
}

}  // namespace

std::string DescribeSlaveDiag(const SlaveDiag& diag) {
  Parts parts;
  if (diag.malformed != Malformed::kShort) {
    std::vector<std::string_view> flags;
    for (std::size_t i = 0; i < kDiagFlagNames.size(); ++i) {
      if (diag.Has(static_cast<DiagFlag>(i))) flags.push_back(kDiagFlagNames[i]);
    }
    parts.push_back(Words(flags, kNoFlags));
    parts.push_back("master " + (diag.masterAddress ? Dec(*diag.masterAddress) : "none"));
    parts.push_back("ident " + Hex(diag.identNumber, 4));
    for (const DiagBlock& block : diag.blocks) parts.push_back(BlockText(block));
    if (diag.texts) {
      for (const GsdDiagText& t : *diag.texts) parts.push_back("\"" + t.text + "\"");
    }
  }
  return Line("Slave_Diag", std::move(parts), diag.malformed, diag.remark);
}

std::string DescribeSetPrm(const SetPrm& prm) {
  Parts parts;
  if (prm.malformed != Malformed::kShort) {
    std::vector<std::string_view> flags;
    for (const SetPrmFlag& f : kSetPrmFlags) {
      if (prm.*f.member) flags.push_back(f.name);
    }
    parts.push_back(Words(flags, kNoFlags));
    parts.push_back(prm.watchdogMs ? "watchdog " + Dec(*prm.watchdogMs) + " ms" : "watchdog off");
    parts.push_back("min_tsdr " + (prm.minTsdrBits != 0 ? Dec(prm.minTsdrBits) : "unchanged"));
    parts.push_back("ident " + Hex(prm.identNumber, 4));
    parts.push_back("group " + Dec(prm.groupIdent));
    std::vector<std::string_view> dpv1;
    for (const SetPrmDpv1Flag& f : kSetPrmDpv1Flags) {
      if ((prm.*f.member).value_or(false)) dpv1.push_back(f.name);
    }
    if (!dpv1.empty()) parts.push_back(Words(dpv1, ""));
    // Without DP-V1 the slave sends no alarms, and the count means nothing.
    if (prm.dpv1Enable.value_or(false) && prm.alarmCount) {
      parts.push_back("alarm_count " + Dec(*prm.alarmCount));
    }
    if (prm.parameters) {
      for (const GsdParameter& p : *prm.parameters) {
        parts.push_back((p.module ? Dec(p.slot) + " " : std::string()) + p.name + " " +
                        std::to_string(p.value) + (p.text ? " \"" + *p.text + "\"" : ""));
      }
    }
  }
  return Line("Set_Prm", std::move(parts), prm.malformed, prm.remark);
}

std::string DescribeConfig(const Config& config, std::string_view service) {
  Parts parts;
  if (config.malformed != Malformed::kShort) {
    parts.push_back(Count(config.identifiers.size(), "identifier"));
    parts.push_back("input " + Count(config.inputBytes, "byte"));
    parts.push_back("output " + Count(config.outputBytes, "byte"));
  }
  return Line(service, std::move(parts), config.malformed, config.remark);
}

std::string DescribeGlobalControl(const GlobalControl& control) {
  Parts parts;
  if (control.malformed != Malformed::kShort) {
    std::vector<std::string_view> commands;
    for (const GlobalControlCommand& c : kGlobalControlCommands) {
      if (control.*c.member) commands.push_back(c.name);
    }
    parts.push_back(Words(commands, kNoFlags));
    parts.push_back("group " + Dec(control.groupSelect));
    if (control.reservedBits != 0) parts.push_back("reserved_bits " + Hex(control.reservedBits, 2));
  }
  return Line("Global_Control", std::move(parts), control.malformed, control.remark);
}

std::string DescribeSetSlaveAdd(const SetSlaveAdd& add) {
  Parts parts;
  if (add.malformed != Malformed::kShort) {
    parts.push_back("new address " + Dec(add.newAddress));
    parts.push_back("ident " + Hex(add.identNumber, 4));
    if (add.noAddChg != 0) parts.push_back("no_add_chg");
    if (!add.userData.empty()) parts.push_back("user_data " + Count(add.userData.size(), "byte"));
  }
  return Line("Set_Slave_Add", std::move(parts), add.malformed, add.remark);
}

std::string DescribeDpv1Acyclic(const Dpv1Acyclic& pdu) {
  Parts parts;
  std::string service = "DP-V1";
  if (pdu.malformed != Malformed::kShort) {
    service += ' ' + Named(Dpv1FunctionNameOf(pdu.function), pdu.function);
    if (pdu.errorReply) {
      service += " error";
      parts.push_back(Named(Dpv1ErrorDecodeName(pdu.errorDecode), pdu.errorDecode));
      parts.push_back(Named(Dpv1ErrorClassName(pdu.errorCode1), pdu.errorCode1 >> 4) + ' ' +
                      Dec(pdu.errorCode1 & 0xFu));
      parts.push_back("code_2 " + Dec(pdu.errorCode2));
    } else if (pdu.HasIndex()) {
      parts.push_back("slot " + Dec(pdu.slot));
      parts.push_back("index " + Dec(pdu.index));
      parts.push_back("length " + Dec(pdu.length));
    } else if (pdu.HasSlot()) {
      parts.push_back("slot " + Dec(pdu.slot));
      parts.push_back("alarm_type " + Named(AlarmTypeName(pdu.alarmType), pdu.alarmType));
      parts.push_back("specifier " + Dec(pdu.specifier));
    }
    if (!pdu.data.empty()) parts.push_back("data " + Count(pdu.data.size(), "byte"));
  }
  return Line(service, std::move(parts), pdu.malformed, pdu.remark);
}

}  // namespace fdc::dp
