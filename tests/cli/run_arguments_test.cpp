// What fdcdump, fdcstat and fdc2pcapng share in their arguments: the output that may reach no
// file of the run by any path, and "--" before a capture name that starts with "-".
#include "cli/run_arguments.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "cli/fdc2pcapng_command.h"
#include "cli/fdcdump_command.h"
#include "cli/fdcstat_command.h"
#include "tests/support/test_support.h"

namespace fdc {
namespace {

namespace fs = std::filesystem;

struct Program {
  std::string name;
  test::CommandMain main;
};

std::vector<Program> Programs() {
  return {{"fdcdump", RunFdcdump},
          {"fdcstat", [](const std::vector<std::string>& a, std::FILE* out,
                         std::FILE* err) { return RunFdcstat(a, out, err); }},
          {"fdc2pcapng", RunFdc2pcapng}};
}

TEST(RunArguments, NoProgramWritesToAFileOfTheRunThroughLinks) {
  test::TempDir dir;
  test::WriteRun(dir, {test::CaptureBytes().Record(0, {0xe5}), test::CaptureBytes()}, 12, 0);
  fs::create_directory_symlink(".", dir.File("alias"));
  fs::create_symlink("cap1202.FdcCapt", dir.File("future"));  // the third minute, not written yet
  fs::create_symlink("loop", dir.File("loop"));
  const std::string overwrite =
      "The output file would overwrite the input file " + dir.File("cap1202.FdcCapt");
  const struct {
    std::string output;
    std::string err;
  } cases[] = {
      {dir.File("alias/cap1202.FdcCapt"), overwrite},
      {dir.File("future"), overwrite},
      {dir.File("loop"), "Unable to Open Output File " + dir.File("loop")},
  };
  for (const Program& program : Programs()) {
    for (const auto& c : cases) {
      const test::CommandOutcome outcome = test::RunCommand(
          program.main, {"--minutes", "3", "--output", c.output, dir.File("cap1200.FdcCapt")});
      EXPECT_EQ(outcome.status, 2) << program.name << " " << c.output;
      EXPECT_EQ(outcome.err, program.name + ": " + c.err + "\n") << c.output;
    }
  }
  EXPECT_FALSE(fs::exists(dir.File("cap1202.FdcCapt")));
}

TEST(RunArguments, DoubleDashEndsTheOptions) {
  for (const Program& program : Programs()) {
    SCOPED_TRACE(program.name);
    // The name reaches the reader, which finds no such file.
    const test::CommandOutcome file =
        test::RunCommand(program.main, {"--minutes", "2", "--", "-x1200.FdcCapt"});
    EXPECT_EQ(file.status, 1);
    EXPECT_EQ(file.err, "Unable to Open Input File -x1200.FdcCapt\n");
    const test::CommandOutcome option = test::RunCommand(program.main, {"-x1200.FdcCapt"});
    EXPECT_EQ(option.status, 2);
    EXPECT_EQ(option.err.rfind(program.name + ": unknown option '-x1200.FdcCapt'\n", 0), 0u);
    // After "--" an option is a name too; a second name is refused as before.
    const test::CommandOutcome two = test::RunCommand(program.main, {"--", "a1200.FdcCapt", "--"});
    EXPECT_EQ(two.status, 2);
    EXPECT_EQ(two.err.rfind(program.name + ": more than one capture file given\n", 0), 0u);
  }
}

// Names as Windows users type them: a drive letter or a share, backslashes, blanks, and the
// extension in the letter case given, which the run's other files take too.
TEST(RunArguments, WindowsNamesPlanTheRunAndItsOutput) {
  const struct {
    const char* capture;
    const char* option;
    const char* outputExtension;
    const char* second;  // the run's second file
    const char* output;
  } cases[] = {
      {"C:\\Daten\\Linie 1\\Line11159.FdcCapt", "C:\\Opt\\Errors.opt", ".txt",
       "C:\\Daten\\Linie 1\\Line11200.FdcCapt", "C:\\Daten\\Linie 1\\Line11159_Errors.txt"},
      {"\\\\srv\\Messungen\\Line12359.fdccapt", "", ".pcapng",
       "\\\\srv\\Messungen\\Line10000.fdccapt", "\\\\srv\\Messungen\\Line12359_.pcapng"},
      {"D:/Daten/A0959.FDCCAPT", "D:/Opt/x.y/ORV.opt", ".txt", "D:/Daten/A1000.FDCCAPT",
       "D:/Daten/A0959_ORV.txt"},
  };
  const CommandSyntax syntax{"fdcdump", "", {}};
  for (const auto& c : cases) {
    RunArguments arguments;
    arguments.captureFile = c.capture;
    arguments.optionFile = c.option;
    arguments.minutes = "2";
    DumpRequest request;
    ASSERT_EQ(PlanRequest(syntax, arguments, c.outputExtension, request, stderr), std::nullopt);
    EXPECT_EQ(request.Run.FirstName(), c.capture);
    std::uint32_t hour = request.Run.hour;
    std::uint32_t minute = request.Run.minute;
    AdvanceMinute(hour, minute);
    EXPECT_EQ(CaptureFileName(request.Run.base, hour, minute, request.Run.extension), c.second);
    EXPECT_EQ(request.OutputPath, c.output);
    EXPECT_EQ(InputNamedBy(request, c.second), c.second) << "the output may not be an input";
  }
}

}  // namespace
}  // namespace fdc
