// The Wireshark export: the records a dump would print, as a pcapng file — one interface for the
// run, one enhanced packet block per record with its timestamp, its status as flags, and packet
// comments for the files opened and the damage read past since the previous packet.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "engine/dump_run.h"
#include "engine/record_filter.h"
#include "engine/record_loop.h"

namespace fdc {

enum class ExportLinkType : std::uint8_t {
  kUser0,     // link type 147: the status byte, then the frame bytes
  kProfibus,  // link type 257: the frame bytes alone
};

struct ExportOptions {
  ExportLinkType linkType = ExportLinkType::kUser0;
  // Added to every timestamp: midnight UTC of the day the run was captured, in ns since 1970.
  std::uint64_t dayStartNs = 0;
  std::string userAppl;  // shb_userappl: the program's name and version
  // Where the file goes: `stream` when given (the caller's, left open), else OutputPath of the
  // request, created once the run's first capture file is open.
  std::FILE* stream = nullptr;
};

// Midnight UTC of a date "YYYY-MM-DD" from 1970-01-01 to 2500-12-31, in ns since 1970; none for
// anything else (a day the calendar does not have, another form, a year out of range).
std::optional<std::uint64_t> DayStartNs(std::string_view date);

// The flags of a record: inbound, and the link-layer errors its status and dissection show.
std::uint32_t ExportFlags(const Telegram& telegram, ByteView record);

struct ExportSummary {
  std::uint64_t records = 0;  // records read
  std::uint64_t packets = 0;  // packets written
  bool stopped = false;
};

// Reads the option file (for its ShowOnly filter and nothing else) and exports the records the
// dump would print. Returns Ok, or the message of what failed; the file then holds whole blocks.
Result ExportRun(const DumpRequest& request, const ExportOptions& options,
                 const RunControl& control = RunControl(), ExportSummary* summary = nullptr);

// Exports the records `shown` selects instead of the option file's filter (the file is not read):
// the desktop exports the records its table shows.
Result ExportRun(const DumpRequest& request, const RecordFilter& shown,
                 const ExportOptions& options, const RunControl& control = RunControl(),
                 ExportSummary* summary = nullptr);

}  // namespace fdc
