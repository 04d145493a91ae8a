// The DP figures of a record stream, worked out from the frames alone by the analyser's DP rules
// (each slave's state and its drops, missed cycles, frame count, watchdog, configuration, I/O
// length and min TSDR checks, its diagnosis flags; each master's Clear_Data), apart from the
// generator, so that a generated run's DP truth can be held against them.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/tools/bus_figures.h"
#include "tools/traffic.h"

namespace fdc::gen::check {

namespace dp_detail {

// A telegram's SAPs and the data unit after them.
struct Unit {
  int dsap = -1;
  int ssap = -1;
  std::vector<std::uint8_t> data;
};

inline Unit UnitOf(const std::vector<std::uint8_t>& f) {
  Unit unit;
  std::size_t daAt = 0;
  if (f.empty()) return unit;
  if (f[0] == 0x68) {
    daAt = 4;
  } else if (f[0] == 0x10 || f[0] == 0xA2) {
    daAt = 1;
  } else {
    return unit;
  }
  const std::size_t fcsAt = f.size() - 2;
  std::size_t at = daAt + 3;
  if ((f[daAt] & 0x80) && at < fcsAt) unit.dsap = f[at++];
  if ((f[daAt + 1] & 0x80) && at < fcsAt) unit.ssap = f[at++];
  unit.data.assign(f.begin() + static_cast<std::ptrdiff_t>(at),
                   f.begin() + static_cast<std::ptrdiff_t>(std::max(at, fcsAt)));
  return unit;
}

// Bit i: the flag kDiagFlagNames[i] (the generator's names, which are the report's).
inline unsigned DiagFlags(const std::vector<std::uint8_t>& d) {
  if (d.size() < 6) return 0;
  unsigned flags = d[0];
  const std::uint8_t b2 = d[1];
  const int bits[] = {0, 1, -2, 3, 4, 5, 7};  // byte 2 bit by flag 8.., -2: bit 2 clear
  for (int i = 0; i < 7; ++i) {
    const bool set = bits[i] == -2 ? !(b2 & 0x04) : (b2 >> bits[i]) & 1;
    if (set) flags |= 1u << (8 + i);
  }
  if (d[2] & 0x80) flags |= 1u << 15;
  return flags;
}

// Input and output bytes of a configuration. A one-byte identifier: bits 5-4 the direction
// (input, output, both), bit 6 words, bits 3-0 the length less one. With bits 5-4 clear, length
// bytes follow instead: bits 7-6 say whether an output length byte, an input length byte or both
// (output first), bits 3-0 how many maker bytes come after them; a length byte counts like bits
// 6-0 of a one-byte identifier, its length in bits 5-0.
inline std::pair<int, int> Totals(const std::vector<std::uint8_t>& ids) {
  int in = 0;
  int out = 0;
  for (std::size_t i = 0; i < ids.size();) {
    const std::uint8_t id = ids[i++];
    if ((id & 0x30) != 0) {
      const int bytes = ((id & 0x0F) + 1) * ((id & 0x40) ? 2 : 1);
      if (id & 0x10) in += bytes;
      if (id & 0x20) out += bytes;
      continue;
    }
    auto length = [&]() {
      const std::uint8_t b = i < ids.size() ? ids[i++] : 0;
      return ((b & 0x3F) + 1) * ((b & 0x40) ? 2 : 1);
    };
    if (id & 0x80) out += length();
    if (id & 0x40) in += length();
    i += id & 0x0F;
  }
  return {in, out};
}

struct Params {
  std::int64_t watchdogNs = 0;  // 0: none
  int minTsdr = 0;
  bool failSafe = false;
};

inline Params ParamsOf(const std::vector<std::uint8_t>& d) {
  Params p;
  if (d.size() < 7) return p;
  const bool ms1 = d.size() >= 8 && (d[7] & 0x80) && (d[7] & 0x04);
  if ((d[0] & 0x08) && d[1] != 0 && d[2] != 0) {
    p.watchdogNs = std::int64_t{d[1]} * d[2] * (ms1 ? 1 : 10) * 1'000'000;
  }
  p.minTsdr = d[3];
  p.failSafe = d.size() >= 8 && (d[7] & 0x40);
  return p;
}

struct Pending {  // an unanswered request, judged by its master's next request to the slave
  std::vector<std::uint8_t> bytes;
  std::uint64_t tokens = 0;
  bool dp = false;
  bool exchange = false;
};

struct FrameCount {  // the master's last request to the slave with FCV=1 or a reset
  bool fcb = false;
  bool answered = false;
  std::uint64_t damaged = 0;  // corrupt records seen up to its reply slot
};

struct Slave {
  std::map<std::string, std::int64_t> counts;
  bool seen = false;
  std::string state = "unknown";
  int lossRow = 0;
  std::optional<int> diagMaster;  // of the last positive Slave_Diag, when not 255
  std::optional<int> prmMaster;   // SA of the last accepted Set_Prm
  std::map<int, Params> params;   // each master's last accepted Set_Prm
  std::optional<std::pair<int, int>> configuration;
  std::optional<std::vector<std::uint8_t>> lastDiag;
  std::optional<std::int64_t> lastExchangeNs;
  std::map<int, Pending> pending;
  std::map<int, FrameCount> frameCounts;

  std::optional<int> Owner() const { return diagMaster ? diagMaster : prmMaster; }
  void Enter(const std::string& to, const std::string& cause) {
    if (state == "data_exchange" && to != "data_exchange") {
      ++counts["drops"];
      ++counts["drop_causes." + cause];
    }
    if (to == "data_exchange" && state != "data_exchange") ++counts["entries"];
    state = to;
  }
};

inline const char* NegativeName(int code) {
  switch (code) {
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

}  // namespace dp_detail

// Every slave that was sent a DP request gets its "state" and "entries" and every count that is
// not 0, under "stations.N.dp."; a master that sent Clear_Data its "dp_master.clear_data".
inline Figures DpFiguresOf(const std::vector<StreamRecord>& records, const StreamTiming& timing) {
  using namespace dp_detail;
  const std::int64_t k = timing.ticksPerBit;
  const std::int64_t slot = timing.slotBits * k;
  std::array<Slave, 128> slaves;
  std::array<std::int64_t, 128> clearData{};
  std::uint64_t tokens = 0;
  std::uint64_t damaged = 0;
  auto nsOf = [&](std::uint64_t t) {
    return static_cast<std::int64_t>(static_cast<__int128>(t) * timing.timeMul / timing.timeDiv);
  };
  auto gapBefore = [&](std::size_t i) {
    const StreamRecord& p = records[i - 1];
    return static_cast<std::int64_t>(records[i].timestamp) -
           (static_cast<std::int64_t>(p.timestamp) + 11 * k * std::int64_t(p.frame.size()));
  };

  for (std::size_t i = 0; i < records.size(); ++i) {
    const StreamRecord& r = records[i];
    const Telegram q = Classify(r.frame, r.status);
    if (!q.valid) ++damaged;
    if (q.token) ++tokens;
    if (!IsRequest(q)) continue;
    const Unit unit = UnitOf(r.frame);
    if (q.da == 127 && unit.dsap == 58 && !unit.data.empty() && (unit.data[0] & 0x02)) {
      ++clearData[q.sa];
    }
    if (!ExpectsReply(q) || IsStatusPoll(q) || q.da > 125) continue;
    Slave& s = slaves[q.da];
    const int m = q.sa;
    const int code = q.fc & 0x0F;
    const bool exchange = unit.dsap < 0 && (code == 0x0C || code == 0x0D);
    const bool dp = exchange || (unit.dsap >= 55 && unit.dsap <= 62);

    // The reply: the next record, from the addressee to the master, within the slot time.
    std::optional<Telegram> reply;
    std::int64_t replyGap = 0;
    if (i + 1 < records.size()) {
      const Telegram f = Classify(records[i + 1].frame, records[i + 1].status);
      replyGap = gapBefore(i + 1);
      if (IsResponse(f) && (f.sc || (f.da == q.sa && f.sa == q.da)) && replyGap <= slot) reply = f;
    }
    const std::vector<std::uint8_t> bytes(r.frame.begin(), r.frame.end());

    // The master's unanswered request before this one: repeated, or lost.
    bool repeat = false;
    if (auto p = s.pending.find(m); p != s.pending.end()) {
      repeat = p->second.bytes == bytes && p->second.tokens == tokens;
      const Pending lost = p->second;
      s.pending.erase(p);
      const std::optional<int> owner = s.Owner();
      if (!repeat && lost.dp && (!owner || *owner == m)) {
        if (lost.exchange && exchange) {
          ++s.counts["missed_cycles"];
          if (++s.lossRow >= 3) s.Enter("no_response", "lost_request");
        } else {
          s.lossRow = 0;
          s.Enter("no_response", "lost_request");
        }
      }
    }

    // The frame count, over requests with FCV=1 or a reset.
    const bool fcv = q.fc & 0x10;
    const bool fcb = q.fc & 0x20;
    if (fcv || fcb) {
      auto p = s.frameCounts.find(m);
      if (fcv && p != s.frameCounts.end() && p->second.damaged == damaged) {
        if (p->second.answered && fcb == p->second.fcb) ++s.counts["fcb_not_toggled"];
        if (!p->second.answered && fcb != p->second.fcb) ++s.counts["fcb_toggled_on_repeat"];
      }
      // Damage in this request's reply slot keeps the next from being judged.
      const bool slotDamaged =
          i + 1 < records.size() && !Classify(records[i + 1].frame, records[i + 1].status).valid;
      s.frameCounts[m] = {fcb, reply.has_value(), damaged + slotDamaged};
    }

    if (!reply) s.pending[m] = {bytes, tokens, dp, exchange};
    if (!dp) continue;
    s.seen = true;
    const std::optional<int> owner = s.Owner();
    const bool fromOwner = !owner || *owner == m;
    const Params params = owner && s.params.count(*owner) ? s.params[*owner] : Params{};

    if (exchange && !repeat) {
      const std::int64_t ns = nsOf(r.timestamp);
      if (s.lastExchangeNs && s.state == "data_exchange" && params.watchdogNs != 0 &&
          ns - *s.lastExchangeNs > params.watchdogNs) {
        ++s.counts["watchdog_exceeded"];
      }
      s.lastExchangeNs = ns;
    }
    if (!reply) continue;

    const int rcode = reply->sc ? -1 : (reply->fc & 0x0F);
    const bool positive = rcode == -1 || rcode == 0x00 || rcode == 0x08 || rcode == 0x0A ||
                          rcode == 0x0C || rcode == 0x0D;
    const std::vector<std::uint8_t> replyData =
        reply->sc ? std::vector<std::uint8_t>() : UnitOf(records[i + 1].frame).data;
    if (params.minTsdr != 0 && replyGap < params.minTsdr * k) ++s.counts["min_tsdr_violations"];
    if (exchange && fromOwner && s.configuration) {
      const bool outWrong = static_cast<int>(unit.data.size()) != s.configuration->second &&
                            !(unit.data.empty() && params.failSafe);
      const bool inWrong = positive && static_cast<int>(replyData.size()) != s.configuration->first;
      if (outWrong || inWrong) ++s.counts["io_length_mismatches"];
    }
    if (unit.dsap == 59 && positive && s.configuration && Totals(replyData) != *s.configuration) {
      ++s.counts["cfg_mismatches"];
    }
    std::optional<std::pair<std::string, std::string>> move;  // state, cause
    if (exchange) {
      s.lossRow = 0;
      if (positive) {
        move = {"data_exchange", "answered"};
      } else if (const char* name = NegativeName(rcode)) {
        move = {"refused", name};
      }
    } else if ((unit.dsap == 61 || unit.dsap == 62) && positive) {
      if (unit.dsap == 61) {
        s.prmMaster = m;
        s.params[m] = ParamsOf(unit.data);
      } else {
        s.configuration = Totals(unit.data);
      }
      move = {"startup", unit.dsap == 61 ? "set_prm" : "chk_cfg"};
    } else if (unit.dsap == 60 && positive) {
      ++s.counts["diag_replies"];
      if (!s.lastDiag || *s.lastDiag != replyData) ++s.counts["diag_changes"];
      s.lastDiag = replyData;
      const unsigned flags = DiagFlags(replyData);
      for (int bit = 0; bit < 16; ++bit) {
        if (flags & (1u << bit)) ++s.counts["diag_flags." + std::string(kDiagFlagNames[bit])];
      }
      if (replyData.size() >= 6) {
        if (replyData[3] != 255) {
          s.diagMaster = replyData[3];
        } else {
          s.diagMaster.reset();
        }
      }
      std::string cause;
      for (int bit : {0, 1, 2, 6, 8}) {
        if (flags & (1u << bit))
          cause += (cause.empty() ? "" : "+") + std::string(kDiagFlagNames[bit]);
      }
      if (!cause.empty()) move = {"startup", cause};
    }
    if (!move && s.state == "no_response") move = {"startup", "answered"};
    if (move && fromOwner) s.Enter(move->first, move->second);
  }

  Figures out;
  for (int address = 0; address < 128; ++address) {
    const std::string key = "stations." + std::to_string(address) + ".";
    if (clearData[address] != 0) {
      out[key + "dp_master.clear_data"] = std::to_string(clearData[address]);
    }
    const Slave& s = slaves[address];
    if (!s.seen) continue;
    out[key + "dp.state"] = s.state;
    out[key + "dp.entries"] = "0";
    for (const auto& [name, value] : s.counts) {
      if (value != 0) out[key + "dp." + name] = std::to_string(value);
    }
  }
  return out;
}

// The bus health figures and the DP figures of a record stream together.
inline Figures AllFiguresOf(const std::vector<StreamRecord>& records, const StreamTiming& timing) {
  Figures figures = FiguresOf(records, timing);
  figures.merge(DpFiguresOf(records, timing));
  return figures;
}

}  // namespace fdc::gen::check
