// DetailsPane: the record details under the record table — the tree of the selected record's
// fields beside a hex pane of its bytes as the capture file holds them. Selecting an item
// highlights its bytes; clicking a byte selects the innermost item that covers it; an item that
// names another record (the reply of a request, the request of a reply) leads to it.
#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/bus_statistics.h"
#include "engine/dump_run.h"
#include "engine/run_index.h"
#include "ui/details/record_details.h"

class QPlainTextEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace fdc::ui {

class DetailsPane : public QWidget {
  Q_OBJECT

 public:
  explicit DetailsPane(QWidget* parent = nullptr);

  // The run whose records are shown (both stay until the next call; null: none).
  void SetRun(const DumpRequest* request, const RunIndex* index);
  // The health figures of the run (null: none yet): how the DP layer read each slave's
  // device-related diagnosis blocks, and the GSD files they were computed with (null: none),
  // which the pane keeps while it shows them. The record shown is decoded again.
  void SetHealthFigures(const BusFigures* figures,
                        std::shared_ptr<const dp::GsdLibrary> gsd = nullptr);
  // Shows the record with this reference number; 0 empties the pane.
  void ShowRecord(std::uint32_t ref);
  std::uint32_t Record() const { return ref_; }

  // Selects the innermost item that covers byte `offset` of the record, as a click on it does.
  void SelectByte(int offset);
  // The selected item and those under it as text; the highlighted bytes (all without a
  // highlight) as hex.
  QString SelectedText() const;
  QString SelectedHex() const;
  // The bytes highlighted now (begin, end); empty when none.
  std::vector<int> Highlight() const { return highlight_; }

  QTreeWidget* Tree() const { return tree_; }
  QPlainTextEdit* Hex() const { return hex_; }

 signals:
  // An item that names another record was activated.
  void RecordRequested(quint32 ref);

 private:
  void Rebuild();
  void OnCurrentItemChanged(QTreeWidgetItem* item);
  void OnHexCursorMoved();
  void HighlightBytes(int begin, int end);

  const DumpRequest* request_ = nullptr;
  const RunIndex* index_ = nullptr;
  DpReadings readings_;
  std::shared_ptr<const dp::GsdLibrary> gsd_;  // what readings_.gsd points to
  std::uint32_t ref_ = 0;
  std::vector<std::uint8_t> bytes_;
  std::vector<DetailItem> items_;
  std::vector<int> highlight_;
  bool movingCursor_ = false;
  QTreeWidget* tree_ = nullptr;
  QPlainTextEdit* hex_ = nullptr;
};

}  // namespace fdc::ui
