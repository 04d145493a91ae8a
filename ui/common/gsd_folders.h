// The GSD folders: where the device descriptions that name and check the DP slaves lie, kept in
// the settings store beside the main window's own values; the library read from them on the
// calling thread, and what the reading said, for the Options dialog.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "dp/gsd.h"

class QSettings;

namespace fdc::ui {

inline constexpr char kGsdFoldersKey[] = "GsdFolders";

// Read and written inside the group that `store` has open. Empty entries are skipped; an empty
// list removes the value, so that a store that never had folders does not change.
std::vector<std::string> ReadGsdFolders(QSettings& store);
void WriteGsdFolders(QSettings& store, const std::vector<std::string>& folders);

// Puts `folder` at the end unless the list has it. False when it was there already.
bool AddGsdFolder(std::vector<std::string>& folders, const std::string& folder);

// Every GSD file of the folders (not below them). Null without folders: the run is read without
// GSD files. A folder that cannot be read is told in the library's messages.
std::shared_ptr<const dp::GsdLibrary> LoadGsdLibrary(const std::vector<std::string>& folders);

// "2 GSD files for 2 idents", then each of the library's messages on a line of its own; without
// a library, that the slaves are read without GSD files.
std::string GsdLibrarySummary(const dp::GsdLibrary* library);

}  // namespace fdc::ui
