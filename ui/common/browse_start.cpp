// The start folder and name of each file dialog.
#include "ui/common/browse_start.h"

#include <QDir>
#include <QFileInfo>
#include <QString>

namespace fdc::ui {

BrowseStart BrowseStartFor(const std::string& current) {
  BrowseStart start;
  if (current.empty()) return start;
  const QFileInfo info(QString::fromStdString(current));
  if (info.absoluteDir().exists()) {
    start.folder = QDir::toNativeSeparators(info.absolutePath()).toStdString();
  }
  start.fileName = info.fileName().toStdString();
  return start;
}

BrowseStart OptionBrowseStart(const std::string& optionFile, const std::string& captureFile) {
  if (!optionFile.empty() && QFileInfo::exists(QString::fromStdString(optionFile))) {
    return BrowseStartFor(optionFile);
  }
  BrowseStart start = BrowseStartFor(captureFile);
  start.fileName.clear();
  return start;
}

}  // namespace fdc::ui
