// Resolving paths through symbolic links, dangling ones included, and comparing them.
#include "common/file_paths.h"

#include <algorithm>
#include <system_error>

#include "common/platform_io.h"

namespace fdc {

namespace fs = std::filesystem;

namespace {

bool IsLoop(const std::error_code& error) {
  return error == std::errc::too_many_symbolic_link_levels;
}

template <typename Char>
Char FoldAscii(Char c) {
  return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

// The form in which two spellings of one place are equal: a long path reached through Windows'
// "\\?\" prefix is the same place as without it. Resolved paths are absolute, so only a Windows
// path starts that way.
fs::path::string_type Comparable(const fs::path& path) {
  const fs::path plain(WithoutExtendedPrefix<fs::path::value_type>(path.native()));
  return plain.lexically_normal().native();
}

}  // namespace

std::optional<fs::path> ResolvedPath(const fs::path& path) {
  std::error_code error;
  fs::path at = fs::absolute(path, error);
  if (error) return path.lexically_normal();
  for (int hop = 0;; ++hop) {
    const fs::path name = at.filename();
    if (name.empty() || name == "." || name == "..") {
      // A folder: weakly_canonical follows every link of the part that exists.
      const fs::path folder = fs::weakly_canonical(at, error);
      if (IsLoop(error)) return std::nullopt;
      return error ? at.lexically_normal() : folder;
    }
    const fs::path folder = fs::weakly_canonical(at.parent_path(), error);
    if (IsLoop(error)) return std::nullopt;
    if (error) return at.lexically_normal();
    const fs::path place = folder / name;
    // weakly_canonical stops at a dangling link; opening the path would follow it.
    if (!fs::is_symlink(fs::symlink_status(place, error))) return place;
    if (hop == kMaxLinkHops) return std::nullopt;
    const fs::path target = fs::read_symlink(place, error);
    if (error) return place;
    // A relative target counts from the link's own folder.
    at = target.is_absolute() ? target : folder / target;
  }
}

std::string_view FileNameOf(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool SamePlace(const fs::path& a, const fs::path& b, bool caseBlind) {
  const fs::path::string_type x = Comparable(a);
  const fs::path::string_type y = Comparable(b);
  if (!caseBlind) return x == y;
  return std::equal(x.begin(), x.end(), y.begin(), y.end(),
                    [](auto p, auto q) { return FoldAscii(p) == FoldAscii(q); });
}

}  // namespace fdc
