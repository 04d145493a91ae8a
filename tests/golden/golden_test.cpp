// The golden runs: every case of tests/golden/cases.txt is dumped as fdcdump dumps it and compared
// byte for byte with the expected dump, exit status and message; each case is a test of its own.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "tests/support/test_support.h"

namespace fdc {
namespace {

namespace fs = std::filesystem;

struct GoldenCase {
  std::string name;
  std::vector<std::string> args;
};

// What gtest prints of a case when it fails: the command line it stands for.
void PrintTo(const GoldenCase& c, std::ostream* out) {
  *out << c.name << ":";
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

TEST_P(GoldenRun, WritesItsExpectedDump) {
  const GoldenCase& c = GetParam();
  // The arguments name files from the repository root, as the dumps show them.
  const fs::path previous = fs::current_path();
  fs::current_path(SourceDir());
  test::TempDir scratch;
  const std::string output = scratch.File(c.name + ".txt");
  std::vector<std::string> args = {"--quiet", "--output", output};
  args.insert(args.end(), c.args.begin(), c.args.end());
  const test::CommandOutcome run = test::RunCommand(RunCommandLine, args);
  fs::current_path(previous);
  const std::string result = "exit " + std::to_string(run.status) + "\n" + run.err;

  const fs::path expected = SourceDir() / "tests/golden/expected" / c.name;
  EXPECT_EQ(result, test::ReadText(expected.string() + ".result"));
  const bool dumpExpected = fs::exists(expected.string() + ".dump");
  ASSERT_EQ(fs::exists(output), dumpExpected);
  if (!dumpExpected) return;
  const std::string want = test::ReadText(expected.string() + ".dump");
  const std::string got = test::ReadText(output);
  if (want != got) ADD_FAILURE() << "the dump differs at " << FirstDifference(want, got);
}

INSTANTIATE_TEST_SUITE_P(Cases, GoldenRun, testing::ValuesIn(ReadCases()), TestName);

}  // namespace
}  // namespace fdc
