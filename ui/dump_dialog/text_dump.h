// TextDump: the text dump dialog — the capture and option files, the reference window, the
// number of minute files, the four arguments, Execute with its run in the background, and the
// option description panel.
#pragma once

#include <QDialog>
#include <map>
#include <string>

#include "ui/common/dialog_geometry.h"
#include "ui/common/option_description.h"
#include "ui/dump_dialog/dump_worker.h"
#include "ui/dump_dialog/text_dump_values.h"

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
  // The same on the run open in the window: its first file, and its minutes after the opening
  // steps have reset the numbers.
  int DoModalForRun(const std::string& firstFile, std::uint32_t minutes);
  // The opening steps: load, reset the numbers, the editor controls, the description panel.
  void OnInitDialog();
  // true: store all fields with their checks (the first failing one is reported); false: load
  // all fields into the controls.
  bool UpdateData(bool saveAndValidate = true);
  // Fills the description panel's values and enables its controls as the option file says.
  void LoadOptionDescription(const std::string& path);
  // Describes the file that the OptionFile field names now, and shows the panel's texts without
  // touching the other fields.
  void ReloadOptionDescription();

  // The control with a template identifier.
  QWidget* Control(int id) const;
  // While a dump runs: the open file's line, the whole run's bar and the Stop button.
  QLabel* FileProgressLine() const { return fileLine_; }
  QProgressBar* ProgressLine() const { return progress_; }
  QPushButton* StopButton() const { return stop_; }
  bool Running() const { return worker_.Active(); }

  // Before the dialog or the program closes: a running dump is stopped if the user agrees. False
  // when the user wants it to go on.
  bool EndRunBeforeClosing();

  void OnOK();
  void reject() override;
  void OnExecute();
  void OnStop();
  void OnEditOptionFile();
  void OnBrowseCaptureFile();
  void OnBrowseOptionFile();
  void OnBrowseEditor();
  void OnAutoEditClicked();

 signals:
  // The values were stored from the controls or set by a browse: the settings may follow.
  void ValuesStored();
  // The one-line summary of the run that has just ended.
  void RunReported(const QString& summary);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  class Controls;

  void CreateControls();
  void CreateRunControls();
  QRect Place(int x, int y, int width, int height) const;
  QLabel* AddLabel(const QString& text, int x, int y, int width, int height);
  QLineEdit* AddEdit(int id, int x, int y, int width, int height);
  QLineEdit* AddDisplayLine(int id, int x, int y, int width, int height);
  QPushButton* AddButton(int id, const QString& text, int x, int y, int width, int height);
  QLineEdit* Edit(int id) const;
  void EnableEditorControls(bool enable);
  void ApplyPanelStates();
  void StoreAfterFocusLoss(unsigned generation);
  void StartRun(const fdc::DumpRequest& request);
  void SetRunning(bool running);
  void OnRunProgress(const fdc::ui::ProgressSnapshot& progress);
  void OnRunDone();
  // Takes the ended (or stopping) run's outcome; `tell` shows its message or starts the editor.
  void FinishRun(bool tell);

  fdc::ui::TextDumpValues values_;
  fdc::ui::OptionDescription panel_;
  fdc::ui::DialogBaseUnits base_;
  std::map<int, QWidget*> controls_;
  QLabel* editorPathLabel_ = nullptr;
  QLabel* fileLine_ = nullptr;
  QWidget* runPanel_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* stop_ = nullptr;
  bool storing_ = false;
  unsigned storeGeneration_ = 0;
  // Set once Edit has started the editor: each return to the dialog reads the option file again.
  bool reloadOnActivation_ = false;
  // The stop question is open: a run that ends meanwhile is taken when it is answered.
  bool askingToStop_ = false;

  fdc::ui::DumpWorker worker_;
  // What the running dump was started with.
  std::string runOutput_;
  bool runAutoEdit_ = false;
  std::string runEditor_;
};
