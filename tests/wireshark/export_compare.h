// Reads an export back through tshark and the dump of the same run, and compares them record by
// record: what tshark decodes from each packet is rendered as the dump line it stands for, and
// must equal the dump's own line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fdc::test {

// The options of the dump that the comparison reads: every column it can check, no reference
// number (packets carry none).
inline constexpr char kCompareColumns[] =
    "NoRef\nDetailSts\nShowFcbTyp\nShowFcs\nTmeAbs hr:mn:sc.ms.us.ns\n";

// The record lines of a dump: no header block, diagnostic line or end text.
std::vector<std::string> RecordLinesOf(const std::string& dump);

// One export and the dump of the same request (written with kCompareColumns). `dayStartNs` is
// what the export added to every timestamp.
struct ExportAndDump {
  std::string pcapng;
  std::string dump;
  std::uint64_t dayStartNs = 0;
};

struct ExportComparison {
  std::size_t packets = 0;
  std::vector<std::string> differences;  // empty when every packet agrees with its line
  std::string problems;                  // what tshark reported besides the fields
};

// Compares the packets of each export with the record lines of its dump, in the order given.
// tshark reads all of them in one run (ReadTsharkFieldsOfEach).
std::vector<ExportComparison> CompareExportsWithDumps(const std::vector<ExportAndDump>& exports);

}  // namespace fdc::test
