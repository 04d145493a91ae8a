// The text dump: header blocks, sync-loss lines, record lines and end texts.
#include "engine/text_dump_consumer.h"

#include <string>

namespace fdc {

TextDumpConsumer::TextDumpConsumer(const DumpRequest& request, const DumpOptions& options,
                                   const ShowOnlyProgram& program)
    : request_(request), options_(options), program_(program), timeFormats_(options) {}

Result TextDumpConsumer::Begin(const RecordLoop&) {
  if (request_.OutputStream != nullptr) {
    out_.Attach(request_.OutputStream);
  } else if (!out_.Open(request_.OutputPath)) {
    return Fail("Unable to Open Output Text File %s", request_.OutputPath.c_str());
  }
  lines_ = 0;
  return Result::Ok();
}

void TextDumpConsumer::WriteHeaderBlock(const CaptureFileInfo& file) {
  const std::uint32_t ip = file.header.IpAddress;
  out_.Printf("File      : %s\n", file.name.c_str());
  out_.Printf("TELO Name : %s\n", file.header.ModuleName.data());
  out_.Printf("TELO IP   : %u.%u.%u.%u\n", (ip >> 24) & 0xFFu, (ip >> 16) & 0xFFu,
              (ip >> 8) & 0xFFu, ip & 0xFFu);
  out_.Printf("Baud      : %s\n", std::string(BaudRateName(file.header.BaudCode)).c_str());
  out_.Printf("Opt File  : %s\n", request_.OptionPath.c_str());
  if (!program_.text.empty()) out_.Printf("Show Only : %s\n", program_.text.c_str());
  out_.Printf("\n");
}

void TextDumpConsumer::OnEvent(const CaptureEvent& event, const RecordLoop& loop) {
  switch (event.kind) {
    case CaptureEvent::Kind::kFileOpened:
      WriteHeaderBlock(loop.Captures().Files()[event.file]);
      break;
    case CaptureEvent::Kind::kSyncLost:
      out_.Printf("**** Synchronization Lost ****\n");
      out_.Printf("%9u: Ofs=%x Mark=%02x\n", event.lastRefNumber, event.offset, event.markFound);
      out_.Printf("           PrvLen=%02x PrvTme=%08x %08x\n", event.previousFrameLen,
                  static_cast<std::uint32_t>(event.previousTimestamp),
                  static_cast<std::uint32_t>(event.previousTimestamp >> 32));
      break;
    case CaptureEvent::Kind::kFileCutShort:
      out_.Printf("%s\n", std::string(SyncFailureMessage(event.failure)).c_str());
      break;
    case CaptureEvent::Kind::kRecordCut:
      break;  // the dump ends with "End of Capture Data", as after any last record
  }
}

bool TextDumpConsumer::OnRecord(const RecordView& record) {
  if (!record.Shown()) return true;
  if (options_.ShowFileOfs) {
    out_.HexPadded(static_cast<std::uint32_t>(record.Record().EndPosition), 8);
    out_.Text(": ");
  }
  if (!options_.NoRef) {
    out_.Dec(record.RefNumber(), 9);
    out_.Text(": ");
  }
  if (timeFormats_.any) {
    WriteTimeColumns(out_, options_, timeFormats_, record.Time());
  } else {
    record.Time().DeltaBaseStep();  // no time column shows the delta, but it still moves
  }
  WriteFrameColumns(out_, options_, record.Dissected(), record.Bytes());
  out_.NewLine();
  ++lines_;
  return !out_.WriteFailed();
}

Result TextDumpConsumer::End(RunEnd how) {
  switch (how) {
    case RunEnd::kEndOfData:
      out_.Printf("\nEnd of Capture Data\n");
      break;
    case RunEnd::kLastReference:
      out_.Printf("\nLast Reference Reached\n");
      break;
    case RunEnd::kStopped:
      out_.Printf("\nDump Stopped\n");
      break;
    case RunEnd::kFailed:
      // The dump keeps what was written, without an end text.
      break;
  }
  out_.Close();
  return out_.WriteFailed() ? WriteFailure() : Result::Ok();
}

Result TextDumpConsumer::WriteFailure() const {
  return Fail("Unable to Write Output Text File %s",
              request_.OutputStream != nullptr ? "(standard output)" : request_.OutputPath.c_str());
}

}  // namespace fdc
