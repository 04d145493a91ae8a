// The offer of a run's minute files.
#include "ui/run_table/open_run_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

#include "ui/common/app_settings.h"

namespace fdc::ui {

RunMinutesDialog::RunMinutesDialog(const RunFiles& files, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("RunMinutesDialog"));
  setWindowTitle(QString::fromLatin1(kAppName) + QStringLiteral(" - Open Run"));
  auto* layout = new QVBoxLayout(this);
  found_ = new QLabel(
      QStringLiteral("%1 consecutive minute files were found,\nfrom %2 to %3.")
          .arg(files.count)
          .arg(QString::fromStdString(files.firstName), QString::fromStdString(files.lastName)));
  found_->setObjectName(QStringLiteral("found"));
  found_->setTextFormat(Qt::PlainText);
  layout->addWidget(found_);
  auto* form = new QFormLayout;
  minutes_ = new QSpinBox;
  minutes_->setObjectName(QStringLiteral("minutes"));
  minutes_->setRange(1, static_cast<int>(std::max<std::uint32_t>(files.count, 1)));
  minutes_->setValue(minutes_->maximum());
  minutes_->setSuffix(QStringLiteral(" minutes"));
  form->addRow(QStringLiteral("&Open the first"), minutes_);
  layout->addLayout(form);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  minutes_->selectAll();
  minutes_->setFocus();
}

std::uint32_t RunMinutesDialog::Minutes() const {
  return static_cast<std::uint32_t>(minutes_->value());
}

std::optional<std::uint32_t> AskRunMinutes(QWidget* owner, const RunFiles& files) {
  RunMinutesDialog dialog(files, owner);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.Minutes();
}

}  // namespace fdc::ui
