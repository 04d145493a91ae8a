// Where Windows and the POSIX systems differ for the programs: the arguments' and the file names'
// encoding, opening files by name, the standard streams' mode. Everything else holds names as
// UTF-8 and leaves the system's own form to these calls.
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace fdc {

// The programs' entry point and its arguments' characters: on Windows wmain (linked with
// -municode), which has the arguments in UTF-16 whatever the code page; main elsewhere.
#if defined(_WIN32)
#define FDC_MAIN wmain
using ArgChar = wchar_t;
#else
#define FDC_MAIN main
using ArgChar = char;
#endif

// The arguments after the program's name, as UTF-8.
std::vector<std::string> ProgramArguments(int argc, ArgChar** argv);

// The path that a UTF-8 name stands for, as written: on Windows in UTF-16.
std::filesystem::path PathFromUtf8(std::string_view name);

// The path as the file calls take it. On Windows, when its absolute form is longer than
// kMaxShortPath characters, that form with the "\\?\" prefix: the one way past the limit without
// a registry setting. Only for the calls themselves: std::filesystem takes the prefix for a part
// of the path (absolute() and create_directories() go wrong with it).
std::filesystem::path SystemPath(const std::filesystem::path& path);

// A path as UTF-8, its own prefix ("\\?\") left out.
std::string Utf8Path(const std::filesystem::path& path);

// std::fopen by a UTF-8 name or a system path. Modes "rb", "wb", "ab" and "wbx" (created anew,
// failing when the name exists), which the Windows runtime doesn't know as such.
std::FILE* OpenFile(std::string_view name, const char* mode);
std::FILE* OpenSystemFile(const std::filesystem::path& path, const char* mode);

// The stream writes its bytes as they are: Windows would turn each "\n" of a text-mode stream
// into CR LF, and CR LF into CR CR LF.
void SetBinaryMode(std::FILE* stream);

bool IsTerminal(std::FILE* stream);

// Windows' MAX_PATH less its terminating null: the longest path the file calls take as it is.
inline constexpr std::size_t kMaxShortPath = 259;

namespace platform_detail {

template <typename Char>
bool StartsWithAscii(std::basic_string_view<Char> text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (text[i] != static_cast<Char>(prefix[i])) return false;
  }
  return true;
}

template <typename Char>
std::basic_string<Char> Widened(std::string_view ascii) {
  return std::basic_string<Char>(ascii.begin(), ascii.end());
}

}  // namespace platform_detail

// The extended-length form of an absolute Windows path: "C:\x" becomes "\\?\C:\x", a share
// "\\server\share\x" becomes "\\?\UNC\server\share\x", and '/' becomes '\' (the prefix turns off
// the system's own clean-up, so the path must be clean already). A path in that form already, a
// device path ("\\.\") and a path that is not absolute stay as they are. A template: Windows takes
// it in UTF-16, the portable tests in UTF-8.
template <typename Char>
std::basic_string<Char> ExtendedLengthPath(std::basic_string_view<Char> path) {
  using platform_detail::StartsWithAscii;
  using platform_detail::Widened;
  std::basic_string<Char> text(path);
  for (Char& c : text) {
    if (c == Char('/')) c = Char('\\');
  }
  const std::basic_string_view<Char> clean(text);
  if (StartsWithAscii(clean, "\\\\?\\") || StartsWithAscii(clean, "\\\\.\\")) return text;
  if (StartsWithAscii(clean, "\\\\")) return Widened<Char>("\\\\?\\UNC") + text.substr(1);
  const Char letter = text.empty() ? Char(0) : Char(text[0] | 0x20);
  const bool drive =
      letter >= Char('a') && letter <= Char('z') && StartsWithAscii(clean.substr(1), ":\\");
  if (!drive) return std::basic_string<Char>(path);
  return Widened<Char>("\\\\?\\") + text;
}

// The ordinary form of an extended-length path; other paths as they are.
template <typename Char>
std::basic_string<Char> WithoutExtendedPrefix(std::basic_string_view<Char> path) {
  using platform_detail::StartsWithAscii;
  if (StartsWithAscii(path, "\\\\?\\UNC\\")) {
    return platform_detail::Widened<Char>("\\") + std::basic_string<Char>(path.substr(7));
  }
  if (StartsWithAscii(path, "\\\\?\\")) return std::basic_string<Char>(path.substr(4));
  return std::basic_string<Char>(path);
}

}  // namespace fdc
