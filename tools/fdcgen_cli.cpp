// The fdcgen command line.
#include "tools/fdcgen_cli.h"

#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <limits>

#include "tools/traffic.h"

namespace fdc::gen {

const char kFdcgenUsage[] =
    "Usage: fdcgen --out DIR/NAME [options]\n"
    "Writes a run of minute capture files DIR/NAMEHHMM.FdcCapt of generated bus traffic.\n"
    "\n"
    "  --out DIR/NAME            directory and name part of the files (required)\n"
    "  --start HHMM              time of the first file, HH 00-99, MM 00-59 (default 1200)\n"
    "  --minutes N               number of minute files, 1-1439 (default 1)\n"
    "  --baud CODE               bus rate: 1-9 or 12M 6M 3M 1M5 500K 187K5 93K75 19K2 9K6\n"
    "                            (default 1M5); sets the clock rate and the bus timing\n"
    "  --header-baud N           baud code written in the headers, 0-65535 (default: --baud)\n"
    "  --seed S                  seed of the traffic, the damage and the faults (default 1)\n"
    "  --records-per-minute N    exactly N records in each file, spread over the minute\n"
    "                            (default 1000)\n"
    "  --saturate                a busy line: each file holds a minute of back-to-back traffic\n"
    "  --ip A.B.C.D              module address in the headers (default 192.168.0.5)\n"
    "  --module NAME             module name in the headers, up to 32 characters (default "
    "Line1)\n"
    "  --clock-start TICKS       module clock at the run's start (default: the start time's\n"
    "                            minute of the day, in ticks)\n"
    "  --damage KIND[@FILE],...  damage the run; FILE counts the run's files from 0\n"
    "                            (default: the last file for truncated, a middle one otherwise)\n"
    "  --fault KIND[@STATION][:NAME=VALUE...],...\n"
    "                            a clean line with these bus faults, and its ground truth\n"
    "  --gsd-slaves              the line's three lowest slaves are those of the test GSD\n"
    "                            files (tests/dp/gsd), on a clean line as with --fault none\n"
    "                            when no fault is given\n"
    "  --quiet                   print nothing on success\n"
    "  --help                    print this text\n"
    "\n"
    "Damage kinds:\n"
    "  garbage      stray bytes between two records\n"
    "  sync         a record whose sync mark is overwritten\n"
    "  len0         a record of FrameLen 0\n"
    "  len255       a record of FrameLen 255\n"
    "  malformed    telegrams with bad lengths, delimiters, check bytes\n"
    "  split        the last record continues after the next file's header\n"
    "  truncated    the last record is cut short\n"
    "  header-only  the file holds only its 40-byte header\n"
    "\n"
    "Faults (STATION is a free address for master, appear and missing, a master of the line for\n"
    "clear_data, a slave of the line for the others; without one, fdcgen takes the line's slaves\n"
    "in turn, those that no other fault names first, the first master, or free addresses from\n"
    "100 up). On the clean line each master starts its slaves as a DP master does (Slave_Diag,\n"
    "Set_Prm with a watchdog above the slave's longest cycle, Chk_Cfg, Slave_Diag) before it\n"
    "exchanges data with them. NAME=VALUE parameters, each after a colon:\n"
    "  outage       the slave stops answering for cycles=N holds of its master (default 3): the\n"
    "               master repeats each request retries=N times (0-7, default 2), then polls\n"
    "               the slave's diagnosis until it answers and is parameterised again\n"
    "  late         count=N replies (default 3) after the slot time; the master repeats\n"
    "  early        count=N replies less than 11 bit times after the request\n"
    "  diag         count=N replies flag diagnosis (DH); the master reads it\n"
    "  ue, rr, rs   count=N negative replies with that function code\n"
    "  corrupt      count=N replies recorded damaged (status bits, check byte, end delimiter);\n"
    "               the master repeats\n"
    "  master       a further master joins the token ring, with slaves=N of its own (0-8,\n"
    "               default 2)\n"
    "  appear       a new slave of the first master, first seen where the fault starts\n"
    "  missing      a slave of the first master that never answers (retries=N as for outage)\n"
    "  dp_drop      the slave stops answering for cycles=N holds (default 6); the master repeats\n"
    "               each data exchange retries=N times and carries on; back, the slave refuses\n"
    "               it (RS) and is started anew\n"
    "  dp_rs        the master leaves the slave out for cycles=N holds (default 8), beyond its\n"
    "               watchdog; the slave refuses the next data exchange (RS), is started anew\n"
    "  prm_fault    count=N start-ups (default 2) with parameters the slave rejects (prm_fault\n"
    "               in its diagnosis), then one it takes; a running slave is started anew\n"
    "  cfg_fault    the same with configurations the slave rejects (cfg_fault)\n"
    "  channel_error  a channel error (module 3, input channel 2, wire break) in the slave's\n"
    "               diagnosis for cycles=N holds (default 3); flagged (DH) as it comes and goes\n"
    "  dpv1_alarm   a slave parameterised for DP-V1 flags count=N alarms (default 1) in turn\n"
    "  clear_data   the master sends Global_Control with Clear_Data in count=N holds (default 3)\n"
    "  fcb_not_toggled  count=N data exchange requests keep the frame count bit of the last\n"
    "  fcb_toggled_on_repeat  count=N data exchange requests the slave misses, repeated with\n"
    "               the frame count bit toggled\n"
    "  cfg_differs  count=N Get_Cfg replies (default 1) unlike the configuration\n"
    "  io_length    count=N data exchanges a byte too long, in the request or the reply by turns\n"
    "  missed_cycles  count=N data exchange cycles lost, in rows of one and two by turns; the\n"
    "               master repeats each retries=N times and carries on\n"
    "  none         no fault: only the clean line\n"
    "Every kind but none takes at=N: where it starts, in thousandths of the run's records\n"
    "(0-999; default 500, 0 for master, missing, prm_fault and cfg_fault).\n"
    "Example: --fault outage@7:cycles=2:retries=3,late:count=1,master@40,appear@60:at=250\n"
    "\n"
    "The same arguments always write the same bytes. After a run it prints a \"file\" line per\n"
    "file, a \"damage\" line per damage with its offset, and the \"records\" and \"bytes\" "
    "written.\n"
    "With --fault it then prints the ground truth, \"truth PATH VALUE\": PATH names a figure\n"
    "of fdcstat's JSON (nested names joined by \".\", minutes by the file's index), such as\n"
    "stations.7.no_response, run.corrupt or run.silent_stations; every fault figure without a\n"
    "line is 0. Role, station_type and first_seen_ns are given for the stations a fault adds,\n"
    "the DP state, entries and diagnosis figures (dp.state, dp.entries, dp.diag_...) for the\n"
    "stations a fault acts on.\n"
    "With --gsd-slaves it then prints what fdcstat --gsd must show of those slaves, \"gsd\n"
    "STATION KEY VALUE\": the file, the device, whether the bus rate is one of the file's, the\n"
    "modules, the texts of the last diagnosis and the parameters of the last Set_Prm.\n"
    "The slaves by address: ident 0x7F01 (module \"8 DI\"), then two of ident 0x7F02, one\n"
    "with the modules \"8 DO\" \"2 AI\" \"Counter\" \"Empty\", one with \"2 AI\" \"8 DO\"\n"
    "\"8 DO\" and an identifier byte that no module has. Each sends its file's configuration\n"
    "and user parameters, replies within its file's MaxTsdr and is polled no faster than its\n"
    "Min_Slave_Intervall; its diagnosis names bits, areas and channel errors of its file.\n"
    "prm_fault, cfg_fault, channel_error and dpv1_alarm take other slaves; a STATION of these\n"
    "slaves is refused for them.\n"
    "--fault and --gsd-slaves exclude --damage and a --header-baud other than the --baud.\n"
    "Exit status: 0 on success, 1 when a file can't be written, 2 for a bad command line.\n";

namespace {

template <typename T>
bool ParseNumber(std::string_view text, T& value) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

std::string ParseDamageList(std::string_view list, RunPlan& plan) {
  plan.damage.clear();
  if (list.empty()) return "--damage: no kind given";
  for (;;) {
    std::size_t comma = list.find(',');
    std::string_view item = list.substr(0, comma);
    std::size_t at = item.find('@');
    std::optional<DamageKind> kind = FindDamageKind(item.substr(0, at));
    if (!kind) return "--damage: unknown kind " + Quoted(item.substr(0, at));
    unsigned file = DefaultDamageFile(*kind, plan.minutes);
    if (at != std::string_view::npos && !ParseNumber(item.substr(at + 1), file)) {
      return "--damage: " + Quoted(item.substr(at + 1)) + " is not a file number";
    }
    plan.damage.push_back({*kind, file});
    if (comma == std::string_view::npos) return {};
    list = list.substr(comma + 1);
  }
}

std::string ParseFaultList(std::string_view list, RunPlan& plan) {
  plan.faults.clear();
  if (list.empty()) return "--fault: no kind given";
  for (;;) {
    std::size_t comma = list.find(',');
    Fault fault;
    std::string error = ParseFault(list.substr(0, comma), fault);
    if (!error.empty()) return "--fault: " + error;
    plan.faults.push_back(fault);
    if (comma == std::string_view::npos) return {};
    list = list.substr(comma + 1);
  }
}

// The "gsd" lines of one slave.
std::string FormatGsdTruth(const GsdSlaveTruth& slave) {
  const std::string key = "gsd " + std::to_string(slave.station) + " ";
  std::string text = key + "file " + slave.file + "\n";
  for (const std::string& other : slave.otherFiles) text += key + "other_file " + other + "\n";
  text += key + "device " + slave.vendor + " / " + slave.model + " / " + slave.revision + "\n";
  text += key + "rate_unsupported " + (slave.rateUnsupported ? "true" : "false") + "\n";
  if (slave.modules) {
    for (const GsdModuleTruth& module : *slave.modules) {
      std::string line = module.name ? *module.name : "(bytes of no module)";
      for (std::size_t i = 1; i < module.candidates.size(); ++i) {
        line += (i == 1 ? " (or " : ", ") + module.candidates[i];
        if (i + 1 == module.candidates.size()) line += ")";
      }
      text += key + "module " + line + "\n";
    }
    text += key + "unknown_config_bytes " + std::to_string(slave.unknownConfigBytes) + "\n";
  }
  if (slave.diagTexts) {
    for (const GsdTextTruth& t : *slave.diagTexts) {
      text += key + "diag block " + std::to_string(t.block) + " " + t.place + ": " + t.text +
              (t.help.empty() ? "" : " (" + t.help + ")") + "\n";
    }
  }
  if (slave.parameters) {
    for (const GsdParameterTruth& p : *slave.parameters) {
      const std::string owner =
          p.module ? "slot " + std::to_string(p.slot) + " " + *p.module : std::string("device");
      text += key + "parameter " + owner + ": " + p.name + " = " + std::to_string(p.value) +
              (p.text ? " (" + *p.text + ")" : "") + "\n";
    }
  }
  return text;
}

}  // namespace

bool ParseIpAddress(std::string_view text, std::uint32_t& address) {
  address = 0;
  for (int octet = 0; octet < 4; ++octet) {
    std::size_t dot = text.find('.');
    if ((octet < 3) == (dot == std::string_view::npos)) return false;
    unsigned value = 0;
    if (!ParseNumber(text.substr(0, dot), value) || value > 255) return false;
    address = (address << 8) | value;
    text = octet < 3 ? text.substr(dot + 1) : std::string_view();
  }
  return true;
}

namespace {

// What reading the options leaves besides the plan.
struct ParseState {
  bool recordsGiven = false;
  std::optional<std::string_view> damageList;
  std::optional<std::string_view> faultList;
};

// Reads an option's value into the plan; returns nothing, or what the value should have been.
using ValueReader = const char* (*)(std::string_view value, RunPlan& plan, ParseState& state);

struct ValueOption {
  std::string_view name;
  ValueReader read;
};

constexpr ValueOption kValueOptions[] = {
    {"--out",
     [](std::string_view value, RunPlan& plan, ParseState&) -> const char* {
       plan.base = value;
       return nullptr;
     }},
    {"--start",
     [](std::string_view value, RunPlan& plan, ParseState&) -> const char* {
       unsigned hhmm = 0;
       if (value.size() != 4 || !ParseNumber(value, hhmm)) return "HHMM";
       plan.startHour = hhmm / 100;
       plan.startMinute = hhmm % 100;
       return nullptr;
     }},
    {"--minutes",
     [](std::string_view value, RunPlan& plan, ParseState&) -> const char* {
       return ParseNumber(value, plan.minutes) ? nullptr : "a number";
     }},
    {"--baud",
     [](std::string_view value, RunPlan& plan, ParseState&) -> const char* {
       std::optional<BaudTiming> timing = FindBaudTiming(value);
       if (!timing) return "a bus rate (1-9, or a name such as 12M or 500K)";
       plan.baudCode = timing->code;
       return nullptr;
     }},
    {"--header-baud",
     [](std::string_view value, RunPlan& plan, ParseState&) -> const char* {
       std::uint16_t code = 0;
       if (!ParseNumber(value, code)) return "a number from 0 to 65535";
       plan.headerBaudCode = code;
       return nullptr;
     }},
    {"--seed",
     [](std::string_view value, RunPlan& plan, ParseState&) -> const char* {
       return ParseNumber(value, plan.seed) ? nullptr : "a number";
     }},
    {"--records-per-minute",
     [](std::string_view value, RunPlan& plan, ParseState& state) -> const char* {
       state.recordsGiven = true;
       return ParseNumber(value, plan.recordsPerMinute) ? nullptr : "a number";
     }},
    {"--ip",
     [](std::string_view value, RunPlan& plan, ParseState&) -> const char* {
       return ParseIpAddress(value, plan.ipAddress) ? nullptr : "an address A.B.C.D";
     }},
    {"--module",
     [](std::string_view value, RunPlan& plan, ParseState&) -> const char* {
       plan.moduleName = value;
       return nullptr;
     }},
    {"--clock-start",
     [](std::string_view value, RunPlan& plan, ParseState&) -> const char* {
       std::uint64_t ticks = 0;
       if (!ParseNumber(value, ticks)) return "a number";
       plan.clockStart = ticks;
       return nullptr;
     }},
    {"--damage",
     [](std::string_view value, RunPlan&, ParseState& state) -> const char* {
       state.damageList = value;  // read at the end, when the number of minutes is known
       return nullptr;
     }},
    {"--fault",
     [](std::string_view value, RunPlan&, ParseState& state) -> const char* {
       state.faultList = value;  // read at the end, so that its messages come after the others'
       return nullptr;
     }},
};

const ValueOption* FindValueOption(std::string_view name) {
  for (const ValueOption& option : kValueOptions) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

}  // namespace

std::string ParseFdcgenArgs(std::span<const std::string_view> args, FdcgenCommand& command) {
  RunPlan& plan = command.plan;
  ParseState state;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view name = args[i];
    if (name == "--help" || name == "-h") {
      command.help = true;
      return {};
    }
    if (name == "--quiet" || name == "--saturate") {
      (name == "--quiet" ? command.quiet : plan.saturate) = true;
      continue;
    }
    if (name == "--gsd-slaves") {
      plan.gsdSlaves = true;
      continue;
    }
    std::optional<std::string_view> value;
    if (std::size_t eq = name.find('='); eq != std::string_view::npos) {
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
    }
    const ValueOption* option = FindValueOption(name);
    if (option == nullptr) return "Unknown option " + Quoted(args[i]);
    if (!value) {
      if (i + 1 == args.size()) return std::string(name) + " needs a value";
      value = args[++i];
    }
    if (const char* wanted = option->read(*value, plan, state)) {
      return std::string(name) + ": " + Quoted(*value) + " is not " + wanted;
    }
  }
  if (plan.base.empty()) return "--out is required";
  if (plan.saturate && state.recordsGiven) {
    return "--saturate and --records-per-minute exclude each other";
  }
  if (state.damageList) {
    std::string error = ParseDamageList(*state.damageList, plan);
    if (!error.empty()) return error;
  }
  if (state.faultList) {
    std::string error = ParseFaultList(*state.faultList, plan);
    if (!error.empty()) return error;
  }
  return CheckRunPlan(plan);
}

std::string FormatSummary(const RunSummary& summary) {
  std::string text;
  char line[64];
  for (const std::string& path : summary.paths) text += "file " + path + "\n";
  for (const DamagePlacement& placement : summary.damage) {
    std::snprintf(line, sizeof line, " 0x%" PRIx64 "\n", placement.offset);
    text += "damage " + std::string(DamageKindName(placement.kind)) + " " +
            summary.paths[placement.file] + line;
  }
  std::snprintf(line, sizeof line, "records %" PRIu64 "\nbytes %" PRIu64 "\n", summary.records,
                summary.bytes);
  text += line;
  for (const TruthLine& truth : summary.truth) {
    text += "truth " + truth.path + " " + truth.value + "\n";
  }
  for (const GsdSlaveTruth& slave : summary.gsd) text += FormatGsdTruth(slave);
  return text;
}

}  // namespace fdc::gen
