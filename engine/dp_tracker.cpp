// The DP layer's state machine: per slave its state, owner, parameters and configuration; per
// (master, slave) pair the FCB sequence and the request whose loss is decided by the master's
// next request; the checks and the event log.
#include "engine/dp_tracker.h"

#include <algorithm>
#include <iterator>
#include <tuple>

#include "common/text_appenders.h"
#include "engine/time_base.h"

namespace fdc {

namespace {

constexpr std::size_t kStations = 128;
constexpr std::uint8_t kLastSlave = 125;          // the highest address a DP request may carry
constexpr std::uint8_t kLastStation = 126;        // FCB pairs and Set_Slave_Add reach 126
constexpr std::size_t kMaxDataUnit = 256;         // more than any frame holds
constexpr std::uint32_t kLossesToNoResponse = 3;  // carried-on losses in a row

// Where a request stands in time: an interval between two is measured when both are timed and
// the clock stepped back nowhere between them.
struct TimePoint {
  bool timed = false;
  std::int64_t ticks = 0;
  std::uint64_t steps = 0;
};

bool Measurable(const TimePoint& from, const TimePoint& to) {
  return from.timed && to.timed && from.steps == to.steps && to.ticks >= from.ticks;
}

// A reply's data unit: the bytes after its SAPs; an SC or a reply without data has none.
ByteView DataUnit(const Telegram& t, ByteView bytes) {
  if (!t.HasBody()) return bytes.Sub(0, 0);
  return bytes.Sub(t.dataPos, t.dataLen);
}

bool IsPositive(const Telegram& reply) {
  if (reply.kind == FrameKind::kSc) return true;
  switch (reply.fc & kResponseCodeMask) {
    case 0x0:
    case 0x8:
    case 0xA:
    case 0xC:
    case 0xD:
      return true;
    default:
      return false;
  }
}

bool IsNegative(const Telegram& reply) {
  if (reply.kind == FrameKind::kSc) return false;
  switch (reply.fc & kResponseCodeMask) {
    case 0x1:
    case 0x2:
    case 0x3:
    case 0x9:
      return true;
    default:
      return false;
  }
}

constexpr std::int64_t kMinSlaveIntervalUnitNs = 100'000;

struct Bytes {
  std::uint16_t size = 0;
  std::array<std::uint8_t, kMaxDataUnit> data{};
  void Assign(ByteView v) {
    size = static_cast<std::uint16_t>(std::min(v.size(), data.size()));
    std::copy(v.data(), v.data() + size, data.begin());
  }
  bool Equals(ByteView v) const {
    return v.size() == size && std::equal(data.begin(), data.begin() + size, v.data());
  }
  ByteView View() const { return ByteView(data.data(), size); }
};

std::string Hex(ByteView v) {
  const std::string_view kDigits = kHexDigits;
  std::string text;
  text.reserve(v.size() * 2);
  for (std::size_t i = 0; i < v.size(); ++i) {
    text.push_back(kDigits[v.U8(i) >> 4]);
    text.push_back(kDigits[v.U8(i) & 0xF]);
  }
  return text;
}

// The parameters of one master's last accepted Set_Prm to a slave.
struct Parameters {
  std::uint8_t master = 0;
  bool decoded = false;
  std::optional<std::uint32_t> watchdogMs;
  std::uint8_t groupIdent = 0;
  std::optional<bool> dpv1Enable;
  bool failSafe = false;
};

struct Slave {
  bool present = false;  // received a DP request
  DpState state = DpState::kUnknown;
  bool changed = false;  // the state changed at least once
  TimePoint since;
  std::optional<std::uint8_t> diagMaster;  // of the last decoded positive Slave_Diag reply
  std::optional<std::uint8_t> prmMaster;   // SA of the last accepted Set_Prm
  std::vector<Parameters> parameters;      // per master
  std::uint8_t minTsdrBits = 0;            // in force; 0: none
  std::optional<std::uint16_t> identNumber;
  std::optional<DpConfigFigures> config;
  bool hasDiag = false;
  Bytes lastDiagBytes;
  std::optional<dp::SlaveDiag> lastDiag;
  bool hasGetCfg = false;
  Bytes lastGetCfgBytes;
  // Periods of data exchange and outages.
  TimePoint dataExchangeStart;
  bool hasDrop = false;
  TimePoint lastDrop;
  std::int64_t timeInDataExchangeNs = 0;
  std::optional<std::int64_t> longestOutageNs;
  std::optional<std::int64_t> firstEntryNs;
  std::uint64_t breaksAtDataExchange = 0;  // the run's breaks at its last data exchange request
  bool ioRun = false;                      // in a run of requests with wrong io lengths
  DpSlaveFigures figures;
  std::map<std::tuple<std::uint8_t, std::uint8_t, std::string_view>, std::uint64_t> channels;
  // The GSD file of the slave's ident, its configuration split into the file's modules, and the
  // last accepted Set_Prm's event, whose parameters the next accepted Chk_Cfg decodes again.
  const dp::GsdLibrary::Match* gsd = nullptr;
  Bytes configBytes;
  std::vector<dp::GsdModuleMatch> modules;
  std::optional<std::size_t> prmEvent;
  std::uint8_t prmEventMaster = 0;
  const dp::GsdFile* Gsd() const { return gsd != nullptr ? &gsd->entry->gsd : nullptr; }
  std::uint64_t gsdMaxTsdrExceeded = 0;
  std::uint64_t gsdDiagTooLong = 0;
  std::uint64_t gsdMinSlaveIntervalViolations = 0;

  std::optional<std::uint8_t> owner;  // the first of the two that is known
  std::optional<std::uint8_t> Owner() const { return owner; }
  void UpdateOwner() { owner = diagMaster ? diagMaster : prmMaster; }
  const Parameters* ParametersOf(std::optional<std::uint8_t> master) const {
    if (!master) return nullptr;
    for (const Parameters& p : parameters) {
      if (p.master == *master) return p.decoded ? &p : nullptr;
    }
    return nullptr;
  }
  const Parameters* OwnerParameters() const { return ParametersOf(Owner()); }
};

// One master's requests to one station.
struct Pair {
  // The previous request of the FCB sequence.
  bool hasPrevious = false;
  bool previousFcb = false;
  bool previousResolved = false;
  bool previousAnswered = false;
  bool previousIllegal = false;
  std::uint64_t previousBreaks = 0;
  // An unanswered DP request whose loss the master's next request decides.
  bool candidate = false;
  std::uint32_t candidateRef = 0;
  TimePoint candidateAt;
  bool candidateDataExchange = false;
  std::uint32_t lossRow = 0;  // carried-on losses in a row
};

struct Master {
  bool present = false;
  bool hasGlobalControl = false;
  std::uint8_t lastDa = 0;
  Bytes lastGlobalControl;
  DpMasterFigures figures;
};

}  // namespace

struct DpTracker::State {
  std::int64_t k = 0;
  const TimeBase* time = nullptr;
  std::array<Slave, kStations> slaves{};
  std::array<Master, kStations> masters{};
  std::vector<Pair> pairs;
  std::array<std::int32_t, kStations * kStations> pairIndex{};  // into `pairs`, +1
  DpEventLog events;
  bool keepEvents = true;
  const dp::GsdLibrary* library = nullptr;
  std::optional<std::size_t> gsdRate;  // the run's rate among a GSD file's
  DpEvent dropped;                     // the event being made when events are not kept
  // The last details of each kind of event and station, for the events after them to share: room
  // for a master's cycle of Global_Control commands (five, with no flags).
  struct RecentDetails {
    std::array<std::shared_ptr<const DpEventDetail>, 8> details;
    std::size_t next = 0;
  };
  std::vector<RecentDetails> recent =
      std::vector<RecentDetails>(static_cast<std::size_t>(DpEventKind::kCount) * kStations);

  void Share(DpEvent& e) {
    const auto& detail = e.DetailPointer();
    if (!detail) return;
    RecentDetails& r = recent[static_cast<std::size_t>(e.kind) * kStations + e.station];
    for (const auto& d : r.details) {
      if (d && e.ShareDetail(d)) return;
    }
    r.details[r.next] = detail;
    r.next = (r.next + 1) % r.details.size();
  }

  // The request that waits for the record after it.
  struct Pending {
    bool active = false;
    std::uint8_t master = 0;
    std::uint8_t station = 0;
    std::int32_t pair = -1;
    bool dpRequest = false;
    dp::Service service = dp::Service::kDataExchange;
    bool fcbTracked = false;
    std::uint32_t ref = 0;
    TimePoint at;
    Bytes data;  // the data unit of a DP request other than data exchange
    // io lengths: the request side judged and wrong, and whether the reply side is judged.
    bool ioContext = false;
    bool requestJudged = false;
    std::uint32_t requestBytes = 0;
  } pending;

  std::optional<std::int64_t> Ns(const TimePoint& at) const {
    if (k == 0 || !at.timed) return std::nullopt;
    return time->TicksToNs(at.ticks);
  }
  std::optional<std::int64_t> Between(const TimePoint& from, const TimePoint& to) const {
    if (k == 0 || !Measurable(from, to)) return std::nullopt;
    return time->TicksToNs(to.ticks - from.ticks);
  }

  // A data exchange cycle shorter than the GSD file's min slave interval.
  static void CheckMinSlaveInterval(Slave& s, std::int64_t cycleNs) {
    const auto& interval = s.Gsd()->minSlaveInterval;
    if (interval && cycleNs < std::int64_t{*interval} * kMinSlaveIntervalUnitNs) {
      ++s.gsdMinSlaveIntervalViolations;
    }
  }
  // A reply later than the GSD file's max TSDR at the run's rate.
  void CheckMaxTsdr(Slave& s, std::int64_t responseBits) const {
    if (!gsdRate) return;
    const auto& maxTsdr = s.Gsd()->maxTsdrBits[*gsdRate];
    if (maxTsdr && responseBits > std::int64_t{*maxTsdr}) ++s.gsdMaxTsdrExceeded;
  }

  void GsdFigures(const Slave& s, const dp::GsdFile& gsd, DpSlaveFigures& f) const {
    const dp::GsdLibrary::Entry& entry = *s.gsd->entry;
    f.gsd = DpGsdFigures{entry.file, gsd.vendor, gsd.model, gsd.revision, s.gsd->otherFiles};
    if (gsdRate) f.gsdRateUnsupported = !gsd.rateSupported[*gsdRate].value_or(false);
    f.gsdMaxTsdrExceeded = s.gsdMaxTsdrExceeded;
    f.gsdDiagTooLong = s.gsdDiagTooLong;
    f.gsdMinSlaveIntervalViolations = s.gsdMinSlaveIntervalViolations;
    if (!f.config) return;
    f.gsdUnknownConfigBytes = dp::UnmatchedBytes(s.modules);
    auto& modules = f.config->modules.emplace();
    for (const dp::GsdModuleMatch& m : s.modules) {
      DpModuleFigures& out = modules.emplace_back();
      if (m.module) out.name = gsd.modules[*m.module].name;
      out.bytes = Hex(ByteView(m.bytes.data(), m.bytes.size()));
      for (const std::size_t c : m.candidates) out.candidates.push_back(gsd.modules[c].name);
    }
  }

  Pair& PairOf(std::uint8_t master, std::uint8_t station, std::int32_t* slot = nullptr) {
    std::int32_t& index = pairIndex[std::size_t{master} * kStations + station];
    if (index == 0) {
      pairs.emplace_back();
      index = static_cast<std::int32_t>(pairs.size());
    }
    if (slot != nullptr) *slot = index - 1;
    return pairs[static_cast<std::size_t>(index - 1)];
  }

  DpEvent& Event(DpEventKind kind, std::uint32_t ref, const TimePoint& at, std::uint8_t station,
                 std::uint8_t master) {
    if (keepEvents && !events.empty()) Share(events.back());  // made in full by now
    DpEvent& e = keepEvents ? events.emplace_back() : (dropped = DpEvent{});
    e.kind = kind;
    e.ref = ref;
    e.timeNs = Ns(at);
    e.station = station;
    e.master = master;
    return e;
  }

  // Only the owner's DP requests change a slave's state once it has one.
  static bool MayChange(const Slave& s, std::uint8_t master) {
    const auto owner = s.Owner();
    return !owner || *owner == master;
  }

  // A rule that gives the current state changes nothing: the common case, kept inline.
  void SetState(std::uint8_t address, DpState to, std::string_view cause, std::uint32_t ref,
                const TimePoint& at, std::uint8_t master) {
    if (slaves[address].state != to) ChangeState(address, to, cause, ref, at, master);
  }
  void ChangeState(std::uint8_t address, DpState to, std::string_view cause, std::uint32_t ref,
                   const TimePoint& at, std::uint8_t master) {
    Slave& s = slaves[address];
    DpEvent& e = Event(DpEventKind::kState, ref, at, address, master);
    e.from = s.state;
    e.to = to;
    if (s.state == DpState::kDataExchange) {
      ++s.figures.drops;
      ++s.figures.dropCauses[std::string(cause)];
      if (const auto period = Between(s.dataExchangeStart, at)) s.timeInDataExchangeNs += *period;
      s.hasDrop = true;
      s.lastDrop = at;
    }
    if (to == DpState::kDataExchange) {
      ++s.figures.entries;
      if (s.hasDrop) e.Edit().outageNs = Between(s.lastDrop, at);
      if (e.Detail().outageNs) {
        s.longestOutageNs = std::max(s.longestOutageNs.value_or(0), *e.Detail().outageNs);
      }
      if (!s.firstEntryNs) s.firstEntryNs = Ns(at);
      s.dataExchangeStart = at;
    }
    s.figures.stateCause = cause;
    e.Edit().cause = cause;
    s.state = to;
    s.changed = true;
    s.since = at;
  }

  // The master's next request to the station after an unanswered DP request decides whether the
  // master lost it.
  void DecideCandidate(Pair& p, std::uint8_t master, std::uint8_t station, bool repeat,
                       bool nextIsDataExchange) {
    if (!p.candidate) return;
    p.candidate = false;
    if (repeat) return;  // the master asks again: not lost yet
    Slave& s = slaves[station];
    if (!MayChange(s, master)) return;
    if (p.candidateDataExchange && nextIsDataExchange) {
      ++s.figures.missedCycles;
      if (++p.lossRow < kLossesToNoResponse) return;
    } else {
      p.lossRow = 0;
    }
    SetState(station, DpState::kNoResponse, "lost_request", p.candidateRef, p.candidateAt, master);
  }

  void CheckFcb(Pair& p, const Telegram& t, std::uint32_t ref, const TimePoint& at,
                std::uint64_t breaks) {
    const bool fcv = (t.fc & kFcFcv) != 0;
    const bool fcb = (t.fc & kFcFcb) != 0;
    if (!fcv && !fcb) return;  // outside the FCB sequence
    if (fcv && p.hasPrevious && p.previousResolved && !p.previousIllegal &&
        p.previousBreaks == breaks) {
      Slave& s = slaves[t.Da()];
      if (p.previousAnswered && fcb == p.previousFcb) {
        ++s.figures.fcbNotToggled;
        Event(DpEventKind::kFcbNotToggled, ref, at, t.Da(), t.Sa());
      } else if (!p.previousAnswered && fcb != p.previousFcb) {
        ++s.figures.fcbToggledOnRepeat;
        Event(DpEventKind::kFcbToggledOnRepeat, ref, at, t.Da(), t.Sa());
      }
    }
    p.hasPrevious = true;
    p.previousFcb = fcb;
    p.previousResolved = false;
    p.previousBreaks = breaks;
  }

  void GlobalControl(const Telegram& t, ByteView unit, std::uint32_t ref, const TimePoint& at) {
    Master& m = masters[t.Sa()];
    m.present = true;
    const dp::GlobalControl decoded = dp::DecodeGlobalControl(unit);
    ++m.figures.globalControls;
    if (decoded.clearData) {
      if (m.figures.clearData++ == 0) {
        m.figures.firstClearDataNs = Ns(at);
        m.figures.firstClearDataRef = ref;
      }
    }
    if (m.hasGlobalControl && m.lastDa == t.Da() && m.lastGlobalControl.Equals(unit)) return;
    m.hasGlobalControl = true;
    m.lastDa = t.Da();
    m.lastGlobalControl.Assign(unit);
    DpEvent& e = Event(DpEventKind::kGlobalControl, ref, at, t.Sa(), t.Sa());
    e.da = t.Da();
    e.Edit().decoded = decoded;
  }

  void Watchdog(Slave& s, std::uint8_t station, std::uint8_t master, std::int64_t cycleNs,
                bool clean, std::uint32_t ref, const TimePoint& at) {
    if (!clean || s.state != DpState::kDataExchange) return;
    auto& longest = s.figures.longestCycleInDataExchangeNs;
    longest = std::max(longest.value_or(0), cycleNs);
    const Parameters* p = s.OwnerParameters();
    if (p == nullptr || !p->watchdogMs) return;
    if (cycleNs <= static_cast<std::int64_t>(*p->watchdogMs) * 1'000'000) return;
    s.figures.watchdogExceeded = s.figures.watchdogExceeded.value_or(0) + 1;
    DpEvent& e = Event(DpEventKind::kWatchdogExceeded, ref, at, station, master);
    e.Edit().intervalNs = cycleNs;
    e.Edit().watchdogMs = *p->watchdogMs;
  }

  // Device-related blocks are DP-V1 alarms and status blocks when the owner's parameters say so.
  static bool ReadsDpv1(const Slave& s) {
    const Parameters* p = s.OwnerParameters();
    return p != nullptr && p->dpv1Enable.value_or(false);
  }
  static void NoteDpv1Reading(Slave& s, std::uint32_t ref) {
    const bool dpv1 = ReadsDpv1(s);
    auto& readings = s.figures.dpv1Readings;
    if (dpv1 != (!readings.empty() && readings.back().dpv1)) readings.push_back({ref, dpv1});
  }

  // The slave's ident is known or has changed: its GSD file, and the modules of its configuration.
  void LearnIdent(Slave& s, std::uint16_t ident) {
    s.identNumber = ident;
    if (library == nullptr) return;
    const dp::GsdLibrary::Match* match = library->Find(ident);
    if (match == s.gsd) return;
    s.gsd = match;
    SplitConfig(s);
  }
  static void SplitConfig(Slave& s) {
    s.modules.clear();
    if (s.Gsd() != nullptr && s.config)
      s.modules = dp::SplitModules(*s.Gsd(), s.configBytes.View());
  }

  void AcceptSetPrm(Slave& s, std::uint8_t station, std::uint8_t master, std::uint32_t ref,
                    const TimePoint& at) {
    dp::SetPrm decoded = dp::DecodeSetPrm(pending.data.View());
    if (decoded.malformed == dp::Malformed::kNone) LearnIdent(s, decoded.identNumber);
    const bool named = s.Gsd() != nullptr && decoded.malformed == dp::Malformed::kNone;
    if (named) dp::NameSetPrm(*s.Gsd(), s.modules, decoded);
    Parameters* p = nullptr;
    for (Parameters& q : s.parameters) {
      if (q.master == master) p = &q;
    }
    if (p == nullptr) {
      p = &s.parameters.emplace_back();
      p->master = master;
    }
    *p = Parameters{};
    p->master = master;
    p->decoded = decoded.malformed == dp::Malformed::kNone;
    if (p->decoded) {
      p->watchdogMs = decoded.watchdogMs;
      p->groupIdent = decoded.groupIdent;
      p->dpv1Enable = decoded.dpv1Enable;
      p->failSafe = decoded.failSafe.value_or(false);
      if (decoded.minTsdrBits != 0) s.minTsdrBits = decoded.minTsdrBits;
    }
    s.prmMaster = master;
    s.UpdateOwner();
    NoteDpv1Reading(s, ref);
    s.prmEvent.reset();
    if (named && keepEvents) {
      s.prmEvent = events.size();
      s.prmEventMaster = master;
    }
    Event(DpEventKind::kSetPrm, ref, at, station, master).Edit().decoded = std::move(decoded);
  }

  void AcceptChkCfg(Slave& s, std::uint8_t station, std::uint8_t master, std::uint32_t ref,
                    const TimePoint& at) {
    dp::Config decoded = dp::DecodeConfig(pending.data.View());
    DpConfigFigures& c = s.config.emplace();
    c.identifiers = Hex(pending.data.View());
    c.inputBytes = decoded.inputBytes;
    c.outputBytes = decoded.outputBytes;
    c.malformed = decoded.malformed;
    s.configBytes.Assign(pending.data.View());
    SplitConfig(s);
    // The Set_Prm before it set the parameters of these modules.
    if (s.prmEvent && s.prmEventMaster == master && s.Gsd() != nullptr) {
      dp::NameSetPrm(*s.Gsd(), s.modules, std::get<dp::SetPrm>(events[*s.prmEvent].Edit().decoded));
    }
    s.prmEvent.reset();
    Event(DpEventKind::kChkCfg, ref, at, station, master).Edit().decoded = std::move(decoded);
  }

  // A positive Slave_Diag reply; true when its diagnosis asks for a start-up. Sets `cause`.
  bool SlaveDiagReply(Slave& s, std::uint8_t station, std::uint8_t master, ByteView unit,
                      std::string& cause) {
    ++s.figures.diagReplies;
    // A reply too short to decode still counts as a change; it names no owner and sets no flag.
    const bool decodable = unit.size() >= 6;
    const std::uint16_t flags = dp::DiagFlagsOf(unit);
    if (decodable) {
      for (std::size_t i = 0; i < dp::kDiagFlagCount; ++i) {
        if ((flags >> i) & 1u) ++s.figures.diagFlags[i];
      }
      const std::uint8_t masterAddress = unit.U8(3);
      s.diagMaster =
          masterAddress == 255 ? std::nullopt : std::optional<std::uint8_t>(masterAddress);
      s.UpdateOwner();
      NoteDpv1Reading(s, pending.ref);
      LearnIdent(s, static_cast<std::uint16_t>(unit.U8(4) << 8 | unit.U8(5)));
    }
    const dp::GsdFile* gsd = s.Gsd();
    if (gsd != nullptr && gsd->maxDiagDataLen && unit.size() > *gsd->maxDiagDataLen) {
      ++s.gsdDiagTooLong;
    }
    if (!s.hasDiag || !s.lastDiagBytes.Equals(unit)) {
      s.hasDiag = true;
      s.lastDiagBytes.Assign(unit);
      dp::SlaveDiag decoded = dp::DecodeSlaveDiag(unit, ReadsDpv1(s));
      if (gsd != nullptr && decodable) dp::NameSlaveDiag(*gsd, s.modules, unit, decoded);
      ++s.figures.diagChanges;
      for (const dp::DiagBlock& b : decoded.blocks) {
        if (b.kind != dp::BlockKind::kChannel) continue;
        ++s.channels[{b.module, b.channel, dp::ChannelErrorName(b.error)}];
      }
      if (decodable) s.lastDiag = decoded;
      Event(DpEventKind::kSlaveDiag, pending.ref, pending.at, station, master).Edit().decoded =
          std::move(decoded);
    }
    static constexpr dp::DiagFlag kStartupFlags[] = {dp::kStationNonExistent, dp::kStationNotReady,
                                                     dp::kCfgFault, dp::kPrmFault, dp::kPrmReq};
    for (const dp::DiagFlag f : kStartupFlags) {
      if (!((flags >> f) & 1u)) continue;
      if (!cause.empty()) cause += '+';
      cause += dp::kDiagFlagNames[f];
    }
    return !cause.empty();
  }

  void GetCfgReply(Slave& s, std::uint8_t station, std::uint8_t master, ByteView unit) {
    dp::Config decoded = dp::DecodeConfig(unit);
    if (s.config && s.config->malformed == dp::Malformed::kNone &&
        decoded.malformed == dp::Malformed::kNone &&
        (decoded.inputBytes != s.config->inputBytes ||
         decoded.outputBytes != s.config->outputBytes)) {
      ++s.figures.cfgMismatches;
      DpEvent& e = Event(DpEventKind::kCfgMismatch, pending.ref, pending.at, station, master);
      e.Edit().cfgInputBytes = s.config->inputBytes;
      e.Edit().cfgOutputBytes = s.config->outputBytes;
      e.Edit().inputBytes = decoded.inputBytes;
      e.Edit().outputBytes = decoded.outputBytes;
    }
    if (s.hasGetCfg && s.lastGetCfgBytes.Equals(unit)) return;
    s.hasGetCfg = true;
    s.lastGetCfgBytes.Assign(unit);
    Event(DpEventKind::kGetCfg, pending.ref, pending.at, station, master).Edit().decoded =
        std::move(decoded);
  }

  // io lengths of a data exchange: the request side judged at the request, the reply side here.
  void IoLengths(Slave& s, std::uint8_t station, std::uint8_t master, const DpReplySeen& reply,
                 bool positive) {
    if (!pending.ioContext || !s.config) return;
    const DpConfigFigures& c = *s.config;
    std::optional<std::uint32_t> requestBytes;
    std::optional<std::uint32_t> replyBytes;
    if (pending.requestJudged) requestBytes = pending.requestBytes;
    if (positive)
      replyBytes = static_cast<std::uint32_t>(DataUnit(*reply.reply, reply.bytes).size());
    if (!requestBytes && !replyBytes) return;  // not judged: the run goes on as it was
    const bool wrong = (requestBytes && *requestBytes != c.outputBytes) ||
                       (replyBytes && *replyBytes != c.inputBytes);
    if (!wrong) {
      s.ioRun = false;
      return;
    }
    ++s.figures.ioLengthMismatches;
    if (s.ioRun) return;
    s.ioRun = true;
    DpEvent& e = Event(DpEventKind::kIoLengthMismatch, pending.ref, pending.at, station, master);
    e.Edit().outputBytes = c.outputBytes;
    e.Edit().inputBytes = c.inputBytes;
    e.Edit().requestBytes = requestBytes;
    e.Edit().replyBytes = replyBytes;
  }
};

DpTracker::DpTracker(std::int64_t ticksPerBit, const TimeBase* time, bool keepEvents,
                     const dp::GsdLibrary* gsd, std::uint16_t baudCode)
    : state_(std::make_unique<State>()) {
  state_->keepEvents = keepEvents;
  state_->library = gsd;
  state_->gsdRate = dp::GsdRateOfBaudCode(baudCode);
  state_->k = ticksPerBit;
  state_->time = time;
  state_->pairs.reserve(64);
}

DpTracker::~DpTracker() = default;

void DpTracker::OnRequest(const DpRequestSeen& request) {
  State& st = *state_;
  const Telegram& t = *request.telegram;
  const std::uint8_t master = t.Sa();
  const std::uint8_t da = t.Da();
  const TimePoint at{request.timed, request.ticks, stepsBack_};
  const ByteView unit = request.bytes.Sub(t.dataPos, t.dataLen);
  const std::optional<dp::Service> sapService = t.hasDsap ? dp::ServiceOfSap(t.dsap) : std::nullopt;

  if (sapService == dp::Service::kGlobalControl) st.GlobalControl(t, unit, request.ref, at);
  if (sapService == dp::Service::kSetSlaveAdd && da <= kLastStation) {
    st.Event(DpEventKind::kSetSlaveAdd, request.ref, at, da, master).Edit().decoded =
        dp::DecodeSetSlaveAdd(unit);
  }
  if (da > kLastStation) return;

  const std::uint8_t code = t.fc & kRequestCodeMask;
  const bool dataExchange = (code == kFcSrdLow || code == kFcSrdHigh) && !t.hasDsap;
  const bool dpRequest =
      !request.statusPoll && da <= kLastSlave && (dataExchange || sapService.has_value());
  const dp::Service service = sapService.value_or(dp::Service::kDataExchange);
  Slave& s = st.slaves[da];
  if (dpRequest) s.present = true;

  State::Pending& p = st.pending;
  p.active = false;
  if (!request.expectsReply) return;
  std::int32_t slot = -1;
  Pair& pair = st.PairOf(master, da, &slot);
  if (!request.statusPoll) {
    st.DecideCandidate(pair, master, da, request.repeat, dpRequest && dataExchange);
  }
  st.CheckFcb(pair, t, request.ref, at, breaks_);
  if (dataExchange && !request.repeat) {
    if (request.cycleNs && s.present) {
      st.Watchdog(s, da, master, *request.cycleNs, s.breaksAtDataExchange == breaks_, request.ref,
                  at);
      if (s.gsd != nullptr) State::CheckMinSlaveInterval(s, *request.cycleNs);
    }
    s.breaksAtDataExchange = breaks_;
  }

  p.active = true;
  p.master = master;
  p.station = da;
  p.pair = slot;
  p.fcbTracked = (t.fc & (kFcFcv | kFcFcb)) != 0;
  p.dpRequest = dpRequest;
  p.service = service;
  p.ref = request.ref;
  p.at = at;
  p.ioContext = false;
  p.requestJudged = false;
  p.requestBytes = 0;
  if (!dpRequest) return;
  if (dataExchange) {
    const auto owner = s.Owner();
    p.ioContext =
        owner && *owner == master && s.config && s.config->malformed == dp::Malformed::kNone;
    if (p.ioContext) {
      const Parameters* prm = s.OwnerParameters();
      const bool failSafeClear = unit.size() == 0 && prm != nullptr && prm->failSafe;
      p.requestJudged = !failSafeClear;
      p.requestBytes = static_cast<std::uint32_t>(unit.size());
    }
  } else {
    p.data.Assign(unit);
  }
}

void DpTracker::OnReply(const DpReplySeen& reply) {
  State& st = *state_;
  State::Pending& p = st.pending;
  if (!p.active) return;
  p.active = false;
  Pair& pair = st.pairs[static_cast<std::size_t>(p.pair)];
  if (p.fcbTracked) {
    pair.previousResolved = true;
    pair.previousAnswered = reply.answered;
    pair.previousIllegal = reply.illegal;
  }
  Slave& s = st.slaves[p.station];
  // A reply earlier than the min TSDR in force; a Set_Prm's own reply is judged before it counts.
  if (reply.answered && reply.responseBits) {
    if (s.minTsdrBits != 0 && *reply.responseBits < s.minTsdrBits) {
      s.figures.minTsdrViolations = s.figures.minTsdrViolations.value_or(0) + 1;
    }
    if (s.gsd != nullptr) st.CheckMaxTsdr(s, *reply.responseBits);
  }
  if (!p.dpRequest) return;

  const std::uint8_t master = p.master;
  const std::uint8_t station = p.station;
  const bool positive = reply.answered && IsPositive(*reply.reply);
  const bool negative = reply.answered && IsNegative(*reply.reply);
  const ByteView unit =
      reply.answered ? DataUnit(*reply.reply, reply.bytes) : reply.bytes.Sub(0, 0);
  const bool dataExchange = p.service == dp::Service::kDataExchange;

  // What the reply says about the slave comes first: the owner may change with it.
  std::string diagCause;
  bool diagStartup = false;
  if (positive) {
    switch (p.service) {
      case dp::Service::kSetPrm:
        st.AcceptSetPrm(s, station, master, p.ref, p.at);
        break;
      case dp::Service::kChkCfg:
        st.AcceptChkCfg(s, station, master, p.ref, p.at);
        break;
      case dp::Service::kSlaveDiag:
        diagStartup = st.SlaveDiagReply(s, station, master, unit, diagCause);
        break;
      case dp::Service::kGetCfg:
        st.GetCfgReply(s, station, master, unit);
        break;
      default:
        break;
    }
  }
  if (dataExchange) st.IoLengths(s, station, master, reply, positive);

  if (!reply.answered) {
    pair.candidate = true;
    pair.candidateRef = p.ref;
    pair.candidateAt = p.at;
    pair.candidateDataExchange = dataExchange;
    return;
  }
  if (dataExchange) pair.lossRow = 0;
  if (!State::MayChange(s, master)) return;
  if (dataExchange && positive) {
    st.SetState(station, DpState::kDataExchange, "answered", p.ref, p.at, master);
  } else if (dataExchange && negative) {
    st.SetState(station, DpState::kRefused, FunctionCodeName(reply.reply->fc), p.ref, p.at, master);
  } else if (positive && (p.service == dp::Service::kSetPrm || p.service == dp::Service::kChkCfg)) {
    st.SetState(station, DpState::kStartup, dp::ServiceName(p.service), p.ref, p.at, master);
  } else if (diagStartup) {
    st.SetState(station, DpState::kStartup, diagCause, p.ref, p.at, master);
  } else if (s.state == DpState::kNoResponse) {
    st.SetState(station, DpState::kStartup, "answered", p.ref, p.at, master);
  }
}

bool Dpv1ReadingAt(const DpSlaveFigures& slave, std::uint32_t ref) {
  const auto& readings = slave.dpv1Readings;
  const auto after = std::partition_point(readings.begin(), readings.end(),
                                          [ref](const Dpv1Reading& r) { return r.ref < ref; });
  return after != readings.begin() && std::prev(after)->dpv1;
}

const DpEventDetail DpEvent::kNoDetail{};

DpEventDetail& DpEvent::Edit() {
  if (!detail_ || detail_.use_count() > 1) {
    detail_ = std::make_shared<DpEventDetail>(detail_ ? *detail_ : kNoDetail);
  }
  // Made here as a mutable object and held by this event alone: sharers see it const.
  return const_cast<DpEventDetail&>(*detail_);
}

bool DpEvent::ShareDetail(const std::shared_ptr<const DpEventDetail>& other) {
  if (detail_ == other) return true;
  if (!detail_ || !other || !(*detail_ == *other)) return false;
  detail_ = other;
  return true;
}

namespace {

void SortEvents(DpEventLog& events) {
  const auto before = [](const DpEvent& x, const DpEvent& y) {
    return std::tie(x.ref, x.station, x.kind) < std::tie(y.ref, y.station, y.kind);
  };
  if (!std::is_sorted(events.begin(), events.end(), before)) {
    std::stable_sort(events.begin(), events.end(), before);
  }
}

}  // namespace

DpFigures DpTracker::Figures() const {
  DpFigures figures = FiguresWithoutEvents();
  figures.events = state_->events;
  SortEvents(figures.events);
  return figures;
}

DpFigures DpTracker::TakeFigures() {
  DpFigures figures = FiguresWithoutEvents();
  if (!state_->events.empty()) state_->Share(state_->events.back());
  figures.events = std::move(state_->events);
  state_->events.clear();
  SortEvents(figures.events);
  return figures;
}

DpFigures DpTracker::FiguresWithoutEvents() const {
  const State& st = *state_;
  DpFigures figures;
  const TimePoint end{hasLast_, lastTicks_, lastSteps_};
  for (std::size_t a = 0; a < kStations; ++a) {
    const Slave& s = st.slaves[a];
    if (!s.present) continue;
    DpSlaveFigures f = s.figures;
    f.state = s.state;
    if (s.changed) f.stateSinceNs = st.Ns(s.since);
    f.owner = s.Owner();
    f.identNumber = s.identNumber;
    if (const Parameters* p = s.OwnerParameters()) {
      f.watchdogMs = p->watchdogMs;
      f.groupIdent = p->groupIdent;
      f.dpv1 = p->dpv1Enable;
    }
    if (s.minTsdrBits != 0) f.minTsdrBits = s.minTsdrBits;
    f.config = s.config;
    f.lastDiag = s.lastDiag;
    if (const dp::GsdFile* gsd = s.Gsd()) st.GsdFigures(s, *gsd, f);
    for (const auto& [key, count] : s.channels) {
      f.channelErrors.push_back({std::get<0>(key), std::get<1>(key), std::get<2>(key), count});
    }
    if (st.k != 0) {
      std::int64_t inDataExchange = s.timeInDataExchangeNs;
      if (s.state == DpState::kDataExchange) {
        if (const auto open = st.Between(s.dataExchangeStart, end)) inDataExchange += *open;
      }
      f.timeInDataExchangeNs = inDataExchange;
      f.longestOutageNs = s.longestOutageNs;
      f.firstEntryNs = s.firstEntryNs;
      f.watchdogExceeded = s.figures.watchdogExceeded.value_or(0);
      f.minTsdrViolations = s.figures.minTsdrViolations.value_or(0);
    } else {
      f.longestCycleInDataExchangeNs.reset();
      f.watchdogExceeded.reset();
      f.minTsdrViolations.reset();
    }
    figures.slaves[a] = std::move(f);
  }
  figures.gsdRead = st.library != nullptr;
  for (std::size_t a = 0; a < kStations; ++a) {
    if (st.masters[a].present) figures.masters[a] = st.masters[a].figures;
  }
  for (std::size_t a = 0; a < kStations; ++a) {
    const auto& slave = figures.slaves[a];
    if (!slave || !slave->owner) continue;
    auto& owner = figures.masters[*slave->owner];
    if (!owner) owner.emplace();
    owner->slavesOwned.push_back(static_cast<std::uint8_t>(a));
  }
  return figures;
}

}  // namespace fdc
