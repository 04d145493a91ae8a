// The fault figures of a record stream, worked out from the frames alone by the bus health
// report's rules (pairing, repeats, chains, no-response runs, early, late and illegal replies),
// apart from the generator, so that a generated run's ground truth can be held against them.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fdc::gen::check {

struct StreamRecord {
  std::uint64_t timestamp = 0;
  std::vector<std::uint8_t> frame;
  std::uint8_t status = 0;
  unsigned file = 0;
};

// The run's time constants: ticks per bit, the slot time in bit times, and one tick as
// timeMul / timeDiv nanoseconds.
struct StreamTiming {
  std::int64_t ticksPerBit = 16;
  std::int64_t slotBits = 100;
  std::int64_t timeMul = 1000;
  std::int64_t timeDiv = 24;
};

// Each figure by its report path ("stations.7.no_response", "run.corrupt"), nonzero counts
// only; besides, every station's role, station_type and first_seen_ns ("null" when none).
using Figures = std::map<std::string, std::string>;

// A record's frame as the report's rules see it: decoded when its kind and length checks pass,
// valid when besides its status is 0 and its check byte and end delimiter are right.
struct Telegram {
  bool decoded = false;
  bool valid = false;
  bool fcsError = false;
  bool edError = false;
  bool sc = false;
  bool token = false;
  int da = -1;
  int sa = -1;
  int fc = -1;
  int dsap = -1;  // when DA's extension bit announces one and the data unit holds it
};

inline Telegram Classify(std::span<const std::uint8_t> f, std::uint8_t status) {
  Telegram out;
  std::size_t daAt = 0;
  std::size_t fcsAt = 0;
  if (f.empty()) return out;
  switch (f[0]) {
    case 0x10:
      if (f.size() != 6) return out;
      daAt = 1;
      fcsAt = 4;
      break;
    case 0x68:
      if (f.size() < 9 || f[1] != f.size() - 6 || f[2] != f[1] || f[3] != 0x68) return out;
      daAt = 4;
      fcsAt = f.size() - 2;
      break;
    case 0xA2:
      if (f.size() != 14) return out;
      daAt = 1;
      fcsAt = 12;
      break;
    case 0xDC:
      if (f.size() != 3) return out;
      out.decoded = true;
      out.valid = status == 0;
      out.token = out.valid;
      out.da = f[1] & 0x7F;
      out.sa = f[2] & 0x7F;
      return out;
    case 0xE5:
      if (f.size() != 1) return out;
      out.decoded = true;
      out.valid = status == 0;
      out.sc = out.valid;
      return out;
    default:
      return out;
  }
  out.decoded = true;
  unsigned sum = 0;
  for (std::size_t i = daAt; i < fcsAt; ++i) sum += f[i];
  out.fcsError = f[fcsAt] != static_cast<std::uint8_t>(sum);
  out.edError = f[fcsAt + 1] != 0x16;
  out.valid = status == 0 && !out.fcsError && !out.edError;
  out.da = f[daAt] & 0x7F;
  out.sa = f[daAt + 1] & 0x7F;
  out.fc = f[daAt + 2];
  if ((f[daAt] & 0x80) && daAt + 3 < fcsAt) out.dsap = f[daAt + 3];
  return out;
}

inline bool IsRequest(const Telegram& f) { return f.valid && f.fc >= 0 && (f.fc & 0x40); }
inline bool IsResponse(const Telegram& f) {
  return f.sc || (f.valid && f.fc >= 0 && !(f.fc & 0x40));
}
inline bool ExpectsReply(const Telegram& f) {
  if (!IsRequest(f) || f.da == 127) return false;
  switch (f.fc & 0x8F) {
    case 0x03:
    case 0x05:
    case 0x07:
    case 0x09:
    case 0x0C:
    case 0x0D:
    case 0x0E:
    case 0x0F:
      return true;
    default:
      return false;
  }
}
inline bool IsStatusPoll(const Telegram& f) { return IsRequest(f) && (f.fc & 0x8F) == 0x09; }

namespace figures_detail {

struct Station {
  std::map<std::string, std::int64_t> counts;
  std::int64_t chain = 0;
  std::int64_t run = 0;
  bool master = false;
  bool seen = false;  // has an entry in the report
  bool sentValid = false;
  bool receivedPoll = false;
  std::optional<std::int64_t> firstSeenNs;
  int stationType = -1;
  void Add(const std::string& name) { ++counts[name]; }
  void Max(const std::string& name, std::int64_t value) {
    if (value > counts[name]) counts[name] = value;
  }
};

struct LastRequest {  // per master and station: the last request that is not a status poll
  std::vector<std::uint8_t> bytes;
  bool answered = true;
  std::uint64_t tokens = 0;
};

}  // namespace figures_detail

inline Figures FiguresOf(const std::vector<StreamRecord>& records, const StreamTiming& timing) {
  using figures_detail::LastRequest;
  using figures_detail::Station;
  const std::int64_t k = timing.ticksPerBit;
  const std::int64_t slot = timing.slotBits * k;
  std::array<Station, 128> stations;
  std::map<std::string, std::int64_t> run;
  std::map<std::string, std::int64_t> minutes;
  std::map<std::pair<int, int>, LastRequest> last;
  std::uint64_t tokens = 0;
  const char* letters = "spdruoce";
  auto nsOf = [&](std::uint64_t t) {
    return static_cast<std::int64_t>(static_cast<__int128>(t) * timing.timeMul / timing.timeDiv);
  };
  auto sent = [&](int address, const Telegram& f, std::uint64_t t) {
    Station& s = stations[address];
    s.seen = true;
    s.sentValid = true;
    if (!s.firstSeenNs) s.firstSeenNs = nsOf(t);
    if (f.token || IsRequest(f)) s.master = true;
    if (f.fc >= 0 && IsResponse(f)) s.stationType = (f.fc >> 4) & 3;
  };

  for (std::size_t i = 0; i < records.size(); ++i) {
    const StreamRecord& r = records[i];
    const Telegram f = Classify(r.frame, r.status);
    std::optional<std::int64_t> gap;
    if (i > 0) {
      const StreamRecord& p = records[i - 1];
      gap = static_cast<std::int64_t>(r.timestamp) -
            (static_cast<std::int64_t>(p.timestamp) + 11 * k * std::int64_t(p.frame.size()));
    }
    for (int bit = 0; bit < 8; ++bit) {
      if (r.status & (1 << bit)) ++run[std::string("status_bits.") + letters[bit]];
    }
    if (!f.decoded) ++run["malformed"];
    if (f.fcsError) ++run["fcs_errors"];
    if (f.edError) ++run["ed_errors"];
    const std::string file = "minutes." + std::to_string(r.file) + ".";
    if (!f.valid) {
      ++run["corrupt"];
      ++minutes[file + "corrupt"];
    }

    // The request before this record is answered, or not, by this record; a request at the
    // run's end is not judged.
    int scSender = -1;
    bool corruptReply = false;
    if (i > 0) {
      const Telegram q = Classify(records[i - 1].frame, records[i - 1].status);
      if (ExpectsReply(q)) {
        Station& to = stations[q.da];
        bool answered = IsResponse(f) && (f.sc || (f.da == q.sa && f.sa == q.da)) && *gap <= slot;
        bool status = IsStatusPoll(q);
        if (answered) {
          to.seen = true;
          to.run = 0;
          if (*gap < 11 * k) to.Add("early_responses");
          if (f.sc) scSender = q.da;
        } else {
          bool fromIt = f.sc || (IsResponse(f) && f.sa == q.da && f.da == q.sa);
          if (fromIt && *gap > slot) to.Add("late_responses");
          if (!f.valid && *gap <= slot) to.Add("illegal_responses");
          if (status) {
            to.run = 0;
          } else {
            const std::string requestFile = "minutes." + std::to_string(records[i - 1].file) + ".";
            to.Add("no_response");
            ++minutes[requestFile + "no_response"];
            to.Max("no_response_run_max", ++to.run);
            if (fromIt && f.valid && *gap > slot) {
              to.Add("no_response_causes.late");
              ++minutes[requestFile + "late"];
            } else if (!f.valid && *gap <= slot) {
              to.Add("no_response_causes.corrupt");
              ++minutes[requestFile + "corrupt_reply"];
              corruptReply = true;
            } else {
              to.Add("no_response_causes.no_reply");
              ++minutes[requestFile + "no_reply"];
            }
          }
        }
        if (!status) last[{q.sa, q.da}].answered = answered;
      }
    }
    if (!f.valid && !corruptReply) ++minutes[file + "corrupt_other"];

    if (f.valid && !f.sc) sent(f.sa, f, r.timestamp);
    if (scSender >= 0) sent(scSender, f, r.timestamp);
    if (f.token) ++tokens;
    if ((f.token || IsRequest(f)) && gap && *gap < 33 * k) stations[f.sa].Add("tsyn_violations");
    if (IsResponse(f) && !f.sc) {
      int code = f.fc & 0x0F;
      if (code == 1) stations[f.sa].Add("negative_responses.ue");
      if (code == 2) stations[f.sa].Add("negative_responses.rr");
      if (code == 3) stations[f.sa].Add("negative_responses.rs");
      if (code == 0x0A || code == 0x0D) stations[f.sa].Add("diagnosis_flagged");
    }
    if (ExpectsReply(f) && !IsStatusPoll(f)) {
      Station& to = stations[f.da];
      to.seen = true;
      to.receivedPoll = true;
      LastRequest& p = last[{f.sa, f.da}];
      std::vector<std::uint8_t> bytes(r.frame.begin(), r.frame.end());
      bool repeat = !p.bytes.empty() && !p.answered && p.tokens == tokens && p.bytes == bytes;
      if (repeat) {
        to.Add("repeats");
        ++minutes[file + "repeats"];
        to.Max("repeat_chain_max", ++to.chain);
      } else {
        to.chain = 0;
      }
      p.bytes = bytes;
      p.tokens = tokens;
    }
  }

  Figures out;
  for (const auto& [name, value] : run) {
    if (value != 0) out["run." + name] = std::to_string(value);
  }
  for (const auto& [name, value] : minutes) {
    if (value != 0) out[name] = std::to_string(value);
  }
  std::string silent;
  const char* types[] = {"slave", "master-not-ready", "master-ready", "master-in-ring"};
  for (int address = 0; address < 127; ++address) {
    const Station& s = stations[address];
    if (!s.seen) continue;
    const std::string key = "stations." + std::to_string(address) + ".";
    for (const auto& [name, value] : s.counts) {
      if (value != 0) out[key + name] = std::to_string(value);
    }
    out[key + "role"] = s.master ? "master" : "slave";
    out[key + "station_type"] = s.stationType < 0 ? "null" : types[s.stationType];
    out[key + "first_seen_ns"] = s.firstSeenNs ? std::to_string(*s.firstSeenNs) : "null";
    if (s.receivedPoll && !s.sentValid) {
      silent += (silent.empty() ? "" : ",") + std::to_string(address);
    }
  }
  if (!silent.empty()) out["run.silent_stations"] = "[" + silent + "]";
  return out;
}

// Whether a path names a figure that counts a fault (as against one that describes a station:
// its role, type and first appearance, its DP state, entries and diagnosis).
inline bool IsFaultFigure(const std::string& path) {
  for (const char* name : {".role", ".station_type", ".first_seen_ns", ".dp.state", ".dp.entries",
                           ".dp.diag_replies", ".dp.diag_changes"}) {
    const std::string suffix(name);
    if (path.size() > suffix.size() &&
        path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0) {
      return false;
    }
  }
  return path.find(".dp.diag_flags.") == std::string::npos;
}

}  // namespace fdc::gen::check
