// RecordTableModel: the record table as a virtual model over an index of the run — rows read and
// formatted on demand, a block at a time, and kept in a few blocks; rows added while the index
// grows. A view keeps some bytes for every row of its model, so the model shows a window of at
// most WindowLimit() rows of the run, which moves to where the table is sent; the run view's own
// scroll bar stands for the whole run.
#pragma once

#include <QAbstractTableModel>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/run_index.h"
#include "ui/run_table/row_texts.h"

namespace fdc::ui {

class RecordTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // A row's RowClass as an int, for the view's colours.
  static constexpr int kRowClassRole = Qt::UserRole + 1;
  // The run row of a view row (a qulonglong).
  static constexpr int kRunRowRole = Qt::UserRole + 2;
  // Rows of the run the view holds at once. A view keeps 8 bytes for each row of its model, so the
  // window is kept small (some megabytes however long the run); the run view's own scroll bar
  // moves it anywhere in the run.
  static constexpr std::uint64_t kDefaultWindowLimit = 200'000;
  static constexpr std::uint64_t kBlockRows = 128;

  explicit RecordTableModel(QObject* parent = nullptr);
  ~RecordTableModel() override;

  // Shows the rows of `index`: every row when `filter` is null, else the records it lets through
  // (the index being that filter's match index). All three must stay until the next SetSource or
  // Clear.
  void SetSource(const DumpRequest& request, const RunIndex& index, const RecordFilter* filter);
  void Clear();
  // The slot time the rows' marks judge replies by (the health view's); 0: by the first file's
  // baud rate. The rows shown are read again with it.
  void SetSlotTime(std::uint32_t bits);
  // The records that carry events of the DP layer (their requests), by reference number in
  // ascending order, with the kinds of their events a bit each (DpEventKind); null: none known.
  // Their tooltips name the kinds, and a sound one takes a ground of its own.
  struct DpEventMark {
    std::uint32_t ref = 0;
    std::uint32_t kinds = 0;
  };
  void SetDpEvents(std::shared_ptr<const std::vector<DpEventMark>> events);
  bool HasSource() const { return index_ != nullptr; }
  // Takes the rows the index has gained since the last call.
  void Refresh();

  // The rows of the run that the source has now, and the window of them the model shows.
  std::uint64_t TotalRows() const { return total_; }
  std::uint64_t WindowStart() const { return windowStart_; }
  std::uint64_t WindowLimit() const { return windowLimit_; }
  void SetWindowLimit(std::uint64_t rows);
  // Moves the window so that it holds run row `row` near its middle, when it does not hold it
  // already; returns the view row of `row` (-1 when the source has no such row).
  int ShowRunRow(std::uint64_t row);
  std::uint64_t RunRowOf(int viewRow) const {
    return windowStart_ + static_cast<std::uint64_t>(viewRow);
  }

  // A run row's texts; null when it cannot be read.
  const RowTexts* Row(std::uint64_t runRow) const;
  // What a row that cannot be read shows in place of its data: "record could not be read: REASON".
  QString UnreadText() const;
  // What the row's tooltip says: why it is faulty, the DP service of its SAPs.
  QString RowTip(std::uint64_t runRow) const;
  // The reader's failure at the last read, if any.
  const std::string& ReadError() const { return readError_; }
  // A reader over the same source, for the navigation.
  RowReader* Reader() const { return reader_.get(); }
  const RunIndex* Index() const { return index_; }
  const RecordFilter* Filter() const { return filter_; }
  std::span<const CaptureFileInfo> Files() const { return files_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

 private:
  struct Block {
    std::uint64_t first = 0;
    std::vector<RowTexts> rows;  // fewer than kBlockRows at the end of the source
    std::vector<std::string> tips;
    std::uint64_t lastUse = 0;
  };
  static constexpr std::size_t kMaxBlocks = 16;

  int WindowRows() const;
  // The block that holds `runRow`, read when needed; null when the row cannot be read.
  const Block* BlockFor(std::uint64_t runRow) const;
  void DropBlocks();

  const DumpRequest* request_ = nullptr;
  const RunIndex* index_ = nullptr;
  const RecordFilter* filter_ = nullptr;
  std::unique_ptr<RowReader> reader_;
  std::uint32_t slotTimeBits_ = 0;
  std::shared_ptr<const std::vector<DpEventMark>> dpEvents_;
  // The DP events' words for a record's tooltip, and whether it has any.
  bool AddDpEventTip(std::uint32_t ref, std::string& tip) const;
  std::vector<CaptureFileInfo> files_;
  std::uint64_t total_ = 0;
  std::uint64_t windowStart_ = 0;
  std::uint64_t windowLimit_ = kDefaultWindowLimit;
  int shownRows_ = 0;  // rows the view has been told of
  // The blocks read last, the least used one replaced first: reading is caching, so the view's
  // const questions fill them.
  mutable std::vector<Block> blocks_;
  mutable std::uint64_t uses_ = 0;
  mutable std::string readError_;
};

}  // namespace fdc::ui
