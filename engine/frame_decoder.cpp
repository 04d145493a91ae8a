// The dump's frame part: the status column, then the decoded telegram from its dissection, or its
// error mark and raw bytes.
#include "engine/line_writers.h"

namespace fdc {

namespace {

void WriteStatusColumn(DumpWriter& out, const DumpOptions& options, std::uint8_t status) {
  if (!options.DetailSts) {
    out.Char(status != 0 ? '*' : ' ');
    return;
  }
  char* at = out.Claim(kStatusBits.size());
  for (std::size_t bit = 0; bit < kStatusBits.size(); ++bit) {
    at[bit] = (status & kStatusBits[bit].mask) ? kStatusBits[bit].letter : '.';
  }
}

// Each kind's name, four characters wide ("SC  ").
constexpr std::array<std::array<char, 4>, kFrameKinds.size()> kKindColumn = [] {
  std::array<std::array<char, 4>, kFrameKinds.size()> columns{};
  for (std::size_t i = 0; i < kFrameKinds.size(); ++i) {
    columns[i].fill(' ');
    for (std::size_t c = 0; c < kFrameKinds[i].name.size(); ++c)
      columns[i][c] = kFrameKinds[i].name[c];
  }
  return columns;
}();

void WriteKindName(DumpWriter& out, const DumpOptions& options, FrameKind kind) {
  if (options.NoDelim) return;
  const auto& name = kKindColumn[static_cast<std::size_t>(kind)];
  out.Text(std::string_view(name.data(), name.size()));
}

// Stands in the address and function-code columns of a short acknowledgement.
void WriteShortAckFiller(DumpWriter& out, const DumpOptions& options) {
  if (!options.NoDst) out.Text("   ");
  if (!(options.NoDst && options.NoSrc)) {
    out.Text("  ");
    if (!options.NoSrc) out.Text("   ");
  }
  if (!options.NoFc) {
    if (options.ShowFcbTyp) out.Text("   ");
    out.Text("SHAK ");
  }
}

void WriteFrameMark(DumpWriter& out, const Telegram& t) {
  FrameMarkBuffer buffer;
  out.Text(FrameMarkText(t, buffer));
  out.Char(' ');
}

}  // namespace

void WriteFrameBody(DumpWriter& out, const DumpOptions& options, const Telegram& t,
                    ByteView record) {
  WriteAddressColumn(out, options, t.da, t.sa);
  WriteFunctionCodeColumn(out, options, t.fc);
  // The SAP column shows the SAPs the data unit holds; a missing one shows as absent.
  WriteSapColumn(out, options, t.hasDsap ? kSapExtension : 0, t.hasSsap ? kSapExtension : 0, t.dsap,
                 t.ssap);
  if (!options.NoData) {
    const ByteView data = record.Sub(t.dataPos, t.dataLen);
    WriteDataUnit(out, options, data.data(), data.size());
  }
  if (options.ShowFcs) {
    out.Char('[');
    out.Hex2(t.fcs);
    out.Text("] ");
  }
  if (t.ed != kEd) {
    out.Text("ED?(");
    out.Hex2(t.ed);
    out.Text(") ");
  } else if (!options.NoDelim) {
    out.Text("ED ");
  }
}

void WriteFrameColumns(DumpWriter& out, const DumpOptions& options, const Telegram& t,
                       ByteView record) {
  WriteStatusColumn(out, options, t.status);
  if (t.Empty()) out.Text("FrmLen?(0)");
  if (t.kind != FrameKind::kUnknown) WriteKindName(out, options, t.kind);
  if (t.kind == FrameKind::kSc) WriteShortAckFiller(out, options);
  if (t.Decoded()) {
    if (t.kind == FrameKind::kSd4) return WriteAddressColumn(out, options, t.da, t.sa);
    if (t.HasBody()) WriteFrameBody(out, options, t, record);
    return;
  }
  WriteFrameMark(out, t);
  const ByteView frame = record.Sub(0, t.frameLen);
  WriteHexBytes(out, frame.data(), frame.size());
}

void WriteFrameColumns(DumpWriter& out, const DumpOptions& options, const std::uint8_t* record,
                       std::uint8_t frameLen) {
  const ByteView bytes(record, static_cast<std::size_t>(frameLen) + 1);
  Telegram telegram;
  DissectTelegram(bytes, frameLen, telegram);
  WriteFrameColumns(out, options, telegram, bytes);
}

}  // namespace fdc
