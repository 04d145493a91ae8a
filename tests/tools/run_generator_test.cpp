// Runs of minute files: cut by the module's clock, timed plausibly, the same bytes for the same
// plan, every kind of damage where it was asked for; and the fdcgen command line.
#include "tools/run_generator.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/tools/capture_check.h"
#include "tools/capture_writer.h"
#include "tools/fdcgen_cli.h"
#include "tools/traffic.h"

namespace fdc::gen {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class ScratchDir {
 public:
  ScratchDir() {
    static std::atomic<int> counter{0};
    path_ = fs::temp_directory_path() /
            ("fdcgen_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  std::string Base(const std::string& name = "Line1") const { return (path_ / name).string(); }

 private:
  fs::path path_;
};

RunPlan Plan(const ScratchDir& dir, unsigned minutes = 3, std::uint16_t baud = 5,
             std::uint64_t perMinute = 2000) {
  RunPlan plan;
  plan.base = dir.Base();
  plan.startHour = 23;
  plan.startMinute = 59;
  plan.minutes = minutes;
  plan.baudCode = baud;
  plan.seed = 11;
  plan.recordsPerMinute = perMinute;
  return plan;
}

std::vector<Bytes> ReadRun(const RunSummary& summary) {
  std::vector<Bytes> files;
  for (const std::string& path : summary.paths) files.push_back(check::ReadBytes(path));
  return files;
}

TEST(GenerateRun, SamePlanSameBytesOtherSeedOtherBytes) {
  ScratchDir one, two, three;
  RunPlan plan = Plan(one);
  plan.damage = {{DamageKind::kGarbage, 1}, {DamageKind::kSplit, 0}, {DamageKind::kLen0, 2}};
  RunOutcome first = GenerateRun(plan);
  plan.base = two.Base();
  RunOutcome second = GenerateRun(plan);
  plan.base = three.Base();
  plan.seed = 12;
  RunOutcome third = GenerateRun(plan);
  ASSERT_TRUE(first.ok() && second.ok() && third.ok()) << first.error;
  EXPECT_EQ(ReadRun(first.summary), ReadRun(second.summary));
  EXPECT_NE(ReadRun(first.summary), ReadRun(third.summary));
  EXPECT_EQ(first.summary.records, second.summary.records);
}

struct TimingRow {
  const char* name;
  std::uint16_t baud;
  bool saturate;
  std::uint64_t perMinute;
  unsigned minutes;
};

// Each file holds the records of one minute of the module's clock, every frame starts after the
// previous one ended, and the files are named minute by minute across midnight.
TEST(GenerateRun, RecordsFollowTheClockMinuteByMinute) {
  const TimingRow rows[] = {
      {"9K6 saturated", 9, true, 0, 3},   {"19K2 saturated", 8, true, 0, 2},
      {"187K5 saturated", 6, true, 0, 2}, {"500K spread", 5, false, 3000, 3},
      {"1M5 spread", 4, false, 20000, 2}, {"12M spread", 1, false, 50000, 2},
      {"6M spread, few", 2, false, 3, 3}, {"3M spread, one", 3, false, 1, 2},
  };
  for (const TimingRow& row : rows) {
    SCOPED_TRACE(row.name);
    ScratchDir dir;
    RunPlan plan = Plan(dir, row.minutes, row.baud, row.perMinute);
    plan.saturate = row.saturate;
    RunOutcome outcome = GenerateRun(plan);
    ASSERT_TRUE(outcome.ok()) << outcome.error;
    const BaudTiming timing = *FindBaudTiming(row.baud);
    const std::uint64_t perMinute = timing.TicksPerMinute();
    const std::uint64_t origin = (23 * 60 + 59) * perMinute;
    const char* names[] = {"Line12359.FdcCapt", "Line10000.FdcCapt", "Line10001.FdcCapt"};

    ASSERT_EQ(outcome.summary.paths.size(), row.minutes);
    std::uint64_t records = 0;
    std::uint64_t bytes = 0;
    std::uint64_t prevEnd = 0;
    std::uint64_t longestIdle = 0;
    for (unsigned file = 0; file < row.minutes; ++file) {
      EXPECT_EQ(fs::path(outcome.summary.paths[file]).filename(), names[file]);
      Bytes data = check::ReadBytes(outcome.summary.paths[file]);
      std::size_t end = 0;
      std::vector<check::Record> walk = check::Walk(data, 40, &end);
      ASSERT_EQ(end, data.size()) << "file " << file;
      if (!row.saturate) {
        EXPECT_EQ(walk.size(), row.perMinute);
      }
      for (const check::Record& record : walk) {
        ASSERT_GE(record.timestamp, origin + file * perMinute);
        ASSERT_LT(record.timestamp, origin + (file + 1) * perMinute);
        if (records > 0) {
          ASSERT_GE(record.timestamp, prevEnd) << "file " << file << " @" << record.offset;
          longestIdle = std::max(longestIdle, record.timestamp - prevEnd);
        }
        prevEnd = record.timestamp + timing.FrameTicks(record.frame.size());
        if (record.status == 0) {
          ASSERT_EQ(check::FrameProblem(record.frame), "");
        }
        ++records;
      }
      bytes += data.size();
    }
    EXPECT_EQ(outcome.summary.records, records);
    EXPECT_EQ(outcome.summary.bytes, bytes);
    // A saturated line never rests longer than a slot time; a spread one shares out the minute.
    if (row.saturate) {
      EXPECT_LE(longestIdle, (timing.slotBits + 8) * timing.ticksPerBit);
    } else if (row.perMinute >= 1000) {
      EXPECT_LT(longestIdle, perMinute / 20);
    }
  }
}

TEST(GenerateRun, ClockStartsWhereAsked) {
  ScratchDir dir;
  RunPlan plan = Plan(dir, 1, 1, 100);
  plan.clockStart = (std::uint64_t{1} << 40) + 3;
  RunOutcome outcome = GenerateRun(plan);
  ASSERT_TRUE(outcome.ok()) << outcome.error;
  std::vector<check::Record> walk = check::Walk(check::ReadBytes(outcome.summary.paths[0]), 40);
  ASSERT_EQ(walk.size(), 100u);
  EXPECT_GE(walk.front().timestamp, *plan.clockStart);
  EXPECT_LT(walk.back().timestamp, *plan.clockStart + FindBaudTiming(1)->TicksPerMinute());
}

TEST(GenerateRun, EveryFileCarriesTheChosenHeader) {
  ScratchDir dir;
  RunPlan plan = Plan(dir, 2, 5, 10);
  plan.headerBaudCode = 0xFFFF;
  plan.ipAddress = 0x0A010203;
  plan.moduleName = "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
  RunOutcome outcome = GenerateRun(plan);
  ASSERT_TRUE(outcome.ok()) << outcome.error;
  for (const Bytes& data : ReadRun(outcome.summary)) {
    ASSERT_GE(data.size(), 40u);
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 8),
              (Bytes{0, 0, 0xFF, 0xFF, 0x03, 0x02, 0x01, 0x0A}));
    EXPECT_EQ(std::string(data.begin() + 8, data.begin() + 40), plan.moduleName);
  }
}

// Finds the one placement of a kind of damage.
const DamagePlacement* Placement(const RunSummary& summary, DamageKind kind) {
  const DamagePlacement* found = nullptr;
  for (const DamagePlacement& placement : summary.damage) {
    if (placement.kind != kind) continue;
    if (found != nullptr) return nullptr;
    found = &placement;
  }
  return found;
}

// Walks a file that holds damage at `offset`: the records before it must walk cleanly up to
// the damage, and some record boundary within `skip` bytes after it must walk to the end.
// Returns the number of whole records on both sides.
std::size_t RecordsAround(const Bytes& data, std::size_t offset, std::size_t skip) {
  std::size_t end = 0;
  std::size_t before = check::Walk(data, 40, &end).size();
  EXPECT_EQ(end, offset);
  for (std::size_t resume = offset + 1; resume <= offset + skip; ++resume) {
    std::vector<check::Record> after = check::Walk(data, resume, &end);
    if (end == data.size() && after.size() > 100) return before + after.size();
  }
  ADD_FAILURE() << "no clean record chain after the damage at " << offset;
  return 0;
}

struct DamageRow {
  DamageKind kind;
  unsigned expectedFile;
  std::int64_t recordChange;  // on the 3 * 2000 records of the undamaged run
};

TEST(GenerateRun, EachKindOfDamageLandsWhereAsked) {
  const DamageRow rows[] = {
      {DamageKind::kGarbage, 1, 0},    {DamageKind::kSync, 1, -1},
      {DamageKind::kLen0, 1, +1},      {DamageKind::kLen255, 1, +1},
      {DamageKind::kMalformed, 1, +9}, {DamageKind::kSplit, 1, 0},
      {DamageKind::kTruncated, 2, -1}, {DamageKind::kHeaderOnly, 1, -2000},
  };
  const std::uint64_t undamaged = 3 * 2000;
  for (const DamageRow& row : rows) {
    const std::string name(DamageKindName(row.kind));
    SCOPED_TRACE(name);
    ScratchDir dir;
    RunPlan plan = Plan(dir);
    plan.damage = {{row.kind, DefaultDamageFile(row.kind, 3)}};
    RunOutcome outcome = GenerateRun(plan);
    ASSERT_TRUE(outcome.ok()) << outcome.error;
    EXPECT_EQ(outcome.summary.records, undamaged + row.recordChange);
    const DamagePlacement* at = Placement(outcome.summary, row.kind);
    ASSERT_NE(at, nullptr);
    EXPECT_EQ(at->file, row.expectedFile);
    std::vector<Bytes> files = ReadRun(outcome.summary);
    const Bytes& data = files[at->file];
    const std::size_t offset = at->offset;
    std::size_t end = 0;
    std::vector<check::Record> walk = check::Walk(data, 40, &end);
    auto recordAt = [&]() -> const check::Record* {
      for (const check::Record& record : walk) {
        if (record.offset == offset) return &record;
      }
      return nullptr;
    };
    switch (row.kind) {
      case DamageKind::kGarbage:
        EXPECT_NE(data[offset], 0xDD);
        EXPECT_EQ(RecordsAround(data, offset, 40), 2000u);
        break;
      case DamageKind::kSync: {
        EXPECT_NE(data[offset], 0xDD);
        std::size_t damagedSize = 9 + data[offset + 7];
        EXPECT_EQ(RecordsAround(data, offset, damagedSize), 1999u);
        EXPECT_EQ(check::Walk(data, offset + damagedSize, &end).size() + walk.size(), 1999u);
        break;
      }
      case DamageKind::kLen0:
        ASSERT_EQ(end, data.size());
        ASSERT_NE(recordAt(), nullptr);
        EXPECT_TRUE(recordAt()->frame.empty());
        EXPECT_EQ(walk.size(), 2001u);
        break;
      case DamageKind::kLen255:
        ASSERT_NE(recordAt(), nullptr);
        EXPECT_EQ(recordAt()->frame.size(), 255u);
        EXPECT_EQ(check::FrameProblem(recordAt()->frame), "");
        break;
      case DamageKind::kMalformed: {
        ASSERT_EQ(end, data.size());
        ASSERT_NE(recordAt(), nullptr);
        std::size_t bad = 0;
        for (const check::Record& record : walk) {
          if (record.offset >= offset && !check::FrameProblem(record.frame).empty()) ++bad;
        }
        EXPECT_EQ(bad, 9u);
        break;
      }
      case DamageKind::kSplit: {
        // The record's first bytes end this file; the rest follows the next file's header.
        EXPECT_EQ(end, offset);
        EXPECT_LT(offset, data.size());
        const Bytes& next = files[at->file + 1];
        Bytes joined(data.begin() + static_cast<std::ptrdiff_t>(offset), data.end());
        joined.insert(joined.end(), next.begin() + 40, next.end());
        EXPECT_EQ(check::Walk(joined, 0, &end).size(), 2001u);
        EXPECT_EQ(end, joined.size());
        EXPECT_EQ(walk.size(), 1999u);
        break;
      }
      case DamageKind::kTruncated:
        EXPECT_EQ(end, offset);
        EXPECT_LT(offset, data.size());
        EXPECT_LT(data.size() - offset, 9u + data[offset + 7] + 0u);
        EXPECT_EQ(walk.size(), 1999u);
        break;
      case DamageKind::kHeaderOnly:
        EXPECT_EQ(data.size(), 40u);
        EXPECT_EQ(offset, 40u);
        break;
    }
  }
}

// With the line saturated, damage lands by time; all kinds in one run, each once.
TEST(GenerateRun, AllKindsOfDamageInOneSaturatedRun) {
  ScratchDir dir;
  RunPlan plan = Plan(dir, 4, 9, 0);
  plan.saturate = true;
  plan.damage = {{DamageKind::kGarbage, 0},   {DamageKind::kSync, 0},      {DamageKind::kLen0, 1},
                 {DamageKind::kLen255, 1},    {DamageKind::kMalformed, 1}, {DamageKind::kSplit, 1},
                 {DamageKind::kTruncated, 2}, {DamageKind::kHeaderOnly, 3}};
  RunOutcome outcome = GenerateRun(plan);
  ASSERT_TRUE(outcome.ok()) << outcome.error;
  for (const Damage& damage : plan.damage) {
    SCOPED_TRACE(std::string(DamageKindName(damage.kind)));
    const DamagePlacement* at = Placement(outcome.summary, damage.kind);
    ASSERT_NE(at, nullptr);
    EXPECT_EQ(at->file, damage.file);
  }
  EXPECT_EQ(fs::file_size(outcome.summary.paths[3]), 40u);
}

TEST(GenerateRun, ReportsWhatCannotBeDone) {
  ScratchDir dir;
  RunPlan plan = Plan(dir, 1, 9, 100000);
  EXPECT_EQ(GenerateRun(plan).error.substr(0, 54),
            "100000 records do not fit in one minute at 9K6 (about ");
  plan.base = dir.Base("missing/Line1");
  plan.recordsPerMinute = 10;
  EXPECT_EQ(GenerateRun(plan).error, "Unable to create " + dir.Base("missing/Line1") +
                                         "2359.FdcCapt: No such file or directory");
}

TEST(CheckRunPlan, RefusesWithOneLine) {
  struct Row {
    const char* name;
    void (*change)(RunPlan&);
    const char* message;
  };
  const Row rows[] = {
      {"fine", [](RunPlan&) {}, ""},
      {"no base", [](RunPlan& s) { s.base.clear(); }, "No output name given"},
      {"hour", [](RunPlan& s) { s.startHour = 100; },
       "Start time 10059 is not HHMM with HH 00-99 and MM 00-59"},
      {"minute", [](RunPlan& s) { s.startMinute = 60; },
       "Start time 2360 is not HHMM with HH 00-99 and MM 00-59"},
      {"minutes 0", [](RunPlan& s) { s.minutes = 0; }, "Minutes 0 is not between 1 and 1439"},
      {"minutes 1440", [](RunPlan& s) { s.minutes = 1440; },
       "Minutes 1440 is not between 1 and 1439"},
      {"baud 0", [](RunPlan& s) { s.baudCode = 0; }, "Baud code 0 is not a bus rate (1-9)"},
      {"baud 10", [](RunPlan& s) { s.baudCode = 10; }, "Baud code 10 is not a bus rate (1-9)"},
      {"name", [](RunPlan& s) { s.moduleName = std::string(33, 'x'); },
       "Module name has 33 characters; the header holds at most 32"},
      {"no records", [](RunPlan& s) { s.recordsPerMinute = 0; },
       "Records per minute must be at least 1"},
      {"clock", [](RunPlan& s) { s.clockStart = std::uint64_t{1} << 48; },
       "Clock start does not fit in the 48-bit timestamp"},
      {"file",
       [](RunPlan& s) {
         s.damage = {{DamageKind::kLen0, 3}};
       },
       "Damage len0@3: the run has only files 0 to 2"},
      {"split last",
       [](RunPlan& s) {
         s.damage = {{DamageKind::kSplit, 2}};
       },
       "Damage split@2: a split record needs a next file"},
      {"twice",
       [](RunPlan& s) {
         s.damage = {{DamageKind::kSync, 1}, {DamageKind::kSync, 1}};
       },
       "Damage sync@1 is given twice"},
      {"header-only and more",
       [](RunPlan& s) {
         s.damage = {{DamageKind::kGarbage, 1}, {DamageKind::kHeaderOnly, 1}};
       },
       "Damage header-only@1 leaves no room for garbage in that file"},
      {"split into header-only",
       [](RunPlan& s) {
         s.damage = {{DamageKind::kHeaderOnly, 2}, {DamageKind::kSplit, 1}};
       },
       "Damage split@1 would continue in file 2, which is header-only"},
  };
  ScratchDir dir;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RunPlan plan = Plan(dir);
    row.change(plan);
    EXPECT_EQ(CheckRunPlan(plan), row.message);
  }
}

std::string Parse(std::vector<std::string_view> args, FdcgenCommand& command) {
  return ParseFdcgenArgs(args, command);
}

TEST(FdcgenCommandLine, ReadsEveryOption) {
  FdcgenCommand command;
  ASSERT_EQ(
      Parse({"--out",      "d/Line1",       "--start",  "2359",         "--minutes",
             "3",          "--baud",        "12M",      "--seed",       "18446744073709551615",
             "--saturate", "--ip",          "10.0.0.1", "--module=Mod", "--header-baud",
             "0",          "--clock-start", "77",       "--damage",     "split,truncated@2,len0@0",
             "--quiet"},
            command),
      "");
  const RunPlan& plan = command.plan;
  EXPECT_EQ(plan.base, "d/Line1");
  EXPECT_EQ(plan.startHour, 23u);
  EXPECT_EQ(plan.startMinute, 59u);
  EXPECT_EQ(plan.minutes, 3u);
  EXPECT_EQ(plan.baudCode, 1);
  EXPECT_EQ(plan.seed, 18446744073709551615ull);
  EXPECT_TRUE(plan.saturate);
  EXPECT_EQ(plan.ipAddress, 0x0A000001u);
  EXPECT_EQ(plan.moduleName, "Mod");
  EXPECT_EQ(plan.headerBaudCode, 0);
  EXPECT_EQ(plan.clockStart, 77u);
  ASSERT_EQ(plan.damage.size(), 3u);
  EXPECT_EQ(plan.damage[0].kind, DamageKind::kSplit);
  EXPECT_EQ(plan.damage[0].file, 1u);
  EXPECT_EQ(plan.damage[1].file, 2u);
  EXPECT_EQ(plan.damage[2].file, 0u);
  EXPECT_TRUE(command.quiet);
  EXPECT_FALSE(command.help);
}

TEST(FdcgenCommandLine, DefaultsAndHelp) {
  FdcgenCommand command;
  ASSERT_EQ(Parse({"--out", "x"}, command), "");
  EXPECT_EQ(command.plan.startHour, 12u);
  EXPECT_EQ(command.plan.startMinute, 0u);
  EXPECT_EQ(command.plan.minutes, 1u);
  EXPECT_EQ(command.plan.baudCode, 4);
  EXPECT_FALSE(command.plan.saturate);
  EXPECT_EQ(command.plan.recordsPerMinute, 1000u);
  EXPECT_EQ(command.plan.ipAddress, 0xC0A80005u);

  FdcgenCommand help;
  EXPECT_EQ(Parse({"--bogus", "--help"}, help), "Unknown option '--bogus'");
  EXPECT_EQ(Parse({"--help", "--bogus"}, help), "");
  EXPECT_TRUE(help.help);
}

// The damage files default from the number of minutes, wherever --minutes stands.
TEST(FdcgenCommandLine, DamageDefaultsFollowTheMinutes) {
  FdcgenCommand command;
  ASSERT_EQ(Parse({"--out", "x", "--damage", "truncated,garbage", "--minutes", "4"}, command), "");
  ASSERT_EQ(command.plan.damage.size(), 2u);
  EXPECT_EQ(command.plan.damage[0].file, 3u);
  EXPECT_EQ(command.plan.damage[1].file, 1u);
}

TEST(FdcgenCommandLine, RefusesWithOneLine) {
  struct Row {
    std::vector<std::string_view> args;
    const char* message;
  };
  const Row rows[] = {
      {{}, "--out is required"},
      {{"--out"}, "--out needs a value"},
      {{"--out", "x", "--frobnicate"}, "Unknown option '--frobnicate'"},
      {{"--out", "x", "--quiet=1"}, "Unknown option '--quiet=1'"},
      {{"--out", "x", "--start", "12:00"}, "--start: '12:00' is not HHMM"},
      {{"--out", "x", "--start", "120"}, "--start: '120' is not HHMM"},
      {{"--out", "x", "--start", "2460"}, "Start time 2460 is not HHMM with HH 00-99 and MM 00-59"},
      {{"--out", "x", "--minutes", "-1"}, "--minutes: '-1' is not a number"},
      {{"--out", "x", "--minutes", "0"}, "Minutes 0 is not between 1 and 1439"},
      {{"--out", "x", "--baud", "13"},
       "--baud: '13' is not a bus rate (1-9, or a name such as 12M or 500K)"},
      {{"--out", "x", "--header-baud", "65536"},
       "--header-baud: '65536' is not a number from 0 to 65535"},
      {{"--out", "x", "--seed", "1e3"}, "--seed: '1e3' is not a number"},
      {{"--out", "x", "--ip", "1.2.3"}, "--ip: '1.2.3' is not an address A.B.C.D"},
      {{"--out", "x", "--ip", "1.2.3.256"}, "--ip: '1.2.3.256' is not an address A.B.C.D"},
      {{"--out", "x", "--ip", "1.2.3.4.5"}, "--ip: '1.2.3.4.5' is not an address A.B.C.D"},
      {{"--out", "x", "--ip", "1..3.4"}, "--ip: '1..3.4' is not an address A.B.C.D"},
      {{"--out", "x", "--module", "123456789012345678901234567890123"},
       "Module name has 33 characters; the header holds at most 32"},
      {{"--out", "x", "--saturate", "--records-per-minute", "5"},
       "--saturate and --records-per-minute exclude each other"},
      {{"--out", "x", "--records-per-minute", "0"}, "Records per minute must be at least 1"},
      {{"--out", "x", "--damage", "fire"}, "--damage: unknown kind 'fire'"},
      {{"--out", "x", "--damage", "garbage,"}, "--damage: unknown kind ''"},
      {{"--out", "x", "--damage", ""}, "--damage: no kind given"},
      {{"--out", "x", "--damage", "sync@x"}, "--damage: 'x' is not a file number"},
      {{"--out", "x", "--damage", "split"}, "Damage split@0: a split record needs a next file"},
      {{"--out", "x", "--clock-start", "281474976710656"},
       "Clock start does not fit in the 48-bit timestamp"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.message);
    FdcgenCommand command;
    EXPECT_EQ(Parse(row.args, command), row.message);
  }
}

TEST(FdcgenCommandLine, SummaryLines) {
  RunSummary summary;
  summary.paths = {"s/L1159.FdcCapt", "s/L1200.FdcCapt"};
  summary.damage = {{DamageKind::kGarbage, 1, 0x1a2b}, {DamageKind::kSplit, 0, 40}};
  summary.records = 4000;
  summary.bytes = 123456;
  EXPECT_EQ(FormatSummary(summary),
            "file s/L1159.FdcCapt\n"
            "file s/L1200.FdcCapt\n"
            "damage garbage s/L1200.FdcCapt 0x1a2b\n"
            "damage split s/L1159.FdcCapt 0x28\n"
            "records 4000\n"
            "bytes 123456\n");
}

}  // namespace
}  // namespace fdc::gen
