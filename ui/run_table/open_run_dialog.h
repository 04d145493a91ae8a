// RunMinutesDialog: offers the consecutive minute files found from the capture file the user
// opens; the user may shorten the run.
#pragma once

#include <QDialog>
#include <cstdint>
#include <optional>

#include "ui/run_table/run_files.h"

class QLabel;
class QSpinBox;

namespace fdc::ui {

class RunMinutesDialog : public QDialog {
  Q_OBJECT

 public:
  RunMinutesDialog(const RunFiles& files, QWidget* parent = nullptr);

  std::uint32_t Minutes() const;
  QSpinBox* MinutesField() const { return minutes_; }
  QLabel* FoundLabel() const { return found_; }

 private:
  QLabel* found_ = nullptr;
  QSpinBox* minutes_ = nullptr;
};

// Shows the dialog; the minute files to open, or nothing when the user cancels.
std::optional<std::uint32_t> AskRunMinutes(QWidget* owner, const RunFiles& files);

}  // namespace fdc::ui
