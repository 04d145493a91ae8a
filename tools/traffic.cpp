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
constexpr std::uint8_t kFcSrdHigh = kFcRequest | kFcFcv | 0x0D;  // send and request data, high
constexpr std::uint8_t kFcFdlStatus = kFcRequest | 0x09;  // request FDL status (no frame count)
constexpr std::uint8_t kFcSdnHigh = kFcRequest | 0x06;    // send data with no acknowledge, high
constexpr std::uint8_t kFcSlaveOk = 0x00;   // FDL status response: passive station, OK
constexpr std::uint8_t kFcDataLow = 0x08;   // response data, low priority
constexpr std::uint8_t kFcDataHigh = 0x0A;  // response data, high priority: diagnosis waiting

// Service access points of the DP services used acyclically.
constexpr int kSapMaster = 62;
constexpr int kSapSlaveDiag = 60;
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

void TrafficGenerator::Emit(const Frame& frame, std::uint32_t gapBits, bool stretchable) {
  if (holdSize_ == hold_.size()) hold_.emplace_back();
  TrafficRecord& record = hold_[holdSize_++];
  record.frame = frame;
  record.gapBits = gapBits;
  record.jitterTicks = rng_.Below(timing_.ticksPerBit);
  record.stretchable = stretchable;
  record.status = 0;
  // Now and then the module reports a finding. A check error comes with a wrong check byte and
  // an end delimiter error with a wrong end delimiter, as the module would have seen them.
  if (rng_.OneIn(4096)) {
    record.status = static_cast<std::uint8_t>(1u << rng_.Below(8));
    std::size_t fcs = FcsPosition(record.frame);
    if (fcs != 0 && record.status == 0x40) {
      record.frame.bytes[fcs] ^= static_cast<std::uint8_t>(1 + rng_.Below(255));
    }
    if (fcs != 0 && record.status == 0x80) record.frame.bytes[fcs + 1] = 0x17;
  }
}

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

void TrafficGenerator::Request(const Master& master, Slave& slave, int dsap, int ssap,
                               std::span<const std::uint8_t> data, bool stretchable) {
  auto fc = static_cast<std::uint8_t>(kFcSrdHigh | (slave.fcb ? kFcFcb : 0));
  slave.fcb = !slave.fcb;
  Frame request = MakeTelegram(slave.address, master.address, fc, dsap, ssap, data);
  Emit(request, RequestGap(), stretchable);
  // A slave that misses a request gets it again, with the same frame count bit, after the
  // slot time.
  if (rng_.OneIn(3000)) {
    after_ = After::kTimeout;
    Emit(request, RequestGap());
  }
}

void TrafficGenerator::Respond(const Master& master, const Slave& slave, std::uint8_t fc, int dsap,
                               int ssap, std::span<const std::uint8_t> data) {
  Emit(MakeTelegram(master.address, slave.address, fc, dsap, ssap, data), Tsdr(slave));
  after_ = After::kResponse;
}

void TrafficGenerator::DataExchange(const Master& master, Slave& slave, bool first) {
  if (slave.outputs != 0 && rng_.OneIn(16)) slave.out[rng_.Below(slave.outputs)] = rng_.Byte();
  Request(master, slave, kNoSap, kNoSap, {slave.out.data(), slave.outputs}, first);
  if (slave.inputs == 0) {
    Emit(MakeSc(), Tsdr(slave));
    after_ = After::kResponse;
  } else {
    if (rng_.OneIn(8)) slave.in[rng_.Below(slave.inputs)] = rng_.Byte();
    if (!slave.diagPending && rng_.OneIn(5000)) slave.diagPending = true;
    std::uint8_t fc = slave.diagPending ? kFcDataHigh : kFcDataLow;
    Respond(master, slave, fc, kNoSap, kNoSap, {slave.in.data(), slave.inputs});
  }
}

void TrafficGenerator::AcyclicService(const Master& master, Slave& slave, unsigned service) {
  std::array<std::uint8_t, 36> data{};
  if (service == 2 && slave.inputs == 0) service = 1;
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
       RequestGap());
  after_ = After::kNoAcknowledge;
}

void TrafficGenerator::GapPoll(Master& master) {
  std::uint8_t address = master.gapNext;
  master.gapNext = address < master.gapLast ? address + 1 : master.gapFirst;
  Emit(MakeSd1(address, master.address, kFcFdlStatus), RequestGap());
  const Slave* slave = nullptr;
  for (const Slave& candidate : slaves_) {
    if (candidate.address == address) slave = &candidate;
  }
  if (slave == nullptr) {
    after_ = After::kTimeout;
    return;
  }
  Emit(MakeSd1(master.address, address, kFcSlaveOk), Tsdr(*slave));
  after_ = After::kResponse;
}

void TrafficGenerator::PassToken() {
  std::size_t next = (holder_ + 1) % masters_.size();
  Emit(MakeSd4(masters_[next].address, masters_[holder_].address), RequestGap(), true);
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

}  // namespace fdc::gen
