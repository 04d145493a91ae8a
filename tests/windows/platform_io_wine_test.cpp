// The Windows side of the platform calls, under Wine: UTF-16 arguments and names to UTF-8 and
// back, files opened by names beyond the code page and beyond 260 characters, the exclusive
// create. (The programs' own runs under such names are scripts/windows_runs.py's.) Exit status 0
// when every check holds, 1 with the failed checks listed.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "capture/capture_file.h"
#include "common/platform_io.h"
#include "engine/dump_request_rules.h"

namespace fdc {
namespace {

namespace fs = std::filesystem;

int failures = 0;

void Check(bool holds, const std::string& what) {
  if (holds) return;
  ++failures;
  std::fprintf(stderr, "FAILED: %s\n", what.c_str());
}

fs::path Sys(const std::string& name) { return SystemPath(PathFromUtf8(name)); }

// Writes `text` and reads it back.
bool RoundTrip(const std::string& name, const std::string& text) {
  std::FILE* file = OpenFile(name, "wb");
  if (file == nullptr) return false;
  std::fputs(text.c_str(), file);
  std::fclose(file);
  std::string read(text.size() + 1, '\0');
  file = OpenFile(name, "rb");
  if (file == nullptr) return false;
  read.resize(std::fread(read.data(), 1, read.size(), file));
  std::fclose(file);
  return read == text;
}

void CheckNames(const std::string& folder) {
  // "Línea ü 日本": Latin-1, and beyond it.
  const std::string name = "L\xc3\xadnea \xc3\xbc \xe6\x97\xa5\xe6\x9c\xac";
  std::wstring wide = L"L\u00ednea \u00fc \u65e5\u672c";
  wchar_t program[] = L"fdcdump.exe";
  wchar_t* argv[] = {program, wide.data()};
  Check(ProgramArguments(2, argv) == std::vector<std::string>{name}, "the arguments in UTF-8");
  Check(PathFromUtf8(name).native() == wide && Utf8Path(fs::path(wide)) == name,
        "UTF-8 to UTF-16 and back");
  Check(Sys("NUL").native() == L"NUL", "a short name as written: NUL stays the device");

  const std::string file = folder + "\\" + name + ".FdcCapt";
  Check(RoundTrip(file, "a\nb\n"), "a file by a UTF-8 name, its bytes as written");
  Check(fs::exists(fs::path(L"C:\\wine-platform-test\\" + wide + L".FdcCapt")), "its UTF-16 name");
  CaptureFile capture;
  Check(capture.Open(file) && capture.Size() == 4, "a capture file by a UTF-8 name");
  std::FILE* created = OpenFile(folder + "\\created", "wbx");
  Check(created != nullptr, "wbx creates a file");
  if (created != nullptr) std::fclose(created);
  Check(OpenFile(folder + "\\created", "wbx") == nullptr, "wbx refuses an existing name");
}

// Deeper than MAX_PATH: only the "\\?\" form reaches it on Windows (Wine takes either).
void CheckLongPaths(const std::string& folder) {
  std::string deep = folder;
  std::error_code error;
  while (deep.size() <= kMaxShortPath + 20 && !error) {
    deep += "\\" + std::string(40, 'd');
    fs::create_directory(Sys(deep), error);  // create_directories takes the "\\?\" form apart
  }
  Check(!error, "folders beyond 260 characters: " + error.message());
  const std::string file = deep + "\\Line11159.FdcCapt";
  Check(Sys(file).native().rfind(L"\\\\?\\C:\\", 0) == 0, "a long name takes the \\\\?\\ form");
  Check(Utf8Path(Sys(file)) == file, "and comes back without it");
  Check(RoundTrip(file, "long"), "a file beyond 260 characters");
  DumpRequest request;
  request.Run = {deep + "\\Line1", ".FdcCapt", 11, 59, 2};
  Check(
      InputNamedBy(request, deep + "\\sub\\..\\LINE11200.fdccapt") == deep + "\\Line11200.FdcCapt",
      "a long output in other letters reaches the run's second file");
}

}  // namespace
}  // namespace fdc

int wmain() {
  const std::string folder = "C:\\wine-platform-test";
  // Removed through the long form, which reaches the folders beyond 260 characters in it too.
  const std::filesystem::path all(fdc::ExtendedLengthPath<wchar_t>(L"C:\\wine-platform-test"));
  std::error_code error;
  std::filesystem::remove_all(all, error);
  std::filesystem::create_directory(all, error);
  fdc::CheckNames(folder);
  fdc::CheckLongPaths(folder);
  std::filesystem::remove_all(all, error);
  std::printf("platform_io_wine_test: %d failed\n", fdc::failures);
  return fdc::failures == 0 ? 0 : 1;
}
