// The description panel of the dialog and the filter bar: what an option file's "Descrip=" and
// "ArgName0=" to "ArgName3=" lines (read in options/) put into it, and which parts they enable.
#pragma once

#include <array>
#include <string>

namespace fdc::ui {

// What the panel says when no option file describes itself.
inline constexpr char kNoDescription[] = "Option File description not available";
inline constexpr char kNoArgName[] = "N/A";

struct OptionDescription {
  std::string description;
  std::array<std::string, 4> argName;
  bool descriptionEnabled = false;   // the group box and the description line
  std::array<bool, 4> argEnabled{};  // each name line with its value field
};

// The panel at rest: no description, four "N/A", everything disabled.
OptionDescription RestingDescription();

// The panel for the option file at `path`. An empty path, a file that cannot be opened or is not
// a plain file gives the resting panel; so does a file without description lines.
OptionDescription LoadOptionDescription(const std::string& path);

}  // namespace fdc::ui
