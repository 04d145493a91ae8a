// FilterBar: the record table's filter — the option file that supplies a ShowOnly equation and
// the names of its arguments, the equation itself, the argument fields the file names, the quick
// filters (station, service, gap above a limit, faults only with the kinds of fault that F8 also
// walks), Apply and Stop, the count of what the table shows, the finding whose records the table
// shows, and a compiler error under the bar with its place underlined in the equation.
#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ui/run_table/table_filter.h"

class QAction;
class QCheckBox;
class QCompleter;
class QStringListModel;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSpinBox;
class QToolButton;

namespace fdc::ui {

class FilterBar : public QWidget {
  Q_OBJECT

 public:
  explicit FilterBar(QWidget* parent = nullptr);

  // Takes the option file's equation (and its argument names) into the bar; an empty path or a
  // file without a ShowOnly section leaves the equation empty. Does not apply it.
  void LoadOptionFile(const QString& path);
  QString OptionFile() const { return optionFile_; }
  // What the fields hold now; the hidden argument fields count as empty.
  FilterInput Input() const;
  // Sets the quick filters (keeping the equation) and applies. Those of a finding (named in
  // `quick.finding`) stay in force until the user changes a filter.
  void ApplyQuick(const QuickFilters& quick);
  // The kinds of fault chosen (RecordMarkKind bits): what "faults only" shows and F8 walks.
  std::uint16_t FaultKinds() const;
  // The table now shows what `input` filters for: its equation is the applied one (the field
  // says when what is typed differs) and goes first among the recent ones.
  void MarkApplied(const FilterInput& input);
  // The equations applied last, the last first (the drop-down beside the field).
  void SetRecentFilters(const std::vector<std::string>& equations);
  const std::vector<std::string>& RecentFilters() const { return recentFilters_; }
  // Empties the equation and the quick filters and applies: every record is shown.
  void ClearAndApply();
  // The health figures' DP events are known: the quick filter of DP events may be chosen.
  void SetDpEventsKnown(bool known);
  // The stations that the station filter offers (those of the health figures, with their role),
  // and the one chosen.
  void SetStations(const std::vector<StationChoice>& stations);

  void ShowError(const FilterError& error);
  void ClearError();
  void SetFiltering(bool running);
  void SetCountText(const QString& text);

  // The parts, for the tests.
  QLineEdit* OptionFileEdit() const { return optionEdit_; }
  QToolButton* BrowseButton() const { return browse_; }
  QLineEdit* EquationEdit() const { return equation_; }
  QLineEdit* ArgEdit(int i) const { return argEdits_[static_cast<std::size_t>(i)]; }
  QLabel* ArgLabel(int i) const { return argLabels_[static_cast<std::size_t>(i)]; }
  QComboBox* StationBox() const { return station_; }
  QComboBox* ServiceBox() const { return service_; }
  QCheckBox* GapCheck() const { return gapCheck_; }
  QSpinBox* GapField() const { return gap_; }
  QCheckBox* FaultsCheck() const { return faults_; }
  QComboBox* FaultKindBox() const { return faultKind_; }
  QMenu* RecentMenu() const { return recentMenu_; }
  QLabel* NotAppliedLabel() const { return notApplied_; }
  QCompleter* NameCompleter() const { return completer_; }
  QLabel* FindingLabel() const { return findingLabel_; }
  QCheckBox* DpEventsCheck() const { return dpEvents_; }
  QPushButton* ApplyButton() const { return apply_; }
  QPushButton* StopButton() const { return stop_; }
  QLabel* CountLabel() const { return count_; }
  QLabel* ErrorLabel() const { return error_; }

 public slots:
  // Applies what the fields hold.
  void Apply();

 signals:
  void Applied(const fdc::ui::FilterInput& input);
  void StopRequested();
  // The user chose another option file (not sent by LoadOptionFile).
  void OptionFileChosen(const QString& path);
  // An equation applied changed the list of recent ones.
  void RecentFiltersChanged(const std::vector<std::string>& equations);

 private:
  // A filter the user changed: a finding's filter gives way to it.
  void ApplyByUser();
  void ShowEquationState();
  // Completes the name being typed at the cursor from the identifiers and argument names.
  void OfferNames();
  void InsertName(const QString& offered);
  void OnBrowse();
  void OnOptionFileEdited();
  void ChooseOptionFile(const QString& path);
  void UnderlineInEquation(int start, int length);

  QString optionFile_;
  QLineEdit* optionEdit_ = nullptr;
  QToolButton* browse_ = nullptr;
  QLabel* description_ = nullptr;
  QLineEdit* equation_ = nullptr;
  QPushButton* apply_ = nullptr;
  QPushButton* stop_ = nullptr;
  QLabel* count_ = nullptr;
  QWidget* argRow_ = nullptr;
  std::array<QLabel*, 4> argLabels_{};
  std::array<QLineEdit*, 4> argEdits_{};
  QComboBox* station_ = nullptr;
  QComboBox* service_ = nullptr;
  QCheckBox* gapCheck_ = nullptr;
  QSpinBox* gap_ = nullptr;
  QCheckBox* faults_ = nullptr;
  QComboBox* faultKind_ = nullptr;
  QCheckBox* dpEvents_ = nullptr;
  QLabel* findingLabel_ = nullptr;
  QAction* recent_ = nullptr;
  QMenu* recentMenu_ = nullptr;
  QLabel* notApplied_ = nullptr;
  QCompleter* completer_ = nullptr;
  QStringListModel* names_ = nullptr;
  std::string applied_;  // the equation the table shows
  std::vector<std::string> recentFilters_;
  std::optional<QuickFilters> finding_;  // the quick filters of the finding shown
  QLabel* error_ = nullptr;
  std::vector<StationChoice> stations_;
  // Quick filter changes made by the program apply once, not per control.
  bool settingQuick_ = false;
};

}  // namespace fdc::ui
