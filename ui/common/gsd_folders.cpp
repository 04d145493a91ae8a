// The GSD folders in the settings store, the library read from them and its summary.
#include "ui/common/gsd_folders.h"

#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <algorithm>
#include <filesystem>

namespace fdc::ui {

std::vector<std::string> ReadGsdFolders(QSettings& store) {
  std::vector<std::string> folders;
  // A list of one reads back as a text; toStringList takes both.
  for (const QString& folder : store.value(QLatin1String(kGsdFoldersKey)).toStringList()) {
    if (!folder.trimmed().isEmpty()) AddGsdFolder(folders, folder.toStdString());
  }
  return folders;
}

void WriteGsdFolders(QSettings& store, const std::vector<std::string>& folders) {
  QStringList list;
  for (const std::string& folder : folders) {
    if (!folder.empty()) list << QString::fromStdString(folder);
  }
  if (list.isEmpty()) {
    store.remove(QLatin1String(kGsdFoldersKey));
  } else {
    store.setValue(QLatin1String(kGsdFoldersKey), list);
  }
}

bool AddGsdFolder(std::vector<std::string>& folders, const std::string& folder) {
  if (folder.empty() || std::find(folders.begin(), folders.end(), folder) != folders.end()) {
    return false;
  }
  folders.push_back(folder);
  return true;
}

std::shared_ptr<const dp::GsdLibrary> LoadGsdLibrary(const std::vector<std::string>& folders) {
  if (folders.empty()) return nullptr;
  std::vector<std::filesystem::path> paths;
  // Through UTF-16, so that a name outside ASCII reaches the file system as the platform spells it.
  for (const std::string& folder : folders) {
    paths.emplace_back(QString::fromStdString(folder).toStdU16String());
  }
  return std::make_shared<const dp::GsdLibrary>(dp::GsdLibrary::Load(paths));
}

std::string GsdLibrarySummary(const dp::GsdLibrary* library) {
  if (library == nullptr) return "No GSD folders: the DP slaves are not named by GSD files.";
  const std::size_t files = library->FileCount();
  const std::size_t idents = library->IdentCount();
  std::string text = std::to_string(files) + (files == 1 ? " GSD file" : " GSD files") + " for " +
                     std::to_string(idents) + (idents == 1 ? " ident" : " idents");
  for (const std::string& message : library->Messages()) text += "\n" + message;
  return text;
}

}  // namespace fdc::ui
