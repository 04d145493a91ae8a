// Runs of minute capture files: traffic laid on the module's clock, records cut into files by
// minute, and damage put where it was asked for.
#include "tools/run_generator.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <span>

#include "tools/capture_writer.h"
#include "tools/frame_builder.h"
#include "tools/ground_truth.h"
#include "tools/traffic.h"

namespace fdc::gen {

std::optional<DamageKind> FindDamageKind(std::string_view name) {
  for (const DamageKindInfo& info : kDamageKinds) {
    if (info.name == name) return info.kind;
  }
  return std::nullopt;
}

std::string_view DamageKindName(DamageKind kind) {
  for (const DamageKindInfo& info : kDamageKinds) {
    if (info.kind == kind) return info.name;
  }
  return "?";
}

unsigned DefaultDamageFile(DamageKind kind, unsigned minutes) {
  if (minutes == 0) return 0;
  if (kind == DamageKind::kTruncated) return minutes - 1;
  return (minutes - 1) / 2;
}

namespace {

constexpr unsigned kMaxMinutes = 1439;
constexpr unsigned kMaxHour = 99;
constexpr std::size_t kModuleNameSize = 32;

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char text[600];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

// Where in its minute an inserted kind goes, in thousandths: apart, so that several kinds in
// one file stay distinguishable. The others sit at a file's end or fill it.
std::optional<unsigned> PerMilleOfMinute(DamageKind kind) {
  switch (kind) {
    case DamageKind::kLen0:
      return 200;
    case DamageKind::kLen255:
      return 300;
    case DamageKind::kMalformed:
      return 400;
    case DamageKind::kGarbage:
      return 500;
    case DamageKind::kSync:
      return 600;
    default:
      return std::nullopt;
  }
}

// A capture file written through a large buffer.
class OutputFile {
 public:
  OutputFile() : buffer_(std::size_t{1} << 22) {}
  ~OutputFile() {
    if (file_ != nullptr) std::fclose(file_);
  }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool Open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "wb");
    used_ = 0;
    offset_ = 0;
    failed_ = file_ == nullptr;
    return !failed_;
  }

  void Write(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    if (used_ + bytes.size() > buffer_.size()) Flush();
    std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
    used_ += bytes.size();
    offset_ += bytes.size();
  }

  std::uint64_t offset() const { return offset_; }

  bool Close() {
    Flush();
    bool ok = !failed_;
    if (std::fclose(file_) != 0) ok = false;
    file_ = nullptr;
    return ok;
  }

 private:
  void Flush() {
    if (used_ != 0 && std::fwrite(buffer_.data(), 1, used_, file_) != used_) failed_ = true;
    used_ = 0;
  }

  std::vector<std::uint8_t> buffer_;
  std::FILE* file_ = nullptr;
  std::size_t used_ = 0;
  std::uint64_t offset_ = 0;
  bool failed_ = false;
};

// Cuts the record stream into minute files and applies the damage that concerns bytes rather
// than telegrams. Each record is held back until the next one arrives, so that the last record
// of a file is known when the file closes and can be split or cut short there.
class RunWriter {
 public:
  RunWriter(const RunPlan& plan, Rng& rng, RunSummary& summary)
      : plan_(plan),
        rng_(rng),
        summary_(summary),
        header_(EncodeHeader(plan.headerBaudCode.value_or(plan.baudCode), plan.ipAddress,
                             plan.moduleName)) {
    unsigned hour = plan.startHour;
    unsigned minute = plan.startMinute;
    for (unsigned i = 0; i < plan.minutes; ++i) {
      names_.push_back(MinuteFileName(plan.base, hour, minute));
      NextMinute(hour, minute);
    }
  }

  // Records arrive in time order, each with the index of its minute file.
  bool Record(unsigned file, std::uint64_t timestamp, std::span<const std::uint8_t> frame,
              std::uint8_t status, const DamageKind* mark) {
    if (!AdvanceTo(file)) return false;
    if (Has(current_, DamageKind::kHeaderOnly)) return true;
    WriteHeld();
    WriteGarbage();
    heldSize_ = EncodeRecord(held_.data(), timestamp, frame, status);
    heldMarked_ = mark != nullptr;
    if (mark != nullptr) heldMark_ = *mark;
    heldCorrupt_ = corruptNext_;
    corruptNext_ = false;
    if (heldCorrupt_) held_[0] = NonSyncByte();
    return true;
  }

  // Stray bytes after the record held now, in the given file.
  bool Garbage(unsigned file) {
    if (!AdvanceTo(file)) return false;
    garbage_.resize(5 + rng_.Below(28));
    garbage_[0] = NonSyncByte();  // a mark here would be read as a record, not as a loss
    for (std::size_t i = 1; i < garbage_.size(); ++i) garbage_[i] = rng_.Byte();
    return true;
  }

  // The next record of the given file loses its sync mark.
  bool CorruptNextSync(unsigned file) {
    if (!AdvanceTo(file)) return false;
    corruptNext_ = true;
    return true;
  }

  bool Finish() {
    if (!AdvanceTo(plan_.minutes - 1)) return false;
    return CloseFile();
  }

  const std::string& error() const { return error_; }

 private:
  bool Has(unsigned file, DamageKind kind) const {
    return std::any_of(plan_.damage.begin(), plan_.damage.end(),
                       [&](const Damage& d) { return d.file == file && d.kind == kind; });
  }

  std::uint8_t NonSyncByte() {
    std::uint8_t byte = rng_.Byte();
    return byte == kSyncMark ? 0x00 : byte;
  }

  void Place(DamageKind kind, std::uint64_t offset) {
    summary_.damage.push_back({kind, current_, offset});
  }

  bool AdvanceTo(unsigned file) {
    while (!open_ || current_ < file) {
      if (open_) {
        if (!CloseFile()) return false;
        ++current_;
      }
      if (!OpenFile()) return false;
    }
    return true;
  }

  bool OpenFile() {
    const std::string& path = names_[current_];
    if (!out_.Open(path)) {
      error_ = Format("Unable to create %s: %s", path.c_str(), std::strerror(errno));
      return false;
    }
    open_ = true;
    summary_.paths.push_back(path);
    out_.Write(header_);
    if (Has(current_, DamageKind::kHeaderOnly)) Place(DamageKind::kHeaderOnly, out_.offset());
    out_.Write(carry_);
    carry_.clear();
    return true;
  }

  bool CloseFile() {
    WriteGarbage();
    if (corruptNext_ && heldSize_ != 0) {
      heldCorrupt_ = true;
      held_[0] = NonSyncByte();
    }
    corruptNext_ = false;
    if (heldSize_ != 0 && Has(current_, DamageKind::kSplit)) {
      std::size_t cut = 1 + rng_.Below(static_cast<std::uint32_t>(heldSize_ - 1));
      Place(DamageKind::kSplit, out_.offset());
      carry_.assign(held_.begin() + static_cast<std::ptrdiff_t>(cut),
                    held_.begin() + static_cast<std::ptrdiff_t>(heldSize_));
      WriteHeld(cut, true);
    } else if (heldSize_ != 0 && Has(current_, DamageKind::kTruncated)) {
      Place(DamageKind::kTruncated, out_.offset());
      WriteHeld(1 + rng_.Below(static_cast<std::uint32_t>(heldSize_ - 1)), false);
    } else {
      WriteHeld();
    }
    std::uint64_t size = out_.offset();
    open_ = false;
    if (!out_.Close()) {
      error_ = Format("Unable to write %s: %s", names_[current_].c_str(), std::strerror(errno));
      return false;
    }
    summary_.bytes += size;
    return true;
  }

  // Writes the first `count` bytes of the held record; it counts as read whole if `whole`.
  void WriteHeld(std::size_t count, bool whole) {
    std::uint64_t offset = out_.offset();
    out_.Write({held_.data(), count});
    if (heldMarked_) Place(heldMark_, offset);
    if (heldCorrupt_) Place(DamageKind::kSync, offset);
    if (whole && !heldCorrupt_) ++summary_.records;
    heldSize_ = 0;
    heldMarked_ = false;
    heldCorrupt_ = false;
  }
  void WriteHeld() {
    if (heldSize_ != 0) WriteHeld(heldSize_, true);
  }

  void WriteGarbage() {
    if (garbage_.empty()) return;
    Place(DamageKind::kGarbage, out_.offset());
    out_.Write(garbage_);
    garbage_.clear();
  }

  const RunPlan& plan_;
  Rng& rng_;
  RunSummary& summary_;
  std::vector<std::uint8_t> header_;
  std::vector<std::string> names_;
  OutputFile out_;
  bool open_ = false;
  unsigned current_ = 0;
  std::array<std::uint8_t, kMaxRecordSize> held_{};
  std::size_t heldSize_ = 0;
  bool heldMarked_ = false;  // the held record is where a kind of damage starts
  DamageKind heldMark_ = DamageKind::kGarbage;
  bool heldCorrupt_ = false;
  bool corruptNext_ = false;
  std::vector<std::uint8_t> garbage_;
  std::vector<std::uint8_t> carry_;  // the rest of a split record, for the next file
  std::string error_;
};

// Where the last frame started and how long it was: the next one starts after its end.
struct BusClock {
  bool started = false;
  std::uint64_t prevStart = 0;
  std::size_t prevSize = 0;

  std::uint64_t NextStart(const BaudTiming& timing, std::uint64_t origin, std::uint32_t gapBits,
                          std::uint32_t jitterTicks) const {
    std::uint64_t idle = std::uint64_t{gapBits} * timing.ticksPerBit + jitterTicks;
    if (!started) return origin + idle;
    return prevStart + timing.FrameTicks(prevSize) + idle;
  }
  void Commit(std::uint64_t start, std::size_t size) {
    started = true;
    prevStart = start;
    prevSize = size;
  }
};

struct InjectedRecord {
  Frame frame;
  std::uint8_t status = 0;
  std::uint32_t gapBits = 37;
};

struct Injection {
  DamageKind kind;
  unsigned file;
  unsigned perMille;
  std::vector<InjectedRecord> records;  // for kinds that add telegrams
  bool done = false;
};

// Telegrams that a real line produces now and then, each the way the module would record it.
std::vector<InjectedRecord> MalformedBurst(const TrafficGenerator& traffic, Rng& rng) {
  std::uint8_t master = 0;
  std::uint8_t slave = 0;
  traffic.PickLink(rng, master, slave);
  std::array<std::uint8_t, 8> data{};
  for (auto& byte : data) byte = rng.Byte();
  const std::span<const std::uint8_t> four(data.data(), 4);
  std::vector<InjectedRecord> burst;
  auto add = [&](Frame frame, std::uint8_t status) { burst.push_back({frame, status, 37}); };

  Frame cut = MakeTelegram(slave, master, 0x7D, kNoSap, kNoSap, four);
  cut.size -= 2;  // the module stopped receiving before FCS and ED
  add(cut, 0x10);
  Frame badLer = MakeTelegram(master, slave, 0x08, kNoSap, kNoSap, four);
  badLer.bytes[2] ^= 0x01;
  add(badLer, 0x02);
  Frame badSd = MakeTelegram(slave, master, 0x5D, kNoSap, kNoSap, four);
  badSd.bytes[3] = 0x6A;
  add(badSd, 0x04);
  Frame extra = MakeSd1(slave, master, 0x49);
  extra.Push(0x00);  // a noise character after the end delimiter
  add(extra, 0x01);
  Frame badEd = MakeTelegram(master, slave, 0x08, kNoSap, kNoSap, data);
  badEd.bytes[badEd.size - 1] = 0x17;
  add(badEd, 0x80);
  Frame badFcs = MakeTelegram(slave, master, 0x7D, kNoSap, kNoSap, four);
  badFcs.bytes[FcsPosition(badFcs)] ^= 0x5A;
  add(badFcs, 0x40);
  Frame longToken = MakeSd4(master, master);
  longToken.Push(0xFF);
  add(longToken, 0x20);
  add(MakeRaw({kSc, kSc}), 0x08);
  add(MakeRaw({0x42, 0x10}), 0x04);
  return burst;
}

// Faults, and slaves of GSD files, come on a clean line with a ground truth.
bool CleanLine(const RunPlan& plan) { return !plan.faults.empty() || plan.gsdSlaves; }

class RunBuilder {
 public:
  // With faults, `watchdogs` are what a first pass of the same plan found its slaves' cycles to
  // ask of their watchdogs; none in that first pass.
  RunBuilder(const RunPlan& plan, const BaudTiming& timing, RunSummary& summary,
             const std::vector<WatchdogNeed>* watchdogs)
      : plan_(plan),
        timing_(timing),
        ticksPerMinute_(timing.TicksPerMinute()),
        origin_(plan.clockStart.value_or((plan.startHour * 60ull + plan.startMinute) *
                                         timing.TicksPerMinute())),
        traffic_(plan.seed, timing),
        damageRng_(plan.seed ^ 0xD1B54A32D192ED03ull),
        writer_(plan, damageRng_, summary),
        summary_(summary) {
    if (plan.gsdSlaves) traffic_.UseGsdSlaves();
    BuildInjections();
    if (CleanLine(plan)) {
      error_ = traffic_.InjectFaults(plan.faults, ExpectedRecords(), plan.seed);
      if (error_.empty() && watchdogs != nullptr) error_ = traffic_.SetWatchdogs(*watchdogs);
      truth_.emplace(timing, traffic_.AddedStations(), traffic_.FaultStations(),
                     traffic_.GsdSlaves());
    }
    checkWatchdogs_ = watchdogs != nullptr;
  }

  std::string Run() {
    bool ok = error_.empty() && (plan_.saturate ? RunSaturated() : RunSpread());
    if (ok) ok = writer_.Finish();
    if (ok && truth_) summary_.truth = truth_->Lines();
    if (ok && truth_) summary_.gsd = truth_->GsdView();
    if (ok && truth_ && checkWatchdogs_) error_ = truth_->WatchdogProblem();
    return error_.empty() ? writer_.error() : error_;
  }

  std::vector<WatchdogNeed> WatchdogNeeds() const {
    return truth_ ? truth_->WatchdogNeeds() : std::vector<WatchdogNeed>();
  }

 private:
  std::uint64_t MinuteStart(unsigned file) const { return origin_ + file * ticksPerMinute_; }
  unsigned MinuteOf(std::uint64_t t) const {
    return static_cast<unsigned>(
        std::min<std::uint64_t>((t - origin_) / ticksPerMinute_, plan_.minutes));
  }
  std::uint64_t NextStart(std::uint32_t gapBits, std::uint32_t jitterTicks) const {
    return std::max(minuteFloor_, clock_.NextStart(timing_, origin_, gapBits, jitterTicks));
  }

  void BuildInjections() {
    for (const Damage& damage : plan_.damage) {
      std::optional<unsigned> perMille = PerMilleOfMinute(damage.kind);
      if (!perMille) continue;
      Injection injection{damage.kind, damage.file, *perMille, {}};
      if (damage.kind == DamageKind::kLen0) injection.records.push_back({Frame{}, 0x00, 37});
      if (damage.kind == DamageKind::kLen255) {
        injection.records.push_back({traffic_.LongestTelegram(damageRng_), 0x00, 37});
      }
      if (damage.kind == DamageKind::kMalformed) {
        injection.records = MalformedBurst(traffic_, damageRng_);
      }
      injections_.push_back(std::move(injection));
    }
    std::stable_sort(injections_.begin(), injections_.end(), [](const auto& a, const auto& b) {
      return a.file != b.file ? a.file < b.file : a.perMille < b.perMille;
    });
  }

  bool Place(std::uint64_t t, const Frame& frame, std::uint8_t status,
             const DamageKind* mark = nullptr) {
    unsigned file = std::min(MinuteOf(t), plan_.minutes - 1);
    if (!writer_.Record(file, t, frame.View(), status, mark)) return false;
    clock_.Commit(t, frame.size);
    return true;
  }
  bool Place(std::uint64_t t, const TrafficRecord& record) {
    if (!Place(t, record.frame, record.status)) return false;
    if (truth_) truth_->Count(record, t & kTimestampMask, std::min(MinuteOf(t), plan_.minutes - 1));
    return true;
  }

  // Where the faults start is given as a share of the run's records: exact when each minute
  // holds a given number, estimated from a stretch of the traffic on a saturated line.
  std::uint64_t ExpectedRecords() const {
    if (!plan_.saturate) return plan_.minutes * plan_.recordsPerMinute;
    TrafficGenerator probe = traffic_;
    BusClock clock;
    std::uint64_t records = 0;
    std::uint64_t elapsed = 0;
    for (; records < 100'000 && elapsed < ticksPerMinute_; ++records) {
      const TrafficRecord& record = probe.Next();
      std::uint64_t t = clock.NextStart(timing_, 0, record.gapBits, record.jitterTicks);
      clock.Commit(t, record.frame.size);
      elapsed = t + timing_.FrameTicks(record.frame.size);
    }
    return records * (plan_.minutes * ticksPerMinute_) / std::max<std::uint64_t>(elapsed, 1);
  }

  // With faults, a reply must follow its request at the time the generator meant, or the
  // report would see another fault: a request is not placed when its reply would fall beyond
  // the run's end.
  bool ReplyFits(std::uint64_t t, const TrafficRecord& record) const {
    const TrafficRecord* next = traffic_.Peek();
    if (!truth_ || !record.AwaitsReply() || next == nullptr) return true;
    std::uint64_t replyStart = t + timing_.FrameTicks(record.frame.size) +
                               std::uint64_t{next->gapBits} * timing_.ticksPerBit +
                               next->jitterTicks;
    return MinuteOf(replyStart) < plan_.minutes;
  }

  bool Fire(Injection& injection) {
    injection.done = true;
    if (injection.kind == DamageKind::kGarbage) return writer_.Garbage(injection.file);
    if (injection.kind == DamageKind::kSync) return writer_.CorruptNextSync(injection.file);
    const DamageKind* mark = &injection.kind;
    for (const InjectedRecord& record : injection.records) {
      if (!Place(NextStart(record.gapBits, 0), record.frame, record.status, mark)) return false;
      mark = nullptr;
    }
    return true;
  }

  // Fires the injections due before a record: those of earlier files not yet placed, and those
  // of this file whose turn has come.
  template <typename Due>
  bool FireDue(unsigned file, Due due) {
    for (Injection& injection : injections_) {
      if (injection.done || injection.file > file) continue;
      if (injection.file < file || due(injection)) {
        if (!Fire(injection)) return false;
      }
    }
    return true;
  }

  // Back to back traffic; each record goes into the file of its minute.
  bool RunSaturated() {
    for (;;) {
      const TrafficRecord& record = traffic_.Next();
      std::uint64_t t = NextStart(record.gapBits, record.jitterTicks);
      unsigned file = MinuteOf(t);
      if (file >= plan_.minutes) return true;
      auto due = [&](const Injection& injection) {
        return t >= MinuteStart(file) + ticksPerMinute_ / 1000 * injection.perMille;
      };
      if (!FireDue(file, due)) return false;
      t = NextStart(record.gapBits, record.jitterTicks);
      if (MinuteOf(t) >= plan_.minutes || !ReplyFits(t, record)) return true;
      if (!Place(t, record)) return false;
    }
  }

  // Exactly recordsPerMinute records in each minute: the traffic of a minute is first laid out
  // back to back on a copy of the generator, and the idle time left over is then shared out
  // before the frames where a master starts a cycle, as on a line that is not saturated.
  bool RunSpread() {
    const std::uint64_t count = plan_.recordsPerMinute;
    // Injections go before a record well inside the minute, never before its first.
    auto turn = [&](const Injection& injection) {
      return count < 2 ? 0 : std::max<std::uint64_t>(1, count * injection.perMille / 1000);
    };
    for (unsigned file = 0; file < plan_.minutes; ++file) {
      std::optional<std::uint64_t> share = IdleShare(file, count);
      if (!share) return false;
      minuteFloor_ = MinuteStart(file);
      for (std::uint64_t i = 0; i < count; ++i) {
        const TrafficRecord* record = &traffic_.Next();
        const bool lastOfRun = file + 1 == plan_.minutes && i + 1 == count;
        TrafficRecord standIn;
        if (truth_ && lastOfRun && record->AwaitsReply()) {
          standIn = traffic_.StandIn(*record);
          record = &standIn;
        }
        auto due = [&](const Injection& injection) { return i >= turn(injection); };
        if (!FireDue(file, due)) return false;
        std::uint64_t t = NextStart(record->gapBits, record->jitterTicks);
        // With faults, a reply keeps the gap it was given, so the idle goes elsewhere.
        const bool reply = truth_ && record->meaning.role == RecordRole::kReply;
        if ((i == 0 && !reply) || record->stretchable) t += *share;
        if (truth_ && i + 1 == count && !lastOfRun) t = BeforeNextMinute(t, *record, file);
        if (!Place(t, *record)) return false;
      }
    }
    return true;
  }

  // With faults, the last request of a minute whose reply starts the next minute goes as late
  // as the minute allows, so that the reply lands in the next minute with the gap it was given
  // (the next minute's first record never starts before that minute).
  std::uint64_t BeforeNextMinute(std::uint64_t t, const TrafficRecord& record, unsigned file) {
    const TrafficRecord* next = traffic_.Peek();
    if (!record.AwaitsReply() || next == nullptr || next->meaning.role != RecordRole::kReply) {
      return t;
    }
    std::uint64_t replyIdle =
        std::uint64_t{next->gapBits} * timing_.ticksPerBit + next->jitterTicks;
    return std::max(t, MinuteStart(file + 1) - timing_.FrameTicks(record.frame.size) - replyIdle);
  }

  // The idle time that each cycle start of the minute gets so that its records, laid out on
  // copies of the generator and the clock, fill the minute; none when they don't fit.
  std::optional<std::uint64_t> IdleShare(unsigned file, std::uint64_t count) {
    const std::uint64_t minuteStart = MinuteStart(file);
    const std::uint64_t minuteEnd = minuteStart + ticksPerMinute_;
    // Room for the injected telegrams, and for the clamp at the minute's start.
    std::uint64_t reserve = 2 * timing_.ticksPerBit * (timing_.slotBits + 64 + 255 * 11);
    for (const Injection& injection : injections_) {
      if (injection.file != file) continue;
      for (const InjectedRecord& record : injection.records) {
        reserve += std::uint64_t{record.gapBits} * timing_.ticksPerBit +
                   timing_.FrameTicks(record.frame.size);
      }
    }
    TrafficGenerator probe = traffic_;
    BusClock probeClock = clock_;
    std::uint64_t first = 0;
    std::uint64_t needed = 0;
    std::uint64_t slots = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
      const TrafficRecord& record = probe.Next();
      std::uint64_t t = std::max(
          minuteStart, probeClock.NextStart(timing_, origin_, record.gapBits, record.jitterTicks));
      if (i == 0) first = t;
      needed = t - first + reserve;
      if (first >= minuteEnd || needed >= minuteEnd - first) {
        error_ = Format(
            "%llu records do not fit in one minute at %s (about %llu do); use fewer "
            "or --saturate",
            static_cast<unsigned long long>(count), std::string(timing_.name).c_str(),
            static_cast<unsigned long long>(i));
        return std::nullopt;
      }
      if (i == 0 || record.stretchable) ++slots;
      probeClock.Commit(t, record.frame.size);
    }
    return (minuteEnd - 1 - first - needed) / (slots + 1);
  }

  const RunPlan& plan_;
  const BaudTiming timing_;
  const std::uint64_t ticksPerMinute_;
  const std::uint64_t origin_;
  TrafficGenerator traffic_;
  Rng damageRng_;
  RunWriter writer_;
  BusClock clock_;
  std::uint64_t minuteFloor_ = 0;  // no frame of the minute being laid out starts before it
  std::vector<Injection> injections_;
  RunSummary& summary_;
  std::optional<GroundTruth> truth_;  // with faults
  bool checkWatchdogs_ = false;
  std::string error_;
};

std::string CheckDamage(const RunPlan& plan) {
  for (std::size_t i = 0; i < plan.damage.size(); ++i) {
    const Damage& damage = plan.damage[i];
    std::string name(DamageKindName(damage.kind));
    if (damage.file >= plan.minutes) {
      return Format("Damage %s@%u: the run has only files 0 to %u", name.c_str(), damage.file,
                    plan.minutes - 1);
    }
    if (damage.kind == DamageKind::kSplit && damage.file + 1 >= plan.minutes) {
      return Format("Damage split@%u: a split record needs a next file", damage.file);
    }
    for (std::size_t j = 0; j < plan.damage.size(); ++j) {
      const Damage& other = plan.damage[j];
      if (j < i && other.kind == damage.kind && other.file == damage.file) {
        return Format("Damage %s@%u is given twice", name.c_str(), damage.file);
      }
      if (damage.kind != DamageKind::kHeaderOnly) continue;
      if (j != i && other.file == damage.file) {
        return Format("Damage header-only@%u leaves no room for %s in that file", damage.file,
                      std::string(DamageKindName(other.kind)).c_str());
      }
      if (other.kind == DamageKind::kSplit && other.file + 1 == damage.file) {
        return Format("Damage split@%u would continue in file %u, which is header-only", other.file,
                      damage.file);
      }
    }
  }
  return {};
}

// A fault run's ground truth holds only where the report sees the line as generated: no damage
// beside the faults, the bus rate in the headers, and a clock that does not wrap.
std::string CheckFaults(const RunPlan& plan) {
  if (!CleanLine(plan)) return {};
  const std::string what = plan.faults.empty() ? "GSD slaves" : "Faults";
  if (!plan.damage.empty()) return what + " and damage exclude each other";
  if (plan.headerBaudCode && *plan.headerBaudCode != plan.baudCode) {
    return what + " need the headers to carry the bus rate's baud code";
  }
  const BaudTiming timing = *FindBaudTiming(plan.baudCode);
  const std::uint64_t origin = plan.clockStart.value_or(
      (plan.startHour * 60ull + plan.startMinute) * timing.TicksPerMinute());
  if (origin + plan.minutes * timing.TicksPerMinute() > kTimestampMask + 1) {
    return what + " need a clock that does not pass 2^48 ticks within the run";
  }
  TrafficGenerator line(plan.seed, timing);
  if (plan.gsdSlaves) line.UseGsdSlaves();
  return line.InjectFaults(plan.faults, 0, plan.seed);
}

}  // namespace

std::string CheckRunPlan(const RunPlan& plan) {
  if (plan.base.empty()) return "No output name given";
  if (plan.startHour > kMaxHour || plan.startMinute > 59) {
    return Format("Start time %02u%02u is not HHMM with HH 00-99 and MM 00-59", plan.startHour,
                  plan.startMinute);
  }
  if (plan.minutes < 1 || plan.minutes > kMaxMinutes) {
    return Format("Minutes %u is not between 1 and %u", plan.minutes, kMaxMinutes);
  }
  if (!FindBaudTiming(plan.baudCode)) {
    return Format("Baud code %u is not a bus rate (1-9)", plan.baudCode);
  }
  if (plan.moduleName.size() > kModuleNameSize) {
    return Format("Module name has %zu characters; the header holds at most 32",
                  plan.moduleName.size());
  }
  if (!plan.saturate && plan.recordsPerMinute == 0) return "Records per minute must be at least 1";
  if (plan.clockStart && *plan.clockStart > kTimestampMask) {
    return "Clock start does not fit in the 48-bit timestamp";
  }
  std::string damage = CheckDamage(plan);
  return damage.empty() ? CheckFaults(plan) : damage;
}

RunOutcome GenerateRun(const RunPlan& plan) {
  RunOutcome outcome;
  outcome.error = CheckRunPlan(plan);
  if (!outcome.ok()) return outcome;
  const BaudTiming timing = *FindBaudTiming(plan.baudCode);
  if (!CleanLine(plan)) {
    RunBuilder builder(plan, timing, outcome.summary, nullptr);
    outcome.error = builder.Run();
    return outcome;
  }
  // A clean line's slaves get watchdogs that their cycles never outlast unless a fault means
  // them to, and the cycles are known only once the run is laid out: a first pass lays it out,
  // the second writes it again with those watchdogs, which change no frame's size and so no
  // record's time.
  std::vector<WatchdogNeed> watchdogs;
  {
    RunSummary first;
    RunBuilder builder(plan, timing, first, nullptr);
    outcome.error = builder.Run();
    if (!outcome.ok()) return outcome;
    watchdogs = builder.WatchdogNeeds();
  }
  RunBuilder builder(plan, timing, outcome.summary, &watchdogs);
  outcome.error = builder.Run();
  return outcome;
}

}  // namespace fdc::gen
