// The dissector's DP decoding against the engine's decoders: every DP telegram of a generated run
// with every DP fault and of hand-made telegrams on every decoder path, read back by tshark,
// carries the fdl.dp.* fields that the engine's decoder objects give (their JSON members, named
// the same), with device-related blocks read as DP-V1 alarms after a Set_Prm that enables DP-V1
// was answered, and the DP expert items those decoders call for.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "capture/telegram.h"
#include "common/pcapng_writer.h"
#include "dp/dp_services.h"
#include "engine/dump_request_rules.h"
#include "engine/pcapng_export.h"
#include "engine/run_cursor.h"
#include "report/dp_json.h"
#include "tests/support/test_support.h"
#include "tests/wireshark/tshark_runner.h"
#include "tools/faults.h"
#include "tools/frame_builder.h"
#include "tools/run_generator.h"

namespace fdc {
namespace {

using Json = nlohmann::ordered_json;
// Per field, its values in the order of the tree.
using Fields = std::map<std::string, std::vector<std::string>>;

std::string Spaced(const std::string& hex) {
  std::string text;
  for (std::size_t i = 0; i < hex.size(); i += 2) text += (i > 0 ? " " : "") + hex.substr(i, 2);
  return text;
}

// A decoder's JSON as the dissector's fields: null and empty bytes left out, a block's members
// under its kind, an identifier's under "identifier".
void Flatten(const Json& object, const std::string& prefix, Fields& out) {
  for (const auto& [key, value] : object.items()) {
    if (value.is_null() || key == "block" || key == "blocks" || key == "identifiers") continue;
    const std::string name = prefix + key;
    if (value.is_boolean()) {
      out[name].push_back(value.get<bool>() ? "1" : "0");
    } else if (value.is_number()) {
      out[name].push_back(std::to_string(value.get<std::int64_t>()));
    } else if (value.is_array()) {
      for (const Json& v : value) out[name].push_back(std::to_string(v.get<std::int64_t>()));
    } else {
      const std::string text = value.get<std::string>();
      const bool bytes = key == "data" || key == "hex" || key.ends_with("_data");
      if (!bytes) {
        out[name].push_back(text);
      } else if (!text.empty()) {
        out[name].push_back(Spaced(text));
      }
    }
  }
  if (object.contains("blocks")) {
    for (const Json& block : object["blocks"]) {
      Flatten(block, prefix + block["block"].get<std::string>() + ".", out);
    }
  }
  if (object.contains("identifiers")) {
    for (const Json& id : object["identifiers"]) Flatten(id, prefix + "identifier.", out);
  }
}

// What the engine decodes of each record, as the dissector names it; the DP-V1 reading of each
// slave follows the Set_Prm that the next record answered positively.
struct Expected {
  std::vector<Fields> packets;
  std::vector<std::string> names;     // every field name met
  std::vector<std::string> experts;   // the DP expert items' messages of the whole run
};

// The expert items the dissector raises for a decoded data unit.
void AddExperts(const Json& object, Expected& expected) {
  if (object["malformed"].is_string()) {
    expected.experts.push_back("DP data unit " + object["malformed"].get<std::string>());
  }
  for (const char* flag : {"station_not_ready", "cfg_fault", "ext_diag", "not_supported",
                           "prm_fault", "prm_req"}) {
    if (object.contains(flag) && object[flag] == true) {
      expected.experts.push_back(std::string("Slave_Diag: ") + flag);
    }
  }
  if (object.contains("clear_data") && object["clear_data"] == true) {
    expected.experts.push_back("Global_Control: Clear_Data");
  }
  if (!object.contains("blocks") || object["blocks"].is_null()) return;
  for (const Json& b : object["blocks"]) {
    if (b["block"] == "channel") {
      expected.experts.push_back("channel error: module " + std::to_string(b["module"].get<int>()) +
                                 " channel " + std::to_string(b["channel"].get<int>()) + " " +
                                 b["error_name"].get<std::string>());
    } else if (b["block"] == "alarm") {
      expected.experts.push_back("DP-V1 alarm: " + b["alarm_type_name"].get<std::string>());
    }
  }
}

// A record's frame bytes and status byte.
struct Frame {
  std::vector<std::uint8_t> bytes;
  std::uint8_t status = 0;
};

std::vector<Frame> RunFrames(const DumpRequest& request) {
  std::vector<Frame> frames;
  RunCursor cursor(request);
  Result read = cursor.OpenFirstFile();
  if (read.ok()) read = cursor.FindFirstSync();
  while (read.ok() && (read = cursor.Next()).ok()) {
    const CaptureRecord& r = cursor.Record();
    frames.push_back({std::vector<std::uint8_t>(r.Frame, r.Frame + r.FrameLen), r.Status()});
  }
  return frames;
}

Expected Decode(const std::vector<Frame>& frames) {
  Expected expected;
  std::map<int, bool> dpv1;
  std::optional<std::pair<int, bool>> pendingPrm;
  for (const Frame& frame : frames) {
    std::vector<std::uint8_t> record = frame.bytes;
    record.push_back(frame.status);
    const ByteView bytes(record.data(), record.size());
    const Telegram t = DissectTelegram(bytes, static_cast<std::uint8_t>(frame.bytes.size()));
    const ByteView unit = bytes.Sub(t.dataPos, t.dataLen);
    const bool asks = t.IsRequest();
    if (pendingPrm) {
      const unsigned code = t.fc & 0x0F;
      const bool positive =
          (t.kind == FrameKind::kSc && t.Decoded()) ||
          (t.HasBody() && !asks && t.Sa() == pendingPrm->first &&
           (code == 0 || code == 8 || code == 10 || code == 12 || code == 13));
      if (positive) dpv1[pendingPrm->first] = pendingPrm->second;
      pendingPrm.reset();
    }
    Fields fields;
    const auto take = [&](const Json& object, const std::string& prefix) {
      Flatten(object, prefix, fields);
      AddExperts(object, expected);
    };
    const bool hasSap = asks ? t.hasDsap : t.hasSsap;
    const std::uint8_t sap = asks ? t.dsap : t.ssap;
    if (t.HasBody() && hasSap) {
      if (asks && sap == dp::kSapSetPrm) {
        const dp::SetPrm prm = dp::DecodeSetPrm(unit);
        take(DecodedJson(prm), "prm.");
        pendingPrm = std::make_pair(int{t.Da()}, prm.dpv1Enable.value_or(false));
      } else if ((asks && sap == dp::kSapChkCfg) || (!asks && sap == dp::kSapGetCfg)) {
        take(DecodedJson(dp::DecodeConfig(unit)), "cfg.");
      } else if (asks && sap == dp::kSapGlobalControl) {
        take(DecodedJson(dp::DecodeGlobalControl(unit)), "gc.");
      } else if (asks && sap == dp::kSapSetSlaveAdd) {
        take(DecodedJson(dp::DecodeSetSlaveAdd(unit)), "ssa.");
      } else if (!asks && sap == dp::kSapSlaveDiag) {
        take(DecodedJson(dp::DecodeSlaveDiag(unit, dpv1[t.Sa()])), "diag.");
      } else if (dp::IsDpv1Sap(sap)) {
        take(DecodedJson(dp::DecodeDpv1Acyclic(unit)), "v1.");
      }
    }
    for (const auto& [name, values] : fields) expected.names.push_back(name);
    expected.packets.push_back(std::move(fields));
  }
  std::sort(expected.names.begin(), expected.names.end());
  expected.names.erase(std::unique(expected.names.begin(), expected.names.end()),
                       expected.names.end());
  return expected;
}

// One capture's packets against the engine's decoding: `names` are the fields read, then the
// expert messages.
void CompareCapture(const test::TsharkFields& out, const std::vector<std::string>& names,
                    const Expected& expected) {
  EXPECT_EQ(out.problems, "");
  ASSERT_EQ(out.rows.size(), expected.packets.size());
  // The DP expert items of the run, as many of each as the engine's decoders call for.
  std::vector<std::string> experts;
  for (const auto& row : out.rows) {
    std::size_t at = 0;
    const std::string& cell = row.back();
    while (at < cell.size()) {
      const std::size_t end = std::min(cell.find('|', at), cell.size());
      const std::string message = cell.substr(at, end - at);
      for (const char* dp : {"DP data unit", "Slave_Diag: ", "Global_Control: ", "channel error",
                             "DP-V1 alarm"}) {
        if (message.starts_with(dp)) experts.push_back(message);
      }
      at = end + 1;
    }
  }
  std::vector<std::string> wanted = expected.experts;
  std::sort(wanted.begin(), wanted.end());
  std::sort(experts.begin(), experts.end());
  EXPECT_EQ(experts, wanted);
  for (std::size_t p = 0; p < out.rows.size(); ++p) {
    for (std::size_t c = 0; c < names.size(); ++c) {
      const auto found = expected.packets[p].find(names[c]);
      std::string want;
      if (found != expected.packets[p].end()) {
        for (const std::string& v : found->second) want += (want.empty() ? "" : "|") + v;
      }
      EXPECT_EQ(out.rows[p][c], want) << "packet " << p + 1 << " fdl.dp." << names[c];
    }
  }
}

// A capture of DP telegrams, what the engine decodes of them, and the fields it must hold
// somewhere.
struct DpCapture {
  std::string pcapng;
  Expected expected;
  std::vector<std::string> covered;
};

// Compares every DP field and the DP expert items of every packet of every capture, read with one
// tshark run.
void CompareWithTshark(const std::vector<DpCapture>& captures) {
  std::vector<std::string> names;
  std::vector<std::string> paths;
  for (const DpCapture& c : captures) {
    for (const std::string& name : c.covered) {
      EXPECT_TRUE(std::binary_search(c.expected.names.begin(), c.expected.names.end(), name))
          << c.pcapng << " " << name;
    }
    names.insert(names.end(), c.expected.names.begin(), c.expected.names.end());
    paths.push_back(c.pcapng);
  }
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  std::vector<std::string> columns;
  for (const std::string& name : names) columns.push_back("fdl.dp." + name);
  columns.push_back("_ws.expert.message");
  test::TsharkFieldOptions options;
  options.aggregator = '|';
  const std::vector<test::TsharkFields> read = test::ReadTsharkFieldsOfEach(paths, columns, options);
  ASSERT_EQ(read.size(), captures.size());
  for (std::size_t i = 0; i < captures.size(); ++i) {
    SCOPED_TRACE(captures[i].pcapng);
    CompareCapture(read[i], names, captures[i].expected);
  }
}

// A run exported as pcapng, and its frames.
std::vector<Frame> ExportRunFrames(const std::string& capture, unsigned minutes,
                                   const std::string& pcapng) {
  DumpRequestInput input;
  input.captureFile = capture;
  input.numMin = std::to_string(minutes);
  const DumpRequestPlan plan = PlanDumpRequest(input);
  EXPECT_TRUE(plan.ok()) << plan.message;
  DumpRequest request = plan.request;
  request.OutputPath = pcapng;
  EXPECT_TRUE(ExportRun(request, ExportOptions{}, RunControl(nullptr)).ok());
  return RunFrames(plan.request);
}

// Every path of every decoder as hand-made telegrams between master 2 and slave 5: each block
// kind (alarms and status blocks after an answered Set_Prm that enables DP-V1), special and
// general identifiers, reserved bits, every DP-V1 layout and every malformed form. Written to
// `path`.
std::vector<Frame> WriteDecoderPaths(const std::string& path) {
  const struct {
    bool request;
    int sap;
    std::vector<std::uint8_t> unit;
  } cases[] = {
      {true, 55, {0x07, 0x80, 0xa5, 0x00, 0x01}},
      {true, 55, {0x07}},
      {true, 58, {0xc3, 0x05}},
      {true, 58, {0x02}},
      {true, 62, {0xc1, 0x81, 0x03, 0x0a, 0x13, 0x23, 0xe1}},
      {true, 62, {0x13, 0x4f}},
      {true, 62, {0x82, 0x05}},
      {false, 59, {0x13}},
      {false, 60, {0x08, 0x0c, 0x00, 0x02, 0x80, 0xa5, 0x43, 0x05, 0x00, 0x05, 0x01, 0x02, 0x03,
                   0x04}},
      {false, 60, {0x00, 0x04, 0x80, 0xff, 0x80, 0xa5, 0xc0}},
      {false, 60, {0x00, 0x04, 0x00, 0xff, 0x80, 0xa5, 0x00}},
      {false, 60, {0x00, 0x04, 0x00, 0xff, 0x80, 0xa5, 0x0a, 0x01}},
      {false, 60, {0x00, 0x04, 0x00, 0xff, 0x80, 0xa5, 0x81, 0x43}},
      {false, 60, {0x03, 0x01}},
      {true, 61, {0x88, 0x05, 0x0a, 0x0b, 0x80, 0xa5, 0x00, 0x84, 0x05, 0x02}},
      {false, -1, {}},  // the short acknowledgement that accepts it
      {false, 60, {0x08, 0x0c, 0x00, 0x02, 0x80, 0xa5, 0x08, 0x01, 0x02, 0x09, 0x11, 0x22, 0x33,
                   0x44, 0x05, 0x81, 0x03, 0x01, 0xaa}},
      {true, 61, {0x88, 0x05}},
      {true, 51, {0x5e, 0x01, 0x02, 0x04}},
      {false, 51, {0xdf, 0x80, 0xb2, 0x00}},
      {true, 50, {0x5c, 0x02, 0x01, 0x01}},
      {true, 49, {0x57, 0x00, 0x01}},
      {true, 51, {0x5e, 0x01}},
      {true, 51, {}},
  };
  std::vector<Frame> frames;
  for (const auto& c : cases) {
    const gen::Frame f =
        c.sap < 0 ? gen::MakeSc()
        : c.request
            ? gen::MakeTelegram(5, 2, 0x5d, c.sap, 62, c.unit)
            : gen::MakeTelegram(2, 5, 0x08, 62, c.sap, c.unit);
    frames.push_back({std::vector<std::uint8_t>(f.bytes.begin(), f.bytes.begin() + f.size), 0});
  }
  std::FILE* file = std::fopen(path.c_str(), "wb");
  EXPECT_NE(file, nullptr);
  if (file == nullptr) return frames;
  {
    PcapngWriter writer(file);
    writer.SectionHeader("dp_dissector_test");
    writer.InterfaceDescription(kLinkTypeUser0, "Line1", "192.168.0.5 12M");
    for (const Frame& frame : frames) {
      writer.EnhancedPacket({.timestampNs = 1, .head = {&frame.status, 1}, .data = frame.bytes});
    }
    EXPECT_TRUE(writer.Flush());
  }
  std::fclose(file);
  return frames;
}

// A generated run with every DP fault and the decoders' paths (the DP-V1 acyclic services among
// them), read by one tshark run.
TEST(DpDissector, FieldsAndExpertsAreTheEnginesDecoders) {
  test::TempDir dir;
  gen::RunPlan plan;
  plan.base = dir.File("Cell");
  plan.startHour = 9;
  plan.recordsPerMinute = 1500;
  for (const char* text :
       {"dp_drop", "dp_rs", "prm_fault", "cfg_fault:at=600", "channel_error",
        "dpv1_alarm:count=3", "clear_data@2", "fcb_not_toggled", "fcb_toggled_on_repeat",
        "cfg_differs:count=2", "io_length:count=5", "missed_cycles:count=6"}) {
    gen::Fault fault;
    ASSERT_EQ(gen::ParseFault(text, fault), "") << text;
    plan.faults.push_back(fault);
  }
  const gen::RunOutcome outcome = gen::GenerateRun(plan);
  ASSERT_TRUE(outcome.ok()) << outcome.error;
  const std::string faults = dir.File("faults.pcapng");
  const std::string paths = dir.File("paths.pcapng");
  CompareWithTshark({
      {faults, Decode(ExportRunFrames(outcome.summary.paths.front(), 1, faults)),
       {"diag.alarm.alarm_type", "diag.channel.error", "diag.prm_fault", "prm.watchdog_ms",
        "prm.dpv1_enable", "cfg.identifier.kind", "gc.clear_data"}},
      {paths, Decode(WriteDecoderPaths(paths)),
       {"ssa.user_data", "ssa.malformed", "gc.reserved_bits", "gc.malformed", "v1.function",
        "v1.slot", "v1.data",
        "cfg.identifier.manufacturer_data", "cfg.malformed", "diag.identifier.modules",
        "diag.device.data", "diag.remark", "diag.malformed", "diag.alarm.sequence",
        "diag.status.status_type_name", "prm.alarm_count", "prm.malformed", "v1.error_class",
        "v1.index", "v1.alarm_type", "v1.malformed"}},
  });
}

}  // namespace
}  // namespace fdc
