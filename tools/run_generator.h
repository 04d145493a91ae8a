// Writes a run of minute capture files of generated traffic, with damage where asked.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/faults.h"
#include "tools/ground_truth.h"

namespace fdc::gen {

enum class DamageKind : std::uint8_t {
  kGarbage,     // stray bytes between two records
  kSync,        // one record's sync mark overwritten
  kLen0,        // a record with no frame bytes
  kLen255,      // a record with the longest frame
  kMalformed,   // a burst of telegrams with wrong lengths, delimiters or check bytes
  kSplit,       // the file's last record continues after the next file's header
  kTruncated,   // the file's last record cut short
  kHeaderOnly,  // the file holds its header and nothing else
};

struct DamageKindInfo {
  DamageKind kind;
  std::string_view name;
  std::string_view description;
};

inline constexpr std::array<DamageKindInfo, 8> kDamageKinds = {{
    {DamageKind::kGarbage, "garbage", "stray bytes between two records"},
    {DamageKind::kSync, "sync", "a record whose sync mark is overwritten"},
    {DamageKind::kLen0, "len0", "a record of FrameLen 0"},
    {DamageKind::kLen255, "len255", "a record of FrameLen 255"},
    {DamageKind::kMalformed, "malformed", "telegrams with bad lengths, delimiters, check bytes"},
    {DamageKind::kSplit, "split", "the last record continues after the next file's header"},
    {DamageKind::kTruncated, "truncated", "the last record is cut short"},
    {DamageKind::kHeaderOnly, "header-only", "the file holds only its 40-byte header"},
}};

std::optional<DamageKind> FindDamageKind(std::string_view name);
std::string_view DamageKindName(DamageKind kind);

// One kind of damage in one file of the run (0 is the first file).
struct Damage {
  DamageKind kind;
  unsigned file;
};

// Where damage landed: its file and the offset of its first byte there.
struct DamagePlacement {
  DamageKind kind;
  unsigned file;
  std::uint64_t offset;
};

// The file a kind of damage lands in when none is named: the last file for a truncated record,
// a middle file otherwise (one that has a successor, for a split record).
unsigned DefaultDamageFile(DamageKind kind, unsigned minutes);

struct RunPlan {
  std::string base;  // directory and name part: files are <base>HHMM.FdcCapt
  unsigned startHour = 12;
  unsigned startMinute = 0;
  unsigned minutes = 1;
  std::uint16_t baudCode = 4;  // the bus rate, 1..9: it sets the tick rate and bus timing
  std::optional<std::uint16_t> headerBaudCode;  // what the headers say, when not baudCode
  std::uint32_t ipAddress = 0xC0A80005;         // 192.168.0.5
  std::string moduleName = "Line1";
  std::uint64_t seed = 1;
  bool saturate = false;                    // the bus never rests: every minute holds what fits
  std::uint64_t recordsPerMinute = 1000;    // otherwise exactly this many, spread over the minute
  std::optional<std::uint64_t> clockStart;  // tick count at the run's start; default: the
                                            // start minute's minute of the day in ticks
  std::vector<Damage> damage;
  // Faults make a clean line that carries them, and a ground truth; none keeps the traffic as
  // it always was.
  std::vector<Fault> faults;
  // The line's first slaves are those of the test GSD files, on a clean line (with the faults,
  // or none) with a ground truth that includes what fdcstat --gsd must show of them.
  bool gsdSlaves = false;
};

struct RunSummary {
  std::vector<std::string> paths;
  std::uint64_t records = 0;  // records written whole (a split one too, not a damaged one)
  std::uint64_t bytes = 0;
  std::vector<DamagePlacement> damage;
  std::vector<TruthLine> truth;    // a run with faults: what the bus health report must show
  std::vector<GsdSlaveTruth> gsd;  // with GSD slaves: what the report must show of them
};

struct RunOutcome {
  std::string error;  // empty on success
  RunSummary summary;
  bool ok() const { return error.empty(); }
};

// The first problem with the plan, as a one-line message; empty when it can be generated.
std::string CheckRunPlan(const RunPlan& plan);

// The same plan always gives the same bytes.
RunOutcome GenerateRun(const RunPlan& plan);

}  // namespace fdc::gen
