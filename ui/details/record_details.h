// The details of one record as a tree, for the pane under the record table: the capture's view of
// it (reference, time, file and offset, frame length, status bits), the FDL telegram field by
// field, the DP service it carries with every member of the DP layer's decoders, the DP-V1
// acyclic services, the names the slave's GSD file gives to what it carries, and the request or
// reply it pairs with. Each item names the bytes behind it, counted from the record's sync mark
// in the file, so that the hex pane can show them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dp_tracker.h"
#include "engine/run_index.h"

namespace fdc::ui {

// Bytes begin .. end - 1 of the record as the capture file holds it: the 8-byte record header,
// the frame, the status byte.
struct ByteSpan {
  int begin = 0;
  int end = 0;
  bool Covers(int offset) const { return offset >= begin && offset < end; }
  friend bool operator==(const ByteSpan&, const ByteSpan&) = default;
};

struct DetailItem {
  std::string text;
  std::optional<ByteSpan> bytes;
  std::optional<std::uint32_t> link;  // the reference number of the record it leads to
  std::vector<DetailItem> children;
};

// What the health figures tell of the DP layer up to where they read: how the tracker read each
// slave's device-related diagnosis blocks, each slave's ident and configuration. `dp` null: no
// figures yet. `gsd`: the GSD files the figures were computed with, which name a slave's
// diagnosis bits, parameters and modules in the tree (null: none, and the tree says nothing of
// GSD files).
struct DpReadings {
  const DpFigures* dp = nullptr;
  std::uint32_t throughRef = 0;  // the last record the figures counted
  const dp::GsdLibrary* gsd = nullptr;
};

// The record's bytes as the capture file holds them (the header rebuilt from the record).
std::vector<std::uint8_t> RecordFileBytes(const CaptureRecord& record);

// The tree of `context.record`: the sections "Capture", "FDL", "DP" or "DP-V1 acyclic" when the
// telegram carries one, and "Pairing" when it is a request or a reply. `fileName` names the file
// of the record's sync mark.
std::vector<DetailItem> RecordDetails(const RecordContext& context, std::string_view fileName,
                                      const DpReadings& readings);

// The item at `path` (child indices from the top), null when there is none.
const DetailItem* ItemAt(const std::vector<DetailItem>& items, const std::vector<int>& path);
// The path of the innermost item whose bytes cover `offset`; empty when none does.
std::vector<int> InnermostItemAt(const std::vector<DetailItem>& items, int offset);

// An item and everything under it as text, indented by two blanks a level, for the clipboard.
std::string DetailsText(const DetailItem& item, int depth = 0);

}  // namespace fdc::ui
