// The GSD folders dialog.
#include "ui/gsd_folders_dlg.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

#include "ui/common/gsd_folders.h"
#include "ui/common/platform.h"

namespace fdc::ui {

GsdFoldersDialog::GsdFoldersDialog(const std::vector<std::string>& folders, QWidget* parent)
    : QDialog(parent), folders_(folders) {
  setObjectName(QStringLiteral("gsdFoldersDialog"));
  setWindowTitle(QStringLiteral("GSD Folders"));
  auto* layout = new QVBoxLayout(this);
  auto* intro = new QLabel(
      QStringLiteral("The GSD files (.gsd, .gse, .gsg, ...) in these folders, not in the folders "
                     "below them, name the DP slaves by their ident, their modules, diagnosis "
                     "bits and parameters, and check them. When two files have the same ident, "
                     ".gse comes before .gsd."),
      this);
  intro->setWordWrap(true);
  layout->addWidget(intro);

  auto* row = new QHBoxLayout();
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("gsdFolders"));
  row->addWidget(list_, 1);
  auto* buttons = new QVBoxLayout();
  add_ = new QPushButton(QStringLiteral("&Add..."), this);
  add_->setObjectName(QStringLiteral("gsdAdd"));
  remove_ = new QPushButton(QStringLiteral("&Remove"), this);
  remove_->setObjectName(QStringLiteral("gsdRemove"));
  buttons->addWidget(add_);
  buttons->addWidget(remove_);
  buttons->addStretch(1);
  row->addLayout(buttons);
  layout->addLayout(row, 1);

  auto* read = new QLabel(QStringLiteral("Read from them:"), this);
  layout->addWidget(read);
  summary_ = new QPlainTextEdit(this);
  summary_->setObjectName(QStringLiteral("gsdSummary"));
  summary_->setReadOnly(true);
  summary_->setLineWrapMode(QPlainTextEdit::NoWrap);
  read->setBuddy(summary_);
  layout->addWidget(summary_, 1);

  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(box);
  connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(add_, &QPushButton::clicked, this, &GsdFoldersDialog::OnAdd);
  connect(remove_, &QPushButton::clicked, this, &GsdFoldersDialog::RemoveSelected);
  connect(list_, &QListWidget::currentRowChanged, this,
          [this](int current) { remove_->setEnabled(current >= 0); });
  resize(560, 420);
  Reload();
}

void GsdFoldersDialog::OnAdd() {
  // The folder dialog opens at the last folder of the list.
  const QString start = folders_.empty() ? QString() : QString::fromStdString(folders_.back());
  if (const std::optional<QString> chosen =
          BrowseForFolder(this, QStringLiteral("Add a GSD Folder"), start)) {
    AddFolder(*chosen);
  }
}

void GsdFoldersDialog::AddFolder(const QString& folder) {
  if (!AddGsdFolder(folders_, QDir::toNativeSeparators(folder).toStdString())) return;
  Reload();
  list_->setCurrentRow(list_->count() - 1);
}

void GsdFoldersDialog::RemoveSelected() {
  const int row = list_->currentRow();
  if (row < 0 || static_cast<std::size_t>(row) >= folders_.size()) return;
  folders_.erase(folders_.begin() + row);
  Reload();
  list_->setCurrentRow(std::min(row, list_->count() - 1));
}

void GsdFoldersDialog::Reload() {
  // GSD folders are small: read on the spot, so that the summary follows each change.
  WaitCursor wait;
  library_ = LoadGsdLibrary(folders_);
  ShowFolders();
}

void GsdFoldersDialog::ShowFolders() {
  list_->clear();
  for (const std::string& folder : folders_) list_->addItem(QString::fromStdString(folder));
  remove_->setEnabled(list_->currentRow() >= 0);
  summary_->setPlainText(QString::fromStdString(GsdLibrarySummary(library_.get())));
}

}  // namespace fdc::ui
