// fdcstat: its arguments, refusals and exit statuses, where the report goes, and what a failed
// run or a failed write leaves.
#include "cli/fdcstat_command.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/test_support.h"

namespace fdc {
namespace {

using nlohmann::json;

using Outcome = test::CommandOutcome;

Outcome Fdcstat(const std::vector<std::string>& args) {
  return test::RunCommand([](const std::vector<std::string>& a, std::FILE* out,
                             std::FILE* err) { return RunFdcstat(a, out, err); },
                          args);
}

// Two minutes of a 12M run: a request and its answer in each.
class FdcstatRun : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::vector<std::uint8_t> request = {0x10, 0x07, 0x02, 0x49, 0x50, 0x16};
    const std::vector<std::uint8_t> reply = {0xe5};
    test::WriteRun(dir_,
                   {test::CaptureBytes().Record(1000, request).Record(1500, reply),
                    test::CaptureBytes().Record(9000, request).Record(9500, reply)},
                   12, 0);
  }
  std::string Capture() const { return dir_.File("cap1200.FdcCapt"); }

  test::TempDir dir_;
};

TEST(Fdcstat, RefusesArguments) {
  const std::string capture = "a1200.FdcCapt";
  const std::string tsl =
      "fdcstat: --tsl must be a slot time of 1 to 16383 bit times in decimal digits, not '";
  const std::string ttr =
      "fdcstat: --ttr must be a target rotation time of 1 to 16777215 bit times in decimal "
      "digits, not '";
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const Case cases[] = {
      {{"--tsl", "0", capture}, tsl + "0'\n"},
      {{"--tsl", "16384", capture}, tsl + "16384'\n"},
      {{"--tsl=", capture}, tsl + "'\n"},
      {{"--tsl", "+5", capture}, tsl + "+5'\n"},
      {{"--tsl", " 5", capture}, tsl + " 5'\n"},
      {{"--tsl", "5x", capture}, tsl + "5x'\n"},
      {{"--tsl", "0x10", capture}, tsl + "0x10'\n"},
      {{"--tsl", "18446744073709551617", capture}, tsl + "18446744073709551617'\n"},
      {{"--ttr", "0", capture}, ttr + "0'\n"},
      {{"--ttr", "16777216", capture}, ttr + "16777216'\n"},
      {{"--ttr=-1", capture}, ttr + "-1'\n"},
      {{"--format", "xml", capture}, "fdcstat: --format must be text, json, csv or events, not 'xml'\n"},
      {{"--format", "JSON", capture}, "fdcstat: --format must be text, json, csv or events, not 'JSON'\n"},
      {{"--output=", capture}, "fdcstat: --output needs a file name\n"},
      // The run is chosen with fdcdump's checks and messages.
      {{"--minutes", "0", capture}, "Please enter an integer between 1 and 1439.\n"},
      {{"--minutes", "x", capture}, "Please enter a positive integer.\n"},
      {{"1260.FdcCapt"}, "Invalid Capture File Name Minute (00-59)\n"},
      {{"abcd.FdcCapt"},
       "Invalid Capture File Name\nIt must be in the following form:\n<name>HHMM.FdcCapt\nNote:\n"
       "<name> is the user defined portion of the name\nHH is the hour   the file was created\n"
       "MM is the minute the file was created\n"},
      {{"--minutes", "3", "--output", "a1202.FdcCapt", capture},
       "fdcstat: The output file would overwrite the input file a1202.FdcCapt\n"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Fdcstat(c.args);
    EXPECT_EQ(outcome.status, 2) << c.args[1];
    EXPECT_EQ(outcome.err, c.err) << c.args[1];
    EXPECT_EQ(outcome.out, "") << c.args[1];
  }
}

TEST(Fdcstat, UsageErrorsAndHelp) {
  const std::vector<std::string> cases[] = {
      {},
      {"--bogus", "a1200.FdcCapt"},
      {"--tsl"},
      {"a1200.FdcCapt", "b1200.FdcCapt"},
      // fdcdump's filter, window and quiet options are not fdcstat's.
      {"--opt", "a.opt", "a1200.FdcCapt"},
      {"--start-ref=5", "a1200.FdcCapt"},
      {"--arg", "1", "a1200.FdcCapt"},
      {"-q", "a1200.FdcCapt"}};
  for (const std::vector<std::string>& args : cases) {
    const Outcome outcome = Fdcstat(args);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.err.find("Usage: fdcstat"), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.out, "");
  }
  const Outcome help = Fdcstat({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: fdcstat [--minutes N] [--tsl BITS] [--ttr BITS]", 0), 0u);
  EXPECT_EQ(help.err, "");
}

TEST_F(FdcstatRun, WritesEachFormatToTheStandardOutput) {
  struct Case {
    std::vector<std::string> args;
    const char* starts;
  };
  const Case cases[] = {
      {{"--minutes", "2", Capture()}, "Bus health report: "},
      {{"--minutes=2", "--format=text", Capture()}, "Bus health report: "},
      {{"--minutes", "2", "--format", "csv", Capture()}, "address,role,station_type,"},
      {{"--minutes", "2", "--format", "json", "--tsl", "16383", "--ttr", "16777215", Capture()},
       "{"},
      {{"--tsl", "1", "--ttr", "007", "--minutes", "2", "--format", "json", Capture()}, "{"},
      {{"--output", "-", "--format", "csv", Capture()}, "address,role,station_type,"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Fdcstat(c.args);
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.out.rfind(c.starts, 0), 0u) << outcome.out;
  }
  const json document = json::parse(Fdcstat({"--minutes", "2", "--format", "json", Capture()}).out);
  EXPECT_EQ(document["run"]["records"], 4);
  EXPECT_EQ(document["run"]["files"], 2);
  EXPECT_EQ(document["run"]["error"], nullptr);
  ASSERT_EQ(document["minutes"].size(), 2u);
  EXPECT_EQ(document["minutes"][1]["file"], dir_.File("cap1201.FdcCapt"));
}

TEST_F(FdcstatRun, OutputFile) {
  const std::string output = dir_.File("report.json");
  const Outcome outcome = Fdcstat({"--format", "json", "--output", output, Capture()});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(json::parse(test::ReadText(output))["run"]["records"], 2);

  const Outcome null = Fdcstat({"--output", "/dev/null", "--minutes", "2", Capture()});
  EXPECT_EQ(null.status, 0) << null.err;
  EXPECT_EQ(null.out, "");
}

TEST_F(FdcstatRun, OutputNamingAFileOfTheRunIsRefused) {
  const std::string second = dir_.File("cap1201.FdcCapt");
  const std::string before = test::ReadText(second);
  // By another spelling of the same path, too.
  for (const std::string& output : {second, dir_.File("./cap1201.FdcCapt")}) {
    const Outcome outcome = Fdcstat({"--minutes", "2", "--output", output, Capture()});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.err,
              "fdcstat: The output file would overwrite the input file " + second + "\n");
  }
  EXPECT_EQ(test::ReadText(second), before);
  // A file past the run's last minute is not an input.
  EXPECT_EQ(Fdcstat({"--output", second, Capture()}).status, 0);
}

TEST_F(FdcstatRun, FailedRuns) {
  // The run ends in a missing third minute: the message, and the figures read before it.
  const std::string third = dir_.File("cap1202.FdcCapt");
  const Outcome cut = Fdcstat({"--minutes", "3", "--format", "json", Capture()});
  EXPECT_EQ(cut.status, 1);
  EXPECT_EQ(cut.err, "Unable to Open Input File " + third + "\n");
  const json document = json::parse(cut.out);
  EXPECT_EQ(document["run"]["error"], "Unable to Open Input File " + third);
  EXPECT_EQ(document["run"]["records"], 4);
  const Outcome text = Fdcstat({"--minutes", "3", Capture()});
  EXPECT_EQ(text.status, 1);
  EXPECT_NE(text.out.find("\nReading ended early: Unable to Open Input File " + third + "\n"),
            std::string::npos)
      << text.out;

  // A run that cannot start leaves nothing: no figures, no output file.
  const std::string output = dir_.File("report.txt");
  const Outcome missing = Fdcstat({"--output", output, dir_.File("cap1159.FdcCapt")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "Unable to Open Input File " + dir_.File("cap1159.FdcCapt") + "\n");
  EXPECT_EQ(missing.out, "");
  EXPECT_FALSE(std::filesystem::exists(output));

  const std::string nowhere = dir_.File("no/such/folder/report.txt");
  const Outcome unopened = Fdcstat({"--output", nowhere, Capture()});
  EXPECT_EQ(unopened.status, 1);
  EXPECT_EQ(unopened.err, "Unable to Open Output File " + nowhere + "\n");
  EXPECT_EQ(unopened.out, "");
}

TEST_F(FdcstatRun, WriteFailures) {
  const Outcome full = Fdcstat({"--minutes", "2", "--output", "/dev/full", Capture()});
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "Unable to Write Output File /dev/full\n");

  // Both failures are told: the reader's first.
  const Outcome both = Fdcstat({"--minutes", "3", "--output", "/dev/full", Capture()});
  EXPECT_EQ(both.status, 1);
  EXPECT_EQ(both.err, "Unable to Open Input File " + dir_.File("cap1202.FdcCapt") +
                          "\nUnable to Write Output File /dev/full\n");

  // The standard output itself on a full device.
  std::FILE* device = std::fopen("/dev/full", "w");
  ASSERT_NE(device, nullptr);
  std::FILE* err = std::tmpfile();
  EXPECT_EQ(RunFdcstat({Capture()}, device, err), 1);
  std::fclose(device);
  std::rewind(err);
  char line[200] = {};
  ASSERT_NE(std::fgets(line, sizeof line, err), nullptr);
  EXPECT_STREQ(line, "Unable to Write Output File <standard output>\n");
  std::fclose(err);
}

// Sends the process a signal at the run's first progress, as Ctrl-C or kill midway through a long
// run does, and notes whether the temporary report file stood there then, and whether the run
// went on to its second file.
class SignalMidway final : public ProgressObserver {
 public:
  SignalMidway(int signal, std::string temporary)
      : signal_(signal), temporary_(std::move(temporary)) {}
  void OnProgress(const RunProgress& progress) override {
    if (progress.fileNumber > 1) wentOn_ = true;
    if (raised_ || signal_ == 0) return;
    raised_ = true;
    temporarySeen_ = std::filesystem::exists(temporary_);
    std::raise(signal_);
  }
  bool TemporarySeen() const { return temporarySeen_; }
  bool WentOn() const { return wentOn_; }

 private:
  int signal_;
  std::string temporary_;
  bool raised_ = false;
  bool temporarySeen_ = false;
  bool wentOn_ = false;
};

void Sentinel(int) {}

TEST_F(FdcstatRun, AnInterruptedOrFailedRunKeepsThePreviousReport) {
  const std::string report = dir_.File("report.txt");
  struct Case {
    const char* name;
    int signal;               // raised midway; 0: none
    bool toFile;              // --output report.txt, else the standard output
    std::uint64_t sizeLimit;  // of every file written; 0: none
    std::string err;
  };
  const Case cases[] = {
      {"SIGINT", SIGINT, true, 0, "fdcstat: interrupted\n"},
      {"SIGTERM", SIGTERM, true, 0, "fdcstat: interrupted\n"},
      {"SIGINT, standard output", SIGINT, false, 0, "fdcstat: interrupted\n"},
      {"no room for the report", 0, true, 512, "Unable to Write Output File " + report + "\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::WriteText(report, "the previous report\n");
    // Whatever handled the signals before the run does so again after it.
    const auto previousInt = std::signal(SIGINT, Sentinel);
    const auto previousTerm = std::signal(SIGTERM, Sentinel);
    SignalMidway midway(c.signal, report + ".tmp");
    std::vector<std::string> args = {"--minutes", "2", Capture()};
    if (c.toFile) args.insert(args.begin(), {"--output", report});
    Outcome outcome;
    {
      std::optional<test::FileSizeLimit> limit;
      if (c.sizeLimit != 0) limit.emplace(c.sizeLimit);
      outcome =
          test::RunCommand([&midway](const std::vector<std::string>& a, std::FILE* out,
                                     std::FILE* err) { return RunFdcstat(a, out, err, &midway); },
                           args);
    }
    EXPECT_EQ(std::signal(SIGINT, previousInt), Sentinel);
    EXPECT_EQ(std::signal(SIGTERM, previousTerm), Sentinel);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, c.err);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(test::ReadText(report), "the previous report\n");
    EXPECT_FALSE(std::filesystem::exists(report + ".tmp"));
    if (c.signal != 0) {
      EXPECT_EQ(midway.TemporarySeen(), c.toFile);
      EXPECT_FALSE(midway.WentOn()) << "the run stops at the next record";
    }
  }
}

TEST_F(FdcstatRun, TheReportReplacesThePreviousOneThroughALink) {
  namespace fs = std::filesystem;
  fs::create_directory(dir_.File("reports"));
  const std::string target = dir_.File("reports/health.json");
  test::WriteText(target, "the previous report\n");
  fs::create_symlink("reports/health.json", dir_.File("link.json"));
  const Outcome outcome =
      Fdcstat({"--format", "json", "--output", dir_.File("link.json"), Capture()});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_TRUE(fs::is_symlink(dir_.File("link.json")));
  EXPECT_EQ(json::parse(test::ReadText(target))["run"]["records"], 2);
  EXPECT_FALSE(fs::exists(target + ".tmp"));
  EXPECT_FALSE(fs::exists(dir_.File("link.json.tmp")));
}

}  // namespace
}  // namespace fdc
