// The record table's rows as text: its columns, one row formatted into a fixed buffer (so that a
// search through millions of rows allocates nothing), why a row is faulty, and rows read from an
// index with the delta to the row shown before.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "common/text_appenders.h"
#include "engine/run_index.h"

namespace fdc::ui {

enum TableColumn : int {
  kColRef,     // reference number
  kColTime,    // absolute time on the module's clock
  kColDelta,   // since the row shown before, in ms
  kColGap,     // idle gap before the frame, in us
  kColStatus,  // the status byte as eight letters
  kColKind,    // SD1, SD2, SD3, SD4, SC, SD?
  kColDa,
  kColSa,
  kColFunction,  // function code name with FCB/FCV or station type
  kColSaps,      // DSAP{SSAP
  kColData,      // data bytes, or a malformed frame's raw bytes, or what an event row tells
  kColMarks,     // FCS and ED, or the mark of a malformed frame
  kTableColumns,
};

struct ColumnLayout {
  std::string_view heading;
  bool number;  // right-aligned
  std::string_view tip;
};
extern const std::array<ColumnLayout, kTableColumns> kTableColumnLayouts;

// A row's kind for its colour: a sound record, a damaged frame, a reader's event, or a record
// with a protocol fault by its first mark.
enum class RowClass : std::uint8_t {
  kRecord,
  kFaulty,
  kEvent,
  kNoReply,
  kLateReply,
  kCorruptReply,
  kEarlyReply,
  kNegativeReply,
  kDiagnosisFlagged,
  kTsynViolation,
  kDpEvent,  // a sound record whose request carries an event of the DP layer
};
// The class of a record by its marks: a damaged frame first, then its first protocol fault.
RowClass RowClassOfMarks(const RecordMarks& marks);

// One row's column texts, kept in one fixed buffer.
class RowTexts {
 public:
  // The longest row: 255 data bytes of three characters and the short columns.
  static constexpr std::size_t kCapacity = 1024;

  // Empty for a column not ended yet.
  std::string_view Column(int column) const {
    if (column < 0 || column >= column_) return {};
    const auto at = static_cast<std::size_t>(column);
    return std::string_view(text_.data() + start_[at], start_[at + 1] - start_[at]);
  }
  // Case-insensitive (ASCII) search for `lowerNeedle`, which must be in lower case already, in
  // any one column.
  bool Contains(std::string_view lowerNeedle) const;

  RowClass rowClass = RowClass::kRecord;
  std::uint64_t row = 0;
  std::uint32_t refNumber = 0;  // 0 for an event row
  std::int64_t absNs = 0;

  // Building, column by column in order.
  void Clear();
  void Char(char c) {
    if (length_ < kCapacity) text_[length_++] = c;
  }
  void Text(std::string_view text);
  void Dec(std::uint64_t value) { AppendDec(*this, value, 0, ' '); }
  void DecZero(std::uint64_t value, int width) { AppendDec(*this, value, width, '0'); }
  void Hex2(std::uint8_t value) { AppendHex2(*this, value); }
  // Lower-case hexadecimal, zero-padded to at least `digits` places.
  void HexPadded(std::uint32_t value, int digits) { AppendHexPadded(*this, value, digits); }
  // Room for n (at most kMaxFieldChars) characters, for the shared appenders: what runs past the
  // capacity lands in spare room and is dropped.
  char* Claim(std::size_t n) {
    char* at = text_.data() + length_;
    length_ = static_cast<std::uint16_t>(std::min(kCapacity, length_ + n));
    return at;
  }
  // Ends the current column; the next text belongs to the next one.
  void EndColumn();

 private:
  std::array<char, kCapacity + kMaxFieldChars> text_{};
  std::array<std::uint16_t, kTableColumns + 1> start_{};
  std::uint16_t length_ = 0;
  int column_ = 0;
};

// Formats one row. `previousAbsNs` is the time of the record row shown before (none: the first
// row shown, whose delta is 0, as the dump's first line); `files` name the file of an event.
void FormatRow(const RowItem& item, std::optional<std::int64_t> previousAbsNs,
               std::span<const CaptureFileInfo> files, RowTexts& out);

// Why a faulty record is faulty, one reason a line; empty for a sound one.
std::string FaultReasons(const Telegram& telegram, ByteView record);

// The DP service of a SAP ("Slave_Diag"); empty for others.
std::string_view ServiceOfSap(std::uint8_t sap);

// Reads rows first .. first + count - 1 of a reader's source as the table shows them, each with
// the delta to the record row before it (read too when it lies before `first`), and hands each
// on with the row it was made from. `take` returns false to stop. Returns the reader's failure,
// if any.
using RowTextsTaker = std::function<bool(const RowTexts& texts, const RowItem& item)>;
Result ReadRowTexts(RowReader& reader, std::span<const CaptureFileInfo> files, std::uint64_t first,
                    std::uint64_t count, const RowTextsTaker& take);

}  // namespace fdc::ui
