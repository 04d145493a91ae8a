// Fault kinds and the text that asks for one.
#include "tools/faults.h"

#include <charconv>

namespace fdc::gen {

const FaultKindInfo& FaultInfo(FaultKind kind) {
  for (const FaultKindInfo& info : kFaultKinds) {
    if (info.kind == kind) return info;
  }
  return kFaultKinds.back();
}

std::optional<FaultKind> FindFaultKind(std::string_view name) {
  for (const FaultKindInfo& info : kFaultKinds) {
    if (info.name == name) return info.kind;
  }
  return std::nullopt;
}

std::string FaultName(const Fault& fault) {
  std::string name(FaultInfo(fault.kind).name);
  if (fault.station) name += "@" + std::to_string(*fault.station);
  return name;
}

namespace {

bool ParseUnsigned(std::string_view text, unsigned& value) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

struct FaultParam {
  std::string_view name;
  unsigned bit;
  unsigned min;
  unsigned max;
};

constexpr FaultParam kFaultParams[] = {
    {"at", kFaultAt, 0, 999},
    {"count", kFaultCount, 1, kMaxFaultCount},
    {"cycles", kFaultCycles, 1, kMaxFaultCount},
    {"retries", kFaultRetries, 0, kMaxRetries},
    {"slaves", kFaultSlaves, 0, kMaxFaultSlaves},
};

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

std::string ParseParam(std::string_view item, const FaultKindInfo& info, Fault& fault) {
  std::size_t eq = item.find('=');
  std::string_view name = item.substr(0, eq);
  for (const FaultParam& param : kFaultParams) {
    if (param.name != name || (info.params & param.bit) == 0) continue;
    unsigned value = 0;
    if (eq == std::string_view::npos || !ParseUnsigned(item.substr(eq + 1), value) ||
        value < param.min || value > param.max) {
      return Quoted(item) + ": " + std::string(name) + " is " + std::to_string(param.min) + " to " +
             std::to_string(param.max);
    }
    if (param.bit == kFaultAt) {
      fault.at = value;
    } else if (param.bit == kFaultRetries) {
      fault.retries = value;
    } else {
      fault.count = value;
    }
    return {};
  }
  return Quoted(name) + " is not a parameter of " + std::string(info.name);
}

}  // namespace

std::string ParseFault(std::string_view text, Fault& fault) {
  fault = Fault{};
  std::size_t colon = text.find(':');
  std::string_view head = text.substr(0, colon);
  std::size_t at = head.find('@');
  std::optional<FaultKind> kind = FindFaultKind(head.substr(0, at));
  if (!kind) return "unknown kind " + Quoted(head.substr(0, at));
  fault.kind = *kind;
  const FaultKindInfo& info = FaultInfo(*kind);
  if (at != std::string_view::npos) {
    unsigned station = 0;
    if (info.station == FaultStation::kNone) return std::string(info.name) + " takes no station";
    if (!ParseUnsigned(head.substr(at + 1), station) || station > 126) {
      return Quoted(head.substr(at + 1)) + " is not a station address (0-126)";
    }
    fault.station = static_cast<std::uint8_t>(station);
  }
  while (colon != std::string_view::npos) {
    text = text.substr(colon + 1);
    colon = text.find(':');
    std::string error = ParseParam(text.substr(0, colon), info, fault);
    if (!error.empty()) return error;
  }
  return {};
}

}  // namespace fdc::gen
