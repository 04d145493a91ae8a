// The text dump dialog: its template, the exchange with the controls, and its commands.
#include "ui/dump_dialog/text_dump.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>

#include "ui/common/app_settings.h"
#include "ui/common/browse_start.h"
#include "ui/common/platform.h"
#include "ui/common/task_progress.h"
#include "ui/dump_dialog/run_report.h"

using namespace fdc::ui;

namespace {

// An edit without our own limit takes what a line edit can hold.
constexpr int kUnlimitedChars = 32767;

bool IsNumberField(int id) { return id == kIdStartRef || id == kIdEndRef || id == kIdNumMin; }

// What a running dump locks: every field, the browse and edit buttons, and Execute. "Cancel"
// stays, as closing asks to stop the run first.
constexpr int kLockedWhileRunning[] = {
    kIdFileName,       kIdBrowseCaptureFile, kIdOptionFile, kIdBrowseOptionFile,
    kIdEditOptionFile, kIdStartRef,          kIdEndRef,     kIdNumMin,
    kIdArgValue0,      kIdArgValue1,         kIdArgValue2,  kIdArgValue3,
    kIdAutoEdit,       kIdEditorPathLabel,   kIdEditorPath, kIdBrowseEditor,
    kIdExecute};

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

// The controls as the field table sees them.
class TextDump::Controls : public ControlAccess {
 public:
  explicit Controls(const TextDump& dialog) : dialog_(dialog) {}

  std::string Text(int id) const override { return dialog_.Edit(id)->text().toStdString(); }

  void SetText(int id, const std::string& text) override {
    QLineEdit* edit = dialog_.Edit(id);
    edit->setText(Q(text));
    edit->setCursorPosition(0);
  }

  bool Checked(int id) const override {
    return static_cast<QCheckBox*>(dialog_.Control(id))->isChecked();
  }

  void SetChecked(int id, bool checked) override {
    static_cast<QCheckBox*>(dialog_.Control(id))->setChecked(checked);
  }

  void SetTypingLimit(int id, std::size_t maxChars) override {
    dialog_.Edit(id)->setMaxLength(maxChars == 0 ? kUnlimitedChars : static_cast<int>(maxChars));
  }

 private:
  const TextDump& dialog_;
};

TextDump::TextDump(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TextDump"));
  setWindowTitle(QStringLiteral("TeloFdcCaptAnlz - TextDump"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFont(DialogFont());
  base_ = BaseUnitsOf(font());
  setFixedSize(Place(0, 0, 269, 137).size());
  panel_ = RestingDescription();
  CreateControls();
  CreateRunControls();
  connect(&worker_, &DumpWorker::Progress, this, &TextDump::OnRunProgress);
  connect(&worker_, &DumpWorker::Done, this, &TextDump::OnRunDone);
}

TextDump::~TextDump() {
  // The dialog's base hides it after this part has gone; the focus then leaving OptionFile must
  // not reach the reload.
  QObject::disconnect(Edit(kIdOptionFile), nullptr, this, nullptr);
}

QRect TextDump::Place(int x, int y, int width, int height) const {
  const PixelRect pixels = DialogUnitsToPixels(x, y, width, height, base_);
  return QRect(pixels.x, pixels.y, pixels.width, pixels.height);
}

QLabel* TextDump::AddLabel(const QString& text, int x, int y, int width, int height) {
  auto* label = new QLabel(text, this);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setGeometry(Place(x, y, width, height));
  return label;
}

QLineEdit* TextDump::AddEdit(int id, int x, int y, int width, int height) {
  auto* edit = new QLineEdit(this);
  edit->setObjectName(QString::number(id));
  edit->setGeometry(Place(x, y, width, height));
  controls_[id] = edit;
  return edit;
}

QLineEdit* TextDump::AddDisplayLine(int id, int x, int y, int width, int height) {
  QLineEdit* line = AddEdit(id, x, y, width, height);
  line->setReadOnly(true);
  line->setFrame(false);
  line->setFocusPolicy(Qt::ClickFocus);
  // A read-only line shows the dialog's colour, as it covers the group box's title row.
  QPalette palette = line->palette();
  for (const QPalette::ColorGroup group :
       {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::Base, palette.color(group, QPalette::Window));
  }
  line->setPalette(palette);
  return line;
}

QPushButton* TextDump::AddButton(int id, const QString& text, int x, int y, int width, int height) {
  auto* button = new QPushButton(text, this);
  button->setObjectName(QString::number(id));
  // No button is the default one; Enter is handled in keyPressEvent.
  button->setAutoDefault(false);
  button->setDefault(false);
  button->setGeometry(Place(x, y, width, height));
  controls_[id] = button;
  return button;
}

void TextDump::CreateControls() {
  // In the dialog's tab order. Each label's mnemonic moves to the field after it.
  AddLabel(QStringLiteral("&FileName"), 11, 14, 30, 8)
      ->setBuddy(AddEdit(kIdFileName, 42, 12, 155, 12));
  AddButton(kIdBrowseCaptureFile, QStringLiteral("&Browse"), 200, 12, 29, 14);
  AddLabel(QStringLiteral("&OptionFile"), 9, 31, 32, 8)
      ->setBuddy(AddEdit(kIdOptionFile, 42, 29, 155, 12));
  AddButton(kIdBrowseOptionFile, QStringLiteral("B&rowse"), 200, 29, 29, 14);
  AddButton(kIdEditOptionFile, QStringLiteral("&Edit"), 233, 29, 29, 14);
  AddLabel(QStringLiteral("&StartRef"), 12, 49, 27, 8)
      ->setBuddy(AddEdit(kIdStartRef, 40, 47, 64, 12));
  AddLabel(QStringLiteral("En&dRef"), 112, 49, 25, 8)
      ->setBuddy(AddEdit(kIdEndRef, 138, 47, 64, 12));
  AddLabel(QStringLiteral("&NumMin"), 206, 49, 27, 8)
      ->setBuddy(AddEdit(kIdNumMin, 234, 47, 23, 12));

  auto* group = new QGroupBox(
      QStringLiteral("OptFile:") + QString(105, QLatin1Char(' ')) + QStringLiteral("-"), this);
  group->setObjectName(QString::number(kIdPanelGroup));
  group->setGeometry(Place(16, 60, 246, 43));
  group->setEnabled(false);
  controls_[kIdPanelGroup] = group;
  AddDisplayLine(kIdDescription, 49, 61, 209, 12)->setEnabled(false);
  static constexpr int kColumns[4][2] = {{22, 21}, {81, 81}, {141, 141}, {201, 201}};
  for (int i = 0; i < 4; ++i) {
    AddDisplayLine(kArgNameIds[i], kColumns[i][0], 74, 54, 12)->setEnabled(false);
    AddEdit(kArgValueIds[i], kColumns[i][1], 88, 54, 12)->setEnabled(false);
  }

  auto* autoEdit = new QCheckBox(QStringLiteral("&Auto Exec Editor"), this);
  autoEdit->setObjectName(QString::number(kIdAutoEdit));
  autoEdit->setGeometry(Place(16, 105, 69, 10));
  controls_[kIdAutoEdit] = autoEdit;
  editorPathLabel_ = AddLabel(QStringLiteral("Editor &Path"), 14, 118, 36, 8);
  editorPathLabel_->setObjectName(QString::number(kIdEditorPathLabel));
  editorPathLabel_->setEnabled(false);
  controls_[kIdEditorPathLabel] = editorPathLabel_;
  AddEdit(kIdEditorPath, 51, 116, 80, 12)->setEnabled(false);
  editorPathLabel_->setBuddy(Edit(kIdEditorPath));
  AddButton(kIdBrowseEditor, QStringLiteral("Bro&wse"), 135, 115, 33, 14)->setEnabled(false);
  AddButton(kIdExecute, QStringLiteral("E&xecute"), 179, 115, 39, 14);
  QPushButton* accept = AddButton(kIdAccept, QStringLiteral("&Cancel"), 221, 115, 39, 14);
  accept->setToolTip(
      QStringLiteral("Stores the fields and closes the dialog, as Enter does. Escape closes "
                     "without storing."));

  for (const int id : {kIdStartRef, kIdEndRef, kIdNumMin}) Edit(id)->installEventFilter(this);

  connect(static_cast<QPushButton*>(Control(kIdExecute)), &QPushButton::clicked, this,
          &TextDump::OnExecute);
  connect(static_cast<QPushButton*>(Control(kIdEditOptionFile)), &QPushButton::clicked, this,
          &TextDump::OnEditOptionFile);
  connect(static_cast<QPushButton*>(Control(kIdBrowseCaptureFile)), &QPushButton::clicked, this,
          &TextDump::OnBrowseCaptureFile);
  connect(static_cast<QPushButton*>(Control(kIdBrowseOptionFile)), &QPushButton::clicked, this,
          &TextDump::OnBrowseOptionFile);
  connect(static_cast<QPushButton*>(Control(kIdBrowseEditor)), &QPushButton::clicked, this,
          &TextDump::OnBrowseEditor);
  connect(accept, &QPushButton::clicked, this, &TextDump::OnOK);
  connect(autoEdit, &QCheckBox::clicked, this, &TextDump::OnAutoEditClicked);
  connect(Edit(kIdOptionFile), &QLineEdit::editingFinished, this,
          &TextDump::ReloadOptionDescription);
}

void TextDump::CreateRunControls() {
  // Shown only while a dump runs: the open file's line over the check box's row, and the whole
  // run's bar with the Stop button over the editor row, whose controls are locked meanwhile.
  fileLine_ = AddLabel(QString(), 14, 103, 248, 12);
  fileLine_->setObjectName(QStringLiteral("fileProgress"));
  fileLine_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  fileLine_->setAutoFillBackground(true);
  fileLine_->hide();

  const QRect panel = Place(14, 114, 156, 16);
  runPanel_ = new QWidget(this);
  runPanel_->setObjectName(QStringLiteral("runPanel"));
  runPanel_->setGeometry(panel);
  runPanel_->setAutoFillBackground(true);
  progress_ = new QProgressBar(runPanel_);
  progress_->setObjectName(QStringLiteral("progress"));
  progress_->setGeometry(Place(14, 115, 117, 14).translated(-panel.topLeft()));
  progress_->setRange(0, 100);
  progress_->setFocusPolicy(Qt::NoFocus);
  stop_ = new QPushButton(QStringLiteral("S&top"), runPanel_);
  stop_->setObjectName(QStringLiteral("stop"));
  stop_->setAutoDefault(false);
  stop_->setGeometry(Place(135, 115, 33, 14).translated(-panel.topLeft()));
  stop_->setToolTip(QStringLiteral("Ends the dump here; the text file keeps what was written"));
  connect(stop_, &QPushButton::clicked, this, &TextDump::OnStop);
  runPanel_->hide();
}

QWidget* TextDump::Control(int id) const {
  const auto found = controls_.find(id);
  return found != controls_.end() ? found->second : nullptr;
}

QLineEdit* TextDump::Edit(int id) const { return static_cast<QLineEdit*>(Control(id)); }

int TextDump::DoModal() {
  OnInitDialog();
  return exec();
}

int TextDump::DoModalForRun(const std::string& firstFile, std::uint32_t minutes) {
  values_.FileName = firstFile;
  OnInitDialog();
  values_.NumMin = minutes;
  UpdateData(false);
  return exec();
}

void TextDump::OnInitDialog() {
  ++storeGeneration_;
  reloadOnActivation_ = false;
  UpdateData(false);
  values_.EndRef = 0;
  values_.StartRef = 0;
  values_.NumMin = 1;
  EnableEditorControls(values_.AutoEdit);
  LoadOptionDescription(values_.OptionFile);
  UpdateData(false);
  // Every opening starts in the first field, as a freshly created dialog would.
  Edit(kIdFileName)->setFocus(Qt::OtherFocusReason);
  Edit(kIdFileName)->selectAll();
}

bool TextDump::UpdateData(bool saveAndValidate) {
  Controls controls(*this);
  if (!saveAndValidate) {
    LoadFields(values_, controls);
    return true;
  }
  ++storeGeneration_;
  storing_ = true;
  const StoreOutcome outcome = StoreFields(controls, values_);
  // Even a failed store has taken the fields before the faulty one.
  emit ValuesStored();
  if (!outcome.ok) {
    ShowMessage(this, Q(outcome.message), QMessageBox::Warning);
    // The message box had the focus; the dialog takes it back, on the field to correct.
    activateWindow();
    QLineEdit* failed = Edit(outcome.failedId);
    failed->setFocus(Qt::OtherFocusReason);
    failed->selectAll();
  }
  storing_ = false;
  return outcome.ok;
}

void TextDump::LoadOptionDescription(const std::string& path) {
  panel_ = fdc::ui::LoadOptionDescription(path);
  values_.Description = panel_.description;
  values_.ArgName = panel_.argName;
  ApplyPanelStates();
}

void TextDump::ApplyPanelStates() {
  Control(kIdDescription)->setEnabled(panel_.descriptionEnabled);
  Control(kIdPanelGroup)->setEnabled(panel_.descriptionEnabled);
  for (std::size_t i = 0; i < panel_.argEnabled.size(); ++i) {
    Control(kArgNameIds[i])->setEnabled(panel_.argEnabled[i]);
    Control(kArgValueIds[i])->setEnabled(panel_.argEnabled[i] && !Running());
  }
}

void TextDump::ReloadOptionDescription() {
  // A running dump keeps the panel it was started with.
  if (Running()) return;
  LoadOptionDescription(Edit(kIdOptionFile)->text().toStdString());
  Controls controls(*this);
  controls.SetText(kIdDescription, values_.Description);
  for (std::size_t i = 0; i < kArgNameIds.size(); ++i) {
    controls.SetText(kArgNameIds[i], values_.ArgName[i]);
  }
}

void TextDump::EnableEditorControls(bool enable) {
  for (const int id : {kIdEditorPathLabel, kIdEditorPath, kIdBrowseEditor}) {
    Control(id)->setEnabled(enable);
  }
}

void TextDump::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    // Enter on a push button presses that button; anywhere else it is the accept action.
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
      button->click();
    } else {
      OnOK();
    }
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

bool TextDump::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut && !storing_) {
    const auto* focus = static_cast<QFocusEvent*>(event);
    const int id = watched->objectName().toInt();
    // Focus taken by another window (a check's own message box, above all) is no reason to
    // store: that would report the same field again and again.
    if (IsNumberField(id) && focus->reason() != Qt::ActiveWindowFocusReason &&
        focus->reason() != Qt::PopupFocusReason) {
      const unsigned generation = storeGeneration_;
      // After the focus change has finished, so that a message box does not open in its middle.
      QMetaObject::invokeMethod(
          this, [this, generation] { StoreAfterFocusLoss(generation); }, Qt::QueuedConnection);
    }
  }
  return QDialog::eventFilter(watched, event);
}

void TextDump::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  // Back from the editor that Edit started: the option file may have changed there.
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && reloadOnActivation_) {
    ReloadOptionDescription();
  }
}

void TextDump::StoreAfterFocusLoss(unsigned generation) {
  // A store that ran since (a button's command) has already checked the fields; a field that
  // lost the focus because a dump started holds what Execute has just stored.
  if (generation != storeGeneration_ || storing_ || !isVisible() || Running()) return;
  UpdateData(true);
}

bool TextDump::EndRunBeforeClosing() {
  if (!Running()) return true;
  askingToStop_ = true;
  const bool stop = AskYesNo(this, QStringLiteral("A dump is running.\nStop it and close?"));
  askingToStop_ = false;
  if (stop) {
    worker_.RequestStop();
    FinishRun(false);
    return true;
  }
  // A run that ended while the question was open is reported now.
  if (worker_.Finished()) FinishRun(true);
  return false;
}

void TextDump::OnOK() {
  if (!EndRunBeforeClosing()) return;
  if (UpdateData(true)) accept();
}

void TextDump::reject() {
  if (!EndRunBeforeClosing()) return;
  QDialog::reject();
}

void TextDump::OnExecute() {
  if (Running()) return;
  if (!UpdateData(true)) return;
  // The option file may have changed since the panel was read; the run takes what it says now.
  ReloadOptionDescription();
  const ExecutePlan plan = PlanExecute(values_, panel_.argEnabled);
  if (plan.step != ExecutePlan::Step::kRun) {
    ShowMessage(this, Q(plan.message), QMessageBox::Critical);
    return;
  }
  StartRun(plan.request);
}

void TextDump::StartRun(const fdc::DumpRequest& request) {
  if (!worker_.Start(request)) return;
  runOutput_ = request.OutputPath;
  runAutoEdit_ = values_.AutoEdit;
  runEditor_ = values_.EditorPath;
  fileLine_->clear();
  progress_->setValue(0);
  progress_->setFormat(QStringLiteral("%p%"));
  SetRunning(true);
}

void TextDump::SetRunning(bool running) {
  if (running) {
    // The focus goes to Stop before the control that has it is disabled.
    runPanel_->show();
    runPanel_->raise();
    fileLine_->show();
    fileLine_->raise();
    stop_->setFocus(Qt::OtherFocusReason);
    for (const int id : kLockedWhileRunning) Control(id)->setEnabled(false);
    setCursor(Qt::BusyCursor);
    return;
  }
  for (const int id : kLockedWhileRunning) Control(id)->setEnabled(true);
  EnableEditorControls(values_.AutoEdit);
  ApplyPanelStates();
  runPanel_->hide();
  fileLine_->hide();
  unsetCursor();
  // Back on the button that started the run, so that Enter does not meet "Cancel".
  Control(kIdExecute)->setFocus(Qt::OtherFocusReason);
}

void TextDump::OnRunProgress(const ProgressSnapshot& progress) {
  if (!Running()) return;
  fileLine_->setText(Q(fdc::ui::FileProgressLine(progress)));
  progress_->setValue(static_cast<int>(progress.runPercent));
  progress_->setFormat(QStringLiteral("%p% - ") + Q(RecordsLine(progress.records)));
}

void TextDump::OnStop() {
  // The run's end arrives as after any other end, with its message.
  worker_.RequestStop();
}

void TextDump::OnRunDone() {
  // A Done of a run already taken (by a close that stopped it) is late news, and one of a run
  // still going cannot be: both are ignored, so that taking an outcome never waits here.
  if (askingToStop_ || !worker_.Active() || !worker_.Finished()) return;
  FinishRun(true);
}

void TextDump::FinishRun(bool tell) {
  std::optional<DumpOutcome> outcome;
  if (worker_.Finished()) {
    outcome = worker_.Collect();
  } else {
    // A run stopped for a close is waited for; it ends at the next record.
    WaitCursor wait;
    outcome = worker_.Collect();
  }
  if (!outcome) return;
  SetRunning(false);
  const RunReport report = ReportRun(runOutput_, outcome->result, outcome->summary);
  emit RunReported(Q(report.statusLine));
  if (!tell) return;
  switch (report.end) {
    case RunEnd::kFailed:
      ShowMessage(this, Q(report.message), QMessageBox::Critical);
      return;
    case RunEnd::kStopped:
      ShowMessage(this, Q(report.message), QMessageBox::Information);
      return;
    case RunEnd::kCreated:
      break;
  }
  if (runAutoEdit_) {
    if (StartEditor(runEditor_, runOutput_)) return;
    // The dump exists; say so, and that the editor did not come up.
    ShowMessage(this, Q(report.message + "\n" + EditorFailedLine(runEditor_)),
                QMessageBox::Information);
    return;
  }
  ShowMessage(this, Q(report.message), QMessageBox::Information);
}

void TextDump::OnEditOptionFile() {
  if (!UpdateData(true)) return;
  if (!StartEditor(values_.EditorPath, values_.OptionFile)) {
    ShowMessage(this, Q(EditorFailedLine(values_.EditorPath)), QMessageBox::Critical);
    return;
  }
  reloadOnActivation_ = true;
}

void TextDump::OnBrowseCaptureFile() {
  const FileDialogChoice choice{QStringLiteral("Open Capture File"),
                                QStringLiteral("FDC Capture File (*.FdcCapt)"),
                                QStringLiteral("FdcCapt"), BrowseStartFor(values_.FileName), true};
  const std::optional<QString> chosen = BrowseForFile(this, choice);
  if (!chosen) return;
  values_.FileName = chosen->toStdString();
  UpdateData(false);
  emit ValuesStored();
}

void TextDump::OnBrowseOptionFile() {
  const FileDialogChoice choice{
      QStringLiteral("Open Option File"), QStringLiteral("Capture Option File (*.opt)"),
      QStringLiteral("opt"), OptionBrowseStart(values_.OptionFile, values_.FileName), true};
  const std::optional<QString> chosen = BrowseForFile(this, choice);
  if (!chosen) return;
  values_.OptionFile = chosen->toStdString();
  LoadOptionDescription(values_.OptionFile);
  UpdateData(false);
  emit ValuesStored();
}

void TextDump::OnBrowseEditor() {
#if defined(Q_OS_WIN)
  const QString suffix = QStringLiteral("exe");
  const QString filter = QStringLiteral("Editor Exe File (*.exe)");
#else
  // Programs carry no extension here.
  const QString suffix;
  const QString filter = QStringLiteral("Editor Program (*)");
#endif
  const FileDialogChoice choice{QStringLiteral("Choose Editor"), filter, suffix,
                                BrowseStartFor(values_.EditorPath), false};
  const std::optional<QString> chosen = BrowseForFile(this, choice);
  if (!chosen) return;
  values_.EditorPath = chosen->toStdString();
  UpdateData(false);
  emit ValuesStored();
}

void TextDump::OnAutoEditClicked() {
  (void)UpdateData(true);
  EnableEditorControls(values_.AutoEdit);
  UpdateData(false);
}
