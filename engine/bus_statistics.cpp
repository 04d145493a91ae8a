// The bus health figures: frame classes, pairing of requests with the record after them,
// repeats and their chains, times in ticks turned into nanoseconds as the delta column turns
// them, per station, per run and per minute file.
#include "engine/bus_statistics.h"

#include <algorithm>
#include <memory>

#include "capture/baud_rate_table.h"
#include "engine/dp_tracker.h"
#include "engine/record_marks.h"

namespace fdc {

namespace {

constexpr std::size_t kStations = 128;  // addresses 0..127
// The shortest station delay the bus allows, and the idle time a master keeps before it sends.
constexpr std::uint8_t kLastStation = 126;  // 127 is the broadcast address

constexpr std::uint8_t kDsapSlaveDiag = 60;
constexpr std::uint8_t kDsapSetPrm = 61;
constexpr std::uint8_t kDsapChkCfg = 62;
constexpr std::uint8_t kDsapGetCfg = 59;
constexpr std::uint8_t kDsapRdInp = 56;
constexpr std::uint8_t kDsapRdOutp = 57;
constexpr std::uint8_t kDsapSetSlaveAdd = 55;

// A sum of signed 64-bit values that cannot overflow: a day of response times in ticks or of
// cycle times in nanoseconds exceeds 63 bits.
class WideSum {
 public:
  void Add(std::int64_t v) {
#if defined(__SIZEOF_INT128__)
    sum_ += v;
#else
    const std::uint64_t before = low_;
    low_ += static_cast<std::uint64_t>(v);
    high_ += (v < 0 ? -1 : 0) + (low_ < before ? 1 : 0);
#endif
  }
  // floor(sum / divisor) for divisor > 0; the quotient of the sums kept here fits 64 bits.
  std::int64_t FloorDiv(std::uint64_t divisor) const {
#if defined(__SIZEOF_INT128__)
    const __int128 d = static_cast<__int128>(divisor);
    __int128 q = sum_ / d;
    if (sum_ % d != 0 && sum_ < 0) --q;
    return static_cast<std::int64_t>(q);
#else
    // Long division of the two's complement magnitude, 64 bits at a time.
    const bool negative = high_ < 0;
    std::uint64_t hi = static_cast<std::uint64_t>(high_);
    std::uint64_t lo = low_;
    if (negative) {
      lo = ~lo + 1;
      hi = ~hi + (lo == 0 ? 1 : 0);
    }
    std::uint64_t rem = 0;
    std::uint64_t q = 0;
    for (int bit = 127; bit >= 0; --bit) {
      rem = (rem << 1) | ((bit >= 64 ? hi >> (bit - 64) : lo >> bit) & 1);
      if (rem >= divisor) {
        rem -= divisor;
        if (bit < 64) q |= std::uint64_t{1} << bit;
      }
    }
    if (!negative) return static_cast<std::int64_t>(q);
    return -static_cast<std::int64_t>(q) - (rem != 0 ? 1 : 0);
#endif
  }

 private:
#if defined(__SIZEOF_INT128__)
  __int128 sum_ = 0;
#else
  std::int64_t high_ = 0;
  std::uint64_t low_ = 0;
#endif
};

struct Series {
  std::uint64_t count = 0;
  std::int64_t min = 0;
  std::int64_t max = 0;
  WideSum sum;
  void Add(std::int64_t v) {
    if (count == 0 || v < min) min = v;
    if (count == 0 || v > max) max = v;
    ++count;
    sum.Add(v);
  }
  SeriesFigures AsIs() const {
    SeriesFigures f;
    f.count = count;
    if (count > 0) {
      f.min = min;
      f.max = max;
      f.mean = sum.FloorDiv(count);
    }
    return f;
  }
};

struct Station {
  bool present = false;  // has an entry in the station table
  bool sentValid = false;
  bool seenTimed = false;  // sent a valid frame in a timed record
  bool master = false;
  std::int16_t stationType = -1;
  std::int64_t firstSeenTicks = 0;
  std::int64_t lastSeenTicks = 0;
  std::uint64_t framesSent = 0, requestsSent = 0, responsesSent = 0, tokensSent = 0,
                tokensReceived = 0;
  std::uint64_t requestsReceived = 0, answered = 0, noResponse = 0, absentPolls = 0,
                lateResponses = 0, illegalResponses = 0, earlyResponses = 0;
  NoResponseCauses causes;
  std::uint64_t repeats = 0, repeatChain = 0, repeatChainMax = 0;
  std::uint64_t noResponseRun = 0, noResponseRunMax = 0;
  Series responseTicks;
  std::uint64_t negativeUe = 0, negativeRr = 0, negativeRs = 0, diagnosisFlagged = 0;
  std::array<std::uint64_t, kServiceCount> services{};
  // An interval is measured from the last data exchange (or token) when both ends are timed and
  // the clock stepped back nowhere after the first: `...Steps` is the run's count of steps back
  // when it was seen.
  bool hasDataExchange = false;
  bool lastDataExchangeTimed = false;
  std::int64_t lastDataExchangeTicks = 0;
  std::uint64_t lastDataExchangeSteps = 0;
  Series cycleNs;
  bool hasToken = false;
  bool lastTokenTimed = false;
  std::int64_t lastTokenTicks = 0;
  std::uint64_t lastTokenSteps = 0;
  Series rotationNs;
  std::uint64_t ttrExceeded = 0;
  std::uint64_t tsynViolations = 0;
  std::vector<std::uint64_t> histogram;  // see StationSeries
  std::vector<std::pair<std::uint32_t, Series>> rotationByMinute;
  bool receivedExpectingRequest = false;  // a request expecting a reply, status polls excluded
};

// The last request from one master to one station that expects a reply and is not a status
// poll: a request with the same bytes after it, in the same token hold, repeats it when it went
// unanswered.
struct PreviousRequest {
  bool unanswered = false;
  std::uint64_t tokenCount = 0;  // valid tokens seen before it
  std::uint8_t length = 0;
  std::array<std::uint8_t, 255> bytes{};
};

// Counts the frame's status bits and failed checks; true when the frame is valid: decoded, its
// checksum and end delimiter right and no status bit set.
bool CountFrameChecks(const Telegram& t, ByteView bytes, RunFigures& run) {
  if (t.status != 0) {
    for (std::size_t bit = 0; bit < run.statusBits.size(); ++bit) {
      if (t.status & kStatusBits[bit].mask) ++run.statusBits[bit];
    }
  }
  if (!t.Decoded()) {
    ++run.malformed[MalformedIndexOf(t)];
    return false;
  }
  bool bodyGood = true;
  if (t.HasBody()) {
    const bool fcsGood = FcsMatches(bytes, t);
    const bool edGood = t.ed == kEd;
    if (!fcsGood) ++run.fcsErrors;
    if (!edGood) ++run.edErrors;
    bodyGood = fcsGood && edGood;
  }
  return t.status == 0 && bodyGood;
}

}  // namespace

struct BusStatistics::State {
  BusStatisticsOptions options;
  const RecordLoop* loop = nullptr;
  std::int64_t k = 0;  // ticks per bit; 0 for an unknown rate
  std::int64_t slotTicks = 0;
  std::int64_t ttrTicks = 0;
  std::uint32_t tslBits = 0;
  std::uint16_t baudCode = 0;

  RunFigures run;
  std::vector<MinuteFigures> minutes;
  // Per file of the run: its records are timed (its baud code is the first file's); and that of
  // the file of the record read last.
  std::vector<bool> fileTimed;
  bool timedKnown = false;
  std::uint32_t timedFile = 0;
  bool timedFileIsTimed = false;
  std::array<Station, kStations> stations{};
  std::vector<PreviousRequest> previous;  // one per (master, station) pair met
  std::array<std::int32_t, kStations * kStations> previousIndex{};  // into `previous`, +1

  // The record before the current one.
  bool hasPrevious = false;
  bool prevTimed = false;
  std::int64_t prevTicks = 0;
  // The first and last timed record, and Σ 11·k·L over the timed records.
  bool hasTimed = false;
  std::int64_t firstTimedTicks = 0;
  std::int64_t lastTimedTicks = 0;
  std::uint8_t lastTimedLen = 0;
  WideSum busTicks;

  std::uint64_t tokenCount = 0;
  // The DP layer, fed by the pairing below.
  std::unique_ptr<DpTracker> dp;

  // A request that expects a reply and waits for the record after it. Its pairing figures are
  // counted when that record comes: a run that ends first leaves it out of them.
  bool pending = false;
  std::uint8_t pendingDa = 0;
  std::uint8_t pendingSa = 0;
  bool pendingStatusPoll = false;
  std::uint32_t pendingFile = 0;
  std::int32_t pendingPrevious = -1;  // its pair's slot in `previous`, for requests that repeat

  Station& At(std::uint8_t address) { return stations[address & kAddressMask]; }
  // The records of a file whose baud code differs from the first file's have no times: their
  // ticks count at another rate.
  bool Timed(std::uint32_t file) const {
    return k != 0 && file < fileTimed.size() && fileTimed[file];
  }
  MinuteFigures* Minute(std::uint32_t file) {
    return file < minutes.size() ? &minutes[file] : nullptr;
  }
  std::int64_t Ns(std::int64_t ticks) const { return loop->Time().TicksToNs(ticks); }

  std::vector<std::uint64_t>& Histogram(Station& station) {
    if (station.histogram.empty()) station.histogram.assign(std::size_t{tslBits} + 1, 0);
    return station.histogram;
  }

  void Include(std::uint8_t address) {
    if (address <= kLastStation) stations[address].present = true;
  }

  // What a station sent: a valid frame at `ticks`, which count only when the record is timed.
  void Sent(std::uint8_t address, std::int64_t ticks, bool timed) {
    Station& s = At(address);
    if (timed) {
      if (!s.seenTimed) s.firstSeenTicks = ticks;
      s.seenTimed = true;
      s.lastSeenTicks = ticks;
    }
    s.sentValid = true;
    ++s.framesSent;
    Include(address);
  }

  // The record after a pending request decides its outcome. `slotTest`: the pair is timed (both
  // records timed, the clock not stepped back between them), so that `gap` counts; without it a
  // matching reply answers however late, and a corrupt record is an illegal response. Returns
  // true when the record is the corrupt reply of a request that is not a status poll.
  bool Resolve(const Telegram& r, ByteView bytes, bool valid, bool slotTest, std::int64_t gap,
               bool timed, std::int64_t ticks) {
    pending = false;
    Station& station = At(pendingDa);
    ++station.requestsReceived;
    const bool inTime = !slotTest || gap <= slotTicks;
    const PairOutcome outcome = PairOutcomeOf(r, valid, inTime, pendingSa, pendingDa);
    // A short acknowledgement that answers is sent by the addressed station; one that answers
    // nothing is sent by no station.
    if (outcome == PairOutcome::kAnswered && r.kind == FrameKind::kSc) {
      Sent(pendingDa, ticks, timed);
      ++station.responsesSent;
    }
    if (outcome == PairOutcome::kLate) {
      ++station.lateResponses;
      Histogram(station)[tslBits] += 1;  // the bin above the slot time
    } else if (outcome == PairOutcome::kCorrupt) {
      ++station.illegalResponses;
    }
    if (pendingPrevious >= 0) {
      previous[static_cast<std::size_t>(pendingPrevious)].unanswered =
          outcome != PairOutcome::kAnswered;
    }
    pendingPrevious = -1;
    DpReplySeen reply;
    reply.answered = outcome == PairOutcome::kAnswered;
    reply.illegal = outcome == PairOutcome::kCorrupt;
    if (reply.answered) {
      reply.reply = &r;
      reply.bytes = bytes;
      if (slotTest) reply.responseBits = FloorDiv(gap, k);
    }
    dp->OnReply(reply);

    if (outcome == PairOutcome::kAnswered) {
      ++station.answered;
      station.noResponseRun = 0;
      Include(pendingDa);
      if (slotTest) {
        station.responseTicks.Add(gap);
        if (gap < kMinStationDelayBits * k) ++station.earlyResponses;
        const std::int64_t bits = std::clamp<std::int64_t>(FloorDiv(gap, k), 0, tslBits - 1);
        Histogram(station)[static_cast<std::size_t>(bits)] += 1;
      }
      return false;
    }
    if (pendingStatusPoll) {
      ++station.absentPolls;
      station.noResponseRun = 0;
      return false;
    }
    ++station.noResponse;
    station.noResponseRunMax = std::max(station.noResponseRunMax, ++station.noResponseRun);
    MinuteFigures* m = Minute(pendingFile);
    if (m != nullptr) ++m->noResponse;
    switch (outcome) {
      case PairOutcome::kLate:
        ++station.causes.late;
        if (m != nullptr) ++m->late;
        break;
      case PairOutcome::kCorrupt:
        ++station.causes.corrupt;
        if (m != nullptr) ++m->corruptReply;
        break;
      default:
        ++station.causes.noReply;
        if (m != nullptr) ++m->noReply;
        break;
    }
    return outcome == PairOutcome::kCorrupt;
  }

  // The slot of one (master, station) pair, made when the pair is first met.
  std::int32_t PreviousOf(std::uint8_t sa, std::uint8_t da) {
    std::int32_t& index = previousIndex[static_cast<std::size_t>((sa & kAddressMask) * kStations +
                                                                 (da & kAddressMask))];
    if (index == 0) {
      previous.emplace_back();
      index = static_cast<std::int32_t>(previous.size());
    }
    return index - 1;
  }

  // Where a frame stands in time: its record's ticks, whether they count, and the idle gap before
  // it when that is measured (both records timed, the clock not stepped back between them).
  struct Timing {
    std::uint32_t ref = 0;
    std::int64_t ticks = 0;
    bool timed = false;
    bool gapTimed = false;
    std::int64_t gap = 0;
  };

  void Request(const Telegram& t, ByteView bytes, std::uint32_t file, const Timing& at) {
    const std::uint8_t sa = t.Sa();
    const std::uint8_t da = t.Da();
    Sent(sa, at.ticks, at.timed);
    Station& sender = At(sa);
    ++sender.requestsSent;
    sender.master = true;
    if (at.gapTimed && at.gap < kSyncBits * k) ++sender.tsynViolations;

    DpRequestSeen seen;
    seen.telegram = &t;
    seen.bytes = bytes;
    seen.ref = at.ref;
    seen.ticks = at.ticks;
    seen.timed = at.timed;
    if (da == kBroadcastAddress) {  // no station entry, no reply
      dp->OnRequest(seen);
      return;
    }
    Station& station = At(da);
    const std::uint8_t code = t.fc & kRequestCodeMask;
    const bool statusPoll = code == kFcStatusRequest;
    const bool dataExchange = (code == kFcSrdLow || code == kFcSrdHigh) && !t.hasDsap;
    // The services a station receives, every request counted.
    ServiceIndex service = kServiceOther;
    if (statusPoll) {
      service = kServiceStatusPoll;
    } else if (t.hasDsap && t.dsap == kDsapSlaveDiag) {
      service = kServiceSlaveDiag;
    } else if (t.hasDsap && t.dsap == kDsapSetPrm) {
      service = kServiceSetPrm;
    } else if (t.hasDsap && t.dsap == kDsapChkCfg) {
      service = kServiceChkCfg;
    } else if (t.hasDsap && t.dsap == kDsapGetCfg) {
      service = kServiceGetCfg;
    } else if (t.hasDsap && t.dsap == kDsapRdInp) {
      service = kServiceRdInp;
    } else if (t.hasDsap && t.dsap == kDsapRdOutp) {
      service = kServiceRdOutp;
    } else if (t.hasDsap && t.dsap == kDsapSetSlaveAdd) {
      service = kServiceSetSlaveAdd;
    } else if (dataExchange) {
      service = kServiceDataExchange;
    }
    ++station.services[service];

    if (!ExpectsReplyCode(code)) {
      dp->OnRequest(seen);
      return;
    }
    seen.expectsReply = true;
    seen.statusPoll = statusPoll;
    pending = true;
    pendingDa = da;
    pendingSa = sa;
    pendingStatusPoll = statusPoll;
    pendingFile = file;
    if (statusPoll) {
      dp->OnRequest(seen);
      return;
    }

    station.receivedExpectingRequest = true;
    Include(da);
    const std::int32_t slot = PreviousOf(sa, da);
    PreviousRequest& p = previous[static_cast<std::size_t>(slot)];
    const ByteView frame = bytes.Sub(0, t.frameLen);
    const bool repeat = p.unanswered && p.tokenCount == tokenCount && p.length == frame.size() &&
                        std::equal(p.bytes.begin(), p.bytes.begin() + p.length, frame.data());
    seen.repeat = repeat;
    if (repeat) {
      ++station.repeats;
      station.repeatChainMax = std::max(station.repeatChainMax, ++station.repeatChain);
      if (MinuteFigures* m = Minute(file)) ++m->repeats;
    } else {
      station.repeatChain = 0;
      if (dataExchange) {
        if (station.hasDataExchange && at.timed && station.lastDataExchangeTimed &&
            station.lastDataExchangeSteps == run.clockStepsBack) {
          seen.cycleNs = Ns(at.ticks - station.lastDataExchangeTicks);
          station.cycleNs.Add(*seen.cycleNs);
        }
        station.hasDataExchange = true;
        station.lastDataExchangeTimed = at.timed;
        station.lastDataExchangeTicks = at.ticks;
        station.lastDataExchangeSteps = run.clockStepsBack;
      }
    }
    p.unanswered = false;
    p.tokenCount = tokenCount;
    p.length = static_cast<std::uint8_t>(frame.size());
    std::copy(frame.data(), frame.data() + frame.size(), p.bytes.begin());
    pendingPrevious = slot;
    dp->OnRequest(seen);
  }

  void Response(const Telegram& t, const Timing& at) {
    const std::uint8_t sa = t.Sa();
    Sent(sa, at.ticks, at.timed);
    Station& sender = At(sa);
    ++sender.responsesSent;
    sender.stationType = static_cast<std::int16_t>((t.fc >> 4) & 3);
    switch (t.fc & kResponseCodeMask) {
      case kFcUserError:
        ++sender.negativeUe;
        break;
      case kFcNoResource:
        ++sender.negativeRr;
        break;
      case kFcNotActivated:
        ++sender.negativeRs;
        break;
      case kFcDataHigh:
      case kFcResponseDataHigh:
        ++sender.diagnosisFlagged;
        break;
      default:
        break;
    }
  }

  void Token(const Telegram& t, std::uint32_t file, const Timing& at) {
    const std::uint8_t sa = t.Sa();
    const std::uint8_t da = t.Da();
    Sent(sa, at.ticks, at.timed);
    Station& sender = At(sa);
    ++sender.tokensSent;
    sender.master = true;
    if (at.gapTimed && at.gap < kSyncBits * k) ++sender.tsynViolations;
    Station& receiver = At(da);
    ++receiver.tokensReceived;
    if (receiver.hasToken && at.timed && receiver.lastTokenTimed &&
        receiver.lastTokenSteps == run.clockStepsBack) {
      const std::int64_t rotation = at.ticks - receiver.lastTokenTicks;
      const std::int64_t rotationNs = Ns(rotation);
      receiver.rotationNs.Add(rotationNs);
      if (options.ttrBits && rotation > ttrTicks) ++receiver.ttrExceeded;
      auto& byMinute = receiver.rotationByMinute;
      if (byMinute.empty() || byMinute.back().first != file) byMinute.emplace_back(file, Series{});
      byMinute.back().second.Add(rotationNs);
    }
    receiver.hasToken = true;
    receiver.lastTokenTimed = at.timed;
    receiver.lastTokenTicks = at.ticks;
    receiver.lastTokenSteps = run.clockStepsBack;
    ++tokenCount;
  }
};

BusStatistics::BusStatistics(const BusStatisticsOptions& options)
    : options_(options), state_(std::make_unique<State>()) {
  state_->options = options;
}

BusStatistics::~BusStatistics() = default;

Result BusStatistics::Begin(const RecordLoop& loop) {
  state_ = std::make_unique<State>();
  State& s = *state_;
  const BusStatisticsOptions& options = options_;
  s.options = options;
  s.loop = &loop;
  s.baudCode = loop.BaudCode();
  s.k = loop.Time().TicksPerBit();
  s.tslBits = options.tslBits.value_or(DefaultSlotTimeBits(s.baudCode));
  s.slotTicks = static_cast<std::int64_t>(s.tslBits) * s.k;
  s.ttrTicks = static_cast<std::int64_t>(options.ttrBits.value_or(0)) * s.k;
  s.previous.reserve(64);
  s.dp = std::make_unique<DpTracker>(s.k, &loop.Time(), options.dpEvents, options.gsd,
                                     loop.BaudCode());
  return Result::Ok();
}

void BusStatistics::OnEvent(const CaptureEvent& event, const RecordLoop& loop) {
  State& s = *state_;
  switch (event.kind) {
    case CaptureEvent::Kind::kFileOpened: {
      const CaptureFileInfo& file = loop.Captures().Files()[event.file];
      ++s.run.files;
      s.minutes.emplace_back();
      s.minutes.back().file = file.name;
      s.minutes.back().size = file.size;
      const bool sameRate = file.header.BaudCode == s.baudCode;
      if (s.fileTimed.size() <= event.file) s.fileTimed.resize(event.file + 1, true);
      s.fileTimed[event.file] = sameRate;
      if (!sameRate) {
        s.run.baudChanges.push_back({file.name, std::string(BaudRateName(file.header.BaudCode))});
      }
      break;
    }
    case CaptureEvent::Kind::kSyncLost:
      ++s.run.syncLosses;
      s.dp->OnBreak();
      if (MinuteFigures* m = s.Minute(event.file)) ++m->syncLosses;
      break;
    case CaptureEvent::Kind::kFileCutShort:
      ++s.run.filesCutShort;
      s.run.searchFailure = std::string(SyncFailureMessage(event.failure));
      break;
    case CaptureEvent::Kind::kRecordCut:
      s.run.lastRecordCut =
          RecordCut{loop.Captures().Files()[event.file].name, event.offset, event.length};
      break;
  }
}

bool BusStatistics::OnRecord(const RecordView& view) {
  State& s = *state_;
  const CaptureRecord& record = view.Record();
  const Telegram& t = view.Dissected();
  const ByteView bytes = record.Bytes();
  const auto ticks = static_cast<std::int64_t>(record.Timestamp);
  MinuteFigures* minute = s.Minute(record.File);

  // A tick count below the previous record's: the module clock stepped back (it was set, or a
  // file of another capture stands in the run). No interval across it is measured.
  const bool stepBack = s.hasPrevious && ticks < s.prevTicks;
  if (stepBack) {
    if (s.run.clockStepsBack++ == 0 && minute != nullptr) s.run.firstStepBackFile = minute->file;
    s.dp->OnStepBack();
  }
  State::Timing at;
  at.ref = record.RefNumber;
  at.ticks = ticks;
  // Records come file after file: the file's rate is looked up when the file changes.
  if (record.File != s.timedFile || !s.timedKnown) {
    s.timedFile = record.File;
    s.timedFileIsTimed = s.Timed(record.File);
    s.timedKnown = true;
  }
  at.timed = s.timedFileIsTimed;
  // The gap: idle ticks from the end of the previous record's frame, as the time base has it.
  at.gapTimed = s.hasPrevious && at.timed && s.prevTimed && !stepBack;
  at.gap = view.Time().GapTicks();
  s.hasPrevious = true;
  s.prevTimed = at.timed;
  s.prevTicks = ticks;
  if (at.timed) {
    if (!s.hasTimed) s.firstTimedTicks = ticks;
    s.hasTimed = true;
    s.lastTimedTicks = ticks;
    s.lastTimedLen = record.FrameLen;
    s.busTicks.Add(kBitsPerCharacter * s.k * record.FrameLen);
    s.dp->OnTimedRecord(ticks);
  }

  ++s.run.records;
  if (minute != nullptr) {
    if (at.timed && !minute->firstRecordNs) minute->firstRecordNs = s.Ns(ticks);
    ++minute->records;
  }
  const bool valid = CountFrameChecks(t, bytes, s.run);
  const bool corruptReply =
      s.pending && s.Resolve(t, bytes, valid, at.gapTimed, at.gap, at.timed, ticks);
  if (valid) {
    ++s.run.valid;
  } else {
    ++s.run.corrupt;
    s.dp->OnBreak();
    if (minute != nullptr) {
      ++minute->corrupt;
      if (!corruptReply) ++minute->corruptOther;
    }
    return true;
  }
  switch (t.kind) {
    case FrameKind::kSd4:
      s.Token(t, record.File, at);
      break;
    case FrameKind::kSc:
      break;  // sent by the station it answers, if any (see Resolve)
    default:
      if (t.IsRequest()) {
        s.Request(t, bytes, record.File, at);
      } else {
        s.Response(t, at);
      }
      break;
  }
  return true;
}

Result BusStatistics::End(RunEnd) { return Result::Ok(); }

BusFigures BusStatistics::Figures(std::optional<std::string> error) const {
  return FiguresWith(std::move(error), state_->dp ? state_->dp->Figures() : DpFigures{});
}

BusFigures BusStatistics::TakeFigures(std::optional<std::string> error) {
  return FiguresWith(std::move(error), state_->dp ? state_->dp->TakeFigures() : DpFigures{});
}

BusFigures BusStatistics::FiguresWith(std::optional<std::string> error, DpFigures dp) const {
  const State& s = *state_;
  BusFigures figures;
  figures.baudCode = s.baudCode;
  figures.rateKnown = s.k != 0;
  figures.tslBits = s.tslBits;
  figures.ttrBits = s.options.ttrBits;
  figures.run = s.run;
  figures.run.pendingRequest = s.pending;
  if (error) figures.run.lastRecordCut.reset();  // a run that failed was not read to its end
  figures.run.error = std::move(error);
  figures.minutes = s.minutes;
  figures.dp = std::move(dp);
  const bool known = s.k != 0 && s.loop != nullptr;
  if (known && s.hasTimed) {
    figures.run.startNs = s.Ns(s.firstTimedTicks);
    figures.run.endNs = s.Ns(s.lastTimedTicks);
    const std::int64_t span =
        s.lastTimedTicks + kBitsPerCharacter * s.k * s.lastTimedLen - s.firstTimedTicks;
    if (s.lastTimedTicks >= s.firstTimedTicks && span > 0) {
      // floor(1000 · busy / span) without forming 1000 · busy.
      const std::int64_t busy = s.busTicks.FloorDiv(1);
      figures.run.busLoadPermille = busy / span * 1000 + busy % span * 1000 / span;
    }
  }
  for (std::uint8_t address = 0; address <= kLastStation; ++address) {
    const Station& st = s.stations[address];
    if (!st.present) continue;
    if (st.receivedExpectingRequest && !st.sentValid) figures.run.silentStations.push_back(address);
    StationFigures f;
    f.address = address;
    f.master = st.master;
    if (st.stationType >= 0) f.stationType = static_cast<std::uint8_t>(st.stationType);
    if (known && st.seenTimed) {
      f.firstSeenNs = s.Ns(st.firstSeenTicks);
      f.lastSeenNs = s.Ns(st.lastSeenTicks);
    }
    f.framesSent = st.framesSent;
    f.requestsSent = st.requestsSent;
    f.responsesSent = st.responsesSent;
    f.tokensSent = st.tokensSent;
    f.tokensReceived = st.tokensReceived;
    f.requestsReceived = st.requestsReceived;
    f.answered = st.answered;
    f.noResponse = st.noResponse;
    f.noResponseCauses = st.causes;
    f.absentPolls = st.absentPolls;
    f.lateResponses = st.lateResponses;
    f.illegalResponses = st.illegalResponses;
    f.repeats = st.repeats;
    f.repeatChainMax = st.repeatChainMax;
    f.noResponseRunMax = st.noResponseRunMax;
    f.negativeUe = st.negativeUe;
    f.negativeRr = st.negativeRr;
    f.negativeRs = st.negativeRs;
    f.diagnosisFlagged = st.diagnosisFlagged;
    f.services = st.services;
    if (known) {
      f.earlyResponses = st.earlyResponses;
      // Response times in whole bit times: floor of the ticks over k.
      SeriesFigures bits = st.responseTicks.AsIs();
      if (bits.count > 0) {
        bits.min = FloorDiv(st.responseTicks.min, s.k);
        bits.max = FloorDiv(st.responseTicks.max, s.k);
        bits.mean = st.responseTicks.sum.FloorDiv(bits.count * static_cast<std::uint64_t>(s.k));
      }
      f.responseTimeBits = bits;
      if (st.master) {
        f.tokenRotationNs = st.rotationNs.AsIs();
        if (s.options.ttrBits) f.ttrExceeded = st.ttrExceeded;
        f.tsynViolations = st.tsynViolations;
      } else {
        f.cycleNs = st.cycleNs.AsIs();
      }
    }
    figures.stations.push_back(f);
    if (known && (!st.histogram.empty() || !st.rotationByMinute.empty())) {
      StationSeries series;
      series.address = address;
      series.responseHistogram = st.histogram;
      for (const auto& [minute, rotation] : st.rotationByMinute) {
        series.rotationByMinute.push_back({minute, rotation.AsIs()});
      }
      figures.series.push_back(std::move(series));
    }
  }
  return figures;
}

bool BusStatistics::Begun() const { return state_->loop != nullptr; }

BusFiguresRun ComputeBusFigures(const DumpRequest& request, const BusStatisticsOptions& options,
                                const RunControl& control,
                                std::span<RecordConsumer* const> alongside) {
  DumpRequest run = request;
  run.StartRef = 0;
  run.EndRef = 0xFFFFFFFFu;
  BusStatistics statistics(options);
  std::vector<RecordConsumer*> consumers(alongside.begin(), alongside.end());
  consumers.push_back(&statistics);
  // The loop holds the time base that turns the figures' ticks into nanoseconds, so the figures
  // are taken while it is still there.
  const auto loop = std::make_unique<RecordLoop>(run, nullptr, control);
  BusFiguresRun outcome;
  outcome.result = loop->Run(consumers);
  outcome.stopped = loop->Ended() == RunEnd::kStopped;
  if (statistics.Begun()) {
    outcome.figures = statistics.TakeFigures(
        outcome.result.failed() ? std::optional<std::string>(outcome.result.ErrorText())
                                : std::nullopt);
  }
  return outcome;
}

MalformedIndex MalformedIndexOf(const Telegram& t) {
  if (t.Empty()) return kMalformedEmpty;
  switch (t.mark) {
    case FrameMark::kLength:
    case FrameMark::kSd2Length:
    case FrameMark::kSd3Length:
      return kMalformedLength;
    case FrameMark::kLe:
      return kMalformedLe;
    case FrameMark::kLer:
      return kMalformedLer;
    case FrameMark::kSecondSd:
      return kMalformedSecondSd;
    default:
      return kMalformedUnknownSd;
  }
}

}  // namespace fdc
