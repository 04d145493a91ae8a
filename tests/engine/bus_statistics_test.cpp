// The bus health figures at the edges of their definitions: pairing a request with the record
// after it, the slot time, early, late and illegal responses, absent polls, repeats and their
// chains, an unknown baud rate, a pairing across files and across a loss of synchronisation,
// cycle and rotation times, and the run's own figures.
#include "engine/bus_statistics.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/engine/bus_steps.h"

namespace fdc {
namespace {

using namespace test::steps;
using test::steps::kSc;  // the frame, not the delimiter

TEST(BusStatistics, PairingAndTheSlotTime) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::uint64_t answered, noResponse, absent, late, illegal, early;
  };
  const Case cases[] = {
      {"reply at exactly the slot time", {{kSrd, 40}, {kReply, 300}}, 1, 0, 0, 0, 0, 0},
      {"reply one tick later", {{kSrd, 40}, {kReply, 300, 0, 1}}, 0, 1, 0, 1, 0, 0},
      {"a short acknowledgement answers", {{kSrd, 40}, {kSc, 20}}, 1, 0, 0, 0, 0, 0},
      {"early: under 11 bit times", {{kSrd, 40}, {kReply, 10}}, 1, 0, 0, 0, 0, 1},
      {"early: a negative response time", {{kSrd, 40}, {kReply, -3}}, 1, 0, 0, 0, 0, 1},
      {"exactly 11 bit times is not early", {{kSrd, 40}, {kReply, 11}}, 1, 0, 0, 0, 0, 0},
      {"a corrupt reply in time is illegal", {{kSrd, 40}, {kReply, 20, 0x40}}, 0, 1, 0, 0, 1, 0},
      {"a corrupt reply too late is neither", {{kSrd, 40}, {kReply, 301, 0x40}}, 0, 1, 0, 0, 0, 0},
      {"a reply from another station", {{kSrd, 40}, {Sd1(1, 6, 0x08), 20}}, 0, 1, 0, 0, 0, 0},
      {"a reply to another master", {{kSrd, 40}, {Sd1(2, 5, 0x08), 20}}, 0, 1, 0, 0, 0, 0},
      // The second request ends the run: it is not judged.
      {"the next request instead of a reply", {{kSrd, 40}, {kSrdOther, 400}}, 0, 1, 0, 0, 0, 0},
      {"a status poll unanswered is absent",
       {{kPoll, 40}, {kSrd, 400}, {kReply, 20}},
       1,
       0,
       1,
       0,
       0,
       0},
      {"a status poll answered late",
       {{kPoll, 40}, {kSc, 350}, {kSrd, 40}, {kReply, 20}},
       1,
       0,
       1,
       1,
       0,
       0},
      {"no reply expected", {{kSendNoAck, 40}, {Token(2, 1), 400}}, 0, 0, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const BusFigures f = FiguresOf(c.steps);
    const StationFigures* slave = StationOf(f, 5);
    if (c.answered + c.noResponse == 0) {
      // Neither answering nor asked for a reply (status polls aside): no station entry.
      EXPECT_EQ(slave, nullptr);
      continue;
    }
    ASSERT_NE(slave, nullptr);
    EXPECT_EQ(slave->answered, c.answered);
    EXPECT_EQ(slave->noResponse, c.noResponse);
    EXPECT_EQ(slave->absentPolls, c.absent);
    EXPECT_EQ(slave->lateResponses, c.late);
    EXPECT_EQ(slave->illegalResponses, c.illegal);
    EXPECT_EQ(slave->earlyResponses, c.early);
    EXPECT_EQ(slave->requestsReceived, c.answered + c.noResponse + c.absent);
  }
}

TEST(BusStatistics, AShortAcknowledgementIsSentByTheStationItAnswers) {
  const BusFigures answering = FiguresOf({{kSrd, 40}, {kSc, 20}});
  const StationFigures* slave = StationOf(answering, 5);
  ASSERT_NE(slave, nullptr);
  EXPECT_EQ(slave->framesSent, 1u);
  EXPECT_EQ(slave->responsesSent, 1u);
  EXPECT_FALSE(slave->stationType.has_value());  // an SC has no function code
  EXPECT_TRUE(answering.run.silentStations.empty());
  // Too late, it answers nothing and is sent by no station: the slave is silent.
  const BusFigures late = FiguresOf({{kSrd, 40}, {kSc, 301}});
  EXPECT_EQ(StationOf(late, 5)->framesSent, 0u);
  EXPECT_EQ(late.run.silentStations, std::vector<std::uint8_t>{5});
  EXPECT_FALSE(StationOf(late, 5)->firstSeenNs.has_value());
}

TEST(BusStatistics, RepeatsAndTheirChains) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::uint64_t repeats, chainMax, noResponseRunMax;
  };
  const Step q{kSrd, 40};
  const Step again{kSrd, 300};  // after the slot time
  const Step reply{kReply, 20};
  const Case cases[] = {
      {"one repeat", {q, again, reply}, 1, 1, 1},
      {"two repeats in a chain", {q, again, again, reply}, 2, 2, 2},
      {"after an answered request the same bytes are no repeat", {q, reply, again, reply}, 0, 0, 0},
      {"a token between: a new rotation", {q, {Token(1, 1), 300}, again, reply}, 0, 0, 1},
      {"other bytes (FCB toggled) are no repeat", {q, {kSrdOther, 300}, reply}, 0, 0, 1},
      {"a status poll between keeps the chain", {q, again, {kPoll, 300}, again, reply}, 2, 2, 2},
      // The third request is no repeat and ends the chain; the fourth repeats nothing (the
      // request before it from the same master had other bytes); the fifth repeats the fourth.
      {"a request of another kind ends the chain",
       {q, again, {Sd1(5, 1, 0x7c), 300}, again, again, reply},
       2,
       1,
       4},
      {"chains to the same station from two masters",
       {q, again, {Sd1(5, 2, 0x7d), 300}, {Sd1(5, 2, 0x7d), 300}, reply},
       2,
       1,
       4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const BusFigures f = FiguresOf(c.steps);
    const StationFigures* slave = StationOf(f, 5);
    ASSERT_NE(slave, nullptr);
    EXPECT_EQ(slave->repeats, c.repeats);
    EXPECT_EQ(slave->repeatChainMax, c.chainMax);
    EXPECT_EQ(slave->noResponseRunMax, c.noResponseRunMax);
    std::uint64_t minuteRepeats = 0;
    for (const MinuteFigures& m : f.minutes) minuteRepeats += m.repeats;
    EXPECT_EQ(minuteRepeats, c.repeats);
  }
}

TEST(BusStatistics, AnUnknownBaudRate) {
  // Code 0: no slot time test, every figure in time units absent.
  const BusFigures f =
      FiguresOf({{kSrd, 40}, {kReply, 5000}, {kSrd, 40}, {kReply, 20, 0x01}, {Token(1, 1), 40}}, 0);
  EXPECT_FALSE(f.rateKnown);
  const StationFigures* slave = StationOf(f, 5);
  ASSERT_NE(slave, nullptr);
  EXPECT_EQ(slave->answered, 1u);  // however late
  EXPECT_EQ(slave->lateResponses, 0u);
  EXPECT_EQ(slave->illegalResponses, 1u);
  EXPECT_FALSE(slave->earlyResponses.has_value());
  EXPECT_FALSE(slave->responseTimeBits.has_value());
  EXPECT_FALSE(slave->cycleNs.has_value());
  EXPECT_FALSE(slave->firstSeenNs.has_value());
  const StationFigures* master = StationOf(f, 1);
  ASSERT_NE(master, nullptr);
  EXPECT_FALSE(master->tokenRotationNs.has_value());
  EXPECT_FALSE(master->tsynViolations.has_value());
  EXPECT_FALSE(f.run.startNs.has_value());
  EXPECT_FALSE(f.run.busLoadPermille.has_value());
}

TEST(BusStatistics, PairingAcrossFilesAndAcrossALossOfSynchronisation) {
  // At 12M: k = 4. The request ends the first file; the reply begins the second.
  TempDir dir;
  CaptureBytes first(1);
  CaptureBytes second(1);
  for (int i = 0; i < 100; ++i) first.Record(static_cast<std::uint64_t>(i) * 10000, Token(1, 1));
  first.Record(2'000'000, kSrd);
  second.Record(2'000'000 + 264 + 80, kReply);  // 20 bit times after the request's end
  second.Raw({0x00, 0x01, 0x02});               // damage: the reader loses synchronisation
  second.Record(3'000'000, kSrd);
  second.Record(3'000'000 + 264 + 80, kReply);  // the record after the request, behind damage
  for (int i = 0; i < 100; ++i)
    second.Record(4'000'000 + static_cast<std::uint64_t>(i) * 10000, Token(1, 1));
  WriteRun(dir, {first, second});
  DumpRequest request;
  request.Run.base = dir.File("cap");
  request.Run.hour = 12;
  request.Run.count = 2;
  BusStatistics statistics;
  RecordLoop loop(request, nullptr, RunControl(nullptr));
  RecordConsumer* const consumers[] = {&statistics};
  ASSERT_TRUE(loop.Run(consumers).ok());
  const BusFigures f = statistics.Figures();
  const StationFigures* slave = StationOf(f, 5);
  ASSERT_NE(slave, nullptr);
  EXPECT_EQ(slave->answered, 1u + (f.run.syncLosses == 1 ? 1u : 0u));
  ASSERT_EQ(f.minutes.size(), 2u);
  EXPECT_EQ(f.minutes[0].records, 101u);
  EXPECT_EQ(f.run.files, 2u);
  ASSERT_TRUE(slave->responseTimeBits.has_value());
  EXPECT_EQ(slave->responseTimeBits->min, 20);
}

TEST(BusStatistics, CycleRotationAndTsyn) {
  // 1M5, k = 16. Data exchange to slave 5 every 1000 bit times, repeats left out; tokens to
  // master 1 every 2000 bit times; one token after an idle of 32 bit times (a TSYN violation).
  const Step token{Token(1, 1), 500};
  const BusFigures f = FiguresOf({token,
                                  {kSrd, 40},
                                  {kReply, 20},
                                  {Token(1, 1), 32},
                                  {kSrdOther, 33},
                                  {kSrdOther, 300},  // a repeat: no cycle
                                  {kReply, 20}},
                                 4, {std::nullopt, 100});
  const StationFigures* master = StationOf(f, 1);
  const StationFigures* slave = StationOf(f, 5);
  ASSERT_NE(master, nullptr);
  ASSERT_NE(slave, nullptr);
  EXPECT_TRUE(master->master);
  EXPECT_FALSE(slave->master);
  EXPECT_EQ(master->tsynViolations, 1u);
  // Between the two tokens: the token, the request and the reply with their idle times, 257 bit
  // times of 16 ticks, each tick 1000/24 ns.
  ASSERT_TRUE(master->tokenRotationNs.has_value());
  EXPECT_EQ(master->tokenRotationNs->count, 1u);
  const std::int64_t rotationTicks = (3 * 11 + 40 + 6 * 11 + 20 + 6 * 11 + 32) * 16;
  EXPECT_EQ(master->tokenRotationNs->min, rotationTicks * 1000 / 24);
  EXPECT_EQ(master->ttrExceeded, 1u);  // above 100 bit times
  ASSERT_TRUE(slave->cycleNs.has_value());
  EXPECT_EQ(slave->cycleNs->count, 1u);
  // From the first request's start to the next one that is no repeat: 250 bit times, 4000 ticks,
  // 166666 ns (4000 · 1000 / 24 truncated).
  EXPECT_EQ(slave->cycleNs->min, 166666);
  EXPECT_EQ(slave->cycleNs->mean, 166666);
  EXPECT_FALSE(master->cycleNs.has_value());
  EXPECT_FALSE(slave->tokenRotationNs.has_value());
  EXPECT_EQ(slave->repeats, 1u);
  EXPECT_EQ(slave->services[kServiceDataExchange], 3u);
}

TEST(BusStatistics, ResponseTimesInBitTimesRoundDown) {
  // Replies 20 bit times and 5 ticks, and 3 bit times and 1 tick early: floor, not truncation.
  const BusFigures f = FiguresOf({{kSrd, 40},
                                  {kReply, 20, 0, 5},
                                  {kSrd, 40},
                                  {kReply, -3, 0, -1},
                                  {kSrd, 40},
                                  {kReply, 299, 0, 15}});
  const StationFigures* slave = StationOf(f, 5);
  ASSERT_NE(slave, nullptr);
  ASSERT_TRUE(slave->responseTimeBits.has_value());
  EXPECT_EQ(slave->responseTimeBits->count, 3u);
  EXPECT_EQ(slave->responseTimeBits->min, -4);   // -49 ticks
  EXPECT_EQ(slave->responseTimeBits->max, 299);  // 4799 ticks, inside the slot time
  EXPECT_EQ(slave->responseTimeBits->mean, (325 - 49 + 4799) / 48);
  EXPECT_EQ(slave->earlyResponses, 1u);
}

TEST(BusStatistics, SeriesForTheCharts) {
  // Slot time 300 bits at 1M5: replies at 5, 5 and 299.9 bit times, one 3 bits early, one late.
  const BusFigures f = FiguresOf({{Token(1, 1), 40},
                                  {kSrd, 40},
                                  {kReply, 5},
                                  {kSrd, 40},
                                  {kReply, 5, 0, 15},
                                  {kSrd, 40},
                                  {kReply, 299, 0, 15},
                                  {kSrd, 40},
                                  {kReply, -3},
                                  {kSrd, 40},
                                  {kReply, 400},
                                  {Token(1, 1), 40}});
  ASSERT_EQ(f.series.size(), 2u);
  const StationSeries& master = f.series[0];
  const StationSeries& slave = f.series[1];
  EXPECT_EQ(master.address, 1);
  EXPECT_TRUE(master.responseHistogram.empty());
  ASSERT_EQ(master.rotationByMinute.size(), 1u);
  EXPECT_EQ(master.rotationByMinute[0].minute, 0u);
  EXPECT_EQ(master.rotationByMinute[0].rotationNs.count, 1u);
  EXPECT_EQ(slave.address, 5);
  ASSERT_EQ(slave.responseHistogram.size(), 301u);
  EXPECT_EQ(slave.responseHistogram[0], 1u);  // early, clamped to the first bin
  EXPECT_EQ(slave.responseHistogram[5], 2u);
  EXPECT_EQ(slave.responseHistogram[299], 1u);
  EXPECT_EQ(slave.responseHistogram[300], 1u);  // above the slot time
  EXPECT_TRUE(f.minutes[0].firstRecordNs.has_value());
}

TEST(BusStatistics, ServicesByFunctionAndDsap) {
  const BusFigures f = FiguresOf({
      {kPoll, 40},                               // status poll, unanswered
      {Sd2(0x85, 0x81, 0x6d, {60, 62}), 400},    // Slave_Diag
      {Sd2(1, 0x85, 0x08, {62, 60, 0, 0}), 20},  // its reply
      {Sd2(0x85, 0x81, 0x5d, {61, 62, 1}), 40},  // Set_Prm
      {Sd2(0x81, 0x85, 0x08, {62, 61}), 20},
      {Sd2(0x85, 0x81, 0x7d, {62, 62, 2}), 40},  // Chk_Cfg
      {Sd2(0x81, 0x85, 0x0a, {62, 62}), 20},     // DH: diagnosis flagged
      {Sd2(5, 1, 0x5d, {1, 2}), 40},             // data exchange
      {Sd2(1, 5, 0x03, {}), 20},                 // RS: a negative response
      {Sd2(0x85, 0x81, 0x7d, {40, 62, 1}), 40},  // another DSAP: other
      {Sd2(1, 5, 0x01, {}), 20},                 // UE
      {kSendNoAck, 40},                          // no reply expected: still a service
  });
  const StationFigures* slave = StationOf(f, 5);
  ASSERT_NE(slave, nullptr);
  EXPECT_EQ(slave->services,
            (std::array<std::uint64_t, kServiceCount>{1, 1, 1, 1, 0, 0, 0, 0, 1, 2}));
  EXPECT_EQ(slave->diagnosisFlagged, 1u);
  EXPECT_EQ(slave->negativeRs, 1u);
  EXPECT_EQ(slave->negativeUe, 1u);
  EXPECT_EQ(slave->stationType, 0);
  EXPECT_EQ(slave->answered, 5u);
  EXPECT_EQ(slave->absentPolls, 1u);
}

TEST(BusStatistics, RunFigures) {
  const BusFigures f = FiguresOf({
      {Token(1, 1), 40},
      {Bytes{0x10, 5, 1, 0x7d}, 40},                          // SD1 of 4 bytes: length
      {Bytes{kSd2, 9, 9, kSd2, 5, 1, 0x7d, 0, 0, 0}, 40},     // LE
      {Bytes{kSd2, 4, 5, kSd2, 5, 1, 0x7d, 0, 0, 0x16}, 40},  // LEr
      {Bytes{kSd2, 4, 4, 0x69, 5, 1, 0x7d, 0, 0, 0x16}, 40},  // second SD
      {Bytes{0x42}, 40},                                      // unknown SD
      {Bytes{}, 40},                                          // empty
      {Sd1(5, 1, 0x7d), 40, 0x41},                            // status bits s and c
      {Bytes{kSd1, 5, 1, 0x7d, 0x00, kEd}, 40},               // a wrong FCS
      {Bytes{kSd1, 5, 1, 0x7d, 0x83, 0x17}, 40},              // a wrong ED
  });
  EXPECT_EQ(f.run.records, 10u);
  EXPECT_EQ(f.run.valid, 1u);
  EXPECT_EQ(f.run.corrupt, 9u);
  EXPECT_EQ(f.run.malformed, (std::array<std::uint64_t, kMalformedCount>{1, 1, 1, 1, 1, 1}));
  EXPECT_EQ(f.run.fcsErrors, 1u);
  EXPECT_EQ(f.run.edErrors, 1u);
  EXPECT_EQ(f.run.statusBits[0], 1u);
  EXPECT_EQ(f.run.statusBits[6], 1u);
  ASSERT_TRUE(f.run.busLoadPermille.has_value());
  // Σ 11·k·L over the span from the first start to the last end, with 40 idle bits between.
  const std::int64_t busy = 11 * (3 + 4 + 10 + 10 + 10 + 1 + 0 + 6 + 6 + 6);
  EXPECT_EQ(*f.run.busLoadPermille, 1000 * busy / (busy + 9 * 40));
}

TEST(BusStatistics, ARequestWithNoRecordAfterItIsNotJudged) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
    bool pending;
    std::uint64_t received, noResponse, repeats, statusPolls;
  };
  const Case cases[] = {
      {"a request ends the run", {{kSrd, 40}}, true, 0, 0, 0, 0},
      {"a status poll ends the run", {{kSrd, 40}, {kReply, 20}, {kPoll, 40}}, true, 1, 0, 0, 1},
      {"a repeat ends the run, judging the request before it",
       {{kSrd, 40}, {kSrd, 301}},
       true,
       1,
       1,
       1,
       0},
      {"a reply ends the run", {{kSrd, 40}, {kReply, 20}}, false, 1, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const BusFigures f = FiguresOf(c.steps);
    EXPECT_EQ(f.run.pendingRequest, c.pending);
    const StationFigures* slave = StationOf(f, 5);
    ASSERT_NE(slave, nullptr);  // addressed by a request that expects a reply
    EXPECT_EQ(slave->requestsReceived, c.received);
    EXPECT_EQ(slave->noResponse, c.noResponse);
    EXPECT_EQ(slave->absentPolls, 0u);
    EXPECT_EQ(slave->repeats, c.repeats);
    EXPECT_EQ(slave->services[kServiceStatusPoll], c.statusPolls);
    EXPECT_EQ(f.minutes[0].noResponse, c.noResponse);
  }
}

TEST(BusStatistics, NoResponsesByCauseCountEachFaultOnce) {
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::uint16_t baud;
    NoResponseCauses station;
    std::uint64_t corruptOther;  // in the minute; its other figures mirror the station's
  };
  const Case cases[] = {
      {"nothing comes back", {{kSrd, 40}, {Token(2, 1), 400}}, 4, {1, 0, 0}, 0},
      {"a valid reply after the slot time", {{kSrd, 40}, {kReply, 301}}, 4, {0, 1, 0}, 0},
      {"a corrupt reply within it", {{kSrd, 40}, {kReply, 20, 0x40}}, 4, {0, 0, 1}, 0},
      {"a corrupt reply after it is no reply", {{kSrd, 40}, {kReply, 301, 0x40}}, 4, {1, 0, 0}, 1},
      {"a corrupt reply to a status poll", {{kPoll, 40}, {kReply, 20, 0x40}}, 4, {0, 0, 0}, 1},
      {"no slot time: late answers, corrupt is corrupt",
       {{kSrd, 40}, {kReply, 5000}, {kSrd, 40}, {kReply, 20, 0x01}},
       0,
       {0, 0, 1},
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const BusFigures f = FiguresOf(c.steps, c.baud);
    // A station polled for its status alone has no entry.
    const StationFigures* slave = StationOf(f, 5);
    const StationFigures none;
    const NoResponseCauses& got = (slave != nullptr ? slave : &none)->noResponseCauses;
    EXPECT_EQ(got.noReply, c.station.noReply);
    EXPECT_EQ(got.late, c.station.late);
    EXPECT_EQ(got.corrupt, c.station.corrupt);
    EXPECT_EQ(got.noReply + got.late + got.corrupt, (slave != nullptr ? slave : &none)->noResponse);
    const MinuteFigures& m = f.minutes[0];
    EXPECT_EQ(m.noReply, c.station.noReply);
    EXPECT_EQ(m.late, c.station.late);
    EXPECT_EQ(m.corruptReply, c.station.corrupt);
    EXPECT_EQ(m.corruptOther, c.corruptOther);
    EXPECT_EQ(m.corruptReply + m.corruptOther, m.corrupt);
  }
}

TEST(BusStatistics, NoIntervalIsMeasuredAcrossAClockThatStepsBack) {
  // Master 1 polls slave 5; the reply to the second request comes with a tick count a second
  // below the request's, as when the module's clock is set, and the token after it too.
  const std::int64_t back = -24'000'000;
  const BusFigures f =
      FiguresOfRun({FileOf({{Token(1, 1), 40},
                            {kSrd, 40},
                            {kReply, 20},
                            {kSrd, 40},
                            {kReply, 20, 0, back},       // steps back: paired untimed
                            {Token(1, 1), 20, 0, back},  // steps back again: no TSYN test
                            {kSrd, 40},
                            {kReply, 20}},
                           4, 100'000'000)},
                   {std::nullopt, 1});
  EXPECT_EQ(f.run.clockStepsBack, 2u);
  EXPECT_NE(f.run.firstStepBackFile.find("cap1200.FdcCapt"), std::string::npos);
  const StationFigures* slave = StationOf(f, 5);
  const StationFigures* master = StationOf(f, 1);
  ASSERT_NE(slave, nullptr);
  ASSERT_NE(master, nullptr);
  EXPECT_EQ(slave->answered, 3u);
  EXPECT_EQ(slave->responseTimeBits->count, 2u);  // not the reply across the step
  EXPECT_EQ(slave->cycleNs->count, 1u);           // the first two requests only
  EXPECT_EQ(master->tokenRotationNs->count, 0u);
  EXPECT_EQ(master->ttrExceeded, 0u);
  EXPECT_EQ(master->tsynViolations, 0u);
  // The last timed record lies before the first: no span, no load.
  EXPECT_LT(*f.run.endNs, *f.run.startNs);
  EXPECT_FALSE(f.run.busLoadPermille.has_value());
}

TEST(BusStatistics, AFileWithAnotherBaudCodeIsNotTimed) {
  // The second file says 12M: its ticks count at another rate.
  const CaptureBytes first = FileOf({{Token(1, 1), 40}, {kSrd, 40}, {kReply, 20}, {kSrd, 40}});
  const CaptureBytes second =
      FileOf({{kReply, 5000}, {Token(1, 1), 40}, {kSrd, 40}, {kReply, 9000}}, 1, 30'000);
  const BusFigures f = FiguresOfRun({first, second});
  ASSERT_EQ(f.run.baudChanges.size(), 1u);
  EXPECT_NE(f.run.baudChanges[0].file.find("cap1201.FdcCapt"), std::string::npos);
  EXPECT_EQ(f.run.baudChanges[0].baud, "12M");
  const StationFigures* slave = StationOf(f, 5);
  const StationFigures* master = StationOf(f, 1);
  ASSERT_NE(slave, nullptr);
  ASSERT_NE(master, nullptr);
  // However late, the replies in the untimed file answer, without a response time.
  EXPECT_EQ(slave->answered, 3u);
  EXPECT_EQ(slave->lateResponses, 0u);
  EXPECT_EQ(slave->responseTimeBits->count, 1u);
  EXPECT_EQ(slave->cycleNs->count, 1u);  // both ends in the first file
  EXPECT_EQ(master->tokenRotationNs->count, 0u);
  // Seen, start and end come from the timed records alone.
  EXPECT_EQ(*slave->lastSeenNs, *slave->firstSeenNs);
  EXPECT_EQ(*f.run.endNs, *StationOf(f, 1)->lastSeenNs);
  EXPECT_FALSE(f.minutes[1].firstRecordNs.has_value());
}

TEST(BusStatistics, ARecordCutShortAtTheEndOfTheRun) {
  CaptureBytes file = FileOf({{Token(1, 1), 40}});
  const std::size_t offset = file.bytes.size();
  file.Raw({0xDD, 0x01, 0x02});
  const BusFigures f = FiguresOfRun({file});
  ASSERT_TRUE(f.run.lastRecordCut.has_value());
  EXPECT_NE(f.run.lastRecordCut->file.find("cap1200.FdcCapt"), std::string::npos);
  EXPECT_EQ(f.run.lastRecordCut->offset, offset);
  EXPECT_EQ(f.run.lastRecordCut->bytes, 3u);
  EXPECT_EQ(f.run.records, 1u);
}

}  // namespace
}  // namespace fdc
