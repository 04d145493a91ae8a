// The text dump dialog: its template, the exchange with the controls, and its commands.
#include "ui/text_dump.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>

#include "engine/dump_run.h"
#include "ui/app_settings.h"
#include "ui/option_description.h"
#include "ui/platform.h"

using namespace fdc::ui;

namespace {

// An edit without our own limit takes what a line edit can hold.
constexpr int kUnlimitedChars = 32767;

bool IsNumberField(int id) { return id == kIdStartRef || id == kIdEndRef || id == kIdNumMin; }

// Shows the progress of the open capture file in the dialog and keeps the progress line on the
// standard output. The dialog takes no input during the run, so each change is painted at once.
class DialogProgress : public fdc::ProgressObserver {
 public:
  explicit DialogProgress(QProgressBar* bar) : bar_(bar) {}

  void OnProgress(const fdc::RunProgress& progress) override {
    const QString name =
        QFileInfo(QString::fromUtf8(progress.fileName.data(),
                                    static_cast<qsizetype>(progress.fileName.size())))
            .fileName();
    bar_->setFormat(name + QStringLiteral(" %p%"));
    bar_->setValue(static_cast<int>(progress.filePercent));
    bar_->repaint();
  }

 private:
  QProgressBar* bar_;
};

}  // namespace

// The controls as the field table sees them.
class TextDump::Controls : public ControlAccess {
 public:
  explicit Controls(const TextDump& dialog) : dialog_(dialog) {}

  std::string Text(int id) const override { return dialog_.Edit(id)->text().toStdString(); }

  void SetText(int id, const std::string& text) override {
    QLineEdit* edit = dialog_.Edit(id);
    edit->setText(QString::fromStdString(text));
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
  CreateControls();
}

TextDump::~TextDump() = default;

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
  // In the template's tab order.
  AddLabel(QStringLiteral("FileName"), 11, 14, 30, 8);
  AddEdit(kIdFileName, 42, 12, 155, 12);
  AddButton(kIdBrowseCaptureFile, QStringLiteral("Browse"), 200, 12, 29, 14);
  AddLabel(QStringLiteral("OptionFile"), 9, 31, 32, 8);
  AddEdit(kIdOptionFile, 42, 29, 155, 12);
  AddButton(kIdBrowseOptionFile, QStringLiteral("Browse"), 200, 29, 29, 14);
  AddButton(kIdEditOptionFile, QStringLiteral("Edit"), 233, 29, 29, 14);
  AddLabel(QStringLiteral("StartRef"), 12, 49, 27, 8);
  AddEdit(kIdStartRef, 40, 47, 64, 12);
  AddLabel(QStringLiteral("EndRef"), 112, 49, 25, 8);
  AddEdit(kIdEndRef, 138, 47, 64, 12);
  AddLabel(QStringLiteral("NumMin"), 206, 49, 27, 8);
  AddEdit(kIdNumMin, 234, 47, 23, 12);

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

  auto* autoEdit = new QCheckBox(QStringLiteral("Auto Exec Editor"), this);
  autoEdit->setObjectName(QString::number(kIdAutoEdit));
  autoEdit->setGeometry(Place(16, 105, 69, 10));
  controls_[kIdAutoEdit] = autoEdit;
  editorPathLabel_ = AddLabel(QStringLiteral("Editor Path"), 14, 118, 36, 8);
  editorPathLabel_->setObjectName(QString::number(kIdEditorPathLabel));
  editorPathLabel_->setEnabled(false);
  controls_[kIdEditorPathLabel] = editorPathLabel_;
  AddEdit(kIdEditorPath, 51, 116, 80, 12)->setEnabled(false);
  AddButton(kIdBrowseEditor, QStringLiteral("Browse"), 135, 115, 33, 14)->setEnabled(false);
  AddButton(kIdExecute, QStringLiteral("Execute"), 179, 115, 39, 14);
  AddButton(kIdAccept, QStringLiteral("Cancel"), 221, 115, 39, 14);

  // Shown over the check box and the editor row only while a dump runs.
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("progress"));
  progress_->setGeometry(Place(14, 104, 154, 26));
  progress_->setRange(0, 100);
  progress_->setFocusPolicy(Qt::NoFocus);
  progress_->hide();

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
  connect(static_cast<QPushButton*>(Control(kIdAccept)), &QPushButton::clicked, this,
          &TextDump::OnOK);
  connect(autoEdit, &QCheckBox::clicked, this, &TextDump::OnAutoEditClicked);
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

void TextDump::OnInitDialog() {
  ++storeGeneration_;
  UpdateData(false);
  values_.EndRef = 0;
  values_.StartRef = 0;
  values_.NumMin = 1;
  EnableEditorControls(values_.AutoEdit);
  LoadOptionDescription(values_.OptionFile);
  UpdateData(false);
  progress_->hide();
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
  if (!outcome.ok) {
    ShowMessage(this, QString::fromStdString(outcome.message), QMessageBox::Warning);
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
  for (const int id : {kIdArgValue0, kIdArgValue1, kIdArgValue2, kIdArgValue3, kIdArgName0,
                       kIdArgName1, kIdArgName2, kIdArgName3, kIdDescription, kIdPanelGroup}) {
    Control(id)->setEnabled(false);
  }
  const OptionDescription panel = fdc::ui::LoadOptionDescription(path);
  values_.Description = panel.Description;
  values_.ArgName = panel.ArgName;
  Control(kIdDescription)->setEnabled(panel.descriptionEnabled);
  Control(kIdPanelGroup)->setEnabled(panel.descriptionEnabled);
  for (std::size_t i = 0; i < panel.argEnabled.size(); ++i) {
    Control(kArgNameIds[i])->setEnabled(panel.argEnabled[i]);
    Control(kArgValueIds[i])->setEnabled(panel.argEnabled[i]);
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

void TextDump::StoreAfterFocusLoss(unsigned generation) {
  // A store that ran since (a button's command) has already checked the fields.
  if (generation != storeGeneration_ || storing_ || !isVisible()) return;
  UpdateData(true);
}

void TextDump::OnOK() {
  if (UpdateData(true)) accept();
}

fdc::Result TextDump::RunDump(const fdc::DumpRequest& request) {
  WaitCursor wait;
  progress_->setFormat(QString());
  progress_->setValue(0);
  progress_->show();
  progress_->raise();
  progress_->repaint();
  DialogProgress observer(progress_);
  fdc::Result result = fdc::DumpRun(request, &observer);
  progress_->hide();
  return result;
}

void TextDump::OnExecute() {
  if (!UpdateData(true)) return;
  const ExecutePlan plan = PlanExecute(values_);
  if (plan.step != ExecutePlan::Step::kRun) {
    ShowMessage(this, QString::fromStdString(plan.message), QMessageBox::Critical);
    return;
  }
  const fdc::Result result = RunDump(plan.request);
  if (!result.ok()) {
    ShowMessage(this, QString::fromStdString(result.ErrorText()), QMessageBox::Critical);
    return;
  }
  const std::string created = CreatedMessage(plan.request.OutputPath);
  if (values_.AutoEdit) {
    if (StartEditor(values_.EditorPath, plan.request.OutputPath)) return;
    // The dump exists; say so, and that the editor did not come up.
    ShowMessage(this, QString::fromStdString(created + "\n" + EditorFailedLine(values_.EditorPath)),
                QMessageBox::Information);
    return;
  }
  ShowMessage(this, QString::fromStdString(created), QMessageBox::Information);
}

void TextDump::OnEditOptionFile() {
  if (!UpdateData(true)) return;
  if (!StartEditor(values_.EditorPath, values_.OptionFile)) {
    ShowMessage(this, QString::fromStdString(EditorFailedLine(values_.EditorPath)),
                QMessageBox::Critical);
  }
}

void TextDump::OnBrowseCaptureFile() {
  const std::optional<QString> chosen =
      BrowseForFile(this, QString::fromStdString(values_.FileName), QStringLiteral("FdcCapt"),
                    QStringLiteral("FDC Capture File (*.FdcCapt)"));
  if (!chosen) return;
  values_.FileName = chosen->toStdString();
  UpdateData(false);
}

void TextDump::OnBrowseOptionFile() {
  const std::optional<QString> chosen =
      BrowseForFile(this, QString::fromStdString(values_.OptionFile), QStringLiteral("opt"),
                    QStringLiteral("Capture Option File (*.opt)"));
  if (!chosen) return;
  values_.OptionFile = chosen->toStdString();
  LoadOptionDescription(values_.OptionFile);
  UpdateData(false);
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
  const std::optional<QString> chosen =
      BrowseForFile(this, QString::fromStdString(values_.EditorPath), suffix, filter);
  if (!chosen) return;
  values_.EditorPath = chosen->toStdString();
  UpdateData(false);
}

void TextDump::OnAutoEditClicked() {
  (void)UpdateData(true);
  EnableEditorControls(values_.AutoEdit);
  UpdateData(false);
}
