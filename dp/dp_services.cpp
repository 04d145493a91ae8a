// The decoders of the DP services' data units and the names of their values.
#include "dp/dp_services.h"

#include <cstddef>
#include <utility>

namespace fdc::dp {

namespace {

// --- Bytes ---------------------------------------------------------------------------------------

// The DP services send their numbers most significant byte first, unlike the capture file.
constexpr std::uint16_t U16Be(ByteView view, std::size_t i) {
  return static_cast<std::uint16_t>((view.U8(i) << 8) | view.U8(i + 1));
}

constexpr bool Bit(std::uint8_t byte, unsigned bit) { return ((byte >> bit) & 1u) != 0; }

std::vector<std::uint8_t> BytesOf(ByteView view) {
  std::vector<std::uint8_t> bytes(view.size());
  for (std::size_t i = 0; i < view.size(); ++i) bytes[i] = view.U8(i);
  return bytes;
}

// The bytes from `pos` to the end of the view.
constexpr ByteView From(ByteView view, std::size_t pos) { return view.Sub(pos, view.size()); }

// --- Names ---------------------------------------------------------------------------------------

// A name for the values first..last; a value no row covers is "reserved".
struct ValueName {
  std::uint8_t first;
  std::uint8_t last;
  std::string_view name;
};

template <std::size_t N>
constexpr std::string_view NameOf(const std::array<ValueName, N>& table, std::uint8_t value) {
  for (const ValueName& row : table) {
    if (value >= row.first && value <= row.last) return row.name;
  }
  return "reserved";
}

constexpr std::array<ValueName, 3> kDirections = {{
    {1, 1, "input"},
    {2, 2, "output"},
    {3, 3, "input_output"},
}};

constexpr std::array<ValueName, 6> kChannelTypes = {{
    {1, 1, "bit"},
    {2, 2, "2_bits"},
    {3, 3, "4_bits"},
    {4, 4, "byte"},
    {5, 5, "word"},
    {6, 6, "2_words"},
}};

constexpr std::array<ValueName, 10> kChannelErrors = {{
    {1, 1, "short_circuit"},
    {2, 2, "undervoltage"},
    {3, 3, "overvoltage"},
    {4, 4, "overload"},
    {5, 5, "overtemperature"},
    {6, 6, "line_break"},
    {7, 7, "upper_limit"},
    {8, 8, "lower_limit"},
    {9, 9, "error"},
    {16, 31, "manufacturer"},
}};

constexpr std::array<ValueName, 7> kAlarmTypes = {{
    {1, 1, "diagnostic"},
    {2, 2, "process"},
    {3, 3, "pull"},
    {4, 4, "plug"},
    {5, 5, "status"},
    {6, 6, "update"},
    {32, 126, "manufacturer"},
}};

constexpr std::array<ValueName, 6> kStatusTypes = {{
    {1, 1, "status_message"},
    {2, 2, "module_status"},
    {3, 3, "dxb_link_status"},
    {30, 30, "prm_command_ack"},
    {31, 31, "status_read"},
    {32, 126, "manufacturer"},
}};

constexpr std::array<ValueName, 4> kAlarmSpecifiers = {{
    {0, 0, "none"},
    {1, 1, "appears"},
    {2, 2, "disappears"},
    {3, 3, "disappears_others_remain"},
}};

constexpr std::array<ValueName, 3> kStatusSpecifiers = {{
    {0, 0, "none"},
    {1, 1, "appears"},
    {2, 2, "disappears"},
}};

// --- Slave_Diag ----------------------------------------------------------------------------------

constexpr std::size_t kDiagHeaderSize = 6;
constexpr std::uint8_t kNoMaster = 255;
constexpr std::uint8_t kBlockLengthMask = 0x3F;
constexpr std::size_t kChannelBlockSize = 3;
// A DP-V1 alarm or status block has its type, slot and specifier before any data.
constexpr std::size_t kAlarmHeaderSize = 4;

// Where each diagnosis flag stands: byte, bit, and whether the flag means the bit is clear.
struct FlagBit {
  std::uint8_t byte;
  std::uint8_t bit;
  DiagFlag flag;
  bool whenClear;
};
constexpr std::array<FlagBit, kDiagFlagCount> kFlagBits = {{
    {0, 0, kStationNonExistent, false},
    {0, 1, kStationNotReady, false},
    {0, 2, kCfgFault, false},
    {0, 3, kExtDiag, false},
    {0, 4, kNotSupported, false},
    {0, 5, kInvalidSlaveResponse, false},
    {0, 6, kPrmFault, false},
    {0, 7, kMasterLock, false},
    {1, 0, kPrmReq, false},
    {1, 1, kStatDiag, false},
    // A conforming slave always sends bit 2 set; a clear one is worth telling.
    {1, 2, kBit2Clear, true},
    {1, 3, kWdOn, false},
    {1, 4, kFreezeMode, false},
    {1, 5, kSyncMode, false},
    {1, 7, kDeactivated, false},
    {2, 7, kExtDiagOverflow, false},
}};

constexpr bool FlagBytesAgree() {
  for (const FlagBit& f : kFlagBits) {
    if (DiagFlagByte(f.flag) != f.byte) return false;
  }
  return true;
}
static_assert(FlagBytesAgree(), "DiagFlagByte must name the byte of each flag's bit");

std::vector<std::uint16_t> ModulesOf(ByteView content) {
  std::vector<std::uint16_t> modules;
  for (std::size_t j = 0; j < content.size(); ++j) {
    const std::uint8_t byte = content.U8(j);
    for (unsigned i = 0; i < 8; ++i) {
      if (Bit(byte, i)) modules.push_back(static_cast<std::uint16_t>(8 * j + i));
    }
  }
  return modules;
}

// A device-related block of a DP-V1 slave: bit 7 of byte 2 tells a status block from an alarm.
void DecodeAlarmOrStatus(ByteView block, DiagBlock& out) {
  const std::uint8_t type = block.U8(1);
  const std::uint8_t specifier = block.U8(3);
  out.slot = block.U8(2);
  out.specifier = specifier & 0x03;
  if (Bit(type, 7)) {
    out.kind = BlockKind::kStatus;
    out.statusType = type & 0x7F;
  } else {
    out.kind = BlockKind::kAlarm;
    out.alarmType = type;
    out.addAck = Bit(specifier, 2);
    out.sequence = specifier >> 3;
  }
  out.data = BytesOf(From(block, kAlarmHeaderSize));
}

// A device- or identifier-related block, which starts with its length. Returns the bytes it takes,
// 0 when the diagnosis cannot go on.
std::size_t DecodeLengthBlock(ByteView rest, bool identifier, bool dpv1, SlaveDiag& diag) {
  const std::uint8_t length = rest.U8(0) & kBlockLengthMask;
  if (length == 0) {
    diag.malformed = Malformed::kBlockLength0;
    return 0;
  }
  if (length > rest.size()) {
    diag.malformed = Malformed::kCutOff;
    return 0;
  }
  const ByteView block = rest.Sub(0, length);
  DiagBlock out;
  out.length = length;
  if (identifier) {
    out.kind = BlockKind::kIdentifier;
    out.modules = ModulesOf(From(block, 1));
  } else if (dpv1 && length >= kAlarmHeaderSize) {
    DecodeAlarmOrStatus(block, out);
  } else {
    out.kind = BlockKind::kDevice;
    out.data = BytesOf(From(block, 1));
  }
  diag.blocks.push_back(std::move(out));
  return length;
}

std::size_t DecodeChannelBlock(ByteView rest, SlaveDiag& diag) {
  if (rest.size() < kChannelBlockSize) {
    diag.malformed = Malformed::kCutOff;
    return 0;
  }
  DiagBlock out;
  out.kind = BlockKind::kChannel;
  out.module = rest.U8(0) & 0x3F;
  out.channel = rest.U8(1) & 0x3F;
  out.direction = rest.U8(1) >> 6;
  out.type = rest.U8(2) >> 5;
  out.error = rest.U8(2) & 0x1F;
  diag.blocks.push_back(std::move(out));
  return kChannelBlockSize;
}

// The block at the start of `rest`; returns the bytes it takes, 0 when the diagnosis ends there.
std::size_t DecodeBlock(ByteView rest, bool dpv1, SlaveDiag& diag) {
  switch (rest.U8(0) >> 6) {
    case 0:
      return DecodeLengthBlock(rest, false, dpv1, diag);
    case 1:
      return DecodeLengthBlock(rest, true, dpv1, diag);
    case 2:
      return DecodeChannelBlock(rest, diag);
    default:
      diag.remark = "reserved block";
      return 0;
  }
}

// --- Set_Prm -------------------------------------------------------------------------------------

constexpr std::size_t kSetPrmSize = 7;
constexpr std::array<std::uint8_t, 8> kAlarmCounts = {1, 2, 4, 8, 12, 16, 24, 32};
constexpr std::uint32_t kWatchdogBaseMs = 10;

void DecodeDpv1Status(ByteView unit, SetPrm& prm) {
  if (unit.size() > 7) {
    const std::uint8_t s1 = unit.U8(7);
    prm.dpv1Enable = Bit(s1, 7);
    prm.failSafe = Bit(s1, 6);
    prm.publisher = Bit(s1, 5);
    prm.wdBase1ms = Bit(s1, 2);
  }
  if (unit.size() > 8) {
    const std::uint8_t s2 = unit.U8(8);
    prm.reducedChkCfg = Bit(s2, 0);
    prm.alarmUpdate = Bit(s2, 2);
    prm.alarmStatus = Bit(s2, 3);
    prm.alarmManufacturer = Bit(s2, 4);
    prm.alarmDiagnostic = Bit(s2, 5);
    prm.alarmProcess = Bit(s2, 6);
    prm.alarmPullPlug = Bit(s2, 7);
  }
  if (unit.size() > 9) {
    const std::uint8_t s3 = unit.U8(9);
    prm.alarmCount = kAlarmCounts[s3 & 0x07];
    prm.prmBlock = Bit(s3, 3);
    prm.isochronous = Bit(s3, 4);
    prm.redundancy = Bit(s3, 7);
  }
}

// --- Chk_Cfg, Get_Cfg ----------------------------------------------------------------------------

constexpr std::uint8_t kReservedManufacturerCount = 15;

std::uint32_t InputBytesOf(const CfgIdentifier& id) {
  if (id.kind == IdentifierKind::kSpecial) return id.input;
  return (id.direction & 1u) != 0 ? id.byteCount : 0;
}

std::uint32_t OutputBytesOf(const CfgIdentifier& id) {
  if (id.kind == IdentifierKind::kSpecial) return id.output;
  return (id.direction & 2u) != 0 ? id.byteCount : 0;
}

// A special identifier's length byte: bits 5-0 the units less one, bit 6 words.
constexpr std::uint32_t LengthByteBytes(std::uint8_t length) {
  return ((length & 0x3Fu) + 1u) * (Bit(length, 6) ? 2u : 1u);
}

std::size_t DecodeGeneral(ByteView rest, CfgIdentifier& id) {
  const std::uint8_t head = rest.U8(0);
  id.kind = IdentifierKind::kGeneral;
  id.direction = (head >> 4) & 0x03;
  id.length = static_cast<std::uint8_t>((head & 0x0F) + 1);
  id.word = Bit(head, 6);
  id.consistent = Bit(head, 7);
  id.byteCount = static_cast<std::uint32_t>(id.length) * (id.word ? 2u : 1u);
  id.bytes = BytesOf(rest.Sub(0, 1));
  return 1;
}

// Bits 7-6 of the head say which length bytes follow it: none, input, output, output and input.
std::size_t DecodeSpecial(ByteView rest, CfgIdentifier& id, Malformed& malformed) {
  const std::uint8_t head = rest.U8(0);
  const std::size_t manufacturerCount = head & 0x0Fu;
  if (manufacturerCount == kReservedManufacturerCount) {
    malformed = Malformed::kReservedLength;
    return 0;
  }
  const unsigned form = head >> 6;
  const bool hasOutput = (form & 2u) != 0;
  const bool hasInput = (form & 1u) != 0;
  const std::size_t lengthBytes = (hasOutput ? 1u : 0u) + (hasInput ? 1u : 0u);
  const std::size_t size = 1 + lengthBytes + manufacturerCount;
  if (size > rest.size()) {
    malformed = Malformed::kCutOff;
    return 0;
  }
  id.kind = IdentifierKind::kSpecial;
  std::size_t at = 1;
  if (hasOutput) id.output = LengthByteBytes(rest.U8(at++));
  if (hasInput) id.input = LengthByteBytes(rest.U8(at++));
  id.manufacturerData = BytesOf(rest.Sub(at, manufacturerCount));
  id.bytes = BytesOf(rest.Sub(0, size));
  return size;
}

// --- Global_Control, Set_Slave_Add ---------------------------------------------------------------

constexpr std::size_t kGlobalControlSize = 2;
constexpr std::uint8_t kGlobalControlReserved = 0xC1;
constexpr std::size_t kSetSlaveAddSize = 4;

}  // namespace

std::string_view ChannelDirectionName(std::uint8_t direction) {
  return NameOf(kDirections, direction);
}
std::string_view ChannelTypeName(std::uint8_t type) { return NameOf(kChannelTypes, type); }
std::string_view ChannelErrorName(std::uint8_t error) { return NameOf(kChannelErrors, error); }
std::string_view AlarmTypeName(std::uint8_t type) { return NameOf(kAlarmTypes, type); }
std::string_view StatusTypeName(std::uint8_t type) { return NameOf(kStatusTypes, type); }
std::string_view AlarmSpecifierName(std::uint8_t specifier) {
  return NameOf(kAlarmSpecifiers, specifier);
}
std::string_view StatusSpecifierName(std::uint8_t specifier) {
  return NameOf(kStatusSpecifiers, specifier);
}

std::uint16_t DiagFlagsOf(ByteView unit) {
  if (unit.size() < kDiagHeaderSize) return 0;
  std::uint16_t flags = 0;
  for (const FlagBit& f : kFlagBits) {
    if (Bit(unit.U8(f.byte), f.bit) != f.whenClear)
      flags |= static_cast<std::uint16_t>(1u << f.flag);
  }
  return flags;
}

SlaveDiag DecodeSlaveDiag(ByteView unit, bool dpv1) {
  SlaveDiag diag;
  if (unit.size() < kDiagHeaderSize) {
    diag.malformed = Malformed::kShort;
    return diag;
  }
  diag.flags = DiagFlagsOf(unit);
  if (unit.U8(3) != kNoMaster) diag.masterAddress = unit.U8(3);
  diag.identNumber = U16Be(unit, 4);
  std::size_t pos = kDiagHeaderSize;
  while (pos < unit.size()) {
    const std::size_t used = DecodeBlock(From(unit, pos), dpv1, diag);
    if (used == 0) break;
    pos += used;
  }
  return diag;
}

SetPrm DecodeSetPrm(ByteView unit) {
  SetPrm prm;
  if (unit.size() < kSetPrmSize) {
    prm.malformed = Malformed::kShort;
    return prm;
  }
  const std::uint8_t station = unit.U8(0);
  prm.wdOn = Bit(station, 3);
  prm.freezeReq = Bit(station, 4);
  prm.syncReq = Bit(station, 5);
  prm.unlockReq = Bit(station, 6);
  prm.lockReq = Bit(station, 7);
  prm.wdFact1 = unit.U8(1);
  prm.wdFact2 = unit.U8(2);
  prm.minTsdrBits = unit.U8(3);
  prm.identNumber = U16Be(unit, 4);
  prm.groupIdent = unit.U8(6);
  prm.userPrmData = BytesOf(From(unit, kSetPrmSize));
  DecodeDpv1Status(unit, prm);
  if (prm.wdOn && prm.wdFact1 != 0 && prm.wdFact2 != 0) {
    const bool base1ms = prm.dpv1Enable.value_or(false) && prm.wdBase1ms.value_or(false);
    prm.watchdogMs =
        static_cast<std::uint32_t>(prm.wdFact1) * prm.wdFact2 * (base1ms ? 1u : kWatchdogBaseMs);
  }
  return prm;
}

Config DecodeConfig(ByteView unit) {
  Config config;
  std::size_t pos = 0;
  while (pos < unit.size()) {
    const ByteView rest = From(unit, pos);
    CfgIdentifier id;
    const bool special = (rest.U8(0) & 0x30) == 0;
    const std::size_t used =
        special ? DecodeSpecial(rest, id, config.malformed) : DecodeGeneral(rest, id);
    if (used == 0) break;
    config.inputBytes += InputBytesOf(id);
    config.outputBytes += OutputBytesOf(id);
    config.identifiers.push_back(std::move(id));
    pos += used;
  }
  return config;
}

GlobalControl DecodeGlobalControl(ByteView unit) {
  GlobalControl control;
  if (unit.size() < kGlobalControlSize) {
    control.malformed = Malformed::kShort;
    return control;
  }
  const std::uint8_t command = unit.U8(0);
  control.clearData = Bit(command, 1);
  control.unfreeze = Bit(command, 2);
  control.freeze = Bit(command, 3);
  control.unsync = Bit(command, 4);
  control.sync = Bit(command, 5);
  control.reservedBits = command & kGlobalControlReserved;
  control.groupSelect = unit.U8(1);
  return control;
}

namespace {

constexpr std::size_t kDpv1HeaderSize = 4;  // function and three bytes of its layout
constexpr std::uint8_t kDpv1Read = 0x5E;
constexpr std::uint8_t kDpv1Write = 0x5F;
constexpr std::uint8_t kDpv1AlarmAck = 0x5C;
constexpr std::uint8_t kDpv1DataTransport = 0x51;

constexpr std::array<ValueName, 3> kDpv1ErrorDecodes = {{
    {0x80, 0x80, "dpv1"},
    {0xFE, 0xFE, "fms"},
    {0xFF, 0xFF, "hart"},
}};

constexpr std::array<ValueName, 4> kDpv1ErrorClasses = {{
    {10, 10, "application"},
    {11, 11, "access"},
    {12, 12, "resource"},
    {13, 13, "user"},
}};

}  // namespace

std::string_view Dpv1FunctionNameOf(std::uint8_t function) {
  for (const Dpv1FunctionName& f : kDpv1Functions) {
    if (f.code == function) return f.name;
  }
  return "reserved";
}

std::string_view Dpv1ErrorDecodeName(std::uint8_t decode) {
  return NameOf(kDpv1ErrorDecodes, decode);
}

std::string_view Dpv1ErrorClassName(std::uint8_t errorCode1) {
  return NameOf(kDpv1ErrorClasses, static_cast<std::uint8_t>(errorCode1 >> 4));
}

bool Dpv1Acyclic::HasIndex() const {
  return !errorReply &&
         (function == kDpv1Read || function == kDpv1Write || function == kDpv1DataTransport);
}

bool Dpv1Acyclic::HasSlot() const {
  return HasIndex() || (!errorReply && function == kDpv1AlarmAck);
}

Dpv1Acyclic DecodeDpv1Acyclic(ByteView unit) {
  Dpv1Acyclic pdu;
  if (unit.size() == 0) {
    pdu.malformed = Malformed::kShort;
    return pdu;
  }
  pdu.function = unit.U8(0) & static_cast<std::uint8_t>(~kDpv1ErrorBit);
  pdu.errorReply = (unit.U8(0) & kDpv1ErrorBit) != 0;
  const bool layout = pdu.errorReply || pdu.HasSlot();
  if (!layout) {
    pdu.data = BytesOf(From(unit, 1));
    return pdu;
  }
  if (unit.size() < kDpv1HeaderSize) {
    pdu.malformed = Malformed::kShort;
    return pdu;
  }
  if (pdu.errorReply) {
    pdu.errorDecode = unit.U8(1);
    pdu.errorCode1 = unit.U8(2);
    pdu.errorCode2 = unit.U8(3);
  } else if (pdu.HasIndex()) {
    pdu.slot = unit.U8(1);
    pdu.index = unit.U8(2);
    pdu.length = unit.U8(3);
  } else {
    pdu.slot = unit.U8(1);
    pdu.alarmType = unit.U8(2);
    pdu.specifier = unit.U8(3);
  }
  pdu.data = BytesOf(From(unit, kDpv1HeaderSize));
  return pdu;
}

SetSlaveAdd DecodeSetSlaveAdd(ByteView unit) {
  SetSlaveAdd add;
  if (unit.size() < kSetSlaveAddSize) {
    add.malformed = Malformed::kShort;
    return add;
  }
  add.newAddress = unit.U8(0);
  add.identNumber = U16Be(unit, 1);
  add.noAddChg = unit.U8(3);
  add.userData = BytesOf(From(unit, kSetSlaveAddSize));
  return add;
}

}  // namespace fdc::dp
