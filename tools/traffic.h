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

  // Makes this a clean line (the module reports nothing, no request goes astray, no slave has
  // diagnosis of its own) that carries the given faults, each from its share of
  // `expectedRecords` on. Returns the first fault that does not fit this line, as a message.
  std::string InjectFaults(std::span<const Fault> faults, std::uint64_t expectedRecords,
                           std::uint64_t seed);
  // The stations the faults brought onto the line, in the order they were made.
  const std::vector<std::uint8_t>& AddedStations() const { return added_; }
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
    bool started = false;
    bool done = false;
  };

  // What the bus did last decides how long a master idles before its next request.
  enum class After { kResponse, kNoAcknowledge, kTimeout };

  void Setup();
  void FillHold();
  TrafficRecord& Emit(const Frame& frame, std::uint32_t gapBits, const RecordMeaning& meaning,
                      bool stretchable = false);
  std::uint32_t RequestGap();
  std::uint32_t Tsdr(const Slave& slave) { return slave.tsdrBits + rng_.Below(4); }
  Frame Request(const Master& master, Slave& slave, int dsap, int ssap,
                std::span<const std::uint8_t> data, bool stretchable, bool answered = true);
  void Retry(const Master& master, const Frame& request, std::uint8_t station, bool answered);
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
  ActiveFault* DueFault(std::size_t slave, bool silence);
  void Serve(const Master& master, std::size_t index);
  void Silence(const Master& master, Slave& slave, ActiveFault& fault);
  void Unanswered(const Master& master, Slave& slave, int dsap, int ssap,
                  std::span<const std::uint8_t> data, unsigned retries);
  void Startup(const Master& master, Slave& slave);
  void FaultyReply(const Master& master, const Slave& slave, const Frame& request,
                   const Frame& reply, int fc, ActiveFault& fault);
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

  bool clean_ = false;  // fault mode
  Rng faultRng_{0};
  std::vector<ActiveFault> faults_;
  std::vector<std::uint8_t> added_;
};

}  // namespace fdc::gen
