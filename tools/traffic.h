// Seeded bus traffic: token passing between a few masters, cyclic data exchange with their
// slaves, FDL status polls, acyclic services with SAPs, with bus idle times per baud rate.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

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

// One frame of generated traffic with the bus idle time before it.
struct TrafficRecord {
  Frame frame;
  std::uint8_t status = 0;
  std::uint32_t gapBits = 0;      // idle bit times between the previous frame's end and this one
  std::uint32_t jitterTicks = 0;  // below one bit time: where in the bit the module saw the start
  bool stretchable = false;       // a master starts a cycle here; a quieter bus idles longer here
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
  };
  struct Master {
    std::uint8_t address = 0;
    std::vector<std::size_t> slaves;
    std::uint8_t gapFirst = 0;  // the addresses this master polls for new stations
    std::uint8_t gapLast = 0;   // (inclusive; gapFirst > gapLast when it has none)
    std::uint8_t gapNext = 0;
  };

  // What the bus did last decides how long a master idles before its next request.
  enum class After { kResponse, kNoAcknowledge, kTimeout };

  void Setup();
  void FillHold();
  void Emit(const Frame& frame, std::uint32_t gapBits, bool stretchable = false);
  std::uint32_t RequestGap();
  std::uint32_t Tsdr(const Slave& slave) { return slave.tsdrBits + rng_.Below(4); }
  void Request(const Master& master, Slave& slave, int dsap, int ssap,
               std::span<const std::uint8_t> data, bool stretchable);
  void Respond(const Master& master, const Slave& slave, std::uint8_t fc, int dsap, int ssap,
               std::span<const std::uint8_t> data);
  void DataExchange(const Master& master, Slave& slave, bool first);
  void AcyclicService(const Master& master, Slave& slave, unsigned service);
  void GlobalControl(const Master& master);
  void GapPoll(Master& master);
  void PassToken();

  BaudTiming timing_;
  Rng rng_;
  std::vector<Master> masters_;
  std::vector<Slave> slaves_;
  std::size_t holder_ = 0;  // index of the master that holds the token
  After after_ = After::kNoAcknowledge;
  std::vector<TrafficRecord> hold_;  // the frames of the current token hold
  std::size_t holdSize_ = 0;
  std::size_t holdNext_ = 0;
};

}  // namespace fdc::gen
