// The keyboard shortcuts dialog.
#include "ui/keyboard_shortcuts.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace fdc::ui {

void ShowKeyboardShortcuts(QWidget* parent, const std::vector<std::pair<QString, QString>>& rows) {
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("keyboardShortcutsDialog"));
  dialog.setWindowTitle(QStringLiteral("Keyboard Shortcuts"));
  auto* layout = new QVBoxLayout(&dialog);
  auto* table = new QTableWidget(static_cast<int>(rows.size()), 2, &dialog);
  table->setObjectName(QStringLiteral("shortcuts"));
  table->setHorizontalHeaderLabels({QStringLiteral("Keys"), QStringLiteral("Action")});
  table->verticalHeader()->hide();
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setTabKeyNavigation(false);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const int row = static_cast<int>(i);
    table->setItem(row, 0, new QTableWidgetItem(rows[i].first));
    table->setItem(row, 1, new QTableWidgetItem(rows[i].second));
  }
  table->resizeColumnsToContents();
  table->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(table);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);
  dialog.resize(560, 520);
  dialog.exec();
}

}  // namespace fdc::ui
