// Where the dialog's file dialogs open: the folder they show and the name they offer.
#pragma once

#include <string>

namespace fdc::ui {

struct BrowseStart {
  std::string folder;    // empty: the dialog's own choice (the current folder)
  std::string fileName;  // offered in the name field; empty: none
  friend bool operator==(const BrowseStart&, const BrowseStart&) = default;
};

// The folder of `current` when that folder exists, and its name.
BrowseStart BrowseStartFor(const std::string& current);

// The option file's dialog opens as BrowseStartFor says, except that an empty or missing option
// file opens in the capture file's folder, where option files are usually kept, with no name
// offered.
BrowseStart OptionBrowseStart(const std::string& optionFile, const std::string& captureFile);

}  // namespace fdc::ui
