// A GSD file's names on what a slave said: its configuration in modules, its device-related
// diagnosis in the maker's texts, its user parameters by name.
#include <algorithm>
#include <limits>

#include "dp/gsd.h"

namespace fdc::dp {

namespace {

constexpr std::size_t kDiagStatusSize = 6;
constexpr std::size_t kChannelBlockSize = 3;
constexpr std::uint8_t kFirstMakerChannelError = 16;
constexpr std::uint32_t kWatchdogBaseMs = 10;
constexpr std::uint32_t kMaxAreaBits = 32;
constexpr std::string_view kShortParameterArea = "parameters shorter than the GSD file describes";

bool BitAt(ByteView bytes, std::uint32_t n) { return (bytes.U8(n / 8) >> (n % 8)) & 1u; }

bool Matches(ByteView config, std::size_t pos, const std::vector<std::uint8_t>& bytes) {
  if (bytes.empty() || pos + bytes.size() > config.size()) return false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (config.U8(pos + i) != bytes[i]) return false;
  }
  return true;
}

// The device-related block's texts: the bytes after its header, numbered from bit 0.
void UnitDiagTexts(const GsdFile& file, ByteView bytes, std::size_t block,
                   std::vector<GsdDiagText>& out) {
  const std::uint64_t bits = static_cast<std::uint64_t>(bytes.size()) * 8;
  const auto helpOf = [&file](std::uint32_t n) {
    const auto it = file.unitDiagBitHelp.find(n);
    return it == file.unitDiagBitHelp.end() ? std::string() : it->second;
  };
  for (const auto& [n, text] : file.unitDiagBits) {
    if (n < bits && BitAt(bytes, n)) out.push_back({block, n, false, {}, {}, {}, text, helpOf(n)});
  }
  for (const auto& [n, text] : file.unitDiagNotBits) {
    if (n < bits && !BitAt(bytes, n)) out.push_back({block, n, true, {}, {}, {}, text, helpOf(n)});
  }
  for (const GsdUnitDiagArea& area : file.unitDiagAreas) {
    if (area.last < area.first || area.last >= bits || area.last - area.first >= kMaxAreaBits) {
      continue;
    }
    std::int64_t value = 0;
    for (std::uint32_t k = area.first; k <= area.last; ++k) {
      if (BitAt(bytes, k)) value |= std::int64_t{1} << (k - area.first);
    }
    const auto it = area.values.find(value);
    out.push_back({block,
                   {},
                   false,
                   area.first,
                   area.last,
                   {},
                   it == area.values.end() ? std::to_string(value) : it->second,
                   {}});
  }
}

// The module configured at a channel block's identifier number: the n-th module of the split.
const GsdModule* ConfiguredModule(const GsdFile& file, const std::vector<GsdModuleMatch>& modules,
                                  std::size_t n) {
  for (const GsdModuleMatch& m : modules) {
    if (!m.module) continue;
    if (n == 0) return &file.modules[*m.module];
    --n;
  }
  return nullptr;
}

std::size_t TypeSize(GsdPrmType type) {
  switch (type) {
    case GsdPrmType::kUnsigned16:
    case GsdPrmType::kSigned16:
      return 2;
    case GsdPrmType::kUnsigned32:
    case GsdPrmType::kSigned32:
      return 4;
    default:
      return 1;
  }
}

std::int64_t ReadValue(const GsdPrmDefinition& d, ByteView at) {
  std::uint32_t raw = 0;
  for (std::size_t i = 0; i < TypeSize(d.type); ++i) raw = raw << 8 | at.U8(i);
  switch (d.type) {
    case GsdPrmType::kBit:
    case GsdPrmType::kBitArea: {
      const unsigned first = std::min<unsigned>(d.firstBit, 7);
      const unsigned last = std::clamp<unsigned>(d.lastBit, first, 7);
      return (raw >> first) & ((1u << (last - first + 1)) - 1u);
    }
    case GsdPrmType::kSigned8:
      return static_cast<std::int8_t>(raw);
    case GsdPrmType::kSigned16:
      return static_cast<std::int16_t>(raw);
    case GsdPrmType::kSigned32:
      return static_cast<std::int32_t>(raw);
    default:
      return raw;
  }
}

// The bytes an area's constants and references reach.
std::size_t Extent(const GsdFile& file, const std::vector<GsdPrmConst>& consts,
                   const std::vector<GsdPrmRef>& refs) {
  std::size_t end = 0;
  for (const GsdPrmConst& c : consts) end = std::max<std::size_t>(end, c.offset + c.bytes.size());
  for (const GsdPrmRef& r : refs) {
    if (const GsdPrmDefinition* d = file.PrmDefinitionByRef(r.ref)) {
      end = std::max<std::size_t>(end, r.offset + TypeSize(d->type));
    }
  }
  return end;
}

// Decodes one area's references; false when one of them lies past the bytes.
bool DecodeArea(const GsdFile& file, const std::vector<GsdPrmRef>& refs, ByteView area,
                const GsdModule* module, std::size_t slot, std::vector<GsdParameter>& out) {
  bool whole = true;
  for (const GsdPrmRef& r : refs) {
    const GsdPrmDefinition* d = file.PrmDefinitionByRef(r.ref);
    if (d == nullptr) continue;
    if (r.offset + TypeSize(d->type) > area.size()) {
      whole = false;
      continue;
    }
    GsdParameter p;
    if (module != nullptr) p.module = module->name;
    p.slot = slot;
    p.name = d->name;
    p.value = ReadValue(*d, area.Sub(r.offset, TypeSize(d->type)));
    if (d->textRef) {
      if (const GsdPrmText* texts = file.PrmTextById(*d->textRef)) {
        const auto it = texts->texts.find(p.value);
        if (it != texts->texts.end()) p.text = it->second;
      }
    }
    out.push_back(std::move(p));
  }
  return whole;
}

// A channel block's maker error (16..31) by the module's Channel_Diag text, else the file's.
void ChannelText(const GsdFile& file, const std::vector<GsdModuleMatch>& modules, ByteView channel,
                 std::size_t block, std::vector<GsdDiagText>& texts) {
  const std::uint8_t error = channel.U8(2) & 0x1F;
  if (error < kFirstMakerChannelError) return;
  const GsdModule* module = ConfiguredModule(file, modules, channel.U8(0) & 0x3F);
  const std::string* text = nullptr;
  if (module != nullptr) {
    const auto it = module->channelDiag.find(error);
    if (it != module->channelDiag.end()) text = &it->second;
  }
  if (text == nullptr) {
    const auto it = file.channelDiag.find(error);
    if (it != file.channelDiag.end()) text = &it->second;
  }
  if (text != nullptr) texts.push_back({block, {}, false, {}, {}, error, *text, {}});
}

}  // namespace

std::optional<std::size_t> GsdRateOfBaudCode(std::uint16_t baudCode) {
  // Baud codes 1..9: 12M, 6M, 3M, 1M5, 500K, 187K5, 93K75, 19K2, 9K6.
  static constexpr std::array<std::size_t, 10> kRates = {0, 9, 8, 7, 6, 5, 4, 3, 1, 0};
  if (baudCode < 1 || baudCode >= kRates.size()) return std::nullopt;
  return kRates[baudCode];
}

std::string GsdDeviceName(std::string_view vendor, std::string_view model,
                          std::string_view revision, std::string_view file) {
  std::string name(vendor);
  for (const std::string_view word : {model, revision}) {
    if (!word.empty()) name.append(name.empty() ? "" : " ").append(word);
  }
  return name.append(" (").append(file).append(")");
}

std::vector<GsdModuleMatch> SplitModules(const GsdFile& file, ByteView config) {
  const std::size_t n = config.size();
  // cost[i]: the fewest unmatched bytes from i to the end; choice[i]: the module taken there.
  std::vector<std::size_t> cost(n + 1, 0);
  std::vector<std::optional<std::size_t>> choice(n + 1);
  for (std::size_t i = n; i-- > 0;) {
    cost[i] = 1 + cost[i + 1];
    for (std::size_t m = 0; m < file.modules.size(); ++m) {
      const auto& bytes = file.modules[m].bytes;
      if (!Matches(config, i, bytes)) continue;
      const std::size_t c = cost[i + bytes.size()];
      const bool better =
          c < cost[i] ||
          (c == cost[i] && (!choice[i] || bytes.size() > file.modules[*choice[i]].bytes.size()));
      if (better) {
        cost[i] = c;
        choice[i] = m;
      }
    }
  }
  std::vector<GsdModuleMatch> split;
  for (std::size_t i = 0; i < n;) {
    if (!choice[i]) {
      if (split.empty() || split.back().module) split.push_back({{}, i, {}, {}});
      split.back().bytes.push_back(config.U8(i));
      ++i;
      continue;
    }
    const auto& bytes = file.modules[*choice[i]].bytes;
    GsdModuleMatch match{choice[i], i, bytes, {}};
    for (std::size_t m = 0; m < file.modules.size(); ++m) {
      if (file.modules[m].bytes == bytes) match.candidates.push_back(m);
    }
    split.push_back(std::move(match));
    i += bytes.size();
  }
  return split;
}

std::size_t UnmatchedBytes(const std::vector<GsdModuleMatch>& split) {
  std::size_t count = 0;
  for (const GsdModuleMatch& m : split) {
    if (!m.module) count += m.bytes.size();
  }
  return count;
}

std::vector<GsdDiagText> DiagTexts(const GsdFile& file, ByteView unit,
                                   const std::vector<GsdModuleMatch>& modules) {
  std::vector<GsdDiagText> texts;
  std::size_t pos = kDiagStatusSize;
  for (std::size_t block = 0; pos < unit.size(); ++block) {
    const std::uint8_t header = unit.U8(pos);
    const unsigned kind = header >> 6;
    if (kind == 0 || kind == 1) {
      const std::size_t length = header & 0x3F;
      if (length == 0 || length > unit.size() - pos) break;
      if (kind == 0) UnitDiagTexts(file, unit.Sub(pos + 1, length - 1), block, texts);
      pos += length;
    } else if (kind == 2) {
      if (unit.size() - pos < kChannelBlockSize) break;
      ChannelText(file, modules, unit.Sub(pos, kChannelBlockSize), block, texts);
      pos += kChannelBlockSize;
    } else {
      break;
    }
  }
  return texts;
}

GsdParameters DecodeParameters(const GsdFile& file, ByteView userPrm,
                               const std::vector<GsdModuleMatch>& modules) {
  GsdParameters result;
  bool whole = DecodeArea(file, file.prmRefs, userPrm, nullptr, 0, result.parameters);
  std::size_t pos = Extent(file, file.prmConsts, file.prmRefs);
  std::size_t slot = 0;
  for (const GsdModuleMatch& m : modules) {
    if (!m.module) continue;
    ++slot;
    const GsdModule& module = file.modules[*m.module];
    const std::size_t length =
        module.prmDataLen ? *module.prmDataLen : Extent(file, module.prmConsts, {});
    const ByteView area = pos < userPrm.size() ? userPrm.Sub(pos, length) : userPrm.Sub(0, 0);
    if (area.size() < length) whole = false;
    whole = DecodeArea(file, module.prmRefs, area, &module, slot, result.parameters) && whole;
    pos += length;
  }
  result.shortArea = !whole || pos > userPrm.size();
  return result;
}

void ApplyGsdToSetPrm(const GsdFile& file, SetPrm& prm) {
  if (file.dpv1Slave.value_or(false)) return;
  for (const SetPrmDpv1Flag& flag : kSetPrmDpv1Flags) (prm.*flag.member).reset();
  prm.alarmCount.reset();
  prm.watchdogMs.reset();
  if (prm.wdOn && prm.wdFact1 != 0 && prm.wdFact2 != 0) {
    prm.watchdogMs = static_cast<std::uint32_t>(prm.wdFact1) * prm.wdFact2 * kWatchdogBaseMs;
  }
}

void NameSetPrm(const GsdFile& file, const std::vector<GsdModuleMatch>& modules, SetPrm& prm) {
  if (prm.malformed != Malformed::kNone) return;
  ApplyGsdToSetPrm(file, prm);
  const std::vector<std::uint8_t>& user = prm.userPrmData;
  GsdParameters decoded = DecodeParameters(file, ByteView(user.data(), user.size()), modules);
  prm.parameters = std::move(decoded.parameters);
  if (decoded.shortArea && prm.remark.empty()) prm.remark = kShortParameterArea;
}

void NameSlaveDiag(const GsdFile& file, const std::vector<GsdModuleMatch>& modules, ByteView unit,
                   SlaveDiag& diag) {
  if (diag.malformed == Malformed::kShort) return;
  diag.texts = DiagTexts(file, unit, modules);
}

}  // namespace fdc::dp
