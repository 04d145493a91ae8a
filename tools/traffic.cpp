// Seeded bus traffic of a small PROFIBUS line.
#include "tools/traffic.h"

#include <algorithm>
#include <charconv>

namespace fdc::gen {

std::optional<BaudTiming> FindBaudTiming(std::uint16_t code) {
  for (const BaudTiming& timing : kBaudTimings) {
    if (timing.code == code) return timing;
  }
  return std::nullopt;
}

std::optional<BaudTiming> FindBaudTiming(std::string_view codeOrName) {
  for (const BaudTiming& timing : kBaudTimings) {
    if (timing.name.size() != codeOrName.size()) continue;
    bool same = std::equal(timing.name.begin(), timing.name.end(), codeOrName.begin(),
                           [](char a, char b) { return (a | 0x20) == (b | 0x20); });
    if (same) return timing;
  }
  std::uint16_t code = 0;
  auto [end, error] =
      std::from_chars(codeOrName.data(), codeOrName.data() + codeOrName.size(), code);
  if (error != std::errc() || end != codeOrName.data() + codeOrName.size()) return std::nullopt;
  return FindBaudTiming(code);
}

namespace {

// Function codes: request bit 0x40, frame count bit 0x20 and its valid bit 0x10, function.
constexpr std::uint8_t kFcRequest = 0x40;
constexpr std::uint8_t kFcFcb = 0x20;
constexpr std::uint8_t kFcFcv = 0x10;
constexpr std::uint8_t kFcSrdHigh = kFcRequest | kFcFcv | 0x0D;   // send and request data, high
constexpr std::uint8_t kFcSrdReset = kFcRequest | kFcFcb | 0x0D;  // the same, FCV=0 FCB=1
constexpr std::uint8_t kFcFdlStatus = kFcRequest | 0x09;  // request FDL status (no frame count)
constexpr std::uint8_t kFcSdnHigh = kFcRequest | 0x06;    // send data with no acknowledge, high
constexpr std::uint8_t kFcSlaveOk = 0x00;      // FDL status response: passive station, OK
constexpr std::uint8_t kFcDataLow = 0x08;      // response data, low priority
constexpr std::uint8_t kFcDataHigh = 0x0A;     // response data, high priority: diagnosis waiting
constexpr std::uint8_t kFcUserError = 0x01;    // negative acknowledgements: user error,
constexpr std::uint8_t kFcNoResource = 0x02;   // no resource for the data,
constexpr std::uint8_t kFcNoService = 0x03;    // no service activated
constexpr std::uint8_t kFcMasterReady = 0x20;  // FDL status response: master, ready for the ring

// Service access points of the DP services used acyclically.
constexpr int kSapMaster = 62;
constexpr int kSapSlaveDiag = 60;
constexpr int kSapSetPrm = 61;
constexpr int kSapChkCfg = 62;
constexpr int kSapGetCfg = 59;
constexpr int kSapGlobalControl = 58;
constexpr int kSapReadInputs = 56;
constexpr int kSapAcyclic = 51;  // read and write of records
constexpr std::uint8_t kAcyclicRead = 0x5E;
constexpr std::uint8_t kAcyclicWrite = 0x5F;

constexpr std::uint8_t kBroadcast = 127;
constexpr std::uint8_t kHighestStation = 126;
constexpr std::uint32_t kSyncBits = 33;  // idle a master keeps before its first frame

// Input and output sizes of the slaves; 8 gives SD3 telegrams, 0 short acknowledgements.
constexpr std::array<std::uint8_t, 12> kIoSizes = {0, 1, 2, 2, 4, 4, 6, 8, 8, 10, 16, 32};

constexpr std::array<std::uint8_t, 5> kControlCommands = {0x00, 0x04, 0x08, 0x10, 0x20};
constexpr std::uint8_t kClearDataCommand = 0x02;

// The DP service of a request by its DSAP, as the master meant it.
DpService DpServiceOf(int dsap) {
  switch (dsap) {
    case kNoSap:
      return DpService::kDataExchange;
    case kSapSlaveDiag:
      return DpService::kSlaveDiag;
    case kSapSetPrm:
      return DpService::kSetPrm;
    case kSapChkCfg:
      return DpService::kChkCfg;
    case kSapGetCfg:
      return DpService::kGetCfg;
    case kSapReadInputs:
      return DpService::kReadInputs;
    default:
      return DpService::kNone;
  }
}

}  // namespace

TrafficGenerator::TrafficGenerator(std::uint64_t seed, const BaudTiming& timing)
    : timing_(timing), rng_(seed) {
  Setup();
}

void TrafficGenerator::Setup() {
  std::size_t masterCount = 2 + rng_.Below(2);
  for (std::size_t i = 0; i < masterCount; ++i) {
    Master master;
    master.address = static_cast<std::uint8_t>(i + 1);
    masters_.push_back(master);
  }
  // Only the highest master has a GAP: the addresses above it up to the highest station.
  for (std::size_t i = 0; i < masterCount; ++i) {
    Master& master = masters_[i];
    master.gapFirst = static_cast<std::uint8_t>(master.address + 1);
    master.gapLast = i + 1 < masterCount ? masters_[i + 1].address - 1 : kHighestStation;
    master.gapNext = master.gapFirst;
  }

  std::array<bool, 128> used{};
  std::size_t slaveCount = 4 + rng_.Below(9);
  std::vector<std::uint8_t> addresses;
  while (addresses.size() < slaveCount) {
    auto address = static_cast<std::uint8_t>(4 + rng_.Below(96));
    if (used[address]) continue;
    used[address] = true;
    addresses.push_back(address);
  }
  std::sort(addresses.begin(), addresses.end());
  for (std::size_t i = 0; i < slaveCount; ++i) {
    Slave slave;
    slave.address = addresses[i];
    slave.master = i % masterCount;
    slave.outputs = kIoSizes[rng_.Below(kIoSizes.size())];
    slave.inputs = kIoSizes[rng_.Below(kIoSizes.size())];
    if (slave.outputs == 0 && slave.inputs == 0) slave.inputs = 2;
    slave.tsdrBits = 11 + rng_.Below(std::min<std::uint32_t>(timing_.maxTsdrBits - 11, 60));
    slave.ident = static_cast<std::uint16_t>(0x0800 + rng_.Below(0x0800));
    for (auto& byte : slave.out) byte = rng_.Byte();
    for (auto& byte : slave.in) byte = rng_.Byte();
    masters_[slave.master].slaves.push_back(i);
    slaves_.push_back(slave);
  }
  // Every line gets an output-only station, which acknowledges with SC, and one with 8 input
  // bytes, which answers with SD3: so every seed shows every kind of telegram.
  slaves_[0].inputs = 0;
  if (slaves_[0].outputs == 0) slaves_[0].outputs = 1;
  slaves_[1].inputs = 8;
}

const TrafficRecord& TrafficGenerator::Next() {
  if (holdNext_ == holdSize_) FillHold();
  return hold_[holdNext_++];
}

void TrafficGenerator::FillHold() {
  holdSize_ = 0;
  holdNext_ = 0;
  if (clean_) {
    FillFaultHold();
    return;
  }
  Master& master = masters_[holder_];
  bool first = true;
  for (std::size_t index : master.slaves) {
    Slave& slave = slaves_[index];
    DataExchange(master, slave, first);
    first = false;
    if (slave.diagPending) {
      AcyclicService(master, slave, 0);
      slave.diagPending = false;
    }
  }
  if (!master.slaves.empty() && rng_.OneIn(48)) {
    AcyclicService(master, slaves_[master.slaves[rng_.Below(master.slaves.size())]], rng_.Below(4));
  }
  if (rng_.OneIn(100)) GlobalControl(master);
  if (master.gapFirst <= master.gapLast && rng_.OneIn(4)) GapPoll(master);
  PassToken();
}

TrafficRecord& TrafficGenerator::Emit(const Frame& frame, std::uint32_t gapBits,
                                      const RecordMeaning& meaning, bool stretchable) {
  if (holdSize_ == hold_.size()) hold_.emplace_back();
  TrafficRecord& record = hold_[holdSize_++];
  ++emitted_;
  record.frame = frame;
  record.gapBits = gapBits;
  record.jitterTicks = rng_.Below(timing_.ticksPerBit);
  record.stretchable = stretchable;
  record.status = 0;
  record.meaning = meaning;
  bitClock_ += gapBits + 11u * frame.size;
  // Now and then the module reports a finding. A check error comes with a wrong check byte and
  // an end delimiter error with a wrong end delimiter, as the module would have seen them.
  if (!clean_ && rng_.OneIn(4096)) {
    record.status = static_cast<std::uint8_t>(1u << rng_.Below(8));
    std::size_t fcs = FcsPosition(record.frame);
    if (fcs != 0 && record.status == 0x40) {
      record.frame.bytes[fcs] ^= static_cast<std::uint8_t>(1 + rng_.Below(255));
      record.meaning.badFcs = true;
    }
    if (fcs != 0 && record.status == 0x80) {
      record.frame.bytes[fcs + 1] = 0x17;
      record.meaning.badEd = true;
    }
  }
  return record;
}

namespace {

RecordMeaning Sent(RecordRole role, std::uint8_t sender, std::uint8_t station) {
  RecordMeaning meaning;
  meaning.role = role;
  meaning.sender = sender;
  meaning.station = station;
  return meaning;
}

RecordMeaning Poll(std::uint8_t master, std::uint8_t station, bool answered, bool repeat) {
  RecordMeaning meaning = Sent(RecordRole::kPoll, master, station);
  meaning.answered = answered;
  meaning.repeat = repeat;
  return meaning;
}

// A reply with a function code; `fc` < 0 for a short acknowledgement.
RecordMeaning Reply(std::uint8_t station, int fc) {
  RecordMeaning meaning = Sent(RecordRole::kReply, station, station);
  if (fc >= 0) {
    meaning.stationType = static_cast<std::int8_t>((fc >> 4) & 0x03);
    meaning.function = static_cast<std::uint8_t>(fc & 0x0F);
  }
  return meaning;
}

}  // namespace

std::uint32_t TrafficGenerator::RequestGap() {
  switch (after_) {
    case After::kResponse:
      return 37 + rng_.Below(8);
    case After::kNoAcknowledge:
      return std::max(kSyncBits, timing_.maxTsdrBits) + rng_.Below(8);
    case After::kTimeout:
      return timing_.slotBits + rng_.Below(8);
  }
  return kSyncBits;
}

Frame TrafficGenerator::Request(const Master& master, Slave& slave, int dsap, int ssap,
                                std::span<const std::uint8_t> data, bool stretchable,
                                bool answered) {
  std::uint8_t fc = 0;
  if (clean_) {
    fc = FrameCount(slave, answered);
  } else {
    fc = static_cast<std::uint8_t>(kFcSrdHigh | (slave.fcb ? kFcFcb : 0));
    slave.fcb = !slave.fcb;
  }
  Frame request = MakeTelegram(slave.address, master.address, fc, dsap, ssap, data);
  std::uint32_t gap = RequestGap();
  if (dsap == kNoSap) gap = ExchangeGap(slave, gap);
  Emit(request, gap, Poll(master.address, slave.address, answered, false), stretchable).meaning.dp =
      DpServiceOf(dsap);
  // A slave that misses a request gets it again, with the same frame count bit, after the
  // slot time.
  if (!clean_ && rng_.OneIn(3000)) {
    hold_[holdSize_ - 1].meaning.answered = false;
    after_ = After::kTimeout;
    Emit(request, RequestGap(), Poll(master.address, slave.address, true, true));
  }
  return request;
}

void TrafficGenerator::Retry(const Master& master, const Frame& request, Slave& slave,
                             bool answered, DpService service) {
  Emit(request, RequestGap(), Poll(master.address, slave.address, answered, true)).meaning.dp =
      service;
  if (answered) slave.fcbInStep = true;
}

void TrafficGenerator::Respond(const Master& master, const Slave& slave, std::uint8_t fc, int dsap,
                               int ssap, std::span<const std::uint8_t> data) {
  Emit(MakeTelegram(master.address, slave.address, fc, dsap, ssap, data), Tsdr(slave),
       Reply(slave.address, fc));
  after_ = After::kResponse;
}

void TrafficGenerator::Acknowledge(const Slave& slave) {
  Emit(MakeSc(), Tsdr(slave), Reply(slave.address, -1));
  after_ = After::kResponse;
}

void TrafficGenerator::DataExchange(const Master& master, Slave& slave, bool first) {
  if (slave.outputs != 0 && rng_.OneIn(16)) slave.out[rng_.Below(slave.outputs)] = rng_.Byte();
  Request(master, slave, kNoSap, kNoSap, {slave.out.data(), slave.outputs}, first);
  std::uint8_t fc = kFcDataLow;
  if (slave.inputs != 0) {
    if (rng_.OneIn(8)) slave.in[rng_.Below(slave.inputs)] = rng_.Byte();
    if (!slave.diagPending && rng_.OneIn(5000)) slave.diagPending = true;
    fc = slave.diagPending ? kFcDataHigh : kFcDataLow;
  }
  if (slave.inputs == 0) {
    Acknowledge(slave);
  } else {
    Respond(master, slave, fc, kNoSap, kNoSap, {slave.in.data(), slave.inputs});
  }
}

void TrafficGenerator::AcyclicService(const Master& master, Slave& slave, unsigned service) {
  std::array<std::uint8_t, 36> data{};
  if (service == 2 && slave.inputs == 0) service = 1;
  if (clean_ && service < 2) {
    if (service == 0) ReadDiagnosis(master, slave);
    if (service == 1) ReadConfiguration(master, slave, false);
    return;
  }
  switch (service) {
    case 0: {  // diagnosis: six standard bytes, which with the SAPs make an SD3 response
      Request(master, slave, kSapSlaveDiag, kSapMaster, {}, false);
      data = {static_cast<std::uint8_t>(slave.diagPending ? 0x08 : 0x00),
              0x0C,
              0x00,
              master.address,
              static_cast<std::uint8_t>(slave.ident >> 8),
              static_cast<std::uint8_t>(slave.ident)};
      Respond(master, slave, kFcDataLow, kSapMaster, kSapSlaveDiag, {data.data(), 6});
      break;
    }
    case 1: {  // configuration: one identifier byte for the inputs, one for the outputs
      Request(master, slave, kSapGetCfg, kSapMaster, {}, false);
      std::size_t count = 0;
      if (slave.inputs != 0) data[count++] = static_cast<std::uint8_t>(0x10 | (slave.inputs - 1));
      if (slave.outputs != 0) data[count++] = static_cast<std::uint8_t>(0x20 | (slave.outputs - 1));
      Respond(master, slave, kFcDataLow, kSapMaster, kSapGetCfg, {data.data(), count});
      break;
    }
    case 2:
      Request(master, slave, kSapReadInputs, kSapMaster, {}, false);
      Respond(master, slave, kFcDataLow, kSapMaster, kSapReadInputs,
              {slave.in.data(), slave.inputs});
      break;
    default: {  // record read: slot, index, length; the answer repeats them before the data
      auto length = static_cast<std::uint8_t>(1 + rng_.Below(32));
      data = {kAcyclicRead, static_cast<std::uint8_t>(rng_.Below(4)),
              static_cast<std::uint8_t>(rng_.Below(256)), length};
      Request(master, slave, kSapAcyclic, kSapAcyclic, {data.data(), 4}, false);
      for (std::size_t i = 0; i < length; ++i) data[4 + i] = rng_.Byte();
      Respond(master, slave, kFcDataLow, kSapAcyclic, kSapAcyclic, {data.data(), 4u + length});
      break;
    }
  }
}

void TrafficGenerator::GlobalControl(const Master& master) {
  std::array<std::uint8_t, 2> data = {kControlCommands[rng_.Below(kControlCommands.size())], 0};
  Emit(MakeTelegram(kBroadcast, master.address, kFcSdnHigh, kSapGlobalControl, kSapMaster, data),
       RequestGap(), Sent(RecordRole::kOther, master.address, kNoStation));
  after_ = After::kNoAcknowledge;
}

void TrafficGenerator::GapPoll(Master& master) {
  std::uint8_t address = master.gapNext;
  master.gapNext = address < master.gapLast ? address + 1 : master.gapFirst;
  Frame poll = MakeSd1(address, master.address, kFcFdlStatus);
  TrafficRecord& record =
      Emit(poll, RequestGap(), Sent(RecordRole::kStatusPoll, master.address, address));
  const Slave* slave = nullptr;
  for (const Slave& candidate : slaves_) {
    if (candidate.address == address && candidate.present && !candidate.silent) slave = &candidate;
  }
  if (slave == nullptr) {
    after_ = After::kTimeout;
    return;
  }
  record.meaning.answered = true;
  Emit(MakeSd1(master.address, address, kFcSlaveOk), Tsdr(*slave), Reply(address, kFcSlaveOk));
  after_ = After::kResponse;
}

void TrafficGenerator::PassToken() {
  std::size_t next = (holder_ + 1) % masters_.size();
  while (!masters_[next].present) next = (next + 1) % masters_.size();
  Emit(MakeSd4(masters_[next].address, masters_[holder_].address), RequestGap(),
       Sent(RecordRole::kToken, masters_[holder_].address, masters_[next].address), true);
  after_ = After::kNoAcknowledge;
  holder_ = next;
}

void TrafficGenerator::PickLink(Rng& rng, std::uint8_t& master, std::uint8_t& slave) const {
  const Slave& chosen = slaves_[rng.Below(slaves_.size())];
  master = masters_[chosen.master].address;
  slave = chosen.address;
}

Frame TrafficGenerator::LongestTelegram(Rng& rng) const {
  std::uint8_t master = 0;
  std::uint8_t slave = 0;
  PickLink(rng, master, slave);
  std::array<std::uint8_t, kMaxDataUnit - 2> data{};
  data[0] = kAcyclicWrite;
  data[1] = static_cast<std::uint8_t>(rng.Below(4));
  data[2] = rng.Byte();
  data[3] = static_cast<std::uint8_t>(data.size() - 4);
  for (std::size_t i = 4; i < data.size(); ++i) data[i] = rng.Byte();
  return MakeTelegram(slave, master, kFcSrdHigh, kSapAcyclic, kSapAcyclic, data);
}

// Slaves of the test GSD files.

// What a slave of a test GSD file sends: its configuration (with the input and output bytes it
// adds up to), its user parameters (Set_Prm from byte 8 on) and the extended diagnosis it holds
// while it awaits its parameters and once it runs; how fast it replies (below the file's MaxTsdr
// at every rate the file supports) and the shortest cycle it takes (Min_Slave_Intervall).
struct GsdDevice {
  GsdProfile profile;
  std::uint16_t ident;
  bool dpv1;
  std::span<const std::uint8_t> config;
  std::uint8_t inputs;
  std::uint8_t outputs;
  std::span<const std::uint8_t> userPrm;
  std::span<const std::uint8_t> waiting;
  std::span<const std::uint8_t> running;
  std::uint32_t tsdrBits;  // a reply comes 0 to 3 bit times after this
  std::uint32_t minIntervalUs;
};

namespace {

// 0x7F01, TEST7F01.GSD: one module "8 DI" (0x10, one input byte).
constexpr std::array<std::uint8_t, 1> kCompactConfig = {0x10};
// Diagnosis alarm on (byte 0 bit 1), filter time 7 (bits 2-4), limit 500 (bytes 1-2).
constexpr std::array<std::uint8_t, 3> kCompactPrm = {0x1E, 0x01, 0xF4};
// A device-related block of four bytes; its bits count from the byte after the header. Waiting:
// bit 0 (sensor supply short) set, bit 2 clear (not parameterised), bits 4-11 = 0, bits 16-19 =
// 1. Running: bits 0 and 2 set, bit 6 clear, bits 4-11 = 35, bits 16-19 = 1.
constexpr std::array<std::uint8_t, 4> kCompactWaiting = {0x04, 0x01, 0x00, 0x01};
constexpr std::array<std::uint8_t, 4> kCompactRunning = {0x04, 0x35, 0x02, 0x01};

// 0x7F02, TEST7F02.GSE: "8 DO" (0x20, or "8 DO fast" by the same byte), "2 AI" (0x51, two input
// words), "Counter" (0xC1 0x01 0x01 0x07: two output and two input bytes, one maker byte),
// "Empty" (0x00).
constexpr std::array<std::uint8_t, 7> kStationConfig = {0x20, 0x51, 0xC1, 0x01, 0x01, 0x07, 0x00};
// DP-V1 enabled (the three DP-V1 status bytes), station alarm on (byte 3 bit 0); then the modules'
// areas in slot order: "8 DO" substitute -1, "2 AI" range 3.
constexpr std::array<std::uint8_t, 7> kStationPrm = {0x80, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0x03};
// The device-related block of a DP-V1 slave is a status block: length 5, status message (type
// byte bit 7 set), slot 0, 1 (appears), then a data byte. Waiting, its data is 0; running, bit 1
// of the data is set, and channel blocks follow: module 0 ("8 DO") output channel 3, error 17;
// module 2 ("Counter") input channel 1, error 18; module 1 ("2 AI") input channel 0, error 6
// (wire break).
constexpr std::array<std::uint8_t, 5> kStationWaiting = {0x05, 0x81, 0x00, 0x01, 0x00};
constexpr std::array<std::uint8_t, 14> kStationRunning = {0x05, 0x81, 0x00, 0x01, 0x02, 0x80, 0x83,
                                                          0x31, 0x82, 0x41, 0x32, 0x81, 0x40, 0x26};

// 0x7F02 again: "2 AI", "8 DO", "8 DO", and 0x13 (four input bytes), which no module has.
constexpr std::array<std::uint8_t, 4> kOtherStationConfig = {0x51, 0x20, 0x20, 0x13};
// Station alarm off; "2 AI" range 4; "8 DO" substitute 0, then -200.
constexpr std::array<std::uint8_t, 9> kOtherStationPrm = {0x80, 0x00, 0x00, 0x00, 0x04,
                                                          0x00, 0x00, 0xFF, 0x38};
// Running: the status block with 2 (disappears) and data bit 1; module 0 ("2 AI") input channel
// 1, error 17; module 2 (the second "8 DO") output channel 5, error 17.
constexpr std::array<std::uint8_t, 11> kOtherStationRunning = {0x05, 0x81, 0x00, 0x02, 0x02, 0x80,
                                                               0x41, 0x31, 0x82, 0x85, 0x31};

constexpr std::array<GsdDevice, 3> kGsdDevices = {{
    {GsdProfile::kCompact, 0x7F01, false, kCompactConfig, 1, 0, kCompactPrm, kCompactWaiting,
     kCompactRunning, 40, 600},
    {GsdProfile::kStation, 0x7F02, true, kStationConfig, 6, 3, kStationPrm, kStationWaiting,
     kStationRunning, 12, 1000},
    {GsdProfile::kOtherStation, 0x7F02, true, kOtherStationConfig, 8, 2, kOtherStationPrm,
     kStationWaiting, kOtherStationRunning, 12, 1000},
}};

}  // namespace

void TrafficGenerator::UseGsdSlaves() {
  for (std::size_t i = 0; i < kGsdDevices.size() && i < slaves_.size(); ++i) {
    const GsdDevice& device = kGsdDevices[i];
    Slave& slave = slaves_[i];
    slave.gsd = &device;
    slave.ident = device.ident;
    slave.dpv1 = device.dpv1;
    slave.inputs = device.inputs;
    slave.outputs = device.outputs;
    slave.tsdrBits = device.tsdrBits;
  }
}

std::vector<GsdSlave> TrafficGenerator::GsdSlaves() const {
  std::vector<GsdSlave> list;
  for (const Slave& slave : slaves_) {
    if (slave.gsd != nullptr) list.push_back({slave.address, slave.gsd->profile});
  }
  return list;
}

// The idle before a new data exchange request to a slave of a GSD file: long enough that the
// request starts at least the file's min slave interval after the last one, and a bit time more.
std::uint32_t TrafficGenerator::ExchangeGap(Slave& slave, std::uint32_t gapBits) {
  if (slave.gsd == nullptr) return gapBits;
  const std::uint64_t bitsPerSecond = timing_.ticksPerSecond / timing_.ticksPerBit;
  const std::uint64_t interval =
      (std::uint64_t{slave.gsd->minIntervalUs} * bitsPerSecond + 999'999) / 1'000'000 + 1;
  const std::uint64_t start = bitClock_ + gapBits;
  if (slave.exchangeBit && start < *slave.exchangeBit + interval) {
    gapBits += static_cast<std::uint32_t>(*slave.exchangeBit + interval - start);
  }
  slave.exchangeBit = bitClock_ + gapBits;
  return gapBits;
}

// Fault mode.

namespace {

constexpr std::uint8_t kFirstFreeChoice = 100;  // the generated line uses no address above 99

}  // namespace

TrafficGenerator::Slave TrafficGenerator::NewSlave(std::uint8_t address, std::size_t master) {
  Slave slave;
  slave.address = address;
  slave.master = master;
  slave.outputs = kIoSizes[faultRng_.Below(kIoSizes.size())];
  slave.inputs = kIoSizes[faultRng_.Below(kIoSizes.size())];
  if (slave.outputs == 0 && slave.inputs == 0) slave.inputs = 2;
  slave.tsdrBits = 11 + faultRng_.Below(std::min<std::uint32_t>(timing_.maxTsdrBits - 11, 60));
  slave.ident = static_cast<std::uint16_t>(0x0800 + faultRng_.Below(0x0800));
  for (auto& byte : slave.out) byte = faultRng_.Byte();
  for (auto& byte : slave.in) byte = faultRng_.Byte();
  slave.present = false;
  slave.startup = true;
  return slave;
}

std::string TrafficGenerator::InjectFaults(std::span<const Fault> faults,
                                           std::uint64_t expectedRecords, std::uint64_t seed) {
  clean_ = true;
  faultRng_ = Rng(seed ^ 0x6A09E667F3BCC909ull);
  const std::size_t lineSlaves = slaves_.size();
  // A clean line starts as its masters start: every slave is parameterised before it exchanges
  // data.
  for (Slave& slave : slaves_) slave.startup = true;
  std::array<bool, 128> onLine{};
  for (const Master& master : masters_) onLine[master.address] = true;
  for (const Slave& slave : slaves_) onLine[slave.address] = true;
  onLine[kBroadcast] = true;

  // The addresses asked for first, so that those chosen freely keep clear of them.
  std::array<bool, 128> taken = onLine;
  for (const Fault& fault : faults) {
    if (FaultInfo(fault.kind).station != FaultStation::kNewStation || !fault.station) continue;
    const std::uint8_t address = *fault.station;
    if (taken[address]) {
      return "Fault " + FaultName(fault) + ": station " + std::to_string(address) +
             (onLine[address] ? " is already on this line" : " is named twice");
    }
    taken[address] = true;
  }
  std::string error;
  auto freeAddress = [&](const Fault& fault) -> std::uint8_t {
    for (unsigned i = 0; i <= kHighestStation; ++i) {
      auto address = static_cast<std::uint8_t>((kFirstFreeChoice + i) % (kHighestStation + 1));
      if (taken[address]) continue;
      taken[address] = true;
      return address;
    }
    error = "Fault " + FaultName(fault) + ": no free station address is left";
    return 0;
  };
  auto newAddress = [&](const Fault& fault) {
    return fault.station ? *fault.station : freeAddress(fault);
  };

  // New masters go behind the line's own, in ring order (address 0 follows the highest), so
  // that the slaves keep their masters' indexes.
  std::vector<std::pair<unsigned, std::size_t>> joiners;  // ring position, fault
  std::vector<std::size_t> masterOf(faults.size());
  for (std::size_t i = 0; i < faults.size(); ++i) {
    if (faults[i].kind != FaultKind::kMaster) continue;
    std::uint8_t address = newAddress(faults[i]);
    joiners.push_back({address == 0 ? 128u : address, i});
  }
  std::sort(joiners.begin(), joiners.end());
  for (const auto& [position, index] : joiners) {
    Master master;
    master.address = static_cast<std::uint8_t>(position % 128);
    master.present = false;
    masterOf[index] = masters_.size();
    masters_.push_back(master);
  }

  // Faults that name no slave take the line's slaves in turn, those named by others last, and
  // among each the slaves of GSD files after the others.
  std::vector<std::size_t> turns;
  for (bool named : {false, true}) {
    for (bool gsd : {false, true}) {
      for (std::size_t s = 0; s < lineSlaves; ++s) {
        bool isNamed = std::any_of(faults.begin(), faults.end(), [&](const Fault& fault) {
          return FaultInfo(fault.kind).station == FaultStation::kSlave &&
                 fault.station == slaves_[s].address;
        });
        if (isNamed == named && (slaves_[s].gsd != nullptr) == gsd) turns.push_back(s);
      }
    }
  }
  std::size_t nextSlave = 0;
  for (std::size_t i = 0; i < faults.size() && error.empty(); ++i) {
    const Fault& fault = faults[i];
    ActiveFault active{fault};
    active.start = expectedRecords * fault.At() / 1000;
    active.left = fault.Count();
    switch (fault.kind) {
      case FaultKind::kNone:
        continue;
      case FaultKind::kClearData: {
        std::string list;
        for (std::size_t m = 0; m < masters_.size(); ++m) {
          if (fault.station == masters_[m].address) active.target = m;
          if (masters_[m].present) list += " " + std::to_string(masters_[m].address);
        }
        if (fault.station && masters_[active.target].address != *fault.station) {
          return "Fault " + FaultName(fault) + ": station " + std::to_string(*fault.station) +
                 " is not a master of this line (its masters:" + list + ")";
        }
        touched_.push_back(masters_[active.target].address);
        break;
      }
      case FaultKind::kMaster: {
        active.target = masterOf[i];
        added_.push_back(masters_[active.target].address);
        for (unsigned n = 0; n < fault.Count() && error.empty(); ++n) {
          std::uint8_t address = freeAddress(fault);
          masters_[active.target].slaves.push_back(slaves_.size());
          slaves_.push_back(NewSlave(address, active.target));
          added_.push_back(address);
        }
        break;
      }
      case FaultKind::kAppear:
      case FaultKind::kMissing: {
        std::uint8_t address = newAddress(fault);
        active.target = slaves_.size();
        slaves_.push_back(NewSlave(address, 0));
        added_.push_back(address);
        break;
      }
      default: {
        if (!fault.station) {
          active.target = turns[nextSlave++ % lineSlaves];
          break;
        }
        active.target = lineSlaves;
        std::string list;
        for (std::size_t s = 0; s < lineSlaves; ++s) {
          if (slaves_[s].address == *fault.station) active.target = s;
          list += " " + std::to_string(slaves_[s].address);
        }
        if (active.target == lineSlaves) {
          return "Fault " + FaultName(fault) + ": station " + std::to_string(*fault.station) +
                 " is not a slave of this line (its slaves:" + list + ")";
        }
        break;
      }
    }
    if (FaultInfo(fault.kind).station == FaultStation::kSlave) {
      // A slave of a GSD file sends its file's parameters and configuration and holds its own
      // diagnosis.
      const bool ownsIt =
          fault.kind == FaultKind::kPrmFault || fault.kind == FaultKind::kCfgFault ||
          fault.kind == FaultKind::kChannelError || fault.kind == FaultKind::kDpv1Alarm;
      if (ownsIt && slaves_[active.target].gsd != nullptr) {
        return "Fault " + FaultName(fault) + ": station " +
               std::to_string(slaves_[active.target].address) +
               " is a slave of a GSD file, whose parameters, configuration and diagnosis stay "
               "the file's";
      }
      touched_.push_back(slaves_[active.target].address);
    }
    // A slave that reports alarms is parameterised for DP-V1 from its first start-up on.
    if (fault.kind == FaultKind::kDpv1Alarm) slaves_[active.target].dpv1 = true;
    faults_.push_back(active);
  }
  if (!error.empty()) return error;
  touched_.insert(touched_.end(), added_.begin(), added_.end());
  SetGaps();
  return {};
}

TrafficRecord TrafficGenerator::StandIn(const TrafficRecord& request) const {
  TrafficRecord standIn = request;
  const std::array<std::uint8_t, 2> data = {0x00, 0x00};
  standIn.frame = MakeTelegram(kBroadcast, request.meaning.sender, kFcSdnHigh, kSapGlobalControl,
                               kSapMaster, data);
  standIn.meaning = Sent(RecordRole::kOther, request.meaning.sender, kNoStation);
  return standIn;
}

// A token hold on a clean line: each slave served as its faults say, then the master's
// occasional extras, a waiting master let into the ring, and the token passed on.
void TrafficGenerator::FillFaultHold() {
  StartDueFaults();
  const Master& master = masters_[holder_];
  for (std::size_t index : master.slaves) Serve(master, index);
  for (ActiveFault& active : faults_) {
    if (active.fault.kind == FaultKind::kClearData && !active.done && active.start <= emitted_ &&
        active.target == holder_) {
      ClearData(master, active);
    }
  }
  if (!master.slaves.empty() && rng_.OneIn(48)) {
    const std::size_t index = master.slaves[rng_.Below(master.slaves.size())];
    Slave& slave = slaves_[index];
    unsigned service = rng_.Below(4);
    // Not to a slave whose last request went unanswered, nor to one its master leaves alone: a
    // master that carries on after a lost cycle does so with data exchange.
    if (!slave.silent && !slave.startup && slave.fcbInStep &&
        DueFault(index, FaultPhase::kPause) == nullptr) {
      AcyclicService(master, slave, service);
    }
  }
  if (rng_.OneIn(100)) GlobalControl(master);
  if (master.gapFirst <= master.gapLast && rng_.OneIn(4)) GapPoll(masters_[holder_]);
  JoinRing();
  PassToken();
}

void TrafficGenerator::StartDueFaults() {
  for (ActiveFault& active : faults_) {
    if (active.started || active.start > emitted_) continue;
    active.started = true;
    const FaultKind kind = active.fault.kind;
    if (kind != FaultKind::kAppear && kind != FaultKind::kMissing) continue;
    Slave& slave = slaves_[active.target];
    slave.present = true;
    slave.silent = kind == FaultKind::kMissing;
    masters_[slave.master].slaves.push_back(active.target);
    active.done = kind == FaultKind::kAppear;
  }
}

// Where in a hold a kind acts on its slave; none for the kinds that add stations, and for
// clear_data, which acts on a master.
TrafficGenerator::FaultPhase TrafficGenerator::PhaseOf(FaultKind kind) {
  switch (kind) {
    case FaultKind::kOutage:
    case FaultKind::kMissing:
    case FaultKind::kDpDrop:
      return FaultPhase::kSilence;
    case FaultKind::kDpRs:
      return FaultPhase::kPause;
    case FaultKind::kPrmFault:
    case FaultKind::kCfgFault:
      return FaultPhase::kStartup;
    case FaultKind::kCfgDiffers:
      return FaultPhase::kRead;
    case FaultKind::kMaster:
    case FaultKind::kAppear:
    case FaultKind::kClearData:
    case FaultKind::kNone:
      return FaultPhase::kNone;
    default:
      return FaultPhase::kExchange;
  }
}

TrafficGenerator::ActiveFault* TrafficGenerator::DueFault(std::size_t slave, FaultPhase phase) {
  for (ActiveFault& active : faults_) {
    if (active.done || active.start > emitted_ || active.target != slave) continue;
    if (PhaseOf(active.fault.kind) == phase) return &active;
  }
  return nullptr;
}

void TrafficGenerator::Serve(const Master& master, std::size_t index) {
  Slave& slave = slaves_[index];
  if (ActiveFault* silence = DueFault(index, FaultPhase::kSilence)) {
    Silence(master, slave, *silence);
    return;
  }
  // A master that leaves a running slave out of its holds for a while, longer than the slave's
  // watchdog: the slave leaves data exchange and refuses it when the master comes back.
  ActiveFault* pause = slave.startup ? nullptr : DueFault(index, FaultPhase::kPause);
  if (pause != nullptr && pause->used++ < pause->fault.Count()) return;
  if (pause != nullptr) {
    pause->done = true;
    slave.refuses = true;
  }
  // A master that parameterises a running slave anew.
  if (DueFault(index, FaultPhase::kStartup) != nullptr) slave.startup = true;
  if (slave.startup) {
    if (!Startup(master, slave)) return;
    slave.startup = false;
  }
  CleanExchange(master, slave, pause);
  if (!slave.fcbInStep) return;  // lost: the master carries on in its next hold
  if (slave.diagPending) {
    ReadDiagnosis(master, slave);
    slave.diagPending = false;
    if (slave.dpv1) slave.extSize = 0;  // an alarm, once read, has been delivered
  }
  if (ActiveFault* read = DueFault(index, FaultPhase::kRead)) {
    ReadConfiguration(master, slave, true);
    if (--read->left == 0) read->done = true;
  }
}

// A slave that answers nothing: its master repeats each request up to its retry limit within
// the hold. For an outage, after a data exchange request it falls back to asking for the
// slave's diagnosis, hold after hold, until the slave answers again and is parameterised anew.
// For dp_drop it carries on with data exchange, which the slave, back without its parameters,
// refuses before the master starts it anew.
void TrafficGenerator::Silence(const Master& master, Slave& slave, ActiveFault& fault) {
  slave.silent = true;
  const FaultKind kind = fault.fault.kind;
  const bool carryOn = kind == FaultKind::kDpDrop && !slave.startup;
  if (!slave.startup) {
    Unanswered(master, slave, kNoSap, kNoSap, {slave.out.data(), slave.outputs},
               fault.fault.retries);
    slave.startup = !carryOn;
  }
  if (slave.startup) Unanswered(master, slave, kSapSlaveDiag, kSapMaster, {}, fault.fault.retries);
  if (kind != FaultKind::kMissing && --fault.left == 0) {
    fault.done = true;
    // Back on the bus, the slave starts afresh and waits for its parameters.
    slave.silent = false;
    slave.refuses = carryOn;
    slave.startup = !carryOn;
    slave.parameterised = false;
    slave.condition = DiagBit(kPrmReq);
  }
}

void TrafficGenerator::Unanswered(const Master& master, Slave& slave, int dsap, int ssap,
                                  std::span<const std::uint8_t> data, unsigned retries) {
  Frame request = Request(master, slave, dsap, ssap, data, holdSize_ == 0, false);
  for (unsigned i = 0; i < retries; ++i) {
    after_ = After::kTimeout;
    Retry(master, request, slave, false, DpServiceOf(dsap));
  }
  after_ = After::kTimeout;
}

// The frame count bits as a master keeps them for a slave on a clean line: toggled after each
// answered request, the same on a repeat, and a reset (FCV=0, FCB=1) on its first request and
// on the first new one after a request the slave left unanswered.
std::uint8_t TrafficGenerator::FrameCount(Slave& slave, bool answered) {
  const bool fcb = !slave.fcbInStep || slave.fcb;
  const auto fc =
      static_cast<std::uint8_t>(slave.fcbInStep ? kFcSrdHigh | (fcb ? kFcFcb : 0) : kFcSrdReset);
  slave.fcb = !fcb;
  slave.fcbInStep = answered;
  return fc;
}

namespace {

// Set_Prm: station status (lock, watchdog on), the watchdog factors, min TSDR, ident number,
// group; a DP-V1 slave's three status bytes besides.
constexpr std::uint8_t kLockReq = 0x80;
constexpr std::uint8_t kWdOnBit = 0x08;
constexpr std::uint8_t kMinTsdrBits = 11;  // no reply on the line comes earlier
constexpr std::uint8_t kDpv1Enable = 0x80;
// The diagnosis bytes 2 and 3 by flag; byte 1 holds flags 0-7 as they are, and byte 2 bit 2 is
// set unless bit2_clear is.
struct DiagPlace {
  DiagFlag flag;
  std::size_t byte;
  std::uint8_t bit;
};
constexpr std::array<DiagPlace, 7> kDiagPlaces = {{{kPrmReq, 1, 0x01},
                                                   {kStatDiag, 1, 0x02},
                                                   {kWdOn, 1, 0x08},
                                                   {kFreezeMode, 1, 0x10},
                                                   {kSyncMode, 1, 0x20},
                                                   {kDeactivated, 1, 0x80},
                                                   {kExtDiagOverflow, 2, 0x80}}};
constexpr std::uint8_t kNoMaster = 0xFF;  // the diagnosis' master address before parameters

// A configuration identifier for `bytes` (1..32) inputs (0x10) or outputs (0x20): up to 16
// bytes, and 32 as 16 words.
std::uint8_t Identifier(std::uint8_t direction, std::uint8_t bytes) {
  return static_cast<std::uint8_t>(bytes <= 16 ? direction | (bytes - 1)
                                               : 0x40 | direction | (bytes / 2 - 1));
}

// The identifier bytes of a slave's modules: one for its inputs and one for its outputs; a slave
// of a GSD file, its file's modules. Returns how many.
std::size_t Modules(const GsdDevice* gsd, std::uint8_t inputs, std::uint8_t outputs,
                    std::array<std::uint8_t, 40>& bytes) {
  if (gsd != nullptr) {
    std::copy(gsd->config.begin(), gsd->config.end(), bytes.begin());
    return gsd->config.size();
  }
  std::size_t count = 0;
  if (inputs != 0) bytes[count++] = Identifier(0x10, inputs);
  if (outputs != 0) bytes[count++] = Identifier(0x20, outputs);
  return count;
}

}  // namespace

// What a master does before it takes a slave into data exchange: it reads the diagnosis, sends
// the parameters and the configuration, and reads the diagnosis again, which is clear once the
// slave took both. A slave that rejects them says so there, and the master tries again in its
// next hold. True when the slave is ready for data exchange.
bool TrafficGenerator::Startup(const Master& master, Slave& slave) {
  ActiveFault* rejected =
      DueFault(static_cast<std::size_t>(&slave - slaves_.data()), FaultPhase::kStartup);
  const bool wrongPrm = rejected != nullptr && rejected->fault.kind == FaultKind::kPrmFault;
  ReadDiagnosis(master, slave);
  SetParameters(master, slave, wrongPrm);
  CheckConfiguration(master, slave, rejected != nullptr && !wrongPrm);
  slave.parameterised = rejected == nullptr;
  slave.condition = 0;
  if (rejected != nullptr) {
    slave.condition = DiagBit(kPrmReq) | DiagBit(wrongPrm ? kPrmFault : kCfgFault);
    ++rejected->used;
    if (--rejected->left == 0) rejected->done = true;
  }
  ReadDiagnosis(master, slave);
  return rejected == nullptr;
}

// Slave_Diag: six standard bytes (the flags, the master once the slave has its parameters, the
// ident number) and the extended diagnosis the slave holds.
void TrafficGenerator::ReadDiagnosis(const Master& master, Slave& slave) {
  Request(master, slave, kSapSlaveDiag, kSapMaster, {}, holdSize_ == 0);
  std::uint16_t flags = slave.condition;
  // A slave of a GSD file holds its file's diagnosis, by whether it has its parameters.
  std::span<const std::uint8_t> ext(slave.ext.data(), slave.extSize);
  if (slave.gsd != nullptr) ext = slave.parameterised ? slave.gsd->running : slave.gsd->waiting;
  if (slave.diagPending || !ext.empty()) flags |= DiagBit(kExtDiag);
  std::array<std::uint8_t, 32> diag{};
  diag[0] = static_cast<std::uint8_t>(flags & 0xFF);
  diag[1] = (flags & DiagBit(kBit2Clear)) != 0 ? 0x00 : 0x04;
  for (const DiagPlace& place : kDiagPlaces) {
    if ((flags & DiagBit(place.flag)) != 0) diag[place.byte] |= place.bit;
  }
  diag[3] = slave.parameterised ? master.address : kNoMaster;
  diag[4] = static_cast<std::uint8_t>(slave.ident >> 8);
  diag[5] = static_cast<std::uint8_t>(slave.ident);
  std::copy(ext.begin(), ext.end(), diag.begin() + 6);
  const std::size_t size = 6 + ext.size();
  const bool changed = size != slave.lastDiagSize ||
                       !std::equal(diag.begin(), diag.begin() + size, slave.lastDiag.begin());
  Respond(master, slave, kFcDataLow, kSapMaster, kSapSlaveDiag, {diag.data(), size});
  Last().meaning.diagFlags = flags;
  Last().meaning.diagChanged = changed;
  slave.lastDiag = diag;
  slave.lastDiagSize = size;
}

// Set_Prm, acknowledged. A wrong ident number is what the slave rejects as a parameter fault.
void TrafficGenerator::SetParameters(const Master& master, Slave& slave, bool wrong) {
  const auto ident = static_cast<std::uint16_t>(wrong ? slave.ident ^ 0x0040 : slave.ident);
  const std::array<std::uint8_t, 10> parameters = {
      static_cast<std::uint8_t>(kLockReq | (slave.wdOn ? kWdOnBit : 0)),
      slave.wdFact1,
      slave.wdFact2,
      kMinTsdrBits,
      static_cast<std::uint8_t>(ident >> 8),
      static_cast<std::uint8_t>(ident),
      0x00,
      kDpv1Enable,
      0x00,
      0x00};
  std::array<std::uint8_t, 40> bytes{};
  std::copy(parameters.begin(), parameters.end(), bytes.begin());
  std::size_t size = slave.dpv1 ? 10u : 7u;
  if (slave.gsd != nullptr) {  // its file's user parameters from byte 8 on
    std::copy(slave.gsd->userPrm.begin(), slave.gsd->userPrm.end(), bytes.begin() + 7);
    size = 7 + slave.gsd->userPrm.size();
  }
  Request(master, slave, kSapSetPrm, kSapMaster, {bytes.data(), size}, holdSize_ == 0);
  Last().meaning.watchdogMs = slave.wdOn ? slave.wdFact1 * slave.wdFact2 * 10u : 0;
  Acknowledge(slave);
}

// Chk_Cfg, acknowledged: the slave's modules. A module the slave does not have is what it
// rejects as a configuration fault.
void TrafficGenerator::CheckConfiguration(const Master& master, Slave& slave, bool wrong) {
  std::array<std::uint8_t, 40> configuration{};
  std::size_t count = Modules(slave.gsd, slave.inputs, slave.outputs, configuration);
  if (wrong) configuration[count++] = Identifier(0x10, 1);
  Request(master, slave, kSapChkCfg, kSapMaster, {configuration.data(), count}, holdSize_ == 0);
  Acknowledge(slave);
}

// Get_Cfg: the slave's modules; one output byte more than the configuration has when it
// differs.
void TrafficGenerator::ReadConfiguration(const Master& master, Slave& slave, bool differs) {
  Request(master, slave, kSapGetCfg, kSapMaster, {}, holdSize_ == 0);
  std::array<std::uint8_t, 40> configuration{};
  std::size_t count = Modules(slave.gsd, slave.inputs, slave.outputs, configuration);
  if (differs) configuration[count++] = Identifier(0x20, 1);
  Respond(master, slave, kFcDataLow, kSapMaster, kSapGetCfg, {configuration.data(), count});
  if (differs) Last().meaning.dpFaults |= kDpCfgMismatch;
}

namespace {

// A channel error in the extended diagnosis: module 3, channel 2 an input of one bit, wire
// break (error 6).
constexpr std::array<std::uint8_t, 3> kChannelBlock = {0x80 | 3, 0x40 | 2, 0x20 | 6};

}  // namespace

// One data exchange on a clean line, as the slave's faults shape it: the request and the reply,
// with the master's repeats where a reply does not come in time.
void TrafficGenerator::CleanExchange(const Master& master, Slave& slave, ActiveFault* pause) {
  const bool first = holdSize_ == 0;
  if (slave.outputs != 0 && rng_.OneIn(16)) slave.out[rng_.Below(slave.outputs)] = rng_.Byte();
  if (slave.inputs != 0 && rng_.OneIn(8)) slave.in[rng_.Below(slave.inputs)] = rng_.Byte();
  ActiveFault* fault = slave.refuses ? nullptr
                                     : DueFault(static_cast<std::size_t>(&slave - slaves_.data()),
                                                FaultPhase::kExchange);
  FaultKind kind = fault != nullptr ? fault->fault.kind : FaultKind::kNone;
  if (kind == FaultKind::kMissedCycles) {
    if (LoseExchange(master, slave, *fault)) return;
    kind = FaultKind::kNone;  // the answered cycle between two rows
  }
  if (kind == FaultKind::kFcbNotToggled && !slave.fcbInStep) kind = FaultKind::kNone;

  std::array<std::uint8_t, 40> out{};
  std::array<std::uint8_t, 40> in{};
  std::copy_n(slave.out.begin(), slave.outputs, out.begin());
  std::copy_n(slave.in.begin(), slave.inputs, in.begin());
  std::size_t outSize = slave.outputs;
  std::size_t inSize = slave.inputs;
  // A slave out of data exchange refuses it: no service activated.
  std::uint16_t marks = pause != nullptr ? kDpWatchdog : 0;
  std::uint8_t fc = slave.refuses ? kFcNoService : kFcDataLow;
  switch (kind) {
    case FaultKind::kDiagnosis:
      fc = kFcDataHigh;
      slave.diagPending = true;
      break;
    case FaultKind::kUe:
      fc = kFcUserError;
      break;
    case FaultKind::kRr:
      fc = kFcNoResource;
      break;
    case FaultKind::kRs:
      fc = kFcNoService;
      break;
    case FaultKind::kFcbNotToggled:
      slave.fcb = !slave.fcb;
      marks |= kDpFcbNotToggled;
      break;
    case FaultKind::kIoLength:  // a byte too many, in the request and in the reply by turns
      if (fault->used % 2 == 0) {
        out[outSize++] = faultRng_.Byte();
      } else {
        in[inSize++] = faultRng_.Byte();
      }
      marks |= kDpIoLength;
      break;
    // A channel error comes, stays for cycles=N holds and goes; the slave flags both changes.
    case FaultKind::kChannelError:
      if (fault->used != 0 && fault->used <= fault->fault.Count()) break;
      fc = kFcDataHigh;
      slave.diagPending = true;
      slave.extSize = 0;
      if (fault->used == 0) {
        std::copy(kChannelBlock.begin(), kChannelBlock.end(), slave.ext.begin());
        slave.extSize = kChannelBlock.size();
      }
      break;
    case FaultKind::kDpv1Alarm: {  // a diagnostic alarm of slot 3 appears, numbered in turn
      fc = kFcDataHigh;
      slave.diagPending = true;
      const std::array<std::uint8_t, 5> alarm = {
          5, 0x01, 3, static_cast<std::uint8_t>(((fault->used & 0x1F) << 3) | 0x01), 0x00};
      std::copy(alarm.begin(), alarm.end(), slave.ext.begin());
      slave.extSize = alarm.size();
      break;
    }
    default:
      break;
  }

  // A late or damaged reply is no reply to the master: it asks again.
  const bool missed = kind == FaultKind::kLate || kind == FaultKind::kCorrupt;
  Frame request;
  if (kind == FaultKind::kFcbToggledOnRepeat) {
    // The slave misses the request; the master asks again with the frame count bit toggled,
    // which to the slave is a new request.
    Request(master, slave, kNoSap, kNoSap, {out.data(), outSize}, first, false);
    after_ = After::kTimeout;
    const auto toggled = static_cast<std::uint8_t>(kFcSrdHigh | (slave.fcb ? kFcFcb : 0));
    slave.fcb = !slave.fcb;
    slave.fcbInStep = true;
    request =
        MakeTelegram(slave.address, master.address, toggled, kNoSap, kNoSap, {out.data(), outSize});
    Emit(request, ExchangeGap(slave, RequestGap()),
         Poll(master.address, slave.address, true, false))
        .meaning.dp = DpService::kDataExchange;
    marks |= kDpFcbToggledOnRepeat;
  } else {
    request = Request(master, slave, kNoSap, kNoSap, {out.data(), outSize}, first, !missed);
  }
  Last().meaning.dpFaults |= marks;

  // A negative acknowledgement carries no data; nor can an output-only slave's reply, which
  // is a short acknowledgement unless it needs a function code, and then SD1.
  const bool negative = fc == kFcUserError || fc == kFcNoResource || fc == kFcNoService;
  Frame reply;
  if (inSize != 0 && !negative) {
    reply = MakeTelegram(master.address, slave.address, fc, kNoSap, kNoSap, {in.data(), inSize});
  } else if (inSize == 0 && fc == kFcDataLow) {
    reply = MakeSc();
  } else {
    reply = MakeSd1(master.address, slave.address, fc);
  }
  const int replyFc = reply.bytes[0] == kSc ? -1 : fc;
  if (missed || kind == FaultKind::kEarly) {
    FaultyReply(master, slave, request, reply, replyFc, *fault);
    return;
  }
  Emit(reply, Tsdr(slave), Reply(slave.address, replyFc));
  after_ = After::kResponse;
  if (slave.refuses) {  // the master starts the slave anew in its next hold
    slave.refuses = false;
    slave.startup = true;
    slave.parameterised = false;
    slave.condition = DiagBit(kPrmReq);
  }
  if (fault == nullptr || kind == FaultKind::kNone) return;
  ++fault->used;
  switch (kind) {
    case FaultKind::kChannelError:
      fault->done = fault->used > fault->fault.Count() + 1;
      break;
    default:
      if (--fault->left == 0) fault->done = true;
      break;
  }
}

// missed_cycles: the slave misses data exchange requests in rows of one and of two by turns,
// with an answered cycle between; the master repeats each, then carries on in its next hold.
// True when this cycle is lost.
bool TrafficGenerator::LoseExchange(const Master& master, Slave& slave, ActiveFault& fault) {
  if (fault.row == 1 + fault.used % 2) {
    fault.row = 0;
    ++fault.used;
    return false;
  }
  Unanswered(master, slave, kNoSap, kNoSap, {slave.out.data(), slave.outputs}, fault.fault.retries);
  ++fault.row;
  if (--fault.left == 0) fault.done = true;
  return true;
}

// The slave's reply to a data exchange as its fault shapes it. A late or damaged reply is none
// to the master, which asks again, byte for byte, once the line is quiet, and gets the reply.
void TrafficGenerator::FaultyReply(const Master& master, Slave& slave, const Frame& request,
                                   const Frame& reply, int fc, ActiveFault& fault) {
  const unsigned variant = fault.used++;
  if (--fault.left == 0) fault.done = true;
  RecordMeaning meaning = Reply(slave.address, fc);
  switch (fault.fault.kind) {
    case FaultKind::kLate: {
      RecordMeaning late = meaning;
      late.timing = ReplyTiming::kLate;
      if (fc < 0) late.sender = kNoStation;  // an acknowledgement that answers nothing
      Emit(reply, timing_.slotBits + 1 + faultRng_.Below(32), late);
      after_ = After::kResponse;
      Retry(master, request, slave, true, DpService::kDataExchange);
      break;
    }
    case FaultKind::kCorrupt: {
      RecordMeaning damaged = meaning;
      Frame bytes = reply;
      const std::size_t fcs = FcsPosition(bytes);
      // A check error with a wrong check byte, a wrong check byte the module did not flag, an
      // end delimiter error with a wrong end delimiter, a parity error on its own. A short
      // acknowledgement has neither check byte nor delimiter: it gets status bits only.
      constexpr std::array<std::uint8_t, 4> kWithFcs = {0x40, 0x00, 0x80, 0x02};
      constexpr std::array<std::uint8_t, 4> kWithout = {0x02, 0x01, 0x20, 0x08};
      const std::uint8_t status = fcs != 0 ? kWithFcs[variant % 4] : kWithout[variant % 4];
      if (fcs != 0 && variant % 4 < 2) {
        bytes.bytes[fcs] ^= static_cast<std::uint8_t>(1 + faultRng_.Below(255));
        damaged.badFcs = true;
      }
      if (fcs != 0 && variant % 4 == 2) {
        bytes.bytes[fcs + 1] = 0x17;
        damaged.badEd = true;
      }
      Emit(bytes, Tsdr(slave), damaged).status = status;
      after_ = After::kResponse;
      Retry(master, request, slave, true, DpService::kDataExchange);
      break;
    }
    case FaultKind::kEarly:
      meaning.timing = ReplyTiming::kEarly;
      meaning.dpFaults = kDpMinTsdr;
      Emit(reply, faultRng_.Below(11), meaning);
      after_ = After::kResponse;
      return;
    default:
      break;
  }
  Emit(reply, Tsdr(slave), meaning);
  after_ = After::kResponse;
}

// Global_Control with Clear_Data to every slave: the master's outputs go to their safe state.
void TrafficGenerator::ClearData(const Master& master, ActiveFault& fault) {
  const std::array<std::uint8_t, 2> data = {kClearDataCommand, 0x00};
  Emit(MakeTelegram(kBroadcast, master.address, kFcSdnHigh, kSapGlobalControl, kSapMaster, data),
       RequestGap(), Sent(RecordRole::kOther, master.address, kNoStation))
      .meaning.dpFaults = kDpClearData;
  after_ = After::kNoAcknowledge;
  if (--fault.left == 0) fault.done = true;
}

namespace {

constexpr std::uint64_t kWatchdogUnitNs = 10'000'000;  // the factors count in 10 ms
constexpr std::uint64_t kMaxWatchdogUnits = 255 * 255;
constexpr std::uint64_t kLeastWatchdogUnits = 20;  // 200 ms, unless a pause must show

// The smallest product of two factors 1..255 that is at least `units` (at most 255 * 255).
std::uint64_t Factors(std::uint64_t units, std::uint8_t& first, std::uint8_t& second) {
  std::uint64_t best = kMaxWatchdogUnits + 1;
  for (std::uint64_t a = 1; a <= 255; ++a) {
    const std::uint64_t b = std::max<std::uint64_t>(1, (units + a - 1) / a);
    if (b > 255 || a * b >= best) continue;
    best = a * b;
    first = static_cast<std::uint8_t>(a);
    second = static_cast<std::uint8_t>(b);
  }
  return best;
}

std::string Ms(std::uint64_t ns) { return std::to_string(ns / 1'000'000) + " ms"; }

// A wait and a watchdog are kept apart by an eighth of the wait and a millisecond: more than a
// data exchange request lasts, so that it does not matter whether the analyser takes a wait
// between the requests' starts or their ends.
std::uint64_t WithMargin(std::uint64_t ns) { return ns + ns / 8 + 1'000'000; }

}  // namespace

// A watchdog clearly above the slave's longest wait between two cycles; a pause clearly above
// the watchdog besides.
std::string TrafficGenerator::SetWatchdogs(std::span<const WatchdogNeed> needs) {
  for (const WatchdogNeed& need : needs) {
    for (Slave& slave : slaves_) {
      if (slave.address != need.station) continue;
      std::uint64_t units = (WithMargin(need.longestNs) + kWatchdogUnitNs - 1) / kWatchdogUnitNs;
      if (!need.pauseNs) units = std::max(units, kLeastWatchdogUnits);
      const std::uint64_t product = Factors(units, slave.wdFact1, slave.wdFact2);
      slave.wdOn = product <= kMaxWatchdogUnits;
      const std::uint64_t watchdogNs = product * kWatchdogUnitNs;
      if (need.pauseNs && (!slave.wdOn || *need.pauseNs <= WithMargin(watchdogNs))) {
        return "Fault dp_rs on station " + std::to_string(slave.address) + ": a pause of " +
               Ms(*need.pauseNs) + " does not outlast a watchdog above its longest cycle of " +
               Ms(need.longestNs) + "; give it more cycles";
      }
      if (!slave.wdOn) {
        slave.wdFact1 = 1;
        slave.wdFact2 = 1;
      }
    }
  }
  return {};
}

// A master waiting to join is let in by its predecessor in the ring: asked for its FDL status,
// it says it is ready, and gets the token next.
void TrafficGenerator::JoinRing() {
  for (ActiveFault& active : faults_) {
    if (active.fault.kind != FaultKind::kMaster || active.done || active.start > emitted_) {
      continue;
    }
    std::size_t next = (holder_ + 1) % masters_.size();
    bool passes = false;
    for (; !masters_[next].present; next = (next + 1) % masters_.size()) {
      passes = passes || next == active.target;
    }
    if (!passes) continue;
    Master& joiner = masters_[active.target];
    const Master& holder = masters_[holder_];
    RecordMeaning poll = Sent(RecordRole::kStatusPoll, holder.address, joiner.address);
    poll.answered = true;
    Emit(MakeSd1(joiner.address, holder.address, kFcFdlStatus), RequestGap(), poll);
    Emit(MakeSd1(holder.address, joiner.address, kFcMasterReady), 11 + rng_.Below(30),
         Reply(joiner.address, kFcMasterReady));
    after_ = After::kResponse;
    joiner.present = true;
    for (std::size_t index : joiner.slaves) slaves_[index].present = true;
    active.done = true;
    SetGaps();
    return;
  }
}

// Each master in the ring polls the addresses between itself and the next master for new
// stations; the highest polls up to the highest station address.
void TrafficGenerator::SetGaps() {
  const std::size_t count = masters_.size();
  for (std::size_t i = 0; i < count; ++i) {
    Master& master = masters_[i];
    if (!master.present) {
      master.gapFirst = 1;
      master.gapLast = 0;
      continue;
    }
    std::size_t next = (i + 1) % count;
    while (!masters_[next].present) next = (next + 1) % count;
    const std::uint8_t nextAddress = masters_[next].address;
    master.gapFirst = static_cast<std::uint8_t>(master.address + 1);
    master.gapLast = nextAddress > master.address ? nextAddress - 1 : kHighestStation;
    if (master.gapNext < master.gapFirst || master.gapNext > master.gapLast) {
      master.gapNext = master.gapFirst;
    }
  }
}

}  // namespace fdc::gen
