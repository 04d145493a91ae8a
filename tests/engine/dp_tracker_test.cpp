// The DP layer on short runs of master 1 and slave 5: each state rule, the owner, lost requests
// and missed cycles, the FCB, io length and configuration checks, and Global_Control. Each case
// states the events it must produce, by ref and kind.
#include "engine/dp_tracker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/engine/bus_steps.h"

namespace fdc {
namespace {

using namespace test::steps;
using test::steps::kSc;  // the frame, not the delimiter

constexpr std::uint8_t kSap = 0x80;  // the address extension: SAPs follow
// A DP service request of master `sa` to slave 5 (SRDH, no FCB) and its reply (DL), with SAPs.
Bytes Service(std::uint8_t dsap, Bytes unit, std::uint8_t sa = 1) {
  unit.insert(unit.begin(), {dsap, 62});
  return Sd2(5 | kSap, sa | kSap, 0x4d, unit);
}
Bytes ServiceReply(std::uint8_t ssap, Bytes unit) {
  unit.insert(unit.begin(), {62, ssap});
  return Sd2(1 | kSap, 5 | kSap, 0x08, unit);
}
// Data exchange of master 1: FC 0x4d (no FCB), or as given.
Bytes Dx(Bytes outputs, std::uint8_t fc = 0x4d, std::uint8_t sa = 1) {
  return outputs.empty() ? Sd1(5, sa, fc) : Sd2(5, sa, fc, outputs);
}
Bytes DxReply(Bytes inputs) { return inputs.empty() ? Sd1(1, 5, 0x08) : Sd2(1, 5, 0x08, inputs); }

const Bytes kDiagStartup = Service(60, {});
const Bytes kDiagNotReady = ServiceReply(60, {0x02, 0x05, 0x00, 0xff, 0x0c, 0xda});
const Bytes kDiagClear = ServiceReply(60, {0x00, 0x0c, 0x00, 0x01, 0x0c, 0xda});
// Watchdog 5 · 1 · 10 ms, ident 0x0cda, lock.
const Bytes kSetPrm = Service(61, {0xb8, 0x05, 0x01, 0x00, 0x0c, 0xda, 0x01});
const Bytes kChkCfg = Service(62, {0x21, 0x11});  // 2 output, 2 input bytes
const Bytes kRs = Sd1(1, 5, 0x03);

// A request answered 20 bit times after it, 40 bit times after what came before.
void Answered(std::vector<Step>& steps, const Bytes& request, const Bytes& reply) {
  steps.push_back({request, 40});
  steps.push_back({reply, 20});
}
// The start-up of slave 5 by master 1, refs 1 to 10, ending in data exchange.
std::vector<Step> Startup() {
  std::vector<Step> steps;
  Answered(steps, kDiagStartup, kDiagNotReady);
  Answered(steps, kSetPrm, kSc);
  Answered(steps, kChkCfg, kSc);
  Answered(steps, kDiagStartup, kDiagClear);
  Answered(steps, Dx({1, 2}), DxReply({3, 4}));
  return steps;
}
const char* const kStartupEvents =
    "1 state unknown>startup:station_not_ready+prm_req; 1 slave_diag; 3 set_prm; 5 chk_cfg; "
    "7 slave_diag; 9 state startup>data_exchange:answered";

std::string EventsText(const DpFigures& dp) {
  std::string text;
  for (const DpEvent& e : dp.events) {
    if (!text.empty()) text += "; ";
    text += std::to_string(e.ref) + " " + std::string(DpEventKindName(e.kind));
    if (e.kind == DpEventKind::kState) {
      text += " " + std::string(DpStateName(e.from)) + ">" + std::string(DpStateName(e.to)) + ":" +
              e.Detail().cause;
    }
  }
  return text;
}

TEST(DpTracker, StatesChecksAndEvents) {
  struct Case {
    const char* name;
    std::vector<Step> after;  // the steps after the start-up (refs from 11 on)
    std::string events;       // after the start-up's
    DpState state;
    std::uint64_t missed, fcbNotToggled, fcbOnRepeat, ioMismatches;
  };
  const Bytes dx = Dx({1, 2});
  const Bytes reply = DxReply({3, 4});
  const Case cases[] = {
      {"a negative reply refuses",
       {{dx, 40}, {kRs, 20}},
       "11 state data_exchange>refused:RS",
       DpState::kRefused,
       0,
       0,
       0,
       0},
      {"two lost cycles the master carried on after are missed cycles",
       {{Dx({1, 2}), 40}, {Dx({5, 6}), 400}, {Dx({7, 8}), 400}, {reply, 20}},
       "",
       DpState::kDataExchange,
       2,
       0,
       0,
       0},
      {"the third in a row leaves data exchange",
       {{Dx({1, 2}), 40}, {Dx({5, 6}), 400}, {Dx({7, 8}), 400}, {Dx({9, 9}), 400}, {reply, 20}},
       "13 state data_exchange>no_response:lost_request; "
       "14 state no_response>data_exchange:answered",
       DpState::kDataExchange,
       3,
       0,
       0,
       0},
      {"a repeat is not a loss",
       {{dx, 40}, {dx, 400}, {reply, 20}},
       "",
       DpState::kDataExchange,
       0,
       0,
       0,
       0},
      {"a lost diagnosis request is a loss at once",
       {{kDiagStartup, 40}, {dx, 400}, {reply, 20}},
       "11 state data_exchange>no_response:lost_request; "
       "12 state no_response>data_exchange:answered",
       DpState::kDataExchange,
       0,
       0,
       0,
       0},
      {"an unanswered request at the end is not lost",
       {{dx, 40}, {Token(2, 1), 400}},
       "",
       DpState::kDataExchange,
       0,
       0,
       0,
       0},
      {"another master's requests change nothing",
       {{Dx({1, 2}, 0x4d, 2), 40}, {kRs, 20}},
       "",
       DpState::kDataExchange,
       0,
       0,
       0,
       0},
      {"FCB kept after an answer, toggled on a repeat",
       {{Dx({1, 2}, 0x7d), 40},
        {reply, 20},
        {Dx({1, 2}, 0x7d), 40},
        {reply, 20},
        {Dx({1, 2}, 0x5d), 40},
        {Dx({1, 2}, 0x7d), 400},
        {reply, 20}},
       // The toggled "repeat" is another request: the master carried on after a loss.
       "13 fcb_not_toggled; 16 fcb_toggled_on_repeat",
       DpState::kDataExchange,
       1,
       1,
       1,
       0},
      {"no FCB verdict across a corrupt record",
       {{Dx({1, 2}, 0x7d), 40}, {reply, 20}, {kSc, 40, 0x40}, {Dx({1, 2}, 0x7d), 40}, {reply, 20}},
       "",
       DpState::kDataExchange,
       0,
       0,
       0,
       0},
      {"io lengths: one event per run of wrong lengths",
       {{Dx({1, 2, 3}), 40},
        {reply, 20},
        {dx, 40},
        {DxReply({3}), 20},
        {dx, 40},
        {reply, 20},
        {Dx({1}), 40},
        {reply, 20}},
       "11 io_length_mismatch; 17 io_length_mismatch",
       DpState::kDataExchange,
       0,
       0,
       0,
       3},
      {"a Get_Cfg reply that differs from the configuration",
       {{Service(59, {}), 40}, {ServiceReply(59, {0x21, 0x12}), 20}},
       "11 get_cfg; 11 cfg_mismatch",
       DpState::kDataExchange,
       0,
       0,
       0,
       0},
      {"a slave that names its owner keeps it when another master's Set_Prm is acknowledged",
       {{Service(61, {0xb8, 0x05, 0x01, 0x00, 0x0c, 0xda, 0x01}, 2), 40},
        {kSc, 20},
        {Dx({1, 2}, 0x4d, 2), 40},
        {kRs, 20}},
       "11 set_prm",
       DpState::kDataExchange,
       0,
       0,
       0,
       0},
      {"a diagnosis asking for parameters restarts",
       {{kDiagStartup, 40}, {kDiagNotReady, 20}},
       "11 state data_exchange>startup:station_not_ready+prm_req; 11 slave_diag",
       DpState::kStartup,
       0,
       0,
       0,
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Step> steps = Startup();
    steps.insert(steps.end(), c.after.begin(), c.after.end());
    const BusFigures f = FiguresOf(steps);
    const std::string expected =
        std::string(kStartupEvents) + (c.events.empty() ? "" : "; " + c.events);
    EXPECT_EQ(EventsText(f.dp), expected);
    ASSERT_TRUE(f.dp.slaves[5].has_value());
    const DpSlaveFigures& d = *f.dp.slaves[5];
    EXPECT_EQ(d.state, c.state);
    EXPECT_EQ(d.owner, std::optional<std::uint8_t>(1));
    EXPECT_EQ(d.watchdogMs, std::optional<std::uint32_t>(50));
    EXPECT_EQ(d.missedCycles, c.missed);
    EXPECT_EQ(d.fcbNotToggled, c.fcbNotToggled);
    EXPECT_EQ(d.fcbToggledOnRepeat, c.fcbOnRepeat);
    EXPECT_EQ(d.ioLengthMismatches, c.ioMismatches);
    EXPECT_EQ(d.diagFlags[dp::kPrmReq], c.state == DpState::kStartup ? 2u : 1u);
  }
}

TEST(DpTracker, TimesAndTheWatchdog) {
  // Cycles of 60 ms against the watchdog of 50 ms; at 1M5 a bit time is 666.67 ns.
  std::vector<Step> steps = Startup();
  const Bytes dx = Dx({1, 2});
  for (int i = 0; i < 2; ++i) {
    steps.push_back({dx, 90'000});
    steps.push_back({DxReply({3, 4}), 20});
  }
  const BusFigures known = FiguresOf(steps);
  const DpSlaveFigures& d = *known.dp.slaves[5];
  EXPECT_EQ(d.watchdogExceeded, std::optional<std::uint64_t>(2));
  EXPECT_GT(d.longestCycleInDataExchangeNs.value_or(0), 50'000'000);
  EXPECT_TRUE(d.timeInDataExchangeNs.has_value());
  EXPECT_TRUE(d.firstEntryNs.has_value());
  // An unknown baud code: no times, no watchdog verdicts.
  const BusFigures unknown = FiguresOf(steps, 0);
  const DpSlaveFigures& u = *unknown.dp.slaves[5];
  EXPECT_EQ(u.state, DpState::kDataExchange);
  EXPECT_FALSE(u.watchdogExceeded.has_value());
  EXPECT_FALSE(u.minTsdrViolations.has_value());
  EXPECT_FALSE(u.timeInDataExchangeNs.has_value());
  EXPECT_FALSE(u.stateSinceNs.has_value());
}

TEST(DpTracker, NamesAndChecksBySlaveGsdFile) {
  const char* root = std::getenv("FDC_SOURCE_DIR");
  const dp::GsdLibrary gsd =
      dp::GsdLibrary::Load({std::string(root != nullptr ? root : ".") + "/tests/dp/gsd"});
  // Slave 5 is TEST7F02.GSE: max TSDR 25 bit times at 1M5, cycles of at least 1 ms, diagnosis of
  // at most 24 bytes. Its Set_Prm comes before the configuration that places the module areas.
  std::vector<Step> steps;
  Answered(steps,
           Service(61, {0xb8, 0x05, 0x01, 0x00, 0x7f, 0x02, 0x01, 0x80, 0x00, 0x00, 0x01, 0xff,
                        0xff, 0x03}),
           kSc);
  Answered(steps, Service(62, {0x20, 0x51, 0xc1, 0x01, 0x01, 0x07, 0x00, 0xff}), kSc);
  Bytes diag = {0x00, 0x0c, 0x00, 0x01, 0x7f, 0x02, 0x05, 0x81, 0x00, 0x01, 0x02, 0x4e};
  diag.resize(diag.size() + 13);  // an identifier block: 25 bytes in all
  Answered(steps, kDiagStartup, ServiceReply(60, diag));
  for (const std::int64_t tsdr : {30, 20, 20}) {
    steps.push_back({Dx({1, 2, 3, 4}), 40});
    steps.push_back({DxReply({3, 4, 5, 6, 7, 8}), tsdr});
  }
  BusStatisticsOptions options;
  options.gsd = &gsd;
  for (const std::uint16_t baud : {4, 1}) {
    SCOPED_TRACE(baud);
    const BusFigures f = FiguresOf(steps, baud, options);
    EXPECT_TRUE(f.dp.gsdRead);
    const DpSlaveFigures& d = *f.dp.slaves[5];
    ASSERT_TRUE(d.gsd.has_value());
    EXPECT_EQ(d.gsd->file, "TEST7F02.GSE");
    EXPECT_EQ(d.gsd->otherFiles, std::vector<std::string>{"TEST7F02.GSD"});
    EXPECT_EQ(d.gsdRateUnsupported, baud == 1);  // 12M is not among its rates
    EXPECT_EQ(d.gsdMaxTsdrExceeded, baud == 4 ? 1u : 0u);
    EXPECT_EQ(d.gsdDiagTooLong, 1u);
    EXPECT_EQ(d.gsdMinSlaveIntervalViolations, 2u);
    EXPECT_EQ(d.gsdUnknownConfigBytes, 1u);
    std::string modules;
    for (const DpModuleFigures& m : d.config->modules.value()) {
      modules += m.name.value_or("?" + m.bytes) + ";";
    }
    EXPECT_EQ(modules, "8 DO;2 AI;Counter;Empty;?ff;");
    ASSERT_EQ(d.lastDiag->texts.value().size(), 2u);
    EXPECT_EQ(d.lastDiag->texts->at(1).text, "Backplane fault");
    const auto set = std::find_if(f.dp.events.begin(), f.dp.events.end(),
                                  [](const DpEvent& e) { return e.kind == DpEventKind::kSetPrm; });
    ASSERT_NE(set, f.dp.events.end());
    const auto& prm = std::get<dp::SetPrm>(set->Detail().decoded);
    std::string parameters;
    for (const dp::GsdParameter& p : prm.parameters.value()) {
      parameters += p.module.value_or("") + "/" + p.name + "=" + std::to_string(p.value) + ";";
    }
    EXPECT_EQ(parameters, "/Station alarm=1;8 DO/Substitute=-1;2 AI/Range=3;");
  }
}

TEST(DpTracker, GlobalControlIsCountedForItsMaster) {
  const Bytes clear = Sd2(127 | kSap, 1 | kSap, 0x44, {58, 62, 0x02, 0x00});
  const BusFigures f = FiguresOf({{clear, 40}, {clear, 40}, {Token(2, 1), 40}});
  ASSERT_TRUE(f.dp.masters[1].has_value());
  EXPECT_EQ(f.dp.masters[1]->globalControls, 2u);
  EXPECT_EQ(f.dp.masters[1]->clearData, 2u);
  EXPECT_EQ(EventsText(f.dp), "1 global_control");  // the same again is no event
  EXPECT_EQ(f.dp.events[0].da, 127);
}

TEST(DpTracker, EqualEventsShareOneDetail) {
  // A master that alternates two commands: an event each time, each command's detail held once.
  const Bytes clear = Sd2(127 | kSap, 1 | kSap, 0x44, {58, 62, 0x02, 0x00});
  const Bytes operate = Sd2(127 | kSap, 1 | kSap, 0x44, {58, 62, 0x00, 0x00});
  const BusFigures f = FiguresOf(
      {{clear, 40}, {operate, 40}, {clear, 40}, {operate, 40}, {clear, 40}, {Token(2, 1), 40}});
  ASSERT_EQ(f.dp.events.size(), 5u);
  std::vector<const DpEventDetail*> details;
  for (const DpEvent& e : f.dp.events) {
    details.push_back(e.DetailPointer().get());
    EXPECT_EQ(std::get<dp::GlobalControl>(e.Detail().decoded).clearData, e.ref % 2 == 1);
  }
  std::sort(details.begin(), details.end());
  EXPECT_EQ(std::unique(details.begin(), details.end()) - details.begin(), 2);
}

}  // namespace
}  // namespace fdc
