// The description panel's states: at rest, and filled from an option file's description lines.
#include "ui/common/option_description.h"

#include "options/option_description.h"

namespace fdc::ui {

OptionDescription RestingDescription() {
  OptionDescription panel;
  panel.description = kNoDescription;
  panel.argName.fill(kNoArgName);
  return panel;
}

OptionDescription LoadOptionDescription(const std::string& path) {
  OptionDescription panel = RestingDescription();
  const OptionFileDescription read = ReadOptionDescription(path);
  if (read.description) {
    panel.description = *read.description;
    panel.descriptionEnabled = true;
  }
  for (std::size_t i = 0; i < read.argNames.size(); ++i) {
    if (!read.argNames[i]) continue;
    panel.argName[i] = *read.argNames[i];
    panel.argEnabled[i] = true;
  }
  return panel;
}

}  // namespace fdc::ui
