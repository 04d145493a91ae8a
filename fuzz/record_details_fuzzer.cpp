// Fuzz target for the record details: any bytes as a record with the records before and after it
// (byte 0 chooses the neighbours, the rate, how diagnosis blocks are read and whether a GSD file
// names every slave; bytes 1 and 2 the neighbours' lengths), made into the details tree, its text and the hex pane's text. Every item
// must name bytes inside the record and inside its parent's, and every byte must lead to an item.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ui/details/hex_dump.h"
#include "ui/details/record_details.h"

namespace {

using namespace fdc;
using namespace fdc::ui;

void Check(bool ok) {
  if (!ok) std::abort();
}

CaptureRecord RecordOf(const std::uint8_t* data, std::size_t size, std::uint32_t ref) {
  CaptureRecord r;
  // The last byte is the status byte; a frame holds at most 255 bytes.
  const std::size_t frame = std::min<std::size_t>(size == 0 ? 0 : size - 1, 255);
  r.FrameLen = static_cast<std::uint8_t>(frame);
  std::copy(data, data + std::min(size, frame + 1), r.Frame);
  r.RefNumber = ref;
  r.Timestamp = 0x123456789Aull;
  return r;
}

void CheckItems(const std::vector<DetailItem>& items, ByteSpan outer) {
  for (const DetailItem& item : items) {
    ByteSpan inner = outer;
    if (item.bytes) {
      Check(item.bytes->begin >= outer.begin && item.bytes->end <= outer.end);
      Check(item.bytes->begin < item.bytes->end);
      inner = *item.bytes;
    }
    CheckItems(item.children, inner);
  }
}

// A GSD file of every kind of name the details use: bits, a clear bit, areas, channel texts,
// parameters of the device and of modules, modules of equal bytes.
constexpr std::string_view kGsd = R"(#Profibus_DP
Vendor_Name = "V"
Model_Name = "M"
Ident_Number = 0x7F02
DPV1_Slave = 1
Unit_Diag_Bit(0) = "b0"
Unit_Diag_Bit_Help(0) = "h0"
Unit_Diag_Not_Bit(3) = "n3"
Unit_Diag_Area = 4-11
Value(1) = "a1"
Unit_Diag_Area_End
Channel_Diag(17) = "c17"
PrmText = 1
Text(1) = "t1"
EndPrmText
ExtUserPrmData = 1 "p1"
BitArea(2-4) 0 0-7
Prm_Text_Ref = 1
EndExtUserPrmData
ExtUserPrmData = 2 "p2"
Signed16 0 -32768-32767
EndExtUserPrmData
Ext_User_Prm_Data_Ref(3) = 1
Module = "A" 0x20
Ext_Module_Prm_Data_Len = 2
Ext_User_Prm_Data_Ref(0) = 2
Channel_Diag(17) = "m17"
EndModule
Module = "A2" 0x20
EndModule
Module = "B" 0x51,0x10
EndModule
)";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  const std::uint8_t options = data[0];
  const std::size_t beforeSize = std::min<std::size_t>(data[1], size - 3);
  const std::size_t afterSize = std::min<std::size_t>(data[2], size - 3 - beforeSize);
  const std::uint8_t* rest = data + 3;
  RecordContext context;
  if (options & 1) context.before = {RecordOf(rest, beforeSize, 9), data[1], data[1] * 100};
  if (options & 2) {
    context.after = {RecordOf(rest + beforeSize, afterSize, 11), -data[2], data[2] * 100};
  }
  context.record =
      RecordOf(rest + beforeSize + afterSize, size - 3 - beforeSize - afterSize, 10);
  context.ticksPerBit = (options & 4) ? 8 : 0;
  DpFigures dp;
  DpSlaveFigures slave;
  slave.dpv1Readings = {{1, true}};
  if (options & 32) {
    slave.identNumber = 0x7F02;
    slave.config = DpConfigFigures{"2051102000", 0, 0, dp::Malformed::kNone, std::nullopt};
  }
  for (auto& s : dp.slaves) s = slave;
  static const dp::GsdLibrary gsd = [] {
    dp::GsdLibrary library;
    library.Add("FUZZ.GSD", dp::ParseGsd(kGsd));
    return library;
  }();
  DpReadings readings =
      (options & 8) ? DpReadings{&dp, (options & 16) ? 100u : 1u} : DpReadings{};
  if (options & 64) readings.gsd = &gsd;

  const std::vector<DetailItem> items = RecordDetails(context, "run0000.FdcCapt", readings);
  const int recordSize = static_cast<int>(RecordSize(context.record.FrameLen));
  CheckItems(items, {0, recordSize});
  for (int offset = 0; offset < recordSize; ++offset) {
    const DetailItem* item = ItemAt(items, InnermostItemAt(items, offset));
    Check(item != nullptr && item->bytes && item->bytes->Covers(offset));
  }
  std::string text;
  for (const DetailItem& item : items) text += DetailsText(item);
  Check(!text.empty());
  const std::vector<std::uint8_t> bytes = RecordFileBytes(context.record);
  Check(static_cast<int>(bytes.size()) == recordSize);
  const std::string hex = HexDumpText(bytes);
  Check(static_cast<int>(std::count(hex.begin(), hex.end(), '\n')) ==
        (recordSize + kHexBytesPerLine - 1) / kHexBytesPerLine - 1);
  return 0;
}
