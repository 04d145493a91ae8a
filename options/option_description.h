// The lines of an option file that describe it to people, "Descrip=" and "ArgName0=" to
// "ArgName3=": the dump passes them over; the dialog and the filter bar show them.
#pragma once

#include <array>
#include <optional>
#include <string>

namespace fdc {

struct OptionFileDescription {
  std::optional<std::string> description;                // "Descrip=", when the file has one
  std::array<std::optional<std::string>, 4> argNames;  // "ArgName0=" to "ArgName3="
};

// Reads the description lines of the option file at `path`, as the option reader reads lines
// (pieces of at most 199 characters, leading white space dropped, ';' comments), keys compared
// without regard to letter case; the last line of a key wins. An empty path, a file that cannot
// be opened or is not a plain file (a device or a pipe would keep the reader waiting) describes
// nothing.
OptionFileDescription ReadOptionDescription(const std::string& path);

}  // namespace fdc
