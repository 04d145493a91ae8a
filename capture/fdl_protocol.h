// The names of the FDL protocol, each declared once: frame kinds by start delimiter, the record
// status bits, the request and response function codes, the station types and the DP services.
// The dump, the ShowOnly identifiers, the statistics and the export all take them from here.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace fdc {

// --- Frame kinds -----------------------------------------------------------------------------

enum class FrameKind : std::uint8_t { kSd1, kSd2, kSd3, kSd4, kSc, kUnknown };

struct FrameKindName {
  FrameKind kind;
  std::uint8_t delimiter;  // the first frame byte
  std::string_view name;   // as the dump and the ShowOnly constants name it
};

inline constexpr std::array<FrameKindName, 5> kFrameKinds = {{
    {FrameKind::kSd1, 0x10, "SD1"},
    {FrameKind::kSd2, 0x68, "SD2"},
    {FrameKind::kSd3, 0xA2, "SD3"},
    {FrameKind::kSd4, 0xDC, "SD4"},
    {FrameKind::kSc, 0xE5, "SC"},  // short acknowledgement
}};

// The kind of every first byte.
inline constexpr std::array<FrameKind, 256> kFrameKindByDelimiter = [] {
  std::array<FrameKind, 256> kinds{};
  kinds.fill(FrameKind::kUnknown);
  for (const FrameKindName& k : kFrameKinds) kinds[k.delimiter] = k.kind;
  return kinds;
}();

constexpr FrameKind FrameKindOf(std::uint8_t delimiter) { return kFrameKindByDelimiter[delimiter]; }

constexpr std::string_view FrameKindText(FrameKind kind) {
  for (const FrameKindName& k : kFrameKinds) {
    if (k.kind == kind) return k.name;
  }
  return {};
}

inline constexpr std::uint8_t kSd1 = kFrameKinds[0].delimiter;
inline constexpr std::uint8_t kSd2 = kFrameKinds[1].delimiter;
inline constexpr std::uint8_t kSd3 = kFrameKinds[2].delimiter;
inline constexpr std::uint8_t kSd4 = kFrameKinds[3].delimiter;
inline constexpr std::uint8_t kSc = kFrameKinds[4].delimiter;
inline constexpr std::uint8_t kEd = 0x16;  // the end delimiter

// --- Record status bits ------------------------------------------------------------------------

struct StatusBitName {
  std::uint8_t mask;
  std::string_view identifier;  // the ShowOnly constant
  char letter;                  // the dump's detailed status, the statistics' key
  std::string_view word;        // what the bit says, for people
};

// Bit 0 to bit 7. A status of 0 is "STSOK".
inline constexpr std::string_view kStatusOkIdentifier = "STSOK";
inline constexpr std::array<StatusBitName, 8> kStatusBits = {{
    {0x01, "STSSTP", 's', "stop bit"},
    {0x02, "STSPAR", 'p', "parity"},
    {0x04, "STSSD", 'd', "start delimiter"},
    {0x08, "STSRPT", 'r', "repeat"},
    {0x10, "STSUND", 'u', "underrun"},
    {0x20, "STSOVR", 'o', "overrun"},
    {0x40, "STSCHK", 'c', "check"},
    {0x80, "STSED", 'e', "end delimiter"},
}};

// The bits by their ShowOnly names, for code that tests them.
enum StatusBit : std::uint8_t {
  STSOK = 0x00,
  STSSTP = kStatusBits[0].mask,
  STSPAR = kStatusBits[1].mask,
  STSSD = kStatusBits[2].mask,
  STSRPT = kStatusBits[3].mask,
  STSUND = kStatusBits[4].mask,
  STSOVR = kStatusBits[5].mask,
  STSCHK = kStatusBits[6].mask,
  STSED = kStatusBits[7].mask,
};

// --- Function codes ----------------------------------------------------------------------------

inline constexpr std::uint8_t kFcRequest = 0x40;  // bit 6: a request; clear: a response
inline constexpr std::uint8_t kFcFcb = 0x20;      // frame count bit (requests)
inline constexpr std::uint8_t kFcFcv = 0x10;      // frame count valid (requests)
inline constexpr std::uint8_t kRequestCodeMask = 0x8F;
inline constexpr std::uint8_t kResponseCodeMask = 0x0F;

struct FunctionName {
  std::uint8_t code;            // FC AND 0x8F of a request, FC AND 0x0F of a response
  std::string_view name;        // the dump's name (at most four characters)
  std::string_view identifier;  // the ShowOnly constant
};

// In the order in which the ShowOnly constants list them. The constant's value is the code with
// the request bit, as FC reads after masking the frame count bits off.
inline constexpr std::array<FunctionName, 17> kRequestFunctions = {{
    {0x00, "MTM1", "MTM1"},
    {0x80, "MTM2", "MTM2"},
    {0x01, "MSRD", "MSRD"},
    {0x02, "MSDN", "MSDN"},
    {0x03, "SDAL", "SDAL"},
    {0x04, "SDNL", "SDNL"},
    {0x05, "SDAH", "SDAH"},
    {0x06, "SDNH", "SDNH"},
    {0x07, "RDD", "RDD"},
    {0x08, "GSRD", "GSRD"},
    {0x09, "RFDL", "RFDL"},
    {0x0A, "MDLY", "MDLY"},
    {0x0B, "MKEP", "MKEP"},
    {0x0C, "SRDL", "SRDL"},
    {0x0D, "SRDH", "SRDH"},
    {0x0E, "RIR", "RIR"},
    {0x0F, "RLSR", "RLSR"},
}};

// The constant for "RDL" is spelled "RD".
inline constexpr std::array<FunctionName, 9> kResponseFunctions = {{
    {0x0, "OK", "OK"},
    {0x1, "UE", "UE"},
    {0x2, "RR", "RR"},
    {0x3, "RS", "RS"},
    {0x8, "DL", "DL"},
    {0x9, "NR", "NR"},
    {0xA, "DH", "DH"},
    {0xC, "RDL", "RD"},
    {0xD, "RDH", "RDH"},
}};

// The standard's name of a function code beside the dump's mnemonic: requests by FC AND 0x0F
// ("TE", or "CV" with bit 7 set, "SRD_high", "Request FDL Status"), responses by FC AND 0x0F
// ("OK", "DL", "RDH"); "reserved" for a code without one.
constexpr std::string_view StandardFunctionName(std::uint8_t fc) {
  constexpr std::array<std::string_view, 16> kRequests = {
      "TE",       "reserved",           "reserved",      "SDA_low",
      "SDN_low",  "SDA_high",           "SDN_high",      "MSRD",
      "reserved", "Request FDL Status", "reserved",      "reserved",
      "SRD_low",  "SRD_high",           "Request Ident", "Request LSAP Status"};
  constexpr std::array<std::string_view, 16> kResponses = {
      "OK", "UE", "RR", "RS",       "reserved", "reserved", "reserved", "reserved",
      "DL", "NR", "DH", "reserved", "RDL",      "RDH",      "reserved", "reserved"};
  const unsigned code = fc & 0x0Fu;
  if (!(fc & 0x40u)) return kResponses[code];
  if (code == 0 && (fc & 0x80u)) return "CV";
  return kRequests[code];
}

// Request codes of note for the statistics and the export.
inline constexpr std::uint8_t kFcStatusRequest = 0x09;  // RFDL: the FDL status poll
inline constexpr std::uint8_t kFcSrdLow = 0x0C;         // SRDL
inline constexpr std::uint8_t kFcSrdHigh = 0x0D;        // SRDH
// Response codes of note.
inline constexpr std::uint8_t kFcUserError = 0x1;         // UE
inline constexpr std::uint8_t kFcNoResource = 0x2;        // RR
inline constexpr std::uint8_t kFcNotActivated = 0x3;      // RS
inline constexpr std::uint8_t kFcDataHigh = 0xA;          // DH
inline constexpr std::uint8_t kFcResponseDataHigh = 0xD;  // RDH

// Request codes (FC AND 0x8F) after which the addressed station must reply: SDA, SRD, the
// request of a diagnosis (RDD), the status poll and the identification and service access
// requests.
constexpr bool ExpectsReplyCode(std::uint8_t code) {
  return code == 0x03 || code == 0x05 || code == 0x07 || code == 0x09 || code == 0x0C ||
         code == 0x0D || code == 0x0E || code == 0x0F;
}

// The dump's name of a function code; empty for a code without a name (shown as "Typ?(%02x)").
constexpr std::string_view FunctionCodeName(std::uint8_t fc) {
  if (fc & kFcRequest) {
    const auto code = static_cast<std::uint8_t>(fc & kRequestCodeMask);
    for (const FunctionName& f : kRequestFunctions) {
      if (f.code == code) return f.name;
    }
    return {};
  }
  const auto code = static_cast<std::uint8_t>(fc & kResponseCodeMask);
  for (const FunctionName& f : kResponseFunctions) {
    if (f.code == code) return f.name;
  }
  return {};
}

// --- Station types (FC bits 5-4 of a response) -------------------------------------------------

struct StationTypeName {
  std::string_view abbreviation;  // the dump's ("ss")
  std::string_view word;          // the statistics' and the dissector's ("slave")
};

inline constexpr std::array<StationTypeName, 4> kStationTypes = {{
    {"ss", "slave"},
    {"mn", "master-not-ready"},
    {"mr", "master-ready"},
    {"mi", "master-in-ring"},
}};

constexpr const StationTypeName& StationTypeOf(std::uint8_t fc) {
  return kStationTypes[(fc >> 4) & 3];
}

// --- DP services by DSAP -----------------------------------------------------------------------

struct DpServiceName {
  std::uint8_t dsap;
  std::string_view name;  // as the dissector shows it
  std::string_view key;   // the statistics' service key; empty: counted as "other"
};

inline constexpr std::array<DpServiceName, 8> kDpServices = {{
    {55, "Set_Slave_Add", "set_slave_add"},
    {56, "Rd_Inp", "rd_inp"},
    {57, "Rd_Outp", "rd_outp"},
    {58, "Global_Control", ""},
    {59, "Get_Cfg", "get_cfg"},
    {60, "Slave_Diag", "slave_diag"},
    {61, "Set_Prm", "set_prm"},
    {62, "Chk_Cfg", "chk_cfg"},
}};

// --- Characters on the line ---------------------------------------------------------------------

// An FDL character takes 11 bit times: a start bit, eight data bits, the parity bit and a stop bit.
inline constexpr std::int64_t kBitsPerCharacter = 11;

// --- Addresses ---------------------------------------------------------------------------------

// Bit 7 of DA or SA: a SAP byte leads the data unit.
inline constexpr std::uint8_t kSapExtension = 0x80;
inline constexpr std::uint8_t kAddressMask = 0x7F;
inline constexpr std::uint8_t kBroadcastAddress = 127;

}  // namespace fdc
