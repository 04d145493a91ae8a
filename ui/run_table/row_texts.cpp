// Row texts of the record table, formatted from the dissection into one fixed buffer.
#include "ui/run_table/row_texts.h"

#include <algorithm>

#include "capture/fdl_protocol.h"
#include "common/file_paths.h"

namespace fdc::ui {

const std::array<ColumnLayout, kTableColumns> kTableColumnLayouts = {{
    {"No.", true, "Reference number of the record in the run"},
    {"Time", true, "Absolute time on the capture module's clock, hr:mn:sc.ms.us"},
    {"Delta ms", true, "Time since the record shown in the row before, in milliseconds"},
    {"Gap µs", true, "Idle time before the frame, in microseconds"},
    {"Status", false, "Status bits set by the capture module: s p d r u o c e"},
    {"Kind", false, "Frame kind by its start delimiter"},
    {"DA", true, "Destination address"},
    {"SA", true, "Source address"},
    {"Function", false, "Function code: FCB/FCV or station type, and its name"},
    {"SAPs", false, "Destination SAP { source SAP"},
    {"Data", false, "Data bytes; the whole frame of a malformed telegram"},
    {"FCS/ED", false, "Frame check byte and end delimiter, or the mark of a malformed frame"},
}};

namespace {

// The names of the status bits, in bit order, for the reasons of a fault.
char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// A signed count of `unit`-size parts with three decimals: 1234567 ns in ms is "1.234".
void AppendDecimal3(RowTexts& out, std::int64_t value, std::int64_t unit) {
  std::uint64_t magnitude =
      value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  if (value < 0) out.Char('-');
  const auto whole = magnitude / static_cast<std::uint64_t>(unit);
  const auto part =
      magnitude % static_cast<std::uint64_t>(unit) / (static_cast<std::uint64_t>(unit) / 1000);
  out.Dec(whole);
  out.Char('.');
  out.DecZero(part, 3);
}

void AppendStatus(RowTexts& out, std::uint8_t status) {
  for (const StatusBitName& bit : kStatusBits) out.Char((status & bit.mask) ? bit.letter : '.');
}

// The dump's prefix of the function code under ShowFcbTyp, then the name.
void AppendFunction(RowTexts& out, std::uint8_t fc) {
  if (fc & kFcRequest) {
    out.Char((fc & kFcFcb) ? '1' : '0');
    out.Text((fc & kFcFcv) ? "v " : "  ");
  } else {
    out.Text(StationTypeOf(fc).abbreviation);
    out.Char(' ');
  }
  const std::string_view name = FunctionCodeName(fc);
  if (!name.empty()) {
    out.Text(name);
  } else {
    out.Text("Typ?(");
    out.Hex2(fc);
    out.Char(')');
  }
}

void AppendBytes(RowTexts& out, ByteView record, std::size_t from, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) out.Char(' ');
    out.Hex2(record.U8(from + i));
  }
}

// The dump's mark of a frame that does not decode, without its trailing blank.
void AppendMark(RowTexts& out, const Telegram& t) {
  FrameMarkBuffer buffer;
  out.Text(FrameMarkText(t, buffer));
}

void FormatRecord(const RowItem& item, std::optional<std::int64_t> previousAbsNs, RowTexts& out) {
  const Telegram& t = *item.telegram;
  const ByteView record = item.record->Bytes();
  out.Dec(item.record->RefNumber);
  out.EndColumn();
  AppendClock(out, item.absNs);
  out.EndColumn();
  AppendDecimal3(out, previousAbsNs ? item.absNs - *previousAbsNs : 0, 1'000'000);
  out.EndColumn();
  AppendDecimal3(out, item.gapNs, 1'000);
  out.EndColumn();
  AppendStatus(out, t.status);
  out.EndColumn();
  out.Text(t.kind == FrameKind::kUnknown ? std::string_view("SD?") : FrameKindText(t.kind));
  out.EndColumn();
  if (t.HasAddresses()) out.Dec(t.Da());
  out.EndColumn();
  if (t.HasAddresses()) out.Dec(t.Sa());
  out.EndColumn();
  if (t.HasBody()) {
    AppendFunction(out, t.fc);
  } else if (t.kind == FrameKind::kSc) {
    out.Text("SHAK");
  }
  out.EndColumn();
  if (t.HasBody() && (t.hasDsap || t.hasSsap)) {
    if (t.hasDsap) out.Dec(t.dsap);
    out.Char('{');
    if (t.hasSsap) out.Dec(t.ssap);
  }
  out.EndColumn();
  if (t.HasBody()) {
    AppendBytes(out, record, t.dataPos, t.dataLen);
  } else if (!t.Decoded()) {
    AppendBytes(out, record, 0, t.frameLen);
  }
  out.EndColumn();
  if (t.Empty()) out.Text("FrmLen?(0)");
  if (t.HasBody()) {
    if (FcsMatches(record, t)) {
      out.Char('[');
      out.Hex2(t.fcs);
      out.Char(']');
    } else {
      out.Text("FCS?(");
      out.Hex2(t.fcs);
      out.Char(')');
    }
    if (t.ed == kEd) {
      out.Text(" ED");
    } else {
      out.Text(" ED?(");
      out.Hex2(t.ed);
      out.Char(')');
    }
  } else {
    AppendMark(out, t);
  }
  out.EndColumn();
}

void AppendFileName(RowTexts& out, std::span<const CaptureFileInfo> files, std::uint32_t file) {
  if (file >= files.size()) return;
  out.Text(" (");
  out.Text(FileNameOf(files[file].name));
  out.Char(')');
}

void FormatEvent(const RowItem& item, std::span<const CaptureFileInfo> files, RowTexts& out) {
  const CaptureEvent& event = *item.event;
  for (int column = kColRef; column < kColKind; ++column) out.EndColumn();
  out.Text(item.kind == RowKind::kSyncLost    ? "Sync lost"
           : item.kind == RowKind::kRecordCut ? "Cut short"
                                              : "File left");
  for (int column = kColKind; column < kColData; ++column) out.EndColumn();
  if (item.kind == RowKind::kRecordCut) {
    // The words of the health report's finding, naming the file in full.
    const std::string name = event.file < files.size() ? files[event.file].name : std::string();
    out.Text(RecordCutText(name, event.offset, event.length));
    out.EndColumn();
    out.EndColumn();
    return;
  }
  if (item.kind == RowKind::kSyncLost) {
    // The dump's three lines, joined.
    out.Text("**** Synchronization Lost **** ");
    out.Dec(event.lastRefNumber);
    out.Text(": Ofs=");
    out.HexPadded(event.offset, 1);
    out.Text(" Mark=");
    out.Hex2(event.markFound);
    out.Text(" PrvLen=");
    out.Hex2(event.previousFrameLen);
    out.Text(" PrvTme=");
    out.HexPadded(static_cast<std::uint32_t>(event.previousTimestamp), 8);
    out.Char(' ');
    out.HexPadded(static_cast<std::uint32_t>(event.previousTimestamp >> 32), 8);
  } else {
    out.Text(SyncFailureMessage(event.failure));
  }
  AppendFileName(out, files, event.file);
  out.EndColumn();
  out.EndColumn();
}

}  // namespace

// --- RowTexts --------------------------------------------------------------------------------

void RowTexts::Clear() {
  length_ = 0;
  column_ = 0;
  start_.fill(0);
  rowClass = RowClass::kRecord;
  row = 0;
  refNumber = 0;
  absNs = 0;
}

void RowTexts::Text(std::string_view text) {
  const std::size_t n = std::min(text.size(), kCapacity - length_);
  std::copy_n(text.data(), n, text_.data() + length_);
  length_ = static_cast<std::uint16_t>(length_ + n);
}

void RowTexts::EndColumn() {
  if (column_ >= kTableColumns) return;
  start_[static_cast<std::size_t>(++column_)] = length_;
}

bool RowTexts::Contains(std::string_view lowerNeedle) const {
  if (lowerNeedle.empty()) return true;
  for (int column = 0; column < kTableColumns; ++column) {
    const std::string_view text = Column(column);
    const auto found = std::search(text.begin(), text.end(), lowerNeedle.begin(), lowerNeedle.end(),
                                   [](char hay, char needle) { return LowerAscii(hay) == needle; });
    if (found != text.end()) return true;
  }
  return false;
}

// --- Formatting ------------------------------------------------------------------------------

void FormatRow(const RowItem& item, std::optional<std::int64_t> previousAbsNs,
               std::span<const CaptureFileInfo> files, RowTexts& out) {
  out.Clear();
  out.row = item.row;
  if (item.kind == RowKind::kRecord) {
    out.rowClass = item.faulty ? RowClass::kFaulty : RowClassOfMarks(item.marks);
    out.refNumber = item.record->RefNumber;
    out.absNs = item.absNs;
    FormatRecord(item, previousAbsNs, out);
  } else {
    out.rowClass = RowClass::kEvent;
    FormatEvent(item, files, out);
  }
}

RowClass RowClassOfMarks(const RecordMarks& marks) {
  static constexpr std::pair<RecordMarkKind, RowClass> kClasses[] = {
      {kMarkDamaged, RowClass::kFaulty},
      {kMarkNoReply, RowClass::kNoReply},
      {kMarkLateReply, RowClass::kLateReply},
      {kMarkCorruptReply, RowClass::kCorruptReply},
      {kMarkEarlyReply, RowClass::kEarlyReply},
      {kMarkNegativeReply, RowClass::kNegativeReply},
      {kMarkDiagnosisFlagged, RowClass::kDiagnosisFlagged},
      {kMarkTsynViolation, RowClass::kTsynViolation},
      {kMarkLateAnswer, RowClass::kLateReply},
  };
  for (const auto& [kind, rowClass] : kClasses) {
    if (marks.kinds & kind) return rowClass;
  }
  return RowClass::kRecord;
}

std::string FaultReasons(const Telegram& t, ByteView record) {
  std::string reasons;
  auto line = [&reasons](const std::string& text) {
    if (!reasons.empty()) reasons += '\n';
    reasons += text;
  };
  if (t.status != 0) {
    std::string bits;
    for (std::size_t i = 0; i < kStatusBits.size(); ++i) {
      if (!(t.status & kStatusBits[i].mask)) continue;
      if (!bits.empty()) bits += ", ";
      bits += std::string(1, kStatusBits[i].letter) + " (" + std::string(kStatusBits[i].word) + ")";
    }
    line("Status bits: " + bits);
  }
  if (!t.Decoded()) {
    RowTexts mark;
    AppendMark(mark, t);
    mark.EndColumn();
    line("Malformed telegram: " + std::string(mark.Column(0)));
  }
  if (t.HasBody()) {
    const std::uint8_t sum = FrameCheckSum(record, t);
    if (sum != t.fcs) {
      RowTexts text;
      text.Text("Wrong FCS ");
      text.Hex2(t.fcs);
      text.Text(": the frame's bytes sum to ");
      text.Hex2(sum);
      text.EndColumn();
      line(std::string(text.Column(0)));
    }
    if (t.ed != kEd) {
      RowTexts text;
      text.Text("Wrong end delimiter ");
      text.Hex2(t.ed);
      text.EndColumn();
      line(std::string(text.Column(0)));
    }
  }
  return reasons;
}

std::string_view ServiceOfSap(std::uint8_t sap) {
  for (const DpServiceName& service : kDpServices) {
    if (service.dsap == sap) return service.name;
  }
  return {};
}

// --- Reading ---------------------------------------------------------------------------------

Result ReadRowTexts(RowReader& reader, std::span<const CaptureFileInfo> files, std::uint64_t first,
                    std::uint64_t count, const RowTextsTaker& take) {
  // A few rows before the first one are read with it for the delta; when all of them are events
  // the record before is looked for further back, once.
  constexpr std::uint64_t kLookBack = 32;
  constexpr std::uint64_t kFarLookBack = 4 * kIndexStride;
  std::optional<std::int64_t> previous;
  std::uint64_t start = first > kLookBack ? first - kLookBack : 0;
  bool lookFurther = false;
  RowTexts texts;
  auto read = [&](std::uint64_t from) {
    return reader.Read(from, first + count - from, [&](const RowItem& item) {
      if (item.row >= first) {
        if (!previous && from > 0 && !lookFurther) {
          lookFurther = true;
          return false;
        }
        FormatRow(item, previous, files, texts);
        if (!take(texts, item)) return false;
      }
      if (item.kind == RowKind::kRecord) previous = item.absNs;
      return true;
    });
  };
  Result result = read(start);
  if (!result.failed() && lookFurther) {
    start = first > kFarLookBack ? first - kFarLookBack : 0;
    result = reader.Read(start, first - start, [&](const RowItem& item) {
      if (item.kind == RowKind::kRecord) previous = item.absNs;
      return true;
    });
    if (result.failed()) return result;
    // Found or not, the rows are read now: an unknown record before gives a delta of 0.
    const std::uint64_t from = first;
    result = reader.Read(from, count, [&](const RowItem& item) {
      FormatRow(item, previous, files, texts);
      if (!take(texts, item)) return false;
      if (item.kind == RowKind::kRecord) previous = item.absNs;
      return true;
    });
  }
  return result;
}

}  // namespace fdc::ui
