// The filter bar's controls: the option file, the equation and its arguments, the quick filters,
// and the error under the bar.
#include "ui/run_table/filter_bar.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QStringListModel>
#include <QStyle>
#include <QTextCharFormat>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "options/options.h"
#include "ui/common/browse_start.h"
#include "ui/common/option_description.h"
#include "ui/common/platform.h"
#include "ui/common/window_settings.h"
#include "ui/run_table/flow_layout.h"

namespace fdc::ui {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The equation as it stands in the option file, on one line without the blanks at its ends.
QString EquationOf(const std::string& collected) { return Q(collected).trimmed(); }

}  // namespace

FilterBar::FilterBar(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("filterBar"));
  auto* rows = new QVBoxLayout(this);
  rows->setContentsMargins(4, 4, 4, 2);
  rows->setSpacing(3);

  auto* fileRow = new QHBoxLayout;
  auto* fileLabel = new QLabel(QStringLiteral("&Option file:"));
  optionEdit_ = new QLineEdit;
  optionEdit_->setObjectName(QStringLiteral("optionFile"));
  optionEdit_->setToolTip(
      QStringLiteral("The option file that supplies the ShowOnly equation and the names of its "
                     "arguments (its column switches do not change the table)"));
  fileLabel->setBuddy(optionEdit_);
  browse_ = new QToolButton;
  browse_->setObjectName(QStringLiteral("browseOptionFile"));
  browse_->setText(QStringLiteral("..."));
  browse_->setToolTip(QStringLiteral("Choose the option file"));
  description_ = new QLabel;
  description_->setObjectName(QStringLiteral("description"));
  description_->setTextFormat(Qt::PlainText);
  description_->setMinimumWidth(1);
  fileRow->addWidget(fileLabel);
  fileRow->addWidget(optionEdit_, 2);
  fileRow->addWidget(browse_);
  fileRow->addWidget(description_, 3);
  rows->addLayout(fileRow);

  auto* equationRow = new QHBoxLayout;
  auto* equationLabel = new QLabel(QStringLiteral("&ShowOnly:"));
  equation_ = new QLineEdit;
  equation_->setObjectName(QStringLiteral("equation"));
  equation_->setPlaceholderText(
      QStringLiteral("a ShowOnly equation, e.g. SA == 5 && STS != STSOK"));
  equation_->setToolTip(
      QStringLiteral("The records for which the equation is not 0 are shown; Enter applies it"));
  equationLabel->setBuddy(equation_);
  // The bar's mnemonics leave Alt+F, Alt+G, Alt+A and Alt+H to the menus.
  apply_ = new QPushButton(QStringLiteral("App&ly"));
  apply_->setObjectName(QStringLiteral("apply"));
  stop_ = new QPushButton(QStringLiteral("Sto&p"));
  stop_->setObjectName(QStringLiteral("stopFilter"));
  stop_->setEnabled(false);
  count_ = new QLabel;
  count_->setObjectName(QStringLiteral("count"));
  count_->setTextFormat(Qt::PlainText);
  // The recent equations drop down from an arrow inside the field, which takes no room of the row.
  recentMenu_ = new QMenu(this);
  recentMenu_->setObjectName(QStringLiteral("recentFilters"));
  recent_ = equation_->addAction(style()->standardIcon(QStyle::SP_ArrowDown),
                                 QLineEdit::TrailingPosition);
  recent_->setToolTip(QStringLiteral("The equations applied last"));
  recent_->setEnabled(false);
  connect(recent_, &QAction::triggered, this,
          [this] { recentMenu_->popup(equation_->mapToGlobal(equation_->rect().bottomLeft())); });
  names_ = new QStringListModel(this);
  completer_ = new QCompleter(names_, this);
  completer_->setCaseSensitivity(Qt::CaseInsensitive);
  completer_->setFilterMode(Qt::MatchContains);
  completer_->setWidget(equation_);
  notApplied_ = new QLabel;
  notApplied_->setObjectName(QStringLiteral("notApplied"));
  notApplied_->setTextFormat(Qt::PlainText);
  notApplied_->setWordWrap(true);
  // A long equation wraps or is cut; it never widens the bar.
  notApplied_->setMinimumWidth(1);
  notApplied_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  notApplied_->hide();
  equationRow->addWidget(equationLabel);
  equationRow->addWidget(equation_, 1);
  equationRow->addWidget(apply_);
  rows->addLayout(equationRow);
  rows->addWidget(notApplied_);

  argRow_ = new QWidget;
  auto* argLayout = new QHBoxLayout(argRow_);
  argLayout->setContentsMargins(0, 0, 0, 0);
  for (std::size_t i = 0; i < argEdits_.size(); ++i) {
    argLabels_[i] = new QLabel;
    argLabels_[i]->setTextFormat(Qt::PlainText);
    argEdits_[i] = new QLineEdit;
    argEdits_[i]->setObjectName(QStringLiteral("arg%1").arg(i));
    argEdits_[i]->setToolTip(QStringLiteral("CmdArg[%1]: decimal or 0x hexadecimal").arg(i));
    argEdits_[i]->setMaxLength(20);
    argEdits_[i]->setMaximumWidth(110);
    argLabels_[i]->setBuddy(argEdits_[i]);
    argLayout->addWidget(argLabels_[i]);
    argLayout->addWidget(argEdits_[i]);
    connect(argEdits_[i], &QLineEdit::returnPressed, this, &FilterBar::ApplyByUser);
  }
  argLayout->addStretch(1);
  rows->addWidget(argRow_);

  auto* stationLabel = new QLabel(QStringLiteral("S&tation:"));
  station_ = new QComboBox;
  station_->setObjectName(QStringLiteral("station"));
  station_->setToolTip(
      QStringLiteral("Frames sent by or to the station, and the short acknowledgements (SC) that "
                     "answer its requests"));
  station_->addItem(QStringLiteral("Any"), -1);
  stationLabel->setBuddy(station_);
  auto* serviceLabel = new QLabel(QStringLiteral("Ser&vice:"));
  service_ = new QComboBox;
  service_->setObjectName(QStringLiteral("service"));
  for (const QuickServiceInfo& info : kQuickServices) {
    service_->addItem(QString::fromUtf8(info.label.data(), static_cast<int>(info.label.size())),
                      static_cast<int>(info.service));
  }
  serviceLabel->setBuddy(service_);
  gapCheck_ = new QCheckBox(QStringLiteral("Gap a&bove"));
  gapCheck_->setObjectName(QStringLiteral("gapAbove"));
  gap_ = new QSpinBox;
  gap_->setObjectName(QStringLiteral("gap"));
  gap_->setRange(0, 100'000'000);
  gap_->setValue(1000);
  gap_->setSuffix(QStringLiteral(" µs"));
  gap_->setKeyboardTracking(false);
  gap_->setToolTip(QStringLiteral("Telegrams after an idle gap longer than this"));
  faults_ = new QCheckBox(QStringLiteral("Faults onl&y"));
  faults_->setObjectName(QStringLiteral("faultsOnly"));
  faults_->setToolTip(QStringLiteral("Only the records with a fault of the kinds chosen beside"));
  faultKind_ = new QComboBox;
  faultKind_->setObjectName(QStringLiteral("faultKind"));
  for (const FaultChoice& choice : kFaultChoices) {
    faultKind_->addItem(
        QString::fromUtf8(choice.label.data(), static_cast<int>(choice.label.size())),
        int{choice.kinds});
  }
  faultKind_->setToolTip(QStringLiteral(
      "Damaged frames: a status bit, a telegram that does not decode, a wrong FCS or ED.\n"
      "Protocol faults: a request without a valid reply within the slot time, a late, corrupt, "
      "early or negative reply, a reply flagging diagnosis, a request or token after less than "
      "33 bit times of idle.\nFaults only shows these kinds; F8 and Shift+F8 move to them."));
  findingLabel_ = new QLabel;
  findingLabel_->setObjectName(QStringLiteral("findingShown"));
  findingLabel_->setWordWrap(true);
  findingLabel_->hide();
  dpEvents_ = new QCheckBox(QStringLiteral("&DP events"));
  dpEvents_->setObjectName(QStringLiteral("dpEvents"));
  dpEvents_->setToolTip(QStringLiteral(
      "The requests that carry a DP event (a state change, a diagnosis change, Set_Prm, Chk_Cfg, "
      "Get_Cfg, Global_Control, Set_Slave_Add, a failed check) and their replies, as the health "
      "figures found them"));
  dpEvents_->setEnabled(false);
  // The quick filters and the count wrap onto a second line in a narrow window; a label stays
  // with its field.
  auto* quickRow = new QWidget;
  auto* flow = new FlowLayout(quickRow);
  const auto pair = [flow](QWidget* first, QWidget* second) {
    auto* box = new QWidget;
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    layout->addWidget(first);
    layout->addWidget(second);
    flow->addWidget(box);
  };
  pair(stationLabel, station_);
  pair(serviceLabel, service_);
  pair(gapCheck_, gap_);
  pair(faults_, faultKind_);
  flow->addWidget(dpEvents_);
  // Stop stands with the count of the pass it ends.
  pair(count_, stop_);
  rows->addWidget(quickRow);
  rows->addWidget(findingLabel_);

  error_ = new QLabel;
  error_->setObjectName(QStringLiteral("filterError"));
  error_->setTextFormat(Qt::RichText);
  error_->setWordWrap(true);
  error_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  error_->setStyleSheet(QStringLiteral("color: #b00000"));
  error_->hide();
  rows->addWidget(error_);

  // The bar must not widen the window it sits in: narrow windows cut it instead.
  setMinimumWidth(1);
  for (int i = 0; i < 4; ++i) argLabels_[static_cast<std::size_t>(i)]->hide();
  for (QLineEdit* edit : argEdits_) edit->hide();
  argRow_->hide();

  connect(apply_, &QPushButton::clicked, this, &FilterBar::ApplyByUser);
  connect(stop_, &QPushButton::clicked, this, &FilterBar::StopRequested);
  connect(equation_, &QLineEdit::returnPressed, this, &FilterBar::ApplyByUser);
  connect(equation_, &QLineEdit::textEdited, this, [this] {
    UnderlineInEquation(0, 0);
    OfferNames();
  });
  connect(equation_, &QLineEdit::textChanged, this, &FilterBar::ShowEquationState);
  connect(completer_, qOverload<const QString&>(&QCompleter::activated), this,
          &FilterBar::InsertName);
  connect(browse_, &QToolButton::clicked, this, &FilterBar::OnBrowse);
  connect(optionEdit_, &QLineEdit::editingFinished, this, &FilterBar::OnOptionFileEdited);
  auto quickChanged = [this] {
    if (!settingQuick_) ApplyByUser();
  };
  connect(station_, &QComboBox::currentIndexChanged, this, quickChanged);
  connect(service_, &QComboBox::currentIndexChanged, this, quickChanged);
  connect(gapCheck_, &QCheckBox::toggled, this, quickChanged);
  connect(gap_, &QSpinBox::valueChanged, this, [this, quickChanged] {
    if (gapCheck_->isChecked()) quickChanged();
  });
  connect(faults_, &QCheckBox::toggled, this, quickChanged);
  connect(faultKind_, &QComboBox::currentIndexChanged, this, [this, quickChanged] {
    if (faults_->isChecked()) quickChanged();
  });
  connect(dpEvents_, &QCheckBox::toggled, this, quickChanged);
}

void FilterBar::LoadOptionFile(const QString& path) {
  optionFile_ = path;
  optionEdit_->setText(path);
  const OptionDescription panel = LoadOptionDescription(path.toStdString());
  description_->setText(panel.descriptionEnabled ? Q(panel.description) : QString());
  description_->setToolTip(description_->text());
  bool anyArgument = false;
  for (std::size_t i = 0; i < argEdits_.size(); ++i) {
    const bool named = panel.argEnabled[i];
    argLabels_[i]->setText(Q(panel.argName[i]) + QStringLiteral(":"));
    argLabels_[i]->setVisible(named);
    argEdits_[i]->setVisible(named);
    anyArgument = anyArgument || named;
  }
  argRow_->setVisible(anyArgument);
  std::array<std::string, 4> argNames;
  for (std::size_t i = 0; i < argNames.size(); ++i) {
    if (panel.argEnabled[i]) argNames[i] = panel.argName[i];
  }
  QStringList names;
  for (const std::string& name : EquationNames(argNames)) names << Q(name);
  names_->setStringList(names);

  ClearError();
  auto options = std::make_unique<DumpOptions>();
  auto program = std::make_unique<ShowOnlyProgram>();
  const Result read = ReadOptionFile(path.toStdString(), *options, *program);
  equation_->setText(EquationOf(program->text));
  UnderlineInEquation(0, 0);
  if (read.failed() && program->text.empty()) {
    // A faulty option line: the equation is not the trouble, the file is.
    ShowError(FilterError{read.ErrorText()});
  }
}

FilterInput FilterBar::Input() const {
  FilterInput input;
  input.equation = equation_->text().toStdString();
  for (std::size_t i = 0; i < argEdits_.size(); ++i) {
    if (!argEdits_[i]->isHidden()) input.args[i] = argEdits_[i]->text().toStdString();
  }
  if (finding_) {
    input.quick = *finding_;
    return input;
  }
  const int station = station_->currentData().toInt();
  if (station >= 0) input.quick.station = static_cast<std::uint8_t>(station);
  input.quick.service = static_cast<QuickService>(service_->currentData().toInt());
  if (gapCheck_->isChecked()) input.quick.gapAboveUs = gap_->value();
  if (faults_->isChecked()) input.quick.marks = FaultKinds();
  input.quick.dpEvents = dpEvents_->isChecked();
  return input;
}

std::uint16_t FilterBar::FaultKinds() const {
  return static_cast<std::uint16_t>(faultKind_->currentData().toInt());
}

void FilterBar::Apply() { emit Applied(Input()); }

void FilterBar::ApplyByUser() {
  if (finding_) {
    finding_.reset();
    findingLabel_->hide();
  }
  Apply();
}

void FilterBar::ApplyQuick(const QuickFilters& quick) {
  settingQuick_ = true;
  if (quick.station && station_->findData(*quick.station) < 0) {
    std::vector<StationChoice> offered = stations_;
    offered.push_back({*quick.station, {}});
    SetStations(offered);
  }
  station_->setCurrentIndex(std::max(0, station_->findData(quick.station ? *quick.station : -1)));
  service_->setCurrentIndex(std::max(0, service_->findData(static_cast<int>(quick.service))));
  gapCheck_->setChecked(quick.gapAboveUs.has_value());
  if (quick.gapAboveUs) gap_->setValue(*quick.gapAboveUs);
  faults_->setChecked(quick.marks != 0);
  const int kinds = faultKind_->findData(int{quick.marks});
  if (kinds >= 0) faultKind_->setCurrentIndex(kinds);
  dpEvents_->setChecked(quick.dpEvents);
  finding_.reset();
  if (!quick.finding.empty()) finding_ = quick;
  findingLabel_->setText(QStringLiteral("Showing the records of the finding: %1 (F8 and Shift+F8 "
                                        "step through them; changing a filter ends this)")
                             .arg(Q(quick.finding)));
  findingLabel_->setVisible(finding_.has_value());
  settingQuick_ = false;
  Apply();
}

void FilterBar::MarkApplied(const FilterInput& input) {
  applied_ = input.equation;
  ShowEquationState();
  const std::vector<std::string> before = recentFilters_;
  AddRecentFilter(recentFilters_, input.equation);
  if (recentFilters_ == before) return;
  SetRecentFilters(recentFilters_);
  emit RecentFiltersChanged(recentFilters_);
}

void FilterBar::SetRecentFilters(const std::vector<std::string>& equations) {
  recentFilters_ = equations;
  QMenu* menu = recentMenu_;
  menu->clear();
  for (const std::string& equation : recentFilters_) {
    QAction* action = menu->addAction(Q(equation));
    connect(action, &QAction::triggered, this, [this, text = Q(equation)] {
      equation_->setText(text);
      ApplyByUser();
    });
  }
  recent_->setEnabled(!recentFilters_.empty());
}

void FilterBar::ShowEquationState() {
  // As a packet analyser's filter field: green when the equation compiles, red when not, the
  // field's own colour when nothing is typed.
  const std::string typed = equation_->text().toStdString();
  QPalette colours = equation_->style()->standardPalette();
  switch (CheckEquation(typed)) {
    case EquationState::kValid:
      colours.setColor(QPalette::Base, QColor(0xaf, 0xff, 0xaf));
      break;
    case EquationState::kInvalid:
      colours.setColor(QPalette::Base, QColor(0xff, 0xaf, 0xaf));
      break;
    case EquationState::kEmpty:
      colours = equation_->parentWidget()->palette();
      break;
  }
  equation_->setPalette(colours);
  equation_->setProperty("equationState", static_cast<int>(CheckEquation(typed)));
  const bool edited = typed != applied_;
  notApplied_->setText(QStringLiteral("Not applied — the table still shows: %1")
                           .arg(applied_.empty() ? QStringLiteral("every record") : Q(applied_)));
  notApplied_->setVisible(edited);
}

void FilterBar::OfferNames() {
  const std::string text = equation_->text().toStdString();
  const auto cursor = static_cast<std::size_t>(equation_->cursorPosition());
  const TypedWord word = WordAt(text, cursor);
  if (word.length == 0 || word.start + word.length != cursor) {
    completer_->popup()->hide();
    return;
  }
  completer_->setCompletionPrefix(Q(text.substr(word.start, word.length)));
  if (completer_->completionCount() == 0) {
    completer_->popup()->hide();
    return;
  }
  completer_->complete();
}

void FilterBar::InsertName(const QString& offered) {
  const std::string text = equation_->text().toStdString();
  const auto cursor = static_cast<std::size_t>(equation_->cursorPosition());
  const TypedWord word = WordAt(text, cursor);
  const std::string name(InsertedName(offered.toStdString()));
  const std::string replaced =
      text.substr(0, word.start) + name + text.substr(word.start + word.length);
  equation_->setText(Q(replaced));
  equation_->setCursorPosition(static_cast<int>(word.start + name.size()));
}

void FilterBar::SetDpEventsKnown(bool known) {
  dpEvents_->setEnabled(known || dpEvents_->isChecked());
}

void FilterBar::ClearAndApply() {
  equation_->clear();
  ApplyQuick(QuickFilters{});
}

void FilterBar::SetStations(const std::vector<StationChoice>& stations) {
  std::vector<StationChoice> offered = stations;
  const int chosen = station_->currentData().toInt();
  const bool chosenOffered =
      std::any_of(offered.begin(), offered.end(),
                  [chosen](const StationChoice& s) { return s.address == chosen; });
  if (chosen >= 0 && !chosenOffered) offered.push_back({static_cast<std::uint8_t>(chosen), {}});
  std::sort(offered.begin(), offered.end(),
            [](const StationChoice& a, const StationChoice& b) { return a.address < b.address; });
  if (offered == stations_) return;
  stations_ = offered;
  const bool wasSetting = settingQuick_;
  settingQuick_ = true;
  station_->clear();
  station_->addItem(QStringLiteral("Any"), -1);
  for (const StationChoice& s : offered) {
    const QString text = s.role.empty() ? QString::number(s.address)
                                        : QStringLiteral("%1 (%2)").arg(s.address).arg(Q(s.role));
    station_->addItem(text, int{s.address});
  }
  station_->setCurrentIndex(std::max(0, station_->findData(chosen)));
  settingQuick_ = wasSetting;
}

void FilterBar::ShowError(const FilterError& error) {
  QString text = Q(error.message).toHtmlEscaped().replace('\n', QStringLiteral("<br>"));
  const QString typed = equation_->text();
  if (error.placed && error.start <= static_cast<std::size_t>(typed.size())) {
    const auto start = static_cast<int>(error.start);
    const auto length = static_cast<int>(
        std::min<std::size_t>(error.length, static_cast<std::size_t>(typed.size()) - error.start));
    text += QStringLiteral("<br><tt>") + typed.left(start).toHtmlEscaped() +
            QStringLiteral("<u><b>") + typed.mid(start, length).toHtmlEscaped() +
            QStringLiteral("</b></u>") + typed.mid(start + length).toHtmlEscaped() +
            QStringLiteral("</tt>");
    UnderlineInEquation(start, length);
  } else {
    UnderlineInEquation(0, 0);
  }
  error_->setText(text);
  error_->show();
}

void FilterBar::ClearError() {
  error_->clear();
  error_->hide();
  UnderlineInEquation(0, 0);
}

void FilterBar::SetFiltering(bool running) { stop_->setEnabled(running); }

void FilterBar::SetCountText(const QString& text) { count_->setText(text); }

void FilterBar::UnderlineInEquation(int start, int length) {
  // A line edit draws the formats of an input method's attributes; they are given relative to
  // the cursor, and an event without attributes takes them away.
  QList<QInputMethodEvent::Attribute> attributes;
  if (length > 0) {
    QTextCharFormat format;
    format.setUnderlineStyle(QTextCharFormat::WaveUnderline);
    format.setUnderlineColor(Qt::red);
    attributes << QInputMethodEvent::Attribute(QInputMethodEvent::TextFormat,
                                               start - equation_->cursorPosition(), length, format);
  }
  QInputMethodEvent event(QString(), attributes);
  QCoreApplication::sendEvent(equation_, &event);
}

void FilterBar::OnBrowse() {
  const FileDialogChoice choice{
      QStringLiteral("Option File for the Filter"), QStringLiteral("Capture Option File (*.opt)"),
      QStringLiteral("opt"), BrowseStartFor(optionFile_.toStdString()), true};
  if (const std::optional<QString> chosen = BrowseForFile(this, choice)) ChooseOptionFile(*chosen);
}

void FilterBar::OnOptionFileEdited() {
  const QString typed = optionEdit_->text().trimmed();
  if (typed != optionFile_) ChooseOptionFile(typed);
}

void FilterBar::ChooseOptionFile(const QString& path) {
  LoadOptionFile(path);
  emit OptionFileChosen(path);
  Apply();
}

}  // namespace fdc::ui
