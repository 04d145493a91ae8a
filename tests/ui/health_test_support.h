// Shared pieces of the health view's tests: a generated run with known bus faults, the request
// for it, fdcstat's own JSON of a run, reading a figure out of that JSON by its path, and the
// test GSD files with a slave's figures as they name it.
#pragma once

#include <QString>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/fdcstat_command.h"
#include "engine/dump_request_rules.h"
#include "tools/faults.h"
#include "tools/run_generator.h"
#include "ui/health/station_table_model.h"

namespace fdc::ui::test {

// Writes <dir>/Line1HHMM.FdcCapt files of a 1M5 line with the faults named as fdcgen's --fault
// takes them ("outage@14,late@25"), and with `gsdSlaves` the slaves of the test GSD files first
// (fdcgen --gsd-slaves). Returns the first file's path, or empty on failure.
inline std::string WriteFaultRun(const QString& dir, std::string_view faults, unsigned minutes = 3,
                                 unsigned startHour = 12, unsigned startMinute = 0,
                                 bool gsdSlaves = false) {
  fdc::gen::RunPlan plan;
  plan.gsdSlaves = gsdSlaves;
  plan.base = (dir + QStringLiteral("/Line1")).toStdString();
  plan.startHour = startHour;
  plan.startMinute = startMinute;
  plan.minutes = minutes;
  while (!faults.empty()) {
    const std::size_t comma = faults.find(',');
    fdc::gen::Fault fault;
    if (!fdc::gen::ParseFault(faults.substr(0, comma), fault).empty()) return {};
    plan.faults.push_back(fault);
    faults = comma == std::string_view::npos ? std::string_view() : faults.substr(comma + 1);
  }
  const fdc::gen::RunOutcome outcome = fdc::gen::GenerateRun(plan);
  if (!outcome.ok() || outcome.summary.paths.empty()) return {};
  return outcome.summary.paths.front();
}

// The request the record table would hand over for a run: its files, with a window and an option
// file that the health figures must not use.
inline DumpRequest RequestFor(const std::string& firstFile, unsigned minutes) {
  DumpRequestInput input;
  input.captureFile = firstFile;
  input.numMin = std::to_string(minutes);
  input.startRef = "5";
  input.endRef = "10";
  input.outputPath = firstFile + ".txt";
  return PlanDumpRequest(input).request;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// What `fdcstat --format FORMAT --minutes N FILE` writes; empty when it fails.
inline std::string FdcstatReport(const std::string& firstFile, unsigned minutes,
                                 const std::string& format, const std::string& outputPath,
                                 const std::vector<std::string>& more = {}) {
  std::vector<std::string> args = {"--format", format,    "--minutes", std::to_string(minutes),
                                   "--output", outputPath};
  args.insert(args.end(), more.begin(), more.end());
  args.push_back(firstFile);
  std::FILE* err = std::tmpfile();
  const int status = RunFdcstat(args, stdout, err);
  if (err != nullptr) std::fclose(err);
  return status == 0 ? ReadFile(outputPath) : std::string();
}

// A figure of a JSON object by its path, nested names joined by "."; null when it is missing.
inline const nlohmann::json& JsonAt(const nlohmann::json& object, std::string_view path) {
  static const nlohmann::json kNull;
  const nlohmann::json* at = &object;
  while (!path.empty()) {
    const std::size_t dot = path.find('.');
    const std::string name(path.substr(0, dot));
    if (!at->is_object() || !at->contains(name)) return kNull;
    at = &(*at)[name];
    path = dot == std::string_view::npos ? std::string_view() : path.substr(dot + 1);
  }
  return *at;
}

// A JSON figure as the station table holds one of its column.
inline FigureValue FigureOfJson(const nlohmann::json& value, FigureFormat format) {
  if (value.is_null()) return std::monostate{};
  if (value.is_string()) return value.get<std::string>();
  if (format == FigureFormat::kCount) return value.get<std::uint64_t>();
  return value.get<std::int64_t>();
}

// A slave's DP figures as the tracker fills them from the test GSD files: ident 0x7F01, read with
// GSD folders; with `file` named by TEST7F01.GSD, configured with its module "8 DI" and its last
// diagnosis given two of its texts; without, no file has the ident.
inline void GiveGsdSlave(BusFigures& figures, std::uint8_t address, bool file) {
  figures.dp.gsdRead = true;
  DpSlaveFigures& slave = figures.dp.slaves[address].emplace();
  slave.identNumber = 0x7F01;
  if (!file) return;
  slave.gsd = DpGsdFigures{"TEST7F01.GSD", "Test Devices Ltd", "TD-8DI", "1.2", {}};
  slave.config.emplace();
  slave.config->identifiers = "10";
  slave.config->inputBytes = 1;
  slave.config->modules = std::vector<DpModuleFigures>{{"8 DI", "10", {"8 DI"}}};
  slave.lastDiag.emplace();
  slave.lastDiag->texts.emplace();
  for (const auto& [bit, text] :
       {std::pair(6u, "Wire break"), std::pair(2u, "Not parameterised")}) {
    dp::GsdDiagText& t = slave.lastDiag->texts->emplace_back();
    t.bit = bit;
    t.text = text;
  }
}

}  // namespace fdc::ui::test
