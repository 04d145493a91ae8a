// The Windows and the POSIX side of the platform calls.
#include "common/platform_io.h"

#include <cstring>
#include <system_error>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fdc {

namespace fs = std::filesystem;

#if defined(_WIN32)

namespace {

// Unpaired surrogates and broken sequences become U+FFFD rather than failing: a name that can't
// be converted is reported by the open that fails, with the rest of it readable.
std::string Utf8Of(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int bytes =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, utf8.data(), bytes, nullptr, nullptr);
  return utf8;
}

std::wstring WideOf(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  const int chars = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(chars), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), chars);
  return wide;
}

}  // namespace

std::vector<std::string> ProgramArguments(int argc, ArgChar** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Utf8Of(argv[i]));
  return args;
}

fs::path PathFromUtf8(std::string_view name) { return fs::path(WideOf(name)); }

fs::path SystemPath(const fs::path& path) {
  std::error_code error;
  // A short name stays as written: "NUL" and "CON" keep meaning the devices.
  const fs::path absolute = fs::absolute(path, error);
  if (error || absolute.native().size() <= kMaxShortPath) return path;
  return fs::path(ExtendedLengthPath<wchar_t>(absolute.lexically_normal().native()));
}

std::string Utf8Path(const fs::path& path) {
  return Utf8Of(WithoutExtendedPrefix<wchar_t>(path.native()));
}

std::FILE* OpenSystemFile(const fs::path& path, const char* mode) {
  if (std::strcmp(mode, "wbx") == 0) {
    // The runtime's fopen takes no "x": the exclusive create of the file itself, then its stream.
    const int fd =
        _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* file = _fdopen(fd, "wb");
    if (file == nullptr) _close(fd);
    return file;
  }
  const std::wstring wideMode(mode, mode + std::strlen(mode));
  return _wfopen(path.c_str(), wideMode.c_str());
}

void SetBinaryMode(std::FILE* stream) { _setmode(_fileno(stream), _O_BINARY); }

bool IsTerminal(std::FILE* stream) { return _isatty(_fileno(stream)) != 0; }

#else

std::vector<std::string> ProgramArguments(int argc, ArgChar** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

// The bytes as they are: a POSIX name is bytes, UTF-8 by convention only.
fs::path PathFromUtf8(std::string_view name) { return fs::path(name); }

fs::path SystemPath(const fs::path& path) { return path; }

std::string Utf8Path(const fs::path& path) { return path.native(); }

std::FILE* OpenSystemFile(const fs::path& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

void SetBinaryMode(std::FILE*) {}

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

#endif

std::FILE* OpenFile(std::string_view name, const char* mode) {
  return OpenSystemFile(SystemPath(PathFromUtf8(name)), mode);
}

}  // namespace fdc
