// The ground truth of a generated run with faults.
#include "tools/ground_truth.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

namespace fdc::gen {

namespace {

constexpr char kStatusLetters[] = "spdruoce";
constexpr const char* kStationTypes[] = {"slave", "master-not-ready", "master-ready",
                                         "master-in-ring"};

}  // namespace

GroundTruth::GroundTruth(const BaudTiming& timing, std::vector<std::uint8_t> added,
                         std::vector<std::uint8_t> touched, std::vector<GsdSlave> gsd)
    : timing_(timing),
      added_(std::move(added)),
      touched_(std::move(touched)),
      gsd_(std::move(gsd)) {}

bool GroundTruth::JudgeUnanswered(const TrafficRecord& next) {
  if (!unanswered_) return false;
  Station& station = stations_[unanswered_->station];
  File& file = files_[unanswered_->file];
  ++station.noResponse;
  ++file.noResponse;
  station.runMax = std::max(station.runMax, ++station.run);
  // Its reply came late, or damaged within the slot time; else nothing valid came back.
  const RecordMeaning& meaning = next.meaning;
  const bool corrupt = next.status != 0 || meaning.badFcs || meaning.badEd;
  const bool late = meaning.timing == ReplyTiming::kLate;
  std::size_t cause = 0;
  if (meaning.role == RecordRole::kReply && meaning.station == unanswered_->station) {
    if (!corrupt && late) cause = 1;
    if (corrupt && !late) cause = 2;
  }
  ++station.causes[cause];
  ++file.causes[cause];
  unanswered_.reset();
  return cause == 2;
}

void GroundTruth::Count(const TrafficRecord& record, std::uint64_t timestamp, unsigned file) {
  if (files_.size() <= file) files_.resize(file + 1);
  CountDp(record, timestamp);
  const bool corruptReply = JudgeUnanswered(record);
  const RecordMeaning& meaning = record.meaning;
  File& inFile = files_[file];
  const bool corrupt = record.status != 0 || meaning.badFcs || meaning.badEd;
  if (corrupt) {
    ++corrupt_;
    ++inFile.corrupt;
    if (!corruptReply) ++inFile.corruptOther;
    for (unsigned bit = 0; bit < 8; ++bit) statusBits_[bit] += (record.status >> bit) & 1u;
    fcsErrors_ += meaning.badFcs;
    edErrors_ += meaning.badEd;
  } else if (meaning.sender != kNoStation) {
    Sent(record, timestamp);
  }
  if (meaning.station == kNoStation) return;
  Station& station = stations_[meaning.station];
  switch (meaning.role) {
    case RecordRole::kPoll:
      station.listed = true;
      station.polled = true;
      if (meaning.repeat) {
        ++station.repeats;
        ++inFile.repeats;
        station.chainMax = std::max(station.chainMax, ++station.chain);
      } else {
        station.chain = 0;
      }
      if (meaning.answered) {
        station.run = 0;
      } else {
        // Judged by the record after it, when the run has one.
        unanswered_ = Unanswered{meaning.station, file};
      }
      break;
    case RecordRole::kStatusPoll:
      // Answered or not, an FDL status request ends a run of no responses.
      station.run = 0;
      station.listed = station.listed || meaning.answered;
      break;
    case RecordRole::kReply:
      if (!corrupt && meaning.timing == ReplyTiming::kLate) ++station.late;
      if (!corrupt && meaning.timing == ReplyTiming::kEarly) ++station.early;
      if (corrupt && meaning.timing != ReplyTiming::kLate) ++station.illegal;
      break;
    default:
      break;
  }
}

void GroundTruth::Sent(const TrafficRecord& record, std::uint64_t timestamp) {
  const RecordMeaning& meaning = record.meaning;
  Station& sender = stations_[meaning.sender];
  sender.listed = true;
  sender.sentValid = true;
  if (!sender.firstSeenNs) sender.firstSeenNs = timing_.TicksToNs(timestamp);
  if (meaning.role != RecordRole::kReply) sender.master = true;
  if (meaning.role != RecordRole::kReply || meaning.stationType < 0) return;
  sender.type = meaning.stationType;
  if (meaning.function >= 1 && meaning.function <= 3) ++sender.negative[meaning.function - 1];
  if (meaning.function == 0x0A || meaning.function == 0x0D) ++sender.diagnosis;
}

namespace {

constexpr std::array<const char*, 5> kDpStateNames = {"unknown", "startup", "data_exchange",
                                                      "no_response", "refused"};
// The DP fault figures of a slave by bit of kDp..., clear_data apart (the master's).
constexpr std::array<const char*, 6> kDpMarkNames = {
    "fcb_not_toggled", "fcb_toggled_on_repeat", "watchdog_exceeded",
    "cfg_mismatches",  "io_length_mismatches",  "min_tsdr_violations"};

std::size_t MarkIndex(std::uint16_t mark) {
  std::size_t index = 0;
  while ((mark >> index) != 1) ++index;
  return index;
}

// A reply by its function code (-1 for SC): positive, negative, or neither.
bool Positive(int function) {
  return function < 0 || function == 0x00 || function == 0x08 || function == 0x0A ||
         function == 0x0C || function == 0x0D;
}
const char* NegativeName(int function) {
  switch (function) {
    case 0x01:
      return "UE";
    case 0x02:
      return "RR";
    case 0x03:
      return "RS";
    case 0x09:
      return "NR";
    default:
      return nullptr;
  }
}

}  // namespace

// The DP side of a record: a request to a slave judges its master's unanswered request before
// it, times the cycle, and awaits its reply, which moves the slave's state by the analyser's
// rules; the faults the generator marked are counted where it put them.
void GroundTruth::CountDp(const TrafficRecord& record, std::uint64_t timestamp) {
  const RecordMeaning& meaning = record.meaning;
  if (awaiting_) {
    Answered(*awaiting_, meaning);
    awaiting_.reset();
  }
  if ((meaning.dpFaults & kDpClearData) != 0) ++clearData_[meaning.sender];
  if (meaning.role != RecordRole::kPoll || meaning.station > 125) return;
  DpSlave& slave = dp_[meaning.station];
  const DpState before = slave.state;
  if (slave.lossPending && slave.lossMaster == meaning.sender) {
    slave.lossPending = false;
    if (!meaning.repeat) Lost(slave, slave.lossExchange && meaning.dp == DpService::kDataExchange);
  }
  if (meaning.dp == DpService::kNone) return;
  slave.seen = true;
  if (meaning.dp == DpService::kDataExchange && !meaning.repeat) {
    const std::uint64_t ns = timing_.TicksToNs(timestamp);
    if (slave.lastExchangeNs && before == DpState::kDataExchange) {
      const std::uint64_t wait = ns - *slave.lastExchangeNs;
      if ((meaning.dpFaults & kDpWatchdog) != 0) {
        ++slave.marked[MarkIndex(kDpWatchdog)];
        slave.pauseNs = std::min(slave.pauseNs.value_or(wait), wait);
      } else {
        slave.longestNs = std::max(slave.longestNs, wait);
      }
      if (slave.watchdogMs != 0 && wait > std::uint64_t{slave.watchdogMs} * 1'000'000) {
        ++slave.overruns;
      }
    }
    slave.lastExchangeNs = ns;
  }
  for (std::uint16_t mark : {kDpFcbNotToggled, kDpFcbToggledOnRepeat, kDpIoLength}) {
    if ((meaning.dpFaults & mark) != 0) ++slave.marked[MarkIndex(mark)];
  }
  if (meaning.answered) {
    awaiting_ = Awaiting{meaning.station, meaning.dp, meaning.watchdogMs};
  } else {
    slave.lossPending = true;
    slave.lossMaster = meaning.sender;
    slave.lossExchange = meaning.dp == DpService::kDataExchange;
  }
}

void GroundTruth::Answered(const Awaiting& request, const RecordMeaning& reply) {
  DpSlave& slave = dp_[request.station];
  const int function = reply.stationType < 0 ? -1 : reply.function;
  const bool positive = Positive(function);
  if ((reply.dpFaults & kDpCfgMismatch) != 0) ++slave.marked[MarkIndex(kDpCfgMismatch)];
  if ((reply.dpFaults & kDpMinTsdr) != 0 && slave.prmAccepted) {
    ++slave.marked[MarkIndex(kDpMinTsdr)];
  }
  switch (request.service) {
    case DpService::kDataExchange:
      slave.lossRow = 0;
      if (positive) {
        Enter(slave, DpState::kDataExchange, "answered");
      } else if (const char* name = NegativeName(function)) {
        Enter(slave, DpState::kRefused, name);
      }
      return;
    case DpService::kSetPrm:
    case DpService::kChkCfg:
      if (!positive) break;
      if (request.service == DpService::kSetPrm) {
        slave.prmAccepted = true;
        slave.prmTaken = true;
        slave.watchdogMs = request.watchdogMs;
      } else {
        slave.cfgTaken = true;
      }
      Enter(slave, DpState::kStartup,
            request.service == DpService::kSetPrm ? "set_prm" : "chk_cfg");
      return;
    case DpService::kSlaveDiag: {
      if (!positive) break;
      ++slave.diagReplies;
      slave.diagChanges += reply.diagChanged;
      slave.lastDiagRunning = (reply.diagFlags & DiagBit(kPrmReq)) == 0;
      for (unsigned flag = 0; flag < kDiagFlagCount; ++flag) {
        slave.diagFlags[flag] += (reply.diagFlags >> flag) & 1u;
      }
      std::string cause;
      for (DiagFlag flag : kStartupFlags) {
        if ((reply.diagFlags & DiagBit(flag)) == 0) continue;
        cause += (cause.empty() ? "" : "+") + std::string(kDiagFlagNames[flag]);
      }
      if (!cause.empty()) {
        Enter(slave, DpState::kStartup, cause);
        return;
      }
      break;
    }
    default:
      break;
  }
  if (slave.state == DpState::kNoResponse) Enter(slave, DpState::kStartup, "answered");
}

// A lost request: a missed cycle where the master carried on with data exchange, the slave no
// longer responding at the third in a row, or at once where the master did not carry on.
void GroundTruth::Lost(DpSlave& slave, bool carriedOn) {
  if (carriedOn) {
    ++slave.missedCycles;
    if (++slave.lossRow < 3) return;
  } else {
    slave.lossRow = 0;
  }
  Enter(slave, DpState::kNoResponse, "lost_request");
}

void GroundTruth::Enter(DpSlave& slave, DpState state, const std::string& cause) {
  if (slave.state == DpState::kDataExchange && state != DpState::kDataExchange) {
    ++slave.drops;
    ++slave.dropCauses[cause];
  }
  if (state == DpState::kDataExchange && slave.state != DpState::kDataExchange) ++slave.entries;
  slave.state = state;
}

std::vector<WatchdogNeed> GroundTruth::WatchdogNeeds() const {
  std::vector<WatchdogNeed> needs;
  for (std::size_t address = 0; address < dp_.size(); ++address) {
    const DpSlave& slave = dp_[address];
    if (slave.longestNs == 0 && !slave.pauseNs) continue;
    needs.push_back({static_cast<std::uint8_t>(address), slave.longestNs, slave.pauseNs});
  }
  return needs;
}

std::string GroundTruth::WatchdogProblem() const {
  for (std::size_t address = 0; address < dp_.size(); ++address) {
    const DpSlave& slave = dp_[address];
    const std::uint64_t meant = slave.marked[MarkIndex(kDpWatchdog)];
    if (slave.overruns != meant) {
      return "Station " + std::to_string(address) + ": its watchdog runs out " +
             std::to_string(slave.overruns) + " times where the faults meant " +
             std::to_string(meant);
    }
  }
  return {};
}

void GroundTruth::DpLines(std::size_t address, std::vector<TruthLine>& lines) const {
  auto count = [&](const std::string& path, std::uint64_t value) {
    if (value != 0) lines.push_back({path, std::to_string(value)});
  };
  const std::string key = "stations." + std::to_string(address) + ".";
  count(key + "dp_master.clear_data", clearData_[address]);
  const DpSlave& slave = dp_[address];
  if (!slave.seen) return;
  const std::string dp = key + "dp.";
  count(dp + "drops", slave.drops);
  for (const auto& [cause, value] : slave.dropCauses) count(dp + "drop_causes." + cause, value);
  count(dp + "missed_cycles", slave.missedCycles);
  for (std::size_t i = 0; i < kDpMarkNames.size(); ++i) {
    count(dp + kDpMarkNames[i], slave.marked[i]);
  }
  if (std::find(touched_.begin(), touched_.end(), address) == touched_.end()) return;
  lines.push_back({dp + "state", kDpStateNames[static_cast<std::size_t>(slave.state)]});
  lines.push_back({dp + "entries", std::to_string(slave.entries)});
  count(dp + "diag_replies", slave.diagReplies);
  count(dp + "diag_changes", slave.diagChanges);
  for (unsigned flag = 0; flag < kDiagFlagCount; ++flag) {
    count(dp + "diag_flags." + std::string(kDiagFlagNames[flag]), slave.diagFlags[flag]);
  }
}

std::vector<TruthLine> GroundTruth::Lines() const {
  std::vector<TruthLine> lines;
  auto count = [&](const std::string& path, std::uint64_t value) {
    if (value != 0) lines.push_back({path, std::to_string(value)});
  };
  count("run.corrupt", corrupt_);
  count("run.fcs_errors", fcsErrors_);
  count("run.ed_errors", edErrors_);
  for (unsigned bit = 0; bit < 8; ++bit) {
    count(std::string("run.status_bits.") + kStatusLetters[bit], statusBits_[bit]);
  }
  std::string silent;
  for (std::size_t address = 0; address < stations_.size(); ++address) {
    const Station& station = stations_[address];
    if (station.polled && !station.sentValid) {
      silent += (silent.empty() ? "" : ",") + std::to_string(address);
    }
  }
  if (!silent.empty()) lines.push_back({"run.silent_stations", "[" + silent + "]"});

  for (std::size_t address = 0; address < stations_.size(); ++address) {
    const Station& station = stations_[address];
    if (!station.listed) continue;
    const std::string key = "stations." + std::to_string(address) + ".";
    count(key + "no_response", station.noResponse);
    count(key + "no_response_causes.no_reply", station.causes[0]);
    count(key + "no_response_causes.late", station.causes[1]);
    count(key + "no_response_causes.corrupt", station.causes[2]);
    count(key + "no_response_run_max", station.runMax);
    count(key + "repeats", station.repeats);
    count(key + "repeat_chain_max", station.chainMax);
    count(key + "late_responses", station.late);
    count(key + "early_responses", station.early);
    count(key + "illegal_responses", station.illegal);
    count(key + "negative_responses.ue", station.negative[0]);
    count(key + "negative_responses.rr", station.negative[1]);
    count(key + "negative_responses.rs", station.negative[2]);
    count(key + "diagnosis_flagged", station.diagnosis);
    DpLines(address, lines);
    if (std::find(added_.begin(), added_.end(), address) == added_.end()) continue;
    lines.push_back({key + "role", station.master ? "master" : "slave"});
    lines.push_back(
        {key + "station_type", station.type < 0 ? "null" : kStationTypes[station.type]});
    lines.push_back({key + "first_seen_ns", station.firstSeenNs
                                                ? std::to_string(*station.firstSeenNs)
                                                : std::string("null")});
  }
  for (std::size_t file = 0; file < files_.size(); ++file) {
    const std::string key = "minutes." + std::to_string(file) + ".";
    count(key + "corrupt", files_[file].corrupt);
    count(key + "no_response", files_[file].noResponse);
    count(key + "no_reply", files_[file].causes[0]);
    count(key + "late", files_[file].causes[1]);
    count(key + "corrupt_reply", files_[file].causes[2]);
    count(key + "corrupt_other", files_[file].corruptOther);
    count(key + "repeats", files_[file].repeats);
  }
  return lines;
}

namespace {

// The test GSD files as the analyser must read them (tests/dp/gsd), and what the slaves of each
// profile send, read by those files: the names of their modules, the texts of their diagnosis
// while they await parameters and once they run, their user parameters by name.
struct GsdFileTruth {
  const char* file;
  std::vector<std::string> otherFiles;
  const char* vendor;
  const char* model;
  const char* revision;
  std::vector<std::string_view> rates;  // the bus rates it supports, by fdcgen's names
};

// TEST7F02.GSE and TEST7F02.GSD share ident 0x7F02; the .gse file goes first.
const GsdFileTruth& FileOf(GsdProfile profile) {
  static const GsdFileTruth kCompact = {"TEST7F01.GSD", {},    "Test Devices Ltd",
                                        "TD-8DI",       "1.2", {"500K", "1M5", "12M"}};
  static const GsdFileTruth kStation = {
      "TEST7F02.GSE", {"TEST7F02.GSD"},           "Test Devices Ltd", "TD-Station",
      "2.0",          {"500K", "1M5", "3M", "6M"}};
  return profile == GsdProfile::kCompact ? kCompact : kStation;
}

struct GsdProfileTruth {
  std::vector<GsdModuleTruth> modules;
  std::uint64_t unknownConfigBytes = 0;
  std::vector<GsdTextTruth> waiting;
  std::vector<GsdTextTruth> running;
  std::vector<GsdParameterTruth> deviceParameters;
  std::vector<GsdParameterTruth> moduleParameters;
};

const GsdProfileTruth& ProfileOf(GsdProfile profile) {
  const std::vector<std::string> eightDo = {"8 DO", "8 DO fast"};
  const std::optional<std::string> none;
  // 0x7F01: "8 DI". The block's bits count from the byte after its header. Bit 0 set gives
  // "Sensor supply short" with its help, bit 2 clear "Not parameterised"; bits 4-11 and 16-19
  // are read as numbers.
  static const GsdProfileTruth kCompact = {
      {{"8 DI", {"8 DI"}}},
      0,
      {{0, "bit 0", "Sensor supply short", "Check the sensor wiring"},
       {0, "bit 2", "Not parameterised", ""},
       {0, "area 4-11", "No fault code", ""},
       {0, "area 16-19", "Temperature warning", ""}},
      {{0, "bit 0", "Sensor supply short", "Check the sensor wiring"},
       {0, "area 4-11", "Fault code 35: overload", ""},
       {0, "area 16-19", "Temperature warning", ""}},
      {{none, 0, "Diagnosis alarm", 1, "on"},
       {none, 0, "Filter time", 7, "20 ms"},
       {none, 0, "Limit", 500, none}},
      {}};
  // 0x7F02: the DP-V1 status block's fourth byte (1: appears) is bits 16-23, its data from bit
  // 24 on. Channel errors 16 and up take the texts of the module at the block's identifier
  // number, then the device's. 0x20 is "8 DO" or "8 DO fast": the first, with its 2 parameter
  // bytes.
  static const GsdProfileTruth kStation = {
      {{"8 DO", eightDo}, {"2 AI", {"2 AI"}}, {"Counter", {"Counter"}}, {"Empty", {"Empty"}}},
      0,
      {{0, "bit 16", "Status appears", ""}},
      {{0, "bit 16", "Status appears", ""},
       {0, "bit 25", "Backplane fault", ""},
       {1, "channel_error 17", "Output channel overload", ""},
       {2, "channel_error 18", "Device channel fault 18", ""}},
      {{none, 0, "Station alarm", 1, none}},
      {{"8 DO", 1, "Substitute", -1, "hold last value"}, {"2 AI", 2, "Range", 3, none}}};
  static const GsdProfileTruth kOtherStation = {
      {{"2 AI", {"2 AI"}}, {"8 DO", eightDo}, {"8 DO", eightDo}, {none, {}}},
      1,
      {{0, "bit 16", "Status appears", ""}},
      {{0, "bit 25", "Backplane fault", ""},
       {1, "channel_error 17", "Device channel fault 17", ""},
       {2, "channel_error 17", "Output channel overload", ""}},
      {{none, 0, "Station alarm", 0, none}},
      {{"2 AI", 1, "Range", 4, none},
       {"8 DO", 2, "Substitute", 0, "zero"},
       {"8 DO", 3, "Substitute", -200, none}}};
  switch (profile) {
    case GsdProfile::kCompact:
      return kCompact;
    case GsdProfile::kOtherStation:
      return kOtherStation;
    default:
      return kStation;
  }
}

}  // namespace

std::vector<GsdSlaveTruth> GroundTruth::GsdView() const {
  std::vector<GsdSlaveTruth> view;
  for (const GsdSlave& gsd : gsd_) {
    const GsdFileTruth& file = FileOf(gsd.profile);
    const GsdProfileTruth& profile = ProfileOf(gsd.profile);
    const DpSlave& slave = dp_[gsd.station];
    if (!slave.seen) continue;  // the report has no DP entry for it
    GsdSlaveTruth truth;
    truth.station = gsd.station;
    truth.file = file.file;
    truth.otherFiles = file.otherFiles;
    truth.vendor = file.vendor;
    truth.model = file.model;
    truth.revision = file.revision;
    truth.rateUnsupported =
        std::find(file.rates.begin(), file.rates.end(), timing_.name) == file.rates.end();
    if (slave.cfgTaken) {
      truth.modules = profile.modules;
      truth.unknownConfigBytes = profile.unknownConfigBytes;
    }
    if (slave.lastDiagRunning) {
      truth.diagTexts = *slave.lastDiagRunning ? profile.running : profile.waiting;
    }
    // A module's parameters are read once the modules are known.
    if (slave.prmTaken) {
      truth.parameters = profile.deviceParameters;
      if (slave.cfgTaken) {
        truth.parameters->insert(truth.parameters->end(), profile.moduleParameters.begin(),
                                 profile.moduleParameters.end());
      }
    }
    view.push_back(std::move(truth));
  }
  return view;
}

}  // namespace fdc::gen
