// The few services of the windowing platform that the dialogs need, in one place: message
// boxes, the file-open and folder dialogs, the wait cursor, starting a program without waiting,
// the lock keys' state, and the dialog font with its base units.
#pragma once

#include <QMessageBox>
#include <QString>
#include <optional>
#include <string>

#include "ui/common/browse_start.h"
#include "ui/common/dialog_geometry.h"
#include "ui/common/key_locks.h"

class QFileDialog;
class QFont;
class QWidget;

namespace fdc::ui {

// A message box with one OK button, captioned with the application name.
void ShowMessage(QWidget* owner, const QString& text, QMessageBox::Icon icon);

// A question with Yes and No, captioned with the application name; No is the default and
// Escape's answer. True for Yes.
bool AskYesNo(QWidget* owner, const QString& text);

// What a file-open dialog is for.
struct FileDialogChoice {
  QString title;
  QString filter;  // the dialog's own filter; "All Files (*)" goes beside it
  QString defaultSuffix;
  BrowseStart start;
  bool existingOnly = false;  // refuse names of files that do not exist
};

// Sets up a file-open dialog as `choice` says: resizable, the platform's own dialog unless
// UseQtFileDialogs asked for Qt's.
void ConfigureFileDialog(QFileDialog& dialog, const FileDialogChoice& choice);

// Shows the file-open dialog; returns the chosen full path, or nothing when cancelled.
std::optional<QString> BrowseForFile(QWidget* owner, const FileDialogChoice& choice);

// Shows the folder dialog, opening at `start` when it names a folder; returns the chosen
// folder, or nothing when cancelled.
std::optional<QString> BrowseForFolder(QWidget* owner, const QString& title, const QString& start);

// Qt's own file dialog instead of the platform's: the tests need a dialog that they can see and
// answer.
void UseQtFileDialogs(bool use);

// The wait cursor for the lifetime of the object.
class WaitCursor {
 public:
  WaitCursor();
  ~WaitCursor();
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

// Starts the editor on `filePath` without waiting for it. False when no program could be
// started (an empty or wrong editor path, a file that is not a program).
bool StartEditor(const std::string& editorPath, const std::string& filePath);

// The state of a lock key, or nothing when it cannot be read (no X server, no keyboard
// extension).
std::optional<bool> ReadLockState(LockKey key);
// Whether the lock states can be read at all on this display.
bool CanReadLockStates();

// The dialogs' font: the desktop's family at the templates' 8 points.
QFont DialogFont();
DialogBaseUnits BaseUnitsOf(const QFont& font);

}  // namespace fdc::ui
