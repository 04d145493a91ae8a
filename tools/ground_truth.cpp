// The ground truth of a generated run with faults.
#include "tools/ground_truth.h"

#include <algorithm>
#include <string>
#include <utility>

namespace fdc::gen {

namespace {

constexpr char kStatusLetters[] = "spdruoce";
constexpr const char* kStationTypes[] = {"slave", "master-not-ready", "master-ready",
                                         "master-in-ring"};

}  // namespace

GroundTruth::GroundTruth(const BaudTiming& timing, std::vector<std::uint8_t> added)
    : timing_(timing), added_(std::move(added)) {}

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

}  // namespace fdc::gen
