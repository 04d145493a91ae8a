// fdcdump: the dialog's checks in their order, exit statuses and the streams they write.
#include "cli/fdcdump_command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace fdc {
namespace {

const char* const kInvalidName =
    "Invalid Capture File Name\nIt must be in the following form:\n<name>HHMM.FdcCapt\nNote:\n"
    "<name> is the user defined portion of the name\nHH is the hour   the file was created\n"
    "MM is the minute the file was created\n";

using Outcome = test::CommandOutcome;

Outcome Fdcdump(const std::vector<std::string>& args) { return test::RunCommand(RunFdcdump, args); }

TEST(CommandLine, RefusesWhatTheDialogRefuses) {
  struct Case {
    std::vector<std::string> args;
    const char* err;
  };
  const Case cases[] = {
      {{"--end-ref", "x", "--minutes", "0", "a1200.FdcCapt"}, "Please enter a positive integer.\n"},
      {{"--minutes", "0", "--start-ref", "x", "a1200.FdcCapt"},
       "Please enter an integer between 1 and 1439.\n"},
      {{"--minutes", "1440", "a1200.FdcCapt"}, "Please enter an integer between 1 and 1439.\n"},
      {{"--minutes", "-1", "a1200.FdcCapt"}, "Please enter an integer between 1 and 1439.\n"},
      {{"--minutes", "", "a1200.FdcCapt"}, "Please enter a positive integer.\n"},
      {{"--start-ref", "abc", "bad.txt"}, "Please enter a positive integer.\n"},
      {{"--start-ref", "4294967297", "a1200.FdcCapt"}, "Please enter a positive integer.\n"},
      {{"--end-ref", "-4294967296", "a1200.FdcCapt"}, "Please enter a positive integer.\n"},
      {{"--minutes", "4294967297", "a1200.FdcCapt"},
       "Please enter an integer between 1 and 1439.\n"},
      {{"bad.txt"}, kInvalidName},
      {{"abcd.FdcCapt"}, kInvalidName},
      {{"1260.FdcCapt"}, "Invalid Capture File Name Minute (00-59)\n"},
      {{"--arg", "1", "--arg", "2", "--arg", "3", "--arg", "4", "--arg", "5", "a1200.FdcCapt"},
       "At most four --arg values\n"},
  };
  for (const Case& c : cases) {
    Outcome outcome = Fdcdump(c.args);
    EXPECT_EQ(outcome.status, 2) << c.args.front();
    EXPECT_EQ(outcome.err, c.err) << c.args.front();
    EXPECT_EQ(outcome.out, "") << c.args.front();
  }
}

TEST(CommandLine, UsageErrors) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"--bogus", "a1200.FdcCapt"}, {"--opt"}}) {
    Outcome outcome = Fdcdump(args);
    EXPECT_EQ(outcome.status, 2);
    EXPECT_NE(outcome.err.find("Usage: fdcdump"), std::string::npos);
  }
  Outcome help = Fdcdump({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: fdcdump"), std::string::npos);
}

TEST(CommandLine, DumpsAndReports) {
  test::TempDir dir;
  test::WriteRun(dir, {test::CaptureBytes().Record(0, {0xe5})}, 14, 30);
  const std::string capture = dir.File("cap1430.FdcCapt");
  test::WriteText(dir.File("View.opt"), "NoRef\n");

  Outcome outcome = Fdcdump({"--quiet", "--opt", dir.File("View.opt"), capture});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "");
  const std::string dump = test::ReadText(dir.File("cap1430_View.txt"));
  EXPECT_NE(dump.find("\n SC          SHAK \n"), std::string::npos) << dump;

  Outcome loud = Fdcdump({"--output=" + dir.File("out.txt"), capture});
  EXPECT_EQ(loud.status, 0);
  EXPECT_EQ(loud.out, dir.File("out.txt") + " Created\n");

  Outcome missing = Fdcdump({"--minutes", "2", "--output", dir.File("o.txt"), capture});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "Unable to Open Input File " + dir.File("cap1431.FdcCapt") + "\n");

  Outcome overwrite = Fdcdump({"--output", capture, capture});
  EXPECT_EQ(overwrite.status, 2);
  EXPECT_EQ(overwrite.err,
            "fdcdump: The output file would overwrite the input file " + capture + "\n");
  EXPECT_GT(test::ReadText(capture).size(), 40u);

  Outcome badOption = Fdcdump({"--opt", dir.File("none.opt"), capture});
  EXPECT_EQ(badOption.status, 1);
  EXPECT_EQ(badOption.err, "Unable to Open Option File " + dir.File("none.opt") + "\n");
}

TEST(CommandLine, DumpsToTheStandardOutput) {
  test::TempDir dir;
  test::WriteRun(dir, {test::CaptureBytes().Record(0, {0xe5})}, 14, 30);
  const std::string capture = dir.File("cap1430.FdcCapt");
  ASSERT_EQ(Fdcdump({"--quiet", "--output", dir.File("dump.txt"), capture}).status, 0);

  // The dump alone: no progress and no "Created" line, and no file named "-".
  const Outcome outcome = Fdcdump({"--output", "-", capture});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.err, "");
  EXPECT_EQ(outcome.out, test::ReadText(dir.File("dump.txt")));
  EXPECT_FALSE(std::filesystem::exists("-"));

  std::FILE* full = std::fopen("/dev/full", "w");
  if (full == nullptr) GTEST_SKIP() << "no /dev/full here";
  std::FILE* err = std::tmpfile();
  ASSERT_NE(err, nullptr);
  EXPECT_EQ(RunFdcdump({"--output", "-", capture}, full, err), 1);
  std::fclose(full);
  std::rewind(err);
  char line[200] = {};
  ASSERT_NE(std::fgets(line, sizeof line, err), nullptr);
  EXPECT_STREQ(line, "Unable to Write Output Text File (standard output)\n");
  std::fclose(err);
}

}  // namespace
}  // namespace fdc
