// The DP services above the FDL telegram: their service access points, the names of their bits
// and error types, and decoders of their data units. Each decoder is a pure function from the
// data unit (the bytes after the SAPs) to a plain struct; it never throws and never reads past
// the view it is given.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture/capture_format.h"

namespace fdc::dp {

// The service access points of the DP services (the master's DSAP).
inline constexpr std::uint8_t kSapSetSlaveAdd = 55;
inline constexpr std::uint8_t kSapRdInp = 56;
inline constexpr std::uint8_t kSapRdOutp = 57;
inline constexpr std::uint8_t kSapGlobalControl = 58;
inline constexpr std::uint8_t kSapGetCfg = 59;
inline constexpr std::uint8_t kSapSlaveDiag = 60;
inline constexpr std::uint8_t kSapSetPrm = 61;
inline constexpr std::uint8_t kSapChkCfg = 62;

// The service of a DP request, by its DSAP; data_exchange has none.
enum class Service : std::uint8_t {
  kSetSlaveAdd,
  kRdInp,
  kRdOutp,
  kGlobalControl,
  kGetCfg,
  kSlaveDiag,
  kSetPrm,
  kChkCfg,
  kDataExchange,
};
inline constexpr std::array<std::string_view, 9> kServiceNames = {
    "set_slave_add", "rd_inp",  "rd_outp", "global_control", "get_cfg",
    "slave_diag",    "set_prm", "chk_cfg", "data_exchange"};
constexpr std::string_view ServiceName(Service s) { return kServiceNames[static_cast<int>(s)]; }
// The service of a DSAP in 55..62; none for any other.
constexpr std::optional<Service> ServiceOfSap(std::uint8_t dsap) {
  if (dsap < kSapSetSlaveAdd || dsap > kSapChkCfg) return std::nullopt;
  return static_cast<Service>(dsap - kSapSetSlaveAdd);
}

// Why a data unit does not decode completely. On kShort every field is absent.
enum class Malformed : std::uint8_t { kNone, kShort, kBlockLength0, kCutOff, kReservedLength };
inline constexpr std::array<std::string_view, 5> kMalformedNames = {"", "short", "block length 0",
                                                                    "cut off", "reserved length"};
constexpr std::string_view MalformedName(Malformed m) {
  return kMalformedNames[static_cast<int>(m)];
}

// The diagnosis flags of a Slave_Diag reply, in the decoder's bit order: byte 1 bits 0..7, byte 2
// bits 0..5 and 7 (bit 2 named for being clear), byte 3 bit 7.
enum DiagFlag : std::uint8_t {
  kStationNonExistent,
  kStationNotReady,
  kCfgFault,
  kExtDiag,
  kNotSupported,
  kInvalidSlaveResponse,
  kPrmFault,
  kMasterLock,
  kPrmReq,
  kStatDiag,
  kBit2Clear,
  kWdOn,
  kFreezeMode,
  kSyncMode,
  kDeactivated,
  kExtDiagOverflow,
  kDiagFlagCount,
};
inline constexpr std::array<std::string_view, kDiagFlagCount> kDiagFlagNames = {
    "station_non_existent",
    "station_not_ready",
    "cfg_fault",
    "ext_diag",
    "not_supported",
    "invalid_slave_response",
    "prm_fault",
    "master_lock",
    "prm_req",
    "stat_diag",
    "bit2_clear",
    "wd_on",
    "freeze_mode",
    "sync_mode",
    "deactivated",
    "ext_diag_overflow"};
// The byte of the data unit that holds a flag's bit (0 to 2).
constexpr std::size_t DiagFlagByte(DiagFlag flag) {
  return flag < kPrmReq ? 0 : flag < kExtDiagOverflow ? 1 : 2;
}

enum class BlockKind : std::uint8_t { kDevice, kIdentifier, kChannel, kAlarm, kStatus };
inline constexpr std::array<std::string_view, 5> kBlockKindNames = {"device", "identifier",
                                                                    "channel", "alarm", "status"};

// One block of the extended diagnosis. Only the members of its kind are filled.
struct DiagBlock {
  BlockKind kind = BlockKind::kDevice;
  std::uint8_t length = 0;             // the header's length (device, identifier, alarm, status)
  std::vector<std::uint8_t> data;      // device: the bytes after the header; alarm, status: after
                                       // byte 4
  std::vector<std::uint16_t> modules;  // identifier: the modules with a set bit
  // channel
  std::uint8_t module = 0;
  std::uint8_t channel = 0;
  std::uint8_t direction = 0;  // 0 reserved, 1 input, 2 output, 3 input_output
  std::uint8_t type = 0;       // 1 bit .. 6 2_words; 0 and 7 reserved
  std::uint8_t error = 0;      // bits 4-0 of byte 3
  // alarm (alarmType = byte 2) and status (statusType = byte 2 AND 0x7F)
  std::uint8_t alarmType = 0;
  std::uint8_t statusType = 0;
  std::uint8_t slot = 0;
  std::uint8_t specifier = 0;
  bool addAck = false;        // alarm only
  std::uint8_t sequence = 0;  // alarm only
  bool operator==(const DiagBlock&) const = default;
};
std::string_view ChannelDirectionName(std::uint8_t direction);  // "input", ..., "reserved"
std::string_view ChannelTypeName(std::uint8_t type);            // "bit", "2_bits", ..., "reserved"
std::string_view ChannelErrorName(std::uint8_t error);  // "short_circuit", ..., "manufacturer"
std::string_view AlarmTypeName(std::uint8_t type);      // "diagnostic", ..., "reserved"
std::string_view StatusTypeName(std::uint8_t type);     // "status_message", ..., "reserved"
std::string_view AlarmSpecifierName(std::uint8_t specifier);   // "none", "appears", ...
std::string_view StatusSpecifierName(std::uint8_t specifier);  // "none", ..., "reserved"

// A text the slave's GSD file gives to a Slave_Diag reply (dp/gsd.h).
struct GsdDiagText {
  std::size_t block = 0;                             // index into SlaveDiag::blocks
  std::optional<std::uint32_t> bit;                  // Unit_Diag_Bit / Unit_Diag_Not_Bit
  bool clear = false;                                // the bit is clear: its Unit_Diag_Not_Bit text
  std::optional<std::uint32_t> areaFirst, areaLast;  // Unit_Diag_Area
  std::optional<std::uint8_t> channelError;          // a channel block's error 16..31
  std::string text;
  std::string help;  // Unit_Diag_Bit_Help, or empty
  bool operator==(const GsdDiagText&) const = default;
};
struct SlaveDiag {
  Malformed malformed = Malformed::kNone;
  std::string_view remark;                    // "reserved block", or empty
  std::uint16_t flags = 0;                    // bit i: DiagFlag i
  std::optional<std::uint8_t> masterAddress;  // 255 on the wire: none
  std::uint16_t identNumber = 0;
  std::vector<DiagBlock> blocks;
  std::optional<std::vector<GsdDiagText>> texts;  // when the slave has a GSD file
  bool Has(DiagFlag flag) const { return (flags >> flag) & 1u; }
  bool operator==(const SlaveDiag&) const = default;
};
// `dpv1`: the slave's parameters enable DP-V1, so that device-related blocks of 4 bytes or more
// are alarms and status blocks.
SlaveDiag DecodeSlaveDiag(ByteView unit, bool dpv1);
// The flags of a reply of at least 6 bytes, without its blocks (the tracker counts them on every
// reply); 0 for a shorter one.
std::uint16_t DiagFlagsOf(ByteView unit);

// One user parameter of a Set_Prm, decoded by the slave's GSD file (dp/gsd.h).
struct GsdParameter {
  std::optional<std::string> module;  // none: the device's
  std::size_t slot = 0;               // 1-based position of the module in the split; 0: device
  std::string name;
  std::int64_t value = 0;
  std::optional<std::string> text;  // the PrmText for the value
  bool operator==(const GsdParameter&) const = default;
};
struct SetPrm {
  Malformed malformed = Malformed::kNone;
  std::string_view remark;
  bool wdOn = false, freezeReq = false, syncReq = false, unlockReq = false, lockReq = false;
  std::uint8_t wdFact1 = 0, wdFact2 = 0;
  std::uint8_t minTsdrBits = 0;  // 0: unchanged
  std::uint16_t identNumber = 0;
  std::uint8_t groupIdent = 0;
  std::vector<std::uint8_t> userPrmData;  // bytes 8 on
  // Byte 8 read as DP-V1 Status_1, byte 9 as Status_2, byte 10 as Status_3, when present.
  std::optional<bool> dpv1Enable, failSafe, publisher, wdBase1ms;
  std::optional<bool> reducedChkCfg, alarmUpdate, alarmStatus, alarmManufacturer, alarmDiagnostic,
      alarmProcess, alarmPullPlug;
  std::optional<std::uint8_t> alarmCount;  // 1, 2, 4, 8, 12, 16, 24, 32
  std::optional<bool> prmBlock, isochronous, redundancy;
  std::optional<std::uint32_t> watchdogMs;
  std::optional<std::vector<GsdParameter>> parameters;  // when the slave has a GSD file
  bool operator==(const SetPrm&) const = default;
};
SetPrm DecodeSetPrm(ByteView unit);

// The flags of a Set_Prm request by name, in bit order: those of byte 1, then those of the DP-V1
// status bytes (absent when the request is too short to hold them). Alarm_count is a number.
struct SetPrmFlag {
  std::string_view name;
  bool SetPrm::*member;
};
inline constexpr std::array<SetPrmFlag, 5> kSetPrmFlags = {{
    {"wd_on", &SetPrm::wdOn},
    {"freeze_req", &SetPrm::freezeReq},
    {"sync_req", &SetPrm::syncReq},
    {"unlock_req", &SetPrm::unlockReq},
    {"lock_req", &SetPrm::lockReq},
}};
struct SetPrmDpv1Flag {
  std::string_view name;
  std::optional<bool> SetPrm::*member;
};
inline constexpr std::array<SetPrmDpv1Flag, 14> kSetPrmDpv1Flags = {{
    {"dpv1_enable", &SetPrm::dpv1Enable},
    {"fail_safe", &SetPrm::failSafe},
    {"publisher", &SetPrm::publisher},
    {"wd_base_1ms", &SetPrm::wdBase1ms},
    {"reduced_chk_cfg", &SetPrm::reducedChkCfg},
    {"alarm_update", &SetPrm::alarmUpdate},
    {"alarm_status", &SetPrm::alarmStatus},
    {"alarm_manufacturer", &SetPrm::alarmManufacturer},
    {"alarm_diagnostic", &SetPrm::alarmDiagnostic},
    {"alarm_process", &SetPrm::alarmProcess},
    {"alarm_pull_plug", &SetPrm::alarmPullPlug},
    {"prm_block", &SetPrm::prmBlock},
    {"isochronous", &SetPrm::isochronous},
    {"redundancy", &SetPrm::redundancy},
}};

enum class IdentifierKind : std::uint8_t { kGeneral, kSpecial };
struct CfgIdentifier {
  IdentifierKind kind = IdentifierKind::kGeneral;
  std::vector<std::uint8_t> bytes;  // the identifier's own bytes, as sent
  // general
  std::uint8_t direction = 0;  // 1 input, 2 output, 3 input_output
  std::uint8_t length = 0;     // units
  bool word = false;
  bool consistent = false;
  std::uint32_t byteCount = 0;  // length × unit size
  // special
  std::uint32_t output = 0;  // bytes
  std::uint32_t input = 0;
  std::vector<std::uint8_t> manufacturerData;
  bool operator==(const CfgIdentifier&) const = default;
};
struct Config {
  Malformed malformed = Malformed::kNone;
  std::string_view remark;
  std::vector<CfgIdentifier> identifiers;
  std::uint32_t inputBytes = 0;
  std::uint32_t outputBytes = 0;
  bool operator==(const Config&) const = default;
};
// A Chk_Cfg request's or a Get_Cfg reply's data unit.
Config DecodeConfig(ByteView unit);

struct GlobalControl {
  Malformed malformed = Malformed::kNone;
  std::string_view remark;
  bool clearData = false, unfreeze = false, freeze = false, unsync = false, sync = false;
  std::uint8_t reservedBits = 0;  // byte 1 AND 0xC1
  std::uint8_t groupSelect = 0;   // 0: all groups
  bool operator==(const GlobalControl&) const = default;
};
GlobalControl DecodeGlobalControl(ByteView unit);

// The commands of a Global_Control request by name, in bit order.
struct GlobalControlCommand {
  std::string_view name;
  bool GlobalControl::*member;
};
inline constexpr std::array<GlobalControlCommand, 5> kGlobalControlCommands = {{
    {"clear_data", &GlobalControl::clearData},
    {"unfreeze", &GlobalControl::unfreeze},
    {"freeze", &GlobalControl::freeze},
    {"unsync", &GlobalControl::unsync},
    {"sync", &GlobalControl::sync},
}};

struct SetSlaveAdd {
  Malformed malformed = Malformed::kNone;
  std::string_view remark;
  std::uint8_t newAddress = 0;
  std::uint16_t identNumber = 0;
  std::uint8_t noAddChg = 0;
  std::vector<std::uint8_t> userData;
  bool operator==(const SetSlaveAdd&) const = default;
};
SetSlaveAdd DecodeSetSlaveAdd(ByteView unit);

// --- DP-V1 acyclic services ---------------------------------------------------------------------

// The SAPs of the acyclic services: a class-2 master's initiate, alarms, a class-1 connection.
inline constexpr std::uint8_t kSapDpv1Initiate = 49;
inline constexpr std::uint8_t kSapDpv1Alarm = 50;
inline constexpr std::uint8_t kSapDpv1Class1 = 51;
constexpr bool IsDpv1Sap(std::uint8_t sap) {
  return sap >= kSapDpv1Initiate && sap <= kSapDpv1Class1;
}

struct Dpv1FunctionName {
  std::uint8_t code;  // byte 1 without the error bit
  std::string_view name;
};
inline constexpr std::array<Dpv1FunctionName, 7> kDpv1Functions = {{
    {0x5E, "read"},
    {0x5F, "write"},
    {0x5C, "alarm_ack"},
    {0x51, "data_transport"},
    {0x57, "initiate"},
    {0x58, "abort"},
    {0x48, "idle"},
}};
inline constexpr std::uint8_t kDpv1ErrorBit = 0x80;  // byte 1 of an error reply

std::string_view Dpv1FunctionNameOf(std::uint8_t function);  // "read", ..., "reserved"
std::string_view Dpv1ErrorDecodeName(std::uint8_t decode);   // "dpv1", "fms", "hart", "reserved"
// The class of Error_Code_1 (bits 7-4): "application", "access", "resource", "user", "reserved".
std::string_view Dpv1ErrorClassName(std::uint8_t errorCode1);

// A request or reply of the acyclic services (DSAP or SSAP 49, 50 or 51). Only the members of its
// layout are filled; what follows them is `data`.
struct Dpv1Acyclic {
  Malformed malformed = Malformed::kNone;
  std::string_view remark;
  std::uint8_t function = 0;  // byte 1 without the error bit
  bool errorReply = false;
  // error reply
  std::uint8_t errorDecode = 0;
  std::uint8_t errorCode1 = 0;
  std::uint8_t errorCode2 = 0;
  // read, write, data transport (slot also for alarm acknowledge)
  std::uint8_t slot = 0;
  std::uint8_t index = 0;
  std::uint8_t length = 0;
  // alarm acknowledge
  std::uint8_t alarmType = 0;
  std::uint8_t specifier = 0;
  std::vector<std::uint8_t> data;
  // The layout with slot, index and length, or slot, alarm type and specifier.
  bool HasSlot() const;
  bool HasIndex() const;
};
Dpv1Acyclic DecodeDpv1Acyclic(ByteView unit);

}  // namespace fdc::dp
