// The golden runs: every case of tests/golden/cases.txt is dumped as fdcdump dumps it and compared
// byte for byte with the expected dump, exit status and message.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
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

fs::path SourceDir() {
  const char* dir = std::getenv("FDC_SOURCE_DIR");
  return dir != nullptr ? fs::path(dir) : fs::current_path();
}

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

TEST(GoldenRuns, EveryCaseWritesItsExpectedDump) {
  const std::vector<GoldenCase> cases = ReadCases();
  ASSERT_GE(cases.size(), 50u) << "tests/golden/cases.txt not found under " << SourceDir();
  const fs::path previous = fs::current_path();
  fs::current_path(SourceDir());
  test::TempDir scratch;
  for (const GoldenCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string output = scratch.File(c.name + ".txt");
    std::vector<std::string> args = {"--quiet", "--output", output};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const test::CommandOutcome run = test::RunCommand(RunCommandLine, args);
    const std::string result = "exit " + std::to_string(run.status) + "\n" + run.err;

    const fs::path expected = SourceDir() / "tests/golden/expected" / c.name;
    EXPECT_EQ(result, test::ReadText(expected.string() + ".result"));
    const bool dumpExpected = fs::exists(expected.string() + ".dump");
    ASSERT_EQ(fs::exists(output), dumpExpected);
    if (!dumpExpected) continue;
    const std::string want = test::ReadText(expected.string() + ".dump");
    const std::string got = test::ReadText(output);
    if (want != got) ADD_FAILURE() << "the dump differs at " << FirstDifference(want, got);
  }
  fs::current_path(previous);
}

}  // namespace
}  // namespace fdc
