// The comparison of an export with its dump: tshark's fields rendered as the dump line they mean.
#include "tests/wireshark/export_compare.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "capture/fdl_protocol.h"
#include "tests/wireshark/tshark_runner.h"

namespace fdc::test {

namespace {

// The fields read from every packet, in this order.
const std::vector<std::string> kFields = {"frame.time_epoch",
                                          "fdl.status",
                                          "fdl.sd",
                                          "fdl.da",
                                          "fdl.sa",
                                          "fdl.da_ext",
                                          "fdl.sa_ext",
                                          "fdl.fc",
                                          "fdl.fc.function",
                                          "fdl.fc.station_type",
                                          "fdl.dsap",
                                          "fdl.ssap",
                                          "fdl.data",
                                          "fdl.fcs",
                                          "fdl.fcs.status",
                                          "fdl.mark",
                                          "fdl.raw",
                                          "frame.packet_flags_crc_error",
                                          "frame.packet_flags_symbol_error",
                                          "frame.packet_flags_start_frame_delimiter_error",
                                          "frame.packet_flags_direction"};
enum Field {
  kTime,
  kStatus,
  kSd,
  kDa,
  kSa,
  kDaExt,
  kSaExt,
  kFc,
  kFunction,
  kStationType,
  kDsap,
  kSsap,
  kData,
  kFcs,
  kFcsStatus,
  kMark,
  kRaw,
  kCrcFlag,
  kSymbolFlag,
  kSfdFlag,
  kDirection,
};

constexpr char kAggregator = '|';

unsigned Number(const std::string& text) {
  return static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 0));
}

// "%3u", "%-3u", "%2u", "%-2u", "%02x" and "%u" of the dump, one function each.
std::string Right(int width, unsigned value) {
  char text[32];
  std::snprintf(text, sizeof text, "%*u", width, value);
  return text;
}
std::string Left(int width, unsigned value) {
  char text[32];
  std::snprintf(text, sizeof text, "%-*u", width, value);
  return text;
}
std::string Hex2(unsigned value) {
  char text[32];
  std::snprintf(text, sizeof text, "%02x", value);
  return text;
}

// "01 02 ff" as the dump writes bytes: each followed by a blank.
std::string BytesText(const std::string& spaced) {
  std::string text;
  std::istringstream in(spaced);
  for (std::string byte; in >> byte;) text += byte + " ";
  return text;
}

std::vector<unsigned> BytesOf(const std::string& spaced) {
  std::vector<unsigned> bytes;
  std::istringstream in(spaced);
  for (std::string byte; in >> byte;)
    bytes.push_back(static_cast<unsigned>(std::stoul(byte, nullptr, 16)));
  return bytes;
}

// "hr:mn:sc.ms.us.ns" of a time in ns, the first field blank-padded, the rest zero-padded.
std::string TimeColumn(std::uint64_t ns) {
  char text[64];
  std::snprintf(text, sizeof text, "a%2u:%02u:%02u.%03u.%03u.%03u ",
                static_cast<unsigned>(ns / 3'600'000'000'000ull % 65536),
                static_cast<unsigned>(ns / 60'000'000'000ull % 60),
                static_cast<unsigned>(ns / 1'000'000'000ull % 60),
                static_cast<unsigned>(ns / 1'000'000 % 1000),
                static_cast<unsigned>(ns / 1000 % 1000), static_cast<unsigned>(ns % 1000));
  return text;
}

std::uint64_t EpochNs(const std::string& epoch) {
  const std::size_t dot = epoch.find('.');
  std::uint64_t ns = std::stoull(epoch.substr(0, dot)) * 1'000'000'000ull;
  if (dot != std::string::npos) {
    std::string fraction = epoch.substr(dot + 1);
    fraction.resize(9, '0');
    ns += std::stoull(fraction);
  }
  return ns;
}

std::string KindColumn(unsigned delimiter) {
  for (const FrameKindName& kind : kFrameKinds) {
    if (kind.delimiter == delimiter) {
      std::string name(kind.name);
      name.resize(4, ' ');
      return name;
    }
  }
  return {};
}

// The dump line that one packet's fields stand for.
std::string RenderLine(const std::vector<std::string>& f, std::uint64_t dayStartNs) {
  const unsigned status = Number(f[kStatus]);
  std::string line = TimeColumn(EpochNs(f[kTime]) - dayStartNs);
  for (const StatusBitName& bit : kStatusBits) line += (status & bit.mask) ? bit.letter : '.';

  std::vector<std::string> marks;
  std::istringstream in(f[kMark]);
  for (std::string mark; std::getline(in, mark, kAggregator);) marks.push_back(mark);
  bool empty = false;
  std::string edMark;
  std::string frameMark;
  for (const std::string& mark : marks) {
    if (mark == "FrmLen?(0)") {
      empty = true;
    } else if (mark.rfind("ED?(", 0) == 0) {
      edMark = mark;
    } else {
      frameMark = mark;
    }
  }
  if (empty) line += "FrmLen?(0)";
  const unsigned kind = empty ? status : Number(f[kSd]);
  line += KindColumn(kind);
  if (kind == kSc) line += "           SHAK ";  // address filler, the FCB/type filler, SHAK
  if (!frameMark.empty()) return line + frameMark + " " + BytesText(f[kRaw]);

  if (kind == kSd4) {
    return line + Right(3, Number(f[kDa])) + "<" + Left(3, Number(f[kSa])) + " ";
  }
  if (f[kFc].empty()) return line;  // SC
  line += Right(3, Number(f[kDa])) + "<" + Left(3, Number(f[kSa])) + " ";
  const unsigned fc = Number(f[kFc]);
  if (fc & kFcRequest) {
    line += std::string((fc & kFcFcb) ? "1" : "0") + ((fc & kFcFcv) ? "v " : "  ");
  } else {
    for (const StationTypeName& type : kStationTypes) {
      if (type.word == f[kStationType]) line += std::string(type.abbreviation) + " ";
    }
  }
  std::string name = f[kFunction];
  if (name.size() < 4) name.resize(4, ' ');
  line += name + " ";
  const bool dsap = !f[kDsap].empty();
  const bool ssap = !f[kSsap].empty();
  line += dsap ? Right(2, Number(f[kDsap])) : "  ";
  line += dsap || ssap ? "{" : " ";
  line += ssap ? Left(2, Number(f[kSsap])) : "  ";
  line += " ";
  line += BytesText(f[kData]);
  line += "[" + Hex2(Number(f[kFcs])) + "] ";
  line += edMark.empty() ? "ED " : edMark + " ";
  return line;
}

// What the flags and the FCS status must say, from the same fields.
std::string CheckFlagsAndFcs(const std::vector<std::string>& f) {
  const unsigned status = Number(f[kStatus]);
  std::string problems;
  if (!f[kFc].empty() && !f[kFcs].empty()) {
    unsigned sum = Number(f[kDa]) + (f[kDaExt] == "1" ? 0x80 : 0) + Number(f[kSa]) +
                   (f[kSaExt] == "1" ? 0x80 : 0) + Number(f[kFc]);
    if (!f[kDsap].empty()) sum += Number(f[kDsap]);
    if (!f[kSsap].empty()) sum += Number(f[kSsap]);
    for (const unsigned byte : BytesOf(f[kData])) sum += byte;
    const std::string expected = (sum & 0xFF) == Number(f[kFcs]) ? "good" : "bad";
    if (f[kFcsStatus] != expected) problems += " fcs.status " + f[kFcsStatus];
  }
  bool malformed = false;
  std::istringstream in(f[kMark]);
  for (std::string mark; std::getline(in, mark, kAggregator);) {
    if (mark.rfind("ED?(", 0) != 0) malformed = true;
  }
  const bool crc = (status & STSCHK) || f[kFcsStatus] == "bad";
  const bool symbol = (status & (STSSTP | STSPAR)) != 0;
  const bool sfd = (status & STSSD) || malformed;
  auto flag = [](const std::string& text) { return text == "1" || text == "True"; };
  if (flag(f[kCrcFlag]) != crc) problems += " crc flag";
  if (flag(f[kSymbolFlag]) != symbol) problems += " symbol flag";
  if (flag(f[kSfdFlag]) != sfd) problems += " start delimiter flag";
  if (Number(f[kDirection]) != 1) problems += " direction " + f[kDirection];
  return problems;
}

}  // namespace

std::vector<std::string> RecordLinesOf(const std::string& dump) {
  std::vector<std::string> lines;
  std::istringstream in(dump);
  for (std::string line; std::getline(in, line);) {
    if (line.size() > 1 && line[0] == 'a' &&
        (line[1] == ' ' || (line[1] >= '0' && line[1] <= '9'))) {
      lines.push_back(line);
    }
  }
  return lines;
}

std::vector<ExportComparison> CompareExportsWithDumps(const std::vector<ExportAndDump>& exports) {
  std::vector<std::string> captures;
  for (const ExportAndDump& e : exports) captures.push_back(e.pcapng);
  TsharkFieldOptions options;
  options.aggregator = kAggregator;
  const std::vector<TsharkFields> read = ReadTsharkFieldsOfEach(captures, kFields, options);
  std::vector<ExportComparison> result(exports.size());
  for (std::size_t e = 0; e < exports.size(); ++e) {
    ExportComparison& compared = result[e];
    const std::vector<std::vector<std::string>>& rows = read[e].rows;
    compared.problems = read[e].problems;
    compared.packets = rows.size();
    const std::vector<std::string> lines = RecordLinesOf(exports[e].dump);
    if (lines.size() != rows.size()) {
      compared.differences.push_back(std::to_string(rows.size()) + " packets for " +
                                     std::to_string(lines.size()) + " record lines");
    }
    for (std::size_t i = 0; i < lines.size() && i < rows.size(); ++i) {
      const std::string rendered = RenderLine(rows[i], exports[e].dayStartNs);
      const std::string flags = CheckFlagsAndFcs(rows[i]);
      if (rendered != lines[i] || !flags.empty()) {
        compared.differences.push_back("packet " + std::to_string(i + 1) + ":\n  dump:   " +
                                       lines[i] + "\n  tshark: " + rendered + flags);
        if (compared.differences.size() > 10) break;
      }
    }
  }
  return result;
}

}  // namespace fdc::test
