// Message boxes, file and folder dialogs, the wait cursor, the editor start and the dialog font.
#include "ui/common/platform.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QProcess>
#include <QStringList>

#include "ui/common/app_settings.h"
#include "ui/common/editor_command.h"

namespace fdc::ui {

namespace {

bool useQtFileDialogs = false;

}  // namespace

void ShowMessage(QWidget* owner, const QString& text, QMessageBox::Icon icon) {
  QMessageBox box(icon, QString::fromLatin1(kAppName), text, QMessageBox::Ok, owner);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

bool AskYesNo(QWidget* owner, const QString& text) {
  QMessageBox box(QMessageBox::Question, QString::fromLatin1(kAppName), text,
                  QMessageBox::Yes | QMessageBox::No, owner);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void UseQtFileDialogs(bool use) { useQtFileDialogs = use; }

void ConfigureFileDialog(QFileDialog& dialog, const FileDialogChoice& choice) {
  dialog.setWindowTitle(choice.title);
  dialog.setOption(QFileDialog::DontUseNativeDialog, useQtFileDialogs);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(choice.existingOnly ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  dialog.setNameFilters({choice.filter, QStringLiteral("All Files (*)")});
  dialog.setDefaultSuffix(choice.defaultSuffix);
  if (!choice.start.folder.empty()) {
    dialog.setDirectory(QString::fromStdString(choice.start.folder));
  }
  if (!choice.start.fileName.empty())
    dialog.selectFile(QString::fromStdString(choice.start.fileName));
}

std::optional<QString> BrowseForFile(QWidget* owner, const FileDialogChoice& choice) {
  QFileDialog dialog(owner);
  ConfigureFileDialog(dialog, choice);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  return QDir::toNativeSeparators(QFileInfo(chosen.front()).absoluteFilePath());
}

std::optional<QString> BrowseForFolder(QWidget* owner, const QString& title, const QString& start) {
  QFileDialog dialog(owner);
  dialog.setWindowTitle(title);
  dialog.setOption(QFileDialog::DontUseNativeDialog, useQtFileDialogs);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  if (!start.isEmpty() && QFileInfo(start).isDir()) dialog.setDirectory(start);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  return QDir::toNativeSeparators(QFileInfo(chosen.front()).absoluteFilePath());
}

WaitCursor::WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
WaitCursor::~WaitCursor() { QApplication::restoreOverrideCursor(); }

bool StartEditor(const std::string& editorPath, const std::string& filePath) {
  if (editorPath.empty()) return false;
  const EditorCommand command =
      EditorCommandFor(editorPath, filePath, QDir::currentPath().toStdString());
  QProcess process;
  process.setProgram(QString::fromStdString(command.program));
  QStringList arguments;
  for (const std::string& argument : command.arguments) {
    arguments << QString::fromStdString(argument);
  }
  process.setArguments(arguments);
#if defined(Q_OS_WIN)
  process.setNativeArguments(QString::fromStdString(command.nativeArguments));
#endif
  return process.startDetached();
}

QFont DialogFont() {
  QFont font = QApplication::font();
  font.setPointSize(8);
  return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  return BaseUnitsFrom(metrics.horizontalAdvance(
                           QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")),
                       metrics.height());
}

}  // namespace fdc::ui
