// The record details without a display: the trees of hand-made telegrams (every kind, every DP
// service, the DP-V1 acyclic services with their malformed paths, pairing) and of the golden runs'
// representative records against golden text; the bytes each item names; the hex pane's places.
// With FDC_UPDATE_GOLDEN set the golden files are written instead.
#include <QCoreApplication>
#include <QFile>
#include <QTest>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "engine/bus_statistics.h"
#include "common/file_paths.h"
#include "engine/run_control.h"
#include "tests/ui/health_test_support.h"
#include "tests/ui/ui_test_support.h"
#include "tools/frame_builder.h"
#include "ui/common/gsd_folders.h"
#include "ui/details/hex_dump.h"
#include "ui/details/record_details.h"
#include "ui/run_table/run_files.h"

using namespace fdc;
using namespace fdc::ui;

namespace {

std::string SourcePath(const std::string& relative) {
  return std::string(std::getenv("FDC_SOURCE_DIR") ? std::getenv("FDC_SOURCE_DIR") : ".") + "/" +
         relative;
}

void Render(const DetailItem& item, int depth, std::string& out) {
  out += std::string(static_cast<std::size_t>(2 * depth), ' ') + item.text;
  if (item.bytes) {
    out += "  [" + std::to_string(item.bytes->begin) + "," + std::to_string(item.bytes->end) + ")";
  }
  if (item.link) out += "  -> " + std::to_string(*item.link);
  out += '\n';
  for (const DetailItem& child : item.children) Render(child, depth + 1, out);
}

std::string Rendered(const std::vector<DetailItem>& items) {
  std::string out;
  for (const DetailItem& item : items) Render(item, 0, out);
  return out;
}

// Every item's bytes lie inside the record and inside its parent's; every byte of the record
// leads to an item that covers it.
void CheckBytes(const std::vector<DetailItem>& items, int size, const std::string& what) {
  struct Walk {
    static void Check(const DetailItem& item, ByteSpan outer, int size, const std::string& what) {
      ByteSpan inner = outer;
      if (item.bytes) {
        QVERIFY2(item.bytes->begin >= outer.begin && item.bytes->end <= outer.end &&
                     item.bytes->begin < item.bytes->end,
                 (what + ": " + item.text).c_str());
        inner = *item.bytes;
      }
      for (const DetailItem& child : item.children) Check(child, inner, size, what);
    }
  };
  for (const DetailItem& item : items) Walk::Check(item, {0, size}, size, what);
  for (int offset = 0; offset < size; ++offset) {
    const DetailItem* item = ItemAt(items, InnermostItemAt(items, offset));
    QVERIFY2(item != nullptr && item->bytes && item->bytes->Covers(offset),
             (what + ": byte " + std::to_string(offset)).c_str());
  }
}

void CompareGolden(const std::string& actual, const std::string& relative) {
  const QString path = QString::fromStdString(SourcePath(relative));
  if (std::getenv("FDC_UPDATE_GOLDEN") != nullptr) {
    test::WriteTextFile(path, QByteArray::fromStdString(actual));
    return;
  }
  const std::string expected = test::ReadTextFile(path).toStdString();
  if (actual == expected) return;
  // The first line that differs, to read in the failure.
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  const std::size_t line = actual.rfind('\n', at) == std::string::npos ? 0 : actual.rfind('\n', at);
  QFAIL(("differs from " + relative + " at: " + actual.substr(line, 160)).c_str());
}

// --- Hand-made telegrams -----------------------------------------------------------------------

CaptureRecord RecordOf(const gen::Frame& frame, std::uint8_t status, std::uint32_t ref) {
  CaptureRecord r;
  r.Timestamp = 0x0123456789ull + ref * 1000;
  r.FrameLen = static_cast<std::uint8_t>(frame.size);
  for (std::size_t i = 0; i < frame.size; ++i) r.Frame[i] = frame.bytes[i];
  r.Frame[frame.size] = status;
  r.RefNumber = ref;
  r.MarkOffset = 0x40;
  return r;
}

gen::Frame Telegram(std::uint8_t da, std::uint8_t sa, std::uint8_t fc, int dsap, int ssap,
                    std::vector<std::uint8_t> data) {
  return gen::MakeTelegram(da, sa, fc, dsap, ssap, data);
}

// Master 2 and slave 5; requests SRD_high with FCV, replies DL.
constexpr std::uint8_t kReq = 0x5D;
constexpr std::uint8_t kDl = 0x08;
constexpr std::uint8_t kSdnHigh = 0x46;

gen::Frame Request(int dsap, std::vector<std::uint8_t> data) {
  return Telegram(5, 2, kReq, dsap, dsap < 0 ? gen::kNoSap : 62, std::move(data));
}
gen::Frame Reply(int ssap, std::vector<std::uint8_t> data) {
  return Telegram(2, 5, kDl, ssap < 0 ? gen::kNoSap : 62, ssap, std::move(data));
}

const std::vector<std::uint8_t> kDiagChannel = {0x08, 0x0C, 0x00, 0x02, 0x80, 0xA5,
                                                0x81, 0x43, 0x21};
const std::vector<std::uint8_t> kDiagAlarm = {0x08, 0x0C, 0x00, 0x02, 0x80, 0xA5, 0x08,
                                              0x01, 0x02, 0x09, 0x11, 0x22, 0x33, 0x44};

enum class Readings { kNone, kDpv1, kDpv0 };

struct HandRow {
  HandRow(const char* n, const gen::Frame& f, std::uint8_t s,
          std::optional<gen::Frame> b = std::nullopt, std::optional<gen::Frame> a = std::nullopt,
          Readings r = Readings::kDpv0)
      : name(n), frame(f), status(s), before(std::move(b)), after(std::move(a)), readings(r) {}
  const char* name;
  gen::Frame frame;
  std::uint8_t status;
  std::optional<gen::Frame> before;
  std::optional<gen::Frame> after;
  Readings readings;
};

std::vector<HandRow> HandRows() {
  const gen::Frame diagRequest = Request(60, {});
  std::vector<HandRow> rows = {
      {"Slave_Diag reply with a channel error, after its request", Reply(60, kDiagChannel), 0,
       diagRequest},
      {"Slave_Diag reply, its owner's Set_Prm enables DP-V1", Reply(60, kDiagAlarm), 0,
       diagRequest, std::nullopt, Readings::kDpv1},
      {"Slave_Diag reply before the health figures", Reply(60, kDiagAlarm), 0, diagRequest,
       std::nullopt, Readings::kNone},
      {"Slave_Diag reply, a block of length 0", Reply(60, {0x08, 0x0C, 0x00, 0x02, 0x80, 0xA5, 0x00}),
       0},
      {"Slave_Diag reply, too short", Reply(60, {0x08, 0x0C}), 0},
      {"Slave_Diag request answered", diagRequest, 0, std::nullopt, Reply(60, kDiagChannel)},
      {"Set_Prm with the DP-V1 status bytes",
       Request(61, {0x88, 0x05, 0x0A, 0x0B, 0x80, 0xA5, 0x00, 0x84, 0x05, 0x02, 0x77}), 0,
       std::nullopt, gen::MakeSc()},
      {"Set_Prm, too short", Request(61, {0x88, 0x05}), 0},
      {"Chk_Cfg, general and special identifiers",
       Request(62, {0x13, 0x23, 0xC1, 0x81, 0x03, 0x0A}), 0},
      {"Get_Cfg reply", Reply(59, {0x13}), 0},
      {"Global_Control Clear_Data to all", Telegram(127, 2, kSdnHigh, 58, 62, {0x02, 0x00}), 0},
      {"Set_Slave_Add", Request(55, {0x07, 0x80, 0xA5, 0x00, 0x01}), 0},
      {"Rd_Inp reply", Reply(56, {0x01, 0x02}), 0},
      {"DP-V1 read request", Request(51, {0x5E, 0x01, 0x02, 0x04}), 0},
      {"DP-V1 read reply", Reply(51, {0x5E, 0x01, 0x02, 0x04, 0xDE, 0xAD, 0xBE, 0xEF}), 0},
      {"DP-V1 write error reply", Reply(51, {0xDF, 0x80, 0xB2, 0x00}), 0},
      {"DP-V1 alarm acknowledge", Request(50, {0x5C, 0x02, 0x01, 0x01}), 0},
      {"DP-V1 initiate", Request(49, {0x57, 0x00, 0x01}), 0},
      {"DP-V1 read request, short", Request(51, {0x5E, 0x01}), 0},
      {"DP-V1 error reply, short", Reply(51, {0xDE, 0x80}), 0},
      {"DP-V1 without a function byte", Request(51, {}), 0},
      {"Data_Exchange request answered", Request(-1, {0x11, 0x22}), 0, std::nullopt,
       Reply(-1, {0x33, 0x44})},
      {"Data_Exchange reply", Reply(-1, {0x33, 0x44}), 0, Request(-1, {0x11, 0x22})},
      {"Short acknowledgement of a Set_Prm", gen::MakeSc(), 0,
       Request(61, {0x88, 0x05, 0x0A, 0x0B, 0x80, 0xA5, 0x00})},
      {"A request whose next record does not answer", Request(60, {}), 0, std::nullopt,
       Request(60, {})},
      {"Token", gen::MakeSd4(3, 2), 0},
      {"FDL status poll", gen::MakeSd1(9, 2, 0x49), 0},
      {"SD3 with 8 bytes", gen::MakeSd3(5, 2, 0x6C, std::vector<std::uint8_t>(8, 0x5A)), 0},
      {"Status bits s and c", gen::MakeSd1(9, 2, 0x49), 0x41},
      {"SD2 whose LE is wrong", gen::MakeRaw({0x68, 0x07, 0x07, 0x68, 0x05, 0x02, 0x5D, 0x64, 0x16}),
       0},
      {"Unknown start delimiter", gen::MakeRaw({0x42, 0x01}), 0},
      {"Wrong FCS and ED", gen::MakeRaw({0x10, 0x05, 0x02, 0x49, 0x00, 0x17}), 0},
      {"Function code without a name", gen::MakeSd1(5, 2, 0x41), 0},
      {"Response from a master in the ring", gen::MakeSd1(2, 5, 0x30), 0},
  };
  return rows;
}

// Telegrams of slaves that the test GSD files describe, with what the tree must show of them by
// those files (each line as Render writes it, bytes included). Slave 5 has ident 0x7F01 and the
// configuration "10", slave 6 ident 0x7F02 and "2051c101010700" (GiveGsdSlaves).
struct GsdRow {
  const char* name;
  gen::Frame frame;
  std::vector<std::string> lines;
};

std::vector<GsdRow> GsdRows() {
  return {
      {"Slave_Diag reply: a unit diagnosis bit with its help, two areas",
       Reply(60, {0x08, 0x0C, 0x00, 0x02, 0x7F, 0x01, 0x04, 0x35, 0x02, 0x01}),
       {"  GSD file: Test Devices Ltd TD-8DI 1.2 (TEST7F01.GSD)  [21,23)",
        "  Unit diagnosis bit 0: Sensor supply short  [23,27)",
        "    Check the sensor wiring  [23,27)", "  Area 4-11: Fault code 35: overload  [23,27)",
        "  Area 16-19: Temperature warning  [23,27)"}},
      {"Set_Prm of a DP-V1 slave: the device's parameter, then each module's in slot order",
       Telegram(
           6, 2, kReq, 61, 62,
           {0xB8, 0x0A, 0x0A, 0x0B, 0x7F, 0x02, 0x00, 0x80, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0x03}),
       {"  GSD file: Test Devices Ltd TD-Station 2.0 (TEST7F02.GSE)  [21,23)",
        "    Other files of ident 0x7f02, not used: TEST7F02.GSD  [21,23)",
        "  Parameter Station alarm = 1  [24,31)",
        "  Slot 1 '8 DO': Substitute = -1 (hold last value)  [24,31)",
        "  Slot 2 '2 AI': Range = 3  [24,31)"}},
      {"Set_Prm of a DP-V0 slave: byte 8 is the maker's",
       Request(61, {0xB8, 0x0A, 0x0A, 0x0B, 0x7F, 0x01, 0x00, 0x16, 0x01, 0xF4}),
       {"  watchdog_ms: 1000  [18,20)", "  Parameter Diagnosis alarm = 1 (on)  [24,27)",
        "  Parameter Filter time = 5  [24,27)", "  Parameter Limit = 500  [24,27)"}},
      {"Chk_Cfg in the file's modules",
       Telegram(6, 2, kReq, 62, 62, {0x20, 0x51, 0xC1, 0x01, 0x01, 0x07, 0x00}),
       {"  GSD file: Test Devices Ltd TD-Station 2.0 (TEST7F02.GSE)",
        "  Slot 1 '8 DO' (or '8 DO fast'): 20  [17,18)", "  Slot 2 '2 AI': 51  [18,19)",
        "  Slot 3 'Counter': c1 01 01 07  [19,23)", "  Slot 4 'Empty': 00  [23,24)"}},
      {"Slave_Diag reply of an ident without a file",
       Telegram(2, 7, kDl, 62, 60, {0x08, 0x0C, 0x00, 0x02, 0x12, 0x34}),
       {"  no GSD file for ident 0x1234  [18,20)"}},
  };
}

void GiveGsdSlaves(DpFigures& dp) {
  dp.gsdRead = true;
  for (const auto& [address, ident, config] :
       {std::tuple(5, 0x7F01, "10"), std::tuple(6, 0x7F02, "2051c101010700")}) {
    DpSlaveFigures& slave = dp.slaves[static_cast<std::size_t>(address)].emplace();
    slave.identNumber = static_cast<std::uint16_t>(ident);
    slave.config.emplace();
    slave.config->identifiers = config;
  }
}

// The details of every record of the run that begins with `first`, decoded with the run's own
// health figures as the pane has them, each one's bytes checked.
template <typename Take>
void EachRecordsDetails(const std::string& first, const Take& take) {
  const DumpRequestPlan planned = PlanRunRequest(first, FindRunFiles(first).count);
  QVERIFY2(planned.ok(), planned.message.c_str());
  const DumpRequest& request = planned.request;
  RunIndex index;
  test::IndexAll(request, index);
  const BusFiguresRun figures = ComputeBusFigures(request, {}, RunControl(nullptr));
  QVERIFY(figures.figures.has_value());
  const DpReadings readings{&figures.figures->dp,
                            static_cast<std::uint32_t>(figures.figures->run.records)};
  const std::vector<CaptureFileInfo> files = index.Files();
  for (std::uint32_t ref = 1; ref <= index.Records(); ++ref) {
    RecordContext context;
    QVERIFY2(ReadRecordContext(request, index, ref, context).ok(),
             (first + " record " + std::to_string(ref)).c_str());
    QCOMPARE(context.record.RefNumber, ref);
    const std::vector<DetailItem> items =
        RecordDetails(context, FileNameOf(files[context.record.File].name), readings);
    CheckBytes(items, static_cast<int>(RecordSize(context.record.FrameLen)), first);
    take(ref, items);
  }
}

}  // namespace

class DetailsLogicTest : public QObject {
  Q_OBJECT

 private slots:
  void handMadeTelegrams() {
    DpFigures dp;
    DpSlaveFigures slave;
    slave.dpv1Readings = {{50, true}};
    dp.slaves[5] = slave;
    std::string out;
    std::uint32_t ref = 100;
    for (const HandRow& row : HandRows()) {
      RecordContext context;
      context.record = RecordOf(row.frame, row.status, ref);
      context.ticksPerBit = 8;
      context.absNs = 9 * 3'600'000'000'000LL + 31'230'562'000LL;
      if (row.before) context.before = {RecordOf(*row.before, 0, ref - 1), 360, 30'000};
      if (row.after) context.after = {RecordOf(*row.after, 0, ref + 1), 240, 20'125};
      const DpReadings readings = row.readings == Readings::kNone ? DpReadings{}
                                  : row.readings == Readings::kDpv1 ? DpReadings{&dp, 1000}
                                                                   : DpReadings{&dp, 10};
      const std::vector<DetailItem> items = RecordDetails(context, "Cell0900.FdcCapt", readings);
      out += std::string("== ") + row.name + "\n" + Rendered(items) + "\n";
      CheckBytes(items, static_cast<int>(RecordSize(context.record.FrameLen)), row.name);
      ref += 10;
    }
    // An empty frame, whose status byte is the only byte after the header.
    RecordContext empty;
    empty.record.RefNumber = ref;
    empty.record.FrameLen = 0;
    const std::vector<DetailItem> emptyItems = RecordDetails(empty, "x", {});
    CheckBytes(emptyItems, static_cast<int>(RecordSize(0)), "empty");
    out += "== An empty frame\n" + Rendered(emptyItems) + "\n";
    CompareGolden(out, "tests/golden/details/telegrams.txt");
  }

  // The names the slave's GSD file gives, each at its bytes; without GSD files the tree says
  // nothing of them.
  void gsdNames() {
    DpFigures dp;
    GiveGsdSlaves(dp);
    const std::shared_ptr<const dp::GsdLibrary> gsd = LoadGsdLibrary({test::GsdTestFolder()});
    QVERIFY(gsd != nullptr && gsd->FileCount() == 3);
    for (const GsdRow& row : GsdRows()) {
      RecordContext context;
      context.record = RecordOf(row.frame, 0, 100);
      context.ticksPerBit = 8;
      const int size = static_cast<int>(RecordSize(context.record.FrameLen));
      const std::vector<DetailItem> named = RecordDetails(context, "x", {&dp, 1000, gsd.get()});
      CheckBytes(named, size, row.name);
      const std::string out = Rendered(named);
      for (const std::string& line : row.lines) {
        QVERIFY2(out.find("\n" + line + "\n") != std::string::npos,
                 (std::string(row.name) + ": no line '" + line + "' in\n" + out).c_str());
      }
      const std::string plain = Rendered(RecordDetails(context, "x", {&dp, 1000}));
      QVERIFY2(
          plain.find("GSD") == std::string::npos && plain.find("Parameter ") == std::string::npos,
          row.name);
    }
  }

  // The first record of each kind of tree in the golden DP run and the bundled sample, as the
  // pane shows them with the run's own health figures; every record's bytes checked.
  void runsRepresentatives() {
    std::string out;
    for (const std::string& first :
         {std::string("tests/golden/runs/dp/Cell0900.FdcCapt"),
          std::string("samples/Line11159.FdcCapt")}) {
      std::set<std::string> seen;
      EachRecordsDetails(SourcePath(first), [&](std::uint32_t ref, const auto& items) {
        // A kind of tree: its sections' first lines without numbers, and the flags of a
        // diagnosis.
        std::string kind;
        for (const DetailItem& section : items) {
          kind += section.text + '|';
          for (const DetailItem& item : section.children) {
            if (item.text.starts_with("station status")) kind += item.text + '|';
          }
        }
        std::erase_if(kind, [](char c) { return c >= '0' && c <= '9'; });
        if (!seen.insert(kind).second) return;
        out += "== " + first + " record " + std::to_string(ref) + "\n" + Rendered(items) + "\n";
      });
    }
    CompareGolden(out, "tests/golden/details/runs.txt");
  }

  // A generated run with every DP fault: each record decodes with sound bytes, and the alarms
  // of the slaves whose owner enabled DP-V1 are read as alarms.
  void everyDpFault() {
    QTemporaryDir dir;
    const std::string first = test::WriteFaultRun(
        dir.path(),
        "dp_drop,dp_rs,prm_fault,cfg_fault:at=600,channel_error,dpv1_alarm:count=3,clear_data@2,"
        "fcb_not_toggled,fcb_toggled_on_repeat,cfg_differs:count=2,io_length:count=5,"
        "missed_cycles:count=6",
        1);
    QVERIFY(!first.empty());
    int alarms = 0;
    EachRecordsDetails(first, [&](std::uint32_t, const auto& items) {
      for (const DetailItem& section : items) {
        for (const DetailItem& item : section.children) {
          if (item.text.starts_with("device-related blocks read as DP-V1")) ++alarms;
        }
      }
    });
    QVERIFY(alarms > 0);
  }

  void hexPlacesBothWays() {
    std::vector<std::uint8_t> bytes(300);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
    const std::string text = HexDumpText(bytes);
    QCOMPARE(text.substr(0, text.find('\n')),
             std::string("0000  00 01 02 03 04 05 06 07  08 09 0a 0b 0c 0d 0e 0f  ................"));
    QCOMPARE(text.substr(text.rfind('\n') + 1),
             "0120  20 21 22 23 24 25 26 27  28 29 2a 2b" + std::string(14, ' ') +
                 " !\"#$%&'()*+");
    for (int i = 0; i < 300; ++i) {
      const HexPlace place = HexPlaceOf(i);
      for (const int column : {place.hexColumn, place.hexColumn + 1, place.hexColumn + 2,
                               place.asciiColumn}) {
        QCOMPARE(HexByteAt(place.line, column, 300), std::optional<int>(i));
      }
    }
    // The offset column, the gap after the eighth byte, and bytes past the end select nothing.
    QCOMPARE(HexByteAt(0, 2, 300), std::nullopt);
    QCOMPARE(HexByteAt(0, HexPlaceOf(7).hexColumn + 3, 300), std::nullopt);
    QCOMPARE(HexByteAt(18, HexPlaceOf(300 % 16).hexColumn, 300), std::nullopt);
    QCOMPARE(HexBytesText(bytes, 14, 18), std::string("0e 0f 10 11"));
  }
};

int main(int argc, char** argv) {
  fdc::ui::test::IsolateSettings();
  QCoreApplication app(argc, argv);
  DetailsLogicTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "details_logic_test.moc"
