// The marks of a record: each rule on hand-made neighbours, exactly at its limit and one tick
// over; and on generated runs with faults, every record the statistics count carries its mark in
// the table's rows, read a page at a time.
#include "engine/record_marks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/bus_statistics.h"
#include "engine/record_loop.h"
#include "engine/run_index.h"
#include "tests/engine/bus_steps.h"
#include "tools/fdcgen_cli.h"

namespace fdc {
namespace {

using namespace test::steps;
using test::steps::kSc;  // the frame, not the delimiter

constexpr std::int64_t k = 16;  // 1M5: the slot time is 300 bit times, 4800 ticks
constexpr std::uint32_t kSlot = 300;

struct Frame {
  Bytes bytes;
  std::int64_t gapTicks = 0;  // the idle before it; -1: not measured
  std::uint8_t status = 0;
};

std::string MarksOfFrames(const std::optional<Frame>& before, const Frame& record,
                          const std::optional<Frame>& after, std::int64_t ticksPerBit = k) {
  Telegram telegrams[3];
  MarkedRecord marked[3];
  const std::optional<Frame>* frames[3] = {&before, nullptr, &after};
  const std::optional<Frame> own = record;
  frames[1] = &own;
  for (int i = 0; i < 3; ++i) {
    if (!frames[i]->has_value()) continue;
    Bytes bytes = (*frames[i])->bytes;
    bytes.push_back((*frames[i])->status);
    DissectTelegram(ByteView(bytes.data(), bytes.size()),
                    static_cast<std::uint8_t>(bytes.size() - 1), telegrams[i]);
    marked[i] = {&telegrams[i], !IsFaulty(telegrams[i], ByteView(bytes.data(), bytes.size())),
                 (*frames[i])->gapTicks >= 0, (*frames[i])->gapTicks};
  }
  Bytes beforeBytes;
  if (before) {
    beforeBytes = before->bytes;
    beforeBytes.push_back(before->status);
  }
  const RecordBefore told =
      before ? RecordBeforeOf(telegrams[0], ByteView(beforeBytes.data(), beforeBytes.size()))
             : RecordBefore{};
  return MarksText(MarksOf(told, marked[1], marked[2], ticksPerBit, kSlot));
}

TEST(RecordMarks, EachRuleAtItsLimit) {
  const Bytes rs = Sd1(1, 5, 0x03);
  const Bytes dh = Sd1(1, 5, 0x0a);
  const Bytes other = Sd1(6, 1, 0x7d);
  Bytes corrupt = kReply;
  corrupt[3] ^= 0xff;  // a wrong checksum
  const struct {
    const char* name;
    std::optional<Frame> before;
    Frame record;
    std::optional<Frame> after;
    const char* marks;
    std::int64_t ticksPerBit = k;
  } rows[] = {
      {"answered at the slot time", {}, {kSrd, 600}, Frame{kReply, 4800}, ""},
      {"late one tick over", {}, {kSrd, 600}, Frame{kReply, 4801}, "late reply (300 bit times)"},
      {"corrupt within it", {}, {kSrd, 600}, Frame{corrupt, 4800}, "corrupt reply"},
      {"corrupt after it",
       {},
       {kSrd, 600},
       Frame{corrupt, 4801},
       "no reply within the slot time of 300 bit times"},
      {"another request",
       {},
       {kSrd, 600},
       Frame{other, 200},
       "no reply within the slot time of 300 bit times"},
      {"an acknowledgement answers", {}, {kSrd, 600}, Frame{kSc, 200}, ""},
      {"an untimed pair answers however late", {}, {kSrd, 600}, Frame{kReply, -1}, ""},
      {"an unknown rate tests no time", {}, {kSrd, 2}, Frame{kReply, 99999}, "", 0},
      {"the run's end judges nothing", {}, {kSrd, 600}, {}, ""},
      {"an unanswered status poll", {}, {kPoll, 600}, Frame{other, 9000}, ""},
      {"no reply expected", {}, {kSendNoAck, 600}, Frame{other, 9000}, ""},
      {"early under 11 bit times",
       Frame{kSrd, 600},
       {kReply, 175},
       {},
       "early reply (10 bit times)"},
      {"in time at 11", Frame{kSrd, 600}, {kReply, 176}, {}, ""},
      {"early answering a status poll",
       Frame{kPoll, 600},
       {kReply, 100},
       {},
       "early reply (6 bit times)"},
      {"negative", Frame{kSrd, 600}, {rs, 200}, {}, "negative reply: RS"},
      {"diagnosis", Frame{kSrd, 600}, {dh, 200}, {}, "diagnosis flagged (DH)"},
      {"TSYN one tick under", {}, {kSrd, 527}, Frame{kReply, 200}, "TSYN violation (32 bit times)"},
      {"TSYN at 33", {}, {kSrd, 528}, Frame{kReply, 200}, ""},
      {"a token too soon", {}, {Token(2, 1), 100}, {}, "TSYN violation (6 bit times)"},
      {"TSYN and late",
       {},
       {kSrd, 100},
       Frame{kReply, 9000},
       "late reply (562 bit times); TSYN violation (6 bit times)"},
      {"damaged in time",
       Frame{kSrd, 600},
       {kReply, 200, 0x01},
       {},
       "illegal response; damaged frame"},
      {"damaged after the slot time", Frame{kSrd, 600}, {kReply, 4801, 0x01}, {}, "damaged frame"},
      {"a reply at the slot time", Frame{kSrd, 600}, {kReply, 4800}, {}, ""},
      {"a reply one tick over", Frame{kSrd, 600}, {kReply, 4801}, {}, "late reply (300 bit times)"},
      {"a status poll answered late",
       Frame{kPoll, 600},
       {kReply, 4801},
       {},
       "late reply (300 bit times)"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(MarksOfFrames(row.before, row.record, row.after, row.ticksPerBit), row.marks)
        << row.name;
  }
}

int Bit(RecordMarkKind kind) {
  int bit = 0;
  while ((kind >> bit) != 1) ++bit;
  return bit;
}

TEST(RecordMarks, EveryCountedRecordCarriesItsMark) {
  const std::vector<std::vector<std::string>> runs = {
      {"--baud", "1M5", "--seed", "7", "--fault",
       "outage@26:cycles=2,late:count=3,early:count=2,corrupt:count=3,rs:count=2,diag:count=2,"
       "ue,rr,missing@22"},
      {"--baud", "500K", "--seed", "3", "--saturate", "--damage", "garbage,malformed"},
  };
  for (const std::vector<std::string>& args : runs) {
    SCOPED_TRACE(args.back());
    test::TempDir dir;
    std::vector<std::string> words = {"--out", dir.File("Line1"), "--start", "1430", "--minutes",
                                      "2",     "--quiet"};
    words.insert(words.end(), args.begin(), args.end());
    const std::vector<std::string_view> views(words.begin(), words.end());
    gen::FdcgenCommand command;
    ASSERT_EQ(gen::ParseFdcgenArgs(views, command), "");
    ASSERT_TRUE(gen::GenerateRun(command.plan).ok());
    DumpRequest request;
    request.Run.base = dir.File("Line1");
    request.Run.hour = 14;
    request.Run.minute = 30;
    request.Run.count = 2;
    BusStatisticsOptions options;
    options.tslBits = kSlot;
    BusStatistics statistics(options);
    RunIndex index;
    RunIndexer indexer(index);
    RecordLoop loop(request, nullptr, RunControl(nullptr));
    RecordConsumer* const consumers[] = {&statistics, &indexer};
    const Result result = loop.Run(consumers);
    indexer.Finish(result);
    ASSERT_TRUE(result.ok());
    const BusFigures f = statistics.Figures();
    // The table's rows, read a page at a time.
    std::uint64_t counts[16] = {};
    RowReader reader(request, index, nullptr);
    reader.SetSlotTime(kSlot);
    for (std::uint64_t first = 0; first < index.Rows(); first += 997) {
      ASSERT_TRUE(reader
                      .Read(first, 997,
                            [&counts](const RowItem& item) {
                              for (int bit = 0; bit < 16; ++bit) {
                                counts[bit] += (item.marks.kinds >> bit) & 1u;
                              }
                              return true;
                            })
                      .ok());
    }
    std::uint64_t noReply = 0, late = 0, corrupt = 0, early = 0, negative = 0, flagged = 0;
    std::uint64_t tsyn = 0, lateAnswers = 0, illegal = 0;
    for (const StationFigures& s : f.stations) {
      lateAnswers += s.lateResponses;
      illegal += s.illegalResponses;
      noReply += s.noResponseCauses.noReply;
      late += s.noResponseCauses.late;
      corrupt += s.noResponseCauses.corrupt;
      early += s.earlyResponses.value_or(0);
      negative += s.negativeUe + s.negativeRr + s.negativeRs;
      flagged += s.diagnosisFlagged;
      tsyn += s.tsynViolations.value_or(0);
    }
    EXPECT_GT(noReply + late + corrupt + f.run.corrupt, 0u);
    EXPECT_EQ(counts[Bit(kMarkNoReply)], noReply);
    EXPECT_EQ(counts[Bit(kMarkLateReply)], late);
    EXPECT_EQ(counts[Bit(kMarkCorruptReply)], corrupt);
    EXPECT_EQ(counts[Bit(kMarkEarlyReply)], early);
    EXPECT_EQ(counts[Bit(kMarkNegativeReply)], negative);
    EXPECT_EQ(counts[Bit(kMarkDiagnosisFlagged)], flagged);
    EXPECT_EQ(counts[Bit(kMarkTsynViolation)], tsyn);
    EXPECT_EQ(counts[Bit(kMarkDamaged)], f.run.corrupt);
    EXPECT_EQ(counts[Bit(kMarkLateAnswer)], lateAnswers);
    EXPECT_EQ(counts[Bit(kMarkIllegalAnswer)], illegal);

    // A filter on marks, which reads one record ahead, lets through the records that carry them.
    RecordFilter marked;
    marked.marks = kMarkNoReply | kMarkLateAnswer;
    marked.slotTimeBits = kSlot;
    RunIndex matches;
    MatchIndexer matcher(matches);
    RecordLoop filtered(request, marked, RunControl(nullptr));
    RecordConsumer* const matching[] = {&matcher};
    matcher.Finish(filtered.Run(matching));
    EXPECT_EQ(matches.Rows(), noReply + lateAnswers);
    // The index's stretches lead to every one of them.
    EXPECT_EQ(index.MarkedStretch(0, true, kMarkLateAnswer, kSlot).has_value(), lateAnswers > 0);
  }
}

}  // namespace
}  // namespace fdc
