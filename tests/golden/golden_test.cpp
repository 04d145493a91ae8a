// The golden runs: every case of tests/golden/cases.txt runs fdcdump, fdcstat or fdc2pcapng as
// the command line does, and what it writes, its exit status and its message are compared byte
// for byte with the expected files; each case is a test of its own. With FDC_UPDATE_GOLDEN set
// the cases write the expected files instead (scripts/update-golden.sh).
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/fdcdump_command.h"
#include "cli/fdc2pcapng_command.h"
#include "cli/fdcstat_command.h"
#include "common/version.h"
#include "tests/support/pcapng_text.h"
#include "tests/support/test_support.h"

namespace fdc {
namespace {

namespace fs = std::filesystem;

struct Program {
  const char* name;
  int (*run)(const std::vector<std::string>&, std::FILE*, std::FILE*);
  bool quiet;             // takes --quiet
  const char* extension;  // of the expected output
};

const Program kPrograms[] = {
    {"fdcdump", RunFdcdump, true, ".dump"},
    {"fdcstat", RunFdcstat, false, ".stat"},
    {"fdc2pcapng", RunFdc2pcapng, true, ".pcapng.txt"},
};

struct GoldenCase {
  std::string name;
  const Program* program = nullptr;  // none for a word that names no program
  std::string programWord;
  std::vector<std::string> args;
};

// What gtest prints of a case when it fails: the command line it stands for.
void PrintTo(const GoldenCase& c, std::ostream* out) {
  *out << c.name << ": " << c.programWord;
  for (const std::string& arg : c.args) *out << " " << arg;
}

// Compiled in rather than taken from the environment: the cases are read when the program
// starts, also when CMake lists its tests, where no test environment is set.
fs::path SourceDir() { return FDC_SOURCE_DIR; }

std::vector<GoldenCase> ReadCases() {
  std::vector<GoldenCase> cases;
  std::ifstream in(SourceDir() / "tests/golden/cases.txt");
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    GoldenCase c;
    if (!(words >> c.name) || c.name[0] == '#') continue;
    words >> c.programWord;
    for (const Program& program : kPrograms) {
      if (c.programWord == program.name) c.program = &program;
    }
    for (std::string word; words >> word;) c.args.push_back(word);
    cases.push_back(std::move(c));
  }
  return cases;
}

// The first line where two texts part, for a readable failure.
std::string FirstDifference(const std::string& expected, const std::string& actual) {
  std::istringstream a(expected);
  std::istringstream b(actual);
  std::string la;
  std::string lb;
  for (int line = 1;; ++line) {
    const bool moreA = static_cast<bool>(std::getline(a, la));
    const bool moreB = static_cast<bool>(std::getline(b, lb));
    if (!moreA && !moreB) return "the texts differ only in their line ends";
    if (la != lb || moreA != moreB) {
      return "line " + std::to_string(line) + "\n  expected: " + (moreA ? la : "(end)") +
             "\n  actual:   " + (moreB ? lb : "(end)");
    }
  }
}

// A case's name as a test name, which takes letters, digits and '_' only.
std::string TestName(const testing::TestParamInfo<GoldenCase>& info) {
  std::string name = info.param.name;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

// An empty or missing table would make no test at all, and so pass.
TEST(GoldenRuns, TheCasesAreRead) {
  EXPECT_GE(ReadCases().size(), 50u) << "tests/golden/cases.txt not found under " << SourceDir();
}

class GoldenRun : public testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenRun, WritesItsExpectedOutput) {
  const GoldenCase& c = GetParam();
  ASSERT_NE(c.program, nullptr) << "no program " << c.programWord;
  // The arguments name files from the repository root, as the outputs show them.
  const fs::path previous = fs::current_path();
  fs::current_path(SourceDir());
  test::TempDir scratch;
  const std::string output = scratch.File(c.name + ".out");
  std::vector<std::string> args = {"--output", output};
  if (c.program->quiet) args.insert(args.begin(), "--quiet");
  args.insert(args.end(), c.args.begin(), c.args.end());
  const test::CommandOutcome run = test::RunCommand(c.program->run, args);
  fs::current_path(previous);
  EXPECT_EQ(run.out, "") << "the output went to a file";
  const std::string result = "exit " + std::to_string(run.status) + "\n" + run.err;
  const bool written = fs::exists(output);
  // An export is kept as text, which tells every byte of it and can be read in a diff.
  std::string got;
  if (written) {
    got = test::ReadText(output);
    if (c.program->run == RunFdc2pcapng) got = test::PcapngText(got, kVersion);
  }

  const std::string expected = (SourceDir() / "tests/golden/expected" / c.name).string();
  const std::string expectedOutput = expected + c.program->extension;
  if (std::getenv("FDC_UPDATE_GOLDEN") != nullptr) {
    test::WriteText(expected + ".result", result);
    fs::remove(expectedOutput);
    if (written) test::WriteText(expectedOutput, got);
    GTEST_SKIP() << "wrote the expected files";
  }
  EXPECT_EQ(result, test::ReadText(expected + ".result"));
  ASSERT_EQ(written, fs::exists(expectedOutput));
  if (!written) return;
  const std::string want = test::ReadText(expectedOutput);
  if (want != got) ADD_FAILURE() << "the output differs at " << FirstDifference(want, got);
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenRun, testing::ValuesIn(ReadCases()), TestName);

}  // namespace
}  // namespace fdc
