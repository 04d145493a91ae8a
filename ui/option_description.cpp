// The description panel's reader: 199-character reads, leading white space dropped, ';' comments,
// keys compared without regard to letter case, the last line of a key wins.
#include "ui/option_description.h"

#include <cstddef>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "common/char_class.h"
#include "common/text_reader.h"
#include "ui/text_dump_values.h"

namespace fdc::ui {

namespace {

// A read takes at most this many characters; the rest of a longer line is read as a line of its
// own.
constexpr std::size_t kLineChars = 199;

// Keys are compared without regard to letter case, in the C locale whatever the user's locale.
bool StartsWithKey(std::string_view line, std::string_view key) {
  return StartsWithNoCase(line, key);
}

void ApplyLine(std::string_view line, OptionDescription& panel) {
  constexpr std::string_view kDescrip = "Descrip=";
  if (StartsWithKey(line, kDescrip)) {
    panel.Description = std::string(line.substr(kDescrip.size()));
    panel.descriptionEnabled = true;
    return;
  }
  static constexpr std::array<std::string_view, 4> kArgKeys = {
      "ArgName0=", "ArgName1=", "ArgName2=", "ArgName3="};
  for (std::size_t i = 0; i < kArgKeys.size(); ++i) {
    if (StartsWithKey(line, kArgKeys[i])) {
      panel.ArgName[i] = std::string(line.substr(kArgKeys[i].size()));
      panel.argEnabled[i] = true;
      return;
    }
  }
}

}  // namespace

OptionDescription RestingDescription() {
  OptionDescription panel;
  panel.Description = kNoDescription;
  panel.ArgName.fill(kNoArgName);
  return panel;
}

OptionDescription LoadOptionDescription(const std::string& path) {
  OptionDescription panel = RestingDescription();
  if (path.empty()) return panel;
  // Only a plain file: a device or a pipe chosen as option file would keep the dialog reading
  // for ever.
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return panel;
  TextReader reader;
  if (!reader.Open(path)) return panel;
  std::string piece;
  while (reader.ReadLine(piece, kLineChars)) {
    std::string_view line = piece;
    std::size_t skip = 0;
    while (skip < line.size() && IsCSpace(static_cast<unsigned char>(line[skip]))) ++skip;
    line.remove_prefix(skip);
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (line.empty() || line.front() == ';') continue;
    ApplyLine(line, panel);
  }
  reader.Close();
  return panel;
}

}  // namespace fdc::ui
