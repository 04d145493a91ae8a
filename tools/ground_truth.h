// The ground truth of a generated run with faults: the bus health report's fault figures, kept
// from what the generator meant by each record it placed.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/faults.h"
#include "tools/traffic.h"

namespace fdc::gen {

// What fdcstat --gsd must show of a slave of a test GSD file (tests/dp/gsd), written here from
// the files themselves, apart from the bytes the generator sends.
struct GsdTextTruth {     // a text of the last diagnosis
  std::size_t block = 0;  // the block it belongs to, counted from 0 after the six status bytes
  std::string place;      // "bit 6", "area 4-11" or "channel_error 17"
  std::string text;
  std::string help;  // empty: none
  auto operator<=>(const GsdTextTruth&) const = default;
};
struct GsdModuleTruth {                 // a piece of the configuration, in slot order
  std::optional<std::string> name;      // none: bytes that no module of the file has
  std::vector<std::string> candidates;  // the modules of the same bytes, the named one first
  bool operator==(const GsdModuleTruth&) const = default;
};
struct GsdParameterTruth {            // a user parameter of the last Set_Prm
  std::optional<std::string> module;  // none: the device's
  std::size_t slot = 0;               // the module's, from 1; 0 for the device
  std::string name;
  std::int64_t value = 0;
  std::optional<std::string> text;
  bool operator==(const GsdParameterTruth&) const = default;
};
struct GsdSlaveTruth {
  std::uint8_t station = 0;
  std::string file;  // the file the analyser takes for the ident, and the others it has
  std::vector<std::string> otherFiles;
  std::string vendor;
  std::string model;
  std::string revision;
  bool rateUnsupported = false;  // the run's bus rate is not among the file's
  // Once a Chk_Cfg was taken: its modules, and how many of its bytes match none.
  std::optional<std::vector<GsdModuleTruth>> modules;
  std::uint64_t unknownConfigBytes = 0;
  std::optional<std::vector<GsdTextTruth>> diagTexts;        // once a diagnosis came
  std::optional<std::vector<GsdParameterTruth>> parameters;  // once a Set_Prm was taken
};

// Counts from each record's meaning (a poll the generator left unanswered, a repeat it sent, a
// reply it made late, early or damaged, the DP service it asked for and the diagnosis it gave),
// never from the bytes: so that a report that works the figures out from the bytes can be held
// against it. The DP state of each slave follows the analyser's rules over those meanings.
class GroundTruth {
 public:
  // `added` are the stations the faults brought onto the line: the truth also states their
  // role, station type and first appearance. For the stations in `touched`, those the faults
  // act on, it states their DP state, entries and diagnosis figures.
  // `gsd` are the slaves of the test GSD files: the truth states what the report names them by.
  GroundTruth(const BaudTiming& timing, std::vector<std::uint8_t> added,
              std::vector<std::uint8_t> touched, std::vector<GsdSlave> gsd = {});

  // One record as placed in the run: at this tick count, in this file (0 is the first).
  void Count(const TrafficRecord& record, std::uint64_t timestamp, unsigned file);

  // The run's figures, then the stations' by address, then the files'. A count of 0 has no
  // line: every fault figure without one is 0.
  std::vector<TruthLine> Lines() const;

  // The slaves of GSD files that were sent a DP request, by address, as the report must show
  // them at the run's end.
  std::vector<GsdSlaveTruth> GsdView() const;

  // What the run's layout asks of each slave's watchdog (SetWatchdogs).
  std::vector<WatchdogNeed> WatchdogNeeds() const;
  // Where the watchdogs in the run's parameters, held against the run's timing, see other
  // overruns than the faults meant; empty when they agree.
  std::string WatchdogProblem() const;

 private:
  struct Station {
    std::uint64_t noResponse = 0;
    std::array<std::uint64_t, 3> causes{};  // no reply, late, corrupt
    std::uint64_t run = 0;                  // no responses in a row, and the longest such run
    std::uint64_t runMax = 0;
    std::uint64_t repeats = 0;
    std::uint64_t chain = 0;  // repeats in a row, and the longest such chain
    std::uint64_t chainMax = 0;
    std::uint64_t late = 0;
    std::uint64_t early = 0;
    std::uint64_t illegal = 0;
    std::array<std::uint64_t, 3> negative{};  // ue, rr, rs
    std::uint64_t diagnosis = 0;
    bool listed = false;  // the report has an entry for it
    bool master = false;  // it sent a token or a request
    bool sentValid = false;
    bool polled = false;  // it was asked for a reply, FDL status requests apart
    std::int8_t type = -1;
    std::optional<std::uint64_t> firstSeenNs;
  };
  struct File {
    std::uint64_t corrupt = 0;
    std::uint64_t corruptOther = 0;  // not the corrupt reply to a poll
    std::uint64_t noResponse = 0;
    std::array<std::uint64_t, 3> causes{};  // of its polls' no responses, as the station's
    std::uint64_t repeats = 0;
  };

  enum class DpState : std::uint8_t { kUnknown, kStartup, kDataExchange, kNoResponse, kRefused };
  struct DpSlave {
    bool seen = false;  // it was sent a DP request
    DpState state = DpState::kUnknown;
    std::uint64_t entries = 0;
    std::uint64_t drops = 0;
    std::map<std::string, std::uint64_t> dropCauses;
    std::uint64_t missedCycles = 0;
    unsigned lossRow = 0;                   // losses in a row after which the master carried on
    std::array<std::uint64_t, 7> marked{};  // by bit of kDp...
    std::uint64_t diagReplies = 0;
    std::uint64_t diagChanges = 0;
    std::array<std::uint64_t, kDiagFlagCount> diagFlags{};
    bool prmAccepted = false;
    std::uint32_t watchdogMs = 0;
    // A DP request left unanswered, judged by its master's next request to the slave.
    bool lossPending = false;
    std::uint8_t lossMaster = 0;
    bool lossExchange = false;
    std::optional<std::uint64_t> lastExchangeNs;
    std::uint64_t longestNs = 0;           // waits between cycles no fault meant
    std::optional<std::uint64_t> pauseNs;  // the shortest a fault meant to outlast the watchdog
    std::uint64_t overruns = 0;            // waits beyond the parameterised watchdog
    bool prmTaken = false;                 // a Set_Prm, a Chk_Cfg were answered
    bool cfgTaken = false;
    std::optional<bool> lastDiagRunning;  // the last diagnosis did not ask for parameters
  };
  // A DP request answered: its reply is the next record.
  struct Awaiting {
    std::uint8_t station = 0;
    DpService service = DpService::kNone;
    std::uint32_t watchdogMs = 0;
  };

  void Sent(const TrafficRecord& record, std::uint64_t timestamp);
  void CountDp(const TrafficRecord& record, std::uint64_t timestamp);
  void Answered(const Awaiting& request, const RecordMeaning& reply);
  static void Lost(DpSlave& slave, bool carriedOn);
  static void Enter(DpSlave& slave, DpState state, const std::string& cause);
  void DpLines(std::size_t address, std::vector<TruthLine>& lines) const;
  // Counts the poll left unanswered before `next`, by what `next` is; a poll that ends the run is
  // not judged. True when `next` is its corrupt reply.
  bool JudgeUnanswered(const TrafficRecord& next);

  BaudTiming timing_;
  std::vector<std::uint8_t> added_;
  std::vector<std::uint8_t> touched_;
  std::vector<GsdSlave> gsd_;
  std::array<Station, 128> stations_{};
  std::array<DpSlave, 128> dp_{};
  std::optional<Awaiting> awaiting_;
  std::array<std::uint64_t, 128> clearData_{};
  std::vector<File> files_;
  struct Unanswered {
    std::uint8_t station = 0;
    unsigned file = 0;
  };
  std::optional<Unanswered> unanswered_;
  std::uint64_t corrupt_ = 0;
  std::uint64_t fcsErrors_ = 0;
  std::uint64_t edErrors_ = 0;
  std::array<std::uint64_t, 8> statusBits_{};
};

}  // namespace fdc::gen
