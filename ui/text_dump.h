// TextDump: the text dump dialog — the capture and option files, the reference window, the
// number of minute files, the four arguments, Execute, and the option description panel.
#pragma once

#include <QDialog>
#include <map>
#include <string>

#include "ui/dialog_geometry.h"
#include "ui/text_dump_values.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

class TextDump : public QDialog {
  Q_OBJECT

 public:
  explicit TextDump(QWidget* parent = nullptr);
  ~TextDump() override;

  // The values; FileName, OptionFile, EditorPath and AutoEdit are the ones that the main window
  // copies from and back to the settings.
  fdc::ui::TextDumpValues& Values() { return values_; }
  const fdc::ui::TextDumpValues& Values() const { return values_; }

  // Runs the opening steps and shows the dialog modally.
  int DoModal();
  // The opening steps: load, reset the numbers, the editor controls, the description panel.
  void OnInitDialog();
  // true: store all fields with their checks (the first failing one is reported); false: load
  // all fields into the controls.
  bool UpdateData(bool saveAndValidate = true);
  // Fills the description panel's values and enables its controls as the option file says.
  void LoadOptionDescription(const std::string& path);

  // The control with a template identifier.
  QWidget* Control(int id) const;
  // The progress line shown while a dump runs.
  QProgressBar* ProgressLine() const { return progress_; }

  void OnOK();
  void OnExecute();
  void OnEditOptionFile();
  void OnBrowseCaptureFile();
  void OnBrowseOptionFile();
  void OnBrowseEditor();
  void OnAutoEditClicked();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class Controls;

  void CreateControls();
  QRect Place(int x, int y, int width, int height) const;
  QLabel* AddLabel(const QString& text, int x, int y, int width, int height);
  QLineEdit* AddEdit(int id, int x, int y, int width, int height);
  QLineEdit* AddDisplayLine(int id, int x, int y, int width, int height);
  QPushButton* AddButton(int id, const QString& text, int x, int y, int width, int height);
  QLineEdit* Edit(int id) const;
  void EnableEditorControls(bool enable);
  void StoreAfterFocusLoss(unsigned generation);
  fdc::Result RunDump(const fdc::DumpRequest& request);

  fdc::ui::TextDumpValues values_;
  fdc::ui::DialogBaseUnits base_;
  std::map<int, QWidget*> controls_;
  QLabel* editorPathLabel_ = nullptr;
  QProgressBar* progress_ = nullptr;
  bool storing_ = false;
  unsigned storeGeneration_ = 0;
};
