// Comparing resolved paths: letter case where the file system ignores it.
#include "common/file_paths.h"

#include <gtest/gtest.h>

namespace fdc {
namespace {

TEST(SamePlace, LetterCaseCountsOnlyWhereTheFileSystemKeepsIt) {
  const struct {
    const char* a;
    const char* b;
    bool caseBlind;
    bool same;
  } cases[] = {
      {"/d/Line11200.FdcCapt", "/d/line11200.fdccapt", true, true},
      {"/d/Line11200.FdcCapt", "/d/line11200.fdccapt", false, false},
      {"/d/a/../Line1.txt", "/D/LINE1.TXT", true, true},
      {"/d/Line1.txt", "/d/Line1.txt.tmp", true, false},
      {"/d/\xc3\xadnea", "/d/\xc3\x8dnea", true, false},  // beyond ASCII: left to the identity
      {"\\\\?\\C:\\d\\Line1.txt", "C:\\D\\LINE1.TXT", true, true},  // a long path's form
      {"\\\\?\\UNC\\srv\\s\\a.txt", "\\\\srv\\s\\a.txt", false, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SamePlace(c.a, c.b, c.caseBlind), c.same) << c.a << " " << c.b << " " << c.caseBlind;
  }
}

}  // namespace
}  // namespace fdc
