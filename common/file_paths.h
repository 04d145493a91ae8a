// Paths as the file system resolves them, so that two spellings of one file compare equal, also
// of a file not created yet: symbolic links followed, a dangling one in the last component too.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace fdc {

// Where the file systems ignore letter case by default, two names that differ only in it are one
// file.
#if defined(_WIN32) || defined(__APPLE__)
inline constexpr bool kCaseBlindPaths = true;
#else
inline constexpr bool kCaseBlindPaths = false;
#endif

// Links followed in the last component before the chain is taken for a loop (as many as Linux
// follows in one path).
inline constexpr int kMaxLinkHops = 40;

// The absolute path that opening `path` would reach: the existing folders resolved with their
// links, then the last component followed through its links, a dangling one too (opening it for
// writing creates the file it points to). Nothing when the links make a loop. A part that can't
// be looked at (a folder without search permission) is kept as written.
std::optional<std::filesystem::path> ResolvedPath(const std::filesystem::path& path);

// The part of a path after its last folder separator ('/', and '\\' too: names written on
// Windows are read everywhere).
std::string_view FileNameOf(std::string_view path);

// Two resolved paths name the same place; letters compared without their case when `caseBlind`
// (ASCII letters only: an existing file is recognised whatever its case by its identity).
bool SamePlace(const std::filesystem::path& a, const std::filesystem::path& b,
               bool caseBlind = kCaseBlindPaths);

}  // namespace fdc
