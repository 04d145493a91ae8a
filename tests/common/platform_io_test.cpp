// The platform calls' portable side, and the Windows long-path forms that are plain text.
#include "common/platform_io.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "tests/support/test_support.h"

namespace fdc {
namespace {

TEST(ExtendedLengthPath, TakesDrivesAndSharesPastTheLimit) {
  const struct {
    const char* path;
    const char* extended;
  } cases[] = {
      {"C:\\Daten\\Linie 1\\Line11159.FdcCapt", "\\\\?\\C:\\Daten\\Linie 1\\Line11159.FdcCapt"},
      {"d:/Daten/Line11159.FdcCapt", "\\\\?\\d:\\Daten\\Line11159.FdcCapt"},
      {"\\\\srv\\share\\Line11159.FdcCapt", "\\\\?\\UNC\\srv\\share\\Line11159.FdcCapt"},
      {"//srv/share/x", "\\\\?\\UNC\\srv\\share\\x"},
      {"\\\\?\\C:\\x", "\\\\?\\C:\\x"},  // already extended
      {"\\\\.\\COM1", "\\\\.\\COM1"},    // a device
      {"Daten\\x", "Daten\\x"},          // relative: the caller makes it absolute first
      {"C:x", "C:x"},                    // relative to the drive's folder
      {"/tmp/x", "/tmp/x"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ExtendedLengthPath<char>(c.path), c.extended) << c.path;
    // Back to the name as written, where the form changed nothing else.
    const bool changed = std::string_view(c.path) != c.extended;
    if (changed && std::string_view(c.path).find('/') == std::string_view::npos) {
      EXPECT_EQ(WithoutExtendedPrefix<char>(c.extended), c.path);
    }
  }
}

TEST(PlatformIo, OpensByUtf8NamesAndCreatesOnlyAnew) {
  test::TempDir dir;
  const std::string name = dir.File("L\xc3\xadnea \xe6\x97\xa5.txt");
  EXPECT_EQ(Utf8Path(PathFromUtf8(name)), name);
  std::FILE* created = OpenFile(name, "wbx");
  ASSERT_NE(created, nullptr);
  EXPECT_FALSE(IsTerminal(created));
  SetBinaryMode(created);
  std::fputs("a\r\nb\n", created);
  std::fclose(created);
  EXPECT_EQ(OpenFile(name, "wbx"), nullptr) << "the name exists";
  EXPECT_EQ(test::ReadText(name), "a\r\nb\n");

  char program[] = "fdcdump";
  char argument[] = "C:\\Daten\\Linie 1\\Line11159.FdcCapt";
  ArgChar* argv[] = {program, argument};
  EXPECT_EQ(ProgramArguments(2, argv), std::vector<std::string>{argument});
}

}  // namespace
}  // namespace fdc
