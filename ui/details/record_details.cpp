// The details tree of one record.
#include "ui/details/record_details.h"

#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <utility>

#include "capture/fdl_protocol.h"
#include "capture/telegram.h"
#include "common/text_appenders.h"
#include "dp/dp_services.h"
#include "report/dp_json.h"

namespace fdc::ui {

namespace {

using json = nlohmann::ordered_json;

constexpr int kFrameAt = static_cast<int>(kRecordHeaderSize);

std::string Dec(std::uint64_t value) { return std::to_string(value); }

std::string Hex(unsigned value, int digits = 2) {
  std::string text = "0x";
  StringSink sink{text};
  AppendHexPadded(sink, value, digits);
  return text;
}

// "01 02 03"
std::string HexBytes(ByteView bytes) {
  std::string text;
  StringSink sink{text};
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) text += ' ';
    AppendHex2(sink, bytes.U8(i));
  }
  return text;
}

std::string Clock(std::int64_t ns) {
  std::string text;
  StringSink sink{text};
  AppendClock(sink, ns);
  return text;
}

// A count with three decimals: 30125 ns in µs is "30.125".
std::string Decimal3(std::int64_t value, std::int64_t unit) {
  std::string text = value < 0 ? "-" : "";
  const std::uint64_t magnitude =
      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  const auto u = static_cast<std::uint64_t>(unit);
  text += Dec(magnitude / u) + '.';
  StringSink sink{text};
  AppendDec(sink, magnitude % u / (u / 1000), 3, '0');
  return text;
}

std::string Plural(std::uint64_t n, std::string_view one, std::string_view many) {
  return Dec(n) + ' ' + std::string(n == 1 ? one : many);
}

ByteSpan FrameBytes(int pos, int count = 1) { return {kFrameAt + pos, kFrameAt + pos + count}; }

DetailItem Item(std::string text, std::optional<ByteSpan> bytes = std::nullopt) {
  DetailItem item;
  item.text = std::move(text);
  item.bytes = bytes;
  return item;
}

// --- Capture -----------------------------------------------------------------------------------

DetailItem CaptureSection(const RecordContext& context, std::string_view fileName) {
  const CaptureRecord& r = context.record;
  const int size = static_cast<int>(RecordSize(r.FrameLen));
  DetailItem section = Item("Capture: record " + Dec(r.RefNumber), ByteSpan{0, size});
  section.children.push_back(Item("Reference number: " + Dec(r.RefNumber)));
  section.children.push_back(Item(context.ticksPerBit != 0
                                      ? "Time: " + Clock(context.absNs)
                                      : std::string("Time: unknown (the baud rate is unknown)"),
                                  ByteSpan{1, 7}));
  section.children.push_back(Item("File: " + std::string(fileName) + ", sync mark at offset " +
                                      Dec(r.MarkOffset) + " (" +
                                      Hex(static_cast<unsigned>(r.MarkOffset), 1) + ")",
                                  ByteSpan{0, 1}));
  DetailItem header = Item("Record header", ByteSpan{0, kFrameAt});
  header.children.push_back(Item("Sync mark: " + Hex(SYNC_MARK), ByteSpan{0, 1}));
  header.children.push_back(Item("Timestamp: " + Dec(r.Timestamp) + " ticks", ByteSpan{1, 7}));
  header.children.push_back(
      Item("Frame length: " + Plural(r.FrameLen, "byte", "bytes"), ByteSpan{7, kFrameAt}));
  section.children.push_back(std::move(header));

  const std::uint8_t status = r.Status();
  std::string set;
  for (const StatusBitName& bit : kStatusBits) {
    if (!(status & bit.mask)) continue;
    set += set.empty() ? ": " : ", ";
    set += std::string(1, bit.letter) + ' ' + std::string(bit.word);
  }
  DetailItem item = Item("Status byte: " + Hex(status) + (status == 0 ? ", no bit set" : set),
                         ByteSpan{size - 1, size});
  for (std::size_t i = 0; i < kStatusBits.size(); ++i) {
    const StatusBitName& bit = kStatusBits[i];
    item.children.push_back(Item("Bit " + Dec(i) + ' ' + std::string(1, bit.letter) + " (" +
                                     std::string(bit.word) + ", " + std::string(bit.identifier) +
                                     "): " + ((status & bit.mask) ? "set" : "clear"),
                                 item.bytes));
  }
  section.children.push_back(std::move(item));
  return section;
}

// --- FDL ---------------------------------------------------------------------------------------

std::string AddressText(std::string_view name, std::uint8_t raw, bool sapFollows,
                        std::string_view sap) {
  std::string text = std::string(name) + ": " + Dec(raw & kAddressMask) + " (" + Hex(raw);
  if (raw & kSapExtension) {
    text += ", extension bit set: " + std::string(sapFollows ? sap : "no") +
            (sapFollows ? " follows" : " byte left in the data unit");
  }
  return text + ')';
}

DetailItem FunctionItem(const Telegram& t, int fcPos) {
  const std::uint8_t fc = t.fc;
  const std::string_view dumpName = FunctionCodeName(fc);
  const std::string mnemonic =
      dumpName.empty() ? "Typ?(" + Hex(fc).substr(2) + ")" : std::string(dumpName);
  const std::string standard(StandardFunctionName(fc));
  const bool request = t.IsRequest();
  DetailItem item = Item("FC: " + Hex(fc) + ", " + (request ? "request " : "response ") + mnemonic +
                             " (" + standard + ")",
                         FrameBytes(fcPos));
  item.children.push_back(Item(
      std::string("Request bit: ") + (request ? "1, a request" : "0, a response"), item.bytes));
  if (request) {
    item.children.push_back(Item("FCB: " + Dec((fc & kFcFcb) ? 1 : 0), item.bytes));
    item.children.push_back(Item("FCV: " + Dec((fc & kFcFcv) ? 1 : 0), item.bytes));
  } else {
    const StationTypeName& type = StationTypeOf(fc);
    item.children.push_back(
        Item("Station type: " + std::string(type.abbreviation) + ", " + std::string(type.word),
             item.bytes));
  }
  item.children.push_back(Item("Function: " + mnemonic + " (code " +
                                   Hex(fc & (request ? kRequestCodeMask : kResponseCodeMask)) +
                                   "), the standard's " + standard,
                               item.bytes));
  return item;
}

std::string_view Dpv1SapWords(std::uint8_t sap) {
  switch (sap) {
    case dp::kSapDpv1Initiate:
      return "class-2 initiate";
    case dp::kSapDpv1Alarm:
      return "alarm";
    case dp::kSapDpv1Class1:
      return "class-1 connection";
    default:
      return {};
  }
}

std::string SapText(std::uint8_t sap) {
  std::string text = Dec(sap);
  for (const DpServiceName& service : kDpServices) {
    if (service.dsap == sap) text += " (" + std::string(service.name) + ')';
  }
  if (dp::IsDpv1Sap(sap)) text += " (DP-V1 " + std::string(Dpv1SapWords(sap)) + ')';
  return text;
}

DetailItem FdlSection(const Telegram& t, ByteView bytes) {
  const int frameLen = t.frameLen;
  DetailItem section = Item("FDL");
  auto& items = section.children;
  if (t.Empty()) {
    section.text += ": no frame byte, FrmLen?(0)";
    return section;
  }
  section.bytes = ByteSpan{kFrameAt, kFrameAt + frameLen};
  const std::string kind =
      t.kind == FrameKind::kUnknown ? std::string("SD?") : std::string(FrameKindText(t.kind));
  items.push_back(Item("Start delimiter: " + kind + " (" + Hex(t.delimiter) + ")", FrameBytes(0)));
  if (!t.Decoded()) {
    FrameMarkBuffer buffer;
    const std::string mark(FrameMarkText(t, buffer));
    section.text += ": malformed, " + mark;
    items.push_back(Item("Malformed: " + mark + " (the dump's mark)", section.bytes));
    items.push_back(Item("Frame: " + HexBytes(bytes.Sub(0, t.frameLen)), section.bytes));
    return section;
  }
  if (t.kind == FrameKind::kSc) {
    section.text += ": SC, short acknowledgement";
    return section;
  }
  if (t.kind == FrameKind::kSd2) {
    items.push_back(Item("LE: " + Dec(bytes.U8(1)), FrameBytes(1)));
    items.push_back(Item("LEr: " + Dec(bytes.U8(2)), FrameBytes(2)));
    items.push_back(Item("Second SD: " + Hex(bytes.U8(3)), FrameBytes(3)));
  }
  const int daPos = t.kind == FrameKind::kSd4 ? 1 : t.bodyPos;
  const bool body = t.HasBody();
  items.push_back(Item(AddressText("DA", t.da, body && t.hasDsap, "DSAP"), FrameBytes(daPos)));
  items.push_back(Item(AddressText("SA", t.sa, body && t.hasSsap, "SSAP"), FrameBytes(daPos + 1)));
  section.text += ": " + kind + ", SA " + Dec(t.Sa()) + " to DA " + Dec(t.Da());
  if (!body) return section;
  const int fcPos = daPos + 2;
  items.push_back(FunctionItem(t, fcPos));
  section.text += ", " + items.back().text.substr(items.back().text.find(", ") + 2);
  int pos = fcPos + 1;
  if (t.hasDsap) items.push_back(Item("DSAP: " + SapText(t.dsap), FrameBytes(pos++)));
  if (t.hasSsap) items.push_back(Item("SSAP: " + SapText(t.ssap), FrameBytes(pos++)));
  const ByteView data = bytes.Sub(t.dataPos, t.dataLen);
  items.push_back(
      Item("Data unit: " + Plural(t.dataLen, "byte", "bytes") +
               (t.dataLen != 0 ? ": " + HexBytes(data) : std::string()),
           t.dataLen != 0 ? std::optional(FrameBytes(t.dataPos, t.dataLen)) : std::nullopt));
  const std::uint8_t sum = FrameCheckSum(bytes, t);
  items.push_back(
      Item("FCS: " + Hex(t.fcs) + ", computed " + Hex(sum) + (sum == t.fcs ? ": good" : ": wrong"),
           FrameBytes(t.fcsPos)));
  items.push_back(Item(
      "ED: " + Hex(t.ed) + (t.ed == kEd ? std::string() : ": wrong, " + Hex(kEd) + " expected"),
      FrameBytes(t.fcsPos + 1)));
  return section;
}

// --- The DP services ---------------------------------------------------------------------------

// Where a decoder's member lies in the data unit: bytes begin .. end - 1; end -1: to the end.
struct Place {
  std::string_view key;
  int begin;
  int end;
};

constexpr std::array<Place, 2> kCommonPlaces = {{{"malformed", 0, -1}, {"remark", 0, -1}}};

constexpr std::array<Place, 2> kSlaveDiagPlaces = {
    {{"master_address", 3, 4}, {"ident_number", 4, 6}}};

constexpr std::array<Place, 27> kSetPrmPlaces = {{
    {"wd_on", 0, 1},
    {"freeze_req", 0, 1},
    {"sync_req", 0, 1},
    {"unlock_req", 0, 1},
    {"lock_req", 0, 1},
    {"wd_fact_1", 1, 2},
    {"wd_fact_2", 2, 3},
    {"min_tsdr_bits", 3, 4},
    {"ident_number", 4, 6},
    {"group_ident", 6, 7},
    {"user_prm_data", 7, -1},
    {"dpv1_enable", 7, 8},
    {"fail_safe", 7, 8},
    {"publisher", 7, 8},
    {"wd_base_1ms", 7, 8},
    {"reduced_chk_cfg", 8, 9},
    {"alarm_update", 8, 9},
    {"alarm_status", 8, 9},
    {"alarm_manufacturer", 8, 9},
    {"alarm_diagnostic", 8, 9},
    {"alarm_process", 8, 9},
    {"alarm_pull_plug", 8, 9},
    {"alarm_count", 9, 10},
    {"prm_block", 9, 10},
    {"isochronous", 9, 10},
    {"redundancy", 9, 10},
    {"watchdog_ms", 1, 3},
}};

constexpr std::array<Place, 7> kGlobalControlPlaces = {{
    {"clear_data", 0, 1},
    {"unfreeze", 0, 1},
    {"freeze", 0, 1},
    {"unsync", 0, 1},
    {"sync", 0, 1},
    {"reserved_bits", 0, 1},
    {"group_select", 1, 2},
}};

constexpr std::array<Place, 4> kSetSlaveAddPlaces = {{
    {"new_address", 0, 1},
    {"ident_number", 1, 3},
    {"no_add_chg", 3, 4},
    {"user_data", 4, -1},
}};

constexpr std::array<Place, 15> kDpv1Places = {{
    {"function", 0, 1},
    {"error_reply", 0, 1},
    {"error_decode", 1, 2},
    {"error_class", 2, 3},
    {"error_code", 2, 3},
    {"error_code_2", 3, 4},
    {"slot", 1, 2},
    {"index", 2, 3},
    {"length", 3, 4},
    {"alarm_type", 2, 3},
    {"specifier", 3, 4},
    {"data", 4, -1},
    {"function_name", 0, 1},
    {"error_decode_name", 1, 2},
    {"alarm_type_name", 2, 3},
}};

constexpr std::array<Place, 2> kConfigPlaces = {{{"input_bytes", 0, -1}, {"output_bytes", 0, -1}}};

// Members shown as hexadecimal numbers, and those that hold bytes as hex text.
bool ShownInHex(std::string_view key) {
  return key == "ident_number" || key == "function" || key == "error_decode";
}
bool HoldsBytes(std::string_view key) {
  return key == "data" || key == "user_prm_data" || key == "user_data" || key == "hex" ||
         key == "manufacturer_data";
}

// The data unit's bytes in the record, from its first byte `unitAt` (a record offset), `size`
// long.
struct Unit {
  int at = 0;
  int size = 0;
  std::optional<ByteSpan> Span(int begin, int end) const {
    const int last = end < 0 ? size : std::min(end, size);
    if (begin >= last) return std::nullopt;
    return ByteSpan{at + begin, at + last};
  }
};

template <std::size_t N>
std::optional<ByteSpan> PlaceIn(const std::array<Place, N>& places, std::string_view key,
                                const Unit& unit) {
  for (const Place& p : places) {
    if (p.key == key) return unit.Span(p.begin, p.end);
  }
  for (const Place& p : kCommonPlaces) {
    if (p.key == key) return unit.Span(p.begin, p.end);
  }
  return std::nullopt;
}

// "0102ab" as "01 02 ab (3 bytes)"; "none" when empty.
std::string SpacedHex(const std::string& hex) {
  if (hex.empty()) return "none";
  std::string text;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    if (i > 0) text += ' ';
    text += hex.substr(i, 2);
  }
  return text + " (" + Plural(hex.size() / 2, "byte", "bytes") + ')';
}

std::string ScalarText(std::string_view key, const json& value) {
  if (value.is_boolean()) return value.get<bool>() ? "true" : "false";
  if (value.is_number_unsigned() || value.is_number_integer()) {
    const auto n = value.get<std::int64_t>();
    if (ShownInHex(key)) return Hex(static_cast<unsigned>(n), key == "ident_number" ? 4 : 2);
    return std::to_string(n);
  }
  if (value.is_string()) {
    const std::string text = value.get<std::string>();
    return HoldsBytes(key) ? SpacedHex(text) : text;
  }
  if (value.is_array()) {
    std::string text;
    for (const json& v : value) text += (text.empty() ? "" : ", ") + ScalarText(key, v);
    return text.empty() ? "none" : text;
  }
  return value.dump();
}

// The members of a decoded object as items, each with its bytes; null members are left out and a
// member's "<key>_name" sibling goes beside its value.
template <typename PlaceOf>
void MemberItems(const json& object, const PlaceOf& placeOf, std::vector<DetailItem>& out) {
  for (const auto& [key, value] : object.items()) {
    if (value.is_null()) continue;
    if (key.size() > 5 && key.ends_with("_name") && object.contains(key.substr(0, key.size() - 5)))
      continue;
    std::string text = key + ": " + ScalarText(key, value);
    const std::string nameKey = key + "_name";
    if (object.contains(nameKey) && object[nameKey].is_string()) {
      text += " (" + object[nameKey].get<std::string>() + ')';
    }
    out.push_back(Item(std::move(text), placeOf(key)));
  }
}

// Where each block of an extended diagnosis lies, one after the other after the 6 bytes of the
// header.
std::vector<std::optional<ByteSpan>> BlockSpans(const dp::SlaveDiag& diag, const Unit& unit) {
  std::vector<std::optional<ByteSpan>> spans;
  int at = 6;
  for (const dp::DiagBlock& b : diag.blocks) {
    const int size = b.kind == dp::BlockKind::kChannel ? 3 : b.length;
    spans.push_back(unit.Span(at, at + size));
    at += size;
  }
  return spans;
}

// The blocks of an extended diagnosis, each at its place.
DetailItem BlockItems(const json& blocks, const dp::SlaveDiag& diag, const Unit& unit) {
  DetailItem item = Item("blocks: " + Dec(blocks.size()), unit.Span(6, -1));
  if (blocks.empty()) item.bytes.reset();
  const std::vector<std::optional<ByteSpan>> spans = BlockSpans(diag, unit);
  for (std::size_t i = 0; i < blocks.size() && i < diag.blocks.size(); ++i) {
    const dp::DiagBlock& b = diag.blocks[i];
    const std::optional<ByteSpan> span = spans[i];
    DetailItem block = Item("block " + Dec(i + 1) + ": " +
                                std::string(dp::kBlockKindNames[static_cast<std::size_t>(b.kind)]),
                            span);
    json members = blocks[i];
    members.erase("block");
    MemberItems(
        members, [&span](std::string_view) { return span; }, block.children);
    item.children.push_back(std::move(block));
  }
  return item;
}

DetailItem IdentifierItems(const json& identifiers, const dp::Config& config, const Unit& unit) {
  DetailItem item = Item("identifiers: " + Dec(identifiers.size()), unit.Span(0, -1));
  int at = 0;
  for (std::size_t i = 0; i < identifiers.size() && i < config.identifiers.size(); ++i) {
    const int size = static_cast<int>(config.identifiers[i].bytes.size());
    const std::optional<ByteSpan> span = unit.Span(at, at + size);
    DetailItem id =
        Item("identifier " + Dec(i + 1) + ": " + identifiers[i].value("kind", std::string()), span);
    json members = identifiers[i];
    members.erase("kind");
    MemberItems(
        members, [&span](std::string_view) { return span; }, id.children);
    item.children.push_back(std::move(id));
    at += size;
  }
  return item;
}

// How the tracker read the slave's device-related blocks at this record.
std::pair<bool, std::string> Dpv1ReadingOf(const DpReadings& readings, std::uint8_t slave,
                                           std::uint32_t ref) {
  if (readings.dp == nullptr) {
    return {false, "read without DP-V1 until the health figures tell the owner's parameters"};
  }
  if (ref > readings.throughRef) {
    return {false, "read without DP-V1: the health figures stop before this record"};
  }
  const std::optional<DpSlaveFigures>& figures = readings.dp->slaves[slave & kAddressMask];
  if (figures && Dpv1ReadingAt(*figures, ref)) {
    return {true,
            "read as DP-V1 alarms and status blocks: the owner's accepted Set_Prm enables "
            "DP-V1"};
  }
  return {false, "read without DP-V1: no accepted Set_Prm of the owner enables it"};
}

// --- The slave's GSD file ---------------------------------------------------------------------

// The GSD file of a slave, and its configuration split into the file's modules.
struct SlaveGsd {
  std::uint16_t ident = 0;
  const dp::GsdLibrary::Match* match = nullptr;  // null: no file has the ident
  std::vector<dp::GsdModuleMatch> modules;       // empty without a configuration in the figures
  const dp::GsdFile& File() const { return match->entry->gsd; }
};

// "2051c1" as its bytes; what is not a pair of hex digits ends them.
std::vector<std::uint8_t> BytesOfHex(std::string_view hex) {
  const auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    const int high = digit(hex[i]);
    const int low = digit(hex[i + 1]);
    if (high < 0 || low < 0) break;
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return bytes;
}

// The slave's file by the ident the health figures know for it, else by the one the telegram
// carries (`own`), with the configuration the figures know; nothing without GSD files or an ident.
std::optional<SlaveGsd> GsdOf(const DpReadings& readings, std::uint8_t slave,
                              std::optional<std::uint16_t> own) {
  if (readings.gsd == nullptr) return std::nullopt;
  const DpSlaveFigures* figures = nullptr;
  if (readings.dp != nullptr && readings.dp->slaves[slave & kAddressMask]) {
    figures = &*readings.dp->slaves[slave & kAddressMask];
  }
  const std::optional<std::uint16_t> ident =
      figures != nullptr && figures->identNumber ? figures->identNumber : own;
  if (!ident) return std::nullopt;
  SlaveGsd gsd;
  gsd.ident = *ident;
  gsd.match = readings.gsd->Find(*ident);
  if (gsd.match != nullptr && figures != nullptr && figures->config) {
    const std::vector<std::uint8_t> config = BytesOfHex(figures->config->identifiers);
    gsd.modules = dp::SplitModules(gsd.File(), ByteView(config.data(), config.size()));
  }
  return gsd;
}

// "GSD file: Test Devices Ltd TD-8DI 1.2 (TEST7F01.GSD)", or that no file has the ident; at the
// telegram's ident bytes when it names the same ident.
DetailItem GsdFileItem(const SlaveGsd& gsd, std::optional<std::uint16_t> own,
                       std::optional<ByteSpan> ownBytes) {
  const std::optional<ByteSpan> bytes = own == gsd.ident ? ownBytes : std::nullopt;
  if (gsd.match == nullptr) return Item("no GSD file for ident " + Hex(gsd.ident, 4), bytes);
  const dp::GsdFile& file = gsd.File();
  DetailItem item = Item("GSD file: " + dp::GsdDeviceName(file.vendor, file.model, file.revision,
                                                          gsd.match->entry->file),
                         bytes);
  if (!gsd.match->otherFiles.empty()) {
    std::string others;
    for (const std::string& other : gsd.match->otherFiles) {
      others += (others.empty() ? "" : ", ") + other;
    }
    item.children.push_back(
        Item("Other files of ident " + Hex(gsd.ident, 4) + ", not used: " + others, bytes));
  }
  return item;
}

// "Slot 2 '2 AI'": a module of the configuration by its place in the split.
std::string SlotText(std::size_t slot, std::string_view module) {
  return "Slot " + Dec(slot) + " '" + std::string(module) + "'";
}

// The texts the file gives to a diagnosis, each at its block: "Unit diagnosis bit 0: Sensor
// supply short" with its help below it, "Area 4-11: Fault code 35: overload", "Channel error 17:
// Output channel overload".
void GsdDiagItems(const std::vector<dp::GsdDiagText>& texts,
                  const std::vector<std::optional<ByteSpan>>& blockSpans,
                  std::vector<DetailItem>& out) {
  for (const dp::GsdDiagText& t : texts) {
    const std::optional<ByteSpan> span =
        t.block < blockSpans.size() ? blockSpans[t.block] : std::nullopt;
    std::string text;
    if (t.bit) {
      text = "Unit diagnosis bit " + Dec(*t.bit) + (t.clear ? " clear: " : ": ") + t.text;
    } else if (t.areaFirst) {
      text = "Area " + Dec(*t.areaFirst) + "-" + Dec(t.areaLast.value_or(*t.areaFirst)) + ": " +
             t.text;
    } else if (t.channelError) {
      text = "Channel error " + Dec(*t.channelError) + ": " + t.text;
    } else {
      text = t.text;
    }
    DetailItem item = Item(std::move(text), span);
    if (!t.help.empty()) item.children.push_back(Item(t.help, span));
    out.push_back(std::move(item));
  }
}

// The user parameters by the file's names: "Parameter Filter time = 3 (3 ms)", "Slot 1 '8 DO':
// Substitute = -1 (hold last value)", all at the user parameter bytes.
void GsdParameterItems(const std::vector<dp::GsdParameter>& parameters,
                       std::optional<ByteSpan> userBytes, std::vector<DetailItem>& out) {
  for (const dp::GsdParameter& p : parameters) {
    std::string text = p.module ? SlotText(p.slot, *p.module) + ": " : std::string("Parameter ");
    text += p.name + " = " + std::to_string(p.value);
    if (p.text) text += " (" + *p.text + ")";
    out.push_back(Item(std::move(text), userBytes));
  }
}

// A configuration in the file's modules, each at its identifier bytes: "Slot 1 '8 DO' (or '8 DO
// fast'): 20", and the bytes that no module has.
void GsdModuleItems(const SlaveGsd& gsd, ByteView config, const Unit& unit,
                    std::vector<DetailItem>& out) {
  const dp::GsdFile& file = gsd.File();
  std::size_t slot = 0;
  for (const dp::GsdModuleMatch& m : dp::SplitModules(file, config)) {
    const int at = static_cast<int>(m.offset);
    const std::optional<ByteSpan> span = unit.Span(at, at + static_cast<int>(m.bytes.size()));
    const ByteView bytes(m.bytes.data(), m.bytes.size());
    if (!m.module) {
      out.push_back(Item("Bytes no module of the GSD file has: " + HexBytes(bytes), span));
      continue;
    }
    std::string text = SlotText(++slot, file.modules[*m.module].name);
    for (std::size_t i = 1; i < m.candidates.size(); ++i) {
      text += (i == 1 ? " (or '" : ", '") + file.modules[m.candidates[i]].name + "'";
    }
    if (m.candidates.size() > 1) text += ")";
    out.push_back(Item(text + ": " + HexBytes(bytes), span));
  }
}

DetailItem SlaveDiagItems(ByteView data, const Unit& unit, const DpReadings& readings,
                          std::uint8_t slave, std::uint32_t ref, DetailItem section) {
  // The reading matters only where a device-related block could be an alarm.
  const auto [dpv1, why] = Dpv1ReadingOf(readings, slave, ref);
  dp::SlaveDiag diag = dp::DecodeSlaveDiag(data, dpv1);
  const bool whole = diag.malformed != dp::Malformed::kShort;
  const std::optional<SlaveGsd> gsd =
      GsdOf(readings, slave, whole ? std::optional(diag.identNumber) : std::nullopt);
  if (gsd && gsd->match != nullptr) dp::NameSlaveDiag(gsd->File(), gsd->modules, data, diag);
  json object = DecodedJson(diag);
  object.erase("texts");
  if (diag.malformed != dp::Malformed::kShort) {
    std::string set;
    std::vector<DetailItem> setFlags;
    std::vector<DetailItem> clearFlags;
    for (std::size_t i = 0; i < dp::kDiagFlagCount; ++i) {
      const auto flag = static_cast<dp::DiagFlag>(i);
      const bool on = diag.Has(flag);
      const auto byte = static_cast<int>(dp::DiagFlagByte(flag));
      (on ? setFlags : clearFlags)
          .push_back(Item(std::string(dp::kDiagFlagNames[i]) + (on ? ": true" : ": false"),
                          unit.Span(byte, byte + 1)));
      if (on) set += (set.empty() ? "" : ", ") + std::string(dp::kDiagFlagNames[i]);
    }
    DetailItem status = Item("station status: " + (set.empty() ? std::string("no flag set") : set),
                             unit.Span(0, 3));
    for (auto& f : setFlags) status.children.push_back(std::move(f));
    for (auto& f : clearFlags) status.children.push_back(std::move(f));
    section.children.push_back(std::move(status));
  }
  json members = object;
  for (const std::string_view name : dp::kDiagFlagNames) members.erase(std::string(name));
  members.erase("blocks");
  MemberItems(
      members, [&unit](std::string_view key) { return PlaceIn(kSlaveDiagPlaces, key, unit); },
      section.children);
  if (diag.malformed != dp::Malformed::kShort) {
    section.children.push_back(BlockItems(object["blocks"], diag, unit));
  }
  const bool deviceBlocks = std::any_of(diag.blocks.begin(), diag.blocks.end(), [](const auto& b) {
    return b.kind == dp::BlockKind::kDevice || b.kind == dp::BlockKind::kAlarm ||
           b.kind == dp::BlockKind::kStatus;
  });
  if (deviceBlocks) section.children.push_back(Item("device-related blocks " + why));
  if (gsd) {
    section.children.push_back(
        GsdFileItem(*gsd, whole ? std::optional(diag.identNumber) : std::nullopt, unit.Span(4, 6)));
    if (diag.texts) {
      GsdDiagItems(*diag.texts, BlockSpans(diag, unit), section.children);
    }
  }
  return section;
}

template <std::size_t N>
void DecodedItems(const json& object, const std::array<Place, N>& places, const Unit& unit,
                  std::vector<DetailItem>& out) {
  MemberItems(
      object, [&](std::string_view key) { return PlaceIn(places, key, unit); }, out);
}

// A Set_Prm's members; with the slave's GSD file read as the file says (its byte 8 is the
// maker's without DPV1_Slave), its file, and its user parameters by their names.
void SetPrmItems(ByteView data, const Unit& unit, const DpReadings& readings, std::uint8_t slave,
                 std::vector<DetailItem>& out) {
  dp::SetPrm prm = dp::DecodeSetPrm(data);
  const bool whole = prm.malformed != dp::Malformed::kShort;
  const std::optional<std::uint16_t> own = whole ? std::optional(prm.identNumber) : std::nullopt;
  const std::optional<SlaveGsd> gsd = GsdOf(readings, slave, own);
  if (gsd && gsd->match != nullptr) dp::NameSetPrm(gsd->File(), gsd->modules, prm);
  json object = DecodedJson(prm);
  object.erase("parameters");
  DecodedItems(object, kSetPrmPlaces, unit, out);
  if (!gsd) return;
  out.push_back(GsdFileItem(*gsd, own, unit.Span(4, 6)));
  if (prm.parameters) GsdParameterItems(*prm.parameters, unit.Span(7, -1), out);
}

// A Chk_Cfg's or Get_Cfg's identifiers and totals; with the slave's GSD file, its file and the
// configuration in its modules.
void ConfigItems(ByteView data, const Unit& unit, const DpReadings& readings, std::uint8_t slave,
                 std::vector<DetailItem>& out) {
  const dp::Config config = dp::DecodeConfig(data);
  json object = DecodedJson(config);
  out.push_back(IdentifierItems(object["identifiers"], config, unit));
  object.erase("identifiers");
  DecodedItems(object, kConfigPlaces, unit, out);
  const std::optional<SlaveGsd> gsd = GsdOf(readings, slave, std::nullopt);
  if (!gsd) return;
  out.push_back(GsdFileItem(*gsd, std::nullopt, std::nullopt));
  if (gsd->match != nullptr) GsdModuleItems(*gsd, data, unit, out);
}

// The service of a DP SAP by the dissector's names.
std::string_view DpServiceOf(std::uint8_t sap) {
  for (const DpServiceName& service : kDpServices) {
    if (service.dsap == sap) return service.name;
  }
  return {};
}

bool IsSrd(const Telegram& t) {
  const unsigned code = t.fc & kRequestCodeMask;
  return t.IsRequest() && (code == kFcSrdLow || code == kFcSrdHigh);
}

std::optional<DetailItem> DpSection(const Telegram& t, ByteView bytes, const RecordContext& context,
                                    const DpReadings& readings) {
  if (!t.HasBody()) return std::nullopt;
  const bool request = t.IsRequest();
  const ByteView data = bytes.Sub(t.dataPos, t.dataLen);
  const Unit unit{kFrameAt + t.dataPos, t.dataLen};
  const std::string direction = request ? " request" : " reply";
  const bool hasSap = request ? t.hasDsap : t.hasSsap;
  const std::uint8_t sap = request ? t.dsap : t.ssap;

  if (hasSap && dp::IsDpv1Sap(sap)) {
    const dp::Dpv1Acyclic pdu = dp::DecodeDpv1Acyclic(data);
    const std::string name(dp::Dpv1FunctionNameOf(pdu.function));
    DetailItem section = Item("DP-V1 acyclic: " +
                                  (pdu.malformed == dp::Malformed::kShort && data.size() == 0
                                       ? std::string("no function")
                                       : name + (pdu.errorReply ? " error" : "")) +
                                  direction + ", " + std::string(Dpv1SapWords(sap)),
                              unit.Span(0, -1));
    // Without a slot or an error the data follow the function byte.
    const bool layout = pdu.errorReply || pdu.HasSlot();
    MemberItems(
        DecodedJson(pdu),
        [&](std::string_view key) {
          return key == "data" && !layout ? unit.Span(1, -1) : PlaceIn(kDpv1Places, key, unit);
        },
        section.children);
    return section;
  }

  if (hasSap) {
    const std::string_view service = DpServiceOf(sap);
    if (service.empty()) return std::nullopt;
    DetailItem section = Item("DP: " + std::string(service) + direction, unit.Span(0, -1));
    section.children.push_back(Item("service: " + std::string(service) + " (" +
                                    (request ? "DSAP " : "SSAP ") + Dec(sap) + ")"));
    if (request && sap == dp::kSapSetPrm) {
      SetPrmItems(data, unit, readings, t.Da(), section.children);
    } else if (request && sap == dp::kSapChkCfg) {
      ConfigItems(data, unit, readings, t.Da(), section.children);
    } else if (request && sap == dp::kSapGlobalControl) {
      DecodedItems(DecodedJson(dp::DecodeGlobalControl(data)), kGlobalControlPlaces, unit,
                   section.children);
    } else if (request && sap == dp::kSapSetSlaveAdd) {
      DecodedItems(DecodedJson(dp::DecodeSetSlaveAdd(data)), kSetSlaveAddPlaces, unit,
                   section.children);
    } else if (!request && sap == dp::kSapGetCfg) {
      ConfigItems(data, unit, readings, t.Sa(), section.children);
    } else if (!request && sap == dp::kSapSlaveDiag) {
      return SlaveDiagItems(data, unit, readings, t.Sa(), context.record.RefNumber,
                            std::move(section));
    } else if (t.dataLen != 0) {
      section.children.push_back(Item("data: " + HexBytes(data), unit.Span(0, -1)));
    }
    return section;
  }

  // Cyclic data exchange: an SRD without SAPs, and the reply to one.
  bool exchange = request && IsSrd(t);
  if (!request && context.before) {
    const CaptureRecord& b = context.before->record;
    const Telegram rt = DissectTelegram(b.Bytes(), b.FrameLen);
    exchange = rt.HasBody() && IsSrd(rt) && !rt.hasDsap && t.kind != FrameKind::kSc;
  }
  if (!exchange) return std::nullopt;
  DetailItem section = Item("DP: Data_Exchange" + direction, unit.Span(0, -1));
  section.children.push_back(
      Item(std::string(request ? "outputs: " : "inputs: ") + Plural(t.dataLen, "byte", "bytes"),
           unit.Span(0, -1)));
  return section;
}

// --- Pairing -----------------------------------------------------------------------------------

bool AnswersRequest(const Telegram& request, const Telegram& reply, ByteView replyBytes) {
  if (!request.HasBody() || !request.IsRequest()) return false;
  if (!ExpectsReplyCode(static_cast<std::uint8_t>(request.fc & kRequestCodeMask))) return false;
  if (IsFaulty(reply, replyBytes)) return false;
  if (reply.kind == FrameKind::kSc) return true;
  return reply.HasBody() && !reply.IsRequest() && reply.Da() == request.Sa() &&
         reply.Sa() == request.Da();
}

std::string ResponseTime(const RecordContext::Neighbour& later, std::uint8_t ticksPerBit) {
  if (ticksPerBit == 0) return "response time unknown (the baud rate is unknown)";
  if (later.gapTicks < 0) return "response time not measured (the clock stepped back)";
  return "response time " + Dec(static_cast<std::uint64_t>(later.gapTicks / ticksPerBit)) +
         " bit times (" + Decimal3(later.gapNs, 1000) + " µs)";
}

std::optional<DetailItem> PairingSection(const Telegram& t, const RecordContext& context) {
  const std::uint32_t ref = context.record.RefNumber;
  const bool request = t.HasBody() && t.IsRequest() &&
                       ExpectsReplyCode(static_cast<std::uint8_t>(t.fc & kRequestCodeMask));
  const bool reply = t.kind == FrameKind::kSc || (t.HasBody() && !t.IsRequest());
  if (!request && !reply) return std::nullopt;
  DetailItem section = Item("Pairing");
  if (request) {
    const auto& after = context.after;
    const Telegram a =
        after ? DissectTelegram(after->record.Bytes(), after->record.FrameLen) : Telegram{};
    if (after && AnswersRequest(t, a, after->record.Bytes())) {
      DetailItem item =
          Item("Reply: record " + Dec(ref + 1) + ", " + ResponseTime(*after, context.ticksPerBit));
      item.link = after->record.RefNumber;
      section.children.push_back(std::move(item));
    } else if (after) {
      section.children.push_back(Item("Reply: none; the record after it (" +
                                      Dec(after->record.RefNumber) + ") does not answer it"));
    } else {
      section.children.push_back(Item("Reply: none; nothing was read after it without a break"));
    }
  } else {
    const auto& before = context.before;
    const Telegram b =
        before ? DissectTelegram(before->record.Bytes(), before->record.FrameLen) : Telegram{};
    if (before && AnswersRequest(b, t, context.record.Bytes())) {
      DetailItem item = Item("Request: record " + Dec(before->record.RefNumber) + ", " +
                             ResponseTime(*before, context.ticksPerBit));
      item.link = before->record.RefNumber;
      section.children.push_back(std::move(item));
    } else {
      section.children.push_back(Item("Request: none; the record before it asks for no reply"));
    }
  }
  section.text +=
      ": " + section.children.front().text.substr(0, section.children.front().text.find(','));
  return section;
}

}  // namespace

std::vector<std::uint8_t> RecordFileBytes(const CaptureRecord& record) {
  std::vector<std::uint8_t> bytes(RecordSize(record.FrameLen));
  bytes[0] = SYNC_MARK;
  for (int i = 0; i < 6; ++i) {
    bytes[static_cast<std::size_t>(1 + i)] = static_cast<std::uint8_t>(record.Timestamp >> (8 * i));
  }
  bytes[7] = record.FrameLen;
  const ByteView frame = record.Bytes();
  for (std::size_t i = 0; i < frame.size(); ++i) bytes[kRecordHeaderSize + i] = frame.U8(i);
  return bytes;
}

std::vector<DetailItem> RecordDetails(const RecordContext& context, std::string_view fileName,
                                      const DpReadings& readings) {
  const CaptureRecord& r = context.record;
  const ByteView bytes = r.Bytes();
  const Telegram t = DissectTelegram(bytes, r.FrameLen);
  std::vector<DetailItem> sections;
  sections.push_back(CaptureSection(context, fileName));
  sections.push_back(FdlSection(t, bytes));
  if (auto dp = DpSection(t, bytes, context, readings)) sections.push_back(std::move(*dp));
  if (auto pairing = PairingSection(t, context)) sections.push_back(std::move(*pairing));
  return sections;
}

const DetailItem* ItemAt(const std::vector<DetailItem>& items, const std::vector<int>& path) {
  const std::vector<DetailItem>* level = &items;
  const DetailItem* item = nullptr;
  for (const int i : path) {
    if (i < 0 || static_cast<std::size_t>(i) >= level->size()) return nullptr;
    item = &(*level)[static_cast<std::size_t>(i)];
    level = &item->children;
  }
  return item;
}

std::vector<int> InnermostItemAt(const std::vector<DetailItem>& items, int offset) {
  std::vector<int> path;
  const std::vector<DetailItem>* level = &items;
  for (;;) {
    // The smallest span at this level that covers the byte; the first of equals.
    int best = -1;
    int bestSize = 0;
    for (std::size_t i = 0; i < level->size(); ++i) {
      const auto& span = (*level)[i].bytes;
      if (!span || !span->Covers(offset)) continue;
      const int size = span->end - span->begin;
      if (best < 0 || size < bestSize) {
        best = static_cast<int>(i);
        bestSize = size;
      }
    }
    if (best < 0) return path;
    path.push_back(best);
    level = &(*level)[static_cast<std::size_t>(best)].children;
  }
}

std::string DetailsText(const DetailItem& item, int depth) {
  std::string text(static_cast<std::size_t>(2 * depth), ' ');
  text += item.text + '\n';
  for (const DetailItem& child : item.children) text += DetailsText(child, depth + 1);
  return text;
}

}  // namespace fdc::ui
