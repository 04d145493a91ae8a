// The table view without type-ahead search.
#include "ui/common/large_table_view.h"

namespace fdc::ui {

LargeTableView::LargeTableView(QWidget* parent) : QTableView(parent) { setTabKeyNavigation(false); }

void LargeTableView::keyboardSearch(const QString& search) {
  if (search.isEmpty()) return;
  for (const QChar c : search) {
    if (!c.isDigit()) return;
  }
  emit DigitsTyped(search);
}

}  // namespace fdc::ui
