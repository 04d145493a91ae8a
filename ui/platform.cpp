// Message boxes, file dialogs, the wait cursor, the editor start and the dialog font.
#include "ui/platform.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QProcess>
#include <QStringList>

#include "ui/app_settings.h"
#include "ui/editor_command.h"

namespace fdc::ui {

void ShowMessage(QWidget* owner, const QString& text, QMessageBox::Icon icon) {
  QMessageBox box(icon, QString::fromLatin1(kAppName), text, QMessageBox::Ok, owner);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

std::optional<QString> BrowseForFile(QWidget* owner, const QString& initialFile,
                                     const QString& defaultSuffix, const QString& filter) {
  QFileDialog dialog(owner, QStringLiteral("Open"));
  dialog.setOptions(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(filter);
  if (!defaultSuffix.isEmpty()) dialog.setDefaultSuffix(defaultSuffix);
  if (!initialFile.isEmpty()) {
    const QFileInfo initial(initialFile);
    if (initial.absoluteDir().exists()) dialog.setDirectory(initial.absolutePath());
    dialog.selectFile(initial.fileName());
  }
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
