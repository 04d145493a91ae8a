// Seeded bus traffic: token passing between a few masters, cyclic data exchange with their
// slaves, FDL status polls, acyclic services with SAPs, with bus idle times per baud rate; and,
// on request, a clean line with bus faults whose every record says what it was meant to be.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tools/faults.h"
#include "tools/frame_builder.h"

namespace fdc::gen {

// splitmix64: our own generator, so a seed gives the same bytes with any standard library.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // 0..n-1; n > 0. The modulo bias is far below anything a capture could show.
  std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(Next() % n); }
  // True once in `n` calls on average.
  bool OneIn(std::uint32_t n) { return Below(n) == 0; }
  std::uint8_t Byte() { return static_cast<std::uint8_t>(Next() >> 56); }

 private:
  std::uint64_t state_;
};

// The capture module's clock at one bus rate, and the bus timing parameters a configuration
// tool would pick for it (in bit times).
struct BaudTiming {
  std::uint16_t code;
  std::string_view name;
  std::uint32_t ticksPerBit;
  std::uint64_t ticksPerSecond;
  std::uint32_t maxTsdrBits;  // slowest slave response; also the idle after a token or broadcast
  std::uint32_t slotBits;     // how long a master waits for a response that never comes

  std::uint64_t TicksPerMinute() const { return ticksPerSecond * 60; }
  // A frame of n characters lasts n * 11 bit times.
  std::uint64_t FrameTicks(std::size_t bytes) const { return bytes * 11u * ticksPerBit; }
  // The module's clock in nanoseconds, truncated, as the analyser's time columns give it.
  std::uint64_t TicksToNs(std::uint64_t ticks) const {
    return static_cast<std::uint64_t>(static_cast<unsigned __int128>(ticks) * 1'000'000'000u /
                                      ticksPerSecond);
  }
};

inline constexpr std::array<BaudTiming, 9> kBaudTimings = {{
    {1, "12M", 4, 48'000'000, 800, 1000},
    {2, "6M", 8, 48'000'000, 450, 600},
    {3, "3M", 16, 48'000'000, 250, 400},
    {4, "1M5", 16, 24'000'000, 150, 300},
    {5, "500K", 16, 8'000'000, 100, 200},
    {6, "187K5", 16, 3'000'000, 60, 100},
    {7, "93K75", 16, 1'500'000, 60, 100},
    {8, "19K2", 16, 307'200, 60, 100},
    {9, "9K6", 16, 153'600, 60, 100},
}};

// By code (1..9) or by name ("12M"); none for anything else.
std::optional<BaudTiming> FindBaudTiming(std::uint16_t code);
std::optional<BaudTiming> FindBaudTiming(std::string_view codeOrName);

inline constexpr std::uint8_t kNoStation = 0xFF;

// What a record was meant to be on the bus. The ground truth of a run with faults is counted
// from these, as the generator decided them, never worked out again from the bytes.
enum class RecordRole : std::uint8_t {
  kOther,       // a request that awaits no reply, such as a broadcast
  kToken,       // the token passed to the next master
  kPoll,        // a request that awaits a reply, FDL status requests apart
  kStatusPoll,  // an FDL status request
  kReply,       // a station's answer to the request just before it, or what the module made of it
};
enum class ReplyTiming : std::uint8_t { kInTime, kLate, kEarly };

// The DP service a request asks for, as its master meant it; kNone for FDL status requests and
// services of other SAPs.
enum class DpService : std::uint8_t {
  kNone,
  kDataExchange,
  kSlaveDiag,
  kSetPrm,
  kChkCfg,
  kGetCfg,
  kReadInputs,
};

// The flags of a Slave_Diag reply in the order the analyser names them: byte 1 bits 0-7, byte 2
// bits 0, 1, 2 (named for being clear), 3, 4, 5 and 7, byte 3 bit 7.
enum DiagFlag : std::uint8_t {
  kStationNonExistent,
  kStationNotReady,
  kCfgFault,
  kExtDiag,
  kNotSupported,
  kInvalidSlaveResponse,
  kPrmFault,
  kMasterLock,
  kPrmReq,
  kStatDiag,
  kBit2Clear,
  kWdOn,
  kFreezeMode,
  kSyncMode,
  kDeactivated,
  kExtDiagOverflow,
  kDiagFlagCount,
};
inline constexpr std::array<std::string_view, kDiagFlagCount> kDiagFlagNames = {
    "station_non_existent",
    "station_not_ready",
    "cfg_fault",
    "ext_diag",
    "not_supported",
    "invalid_slave_response",
    "prm_fault",
    "master_lock",
    "prm_req",
    "stat_diag",
    "bit2_clear",
    "wd_on",
    "freeze_mode",
    "sync_mode",
    "deactivated",
    "ext_diag_overflow"};
constexpr std::uint16_t DiagBit(DiagFlag flag) { return static_cast<std::uint16_t>(1u << flag); }
// The flags that send a slave back to its start-up, in the order a cause names them.
inline constexpr std::array<DiagFlag, 5> kStartupFlags = {kStationNonExistent, kStationNotReady,
                                                          kCfgFault, kPrmFault, kPrmReq};

// DP faults that the generator put into a record (RecordMeaning::dpFaults): a new request with
// the last one's frame count bit, a repeat with it toggled, data exchange after a pause beyond
// the slave's watchdog, ...
inline constexpr std::uint16_t kDpFcbNotToggled = 1u << 0;
inline constexpr std::uint16_t kDpFcbToggledOnRepeat = 1u << 1;
inline constexpr std::uint16_t kDpWatchdog = 1u << 2;
inline constexpr std::uint16_t kDpCfgMismatch = 1u << 3;  // a Get_Cfg reply unlike Chk_Cfg
inline constexpr std::uint16_t kDpIoLength = 1u << 4;     // data exchange of the wrong length
inline constexpr std::uint16_t kDpMinTsdr = 1u << 5;      // a reply before the slave's min TSDR
inline constexpr std::uint16_t kDpClearData = 1u << 6;    // Global_Control with Clear_Data

// The slaves that the test GSD files (tests/dp/gsd) describe, as fdcgen --gsd-slaves puts them
// on a line: a compact DP-V0 slave of ident 0x7F01, and two modular DP-V1 stations of ident
// 0x7F02 with different modules. Each sends its file's configuration and parameters and has a
// diagnosis of its own, one while it awaits its parameters and one once it runs.
enum class GsdProfile : std::uint8_t {
  kNone,
  kCompact,       // 0x7F01: "8 DI"
  kStation,       // 0x7F02: "8 DO", "2 AI", "Counter", "Empty"
  kOtherStation,  // 0x7F02: "2 AI", "8 DO", "8 DO" and an identifier no module has
};
struct GsdSlave {
  std::uint8_t station = 0;
  GsdProfile profile = GsdProfile::kNone;
};
struct GsdDevice;  // what such a slave sends (traffic.cpp)

// What a laid-out run asks of one slave's watchdog: not to notice the longest wait between two
// of its data exchange cycles, and to notice the shortest pause a fault meant it to.
struct WatchdogNeed {
  std::uint8_t station = 0;
  std::uint64_t longestNs = 0;
  std::optional<std::uint64_t> pauseNs;
};

struct RecordMeaning {
  RecordRole role = RecordRole::kOther;
  // Who sent it: none for a short acknowledgement that answers nothing, as the report sees it.
  std::uint8_t sender = kNoStation;
  std::uint8_t station = kNoStation;  // a request's addressee; for a reply, the station replying
  bool answered = false;              // a request: the record after it answers it in time
  // A poll: the unanswered one before it again, byte for byte, in the same token hold.
  bool repeat = false;
  ReplyTiming timing = ReplyTiming::kInTime;
  std::int8_t stationType = -1;  // a reply with a function code: its bits 5-4; -1 for SC
  std::uint8_t function = 0;     // a reply with a function code: its bits 3-0
  bool badFcs = false;           // the check byte was damaged on the way
  bool badEd = false;            // the end delimiter was damaged on the way
  // DP, on a clean line.
  DpService dp = DpService::kNone;  // a request: the service it asks for
  std::uint16_t diagFlags = 0;      // a Slave_Diag reply: the flags it reports (DiagBit)
  bool diagChanged = false;         // ... and whether its bytes differ from the slave's last one
  std::uint16_t dpFaults = 0;       // kDp... bits
  std::uint32_t watchdogMs = 0;     // a Set_Prm request: the watchdog it sets, 0 for none
};

// One frame of generated traffic with the bus idle time before it.
struct TrafficRecord {
  Frame frame;
  std::uint8_t status = 0;
  std::uint32_t gapBits = 0;      // idle bit times between the previous frame's end and this one
  std::uint32_t jitterTicks = 0;  // below one bit time: where in the bit the module saw the start
  bool stretchable = false;       // a master starts a cycle here; a quieter bus idles longer here
  RecordMeaning meaning;

  bool AwaitsReply() const {
    return meaning.role == RecordRole::kPoll || meaning.role == RecordRole::kStatusPoll;
  }
};

class TrafficGenerator {
 public:
  TrafficGenerator(std::uint64_t seed, const BaudTiming& timing);

  // The next frame on the bus. The generator is a plain value: a copy continues identically.
  const TrafficRecord& Next();

  // A longest SD2 telegram (255 bytes) between a master and one of its slaves: a write of
  // 240 data bytes. Takes its bytes from `rng`, not from the traffic's own sequence.
  Frame LongestTelegram(Rng& rng) const;
  // A master and one of its slaves, for telegrams built beside the traffic.
  void PickLink(Rng& rng, std::uint8_t& master, std::uint8_t& slave) const;

  // Gives the line's first slaves (by address) the GSD profiles in the order kCompact, kStation,
  // kOtherStation; before InjectFaults, which a line with them needs. Draws nothing from the
  // traffic's own sequence.
  void UseGsdSlaves();
  // The slaves UseGsdSlaves made, by address.
  std::vector<GsdSlave> GsdSlaves() const;

  // Makes this a clean line (the module reports nothing, no request goes astray, no slave but
  // those of GSD files has diagnosis of its own) that carries the given faults, each from its
  // share of `expectedRecords` on. Returns the first fault that does not fit this line, as a
  // message.
  std::string InjectFaults(std::span<const Fault> faults, std::uint64_t expectedRecords,
                           std::uint64_t seed);
  // The stations the faults brought onto the line, in the order they were made.
  const std::vector<std::uint8_t>& AddedStations() const { return added_; }
  // The stations the faults act on, added ones included.
  const std::vector<std::uint8_t>& FaultStations() const { return touched_; }
  // Gives each slave on a clean line the watchdog its cycles leave room for (off where none
  // does); the frames keep their sizes, so that the run keeps its layout. Returns the first
  // pause that no watchdog can tell from the slave's cycles, as a message.
  std::string SetWatchdogs(std::span<const WatchdogNeed> needs);
  // The record that Next() returns next, when it is made already: always so after a request.
  const TrafficRecord* Peek() const { return holdNext_ < holdSize_ ? &hold_[holdNext_] : nullptr; }
  // What a master sends in place of `request` where the run ends before its reply could come: a
  // broadcast, which awaits none.
  TrafficRecord StandIn(const TrafficRecord& request) const;

 private:
  struct Slave {
    std::uint8_t address = 0;
    std::size_t master = 0;
    std::uint8_t outputs = 0;
    std::uint8_t inputs = 0;
    bool fcb = false;
    std::uint32_t tsdrBits = 11;
    std::array<std::uint8_t, 32> out{};
    std::array<std::uint8_t, 32> in{};
    std::uint16_t ident = 0;
    bool diagPending = false;
    bool present = true;   // on the bus: it answers FDL status requests
    bool silent = false;   // answers nothing at all
    bool startup = false;  // the master must parameterise it before data exchange
    // A clean line's DP side.
    bool fcbInStep = false;      // the master's frame count runs in step; else it resets it
    bool parameterised = false;  // the slave runs with its master's parameters
    bool refuses = false;        // it left data exchange and refuses the next request (RS)
    // The diagnosis flags it reports besides ext_diag: at first, that it awaits parameters.
    std::uint16_t condition = DiagBit(kPrmReq);
    bool dpv1 = false;  // parameterised for DP-V1
    bool wdOn = true;
    std::uint8_t wdFact1 = 1;
    std::uint8_t wdFact2 = 20;
    std::array<std::uint8_t, 8> ext{};  // the extended diagnosis it holds
    std::size_t extSize = 0;
    std::array<std::uint8_t, 32> lastDiag{};  // the diagnosis it gave last
    std::size_t lastDiagSize = 0;
    // A slave of a test GSD file, and the bit time where its last new data exchange request
    // started, to keep its file's min slave interval.
    const GsdDevice* gsd = nullptr;
    std::optional<std::uint64_t> exchangeBit;
  };
  struct Master {
    std::uint8_t address = 0;
    std::vector<std::size_t> slaves;
    std::uint8_t gapFirst = 0;  // the addresses this master polls for new stations
    std::uint8_t gapLast = 0;   // (inclusive; gapFirst > gapLast when it has none)
    std::uint8_t gapNext = 0;
    bool present = true;  // in the token ring
  };
  // A fault on its way: where it acts, from which record on, and how much of it is left.
  struct ActiveFault {
    Fault fault;
    std::size_t target = 0;  // index of its slave, or of its master
    std::uint64_t start = 0;
    unsigned left = 0;
    unsigned used = 0;
    unsigned row = 0;  // missed cycles: losses in the current row
    bool started = false;
    bool done = false;
  };

  // What the bus did last decides how long a master idles before its next request.
  enum class After { kResponse, kNoAcknowledge, kTimeout };
  // Where in a hold a fault acts on its slave.
  enum class FaultPhase { kNone, kSilence, kPause, kStartup, kExchange, kRead };

  void Setup();
  void FillHold();
  TrafficRecord& Emit(const Frame& frame, std::uint32_t gapBits, const RecordMeaning& meaning,
                      bool stretchable = false);
  std::uint32_t RequestGap();
  std::uint32_t ExchangeGap(Slave& slave, std::uint32_t gapBits);
  std::uint32_t Tsdr(const Slave& slave) { return slave.tsdrBits + rng_.Below(4); }
  Frame Request(const Master& master, Slave& slave, int dsap, int ssap,
                std::span<const std::uint8_t> data, bool stretchable, bool answered = true);
  void Retry(const Master& master, const Frame& request, Slave& slave, bool answered,
             DpService service);
  void Respond(const Master& master, const Slave& slave, std::uint8_t fc, int dsap, int ssap,
               std::span<const std::uint8_t> data);
  void Acknowledge(const Slave& slave);
  void DataExchange(const Master& master, Slave& slave, bool first);
  void AcyclicService(const Master& master, Slave& slave, unsigned service);
  void GlobalControl(const Master& master);
  void GapPoll(Master& master);
  void PassToken();

  // Fault mode.
  void FillFaultHold();
  void StartDueFaults();
  static FaultPhase PhaseOf(FaultKind kind);
  ActiveFault* DueFault(std::size_t slave, FaultPhase phase);
  void Serve(const Master& master, std::size_t index);
  void Silence(const Master& master, Slave& slave, ActiveFault& fault);
  void Unanswered(const Master& master, Slave& slave, int dsap, int ssap,
                  std::span<const std::uint8_t> data, unsigned retries);
  std::uint8_t FrameCount(Slave& slave, bool answered);
  bool Startup(const Master& master, Slave& slave);
  void ReadDiagnosis(const Master& master, Slave& slave);
  void SetParameters(const Master& master, Slave& slave, bool wrong);
  void CheckConfiguration(const Master& master, Slave& slave, bool wrong);
  void ReadConfiguration(const Master& master, Slave& slave, bool differs);
  void CleanExchange(const Master& master, Slave& slave, ActiveFault* pause);
  bool LoseExchange(const Master& master, Slave& slave, ActiveFault& fault);
  void FaultyReply(const Master& master, Slave& slave, const Frame& request, const Frame& reply,
                   int fc, ActiveFault& fault);
  void ClearData(const Master& master, ActiveFault& fault);
  TrafficRecord& Last() { return hold_[holdSize_ - 1]; }
  void JoinRing();
  void SetGaps();
  Slave NewSlave(std::uint8_t address, std::size_t master);

  BaudTiming timing_;
  Rng rng_;
  std::vector<Master> masters_;
  std::vector<Slave> slaves_;
  std::size_t holder_ = 0;  // index of the master that holds the token
  After after_ = After::kNoAcknowledge;
  std::vector<TrafficRecord> hold_;  // the frames of the current token hold
  std::size_t holdSize_ = 0;
  std::size_t holdNext_ = 0;
  std::uint64_t emitted_ = 0;  // records made so far: where the run stands, in records
  // Where the next record's idle starts, in bit times from the first record's: the frames and
  // their idle times as made. A run's layout only ever adds idle time, so that two records are
  // at least as far apart in the run as here.
  std::uint64_t bitClock_ = 0;

  bool clean_ = false;  // fault mode
  Rng faultRng_{0};
  std::vector<ActiveFault> faults_;
  std::vector<std::uint8_t> added_;
  std::vector<std::uint8_t> touched_;
};

}  // namespace fdc::gen
