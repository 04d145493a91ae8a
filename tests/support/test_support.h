// Shared helpers for the tests: temporary folders, file contents, and a dump run to a string.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "engine/dump_run.h"

namespace fdc::test {

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

std::string ReadText(const std::string& path);
void WriteText(const std::string& path, const std::string& text);

// The bytes of one capture file: header, then records appended by the caller.
struct CaptureBytes {
  explicit CaptureBytes(std::uint16_t baudCode = 1, std::uint32_t ip = 0xC0A80005,
                        const std::string& name = "TestModule");
  CaptureBytes& Record(std::uint64_t timestamp, const std::vector<std::uint8_t>& frame,
                       std::uint8_t status = 0);
  CaptureBytes& Raw(const std::vector<std::uint8_t>& bytes);
  std::vector<std::uint8_t> bytes;
};

// Writes the files as a run <dir>/capHHMM.FdcCapt from the start time on.
void WriteRun(const TempDir& dir, const std::vector<CaptureBytes>& files, unsigned hour = 12,
              unsigned minute = 0);

// Runs a dump of such a run with the given option file text (none when empty) and returns the
// dump's text; `result` receives the run's message (empty on success).
struct DumpOutcome {
  bool ok = false;
  std::string error;
  std::string dump;
  DumpSummary summary;
};
DumpOutcome RunDump(const TempDir& dir, unsigned numMin, const std::string& optionText = "",
                    std::uint32_t startRef = 0, std::uint32_t endRef = 0xFFFFFFFFu,
                    std::array<std::int32_t, 4> cmdArgs = {}, unsigned hour = 12,
                    unsigned minute = 0);

// What a command's main function returned and wrote to its standard output and error.
struct CommandOutcome {
  int status = 0;
  std::string out;
  std::string err;
};
using CommandMain = std::function<int(const std::vector<std::string>&, std::FILE*, std::FILE*)>;
CommandOutcome RunCommand(const CommandMain& command, const std::vector<std::string>& args);

// While it lives, no file of the process may grow beyond `bytes` (RLIMIT_FSIZE), and a write
// beyond fails as on a full disk instead of raising SIGXFSZ. Both come back afterwards.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(std::uint64_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  std::uint64_t previousLimit_ = 0;
  void (*previousHandler_)(int) = nullptr;
};

}  // namespace fdc::test

#include <functional>

#include "common/dump_writer.h"
#include "options/options.h"

namespace fdc::test {

// What the writer calls produce in a dump file.
std::string Render(const std::function<void(DumpWriter&)>& write);

// Options with the given keyword lines applied ("NoRef", "TmeAbs ms.us", ...).
DumpOptions OptionsFrom(const std::vector<std::string>& lines);

}  // namespace fdc::test
