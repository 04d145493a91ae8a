// The description lines of an option file.
#include "options/option_description.h"

#include <cstddef>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "common/char_class.h"
#include "common/text_reader.h"
#include "options/options.h"

namespace fdc {

namespace {

void ApplyLine(std::string_view line, OptionFileDescription& read) {
  constexpr std::string_view kDescrip = "Descrip=";
  if (StartsWithNoCase(line, kDescrip)) {
    read.description = std::string(line.substr(kDescrip.size()));
    return;
  }
  static constexpr std::array<std::string_view, 4> kArgKeys = {
      "ArgName0=", "ArgName1=", "ArgName2=", "ArgName3="};
  for (std::size_t i = 0; i < kArgKeys.size(); ++i) {
    if (StartsWithNoCase(line, kArgKeys[i])) {
      read.argNames[i] = std::string(line.substr(kArgKeys[i].size()));
      return;
    }
  }
}

}  // namespace

OptionFileDescription ReadOptionDescription(const std::string& path) {
  OptionFileDescription read;
  if (path.empty()) return read;
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return read;
  TextReader reader;
  if (!reader.Open(path)) return read;
  std::string piece;
  while (reader.ReadLine(piece, kOptionLineChars)) {
    std::string_view line = piece;
    std::size_t skip = 0;
    while (skip < line.size() && IsCSpace(static_cast<unsigned char>(line[skip]))) ++skip;
    line.remove_prefix(skip);
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    if (line.empty() || line.front() == ';') continue;
    ApplyLine(line, read);
  }
  reader.Close();
  return read;
}

}  // namespace fdc
