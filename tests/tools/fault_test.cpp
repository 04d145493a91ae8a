// Bus faults with a ground truth: the clean line shows no fault by the bus health report's
// rules, each fault lands in the records as described, and the truth fdcgen prints is what
// those rules count in its output, figure for figure.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "tests/tools/bus_figures.h"
#include "tests/tools/capture_check.h"
#include "tests/tools/dp_figures.h"
#include "tools/faults.h"
#include "tools/fdcgen_cli.h"
#include "tools/run_generator.h"

namespace fdc::gen {
namespace {

using check::Classify;
using check::Telegram;

// The analyser's view of each baud code, written out here rather than taken from the
// generator: ticks per bit, the default slot time, and a tick as TimeMul / TimeDiv ns.
check::StreamTiming TimingOf(std::uint16_t baud) {
  static const check::StreamTiming kTimings[] = {{0, 0, 0, 1},
                                                 {4, 1000, 1000, 48},
                                                 {8, 600, 1000, 48},
                                                 {16, 400, 1000, 48},
                                                 {16, 300, 1000, 24},
                                                 {16, 200, 1000, 8},
                                                 {16, 100, 1000, 3},
                                                 {16, 100, 10000, 15},
                                                 {16, 100, 10000000, 3072},
                                                 {16, 100, 10000000, 1536}};
  return kTimings[baud];
}

struct FaultRun {
  std::string error;
  std::vector<check::StreamRecord> records;
  std::vector<Telegram> telegrams;
  std::map<std::string, std::string> truth;
  std::vector<TruthLine> truthLines;
  check::StreamTiming timing;
  std::vector<std::vector<std::uint8_t>> files;
  std::vector<GsdSlaveTruth> gsd;

  const std::vector<std::uint8_t>& Bytes(std::size_t i) const { return records[i].frame; }
  std::int64_t Gap(std::size_t i) const {  // i > 0
    const check::StreamRecord& prev = records[i - 1];
    return static_cast<std::int64_t>(records[i].timestamp) -
           static_cast<std::int64_t>(prev.timestamp) -
           11 * timing.ticksPerBit * static_cast<std::int64_t>(prev.frame.size());
  }
  std::int64_t Slot() const { return timing.slotBits * timing.ticksPerBit; }
  std::int64_t Bits(std::int64_t bits) const { return bits * timing.ticksPerBit; }
  std::string Ns(std::size_t i) const {
    return std::to_string(static_cast<std::int64_t>(static_cast<__int128>(records[i].timestamp) *
                                                    timing.timeMul / timing.timeDiv));
  }
  bool TokenBetween(std::size_t from, std::size_t to) const {
    for (std::size_t i = from; i < to; ++i) {
      if (telegrams[i].token) return true;
    }
    return false;
  }
  // The record after request i answers it in time, as the report pairs them.
  bool Answered(std::size_t i) const {
    if (i + 1 >= records.size()) return false;
    const Telegram& q = telegrams[i];
    const Telegram& r = telegrams[i + 1];
    return check::IsResponse(r) && (r.sc || (r.sa == q.da && r.da == q.sa)) && Gap(i + 1) <= Slot();
  }
  bool PollTo(std::size_t i, int station) const {
    const Telegram& t = telegrams[i];
    return check::ExpectsReply(t) && !check::IsStatusPoll(t) && t.da == station;
  }
  std::optional<std::size_t> FirstSentBy(int station) const {
    for (std::size_t i = 0; i < records.size(); ++i) {
      const Telegram& t = telegrams[i];
      if (t.valid && !t.sc && t.sa == station) return i;
    }
    return std::nullopt;
  }
};

// Runs fdcgen's command line (after --out) in `dir`, and reads back every record and truth line.
FaultRun Generate(const test::TempDir& dir, std::vector<std::string> args) {
  FaultRun run;
  std::string base = dir.File("Line1");
  std::vector<std::string_view> views = {"--out", base, "--seed", "5"};
  for (const std::string& arg : args) views.push_back(arg);
  FdcgenCommand command;
  run.error = ParseFdcgenArgs(views, command);
  if (!run.error.empty()) return run;
  RunOutcome outcome = GenerateRun(command.plan);
  run.error = outcome.error;
  run.timing = TimingOf(command.plan.baudCode);
  for (unsigned file = 0; file < outcome.summary.paths.size(); ++file) {
    run.files.push_back(check::ReadBytes(outcome.summary.paths[file]));
    std::size_t end = 0;
    for (check::Record& record : check::Walk(run.files.back(), 40, &end)) {
      run.telegrams.push_back(Classify(record.frame, record.status));
      run.records.push_back({record.timestamp, std::move(record.frame), record.status, file});
    }
    EXPECT_EQ(end, run.files.back().size()) << "file " << file;
  }
  run.truthLines = outcome.summary.truth;
  run.gsd = outcome.summary.gsd;
  for (const TruthLine& line : outcome.summary.truth) run.truth[line.path] = line.value;
  return run;
}

// The station whose truth carries the figure; -1 when none does.
int StationWith(const FaultRun& run, const std::string& figure) {
  for (const auto& [path, value] : run.truth) {
    const std::string suffix = "." + figure;
    if (path.rfind("stations.", 0) == 0 && path.size() > suffix.size() &&
        path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0) {
      return std::stoi(path.substr(9));
    }
  }
  return -1;
}

std::string Truth(const FaultRun& run, const std::string& path) {
  auto it = run.truth.find(path);
  return it == run.truth.end() ? "0" : it->second;
}

// Every fault figure the rules find in the records has its truth line with the same value, and
// every truth line is what the rules find.
void ExpectTruthIsWhatTheRulesCount(const FaultRun& run) {
  const check::Figures figures = check::AllFiguresOf(run.records, run.timing);
  for (const auto& [path, value] : figures) {
    if (check::IsFaultFigure(path)) {
      EXPECT_EQ(Truth(run, path), value) << path;
    }
  }
  for (const auto& [path, value] : run.truth) {
    auto found = figures.find(path);
    EXPECT_EQ(found == figures.end() ? "0" : found->second, value) << path;
  }
}

TEST(FdcgenFaults, CleanLineShowsNoFaultByTheRules) {
  struct Row {
    const char* name;
    std::vector<std::string> args;
  };
  const Row rows[] = {
      {"12M", {"--baud", "12M", "--minutes", "3", "--records-per-minute", "3000"}},
      {"6M, a record a minute", {"--baud", "6M", "--minutes", "9", "--records-per-minute", "1"}},
      {"3M, few", {"--baud", "3M", "--minutes", "4", "--records-per-minute", "7"}},
      {"1M5", {"--baud", "1M5", "--minutes", "3", "--records-per-minute", "2000"}},
      {"500K saturated", {"--baud", "500K", "--saturate"}},
      {"187K5", {"--baud", "187K5", "--minutes", "2", "--records-per-minute", "1500"}},
      {"93K75", {"--baud", "93K75", "--minutes", "2", "--records-per-minute", "1000"}},
      {"19K2 saturated", {"--baud", "19K2", "--minutes", "2", "--saturate"}},
      {"9K6", {"--baud", "9K6", "--minutes", "3", "--records-per-minute", "500"}},
      {"GSD slaves at 500K", {"--baud", "500K", "--records-per-minute", "6000", "--gsd-slaves"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::TempDir dir;
    std::vector<std::string> args = row.args;
    args.insert(args.end(), {"--fault", "none"});
    FaultRun run = Generate(dir, args);
    ASSERT_EQ(run.error, "");
    EXPECT_TRUE(run.truthLines.empty());
    for (const auto& [path, value] : check::AllFiguresOf(run.records, run.timing)) {
      EXPECT_FALSE(check::IsFaultFigure(path)) << path << " " << value;
    }
  }
}

// The truth is complete and exact: every fault figure the rules find in the records has its
// line with the same value, every truth line is found, and the added stations' role, type and
// first appearance agree.
TEST(FdcgenFaults, TruthIsWhatTheRulesCount) {
  struct Row {
    const char* name;
    std::vector<std::string> args;
  };
  const Row rows[] = {
      {"every kind at 1M5",
       {"--baud", "1M5", "--minutes", "3", "--records-per-minute", "3000", "--fault",
        "outage,late,early,diag,ue,rr,rs,corrupt:count=5,master,appear,missing"}},
      {"12M, from the start and long",
       {"--baud", "12M", "--minutes", "2", "--records-per-minute", "2000", "--fault",
        "outage:at=0:cycles=40:retries=7,late:at=0:count=30,corrupt:at=0:count=30,"
        "early:at=0:count=30,diag:at=0:count=30"}},
      {"one record a minute",
       {"--baud", "6M", "--minutes", "12", "--records-per-minute", "1", "--fault",
        "late:at=0:count=9,corrupt:at=0:count=9,early:at=0:count=9"}},
      {"a few records a minute",
       {"--baud", "3M", "--minutes", "6", "--records-per-minute", "5", "--fault",
        "late:at=0:count=90,outage:at=0:cycles=9:retries=0"}},
      {"masters at 0 and 64, a slave at the very end",
       {"--baud", "9K6", "--minutes", "2", "--records-per-minute", "600", "--fault",
        "master@0:slaves=3,master@64:slaves=0:at=200,appear@120:at=999"}},
      {"saturated 500K",
       {"--baud", "500K", "--saturate", "--minutes", "2", "--fault",
        "outage:retries=0:cycles=1,late,master:slaves=8,missing@111:at=600:retries=7,"
        "missing@110"}},
      {"saturated 19K2, the run ends amid faults",
       {"--baud", "19K2", "--saturate", "--fault", "late:at=0:count=60000,corrupt:count=60000"}},
      {"every DP kind at 1M5",
       {"--baud", "1M5", "--minutes", "3", "--records-per-minute", "3000", "--fault",
        "dp_drop,dp_rs,prm_fault,cfg_fault:at=600,channel_error,dpv1_alarm:count=3,clear_data@2,"
        "fcb_not_toggled,fcb_toggled_on_repeat,cfg_differs:count=2,io_length:count=5,"
        "missed_cycles:count=6"}},
      {"DP kinds on the same slaves at 12M",
       {"--baud", "12M", "--minutes", "3", "--records-per-minute", "3000", "--fault",
        "dp_rs,dp_drop:cycles=2,io_length,fcb_not_toggled,fcb_toggled_on_repeat,cfg_differs,"
        "clear_data,prm_fault:at=300,cfg_fault,channel_error,dpv1_alarm,missed_cycles:count=7,"
        "early,rs"}},
      {"saturated 500K, DP kinds among the others",
       {"--baud", "500K", "--saturate", "--minutes", "2", "--fault",
        "dp_rs,dp_drop:retries=0,missed_cycles:count=9,outage,rs,late,master:slaves=3"}},
      {"9K6, long silences, the run ends amid them",
       {"--baud", "9K6", "--minutes", "3", "--records-per-minute", "300", "--fault",
        "dp_rs:at=0,dp_drop:cycles=9:retries=0,missed_cycles:retries=0:count=4,"
        "prm_fault:count=60000"}},
      {"two records a minute: cycles too long for any watchdog",
       {"--baud", "3M", "--minutes", "150", "--records-per-minute", "2", "--fault",
        "dp_drop:at=0,fcb_not_toggled:at=0,io_length:at=0"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::TempDir dir;
    FaultRun run = Generate(dir, row.args);
    ASSERT_EQ(run.error, "");
    ASSERT_FALSE(run.truth.empty());
    ExpectTruthIsWhatTheRulesCount(run);
  }
}

using RecordCheck = void (*)(const FaultRun& run, int station);

// outage:cycles=2:retries=3. The master asks four times, byte for byte, within its hold, then
// asks four times for the diagnosis; in its next hold only for the diagnosis; then the slave
// answers the diagnosis request again.
void CheckOutage(const FaultRun& run, int station) {
  std::vector<std::vector<std::size_t>> groups;
  std::optional<std::size_t> last;
  for (std::size_t i = 0; i < run.records.size(); ++i) {
    if (!run.PollTo(i, station)) continue;
    if (last && run.Bytes(*last) == run.Bytes(i) && !run.Answered(*last) &&
        !run.TokenBetween(*last, i)) {
      if (groups.empty() || groups.back().back() != *last) groups.push_back({*last});
      groups.back().push_back(i);
    }
    last = i;
  }
  ASSERT_EQ(groups.size(), 3u);
  for (std::size_t g = 0; g < groups.size(); ++g) {
    SCOPED_TRACE(g);
    const std::vector<std::size_t>& group = groups[g];
    ASSERT_EQ(group.size(), 4u);
    EXPECT_FALSE(run.TokenBetween(group.front(), group.back()));
    for (std::size_t i : group) EXPECT_FALSE(run.Answered(i));
    for (std::size_t k = 1; k < group.size(); ++k) EXPECT_GE(run.Gap(group[k]), run.Slot());
    EXPECT_EQ(run.telegrams[group[0]].dsap, g == 0 ? -1 : 60);
  }
  EXPECT_FALSE(run.TokenBetween(groups[0].back(), groups[1].front()));
  EXPECT_TRUE(run.TokenBetween(groups[1].back(), groups[2].front()));
  std::size_t next = groups[2].back() + 1;
  while (next < run.records.size() && !run.PollTo(next, station)) ++next;
  ASSERT_LT(next, run.records.size());
  EXPECT_EQ(run.telegrams[next].dsap, 60);
  EXPECT_TRUE(run.Answered(next));
  const std::string key = "stations." + std::to_string(station) + ".";
  EXPECT_EQ(Truth(run, key + "repeats"), "9");
  EXPECT_EQ(Truth(run, key + "repeat_chain_max"), "3");
}

// Replies from the station to a request, with their gaps.
std::vector<std::size_t> RepliesFrom(const FaultRun& run, int station) {
  std::vector<std::size_t> replies;
  for (std::size_t i = 1; i < run.records.size(); ++i) {
    const Telegram& q = run.telegrams[i - 1];
    const Telegram& r = run.telegrams[i];
    if (run.PollTo(i - 1, station) && check::IsResponse(r) &&
        (r.sc || (r.sa == station && r.da == q.sa))) {
      replies.push_back(i);
    }
  }
  return replies;
}

// late:count=2 on the station that acknowledges with SC. Each late reply comes after the slot
// time; then the master asks again, byte for byte, and is answered in time.
void CheckLate(const FaultRun& run, int station) {
  std::size_t late = 0;
  for (std::size_t i : RepliesFrom(run, station)) {
    if (run.Gap(i) <= run.Slot()) continue;
    ++late;
    ASSERT_LT(i + 2, run.records.size());
    EXPECT_EQ(run.Bytes(i + 1), run.Bytes(i - 1));
    EXPECT_GE(run.Gap(i + 1), run.Bits(33));
    EXPECT_TRUE(run.Answered(i + 1));
  }
  EXPECT_EQ(late, 2u);
}

// early:count=4: answered in time, but before 11 bit times have passed.
void CheckEarly(const FaultRun& run, int station) {
  std::size_t early = 0;
  for (std::size_t i : RepliesFrom(run, station)) early += run.Gap(i) < run.Bits(11);
  EXPECT_EQ(early, 4u);
}

// diag:count=2: each reply that flags diagnosis is followed, in the same hold, by the master's
// Slave_Diag request, which is answered.
void CheckDiagnosis(const FaultRun& run, int station) {
  std::size_t flagged = 0;
  for (std::size_t i : RepliesFrom(run, station)) {
    if (run.telegrams[i].sc || (run.telegrams[i].fc & 0x0F) != 0x0A) continue;
    ++flagged;
    std::size_t next = i + 1;
    while (next < run.records.size() && !run.PollTo(next, station)) ++next;
    ASSERT_LT(next, run.records.size());
    EXPECT_FALSE(run.TokenBetween(i, next));
    EXPECT_EQ(run.telegrams[next].dsap, 60);
    EXPECT_TRUE(run.Answered(next));
  }
  EXPECT_EQ(flagged, 2u);
}

// rs:count=3: SD1 replies with function code 3.
void CheckNoService(const FaultRun& run, int station) {
  std::size_t negative = 0;
  for (std::size_t i : RepliesFrom(run, station)) {
    negative += run.Bytes(i)[0] == 0x10 && run.telegrams[i].fc == 0x03;
  }
  EXPECT_EQ(negative, 3u);
}

// corrupt:count=4 on a station that answers with SD3: each damaged reply follows a request to
// it within the slot time, and the master asks again, byte for byte. The damage takes its four
// forms: check error, a wrong check byte the module missed, end delimiter error, parity.
void CheckCorrupt(const FaultRun& run, int station) {
  std::vector<std::uint8_t> statuses;
  std::size_t fcs = 0;
  std::size_t ed = 0;
  for (std::size_t i = 1; i + 1 < run.records.size(); ++i) {
    if (run.telegrams[i].valid) continue;
    ASSERT_TRUE(run.PollTo(i - 1, station)) << i;
    EXPECT_LE(run.Gap(i), run.Slot());
    EXPECT_EQ(run.Bytes(i + 1), run.Bytes(i - 1));
    EXPECT_TRUE(run.Answered(i + 1));
    statuses.push_back(run.records[i].status);
    fcs += run.telegrams[i].fcsError;
    ed += run.telegrams[i].edError;
  }
  EXPECT_EQ(statuses, (std::vector<std::uint8_t>{0x40, 0x00, 0x80, 0x02}));
  EXPECT_EQ(fcs, 2u);
  EXPECT_EQ(ed, 1u);
  EXPECT_EQ(Truth(run, "run.corrupt"), "4");
}

// master@100:at=300: let into the ring by its predecessor after about 30 % of the run, after an
// FDL status request that it answers as a master ready for the ring; from then on it passes the
// token to master 1 and polls slaves of its own.
void CheckMaster(const FaultRun& run, int station) {
  std::optional<std::size_t> first = run.FirstSentBy(station);
  ASSERT_TRUE(first);
  EXPECT_GE(*first, run.records.size() * 3 / 10);
  EXPECT_LT(*first, run.records.size() * 4 / 10);
  ASSERT_GE(*first, 1u);
  EXPECT_TRUE(check::IsStatusPoll(run.telegrams[*first - 1]));
  EXPECT_EQ(run.telegrams[*first].fc, 0x20);
  std::size_t tokensFrom = 0;
  std::set<int> polled;
  for (std::size_t i = 0; i < run.records.size(); ++i) {
    const Telegram& t = run.telegrams[i];
    if (t.token && t.da == station) {
      EXPECT_GT(i, *first);
    }
    if (t.token && t.sa == station) {
      ++tokensFrom;
      EXPECT_EQ(t.da, 1);
    }
    if (check::ExpectsReply(t) && t.sa == station && !check::IsStatusPoll(t)) polled.insert(t.da);
  }
  EXPECT_GT(tokensFrom, 10u);
  EXPECT_EQ(polled, (std::set<int>{101, 102}));
  const std::string key = "stations." + std::to_string(station) + ".";
  EXPECT_EQ(Truth(run, key + "station_type"), "master-ready");
  EXPECT_EQ(Truth(run, key + "first_seen_ns"), run.Ns(*first));
}

// appear@120: nothing goes to it or comes from it before half the run; then its master
// parameterises it (diagnosis, parameters, configuration, diagnosis) and exchanges data.
void CheckAppear(const FaultRun& run, int station) {
  std::optional<std::size_t> first = run.FirstSentBy(station);
  ASSERT_TRUE(first);
  EXPECT_GE(*first, run.records.size() / 2);
  std::vector<int> saps;
  for (std::size_t i = 0; i < run.records.size() && saps.size() < 5; ++i) {
    if (!run.PollTo(i, station)) continue;
    EXPECT_GE(i + 1, *first);
    EXPECT_TRUE(run.Answered(i));
    saps.push_back(run.telegrams[i].dsap);
  }
  EXPECT_EQ(saps, (std::vector<int>{60, 61, 62, 60, -1}));
  const std::string key = "stations." + std::to_string(station) + ".";
  EXPECT_EQ(Truth(run, key + "first_seen_ns"), run.Ns(*first));
  EXPECT_EQ(Truth(run, key + "station_type"), "slave");
}

// missing@110: asked for its diagnosis hold after hold, three times in a row (retries 2), and
// never heard.
void CheckMissing(const FaultRun& run, int station) {
  EXPECT_FALSE(run.FirstSentBy(station));
  std::size_t requests = 0;
  for (std::size_t i = 0; i < run.records.size(); ++i) {
    if (!run.PollTo(i, station)) continue;
    ++requests;
    EXPECT_EQ(run.telegrams[i].dsap, 60);
    EXPECT_FALSE(run.Answered(i));
  }
  EXPECT_GT(requests, 30u);
  const std::string key = "stations." + std::to_string(station) + ".";
  EXPECT_EQ(Truth(run, key + "no_response"), std::to_string(requests));
  EXPECT_EQ(Truth(run, key + "repeat_chain_max"), "2");
  EXPECT_EQ(Truth(run, key + "first_seen_ns"), "null");
  EXPECT_EQ(Truth(run, "run.silent_stations"), "[" + std::to_string(station) + "]");
}

// DP: the master's requests to a slave that are not repeats, with whether each was answered.
struct DpRequest {
  std::size_t index;
  int dsap;  // -1: data exchange
  bool answered;
};

std::vector<DpRequest> RequestsTo(const FaultRun& run, int station) {
  std::vector<DpRequest> requests;
  std::optional<std::size_t> last;
  for (std::size_t i = 0; i < run.records.size(); ++i) {
    if (!run.PollTo(i, station)) continue;
    const bool repeat = last && !run.Answered(*last) && run.Bytes(*last) == run.Bytes(i) &&
                        !run.TokenBetween(*last, i);
    last = i;
    if (!repeat) requests.push_back({i, run.telegrams[i].dsap, run.Answered(i)});
  }
  return requests;
}

std::vector<std::uint8_t> DataOf(const FaultRun& run, std::size_t i) {
  return check::dp_detail::UnitOf(run.Bytes(i)).data;
}

using Bytes = std::vector<std::uint8_t>;

// A clean line: each slave's master reads its diagnosis (awaiting parameters, no master yet),
// sends the parameters (locked, the watchdog on unless no watchdog fits the cycles, min TSDR
// 11, the slave's ident number) and the configuration, reads the diagnosis again (clear, its
// master), then exchanges data; the first request resets the frame count. By the rules every
// slave ends in data exchange, entered once.
TEST(FdcgenDp, CleanLineStartsEverySlaveAsAMasterDoes) {
  struct Row {
    const char* name;
    std::vector<std::string> args;
    std::uint8_t status;  // Set_Prm's station status
  };
  const Row rows[] = {
      {"1M5", {"--baud", "1M5", "--minutes", "2"}, 0x88},
      {"12M saturated", {"--baud", "12M", "--saturate", "--seed", "9"}, 0x88},
      {"9K6",
       {"--baud", "9K6", "--minutes", "3", "--records-per-minute", "300", "--seed", "2"},
       0x88},
      {"two records a minute",
       {"--baud", "3M", "--minutes", "150", "--records-per-minute", "2"},
       0x80},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    test::TempDir dir;
    std::vector<std::string> args = row.args;
    args.insert(args.end(), {"--fault", "none"});
    FaultRun run = Generate(dir, args);
    ASSERT_EQ(run.error, "");
    const check::Figures figures = check::DpFiguresOf(run.records, run.timing);
    int slaves = 0;
    for (const auto& [path, value] : figures) {
      if (path.size() < 9 || path.compare(path.size() - 9, 9, ".dp.state") != 0) continue;
      ++slaves;
      const int station = std::stoi(path.substr(9));
      SCOPED_TRACE(station);
      EXPECT_EQ(value, "data_exchange");
      EXPECT_EQ(figures.at("stations." + std::to_string(station) + ".dp.entries"), "1");
      const std::vector<DpRequest> requests = RequestsTo(run, station);
      ASSERT_GE(requests.size(), 6u);
      std::vector<int> saps;
      for (std::size_t i = 0; i < 6; ++i) {
        saps.push_back(requests[i].dsap);
        EXPECT_TRUE(requests[i].answered);
      }
      EXPECT_EQ(saps, (std::vector<int>{60, 61, 62, 60, -1, -1}));
      EXPECT_EQ(run.telegrams[requests[0].index].fc, 0x6D);
      const auto master = static_cast<std::uint8_t>(run.telegrams[requests[0].index].sa);
      const Bytes waiting = DataOf(run, requests[0].index + 1);
      ASSERT_EQ(waiting.size(), 6u);
      EXPECT_EQ(Bytes(waiting.begin(), waiting.begin() + 4), (Bytes{0x00, 0x05, 0x00, 0xFF}));
      const Bytes parameters = DataOf(run, requests[1].index);
      ASSERT_EQ(parameters.size(), 7u);
      EXPECT_EQ(parameters[0], row.status);
      EXPECT_NE(parameters[1] * parameters[2], 0);
      EXPECT_EQ(parameters[3], 11);
      EXPECT_EQ(Bytes(parameters.begin() + 4, parameters.begin() + 6),
                Bytes(waiting.begin() + 4, waiting.end()));
      EXPECT_FALSE(DataOf(run, requests[2].index).empty());
      EXPECT_EQ(DataOf(run, requests[3].index + 1),
                (Bytes{0x00, 0x04, 0x00, master, waiting[4], waiting[5]}));
    }
    EXPECT_GE(slaves, 4);
  }
}

// dp_drop (cycles=6): data exchange lost in six holds in a row, the master carrying on; back,
// the slave refuses it (RS), and the master starts it anew from its diagnosis, which awaits
// parameters.
void CheckDpDrop(const FaultRun& run, int station) {
  std::vector<DpRequest> requests = RequestsTo(run, station);
  auto lost = std::find_if(requests.begin(), requests.end(),
                           [](const DpRequest& r) { return !r.answered; });
  ASSERT_GE(requests.end() - lost, 12);
  std::vector<int> saps;
  std::vector<bool> answered;
  for (auto r = lost; r != lost + 12; ++r) {
    saps.push_back(r->dsap);
    answered.push_back(r->answered);
  }
  EXPECT_EQ(saps, (std::vector<int>{-1, -1, -1, -1, -1, -1, -1, 60, 61, 62, 60, -1}));
  EXPECT_EQ(answered, (std::vector<bool>{false, false, false, false, false, false, true, true, true,
                                         true, true, true}));
  for (auto r = lost; r != lost + 6; ++r) EXPECT_TRUE(run.TokenBetween(r->index, (r + 1)->index));
  EXPECT_EQ(run.telegrams[lost[6].index + 1].fc, 0x03);
  EXPECT_EQ(DataOf(run, lost[7].index + 1)[1], 0x05);
  EXPECT_EQ(DataOf(run, lost[7].index + 1)[3], 0xFF);
}

// dp_rs: the one wait between two data exchange requests that outlasts the watchdog of the
// slave's parameters ends in RS, after which the master starts the slave anew.
void CheckDpRs(const FaultRun& run, int station) {
  const std::vector<DpRequest> requests = RequestsTo(run, station);
  std::optional<std::size_t> lastExchange;
  std::int64_t watchdogNs = 0;
  int overruns = 0;
  for (std::size_t k = 0; k < requests.size(); ++k) {
    const std::size_t i = requests[k].index;
    if (requests[k].dsap == 61) {
      const Bytes p = DataOf(run, i);
      watchdogNs = std::int64_t{p[1]} * p[2] * 10'000'000;
    }
    if (requests[k].dsap != -1) continue;
    if (lastExchange) {
      const std::int64_t wait = std::stoll(run.Ns(i)) - std::stoll(run.Ns(*lastExchange));
      const bool rs = run.telegrams[i + 1].fc == 0x03;
      EXPECT_EQ(wait > watchdogNs, rs) << i;
      if (rs) {
        ++overruns;
        ASSERT_LT(k + 1, requests.size());
        EXPECT_EQ(requests[k + 1].dsap, 60);
        EXPECT_EQ(DataOf(run, requests[k + 1].index + 1)[1], 0x05);
      }
    }
    lastExchange = i;
  }
  EXPECT_EQ(overruns, 1);
}

// prm_fault (count=2): two start-ups with a wrong ident number, each answered by a diagnosis
// with prm_fault and prm_req; the third takes.
void CheckPrmFault(const FaultRun& run, int station) {
  const std::vector<DpRequest> requests = RequestsTo(run, station);
  std::vector<Bytes> verdicts;  // the diagnosis after each Set_Prm's Chk_Cfg
  std::size_t wrong = 0;
  for (std::size_t k = 0; k + 2 < requests.size(); ++k) {
    if (requests[k].dsap != 61) continue;
    const Bytes diag = DataOf(run, requests[k + 2].index + 1);
    wrong +=
        !std::equal(diag.begin() + 4, diag.begin() + 6, DataOf(run, requests[k].index).begin() + 4);
    verdicts.push_back(Bytes(diag.begin(), diag.begin() + 4));
  }
  EXPECT_EQ(wrong, 2u);
  ASSERT_EQ(verdicts.size(), 3u);
  EXPECT_EQ(verdicts[0], (Bytes{0x40, 0x05, 0x00, 0xFF}));
  EXPECT_EQ(verdicts[1], (Bytes{0x40, 0x05, 0x00, 0xFF}));
  EXPECT_EQ(verdicts[2][0], 0x00);
}

// Each diagnosis the station gives, in order.
std::vector<Bytes> DiagnosesOf(const FaultRun& run, int station) {
  std::vector<Bytes> diagnoses;
  for (const DpRequest& r : RequestsTo(run, station)) {
    if (r.dsap == 60 && r.answered) diagnoses.push_back(DataOf(run, r.index + 1));
  }
  return diagnoses;
}

std::size_t FlaggedReplies(const FaultRun& run, int station) {
  std::size_t flagged = 0;
  for (std::size_t i : RepliesFrom(run, station)) {
    flagged += !run.telegrams[i].sc && (run.telegrams[i].fc & 0x0F) == 0x0A;
  }
  return flagged;
}

// channel_error: the slave flags diagnosis twice; the first diagnosis read then carries the
// channel block (module 3, input channel 2 of one bit, wire break), the last is clear again.
void CheckChannelError(const FaultRun& run, int station) {
  EXPECT_EQ(FlaggedReplies(run, station), 2u);
  const std::vector<Bytes> diagnoses = DiagnosesOf(run, station);
  auto with = std::find_if(diagnoses.begin(), diagnoses.end(),
                           [](const Bytes& d) { return d.size() == 9; });
  ASSERT_NE(with, diagnoses.end());
  EXPECT_EQ((*with)[0], 0x08);
  EXPECT_EQ(Bytes(with->begin() + 6, with->end()), (Bytes{0x83, 0x42, 0x26}));
  EXPECT_EQ(diagnoses.back().size(), 6u);
  EXPECT_EQ(diagnoses.back()[0], 0x00);
}

// dpv1_alarm (count=2): the slave's parameters enable DP-V1; two alarms of slot 3, numbered 0
// and 1, each read once.
void CheckAlarm(const FaultRun& run, int station) {
  EXPECT_EQ(FlaggedReplies(run, station), 2u);
  std::vector<Bytes> alarms;
  for (const Bytes& d : DiagnosesOf(run, station)) {
    if (d.size() > 6) alarms.push_back(Bytes(d.begin() + 6, d.end()));
  }
  EXPECT_EQ(alarms,
            (std::vector<Bytes>{{0x05, 0x01, 0x03, 0x01, 0x00}, {0x05, 0x01, 0x03, 0x09, 0x00}}));
  for (const DpRequest& r : RequestsTo(run, station)) {
    if (r.dsap != 61) continue;
    const Bytes p = DataOf(run, r.index);
    ASSERT_EQ(p.size(), 10u);
    EXPECT_EQ(p[7], 0x80);
  }
}

// clear_data@2:count=4: Global_Control with Clear_Data from master 2 to every slave, once in
// each of four holds.
void CheckClearData(const FaultRun& run, int station) {
  std::vector<std::size_t> sent;
  for (std::size_t i = 0; i < run.records.size(); ++i) {
    const Telegram& t = run.telegrams[i];
    const check::dp_detail::Unit unit = check::dp_detail::UnitOf(run.Bytes(i));
    if (t.da == 127 && t.fc == 0x46 && unit.dsap == 58 && unit.ssap == 62 &&
        unit.data == Bytes{0x02, 0x00}) {
      EXPECT_EQ(t.sa, station);
      sent.push_back(i);
    }
  }
  EXPECT_EQ(station, 2);
  ASSERT_EQ(sent.size(), 4u);
  for (std::size_t k = 1; k < sent.size(); ++k) EXPECT_TRUE(run.TokenBetween(sent[k - 1], sent[k]));
}

// missed_cycles:count=5: the lost data exchange cycles come in rows of one and two by turns,
// and after each the master carries on with data exchange.
void CheckMissedCycles(const FaultRun& run, int station) {
  const std::vector<DpRequest> requests = RequestsTo(run, station);
  std::vector<int> rows;
  for (std::size_t k = 0; k + 1 < requests.size(); ++k) {
    if (requests[k].answered) continue;
    EXPECT_EQ(requests[k].dsap, -1);
    EXPECT_EQ(requests[k + 1].dsap, -1);
    if (k == 0 || requests[k - 1].answered) rows.push_back(0);
    ++rows.back();
  }
  EXPECT_EQ(rows, (std::vector<int>{1, 2, 1, 1}));
}

TEST(FdcgenFaults, EachKindLandsAsDescribed) {
  struct Row {
    const char* fault;
    const char* figure;  // finds the station in the truth
    const char* value;
    RecordCheck check;
  };
  const Row rows[] = {
      {"outage:cycles=2:retries=3", "no_response", "12", CheckOutage},
      {"late:count=2", "late_responses", "2", CheckLate},
      {"early:count=4", "early_responses", "4", CheckEarly},
      {"diag:count=2", "diagnosis_flagged", "2", CheckDiagnosis},
      {"rs:count=3", "negative_responses.rs", "3", CheckNoService},
      {"ue:count=1,corrupt:count=4", "illegal_responses", "4", CheckCorrupt},
      {"master@100:at=300", "role", "master", CheckMaster},
      {"appear@120", "role", "slave", CheckAppear},
      {"missing@110", "role", "slave", CheckMissing},
      {"dp_drop", "dp.missed_cycles", "6", CheckDpDrop},
      // The third lost cycle in a row drops the slave; after two, its refusal does.
      {"dp_drop:cycles=3", "dp.drop_causes.lost_request", "1", nullptr},
      {"dp_drop:cycles=2", "dp.drop_causes.RS", "1", nullptr},
      {"dp_rs", "dp.watchdog_exceeded", "1", CheckDpRs},
      {"prm_fault", "dp.diag_flags.prm_fault", "4", CheckPrmFault},
      {"cfg_fault:count=3", "dp.diag_flags.cfg_fault", "6", nullptr},
      {"channel_error", "dp.diag_flags.ext_diag", nullptr, CheckChannelError},
      {"dpv1_alarm:count=2", "dp.diag_flags.ext_diag", nullptr, CheckAlarm},
      {"clear_data@2:count=4", "dp_master.clear_data", "4", CheckClearData},
      {"fcb_not_toggled:count=2", "dp.fcb_not_toggled", "2", nullptr},
      {"fcb_toggled_on_repeat:count=2", "dp.fcb_toggled_on_repeat", "2", nullptr},
      {"cfg_differs:count=2", "dp.cfg_mismatches", "2", nullptr},
      {"io_length:count=4", "dp.io_length_mismatches", "4", nullptr},
      {"missed_cycles:count=5", "dp.missed_cycles", "5", CheckMissedCycles},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fault);
    test::TempDir dir;
    FaultRun run = Generate(dir, {"--baud", "1M5", "--minutes", "2", "--records-per-minute", "2500",
                                  "--fault", row.fault});
    ASSERT_EQ(run.error, "");
    ExpectTruthIsWhatTheRulesCount(run);
    const int station = StationWith(run, row.figure);
    ASSERT_GE(station, 0);
    if (row.value != nullptr) {
      EXPECT_EQ(Truth(run, "stations." + std::to_string(station) + "." + row.figure), row.value);
    }
    if (row.check != nullptr) row.check(run, station);
  }
}

// A pause that no watchdog can tell from the slave's cycles is refused, with what it lacks.
TEST(FdcgenDp, RefusesAPauseShorterThanTheCycles) {
  test::TempDir dir;
  FaultRun run = Generate(dir, {"--baud", "12M", "--saturate", "--fault", "dp_rs:cycles=1"});
  EXPECT_EQ(run.error.rfind("Fault dp_rs on station ", 0), 0u) << run.error;
  EXPECT_NE(run.error.find("; give it more cycles"), std::string::npos) << run.error;
}

TEST(FdcgenFaults, SameArgumentsSameBytesAndTruth) {
  const std::vector<std::string> args = {"--baud", "12M",     "--minutes",
                                         "2",      "--fault", "outage,late,corrupt,master,appear"};
  test::TempDir one, two, three;
  FaultRun first = Generate(one, args);
  FaultRun second = Generate(two, args);
  std::vector<std::string> moved = args;
  moved.back() += ":at=900";
  FaultRun third = Generate(three, moved);
  ASSERT_EQ(first.error, "");
  EXPECT_EQ(first.files, second.files);
  EXPECT_EQ(first.truthLines, second.truthLines);
  EXPECT_NE(first.files, third.files);
}

// Without faults the generator writes what it always wrote: the bundled sample run comes out
// byte for byte as tools/make_samples.sh made it.
TEST(FdcgenFaults, RemakesTheBundledSamples) {
  const char* source = std::getenv("FDC_SOURCE_DIR");
  if (source == nullptr) GTEST_SKIP() << "FDC_SOURCE_DIR is not set";
  test::TempDir dir;
  std::string base = dir.File("Line1");
  FdcgenCommand command;
  std::vector<std::string_view> args = {"--out",
                                        base,
                                        "--start",
                                        "1159",
                                        "--minutes",
                                        "3",
                                        "--baud",
                                        "500K",
                                        "--seed",
                                        "1",
                                        "--records-per-minute",
                                        "2000",
                                        "--ip",
                                        "192.168.0.5",
                                        "--module",
                                        "Line1",
                                        "--damage",
                                        "garbage,malformed,split"};
  ASSERT_EQ(ParseFdcgenArgs(args, command), "");
  RunOutcome outcome = GenerateRun(command.plan);
  ASSERT_TRUE(outcome.ok()) << outcome.error;
  ASSERT_EQ(outcome.summary.paths.size(), 3u);
  EXPECT_TRUE(outcome.summary.truth.empty());
  for (const char* name : {"Line11159.FdcCapt", "Line11200.FdcCapt", "Line11201.FdcCapt"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(check::ReadBytes(dir.File(name)),
              check::ReadBytes(std::string(source) + "/samples/" + name));
  }
}

TEST(FdcgenFaults, ParsesFaultTexts) {
  struct Row {
    const char* text;
    FaultKind kind;
    int station;  // -1: none named
    unsigned at;
    unsigned count;
    unsigned retries;
  };
  const Row rows[] = {
      {"outage@7:cycles=2:retries=3", FaultKind::kOutage, 7, 500, 2, 3},
      {"late", FaultKind::kLate, -1, 500, 3, 2},
      {"corrupt:count=65535:at=0", FaultKind::kCorrupt, -1, 0, 65535, 2},
      {"rr@126:at=999", FaultKind::kRr, 126, 999, 3, 2},
      {"master@0:slaves=0", FaultKind::kMaster, 0, 0, 0, 2},
      {"master", FaultKind::kMaster, -1, 0, 2, 2},
      {"missing:retries=7", FaultKind::kMissing, -1, 0, 0, 7},
      {"appear@40", FaultKind::kAppear, 40, 500, 0, 2},
      {"none", FaultKind::kNone, -1, 0, 0, 2},
      {"dp_drop@9:cycles=2:retries=1", FaultKind::kDpDrop, 9, 500, 2, 1},
      {"dp_rs", FaultKind::kDpRs, -1, 500, 8, 2},
      {"prm_fault", FaultKind::kPrmFault, -1, 0, 2, 2},
      {"clear_data@1:count=5:at=10", FaultKind::kClearData, 1, 10, 5, 2},
      {"missed_cycles:retries=0", FaultKind::kMissedCycles, -1, 500, 3, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    Fault fault;
    ASSERT_EQ(ParseFault(row.text, fault), "");
    EXPECT_EQ(fault.kind, row.kind);
    EXPECT_EQ(fault.station ? int{*fault.station} : -1, row.station);
    EXPECT_EQ(fault.At(), row.at);
    EXPECT_EQ(fault.Count(), row.count);
    EXPECT_EQ(fault.retries, row.retries);
  }
}

TEST(FdcgenFaults, RefusesWithOneLine) {
  struct Row {
    std::vector<std::string_view> args;
    const char* message;
  };
  const Row rows[] = {
      {{"--fault", ""}, "--fault: no kind given"},
      {{"--fault", "fire"}, "--fault: unknown kind 'fire'"},
      {{"--fault", "late,"}, "--fault: unknown kind ''"},
      {{"--fault", "late@x"}, "--fault: 'x' is not a station address (0-126)"},
      {{"--fault", "late@127"}, "--fault: '127' is not a station address (0-126)"},
      {{"--fault", "none@4"}, "--fault: none takes no station"},
      {{"--fault", "late:cycles=2"}, "--fault: 'cycles' is not a parameter of late"},
      {{"--fault", "late:count=0"}, "--fault: 'count=0': count is 1 to 65535"},
      {{"--fault", "late:at=1000"}, "--fault: 'at=1000': at is 0 to 999"},
      {{"--fault", "late:at"}, "--fault: 'at': at is 0 to 999"},
      {{"--fault", "outage:retries=8"}, "--fault: 'retries=8': retries is 0 to 7"},
      {{"--fault", "master:slaves=9"}, "--fault: 'slaves=9': slaves is 0 to 8"},
      {{"--fault", "late", "--damage", "sync"}, "Faults and damage exclude each other"},
      {{"--fault", "late", "--header-baud", "0"},
       "Faults need the headers to carry the bus rate's baud code"},
      {{"--fault", "late", "--clock-start", "281474976710000"},
       "Faults need a clock that does not pass 2^48 ticks within the run"},
      {{"--fault", "master@2"}, "Fault master@2: station 2 is already on this line"},
      {{"--fault", "appear@110,missing@110"}, "Fault missing@110: station 110 is named twice"},
      {{"--fault", "io_length:cycles=2"}, "--fault: 'cycles' is not a parameter of io_length"},
      {{"--fault", "clear_data@9"},
       "Fault clear_data@9: station 9 is not a master of this line (its masters: 1 2 3)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    std::vector<std::string_view> args = {"--out", "x"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    FdcgenCommand command;
    EXPECT_EQ(ParseFdcgenArgs(args, command), row.message);
  }
  // Which addresses are slaves depends on the seed; the message lists them.
  FdcgenCommand command;
  std::vector<std::string_view> args = {"--out", "x", "--fault", "late@3"};
  std::string message = ParseFdcgenArgs(args, command);
  EXPECT_EQ(message.rfind("Fault late@3: station 3 is not a slave of this line (its slaves: ", 0),
            0u)
      << message;
}

TEST(FdcgenFaults, SummaryEndsWithTheTruth) {
  RunSummary summary;
  summary.paths = {"s/L1200.FdcCapt"};
  summary.records = 10;
  summary.bytes = 200;
  summary.truth = {{"run.corrupt", "2"}, {"stations.7.role", "master"}};
  EXPECT_EQ(FormatSummary(summary),
            "file s/L1200.FdcCapt\n"
            "records 10\n"
            "bytes 200\n"
            "truth run.corrupt 2\n"
            "truth stations.7.role master\n");
}

// The program prints the same truth lines as the library gives.
TEST(FdcgenFaults, ProgramPrintsTheTruth) {
  // The build tree holds tests/tools_tests and tools/fdcgen.
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  const std::string fdcgen = self.parent_path().parent_path().string() + "/tools/fdcgen";
  if (!std::filesystem::exists(fdcgen)) GTEST_SKIP() << "no fdcgen built";
  test::TempDir dir;
  FaultRun run = Generate(dir, {"--fault", "late:count=2"});
  ASSERT_EQ(run.error, "");
  std::string expected;
  for (const TruthLine& line : run.truthLines) {
    expected += "truth " + line.path + " " + line.value + "\n";
  }
  ASSERT_FALSE(expected.empty());

  const std::string command = fdcgen + " --out " + dir.File("P") + " --seed 5 --fault late:count=2";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
  EXPECT_EQ(::pclose(pipe), 0);
  EXPECT_NE(output.find("records 1000\nbytes "), std::string::npos) << output;
  ASSERT_GE(output.size(), expected.size()) << output;
  EXPECT_EQ(output.substr(output.size() - expected.size()), expected) << output;
}

// GSD slaves. The test GSD files as read here (tests/dp/gsd): each ident's Min_Slave_Intervall
// and its MaxTsdr by baud code, where the file gives one.
struct GsdTiming {
  std::uint16_t ident;
  std::int64_t minIntervalNs;
  std::map<std::uint16_t, std::int64_t> maxTsdrBits;
};
const GsdTiming kGsdTimings[] = {
    {0x7F01, 600'000, {{5, 100}, {4, 150}, {1, 800}}},
    {0x7F02, 1'000'000, {{5, 20}, {4, 25}, {3, 50}, {2, 100}}},
};

// A clean line with the GSD slaves as the traffic generator makes it, laid out back to back:
// each record after the last with only the idle it asks for, the busiest layout a run can have.
FaultRun BackToBack(std::uint16_t baud, std::uint64_t seed, std::size_t count,
                    std::vector<GsdSlave>& gsd) {
  FaultRun run;
  const BaudTiming timing = *FindBaudTiming(baud);
  TrafficGenerator traffic(seed, timing);
  traffic.UseGsdSlaves();
  run.error = traffic.InjectFaults({}, count, seed);
  gsd = traffic.GsdSlaves();
  run.timing = TimingOf(baud);
  std::uint64_t t = 0;
  for (std::size_t i = 0; i < count && run.error.empty(); ++i) {
    const TrafficRecord& record = traffic.Next();
    if (i > 0) t += timing.FrameTicks(run.records.back().frame.size());
    t += std::uint64_t{record.gapBits} * timing.ticksPerBit + record.jitterTicks;
    const Bytes bytes(record.frame.bytes.begin(), record.frame.bytes.begin() + record.frame.size);
    run.records.push_back({t, bytes, record.status, 0});
    run.telegrams.push_back(Classify(bytes, record.status));
  }
  return run;
}

// Each GSD slave's replies come within its file's MaxTsdr at the line's rate, and its data
// exchange cycles take no less than its file's Min_Slave_Intervall, also where the line would
// cycle faster; by the rules the line is clean (its io lengths follow the configurations, those
// with length bytes among them).
TEST(FdcgenGsd, SlavesKeepTheirFilesTimingOnABusyLine) {
  struct Row {
    std::uint16_t baud;
    std::uint64_t seed;
    bool binds;  // the line's other slaves cycle faster than a millisecond
  };
  const Row rows[] = {{1, 5, true}, {1, 9, true}, {2, 3, true}, {4, 5, false}, {5, 7, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE("baud " + std::to_string(row.baud) + ", seed " + std::to_string(row.seed));
    std::vector<GsdSlave> gsd;
    const FaultRun run = BackToBack(row.baud, row.seed, 20'000, gsd);
    ASSERT_EQ(run.error, "");
    ASSERT_EQ(gsd.size(), 3u);
    for (const auto& [path, value] : check::AllFiguresOf(run.records, run.timing)) {
      EXPECT_FALSE(check::IsFaultFigure(path)) << path << " " << value;
    }
    auto ns = [&](std::size_t i) { return std::stoll(run.Ns(i)); };
    std::int64_t fastestOther = std::numeric_limits<std::int64_t>::max();
    for (int station = 0; station < 126; ++station) {
      const std::vector<DpRequest> requests = RequestsTo(run, station);
      if (requests.empty()) continue;
      const auto slave = std::find_if(gsd.begin(), gsd.end(),
                                      [&](const GsdSlave& g) { return g.station == station; });
      std::optional<std::size_t> lastExchange;
      const GsdTiming* file = nullptr;
      for (const DpRequest& request : requests) {
        if (request.dsap == 61) {
          const Bytes prm = DataOf(run, request.index);
          ASSERT_GE(prm.size(), 7u);
          for (const GsdTiming& timing : kGsdTimings) {
            if (timing.ident == (prm[4] << 8 | prm[5])) file = &timing;
          }
        }
        if (request.dsap != -1) continue;
        if (lastExchange) {
          const std::int64_t cycle = ns(request.index) - ns(*lastExchange);
          if (slave == gsd.end()) fastestOther = std::min(fastestOther, cycle);
          if (file != nullptr) {
            EXPECT_GE(cycle, file->minIntervalNs) << station;
          }
        }
        lastExchange = request.index;
        if (file == nullptr || !file->maxTsdrBits.count(row.baud)) continue;
        EXPECT_LE(run.Gap(request.index + 1), run.Bits(file->maxTsdrBits.at(row.baud))) << station;
      }
      EXPECT_EQ(file != nullptr, slave != gsd.end()) << station;
      if (file != nullptr) {
        EXPECT_EQ(file->ident, slave->profile == GsdProfile::kCompact ? 0x7F01 : 0x7F02);
      }
    }
    EXPECT_EQ(fastestOther < 1'000'000, row.binds) << fastestOther;
  }
}

// The faults that would change what a GSD slave sends take other slaves; named on one, they are
// refused, as is damage beside the GSD slaves.
TEST(FdcgenGsd, FaultsLeaveTheFilesBytesAlone) {
  const BaudTiming timing = *FindBaudTiming(std::uint16_t{4});
  TrafficGenerator line(1, timing);
  line.UseGsdSlaves();
  const std::string station = std::to_string(line.GsdSlaves().front().station);
  const std::string owned = ": station " + station +
                            " is a slave of a GSD file, whose parameters, configuration and "
                            "diagnosis stay the file's";
  struct Row {
    std::vector<std::string> args;
    std::string message;
  };
  const Row rows[] = {
      {{"--damage", "sync"}, "GSD slaves and damage exclude each other"},
      {{"--header-baud", "0"}, "GSD slaves need the headers to carry the bus rate's baud code"},
      {{"--fault", "late", "--damage", "sync"}, "Faults and damage exclude each other"},
      {{"--fault", "prm_fault@" + station}, "Fault prm_fault@" + station + owned},
      {{"--fault", "cfg_fault@" + station}, "Fault cfg_fault@" + station + owned},
      {{"--fault", "channel_error@" + station}, "Fault channel_error@" + station + owned},
      {{"--fault", "dpv1_alarm@" + station}, "Fault dpv1_alarm@" + station + owned},
      {{"--fault", "late@" + station + ",diag@" + station + ",outage@" + station}, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    std::vector<std::string_view> args = {"--out", "x", "--gsd-slaves"};
    args.insert(args.end(), row.args.begin(), row.args.end());
    FdcgenCommand command;
    EXPECT_EQ(ParseFdcgenArgs(args, command), row.message);
  }

  test::TempDir dir;
  const FaultRun run = Generate(
      dir, {"--gsd-slaves", "--minutes", "2", "--fault", "prm_fault,cfg_fault,channel_error"});
  ASSERT_EQ(run.error, "");
  ASSERT_EQ(run.gsd.size(), 3u);
  int acted = 0;
  for (const auto& [path, value] : run.truth) {
    if (path.size() < 9 || path.compare(path.size() - 9, 9, ".dp.state") != 0) continue;
    ++acted;
    const int address = std::stoi(path.substr(9));
    for (const GsdSlaveTruth& slave : run.gsd) EXPECT_NE(slave.station, address) << path;
  }
  EXPECT_EQ(acted, 3);
}

}  // namespace
}  // namespace fdc::gen
