// The DP layer's JSON members, event lines and table.
#include "report/dp_report.h"

#include <algorithm>

#include "dp/dp_text.h"
#include "engine/figure_text.h"
#include "report/dp_json.h"

namespace fdc {

namespace {

using namespace text;
using Json = nlohmann::ordered_json;

Json Optional(const auto& value) { return value ? Json(*value) : Json(nullptr); }

Json DecodedOf(const DpDecoded& decoded) {
  return std::visit(
      [](const auto& d) -> Json {
        if constexpr (std::is_same_v<std::decay_t<decltype(d)>, std::monostate>) {
          return nullptr;
        } else {
          return DecodedJson(d);
        }
      },
      decoded);
}

std::string DecodedText(const DpEvent& e) {
  const DpEventDetail& d = e.Detail();
  if (const auto* diag = std::get_if<dp::SlaveDiag>(&d.decoded))
    return dp::DescribeSlaveDiag(*diag);
  if (const auto* prm = std::get_if<dp::SetPrm>(&d.decoded)) return dp::DescribeSetPrm(*prm);
  if (const auto* cfg = std::get_if<dp::Config>(&d.decoded)) {
    return dp::DescribeConfig(*cfg, e.kind == DpEventKind::kGetCfg ? "Get_Cfg" : "Chk_Cfg");
  }
  if (const auto* gc = std::get_if<dp::GlobalControl>(&d.decoded)) {
    return dp::DescribeGlobalControl(*gc);
  }
  if (const auto* add = std::get_if<dp::SetSlaveAdd>(&d.decoded)) {
    return dp::DescribeSetSlaveAdd(*add);
  }
  return {};
}

std::string Bytes(const std::optional<std::uint32_t>& n) {
  return n ? Dec(std::uint64_t{*n}) + " bytes" : std::string("not judged");
}

}  // namespace

std::string DpEventText(const DpEvent& e) {
  const DpEventDetail& d = e.Detail();
  switch (e.kind) {
    case DpEventKind::kState: {
      std::string text = std::string(DpStateName(e.from)) + " -> " +
                         std::string(DpStateName(e.to)) + ": " + d.cause;
      if (d.outageNs) text += " (outage " + Fixed(*d.outageNs, 1'000'000, 3) + " ms)";
      return text;
    }
    case DpEventKind::kFcbNotToggled:
      return "FCB not toggled after an answered request";
    case DpEventKind::kFcbToggledOnRepeat:
      return "FCB toggled on the repeat of an unanswered request";
    case DpEventKind::kWatchdogExceeded:
      return "cycle of " + Fixed(d.intervalNs, 1'000'000, 3) + " ms exceeds the watchdog of " +
             Dec(std::uint64_t{d.watchdogMs}) + " ms";
    case DpEventKind::kCfgMismatch:
      return "Get_Cfg input " + Dec(std::uint64_t{d.inputBytes}) + ", output " +
             Dec(std::uint64_t{d.outputBytes}) + " bytes; configured input " +
             Dec(std::uint64_t{d.cfgInputBytes}) + ", output " +
             Dec(std::uint64_t{d.cfgOutputBytes}) + " bytes";
    case DpEventKind::kIoLengthMismatch:
      return "io lengths: request " + Bytes(d.requestBytes) + ", reply " + Bytes(d.replyBytes) +
             "; configured output " + Dec(std::uint64_t{d.outputBytes}) + ", input " +
             Dec(std::uint64_t{d.inputBytes}) + " bytes";
    default:
      return DecodedText(e);
  }
}

namespace {

// The time of day as the dump's absolute column shows it with "hr:mn:sc.ms.us": the hour
// right-aligned in two places, the rest zero-padded (" 9:00:31.230.562").
std::string EventTime(const std::optional<std::int64_t>& ns) {
  if (!ns) return " -:--:--.---.---";
  const std::uint64_t v = Magnitude(*ns);
  const auto part = [v](std::uint64_t unit, std::uint64_t range) {
    return static_cast<unsigned long long>(range == 0 ? v / unit : v / unit % range);
  };
  return Format("%s%2llu:%02llu:%02llu.%03llu.%03llu", *ns < 0 ? "-" : "",
                part(3'600'000'000'000, 0), part(60'000'000'000, 60), part(1'000'000'000, 60),
                part(1'000'000, 1'000), part(1'000, 1'000));
}

}  // namespace

Json DpDetailJson(const DpSlaveFigures& d, DpDetail detail) {
  switch (detail) {
    case DpDetail::kConfig: {
      if (!d.config) return nullptr;
      const std::string_view malformed = dp::MalformedName(d.config->malformed);
      Json config{{"identifiers", d.config->identifiers},
                  {"input_bytes", d.config->inputBytes},
                  {"output_bytes", d.config->outputBytes},
                  {"malformed", malformed.empty() ? Json(nullptr) : Json(malformed)}};
      if (d.config->modules) {
        Json modules = Json::array();
        for (const DpModuleFigures& m : *d.config->modules) {
          modules.push_back(
              {{"name", Optional(m.name)}, {"bytes", m.bytes}, {"candidates", m.candidates}});
        }
        config["modules"] = std::move(modules);
      }
      return config;
    }
    case DpDetail::kDropCauses: {
      Json object = Json::object();
      for (const auto& [cause, count] : d.dropCauses) object[cause] = count;
      return object;
    }
    case DpDetail::kDiagFlags: {
      Json object = Json::object();
      for (std::size_t i = 0; i < dp::kDiagFlagCount; ++i) {
        object[std::string(dp::kDiagFlagNames[i])] = d.diagFlags[i];
      }
      return object;
    }
    case DpDetail::kLastDiag:
      return d.lastDiag ? DecodedJson(*d.lastDiag) : Json(nullptr);
    case DpDetail::kChannelErrors: {
      Json list = Json::array();
      for (const DpChannelErrorCount& c : d.channelErrors) {
        list.push_back({{"module", c.module},
                        {"channel", c.channel},
                        {"error_name", c.errorName},
                        {"count", c.count}});
      }
      return list;
    }
  }
  return nullptr;
}

void AddGsdJson(const DpSlaveFigures& d, Json& slave) {
  if (d.gsd) {
    slave["gsd"] = {{"file", d.gsd->file},
                    {"vendor", d.gsd->vendor},
                    {"model", d.gsd->model},
                    {"revision", d.gsd->revision},
                    {"other_files", d.gsd->otherFiles}};
  } else {
    slave["gsd"] = nullptr;
  }
  slave["gsd_rate_unsupported"] = Optional(d.gsdRateUnsupported);
  slave["gsd_max_tsdr_exceeded"] = Optional(d.gsdMaxTsdrExceeded);
  slave["gsd_diag_too_long"] = Optional(d.gsdDiagTooLong);
  slave["gsd_min_slave_interval_violations"] = Optional(d.gsdMinSlaveIntervalViolations);
  slave["gsd_unknown_config_bytes"] = Optional(d.gsdUnknownConfigBytes);
}

std::vector<std::uint16_t> IdentsWithoutGsd(const BusFigures& figures) {
  std::vector<std::uint16_t> idents;
  for (const auto& slave : figures.dp.slaves) {
    if (!slave || slave->gsd || !slave->identNumber) continue;
    if (std::find(idents.begin(), idents.end(), *slave->identNumber) == idents.end()) {
      idents.push_back(*slave->identNumber);
    }
  }
  std::sort(idents.begin(), idents.end());
  return idents;
}

std::string GsdName(const DpSlaveFigures& d) {
  if (!d.gsd) return {};
  return dp::GsdDeviceName(d.gsd->vendor, d.gsd->model, d.gsd->revision, d.gsd->file);
}

std::string GsdModulesText(const DpSlaveFigures& d) {
  if (!d.config || !d.config->modules) return {};
  std::string text;
  std::size_t slot = 0;
  for (const DpModuleFigures& m : *d.config->modules) {
    text += text.empty() ? "" : ", ";
    if (!m.name) {
      text += "unknown bytes " + m.bytes;
      continue;
    }
    text += Dec(++slot) + " '" + *m.name + "'";
    if (m.candidates.size() > 1) text += " (or " + Dec(m.candidates.size() - 1) + " more)";
  }
  return text;
}

namespace {

// The row's device, modules and last diagnosis texts by the slave's GSD file.
void AddGsdTexts(const DpSlaveFigures& d, DpSlaveRow& row) {
  row.gsdName = GsdName(d);
  row.modules = GsdModulesText(d);
  if (!d.lastDiag || !d.lastDiag->texts) return;
  for (const dp::GsdDiagText& t : *d.lastDiag->texts) {
    row.diagnosisTexts += (row.diagnosisTexts.empty() ? "\"" : ", \"") + t.text + "\"";
  }
}

}  // namespace

Json DpMasterJson(const DpMasterFigures& m) {
  Json owned = Json::array();
  for (std::uint8_t a : m.slavesOwned) owned.push_back(a);
  return Json{{"global_controls", m.globalControls},
              {"clear_data", m.clearData},
              {"slaves_owned", std::move(owned)}};
}

Json DpEventJson(const DpEvent& e) {
  const DpEventDetail& d = e.Detail();
  Json object{{"ref", e.ref},
              {"time_ns", Optional(e.timeNs)},
              {"kind", DpEventKindName(e.kind)},
              {"station", e.station},
              {"master", e.master}};
  switch (e.kind) {
    case DpEventKind::kState:
      object["from"] = DpStateName(e.from);
      object["to"] = DpStateName(e.to);
      object["cause"] = d.cause;
      object["outage_ns"] = Optional(d.outageNs);
      break;
    case DpEventKind::kFcbNotToggled:
    case DpEventKind::kFcbToggledOnRepeat:
      break;
    case DpEventKind::kWatchdogExceeded:
      object["interval_ns"] = d.intervalNs;
      object["watchdog_ms"] = d.watchdogMs;
      break;
    case DpEventKind::kCfgMismatch:
      object["cfg_input_bytes"] = d.cfgInputBytes;
      object["cfg_output_bytes"] = d.cfgOutputBytes;
      object["input_bytes"] = d.inputBytes;
      object["output_bytes"] = d.outputBytes;
      break;
    case DpEventKind::kIoLengthMismatch:
      object["output_bytes"] = d.outputBytes;
      object["input_bytes"] = d.inputBytes;
      object["request_bytes"] = Optional(d.requestBytes);
      object["reply_bytes"] = Optional(d.replyBytes);
      break;
    default:
      if (e.kind == DpEventKind::kGlobalControl) object["da"] = e.da;
      object["decoded"] = DecodedOf(d.decoded);
      break;
  }
  return object;
}

std::string DpEventLine(const DpEvent& e) {
  const std::string who =
      e.kind == DpEventKind::kGlobalControl
          ? "master " + Dec(std::uint64_t{e.station}) + " (DA " + Dec(std::uint64_t{e.da}) + ")"
          : "slave " + Dec(std::uint64_t{e.station}) + " (master " + Dec(std::uint64_t{e.master}) +
                ")";
  return EventTime(e.timeNs) + "  #" + Dec(std::uint64_t{e.ref}) + "  " + who + "  " +
         DpEventText(e);
}

void WriteDpEvents(const BusFigures& figures, std::ostream& out) {
  for (const DpEvent& e : figures.dp.events) out << DpEventLine(e) << "\n";
}

const std::array<std::string_view, kDpSlaveColumns> kDpSlaveHeadings = {
    "Addr", "Ident", "State", "Entries", "Drops", "Outage ms", "Watchdog ms", "In DX %"};

std::vector<DpSlaveRow> DpSlaveRows(const BusFigures& figures) {
  std::vector<DpSlaveRow> rows;
  const std::optional<std::int64_t> span =
      figures.run.startNs && figures.run.endNs && *figures.run.endNs > *figures.run.startNs
          ? std::optional<std::int64_t>(*figures.run.endNs - *figures.run.startNs)
          : std::nullopt;
  for (const StationFigures* s : ByAddress(figures)) {
    const DpSlaveFigures* d = DpSlaveOf(figures, s->address);
    if (d == nullptr) continue;
    DpSlaveRow row;
    row.address = s->address;
    std::optional<std::int64_t> permille;
    if (span && d->timeInDataExchangeNs) {
      // Tenths of a percent, cut toward zero.
      permille = static_cast<std::int64_t>(static_cast<long double>(*d->timeInDataExchangeNs) *
                                           1000 / static_cast<long double>(*span));
    }
    row.texts = {Dec(std::uint64_t{s->address}),
                 d->identNumber ? Format("0x%04x", unsigned{*d->identNumber}) : "-",
                 std::string(DpStateName(d->state)),
                 Dec(d->entries),
                 Dec(d->drops),
                 d->longestOutageNs ? Fixed(*d->longestOutageNs, 1'000'000, 3) : "-",
                 d->watchdogMs ? Dec(std::uint64_t{*d->watchdogMs}) : "-",
                 permille ? Fixed(*permille, 10, 1) : "-"};
    row.values = {static_cast<double>(s->address),
                  d->identNumber ? static_cast<double>(*d->identNumber) : -1.0,
                  static_cast<double>(static_cast<int>(d->state)),
                  static_cast<double>(d->entries),
                  static_cast<double>(d->drops),
                  d->longestOutageNs ? static_cast<double>(*d->longestOutageNs) : -1.0,
                  d->watchdogMs ? static_cast<double>(*d->watchdogMs) : -1.0,
                  permille ? static_cast<double>(*permille) : -1.0};
    for (std::size_t i = 0; i < dp::kDiagFlagCount; ++i) {
      if (d->diagFlags[i] > 0)
        row.diagnosis += (row.diagnosis.empty() ? "" : " ") + std::string(dp::kDiagFlagNames[i]);
    }
    AddGsdTexts(*d, row);
    for (const DpChannelErrorCount& c : d->channelErrors) {
      row.channelErrors += (row.channelErrors.empty() ? "" : ", ") + Dec(std::uint64_t{c.module}) +
                           "." + Dec(std::uint64_t{c.channel}) + " " + std::string(c.errorName) +
                           " (" + Dec(c.count) + ")";
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

void WriteDpSlaveTable(const BusFigures& figures, std::ostream& out) {
  const std::vector<DpSlaveRow> rows = DpSlaveRows(figures);
  if (rows.empty()) return;
  out << "DP slaves\n";
  out << "Addr  Ident   State          Entries  Drops  Outage ms  Watchdog ms  In DX %\n";
  for (const DpSlaveRow& r : rows) {
    const auto& t = r.texts;
    out << Right(t[0], 4) + "  " + Left(t[1], 6) + "  " + Left(t[2], 13) + "  " + Right(t[3], 7) +
               "  " + Right(t[4], 5) + "  " + Right(t[5], 9) + "  " + Right(t[6], 11) + "  " +
               Right(t[7], 7)
        << "\n";
    if (!r.diagnosis.empty() || !r.channelErrors.empty()) {
      out << "      diagnosis: " << (r.diagnosis.empty() ? "-" : r.diagnosis)
          << (r.channelErrors.empty() ? "" : "; channel errors: " + r.channelErrors) << "\n";
    }
    if (!r.gsdName.empty()) out << "      device: " << r.gsdName << "\n";
    if (!r.modules.empty()) out << "      modules: " << r.modules << "\n";
    if (!r.diagnosisTexts.empty()) out << "      last diagnosis: " << r.diagnosisTexts << "\n";
  }
  out << "State: at the run's end. Outage: the longest time out of data exchange between two\n"
         "entries. In DX: share of the run's time in data exchange. Diagnosis: the flags seen in\n"
         "the slave's diagnosis replies, and the channel errors it reported (times).\n";
  if (figures.dp.gsdRead) {
    out << "Device, modules and last diagnosis: by the slave's GSD file; modules in slot order.\n";
  }
  out << "\n";
  if (!figures.dp.gsdRead) return;
  out << "GSD files\n";
  std::string idents;
  for (const std::uint16_t ident : IdentsWithoutGsd(figures)) {
    idents += (idents.empty() ? "" : ", ") + Format("0x%04x", unsigned{ident});
  }
  out << "Idents without a file: " << (idents.empty() ? "none" : idents) << "\n\n";
}

}  // namespace fdc
