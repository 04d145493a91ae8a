// The frame decoder: status column, frame kind, length checks, and the decoded body or the raw
// bytes of a malformed frame.
#include "engine/line_writers.h"

namespace fdc {

namespace {

constexpr char kStatusLetters[8] = {'s', 'p', 'd', 'r', 'u', 'o', 'c', 'e'};

void WriteStatusColumn(DumpWriter& out, const DumpOptions& options, std::uint8_t status) {
  if (!options.DetailSts) {
    out.Char(status != 0 ? '*' : ' ');
    return;
  }
  for (int bit = 0; bit < 8; ++bit) out.Char((status >> bit) & 1 ? kStatusLetters[bit] : '.');
}

void WriteLengthMark(DumpWriter& out, std::string_view prefix, unsigned frameLen) {
  out.Text(prefix);
  out.Dec(frameLen);
  out.Text(")? ");
}

void WriteKindName(DumpWriter& out, const DumpOptions& options, std::string_view name) {
  if (!options.NoDelim) out.Text(name);
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

}  // namespace

void WriteFrameBody(DumpWriter& out, const DumpOptions& options, const std::uint8_t* body,
                    std::size_t length) {
  // Callers pass at least DA, SA, FC, FCS and ED.
  const std::uint8_t da = body[0];
  const std::uint8_t sa = body[1];
  WriteAddressColumn(out, options, da, sa);
  WriteFunctionCodeColumn(out, options, body[2]);

  // A SAP byte is taken only where the data unit holds one: a frame whose extension bits call
  // for more SAP bytes than it has shows those it has, and no data.
  std::size_t count = length - 5;
  std::size_t pos = 3;
  std::uint8_t dsap = 0;
  std::uint8_t ssap = 0;
  std::uint8_t shown = 0;  // extension bits of the SAPs actually present
  if ((da & kSapExtension) && count > 0) {
    dsap = body[pos++];
    --count;
    shown |= 0x01;
  }
  if ((sa & kSapExtension) && count > 0) {
    ssap = body[pos++];
    --count;
    shown |= 0x02;
  }
  WriteSapColumn(out, options, (shown & 0x01) ? kSapExtension : 0,
                 (shown & 0x02) ? kSapExtension : 0, dsap, ssap);
  if (!options.NoData) WriteDataUnit(out, options, body + pos, count);

  const std::uint8_t fcs = body[pos + count];
  const std::uint8_t ed = body[pos + count + 1];
  if (options.ShowFcs) {
    out.Char('[');
    out.Hex2(fcs);
    out.Text("] ");
  }
  if (ed != kEd) {
    out.Text("ED?(");
    out.Hex2(ed);
    out.Text(") ");
  } else if (!options.NoDelim) {
    out.Text("ED ");
  }
}

void WriteFrameColumns(DumpWriter& out, const DumpOptions& options, const std::uint8_t* record,
                       std::uint8_t frameLen) {
  WriteStatusColumn(out, options, record[frameLen]);
  // An empty frame: its status byte stands at position 0 and picks the kind, whose length check
  // then fails with nothing to dump.
  if (frameLen == 0) out.Text("FrmLen?(0)");

  const std::uint8_t kind = record[0];
  switch (kind) {
    case kSd1:
      WriteKindName(out, options, "SD1 ");
      if (frameLen == 6) return WriteFrameBody(out, options, record + 1, 5);
      WriteLengthMark(out, "Len(", frameLen);
      break;
    case kSd2:
      WriteKindName(out, options, "SD2 ");
      if (frameLen < 9) {
        WriteLengthMark(out, "SD2 Len(", frameLen);
      } else if (record[1] != frameLen - 6) {
        out.Text("SD2 LE?(");
        out.Dec(frameLen);
        out.Text(") ");
      } else if (record[2] != record[1]) {
        out.Text("SD2 LEr? ");
      } else if (record[3] != kSd2) {
        out.Text("SD2r? ");
      } else {
        return WriteFrameBody(out, options, record + 4, frameLen - 4u);
      }
      break;
    case kSd3:
      WriteKindName(out, options, "SD3 ");
      if (frameLen == 14) return WriteFrameBody(out, options, record + 1, 13);
      WriteLengthMark(out, "SD3 Len(", frameLen);
      break;
    case kSd4:
      WriteKindName(out, options, "SD4 ");
      if (frameLen == 3) return WriteAddressColumn(out, options, record[1], record[2]);
      WriteLengthMark(out, "Len(", frameLen);
      break;
    case kSc:
      WriteKindName(out, options, "SC  ");
      WriteShortAckFiller(out, options);
      if (frameLen == 1) return;
      WriteLengthMark(out, "Len(", frameLen);
      break;
    default:
      out.Text("SD?");
      out.Hex2(kind);
      out.Char(' ');
      break;
  }
  WriteHexBytes(out, record, frameLen);
}

}  // namespace fdc
