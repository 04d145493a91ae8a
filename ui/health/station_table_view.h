// StationTableView: the health view's station table — its columns in an order of the view's own
// (the model keeps the JSON's), the first of them frozen at the left while the table scrolls
// sideways. The frozen columns are a second table view laid over the table's left edge, showing
// only them: it shares the model, the selection and the sorting, takes the widths and row heights
// of the table and scrolls up and down with it, and never takes the focus.
#pragma once

#include <vector>

#include "ui/common/large_table_view.h"

namespace fdc::ui {

class StationTableView : public LargeTableView {
  Q_OBJECT

 public:
  explicit StationTableView(QWidget* parent = nullptr);

  void setModel(QAbstractItemModel* model) override;
  // Columns left of the frozen ones' right edge are brought out from under them; a frozen
  // column only scrolls the rows.
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

  // Shows the model's columns in `order` (logical indices; the model's others follow in their
  // order), the first `frozen` of them frozen.
  void SetColumnOrder(std::vector<int> order, int frozen);

  // The view laid over the frozen columns, and how wide they are.
  QTableView* FrozenView() const { return frozen_; }
  int FrozenWidth() const;

 protected:
  void updateGeometries() override;

 private:
  void ApplyColumnOrder();
  void PlaceFrozenView();

  QTableView* frozen_ = nullptr;
  std::vector<int> order_;
  int frozenCount_ = 0;
};

}  // namespace fdc::ui
