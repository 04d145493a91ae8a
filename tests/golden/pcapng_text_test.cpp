// The text of an export, which the golden files hold in place of its bytes, must tell every byte.
#include "tests/support/pcapng_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "cli/fdc2pcapng_command.h"
#include "common/version.h"
#include "tests/support/test_support.h"

namespace fdc {
namespace {

TEST(PcapngText, EveryByteChangesTheText) {
  // The first records of a run: every kind of block and option the export writes (a comment on
  // the first packet), and few enough bytes to read the file once for each of them.
  const test::CommandOutcome out = test::RunCommand(
      RunFdc2pcapng, {"--quiet", "--end-ref", "12", "--output", "-",
                         FDC_SOURCE_DIR "/tests/golden/runs/nobaud/Bus1000.FdcCapt"});
  ASSERT_EQ(out.status, 0) << out.err;
  const std::string& bytes = out.out;
  const std::string text = test::PcapngText(bytes, kVersion);
  ASSERT_EQ(std::count(text.begin(), text.end(), '\n'), 14) << text;
  int unchanged = 0;
  for (std::size_t at = 0; at < bytes.size() && unchanged < 10; ++at) {
    std::string changed = bytes;
    changed[at] = static_cast<char>(changed[at] ^ 1);
    if (test::PcapngText(changed, kVersion) == text) {
      ADD_FAILURE() << "a change of byte " << at << " leaves the text as it is";
      ++unchanged;
    }
  }
  // Whatever stands after the last whole block shows too.
  EXPECT_NE(test::PcapngText(bytes + std::string(1, '\0'), kVersion), text);
  EXPECT_NE(test::PcapngText(bytes.substr(0, bytes.size() - 1), kVersion), text);
}

}  // namespace
}  // namespace fdc
