// BusStatistics: the bus health figures of a capture run, computed as one more consumer of the
// record loop — frame classes, request and response pairing, repeats, response, cycle and token
// rotation times, per station, per run and per minute file. All integer arithmetic on the record
// stream; BusFigures holds the results as fdcstat and the desktop's health view show them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "capture/baud_rate_table.h"
#include "engine/dp_tracker.h"
#include "engine/record_loop.h"

namespace fdc {

// count, min, max and mean of a series; when count is 0 the other three are absent.
struct SeriesFigures {
  std::uint64_t count = 0;
  std::int64_t min = 0;
  std::int64_t max = 0;
  std::int64_t mean = 0;
};

// The services a station receives, in the order in which a request is classified.
enum ServiceIndex : std::uint8_t {
  kServiceStatusPoll,
  kServiceSlaveDiag,
  kServiceSetPrm,
  kServiceChkCfg,
  kServiceGetCfg,
  kServiceRdInp,
  kServiceRdOutp,
  kServiceSetSlaveAdd,
  kServiceDataExchange,
  kServiceOther,
  kServiceCount,
};
inline constexpr std::array<std::string_view, kServiceCount> kServiceKeys = {
    "status_poll", "slave_diag", "set_prm",       "chk_cfg",       "get_cfg",
    "rd_inp",      "rd_outp",    "set_slave_add", "data_exchange", "other",
};

// The marks of frames that do not decode, as the statistics key them.
enum MalformedIndex : std::uint8_t {
  kMalformedEmpty,
  kMalformedLength,
  kMalformedLe,
  kMalformedLer,
  kMalformedSecondSd,
  kMalformedUnknownSd,
  kMalformedCount,
};
inline constexpr std::array<std::string_view, kMalformedCount> kMalformedKeys = {
    "empty", "length", "le", "ler", "second_sd", "unknown_sd"};
// The count a frame the dissector could not decode goes to.
MalformedIndex MalformedIndexOf(const Telegram& t);

// Why requests (status polls aside) got no valid reply in time: nothing valid came back (a corrupt
// record after the slot time included), a valid reply came after the slot time, or a corrupt
// record came within it.
struct NoResponseCauses {
  std::uint64_t noReply = 0;
  std::uint64_t late = 0;
  std::uint64_t corrupt = 0;
};

struct StationFigures {
  std::uint8_t address = 0;
  bool master = false;                      // "master" when it sent a token or a request
  std::optional<std::uint8_t> stationType;  // FC bits 5-4 of its last SD1/SD2/SD3 response
  std::optional<std::int64_t> firstSeenNs;  // absent also when the rate is unknown
  std::optional<std::int64_t> lastSeenNs;
  std::uint64_t framesSent = 0;
  std::uint64_t requestsSent = 0;
  std::uint64_t responsesSent = 0;
  std::uint64_t tokensSent = 0;
  std::uint64_t tokensReceived = 0;
  // As the addressed station.
  std::uint64_t requestsReceived = 0;
  std::uint64_t answered = 0;
  std::uint64_t noResponse = 0;
  NoResponseCauses noResponseCauses;  // adds up to noResponse
  std::uint64_t absentPolls = 0;
  std::uint64_t lateResponses = 0;
  std::uint64_t illegalResponses = 0;
  std::optional<std::uint64_t> earlyResponses;  // absent when the rate is unknown
  std::uint64_t repeats = 0;
  std::uint64_t repeatChainMax = 0;
  std::uint64_t noResponseRunMax = 0;
  std::optional<SeriesFigures> responseTimeBits;  // absent when the rate is unknown
  std::uint64_t negativeUe = 0;
  std::uint64_t negativeRr = 0;
  std::uint64_t negativeRs = 0;
  std::uint64_t diagnosisFlagged = 0;
  std::array<std::uint64_t, kServiceCount> services{};
  std::optional<SeriesFigures> cycleNs;          // slaves, known rate
  std::optional<SeriesFigures> tokenRotationNs;  // masters, known rate
  std::optional<std::uint64_t> ttrExceeded;      // masters, known rate, a TTR given
  std::optional<std::uint64_t> tsynViolations;   // masters, known rate
};

// The start of a record that the run's last file does not complete.
struct RecordCut {
  std::string file;          // as MinuteFigures::file names it
  std::uint32_t offset = 0;  // of its first byte in that file, the file header included
  std::uint32_t bytes = 0;   // how many of its bytes the run holds
};

// A file whose baud code differs from the first file's: its records are not timed.
struct BaudChange {
  std::string file;
  std::string baud;  // the code's name, as the dump's header block shows it
};

struct RunFigures {
  std::uint64_t files = 0;
  std::uint64_t records = 0;
  std::uint64_t valid = 0;
  std::uint64_t corrupt = 0;
  std::uint64_t syncLosses = 0;
  std::uint64_t filesCutShort = 0;
  // The last record read was a request waiting for the record after it: it is left out of the
  // pairing figures.
  bool pendingRequest = false;
  std::optional<RecordCut> lastRecordCut;  // only when the run ended normally
  std::uint64_t clockStepsBack = 0;        // records whose tick count is below the previous one's
  std::string firstStepBackFile;           // where the first of them stands (not in the JSON)
  std::vector<BaudChange> baudChanges;
  std::optional<std::string> error;  // the reader's message that ended the run
  // The message of the last failed search in a file that was left (not in the JSON).
  std::optional<std::string> searchFailure;
  std::optional<std::int64_t> startNs;  // the first and last timed record
  std::optional<std::int64_t> endNs;
  std::optional<std::int64_t> busLoadPermille;
  std::array<std::uint64_t, 8> statusBits{};  // by bit, keyed by the letters s p d r u o c e
  std::array<std::uint64_t, kMalformedCount> malformed{};
  std::uint64_t fcsErrors = 0;
  std::uint64_t edErrors = 0;
  std::vector<std::uint8_t> silentStations;
};

struct MinuteFigures {
  std::string file;                           // as the dump's "File      :" line shows it
  std::uint64_t size = 0;                     // in bytes, when it was opened (not in JSON)
  std::optional<std::int64_t> firstRecordNs;  // its first timed record (not in JSON)
  std::uint64_t records = 0;
  std::uint64_t corrupt = 0;
  std::uint64_t noResponse = 0;
  // The no responses of the requests in this file, by cause; they add up to noResponse.
  std::uint64_t noReply = 0;
  std::uint64_t late = 0;
  std::uint64_t corruptReply = 0;
  // Corrupt records of this file that are not the corrupt reply of such a request.
  std::uint64_t corruptOther = 0;
  std::uint64_t repeats = 0;
  std::uint64_t syncLosses = 0;
};

// What the health view draws besides the figures (known rate only).
struct StationSeries {
  std::uint8_t address = 0;
  // Response times of answered requests in bins of one bit time, 0 to the slot time (earlier ones
  // in the first, the slot time itself in the last), then one bin above the slot time for the
  // late responses: tslBits + 1 bins, or none when the station answered nothing.
  std::vector<std::uint64_t> responseHistogram;
  // Token rotation times of a master, per minute file in which rotations ended.
  struct MinuteRotation {
    std::uint32_t minute = 0;  // index into BusFigures::minutes
    SeriesFigures rotationNs;
  };
  std::vector<MinuteRotation> rotationByMinute;
};

struct BusFigures {
  RunFigures run;
  std::vector<StationFigures> stations;  // by address
  std::vector<MinuteFigures> minutes;    // one per capture file read
  std::vector<StationSeries> series;     // by address, stations with something to draw
  DpFigures dp;                          // the DP layer's figures and events
  // What the figures were computed with.
  std::uint16_t baudCode = 0;
  bool rateKnown = false;
  std::uint32_t tslBits = 0;
  std::optional<std::uint32_t> ttrBits;
};

// The largest slot time and target rotation time a run may be given, in bit times.
inline constexpr std::uint32_t kMaxSlotTimeBits = 16383;
inline constexpr std::uint32_t kMaxRotationBits = 16777215;

struct BusStatisticsOptions {
  std::optional<std::uint32_t> tslBits;  // slot time; default by the first file's baud rate
  std::optional<std::uint32_t> ttrBits;  // target rotation time; none: rotations are not judged
  bool dpEvents = true;                  // keep the DP layer's events (their figures count anyway)
  const dp::GsdLibrary* gsd = nullptr;   // the GSD files that name and check the DP slaves
};

class BusStatistics final : public RecordConsumer {
 public:
  explicit BusStatistics(const BusStatisticsOptions& options = {});
  ~BusStatistics() override;
  BusStatistics(const BusStatistics&) = delete;
  BusStatistics& operator=(const BusStatistics&) = delete;

  Result Begin(const RecordLoop& loop) override;
  void OnEvent(const CaptureEvent& event, const RecordLoop& loop) override;
  bool OnRecord(const RecordView& record) override;
  Result End(RunEnd how) override;

  // The figures of the records seen so far (a request still waiting for the record after it is
  // not judged). `error`: the reader's message that ended the run, if any.
  BusFigures Figures(std::optional<std::string> error = std::nullopt) const;
  // The same, the DP event log moved out rather than copied: for the end of the run.
  BusFigures TakeFigures(std::optional<std::string> error = std::nullopt);
  // A run began for it: its first capture file was opened.
  bool Begun() const;

 private:
  BusFigures FiguresWith(std::optional<std::string> error, DpFigures dp) const;

  struct State;
  BusStatisticsOptions options_;
  std::unique_ptr<State> state_;
};

// The figures of a whole run, as fdcstat and the desktop's health view compute them.
struct BusFiguresRun {
  // Ok for a run read to its end or stopped; otherwise the reader's or a consumer's failure. A run
  // that ended with a read error still has the figures of the records before it.
  Result result = Result::Ok();
  bool stopped = false;
  std::optional<BusFigures> figures;  // none when the run could not start
};

// Reads every record of the request's files (its reference window, option file, filter and
// output play no part). `alongside` are further consumers of the same records, begun before the
// statistics: one that cannot begin (fdcstat's report file) ends the run without figures.
BusFiguresRun ComputeBusFigures(const DumpRequest& request, const BusStatisticsOptions& options,
                                const RunControl& control,
                                std::span<RecordConsumer* const> alongside = {});

}  // namespace fdc
