// Damage that a synchronisation search cannot get past, header-only minutes, and files that are
// not plain files: the run goes on with the next minute file wherever one follows.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace fdc {
namespace {

using test::CaptureBytes;
using test::RunDump;
using test::TempDir;
using test::WriteRun;

const std::vector<std::uint8_t> kToken = {0xdc, 0x02, 0x01};

std::string HeaderBlock(const TempDir& dir, const std::string& hhmm) {
  return "File      : " + dir.File("cap") + hhmm +
         ".FdcCapt\nTELO Name : TestModule\nTELO IP   : 192.168.0.5\nBaud      : 12M\n"
         "Opt File  : \n\n";
}

std::string Tokens(unsigned first, unsigned last) {
  std::string lines;
  for (unsigned n = first; n <= last; ++n) {
    char text[32];
    std::snprintf(text, sizeof text, "%9u:  SD4   2<1   \n", n);
    lines += text;
  }
  return lines;
}

CaptureBytes TokenFile(std::uint64_t start, unsigned count) {
  CaptureBytes file;
  for (std::uint64_t i = 0; i < count; ++i) file.Record(start + i * 100, kToken);
  return file;
}
CaptureBytes FiveTokens(std::uint64_t start) { return TokenFile(start, 5); }
// The search at the start of a file trusts a mark once 100 record lengths lead on from it, so
// damage that should be met by a loss of synchronisation stands after 100 records.
CaptureBytes HundredTokens(std::uint64_t start) { return TokenFile(start, 100); }

const std::string kNotFound = "Capture File Sync Error: SYNC_MARK not found\n";

TEST(DamagedRun, AFailedSearchLeavesTheFileAndTheRunGoesOn) {
  struct Case {
    const char* name;
    std::vector<std::uint8_t> damage;  // appended to the first of two files
    std::vector<CaptureBytes> after;   // records after the damage, in the same file
    std::string lossLines;             // what precedes the search's message
  };
  const std::string lost =
      "**** Synchronization Lost ****\n"
      "      100: Ofs=4d8 Mark=00\n"
      "           PrvLen=03 PrvTme=000026ac 00000000\n";
  const Case cases[] = {
      {"eight zero bytes end the file", std::vector<std::uint8_t>(8, 0), {}, lost},
      {"a 4 KiB block of zeros, records behind it",
       std::vector<std::uint8_t>(4096, 0),
       {FiveTokens(900)},
       lost},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    CaptureBytes first = HundredTokens(0);
    first.Raw(c.damage);
    for (const CaptureBytes& more : c.after) first.Raw({more.bytes.begin() + 40, more.bytes.end()});
    WriteRun(dir, {first, FiveTokens(50000)});
    auto run = RunDump(dir, 2);
    ASSERT_TRUE(run.ok) << run.error;
    EXPECT_EQ(run.dump, HeaderBlock(dir, "1200") + Tokens(1, 100) + c.lossLines + kNotFound +
                            HeaderBlock(dir, "1201") + Tokens(101, 105) +
                            "\nEnd of Capture Data\n");
    EXPECT_EQ(run.summary.syncLosses, 1u);
    EXPECT_EQ(run.summary.filesCutShort, 1u);
    EXPECT_EQ(run.summary.records, 105u);
  }
}

TEST(DamagedRun, ASearchThatFailsAtTheStartGoesOnWithTheNextFile) {
  TempDir dir;
  CaptureBytes garbage;
  garbage.Raw(std::vector<std::uint8_t>(300, 0x55));
  WriteRun(dir, {garbage, CaptureBytes(), FiveTokens(0)});
  auto run = RunDump(dir, 3);
  ASSERT_TRUE(run.ok) << run.error;
  // The header-only middle minute is passed over like the end of any file.
  EXPECT_EQ(run.dump, HeaderBlock(dir, "1200") + kNotFound + HeaderBlock(dir, "1201") +
                          HeaderBlock(dir, "1202") + Tokens(1, 5) + "\nEnd of Capture Data\n");
  EXPECT_EQ(run.summary.syncLosses, 0u);
  EXPECT_EQ(run.summary.filesCutShort, 1u);
}

TEST(DamagedRun, TheNextFilesFirstHeaderIsCheckedAsAtTheEndOfAFile) {
  // After a failed search, the next file is read from offset 40; a damaged start there is a loss
  // of synchronisation of its own, found again in that file.
  TempDir dir;
  CaptureBytes first = HundredTokens(0);
  first.Raw(std::vector<std::uint8_t>(8, 0));
  CaptureBytes second;
  second.Raw({0x00, 0x00});
  const CaptureBytes tokens = FiveTokens(50000);
  second.Raw({tokens.bytes.begin() + 40, tokens.bytes.end()});
  WriteRun(dir, {first, second});
  auto run = RunDump(dir, 2);
  ASSERT_TRUE(run.ok) << run.error;
  EXPECT_NE(run.dump.find(kNotFound + HeaderBlock(dir, "1201") +
                          "**** Synchronization Lost ****\n      100: Ofs=28 Mark=00\n"),
            std::string::npos)
      << run.dump;
  EXPECT_NE(run.dump.find(Tokens(101, 105) + "\nEnd of Capture Data\n"), std::string::npos);
  EXPECT_EQ(run.summary.syncLosses, 2u);
}

TEST(DamagedRun, InTheLastFileAFailedSearchStillEndsTheRun) {
  TempDir dir;
  CaptureBytes last = HundredTokens(5000);
  last.Raw(std::vector<std::uint8_t>(8, 0));
  WriteRun(dir, {FiveTokens(0), last});
  auto run = RunDump(dir, 2);
  EXPECT_EQ(run.error, "Capture File Sync Error: SYNC_MARK not found");
  EXPECT_EQ(run.dump.find("End of Capture Data"), std::string::npos);
  EXPECT_NE(run.dump.find("**** Synchronization Lost ****"), std::string::npos);
  // The message is the run's, not a line of the dump.
  EXPECT_EQ(run.dump.find("SYNC_MARK"), std::string::npos);
}

TEST(DamagedRun, ARecordCanSpanAHeaderOnlyMinute) {
  // The first bytes of a record end one file, the next minute holds its header alone, and the
  // rest follows the header of the minute after.
  TempDir dir;
  CaptureBytes whole;
  whole.Record(700, kToken);
  CaptureBytes first = FiveTokens(0);
  first.Raw({whole.bytes.begin() + 40, whole.bytes.begin() + 44});
  CaptureBytes third;
  third.Raw({whole.bytes.begin() + 44, whole.bytes.end()});
  WriteRun(dir, {first, CaptureBytes(), third});
  auto run = RunDump(dir, 3);
  ASSERT_TRUE(run.ok) << run.error;
  EXPECT_EQ(run.dump, HeaderBlock(dir, "1200") + Tokens(1, 5) + HeaderBlock(dir, "1201") +
                          HeaderBlock(dir, "1202") + Tokens(6, 6) + "\nEnd of Capture Data\n");
}

TEST(DamagedRun, FilesThatAreNotPlainFilesAreRefusedAtOnce) {
  struct Case {
    const char* name;
    bool asOption;  // else as the first capture file
    void (*make)(const std::string& path);
  };
  const Case cases[] = {
      {"a pipe as capture file", false, [](const std::string& p) { ::mkfifo(p.c_str(), 0600); }},
      {"a folder as capture file", false,
       [](const std::string& p) { std::filesystem::create_directory(p); }},
      {"a device as capture file", false,
       [](const std::string& p) { std::filesystem::create_symlink("/dev/zero", p); }},
      {"a pipe as option file", true, [](const std::string& p) { ::mkfifo(p.c_str(), 0600); }},
      {"a device as option file", true,
       [](const std::string& p) { std::filesystem::create_symlink("/dev/zero", p); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    DumpRequest request;
    request.Run.base = dir.File("cap");
    request.OutputPath = dir.File("dump.txt");
    request.Run.hour = 12;
    if (c.asOption) {
      WriteRun(dir, {FiveTokens(0)});
      request.OptionPath = dir.File("odd.opt");
      c.make(request.OptionPath);
    } else {
      c.make(dir.File("cap1200.FdcCapt"));
    }
    Result result = DumpRun(request, nullptr);
    EXPECT_EQ(result.ErrorText(), c.asOption
                                      ? "Unable to Open Option File " + request.OptionPath
                                      : "Unable to Open Input File " + dir.File("cap1200.FdcCapt"));
    EXPECT_FALSE(std::filesystem::exists(request.OutputPath));
  }
}

TEST(DamagedRun, AnUnopenableFirstFileLeavesTheOutputAsItWas) {
  struct Case {
    const char* name;
    const char* option;  // option file text; empty: none
    const char* error;
  };
  const Case cases[] = {
      {"missing first file", "", "Unable to Open Input File "},
      {"the option file's error comes first", "Bogus\n", "Invalid Option Argument 'Bogus'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    test::WriteText(dir.File("dump.txt"), "an earlier dump\n");
    auto run = RunDump(dir, 1, c.option);  // no capture file at all
    EXPECT_EQ(run.error.rfind(c.error, 0), 0u) << run.error;
    EXPECT_EQ(run.dump, "an earlier dump\n");
  }
}

}  // namespace
}  // namespace fdc
