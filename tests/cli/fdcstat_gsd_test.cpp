// fdcstat --gsd against generated runs whose first slaves are those of the test GSD files
// (tests/dp/gsd): each is named by its file, and its modules, the texts of its last diagnosis and
// the parameters of its last Set_Prm are what the generator's ground truth, read from the files,
// says; the checks against the files find nothing on the clean line but an identifier byte that
// no module has; the other slaves have no file, and their idents are listed as such.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "cli/fdcstat_command.h"
#include "tests/support/test_support.h"
#include "tools/fdcgen_cli.h"

// How a failure shows the truth's pieces.
namespace fdc::gen {

void PrintTo(const GsdModuleTruth& m, std::ostream* os) {
  *os << (m.name ? *m.name : "(no module)") << " of " << m.candidates.size() << " candidates";
}
void PrintTo(const GsdTextTruth& t, std::ostream* os) {
  *os << "block " << t.block << " " << t.place << ": " << t.text << " / " << t.help;
}
void PrintTo(const GsdParameterTruth& p, std::ostream* os) {
  *os << (p.module ? *p.module : "device") << " slot " << p.slot << " " << p.name << " = "
      << p.value << " (" << p.text.value_or("-") << ")";
}

}  // namespace fdc::gen

namespace fdc {
namespace {

using nlohmann::json;

struct Generated {
  json report;
  std::vector<gen::GsdSlaveTruth> gsd;
};

// fdcgen --gsd-slaves with `args`, then fdcstat --gsd on the test files, as JSON.
Generated GenerateAndReport(const std::string& gsdFolder, const std::vector<std::string>& args) {
  test::TempDir dir;
  std::vector<std::string> words = {"--out", dir.File("Line1"), "--start",
                                    "1430",  "--quiet",         "--gsd-slaves"};
  words.insert(words.end(), args.begin(), args.end());
  const std::vector<std::string_view> views(words.begin(), words.end());
  gen::FdcgenCommand command;
  EXPECT_EQ(gen::ParseFdcgenArgs(views, command), "");
  const gen::RunOutcome run = gen::GenerateRun(command.plan);
  EXPECT_TRUE(run.ok()) << run.error;
  if (!run.ok()) return {};

  const std::string output = dir.File("report.json");
  const test::CommandOutcome fdcstat = test::RunCommand(
      [](const std::vector<std::string>& a, std::FILE* out, std::FILE* err) {
        return RunFdcstat(a, out, err);
      },
      {"--gsd", gsdFolder, "--format", "json", "--output", output, run.summary.paths.front()});
  EXPECT_EQ(fdcstat.status, 0) << fdcstat.err;
  return {json::parse(test::ReadText(output)), run.summary.gsd};
}

// The report's members as the truth writes them.
std::vector<gen::GsdModuleTruth> ModulesOf(const json& modules) {
  std::vector<gen::GsdModuleTruth> list;
  for (const json& m : modules) {
    list.push_back(
        {m["name"].is_null() ? std::nullopt : std::optional(m["name"].get<std::string>()),
         m["candidates"].get<std::vector<std::string>>()});
  }
  return list;
}

std::vector<gen::GsdTextTruth> SortedTextsOf(const json& texts) {
  std::vector<gen::GsdTextTruth> list;
  for (const json& t : texts) {
    std::string place = "?";
    if (t.contains("bit")) place = "bit " + t["bit"].dump();
    if (t.contains("area")) place = "area " + t["area"][0].dump() + "-" + t["area"][1].dump();
    if (t.contains("channel_error")) place = "channel_error " + t["channel_error"].dump();
    list.push_back({t["block"].get<std::size_t>(), place, t["text"].get<std::string>(),
                    t["help"].is_null() ? "" : t["help"].get<std::string>()});
  }
  std::sort(list.begin(), list.end());
  return list;
}

std::vector<gen::GsdParameterTruth> ParametersOf(const json& parameters) {
  std::vector<gen::GsdParameterTruth> list;
  auto text = [](const json& v) {
    return v.is_null() ? std::nullopt : std::optional(v.get<std::string>());
  };
  for (const json& p : parameters) {
    list.push_back({text(p["module"]), p["slot"].get<std::size_t>(), p["name"].get<std::string>(),
                    p["value"].get<std::int64_t>(), text(p["text"])});
  }
  return list;
}

TEST(FdcstatGsd, NamesAndChecksTheSlavesByTheirFiles) {
  const char* source = std::getenv("FDC_SOURCE_DIR");
  if (source == nullptr) GTEST_SKIP() << "FDC_SOURCE_DIR is not set";
  struct Row {
    const char* name;
    std::vector<std::string> args;
    std::size_t gsdSlaves;  // those the run reaches
  };
  const Row rows[] = {
      {"1M5", {"--baud", "1M5", "--records-per-minute", "6000"}, 3},
      {"500K, a busy line: 0x7F02 within its 20 bit times",
       {"--baud", "500K", "--saturate", "--seed", "3"},
       3},
      {"12M, not a rate of 0x7F02's file",
       {"--baud", "12M", "--records-per-minute", "20000", "--seed", "9"},
       3},
      {"faults on the other slaves", {"--seed", "4", "--fault", "late,prm_fault,diag"}, 3},
      {"five records: 0x7F01 has its parameters, not yet its configuration",
       {"--records-per-minute", "5"},
       1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Generated g = GenerateAndReport(std::string(source) + "/tests/dp/gsd", row.args);
    ASSERT_TRUE(g.report.contains("stations"));
    EXPECT_EQ(g.gsd.size(), row.gsdSlaves);
    std::set<int> withoutFile;
    std::set<int> named;
    for (const json& station : g.report["stations"]) {
      const json& dp = station["dp"];
      if (!dp.is_object()) continue;
      const int address = station["address"].get<int>();
      SCOPED_TRACE("station " + std::to_string(address));
      const auto truth = std::find_if(g.gsd.begin(), g.gsd.end(),
                                      [&](const auto& slave) { return slave.station == address; });
      if (truth == g.gsd.end()) {
        EXPECT_TRUE(dp["gsd"].is_null());
        withoutFile.insert(dp["ident_number"].get<int>());
        continue;
      }
      named.insert(address);
      EXPECT_EQ(dp["gsd"], (json{{"file", truth->file},
                                 {"vendor", truth->vendor},
                                 {"model", truth->model},
                                 {"revision", truth->revision},
                                 {"other_files", truth->otherFiles}}));
      EXPECT_EQ(dp["gsd_rate_unsupported"], truth->rateUnsupported);
      for (const char* count : {"gsd_max_tsdr_exceeded", "gsd_diag_too_long",
                                "gsd_min_slave_interval_violations", "io_length_mismatches"}) {
        EXPECT_EQ(dp[count], 0) << count;
      }
      if (truth->modules) {
        ASSERT_TRUE(dp["config"].is_object());
        EXPECT_EQ(ModulesOf(dp["config"]["modules"]), *truth->modules);
        EXPECT_EQ(dp["gsd_unknown_config_bytes"], truth->unknownConfigBytes);
      } else {
        EXPECT_TRUE(dp["config"].is_null());
      }
      if (truth->diagTexts) {
        std::vector<gen::GsdTextTruth> expected = *truth->diagTexts;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(SortedTextsOf(dp["last_diag"]["texts"]), expected);
      } else {
        EXPECT_TRUE(dp["last_diag"].is_null());
      }
      const json* lastSetPrm = nullptr;
      for (const json& event : g.report["events"]) {
        if (event["kind"] == "set_prm" && event["station"] == address) lastSetPrm = &event;
      }
      ASSERT_EQ(lastSetPrm != nullptr, truth->parameters.has_value());
      if (lastSetPrm != nullptr) {
        EXPECT_EQ(ParametersOf((*lastSetPrm)["decoded"]["parameters"]), *truth->parameters);
      }
    }
    EXPECT_EQ(named.size(), g.gsd.size());
    const std::vector<int> listed = g.report["run"]["gsd_idents_without_file"];
    EXPECT_EQ(std::set<int>(listed.begin(), listed.end()), withoutFile);
    EXPECT_EQ(listed.size(), withoutFile.size());
  }
}

}  // namespace
}  // namespace fdc
