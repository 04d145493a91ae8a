// The pcapng export as a consumer of the record loop.
#include "engine/pcapng_export.h"

#include <array>
#include <chrono>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "common/char_class.h"
#include "common/file_paths.h"
#include "common/pcapng_writer.h"
#include "common/platform_io.h"
#include "common/text_encoding.h"
#include "options/options.h"

namespace fdc {

namespace {

constexpr std::uint64_t kNsPerDay = 86'400'000'000'000ull;

std::string IpText(std::uint32_t ip) {
  return std::to_string((ip >> 24) & 0xFF) + "." + std::to_string((ip >> 16) & 0xFF) + "." +
         std::to_string((ip >> 8) & 0xFF) + "." + std::to_string(ip & 0xFF);
}

std::string ModuleNameOf(const CaptureFileHeader& header) {
  return Latin1ToUtf8(std::string_view(header.ModuleName.data()));
}

std::string HexText(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}

class PcapngExportConsumer final : public RecordConsumer {
 public:
  PcapngExportConsumer(const DumpRequest& request, const ExportOptions& options)
      : request_(request), options_(options) {}
  ~PcapngExportConsumer() override {
    if (file_ != nullptr) std::fclose(file_);
  }

  Result Begin(const RecordLoop& loop) override {
    std::FILE* out = options_.stream;
    if (out == nullptr) {
      file_ = OpenFile(request_.OutputPath, "wb");
      if (file_ == nullptr) {
        return Fail("Unable to Open Output File %s", request_.OutputPath.c_str());
      }
      // Without a buffer of the file's own, a write cut short by a full disk tells how much of
      // it reached the file, and so where the last whole block ends.
      std::setvbuf(file_, nullptr, _IONBF, 0);
      out = file_;
    }
    writer_ = std::make_unique<PcapngWriter>(out);
    writer_->SectionHeader(options_.userAppl);
    const CaptureFileHeader& header = loop.Captures().Files().front().header;
    const std::uint16_t linkType =
        options_.linkType == ExportLinkType::kUser0 ? kLinkTypeUser0 : kLinkTypeProfibusDl;
    writer_->InterfaceDescription(
        linkType, ModuleNameOf(header),
        IpText(header.IpAddress) + " " + std::string(BaudRateName(header.BaudCode)));
    comments_.reserve(8);
    return Result::Ok();
  }

  void OnEvent(const CaptureEvent& event, const RecordLoop& loop) override {
    switch (event.kind) {
      case CaptureEvent::Kind::kFileOpened: {
        const CaptureFileInfo& file = loop.Captures().Files()[event.file];
        comments_.push_back("file " + FileNameToUtf8(std::string(FileNameOf(file.name))) +
                            ", module " + ModuleNameOf(file.header) + ", " +
                            IpText(file.header.IpAddress) + ", " +
                            std::string(BaudRateName(file.header.BaudCode)));
        break;
      }
      case CaptureEvent::Kind::kSyncLost:
        // One comment counts every loss since the previous packet, where the first one stood.
        if (syncComment_ < 0) {
          syncComment_ = static_cast<int>(comments_.size());
          comments_.emplace_back();
          syncFirstOffset_ = event.offset;
          syncLosses_ = 0;
        }
        ++syncLosses_;
        break;
      case CaptureEvent::Kind::kFileCutShort:
        comments_.emplace_back(SyncFailureMessage(event.failure));
        break;
      case CaptureEvent::Kind::kRecordCut:
        break;  // no packet follows to carry it
    }
  }

  bool OnRecord(const RecordView& view) override {
    if (!view.Shown()) return true;
    const CaptureRecord& record = view.Record();
    const Telegram& t = view.Dissected();
    if (syncComment_ >= 0) {
      comments_[static_cast<std::size_t>(syncComment_)] =
          "synchronization lost " + std::to_string(syncLosses_) +
          (syncLosses_ == 1 ? " time" : " times") + " before this record, first at offset " +
          HexText(syncFirstOffset_);
      syncComment_ = -1;
    }
    PcapngPacket packet;
    packet.timestampNs = options_.dayStartNs + static_cast<std::uint64_t>(view.Time().AbsTimeNs());
    if (options_.linkType == ExportLinkType::kUser0) {
      packet.head = std::span<const std::uint8_t>(&record.Frame[record.FrameLen], 1);
    }
    packet.data = std::span<const std::uint8_t>(record.Frame, record.FrameLen);
    packet.flags = ExportFlags(t, record.Bytes());
    packet.comments = comments_;
    writer_->EnhancedPacket(packet);
    comments_.clear();
    ++packets_;
    return !writer_->WriteFailed();
  }

  Result End(RunEnd) override {
    // Events after the last exported packet have no packet to go on: they are dropped.
    const bool flushed = writer_->Flush();
    const std::uint64_t whole = writer_->WholeBytes();
    writer_.reset();
    bool closed = true;
    if (file_ != nullptr) {
      closed = std::fclose(file_) == 0;
      file_ = nullptr;
      // A write cut short (a full disk) leaves part of a block: the file is cut back to the
      // blocks that are whole. A device has nothing to cut; the standard output can't be cut.
      std::error_code error;
      const std::filesystem::path output = SystemPath(PathFromUtf8(request_.OutputPath));
      if (!flushed && std::filesystem::is_regular_file(output, error)) {
        std::filesystem::resize_file(output, whole, error);
      }
    }
    if (!flushed || !closed) {
      const std::string name =
          options_.stream != nullptr ? "(standard output)" : request_.OutputPath;
      return Fail("Unable to Write Output File %s", name.c_str());
    }
    return Result::Ok();
  }

  std::uint64_t Packets() const { return packets_; }

 private:
  const DumpRequest& request_;
  const ExportOptions& options_;
  std::FILE* file_ = nullptr;
  std::unique_ptr<PcapngWriter> writer_;
  std::vector<std::string> comments_;
  int syncComment_ = -1;
  std::uint32_t syncFirstOffset_ = 0;
  std::uint64_t syncLosses_ = 0;
  std::uint64_t packets_ = 0;
};

struct ExportSetup {
  DumpOptions options;
  ShowOnlyProgram program;
};

}  // namespace

std::optional<std::uint64_t> DayStartNs(std::string_view date) {
  if (date.size() != 10 || date[4] != '-' || date[7] != '-') return std::nullopt;
  for (const std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9}) {
    if (!IsDigit(date[i])) return std::nullopt;
  }
  auto number = [&](std::size_t from, std::size_t count) {
    unsigned v = 0;
    for (std::size_t i = from; i < from + count; ++i)
      v = v * 10 + static_cast<unsigned>(date[i] - '0');
    return v;
  };
  const unsigned year = number(0, 4);
  // The calendar of the standard library knows the months' lengths and the leap years.
  const std::chrono::year_month_day civil{std::chrono::year(static_cast<int>(year)),
                                          std::chrono::month(number(5, 2)),
                                          std::chrono::day(number(8, 2))};
  if (year < 1970 || year > 2500 || !civil.ok()) return std::nullopt;
  const std::chrono::sys_days days(civil);
  return static_cast<std::uint64_t>(days.time_since_epoch().count()) * kNsPerDay;
}

std::uint32_t ExportFlags(const Telegram& t, ByteView record) {
  std::uint32_t flags = kEpbInbound;
  if ((t.status & STSCHK) || (t.HasBody() && !FcsMatches(record, t))) flags |= kEpbCrcError;
  if (t.status & (STSSTP | STSPAR)) flags |= kEpbSymbolError;
  if ((t.status & STSSD) || !t.Decoded()) flags |= kEpbStartFrameDelimiterError;
  return flags;
}

Result ExportRun(const DumpRequest& request, const ExportOptions& options,
                 const RunControl& control, ExportSummary* summary) {
  if (summary != nullptr) *summary = ExportSummary{};
  const auto setup = std::make_unique<ExportSetup>();
  Result read = ReadOptionFile(request.OptionPath, setup->options, setup->program);
  if (!read.ok()) return read;
  return ExportRun(request,
                   ShownByOptionFile(setup->options.ShowOnly ? &setup->program : nullptr, request),
                   options, control, summary);
}

Result ExportRun(const DumpRequest& request, const RecordFilter& shown,
                 const ExportOptions& options, const RunControl& control, ExportSummary* summary) {
  ExportSummary local;
  ExportSummary& filled = summary != nullptr ? *summary : local;
  filled = ExportSummary{};

  PcapngExportConsumer exporter(request, options);
  const auto loop = std::make_unique<RecordLoop>(request, shown, control);
  RecordConsumer* const consumers[] = {&exporter};
  Result result = loop->Run(consumers);
  filled.records = loop->Totals().records;
  filled.packets = exporter.Packets();
  filled.stopped = loop->Ended() == RunEnd::kStopped;
  return result;
}

}  // namespace fdc
