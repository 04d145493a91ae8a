// Reading a run from the middle: a checkpoint after any record resumes exactly as the first pass
// went on, across damage and file changes; the indexes of all rows and of a filter's matches read
// any row at random as a pass from the start reads it.
#include "engine/run_index.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "options/show_only_compiler.h"
#include "tests/support/test_support.h"

namespace fdc {
namespace {

using test::CaptureBytes;
using test::TempDir;

std::string SourceDir() {
  const char* dir = std::getenv("FDC_SOURCE_DIR");
  return dir != nullptr ? dir : ".";
}

DumpRequest GoldenRun(const std::string& kind) {
  DumpRequest request;
  request.Run.base = SourceDir() + "/tests/golden/runs/" + kind + "/Line2";
  request.Run.hour = 23;
  request.Run.minute = 58;
  request.Run.count = 3;
  return request;
}

// One row as text: what is compared between a pass from the start and a reader.
std::string RowText(const RowItem& item) {
  if (item.kind == RowKind::kSyncLost) {
    return "lost at " + std::to_string(item.event->offset) + " after " +
           std::to_string(item.event->lastRefNumber);
  }
  if (item.kind == RowKind::kFileCutShort) return "cut " + std::to_string(item.event->file);
  if (item.kind == RowKind::kRecordCut) {
    return "record cut in " + std::to_string(item.event->file) + " at " +
           std::to_string(item.event->offset) + ", " + std::to_string(item.event->length) +
           " bytes";
  }
  std::string text = std::to_string(item.record->RefNumber) + " t" +
                     std::to_string(item.record->Timestamp) + " g" + std::to_string(item.gapNs) +
                     " a" + std::to_string(item.absNs) + (item.faulty ? " faulty" : "") + " m" +
                     std::to_string(item.marks.kinds);
  for (std::uint8_t i = 0; i < item.record->FrameLen; ++i)
    text += " " + std::to_string(item.record->Frame[i]);
  return text;
}

// The rows of a whole run as an index pass and a reader from the start see them.
struct Indexed {
  RunIndex index;
  std::vector<std::string> rows;
};

void IndexAndReadAll(const DumpRequest& request, const RecordFilter* filter, Indexed& out) {
  RecordLoop loop(request, filter != nullptr ? *filter : RecordFilter{}, RunControl(nullptr));
  Result result = Result::Ok();
  if (filter == nullptr) {
    RunIndexer indexer(out.index);
    RecordConsumer* const consumers[] = {&indexer};
    result = loop.Run(consumers);
    indexer.Finish(result);
  } else {
    MatchIndexer indexer(out.index);
    RecordConsumer* const consumers[] = {&indexer};
    result = loop.Run(consumers);
    indexer.Finish(result);
  }
  ASSERT_TRUE(out.index.Complete());
  RowReader reader(request, out.index, filter);
  const Result read = reader.Read(0, out.index.Rows(), [&](const RowItem& item) {
    EXPECT_EQ(item.row, out.rows.size());
    out.rows.push_back(RowText(item));
    return true;
  });
  EXPECT_TRUE(!read.failed() || result.failed()) << read.ErrorText();
  EXPECT_EQ(out.rows.size(), out.index.Rows());
}

TEST(RunIndex, ACheckpointResumesAsTheFirstPassWentOn) {
  // After every record of every damaged run, a cursor resumed at the checkpoint reads the same
  // next record (and events) as the pass that took it.
  for (const char* kind :
       {"garbage", "sync", "len0", "len255", "malformed", "split", "truncated", "header-only"}) {
    SCOPED_TRACE(kind);
    const DumpRequest request = GoldenRun(kind);
    struct Recorder : RecordConsumer {
      const RecordLoop* loop = nullptr;
      std::vector<RunCheckpoint> checkpoints;
      std::vector<std::string> next;  // the record after each checkpoint
      std::vector<CaptureFileInfo> files;
      Result Begin(const RecordLoop& l) override {
        loop = &l;
        return Result::Ok();
      }
      bool OnRecord(const RecordView& view) override {
        next.push_back(std::to_string(view.RefNumber()) + "@" +
                       std::to_string(view.Record().Timestamp) + " g" +
                       std::to_string(view.Time().GapTimeNs()));
        checkpoints.push_back(loop->Checkpoint());
        files = loop->Captures().Files();
        return true;
      }
    } recorder;
    RecordLoop loop(request, nullptr, RunControl(nullptr));
    RecordConsumer* const consumers[] = {&recorder};
    (void)loop.Run(consumers);
    ASSERT_GT(recorder.next.size(), 100u);
    for (std::size_t i = 0; i + 1 < recorder.next.size(); ++i) {
      RunCursor cursor(request);
      ASSERT_TRUE(cursor.Resume(recorder.checkpoints[i], recorder.files).ok());
      const Result read = cursor.Next();
      ASSERT_TRUE(read.ok()) << i << ": " << read.ErrorText();
      EXPECT_EQ(std::to_string(cursor.Record().RefNumber) + "@" +
                    std::to_string(cursor.Record().Timestamp) + " g" +
                    std::to_string(cursor.Time().GapTimeNs()),
                recorder.next[i + 1]);
    }
  }
}

TEST(RunIndex, ARecordCutShortAtTheEndIsTheLastRow) {
  Indexed all;
  IndexAndReadAll(GoldenRun("truncated"), nullptr, all);
  ASSERT_FALSE(all.rows.empty());
  EXPECT_EQ(all.rows.back(), "record cut in 2 at 2814, 19 bytes");
  EXPECT_EQ(all.index.Rows(), all.index.Records() + 1);
}

// A run of two files with damage in each, long enough for several index entries: status polls
// of stations 2 and 3, short acknowledgements after some of them (a few after the slot time),
// tokens between.
void WriteLongRun(const TempDir& dir) {
  const std::vector<std::uint8_t> token = {0xdc, 0x02, 0x01};
  const std::vector<std::uint8_t> poll2 = {0x10, 0x02, 0x01, 0x49, 0x4c, 0x16};
  const std::vector<std::uint8_t> poll3 = {0x10, 0x03, 0x01, 0x49, 0x4d, 0x16};
  const std::vector<std::uint8_t> sc = {0xe5};
  auto frame = [&](int i, int every) -> const std::vector<std::uint8_t>& {
    if (i % every == 0) return i % (2 * every) == 0 ? poll3 : poll2;
    return i % every == 1 && i % 3 != 0 ? sc : token;
  };
  // 12M: 4 ticks a bit, a slot time of 1000 bits.
  auto step = [](int i, int every) { return i % every == 1 && i % 3 == 1 ? 5000u : 100u; };
  CaptureBytes first;
  CaptureBytes second;
  std::uint64_t t = 0;
  for (int i = 0; i < 9000; ++i) {
    first.Record(t += step(i, 7), frame(i, 7), i % 1000 == 999 ? 0x40 : 0);
    if (i == 5000) first.Raw({0x00, 0x01});
  }
  for (int i = 0; i < 6000; ++i) {
    second.Record(t += step(i, 5), frame(i, 5));
    if (i == 3000) second.Raw(std::vector<std::uint8_t>(300, 0x55));  // the rest is left
  }
  test::WriteRun(dir, {first, second, second});
}

TEST(RunIndex, AnyRowReadsAsAPassFromTheStartReadsIt) {
  TempDir dir;
  WriteLongRun(dir);
  DumpRequest request;
  request.Run.base = dir.File("cap");
  request.Run.hour = 12;
  request.Run.count = 3;
  ShowOnlyProgram sd1;
  ASSERT_TRUE(CompileShowOnlyText("SD == SD1#", sd1).ok());
  RecordFilter onlySd1;
  onlySd1.program = &sd1;
  RecordFilter faults;
  faults.marks = kMarkDamaged;
  // Its acknowledgements are judged by the record before them, also right after an entry.
  RecordFilter station3;
  station3.station = 3;
  struct Case {
    const char* name;
    const RecordFilter* filter;
  };
  const Case cases[] = {{"every row", nullptr},
                        {"SD1 only", &onlySd1},
                        {"faults", &faults},
                        {"station 3 and its acknowledgements", &station3}};
  std::mt19937 random(7);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Indexed all;
    IndexAndReadAll(request, c.filter, all);
    ASSERT_GT(all.rows.size(), 0u);
    RowReader reader(request, all.index, c.filter);
    for (int trial = 0; trial < 40; ++trial) {
      const std::uint64_t first = random() % all.rows.size();
      const std::uint64_t count = 1 + random() % 50;
      std::vector<std::string> seen;
      ASSERT_FALSE(reader
                       .Read(first, count,
                             [&](const RowItem& item) {
                               seen.push_back(RowText(item));
                               return true;
                             })
                       .failed());
      const std::uint64_t end = std::min<std::uint64_t>(first + count, all.rows.size());
      ASSERT_EQ(seen.size(), end - first);
      for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], all.rows[first + i]);
    }
  }
}

TEST(RunIndex, AnIndexReadOnAfterTheRunGrewIsTheWholeRunsIndex) {
  // A run that a module is still writing: read on from the last entry of the index of what was
  // there, the index is the one a pass over the whole run makes.
  const std::vector<std::uint8_t> poll = {0x10, 0x02, 0x01, 0x49, 0x4c, 0x16};
  const std::vector<std::uint8_t> token = {0xdc, 0x02, 0x01};
  std::vector<CaptureBytes> files(3);
  std::uint64_t t = 0;
  for (CaptureBytes& file : files) {
    for (int i = 0; i < 7000; ++i) {
      file.Record(t += i % 11 == 5 ? 5000u : 100u, i % 2 == 0 ? poll : token,
                  i % 997 == 0 ? 0x40 : 0);
    }
  }
  struct Case {
    const char* name;
    unsigned countBefore;
    std::size_t lastFileBytesBefore;  // 0: whole
  };
  const Case cases[] = {{"a new minute file", 2, 0},
                        {"the last file grew, a record cut at its end", 3, 50'003},
                        {"the last file grew from its header alone", 3, kCaptureHeaderSize}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::vector<CaptureBytes> before = files;
    if (c.lastFileBytesBefore != 0) before.back().bytes.resize(c.lastFileBytesBefore);
    test::WriteRun(dir, before);
    DumpRequest request;
    request.Run.base = dir.File("cap");
    request.Run.hour = 12;
    request.Run.count = c.countBefore;
    Indexed done;
    IndexAndReadAll(request, nullptr, done);

    test::WriteRun(dir, files);
    request.Run.count = 3;
    RunIndex readOn;
    const auto from = readOn.SeedFrom(done.index);
    ASSERT_TRUE(from.has_value());
    RecordLoop loop(request, nullptr, RunControl(nullptr));
    loop.ResumeAt(from->entry.at, from->opened);
    RunIndexer indexer(readOn, from->entry);
    RecordConsumer* const consumers[] = {&indexer};
    const Result result = loop.Run(consumers);
    indexer.Finish(result);
    ASSERT_TRUE(result.ok()) << result.ErrorText();

    Indexed whole;
    IndexAndReadAll(request, nullptr, whole);
    EXPECT_EQ(readOn.Records(), whole.index.Records());
    ASSERT_EQ(readOn.Rows(), whole.index.Rows());
    EXPECT_EQ(readOn.Files().size(), 3u);
    RowReader reader(request, readOn, nullptr);
    std::vector<std::string> rows;
    ASSERT_TRUE(reader
                    .Read(0, readOn.Rows(),
                          [&](const RowItem& item) {
                            rows.push_back(RowText(item));
                            return true;
                          })
                    .ok());
    EXPECT_EQ(rows, whole.rows);
    for (std::uint64_t row = 0; row < whole.index.Rows(); row += 1000) {
      for (const std::uint16_t kinds : {kMarkDamaged, kMarkLateReply}) {
        EXPECT_EQ(readOn.MarkedStretch(row, true, kinds, 1000),
                  whole.index.MarkedStretch(row, true, kinds, 1000));
      }
    }
  }
}

TEST(RunIndex, RowsEventsRecordsAndFaults) {
  TempDir dir;
  WriteLongRun(dir);
  DumpRequest request;
  request.Run.base = dir.File("cap");
  request.Run.hour = 12;
  request.Run.count = 3;
  Indexed all;
  IndexAndReadAll(request, nullptr, all);
  // 9000 records and a loss; 3001 records, a loss and the file left; 3001 again, and a loss in
  // the last file, where the failed search ends the run.
  EXPECT_EQ(all.index.Records(), 9000u + 3001u + 3001u);
  EXPECT_EQ(all.index.Rows(), all.index.Records() + 1 + 2 + 1);
  EXPECT_EQ(all.index.Error(), "Capture File Sync Error: SYNC_MARK not found");
  EXPECT_EQ(all.rows.back().rfind("lost at", 0), 0u);
  EXPECT_EQ(all.rows[5001].rfind("lost at", 0), 0u);
  const auto entry = all.index.EntryForRecord(9001);
  ASSERT_TRUE(entry.has_value());
  EXPECT_LE(entry->row, 9001u);
  // Faulty records (status c) stand at every 1000th record of the first file only.
  const std::optional<std::uint64_t> fault = all.index.MarkedStretch(0, true, kMarkDamaged, 0);
  ASSERT_TRUE(fault.has_value());
  EXPECT_EQ(*fault, 0u);
  EXPECT_FALSE(all.index.MarkedStretch(all.index.Rows() - 1, true, kMarkDamaged, 0).has_value());
  EXPECT_EQ(all.index.Files().size(), 3u);
}

TEST(RunIndex, ARecordWithItsNeighboursAndItsPlaceInTheFile) {
  // Every record of every damaged run, read with the records around it: a neighbour is there
  // exactly when no event row stands between the two, and the record's sync mark is where the
  // record says, with its header behind it.
  for (const char* kind : {"garbage", "sync", "len0", "malformed", "split", "truncated"}) {
    SCOPED_TRACE(kind);
    const DumpRequest request = GoldenRun(kind);
    Indexed all;
    IndexAndReadAll(request, nullptr, all);
    std::vector<std::uint32_t> refs;  // per row: the record's number, 0 for an event row
    RowReader reader(request, all.index, nullptr);
    (void)reader.Read(0, all.index.Rows(), [&](const RowItem& item) {
      refs.push_back(item.kind == RowKind::kRecord ? item.record->RefNumber : 0);
      return true;
    });
    const std::vector<CaptureFileInfo> files = all.index.Files();
    for (std::size_t row = 0; row < refs.size(); ++row) {
      if (refs[row] == 0) continue;
      RecordContext context;
      ASSERT_TRUE(ReadRecordContext(request, all.index, refs[row], context).ok());
      ASSERT_EQ(context.record.RefNumber, refs[row]);
      const bool before = row > 0 && refs[row - 1] != 0;
      const bool after = row + 1 < refs.size() && refs[row + 1] != 0;
      ASSERT_EQ(context.before.has_value(), before) << refs[row];
      ASSERT_EQ(context.after.has_value(), after) << refs[row];
      if (before) {
        EXPECT_EQ(context.before->record.RefNumber, refs[row - 1]);
      }
      if (after) {
        EXPECT_EQ(context.after->record.RefNumber, refs[row + 1]);
      }
      const std::string bytes = test::ReadText(files[context.record.File].name);
      const std::size_t at = context.record.MarkOffset;
      ASSERT_LT(at, bytes.size());
      EXPECT_EQ(static_cast<std::uint8_t>(bytes[at]), SYNC_MARK) << refs[row];
      if (at + kRecordHeaderSize <= bytes.size()) {
        const ByteView header(reinterpret_cast<const std::uint8_t*>(bytes.data()) + at,
                              kRecordHeaderSize);
        EXPECT_EQ(header.U48Le(1), context.record.Timestamp);
        EXPECT_EQ(header.U8(7), context.record.FrameLen);
      }
    }
    RecordContext none;
    EXPECT_TRUE(ReadRecordContext(request, all.index, all.index.Records() + 1, none).end());
  }
}

}  // namespace
}  // namespace fdc
