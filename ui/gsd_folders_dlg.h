// GsdFoldersDialog: Options > GSD Folders — the folders whose GSD files name and check the DP
// slaves, with Add (a folder dialog) and Remove, and below them what was read from them: how
// many files for how many idents, and every line that could not be read.
#pragma once

#include <QDialog>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "dp/gsd.h"

class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace fdc::ui {

class GsdFoldersDialog : public QDialog {
  Q_OBJECT

 public:
  // The folders are read at once, so that the summary tells what they hold now.
  explicit GsdFoldersDialog(const std::vector<std::string>& folders, QWidget* parent = nullptr);

  // The folders listed, and the library read from them (null for none).
  const std::vector<std::string>& Folders() const { return folders_; }
  const std::shared_ptr<const dp::GsdLibrary>& Library() const { return library_; }

  // What Add does once a folder is chosen, and Remove on the selected one.
  void AddFolder(const QString& folder);
  void RemoveSelected();

  QListWidget* FolderList() const { return list_; }
  QPushButton* AddButton() const { return add_; }
  QPushButton* RemoveButton() const { return remove_; }
  QPlainTextEdit* Summary() const { return summary_; }

 private:
  void OnAdd();
  // Reads the folders again and shows the list and the summary.
  void Reload();
  void ShowFolders();

  std::vector<std::string> folders_;
  std::shared_ptr<const dp::GsdLibrary> library_;
  QListWidget* list_ = nullptr;
  QPushButton* add_ = nullptr;
  QPushButton* remove_ = nullptr;
  QPlainTextEdit* summary_ = nullptr;
};

}  // namespace fdc::ui
