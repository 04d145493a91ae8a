// The station table with its columns reordered for the eye and the first of them frozen.
#include "ui/health/station_table_view.h"

#include <QHeaderView>
#include <QScrollBar>
#include <algorithm>
#include <utility>

namespace fdc::ui {

StationTableView::StationTableView(QWidget* parent)
    : LargeTableView(parent), frozen_(new QTableView(this)) {
  frozen_->setObjectName(QStringLiteral("frozenColumns"));
  frozen_->setFocusPolicy(Qt::NoFocus);
  frozen_->setFrameShape(QFrame::NoFrame);
  frozen_->setTabKeyNavigation(false);
  frozen_->verticalHeader()->hide();
  frozen_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  frozen_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  frozen_->setSelectionBehavior(QAbstractItemView::SelectRows);
  frozen_->setSelectionMode(QAbstractItemView::SingleSelection);
  frozen_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // By pixels, so that the two vertical scroll bars count alike and the columns pass smoothly
  // under the frozen ones.
  setHorizontalScrollMode(ScrollPerPixel);
  setVerticalScrollMode(ScrollPerPixel);
  frozen_->setVerticalScrollMode(ScrollPerPixel);
  viewport()->stackUnder(frozen_);
  frozen_->hide();

  QScrollBar* down = verticalScrollBar();
  QScrollBar* frozenDown = frozen_->verticalScrollBar();
  connect(down, &QAbstractSlider::valueChanged, frozenDown, &QAbstractSlider::setValue);
  connect(frozenDown, &QAbstractSlider::valueChanged, down, &QAbstractSlider::setValue);
  // The frozen view's range follows its rows later than the table's: it takes the table's place
  // again once it can.
  connect(frozenDown, &QAbstractSlider::rangeChanged, this,
          [this] { frozen_->verticalScrollBar()->setValue(verticalScrollBar()->value()); });

  // Widths both ways (the frozen header is the one people can reach), row heights from the table.
  connect(horizontalHeader(), &QHeaderView::sectionResized, this,
          [this](int column, int, int size) {
            if (horizontalHeader()->visualIndex(column) >= frozenCount_) return;
            if (size > 0 && frozen_->columnWidth(column) != size) {
              frozen_->setColumnWidth(column, size);
            }
            PlaceFrozenView();
          });
  connect(frozen_->horizontalHeader(), &QHeaderView::sectionResized, this,
          [this](int column, int, int size) {
            if (size <= 0 || frozen_->isColumnHidden(column) ||
                horizontalHeader()->visualIndex(column) >= frozenCount_) {
              return;
            }
            setColumnWidth(column, size);
          });
  connect(verticalHeader(), &QHeaderView::sectionResized, frozen_,
          [this](int row, int, int size) { frozen_->setRowHeight(row, size); });

  // One sort for both: a click on either header sorts the shared model and marks both.
  connect(horizontalHeader(), &QHeaderView::sortIndicatorChanged, frozen_->horizontalHeader(),
          &QHeaderView::setSortIndicator);
  connect(frozen_->horizontalHeader(), &QHeaderView::sortIndicatorChanged, horizontalHeader(),
          &QHeaderView::setSortIndicator);

  // A click on a frozen cell is a click on the table, which takes the focus.
  connect(frozen_, &QAbstractItemView::pressed, this, [this] { setFocus(Qt::MouseFocusReason); });
  connect(frozen_, &QAbstractItemView::clicked, this, &QAbstractItemView::clicked);
  connect(frozen_, &QAbstractItemView::doubleClicked, this, &QAbstractItemView::doubleClicked);
  connect(frozen_, &QAbstractItemView::activated, this, &QAbstractItemView::activated);

  // A model whose columns change is shown in the order again, once both headers know them.
  connect(horizontalHeader(), &QHeaderView::sectionCountChanged, this,
          &StationTableView::ApplyColumnOrder, Qt::QueuedConnection);
}

void StationTableView::setModel(QAbstractItemModel* model) {
  LargeTableView::setModel(model);
  frozen_->setModel(model);
  if (model != nullptr) frozen_->setSelectionModel(selectionModel());
  ApplyColumnOrder();
}

void StationTableView::SetColumnOrder(std::vector<int> order, int frozen) {
  order_ = std::move(order);
  frozenCount_ = std::max(frozen, 0);
  ApplyColumnOrder();
}

void StationTableView::ApplyColumnOrder() {
  QAbstractItemModel* shown = model();
  if (shown == nullptr || frozen_->model() != shown) return;
  const int count = shown->columnCount();
  std::vector<int> order;
  std::vector<bool> placed(static_cast<std::size_t>(std::max(count, 0)), false);
  for (const int column : order_) {
    if (column < 0 || column >= count || placed[static_cast<std::size_t>(column)]) continue;
    placed[static_cast<std::size_t>(column)] = true;
    order.push_back(column);
  }
  for (int column = 0; column < count; ++column) {
    if (!placed[static_cast<std::size_t>(column)]) order.push_back(column);
  }
  for (QHeaderView* header : {horizontalHeader(), frozen_->horizontalHeader()}) {
    for (int visual = 0; visual < count; ++visual) {
      header->moveSection(header->visualIndex(order[static_cast<std::size_t>(visual)]), visual);
    }
  }
  const int frozen = std::min(frozenCount_, count);
  for (int visual = 0; visual < count; ++visual) {
    const int column = order[static_cast<std::size_t>(visual)];
    frozen_->setColumnHidden(column, visual >= frozen);
    if (visual < frozen) frozen_->setColumnWidth(column, columnWidth(column));
  }
  // Sorted as the table is, by the same clicks.
  QHeaderView* header = horizontalHeader();
  frozen_->horizontalHeader()->setSortIndicatorShown(header->isSortIndicatorShown());
  frozen_->horizontalHeader()->setSortIndicator(header->sortIndicatorSection(),
                                                header->sortIndicatorOrder());
  frozen_->setSortingEnabled(isSortingEnabled());
  frozen_->setVisible(frozen > 0);
  PlaceFrozenView();
}

int StationTableView::FrozenWidth() const {
  int width = 0;
  for (int visual = 0; visual < frozenCount_ && visual < horizontalHeader()->count(); ++visual) {
    const int column = horizontalHeader()->logicalIndex(visual);
    if (!isColumnHidden(column)) width += columnWidth(column);
  }
  return width;
}

void StationTableView::scrollTo(const QModelIndex& index, ScrollHint hint) {
  if (!index.isValid()) return;
  QScrollBar* across = horizontalScrollBar();
  const int left = across->value();
  LargeTableView::scrollTo(index, hint);
  if (horizontalHeader()->visualIndex(index.column()) < frozenCount_) {
    across->setValue(left);  // always in sight: only the rows move
    return;
  }
  const int covered = FrozenWidth() - columnViewportPosition(index.column());
  if (covered > 0) across->setValue(across->value() - covered);
}

void StationTableView::updateGeometries() {
  LargeTableView::updateGeometries();
  PlaceFrozenView();
}

void StationTableView::PlaceFrozenView() {
  QHeaderView* rows = frozen_->verticalHeader();
  if (rows->minimumSectionSize() != verticalHeader()->minimumSectionSize()) {
    rows->setMinimumSectionSize(verticalHeader()->minimumSectionSize());
  }
  if (rows->defaultSectionSize() != verticalHeader()->defaultSectionSize()) {
    rows->setDefaultSectionSize(verticalHeader()->defaultSectionSize());
  }
  const int headerHeight = horizontalHeader()->isHidden() ? 0 : horizontalHeader()->height();
  QHeaderView* frozenHeader = frozen_->horizontalHeader();
  frozenHeader->setVisible(headerHeight > 0);
  if (headerHeight > 0 && (frozenHeader->minimumHeight() != headerHeight ||
                           frozenHeader->maximumHeight() != headerHeight)) {
    frozenHeader->setFixedHeight(headerHeight);
  }
  const QRect area = viewport()->geometry();
  frozen_->setGeometry(area.left(), area.top() - headerHeight, FrozenWidth(),
                       area.height() + headerHeight);
}

}  // namespace fdc::ui
