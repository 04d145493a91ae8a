// The bus health report's writers on hand-made figures: the JSON as data with every null rule,
// the CSV header, rows and quoting, the findings and their order, the text report's layout.
#include "report/bus_report.h"

#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

namespace fdc {
namespace {

using nlohmann::json;

// A minute file's figures; its no responses are all without a reply, its corrupt records none a
// reply, unless the caller says otherwise.
MinuteFigures Minute(const std::string& file, std::uint64_t records, std::uint64_t corrupt,
                     std::uint64_t noResponse, std::uint64_t repeats, std::uint64_t syncLosses) {
  MinuteFigures minute;
  minute.file = file;
  minute.size = 1000;
  minute.records = records;
  minute.corrupt = corrupt;
  minute.noResponse = noResponse;
  minute.noReply = noResponse;
  minute.corruptOther = corrupt;
  minute.repeats = repeats;
  minute.syncLosses = syncLosses;
  return minute;
}

// A 12M run with two files: master 2 (token rotations, TSYN violations, one rotation over TTR),
// slave 7 with every kind of trouble, and slave 9 that never answered.
BusFigures SampleFigures() {
  BusFigures f;
  f.baudCode = 1;
  f.rateKnown = true;
  f.tslBits = 1000;
  f.ttrBits = 5000;

  RunFigures& run = f.run;
  run.files = 2;
  run.records = 100;
  run.valid = 90;
  run.corrupt = 10;
  run.syncLosses = 1;
  run.filesCutShort = 1;
  run.startNs = 1000;
  run.endNs = 2'000'000;
  run.busLoadPermille = 431;
  run.statusBits = {1, 2, 0, 0, 0, 0, 3, 0};
  run.malformed = {0, 1, 0, 0, 0, 2};
  run.fcsErrors = 4;
  run.edErrors = 1;
  run.silentStations = {9};
  run.pendingRequest = true;
  run.clockStepsBack = 2;
  run.firstStepBackFile = "run/cap1201.FdcCapt";
  run.baudChanges = {{"run/cap1201.FdcCapt", "1M5"}};
  run.lastRecordCut = RecordCut{"run/cap1201.FdcCapt", 5000, 12};

  StationFigures master;
  master.address = 2;
  master.master = true;
  master.firstSeenNs = 1000;
  master.lastSeenNs = 1'900'000;
  master.framesSent = 60;
  master.requestsSent = 40;
  master.tokensSent = 20;
  master.tokensReceived = 19;
  master.earlyResponses = 0;
  master.responseTimeBits = SeriesFigures{};
  master.tokenRotationNs = SeriesFigures{3, 100, 300, 200};
  master.ttrExceeded = 1;
  master.tsynViolations = 2;

  StationFigures slave;
  slave.address = 7;
  slave.stationType = 0;
  slave.firstSeenNs = 2000;
  slave.lastSeenNs = 1'800'000;
  slave.framesSent = 25;
  slave.responsesSent = 25;
  slave.requestsReceived = 30;
  slave.answered = 25;
  slave.noResponse = 4;
  slave.noResponseCauses = {2, 1, 1};
  slave.absentPolls = 1;
  slave.lateResponses = 1;
  slave.illegalResponses = 2;
  slave.earlyResponses = 3;
  slave.repeats = 2;
  slave.repeatChainMax = 2;
  slave.noResponseRunMax = 3;
  slave.responseTimeBits = SeriesFigures{25, -2, 40, 20};
  slave.negativeUe = 1;
  slave.negativeRs = 5;
  slave.diagnosisFlagged = 6;
  slave.services = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  slave.cycleNs = SeriesFigures{20, 50'000, 90'000, 61'234};

  StationFigures silent;
  silent.address = 9;
  silent.requestsReceived = 5;
  silent.noResponse = 5;
  silent.noResponseCauses.noReply = 5;
  silent.noResponseRunMax = 5;
  silent.earlyResponses = 0;
  silent.responseTimeBits = SeriesFigures{};
  silent.services[kServiceDataExchange] = 5;
  silent.cycleNs = SeriesFigures{};

  f.stations = {master, slave, silent};
  f.minutes = {Minute("run/cap1200.FdcCapt", 60, 6, 3, 2, 1),
               Minute("run/cap1201.FdcCapt", 40, 4, 6, 0, 0)};
  f.minutes[0].noReply = 1;
  f.minutes[0].late = 1;
  f.minutes[0].corruptReply = 1;
  f.minutes[0].corruptOther = 5;
  return f;
}

// The same run at an unknown baud rate: every time and bit-time figure is absent.
BusFigures UnknownRateFigures() {
  BusFigures f = SampleFigures();
  f.baudCode = 0;
  f.rateKnown = false;
  f.run.startNs.reset();
  f.run.endNs.reset();
  f.run.busLoadPermille.reset();
  for (StationFigures& s : f.stations) {
    s.firstSeenNs.reset();
    s.lastSeenNs.reset();
    s.earlyResponses.reset();
    s.responseTimeBits.reset();
    s.cycleNs.reset();
    s.tokenRotationNs.reset();
    s.ttrExceeded.reset();
    s.tsynViolations.reset();
  }
  return f;
}

json JsonOf(const BusFigures& figures) {
  std::ostringstream out;
  WriteBusJson(figures, out);
  return json::parse(out.str());
}

std::string CsvOf(const BusFigures& figures) {
  std::ostringstream out;
  WriteBusCsv(figures, out);
  return out.str();
}

std::string TextOf(const BusFigures& figures) {
  std::ostringstream out;
  WriteBusTextReport(figures, out);
  return out.str();
}

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  for (;;) {
    const std::size_t end = text.find(separator, at);
    parts.push_back(text.substr(at, end == std::string::npos ? std::string::npos : end - at));
    if (end == std::string::npos) return parts;
    at = end + separator.size();
  }
}

TEST(BusJson, CarriesEveryFigureUnderItsName) {
  const json expected = json::parse(R"({
    "run": {"files": 2, "records": 100, "valid": 90, "corrupt": 10, "sync_losses": 1,
            "files_cut_short": 1, "pending_request": true,
            "last_record_cut": {"file": "run/cap1201.FdcCapt", "offset": 5000, "bytes": 12},
            "clock_steps_back": 2,
            "baud_changes": [{"file": "run/cap1201.FdcCapt", "baud": "1M5"}],
            "error": null, "start_ns": 1000, "end_ns": 2000000,
            "bus_load_permille": 431,
            "status_bits": {"s": 1, "p": 2, "d": 0, "r": 0, "u": 0, "o": 0, "c": 3, "e": 0},
            "malformed": {"empty": 0, "length": 1, "le": 0, "ler": 0, "second_sd": 0,
                          "unknown_sd": 2},
            "fcs_errors": 4, "ed_errors": 1, "silent_stations": [9],
            "dp_events": 0},
    "stations": [
      {"address": 2, "role": "master", "station_type": null, "first_seen_ns": 1000,
       "last_seen_ns": 1900000, "frames_sent": 60, "requests_sent": 40, "responses_sent": 0,
       "tokens_sent": 20, "tokens_received": 19, "requests_received": 0, "answered": 0,
       "no_response": 0, "no_response_causes": {"no_reply": 0, "late": 0, "corrupt": 0},
       "absent_polls": 0, "late_responses": 0, "illegal_responses": 0,
       "early_responses": 0, "repeats": 0, "repeat_chain_max": 0, "no_response_run_max": 0,
       "response_time_bits": {"count": 0, "min": null, "max": null, "mean": null},
       "negative_responses": {"ue": 0, "rr": 0, "rs": 0}, "diagnosis_flagged": 0,
       "services": {"status_poll": 0, "slave_diag": 0, "set_prm": 0, "chk_cfg": 0, "get_cfg": 0,
                    "rd_inp": 0, "rd_outp": 0, "set_slave_add": 0, "data_exchange": 0,
                    "other": 0},
       "cycle_ns": null,
       "token_rotation_ns": {"count": 3, "min": 100, "max": 300, "mean": 200},
       "ttr_exceeded": 1, "tsyn_violations": 2, "dp": null,
       "dp_master": {"global_controls": 0, "clear_data": 0, "slaves_owned": []}},
      {"address": 7, "role": "slave", "station_type": "slave", "first_seen_ns": 2000,
       "last_seen_ns": 1800000, "frames_sent": 25, "requests_sent": 0, "responses_sent": 25,
       "tokens_sent": 0, "tokens_received": 0, "requests_received": 30, "answered": 25,
       "no_response": 4, "no_response_causes": {"no_reply": 2, "late": 1, "corrupt": 1},
       "absent_polls": 1, "late_responses": 1, "illegal_responses": 2,
       "early_responses": 3, "repeats": 2, "repeat_chain_max": 2, "no_response_run_max": 3,
       "response_time_bits": {"count": 25, "min": -2, "max": 40, "mean": 20},
       "negative_responses": {"ue": 1, "rr": 0, "rs": 5}, "diagnosis_flagged": 6,
       "services": {"status_poll": 1, "slave_diag": 2, "set_prm": 3, "chk_cfg": 4, "get_cfg": 5,
                    "rd_inp": 6, "rd_outp": 7, "set_slave_add": 8, "data_exchange": 9,
                    "other": 10},
       "cycle_ns": {"count": 20, "min": 50000, "max": 90000, "mean": 61234},
       "token_rotation_ns": null, "ttr_exceeded": null, "tsyn_violations": null, "dp": null,
       "dp_master": null},
      {"address": 9, "role": "slave", "station_type": null, "first_seen_ns": null,
       "last_seen_ns": null, "frames_sent": 0, "requests_sent": 0, "responses_sent": 0,
       "tokens_sent": 0, "tokens_received": 0, "requests_received": 5, "answered": 0,
       "no_response": 5, "no_response_causes": {"no_reply": 5, "late": 0, "corrupt": 0},
       "absent_polls": 0, "late_responses": 0, "illegal_responses": 0,
       "early_responses": 0, "repeats": 0, "repeat_chain_max": 0, "no_response_run_max": 5,
       "response_time_bits": {"count": 0, "min": null, "max": null, "mean": null},
       "negative_responses": {"ue": 0, "rr": 0, "rs": 0}, "diagnosis_flagged": 0,
       "services": {"status_poll": 0, "slave_diag": 0, "set_prm": 0, "chk_cfg": 0, "get_cfg": 0,
                    "rd_inp": 0, "rd_outp": 0, "set_slave_add": 0, "data_exchange": 5,
                    "other": 0},
       "cycle_ns": {"count": 0, "min": null, "max": null, "mean": null},
       "token_rotation_ns": null, "ttr_exceeded": null, "tsyn_violations": null, "dp": null,
       "dp_master": null}
    ],
    "minutes": [
      {"file": "run/cap1200.FdcCapt", "records": 60, "corrupt": 6, "no_response": 3,
       "no_reply": 1, "late": 1, "corrupt_reply": 1, "corrupt_other": 5, "repeats": 2,
       "sync_losses": 1},
      {"file": "run/cap1201.FdcCapt", "records": 40, "corrupt": 4, "no_response": 6,
       "no_reply": 6, "late": 0, "corrupt_reply": 0, "corrupt_other": 4, "repeats": 0,
       "sync_losses": 0}
    ],
    "events": []
  })");
  EXPECT_EQ(JsonOf(SampleFigures()), expected);
}

TEST(BusJson, AbsentFiguresAreNull) {
  struct Case {
    const char* name;
    std::function<BusFigures()> figures;
    const char* pointer;
    const char* expected;
  };
  const Case cases[] = {
      {"unknown rate: run times", UnknownRateFigures, "/run/start_ns", "null"},
      {"unknown rate: bus load", UnknownRateFigures, "/run/bus_load_permille", "null"},
      {"unknown rate: first seen", UnknownRateFigures, "/stations/1/first_seen_ns", "null"},
      {"unknown rate: early responses", UnknownRateFigures, "/stations/1/early_responses", "null"},
      {"unknown rate: whole response time object", UnknownRateFigures,
       "/stations/1/response_time_bits", "null"},
      {"unknown rate: whole cycle object", UnknownRateFigures, "/stations/1/cycle_ns", "null"},
      {"unknown rate: whole rotation object", UnknownRateFigures, "/stations/0/token_rotation_ns",
       "null"},
      {"unknown rate: TSYN", UnknownRateFigures, "/stations/0/tsyn_violations", "null"},
      {"unknown rate: counts stay", UnknownRateFigures, "/stations/1/no_response", "4"},
      {"no TTR given",
       [] {
         BusFigures f = SampleFigures();
         f.ttrBits.reset();
         f.stations[0].ttrExceeded.reset();
         return f;
       },
       "/stations/0/ttr_exceeded", "null"},
      {"the reader's message",
       [] {
         BusFigures f = SampleFigures();
         f.run.error = "Unable to Open Input File run/cap1202.FdcCapt";
         return f;
       },
       "/run/error", R"("Unable to Open Input File run/cap1202.FdcCapt")"},
      {"a message that is not UTF-8 still makes a document",
       [] {
         BusFigures f = SampleFigures();
         f.run.error =
             "Unable to Open Input File caf\xe9"
             "1202.FdcCapt";
         return f;
       },
       "/run/error",
       "\"Unable to Open Input File caf\xef\xbf\xbd"
       "1202.FdcCapt\""},
      {"no record cut short",
       [] {
         BusFigures f = SampleFigures();
         f.run.lastRecordCut.reset();
         return f;
       },
       "/run/last_record_cut", "null"},
      {"no stations",
       [] {
         BusFigures f = SampleFigures();
         f.stations.clear();
         return f;
       },
       "/stations", "[]"},
      {"stations by address whatever their order",
       [] {
         BusFigures f = SampleFigures();
         std::swap(f.stations[0], f.stations[2]);
         return f;
       },
       "/stations/0/address", "2"},
  };
  for (const Case& c : cases) {
    const json document = JsonOf(c.figures());
    EXPECT_EQ(document.at(json::json_pointer(c.pointer)), json::parse(c.expected)) << c.name;
  }
}

TEST(BusJson, StationTypesByTheirWords) {
  const char* const words[] = {"slave", "master-not-ready", "master-ready", "master-in-ring"};
  for (std::uint8_t type = 0; type < 4; ++type) {
    BusFigures f = SampleFigures();
    f.stations[1].stationType = type;
    EXPECT_EQ(JsonOf(f)["stations"][1]["station_type"], words[type]);
  }
}

// The names of a JSON object's figures, nested ones joined by "_", in their order.
void FlattenNames(const nlohmann::ordered_json& object, const std::string& prefix,
                  std::vector<std::string>& names) {
  for (const auto& [key, value] : object.items()) {
    if (value.is_object()) {
      FlattenNames(value, prefix + key + "_", names);
    } else {
      names.push_back(prefix + key);
    }
  }
}

TEST(BusCsv, HeaderNamesTheJsonFiguresInOrder) {
  const std::string csv = CsvOf(SampleFigures());
  const std::vector<std::string> lines = Split(csv, "\r\n");
  ASSERT_EQ(lines.size(), 5u) << csv;  // header, three stations, and the empty rest
  EXPECT_EQ(lines.back(), "");
  EXPECT_EQ(lines[0],
            "address,role,station_type,first_seen_ns,last_seen_ns,frames_sent,requests_sent,"
            "responses_sent,tokens_sent,tokens_received,requests_received,answered,no_response,"
            "no_response_causes_no_reply,no_response_causes_late,no_response_causes_corrupt,"
            "absent_polls,late_responses,illegal_responses,early_responses,repeats,"
            "repeat_chain_max,no_response_run_max,response_time_bits_count,"
            "response_time_bits_min,response_time_bits_max,response_time_bits_mean,"
            "negative_responses_ue,negative_responses_rr,negative_responses_rs,"
            "diagnosis_flagged,services_status_poll,services_slave_diag,services_set_prm,"
            "services_chk_cfg,services_get_cfg,services_rd_inp,services_rd_outp,"
            "services_set_slave_add,services_data_exchange,services_other,cycle_ns_count,"
            "cycle_ns_min,cycle_ns_max,cycle_ns_mean,token_rotation_ns_count,"
            "token_rotation_ns_min,token_rotation_ns_max,token_rotation_ns_mean,ttr_exceeded,"
            "tsyn_violations,dp_state,dp_state_since_ns,dp_owner,dp_ident_number,dp_watchdog_ms,"
            "dp_min_tsdr_bits,dp_group_ident,dp_dpv1,dp_entries,dp_drops,dp_missed_cycles,"
            "dp_time_in_data_exchange_ns,dp_longest_outage_ns,dp_first_entry_ns,dp_diag_replies,"
            "dp_diag_changes,dp_fcb_not_toggled,dp_fcb_toggled_on_repeat,dp_watchdog_exceeded,"
            "dp_longest_cycle_in_data_exchange_ns,dp_cfg_mismatches,dp_io_length_mismatches,"
            "dp_min_tsdr_violations");

  // The same names as the JSON station with every object present, flattened.
  std::ostringstream out;
  WriteBusJson(SampleFigures(), out);
  const auto document = nlohmann::ordered_json::parse(out.str());
  auto station = document["stations"][1];
  station["token_rotation_ns"] = document["stations"][0]["token_rotation_ns"];
  // The DP figures end the row: their scalars only, named as FlattenDpSlave names them.
  station.erase("dp");
  station.erase("dp_master");
  std::vector<std::string> names;
  FlattenNames(station, "", names);
  for (FlatFigure& f : FlattenDpSlave(nullptr)) names.push_back("dp_" + f.name.substr(3));
  EXPECT_EQ(Split(lines[0], ","), names);
}

TEST(BusCsv, RowsWithNullAsEmptyFields) {
  const std::vector<std::string> lines = Split(CsvOf(SampleFigures()), "\r\n");
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1],
            "2,master,,1000,1900000,60,40,0,20,19,0,0,0,0,0,0,0,0,0,0,0,0,0,0,,,,0,0,0,0,"
            "0,0,0,0,0,0,0,0,0,0,,,,,3,100,300,200,1,2,,,,,,,,,,,,,,,,,,,,,,,");
  EXPECT_EQ(lines[2],
            "7,slave,slave,2000,1800000,25,0,25,0,0,30,25,4,2,1,1,1,1,2,3,2,2,3,25,-2,40,20,1,0,5,"
            "6,"
            "1,2,3,4,5,6,7,8,9,10,20,50000,90000,61234,,,,,,,,,,,,,,,,,,,,,,,,,,,,,");
  EXPECT_EQ(lines[3],
            "9,slave,,,,0,0,0,0,0,5,0,5,5,0,0,0,0,0,0,0,0,5,0,,,,0,0,0,0,"
            "0,0,0,0,0,0,0,0,5,0,0,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,");

  // Unknown rate: whole objects empty, every row as wide as the header.
  const std::vector<std::string> unknown = Split(CsvOf(UnknownRateFigures()), "\r\n");
  const std::size_t columns = Split(unknown[0], ",").size();
  for (std::size_t i = 1; i + 1 < unknown.size(); ++i) {
    EXPECT_EQ(Split(unknown[i], ",").size(), columns) << unknown[i];
  }
  EXPECT_EQ(unknown[2].substr(0, 18), "7,slave,slave,,,25");

  BusFigures none = SampleFigures();
  none.stations.clear();
  EXPECT_EQ(CsvOf(none), lines[0] + "\r\n");
}

TEST(BusCsv, QuotesAsRfc4180) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"master-in-ring", "master-in-ring"},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"\"", "\"\"\"\""},
      {"two\nlines", "\"two\nlines\""},
      {"cr\r", "\"cr\r\""},
      {" blanks kept ", " blanks kept "},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(CsvField(text), expected) << text;
}

struct FindingRow {
  FindingKind kind;
  std::optional<std::uint8_t> station;
  std::uint64_t count;
  bool operator==(const FindingRow&) const = default;
};

std::vector<FindingRow> Rows(const std::vector<BusFinding>& findings) {
  std::vector<FindingRow> rows;
  for (const BusFinding& f : findings) rows.push_back({f.kind, f.station, f.count});
  return rows;
}

TEST(BusFindings, KindsInOrderThenLargestCountFirst) {
  BusFigures f = SampleFigures();
  f.run.statusBits = {};
  f.run.malformed = {};
  f.run.fcsErrors = 4;
  f.run.edErrors = 9;
  f.run.malformed[kMalformedLe] = 4;  // a tie keeps the JSON's order of causes
  const std::vector<FindingRow> expected = {
      {FindingKind::kNoResponse, 9, 5},
      {FindingKind::kNoResponse, 7, 4},
      {FindingKind::kRepeats, 7, 2},
      {FindingKind::kIllegalResponses, 7, 2},
      {FindingKind::kLateResponses, 7, 1},
      {FindingKind::kEarlyResponses, 7, 3},
      {FindingKind::kNegativeResponses, 7, 6},
      {FindingKind::kDiagnosisFlagged, 7, 6},
      {FindingKind::kTsynViolations, 2, 2},
      {FindingKind::kTtrExceeded, 2, 1},
      {FindingKind::kCorruptFrames, std::nullopt, 9},
      {FindingKind::kCorruptFrames, std::nullopt, 4},
      {FindingKind::kCorruptFrames, std::nullopt, 4},
      {FindingKind::kFilesCutShort, std::nullopt, 1},
      {FindingKind::kBaudChanges, std::nullopt, 1},
      {FindingKind::kClockStepsBack, std::nullopt, 2},
      {FindingKind::kLastRecordCut, std::nullopt, 12},
  };
  const std::vector<BusFinding> findings = BusFindings(f);
  EXPECT_EQ(Rows(findings), expected);
  ASSERT_EQ(findings.size(), expected.size());
  EXPECT_EQ(findings[10].numbers.front().name, "ed_errors");
  EXPECT_EQ(findings[11].numbers.front().name, "malformed.le");
  EXPECT_EQ(findings[12].numbers.front().name, "fcs_errors");

  // Equal counts of one kind keep the order of addresses.
  f.stations[2].noResponse = 4;
  f.stations[2].noResponseRunMax = 3;
  EXPECT_EQ(BusFindings(f)[0].station, 7);
  EXPECT_EQ(BusFindings(f)[1].station, 9);
}

TEST(BusFindings, OutagesLeadTheNoResponsesLongestFirst) {
  // {address, no responses, longest run}
  const std::array<std::array<std::uint64_t, 3>, 5> stations = {
      {{10, 10, 1}, {11, 4, 3}, {12, 6, 5}, {13, 20, 2}, {14, 7, 5}}};
  BusFigures f;
  for (const auto& [address, noResponse, run] : stations) {
    StationFigures s;
    s.address = static_cast<std::uint8_t>(address);
    s.noResponse = noResponse;
    s.noResponseRunMax = run;
    s.noResponseCauses.noReply = noResponse;
    f.stations.push_back(s);
  }
  const std::vector<FindingRow> expected = {
      {FindingKind::kNoResponse, 14, 7},  // run 5, the larger count
      {FindingKind::kNoResponse, 12, 6},  // run 5
      {FindingKind::kNoResponse, 11, 4},  // run 3
      {FindingKind::kNoResponse, 13, 20}, {FindingKind::kNoResponse, 10, 10},
  };
  EXPECT_EQ(Rows(BusFindings(f)), expected);
}

TEST(BusFindings, TextsAndNumbers) {
  struct Case {
    FindingKind kind;
    const char* text;
    std::vector<std::pair<std::string_view, std::uint64_t>> numbers;
  };
  const Case cases[] = {
      {FindingKind::kNoResponse,
       "Station 9: no valid reply in time to 5 of 5 requests received, longest run 5 (5 no "
       "reply); never heard",
       {{"no_response", 5},
        {"requests_received", 5},
        {"no_response_run_max", 5},
        {"no_response_causes.no_reply", 5},
        {"no_response_causes.late", 0},
        {"no_response_causes.corrupt", 0}}},
      {FindingKind::kRepeats,
       "Station 7: 2 repeats, longest chain 2",
       {{"repeats", 2}, {"repeat_chain_max", 2}}},
      {FindingKind::kLateResponses,
       "Station 7: 1 late response (after the slot time of 1000 bit times)",
       {{"late_responses", 1}, {"requests_received", 30}}},
      {FindingKind::kNegativeResponses,
       "Station 7: 6 negative responses (UE 1, RR 0, RS 5)",
       {{"negative_responses.ue", 1}, {"negative_responses.rr", 0}, {"negative_responses.rs", 5}}},
      {FindingKind::kDiagnosisFlagged,
       "Station 7: diagnosis flagged in 6 responses (DH or RDH)",
       {{"diagnosis_flagged", 6}, {"responses_sent", 25}}},
      {FindingKind::kTtrExceeded,
       "Master 2: 1 of 3 token rotations over the TTR of 5000 bit times, longest 0.000 ms",
       {{"ttr_exceeded", 1}, {"token_rotation_ns.count", 3}}},
      {FindingKind::kCorruptFrames,
       "Corrupt frames: 4 with a wrong FCS",
       {{"fcs_errors", 4}, {"corrupt", 10}, {"records", 100}}},
      {FindingKind::kFilesCutShort,
       "1 file cut short: no record mark found, the rest of the file was skipped",
       {{"files_cut_short", 1}, {"files", 2}}},
      {FindingKind::kBaudChanges,
       "run/cap1201.FdcCapt has baud rate 1M5, not the run's 12M: its records are not timed",
       {{"baud_changes", 1}, {"files", 2}}},
      {FindingKind::kClockStepsBack,
       "The module clock steps back 2 times (first in run/cap1201.FdcCapt)",
       {{"clock_steps_back", 2}, {"records", 100}}},
      {FindingKind::kLastRecordCut,
       "The last record of the run is cut short: 12 bytes at offset 5000 of run/cap1201.FdcCapt",
       {{"last_record_cut.bytes", 12}, {"last_record_cut.offset", 5000}}},
  };
  BusFigures figures = SampleFigures();
  const std::vector<BusFinding> findings = BusFindings(figures);
  // The causes that are not 0, in their order.
  figures.stations[2].noResponseCauses = {0, 3, 2};
  EXPECT_EQ(BusFindings(figures)[0].text,
            "Station 9: no valid reply in time to 5 of 5 requests received, longest run 5 (3 late, "
            "2 corrupt); never heard");
  figures.stations[2].framesSent = 1;
  figures.stations[2].noResponseCauses = {1, 1, 3};
  EXPECT_EQ(BusFindings(figures)[0].text,
            "Station 9: no valid reply in time to 5 of 5 requests received, longest run 5 (1 no "
            "reply, 1 late, 3 corrupt)");
  for (const Case& c : cases) {
    const auto found = std::find_if(findings.begin(), findings.end(),
                                    [&c](const BusFinding& f) { return f.kind == c.kind; });
    ASSERT_NE(found, findings.end()) << c.text;
    EXPECT_EQ(found->text, c.text);
    std::vector<std::pair<std::string_view, std::uint64_t>> numbers;
    for (const FindingNumber& n : found->numbers) numbers.emplace_back(n.name, n.value);
    EXPECT_EQ(numbers, c.numbers) << c.text;
  }
}

TEST(BusFindings, NothingWithoutTroubleOrWithoutTheFigure) {
  BusFigures healthy = SampleFigures();
  healthy.run = RunFigures{};
  healthy.run.records = 100;
  for (StationFigures& s : healthy.stations) {
    s.noResponse = s.repeats = s.lateResponses = s.illegalResponses = 0;
    s.negativeUe = s.negativeRs = s.diagnosisFlagged = 0;
    if (s.earlyResponses) s.earlyResponses = 0;
    if (s.tsynViolations) s.tsynViolations = 0;
    if (s.ttrExceeded) s.ttrExceeded = 0;
  }
  EXPECT_TRUE(BusFindings(healthy).empty());
  // An unknown rate has no early responses, TSYN violations or rotations to report.
  for (const BusFinding& f : BusFindings(UnknownRateFigures())) {
    EXPECT_NE(f.kind, FindingKind::kEarlyResponses);
    EXPECT_NE(f.kind, FindingKind::kTsynViolations);
    EXPECT_NE(f.kind, FindingKind::kTtrExceeded);
  }
}

// Where each heading starts, or npos.
std::size_t At(const std::string& text, const std::string& line) { return text.find("\n" + line); }

TEST(BusTextReport, SectionsInOrderWithinOneHundredColumns) {
  BusFigures wide = SampleFigures();
  wide.run.records = 4'000'000'000;
  wide.stations[1].framesSent = 3'999'999'999;
  wide.run.error = "Unable to Open Input File run/cap1202.FdcCapt";
  for (const BusFigures& figures : {SampleFigures(), UnknownRateFigures(), wide}) {
    const std::string text = TextOf(figures);
    EXPECT_EQ(text.rfind("Bus health report: run/cap1200.FdcCapt, 2 files, ", 0), 0u) << text;
    const std::size_t findings = At(text, "Findings\n");
    const std::size_t live = At(text, "Live list: ");
    const std::size_t stations = At(text, "Stations\n");
    const std::size_t run = At(text, "Run\n");
    EXPECT_LT(findings, live) << text;
    EXPECT_LT(live, stations) << text;
    EXPECT_LT(stations, run) << text;
    EXPECT_EQ(text.find(kHealthyBusLine), std::string::npos);
    for (const std::string& line : Split(text, "\n")) EXPECT_LE(line.size(), 100u) << line;
  }
  const std::string text = TextOf(wide);
  EXPECT_NE(text.find("\nReading ended early: Unable to Open Input File run/cap1202.FdcCapt\n"),
            std::string::npos);
  EXPECT_NE(text.find("\n  Station 9: no valid reply in time to 5 of 5 requests received"),
            std::string::npos);
}

TEST(BusTextReport, NoRecordsSayWhyInPlaceOfTheFindings) {
  const std::string notFound(SyncFailureMessage(SyncFailure::kMarkNotFound));
  struct Case {
    const char* name;
    std::vector<std::uint64_t> sizes;  // of the files opened
    std::optional<std::string> error;
    std::function<void(RunFigures&)> more;
    std::string reason;
  };
  const Case cases[] = {
      {"a file shorter than a header",
       {20},
       notFound,
       {},
       "a1200.FdcCapt is shorter than a capture file header"},
      {"the first short file named",
       {40, 0},
       std::nullopt,
       {},
       "a1201.FdcCapt is shorter than a capture file header"},
      {"one file of its header alone", {40}, notFound, {}, "every file holds only its header"},
      {"files of their header alone",
       {40, 40},
       std::nullopt,
       {},
       "every file holds only its header"},
      {"then a file that is missing",
       {40},
       "Unable to Open Input File a1201.FdcCapt",
       {},
       "Unable to Open Input File a1201.FdcCapt"},
      {"no mark in a text file", {500}, notFound, {}, notFound},
      {"a record cut short",
       {45},
       std::nullopt,
       [](RunFigures& run) {
         run.lastRecordCut = RecordCut{"a1200.FdcCapt", 40, 5};
       },
       "The last record of the run is cut short: 5 bytes at offset 40 of a1200.FdcCapt"},
      {"files left after failed searches",
       {500, 40},
       std::nullopt,
       [](RunFigures& run) {
         run.filesCutShort = 1;
         run.searchFailure = "Capture File Sync Error: Unable to Sync";
       },
       "Capture File Sync Error: Unable to Sync"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    BusFigures f;
    for (std::size_t i = 0; i < c.sizes.size(); ++i) {
      f.minutes.push_back(Minute("a120" + std::to_string(i) + ".FdcCapt", 0, 0, 0, 0, 0));
      f.minutes.back().size = c.sizes[i];
    }
    f.run.files = c.sizes.size();
    f.run.error = c.error;
    if (c.more) c.more(f.run);
    const std::string text = TextOf(f);
    const std::size_t title = text.find("\n\n");
    const std::size_t live = At(text, "Live list: ");
    ASSERT_NE(title, std::string::npos);
    EXPECT_EQ(text.substr(title + 2, live - title - 1),
              "No records could be read: " + c.reason + "\n\n");
    EXPECT_EQ(text.find(kHealthyBusLine), std::string::npos);
    EXPECT_EQ(text.find("Findings"), std::string::npos);
  }
}

TEST(BusTextReport, HealthyLineInPlaceOfFindings) {
  BusFigures f;
  f.baudCode = 5;
  f.rateKnown = true;
  f.tslBits = 200;
  f.run.files = 1;
  f.run.records = 3;
  f.run.valid = 3;
  f.minutes = {Minute("cap1200.FdcCapt", 3, 0, 0, 0, 0)};
  StationFigures master;
  master.address = 1;
  master.master = true;
  f.stations = {master};
  const std::string text = TextOf(f);
  EXPECT_EQ(text.rfind("Bus health report: cap1200.FdcCapt, 1 file, 3 records\n\n" +
                           std::string(kHealthyBusLine) + "\n\nLive list: ",
                       0),
            0u)
      << text;
  EXPECT_EQ(text.find("Findings"), std::string::npos);
  EXPECT_NE(text.find("\n  Settings       baud rate 500K, slot time 200 bit times, no TTR given\n"),
            std::string::npos)
      << text;
}

TEST(BusTextReport, LiveListMarksEachAddressByRole) {
  const std::string text = TextOf(SampleFigures());
  const std::size_t live = At(text, "Live list: ");
  ASSERT_NE(live, std::string::npos);
  const std::vector<std::string> lines = Split(text.substr(live + 1), "\n");
  EXPECT_EQ(lines[0].rfind("Live list: 1 master, 2 slaves (M master, S slave, x addressed but "
                           "never heard, . not seen)",
                           0),
            0u);
  EXPECT_EQ(lines[1], "       +0  +1  +2  +3  +4  +5  +6  +7  +8  +9 +10 +11 +12 +13 +14 +15");
  EXPECT_EQ(lines[2], "    0   .   .   M   .   .   .   .   S   .   x   .   .   .   .   .   .");
  for (unsigned row = 1; row < 8; ++row) {
    std::string expected = std::to_string(row * 16);
    expected = std::string(5 - expected.size(), ' ') + expected;
    for (int column = 0; column < 16; ++column) expected += "   .";
    EXPECT_EQ(lines[2 + row], expected);
  }
}

TEST(BusTextReport, StationTableRows) {
  const std::string text = TextOf(SampleFigures());
  const char* const rows[] = {
      "\n   2 master         60         0       0       0     0       0     0      -     -     -"
      "      0.000\n",
      "\n   7 slave          25        30       4       2     1       2     3     -2    20    40"
      "      0.061\n",
      "\n   9 slave           0         5       5       0     0       0     0      -     -     -"
      "          -\n",
  };
  for (const char* row : rows) EXPECT_NE(text.find(row), std::string::npos) << row << text;
  const std::string unknown = TextOf(UnknownRateFigures());
  EXPECT_NE(unknown.find("\n   7 slave          25        30       4       2     1       2     -"
                         "      -     -     -          -\n"),
            std::string::npos)
      << unknown;
  EXPECT_NE(unknown.find("baud rate unknown (code 0): no times, no slot time test"),
            std::string::npos);
}

}  // namespace
}  // namespace fdc
