// LargeTableView: a table view that stays responsive over a model of any size — no type-ahead
// search (Qt's would decode every row on the user interface thread), and Tab leaves the table
// instead of moving between its cells. Digits typed are handed on (the record table opens Go to
// with them); other printable keys do nothing.
#pragma once

#include <QTableView>

namespace fdc::ui {

class LargeTableView : public QTableView {
  Q_OBJECT

 public:
  explicit LargeTableView(QWidget* parent = nullptr);

  void keyboardSearch(const QString& search) override;

 signals:
  void DigitsTyped(const QString& digits);
};

}  // namespace fdc::ui
