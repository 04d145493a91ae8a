// fdcstat against generated runs with injected faults: every figure the generator's ground truth
// names has that value in the JSON report, and every other fault figure is 0; every DP slave the
// truth does not name ends in data exchange.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/bus_statistics.h"
#include "report/bus_report.h"
#include "tests/support/test_support.h"
#include "tools/fdcgen_cli.h"

namespace fdc {
namespace {

using nlohmann::json;

// The fault figures of a station, of the run and of a minute file: 0 unless the truth names them.
const char* const kStationFaults[] = {"no_response",
                                      "no_response_causes.no_reply",
                                      "no_response_causes.late",
                                      "no_response_causes.corrupt",
                                      "repeats",
                                      "late_responses",
                                      "illegal_responses",
                                      "early_responses",
                                      "repeat_chain_max",
                                      "no_response_run_max",
                                      "diagnosis_flagged",
                                      "tsyn_violations",
                                      "negative_responses.ue",
                                      "negative_responses.rr",
                                      "negative_responses.rs",
                                      "dp.drops",
                                      "dp.missed_cycles",
                                      "dp.fcb_not_toggled",
                                      "dp.fcb_toggled_on_repeat",
                                      "dp.watchdog_exceeded",
                                      "dp.cfg_mismatches",
                                      "dp.io_length_mismatches",
                                      "dp.min_tsdr_violations",
                                      "dp_master.clear_data"};
const char* const kRunFaults[] = {"corrupt",
                                  "fcs_errors",
                                  "ed_errors",
                                  "sync_losses",
                                  "files_cut_short",
                                  "malformed.empty",
                                  "malformed.length",
                                  "malformed.le",
                                  "malformed.ler",
                                  "malformed.second_sd",
                                  "malformed.unknown_sd",
                                  "status_bits.s",
                                  "status_bits.p",
                                  "status_bits.d",
                                  "status_bits.r",
                                  "status_bits.u",
                                  "status_bits.o",
                                  "status_bits.c",
                                  "status_bits.e"};
const char* const kMinuteFaults[] = {"corrupt",       "no_response",   "no_reply", "late",
                                     "corrupt_reply", "corrupt_other", "repeats",  "sync_losses"};

// The value at "a.b.c" under `node`; null when a name is missing.
json At(const json& node, const std::string& path) {
  const json* at = &node;
  std::istringstream parts(path);
  for (std::string part; std::getline(parts, part, '.');) {
    if (!at->is_object() || !at->contains(part)) return json();
    at = &(*at)[part];
  }
  return *at;
}

// The report's value as the truth writes it: numbers in decimal, texts bare, lists as JSON.
std::string TruthText(const json& value) {
  if (value.is_string()) return value.get<std::string>();
  return value.dump();
}

struct Generated {
  json report;
  std::vector<gen::TruthLine> truth;
};

Generated GenerateAndReport(const std::vector<std::string>& args) {
  test::TempDir dir;
  std::vector<std::string> words = {"--out", dir.File("Line1"), "--start", "1430", "--quiet"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<std::string_view> views(words.begin(), words.end());
  gen::FdcgenCommand command;
  const std::string problem = gen::ParseFdcgenArgs(views, command);
  EXPECT_EQ(problem, "");
  const gen::RunOutcome outcome = gen::GenerateRun(command.plan);
  EXPECT_TRUE(outcome.ok()) << outcome.error;

  DumpRequest request;
  request.Run.base = dir.File("Line1");
  request.Run.hour = 14;
  request.Run.minute = 30;
  request.Run.count = command.plan.minutes;
  BusStatistics statistics;
  RecordLoop loop(request, nullptr, RunControl(nullptr));
  RecordConsumer* const consumers[] = {&statistics};
  const Result result = loop.Run(consumers);
  EXPECT_TRUE(result.ok()) << result.ErrorText();
  std::ostringstream text;
  WriteBusJson(statistics.Figures(), text);
  return {json::parse(text.str()), outcome.summary.truth};
}

// Whether the report follows the DP slaves: its stations have a "dp" member.
bool HasDpLayer(const json& report) {
  for (const json& station : report["stations"]) {
    if (station.contains("dp")) return true;
  }
  return false;
}

TEST(FdcstatTruth, FindsExactlyWhatTheGeneratorInjected) {
  const std::vector<std::vector<std::string>> cases = {
      {"--minutes", "2", "--baud", "1M5", "--seed", "7", "--fault",
       "outage@26:cycles=2,late@34:count=1,corrupt@69:count=2,rs,master@40,appear@60,missing@110"},
      {"--minutes", "3", "--baud", "12M", "--seed", "3", "--records-per-minute", "3000", "--fault",
       "outage:cycles=3:retries=4,early:count=5,diag:count=2,ue,rr"},
      {"--minutes", "2", "--baud", "500K", "--seed", "11", "--fault",
       "corrupt:count=9,late:count=4"},
      {"--minutes", "2", "--baud", "9K6", "--seed", "5", "--records-per-minute", "300", "--fault",
       "none"},
      {"--minutes", "1", "--baud", "6M", "--seed", "2", "--saturate", "--fault",
       "outage:at=100,missing,early"},
      {"--minutes", "3", "--baud", "1M5", "--seed", "7", "--records-per-minute", "3000", "--fault",
       "dp_drop,dp_rs,prm_fault,cfg_fault:at=600,channel_error,dpv1_alarm:count=3,clear_data@2,"
       "fcb_not_toggled,fcb_toggled_on_repeat,cfg_differs:count=2,io_length:count=5,"
       "missed_cycles:count=6"},
      {"--minutes", "3", "--baud", "12M", "--seed", "3", "--records-per-minute", "3000", "--fault",
       "dp_rs,dp_drop:cycles=3,io_length,fcb_not_toggled,fcb_toggled_on_repeat,cfg_differs,"
       "clear_data,prm_fault:at=300,cfg_fault,channel_error,dpv1_alarm,missed_cycles:count=7,"
       "early,rs"},
      {"--minutes", "2", "--baud", "500K", "--seed", "4", "--saturate", "--fault",
       "dp_rs,dp_drop:cycles=2:retries=0,missed_cycles:count=9,outage,late,master:slaves=3"},
      {"--minutes", "3", "--baud", "9K6", "--seed", "8", "--records-per-minute", "300", "--fault",
       "dp_rs:at=0,dp_drop:cycles=9:retries=0,missed_cycles:retries=0:count=4,"
       "prm_fault:count=60000"},
  };
  for (const std::vector<std::string>& args : cases) {
    SCOPED_TRACE(args.back());
    const Generated g = GenerateAndReport(args);
    ASSERT_TRUE(g.report.contains("stations"));
    // Station paths go by address; the report lists stations in an array.
    auto resolve = [&](const std::string& path) {
      if (path.rfind("stations.", 0) == 0) {
        const std::size_t dot = path.find('.', 9);
        const int address = std::stoi(path.substr(9, dot - 9));
        for (const json& station : g.report["stations"]) {
          if (station["address"] == address) return At(station, path.substr(dot + 1));
        }
        return json("no such station");
      }
      if (path.rfind("minutes.", 0) == 0) {
        const std::size_t dot = path.find('.', 8);
        const std::size_t index = std::stoul(path.substr(8, dot - 8));
        if (index >= g.report["minutes"].size()) return json("no such minute");
        return At(g.report["minutes"][index], path.substr(dot + 1));
      }
      return At(g.report, path);
    };
    // Until the report has its DP layer, the truth's DP lines wait for it.
    const bool dp = HasDpLayer(g.report);
    std::set<std::string> named;
    for (const gen::TruthLine& line : g.truth) {
      named.insert(line.path);
      if (!dp && (line.path.find(".dp.") != std::string::npos ||
                  line.path.find(".dp_master.") != std::string::npos)) {
        continue;
      }
      EXPECT_EQ(TruthText(resolve(line.path)), line.value) << line.path;
    }
    for (const json& station : g.report["stations"]) {
      const std::string base = "stations." + std::to_string(station["address"].get<int>()) + ".";
      for (const char* figure : kStationFaults) {
        if (named.count(base + figure)) continue;
        const json value = At(station, figure);
        EXPECT_TRUE(value.is_null() || value == 0) << base << figure << " = " << value;
      }
      if (!named.count(base + "dp.state") && At(station, "dp").is_object()) {
        EXPECT_EQ(At(station, "dp.state"), "data_exchange") << base << "dp.state";
      }
    }
    for (const char* figure : kRunFaults) {
      if (!named.count(std::string("run.") + figure)) {
        EXPECT_EQ(At(g.report["run"], figure), 0) << "run." << figure;
      }
    }
    for (std::size_t i = 0; i < g.report["minutes"].size(); ++i) {
      for (const char* figure : kMinuteFaults) {
        const std::string path = "minutes." + std::to_string(i) + "." + figure;
        if (!named.count(path)) {
          EXPECT_EQ(At(g.report["minutes"][i], figure), 0) << path;
        }
      }
    }
  }
}

}  // namespace
}  // namespace fdc
