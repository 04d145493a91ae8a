// The DP layer in the bus report: a slave's DP details, a master's figures and the events as JSON,
// the event log for people (one line per event), and the text report's DP slaves table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/bus_findings.h"

namespace fdc {

nlohmann::ordered_json DpDetailJson(const DpSlaveFigures& slave, DpDetail detail);
nlohmann::ordered_json DpMasterJson(const DpMasterFigures& master);
// The members a slave's DP object gains when the run was given GSD folders.
void AddGsdJson(const DpSlaveFigures& slave, nlohmann::ordered_json& object);
// The idents of slaves that no GSD file describes, in ascending order.
std::vector<std::uint16_t> IdentsWithoutGsd(const BusFigures& figures);
// "Example Vendor EX-IO 8DI compact V1.0 (EXAM7E01.GSD)"; empty without a file.
std::string GsdName(const DpSlaveFigures& slave);
// "1 '4 DI' (or 1 more), 2 '2 AO'": the configuration's modules; empty without a file.
std::string GsdModulesText(const DpSlaveFigures& slave);
nlohmann::ordered_json DpEventJson(const DpEvent& event);

// "12:00:01.234.567  #1234  slave 7 (master 2)  data_exchange -> no_response: lost_request"
std::string DpEventLine(const DpEvent& event);
// What the event says, as its line ends: "data_exchange -> no_response: lost_request".
std::string DpEventText(const DpEvent& event);
// Every event, a line each, in the events' order.
void WriteDpEvents(const BusFigures& figures, std::ostream& out);
// The DP slaves table of the text report; nothing when no slave received a DP request.
void WriteDpSlaveTable(const BusFigures& figures, std::ostream& out);

// The rows of that table: each column's text, a number to sort it by (-1 where the text is "-"),
// and the diagnosis flags seen and channel errors reported.
inline constexpr std::size_t kDpSlaveColumns = 8;
extern const std::array<std::string_view, kDpSlaveColumns> kDpSlaveHeadings;
struct DpSlaveRow {
  std::uint8_t address = 0;
  std::array<std::string, kDpSlaveColumns> texts;
  std::array<double, kDpSlaveColumns> values{};
  std::string diagnosis;
  std::string channelErrors;
  std::string gsdName;         // by the slave's GSD file, or empty
  std::string modules;         // its configuration's modules by that file
  std::string diagnosisTexts;  // the file's texts for the last diagnosis
};
std::vector<DpSlaveRow> DpSlaveRows(const BusFigures& figures);

}  // namespace fdc
