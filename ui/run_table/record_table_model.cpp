// The record table's model: the window over the source, blocks of rows read on demand.
#include "ui/run_table/record_table_model.h"

#include <algorithm>
#include <tuple>

#include "engine/dp_tracker.h"

namespace fdc::ui {

RecordTableModel::RecordTableModel(QObject* parent) : QAbstractTableModel(parent) {
  // Rows handed out stay where they are while other blocks are read.
  blocks_.reserve(kMaxBlocks);
}

RecordTableModel::~RecordTableModel() = default;

void RecordTableModel::SetSource(const DumpRequest& request, const RunIndex& index,
                                 const RecordFilter* filter) {
  beginResetModel();
  request_ = &request;
  index_ = &index;
  filter_ = filter;
  reader_ = std::make_unique<RowReader>(request, index, filter);
  reader_->SetSlotTime(slotTimeBits_);
  DropBlocks();
  readError_.clear();
  total_ = index.Rows();
  files_ = index.Files();
  windowStart_ = 0;
  shownRows_ = WindowRows();
  endResetModel();
}

void RecordTableModel::SetSlotTime(std::uint32_t bits) {
  if (bits == slotTimeBits_) return;
  slotTimeBits_ = bits;
  if (reader_ == nullptr) return;
  reader_->SetSlotTime(bits);
  DropBlocks();
  if (shownRows_ > 0) emit dataChanged(index(0, 0), index(shownRows_ - 1, kTableColumns - 1));
}

void RecordTableModel::SetDpEvents(std::shared_ptr<const std::vector<DpEventMark>> events) {
  dpEvents_ = std::move(events);
  if (reader_ == nullptr) return;
  DropBlocks();
  if (shownRows_ > 0) emit dataChanged(index(0, 0), index(shownRows_ - 1, kTableColumns - 1));
}

bool RecordTableModel::AddDpEventTip(std::uint32_t ref, std::string& tip) const {
  if (dpEvents_ == nullptr) return false;
  const auto found =
      std::lower_bound(dpEvents_->begin(), dpEvents_->end(), ref,
                       [](const DpEventMark& mark, std::uint32_t r) { return mark.ref < r; });
  if (found == dpEvents_->end() || found->ref != ref) return false;
  std::string kinds;
  for (std::size_t kind = 0; kind < kDpEventKindNames.size(); ++kind) {
    if ((found->kinds >> kind) & 1u) {
      kinds += (kinds.empty() ? "" : ", ") + std::string(kDpEventKindNames[kind]);
    }
  }
  tip += (tip.empty() ? "" : "\n") + ("DP event: " + kinds);
  return true;
}

void RecordTableModel::Clear() {
  beginResetModel();
  request_ = nullptr;
  index_ = nullptr;
  filter_ = nullptr;
  reader_.reset();
  DropBlocks();
  readError_.clear();
  files_.clear();
  total_ = 0;
  windowStart_ = 0;
  shownRows_ = 0;
  endResetModel();
}

void RecordTableModel::SetWindowLimit(std::uint64_t rows) {
  beginResetModel();
  windowLimit_ = std::max<std::uint64_t>(rows, 1);
  windowStart_ = 0;
  shownRows_ = WindowRows();
  endResetModel();
}

int RecordTableModel::WindowRows() const {
  if (total_ <= windowStart_) return 0;
  return static_cast<int>(std::min(total_ - windowStart_, windowLimit_));
}

void RecordTableModel::Refresh() {
  if (index_ == nullptr) return;
  const std::uint64_t rows = index_->Rows();
  if (rows == total_) return;
  total_ = rows;
  files_ = index_->Files();
  // A block read at the end of the rows then known is short: read it again when asked.
  blocks_.erase(std::remove_if(blocks_.begin(), blocks_.end(),
                               [](const Block& b) { return b.rows.size() < kBlockRows; }),
                blocks_.end());
  const int shown = WindowRows();
  if (shown > shownRows_) {
    beginInsertRows(QModelIndex(), shownRows_, shown - 1);
    shownRows_ = shown;
    endInsertRows();
  }
}

int RecordTableModel::ShowRunRow(std::uint64_t row) {
  if (row >= total_) return -1;
  if (row >= windowStart_ && row - windowStart_ < static_cast<std::uint64_t>(shownRows_)) {
    return static_cast<int>(row - windowStart_);
  }
  beginResetModel();
  std::uint64_t start = row > windowLimit_ / 2 ? row - windowLimit_ / 2 : 0;
  if (total_ > windowLimit_) start = std::min(start, total_ - windowLimit_);
  windowStart_ = total_ > windowLimit_ ? start : 0;
  shownRows_ = WindowRows();
  endResetModel();
  return static_cast<int>(row - windowStart_);
}

void RecordTableModel::DropBlocks() {
  blocks_.clear();
  uses_ = 0;
}

const RecordTableModel::Block* RecordTableModel::BlockFor(std::uint64_t runRow) const {
  if (reader_ == nullptr || runRow >= total_) return nullptr;
  const std::uint64_t first = runRow - runRow % kBlockRows;
  for (Block& block : blocks_) {
    if (block.first == first && runRow - first < block.rows.size()) {
      block.lastUse = ++uses_;
      return &block;
    }
  }
  Block* block = nullptr;
  const auto same = std::find_if(blocks_.begin(), blocks_.end(),
                                 [first](const Block& b) { return b.first == first; });
  if (same != blocks_.end()) {
    block = &*same;
  } else if (blocks_.size() < kMaxBlocks) {
    block = &blocks_.emplace_back();
  } else {
    block = &*std::min_element(blocks_.begin(), blocks_.end(), [](const Block& a, const Block& b) {
      return a.lastUse < b.lastUse;
    });
  }
  block->first = first;
  block->rows.clear();
  block->tips.clear();
  block->lastUse = ++uses_;
  const std::uint64_t count = std::min<std::uint64_t>(kBlockRows, total_ - first);
  block->rows.reserve(count);
  const Result read =
      ReadRowTexts(*reader_, files_, first, count, [&](const RowTexts& texts, const RowItem& item) {
        block->rows.push_back(texts);
        std::string tip;
        if (item.kind == RowKind::kRecord) {
          const Telegram& t = *item.telegram;
          if (item.faulty) tip = FaultReasons(t, item.record->Bytes());
          RecordMarks protocol = item.marks;
          protocol.kinds &= kProtocolMarks;
          if (protocol.Any()) tip += (tip.empty() ? "" : "\n") + MarksText(protocol);
          if (AddDpEventTip(item.record->RefNumber, tip) &&
              block->rows.back().rowClass == RowClass::kRecord) {
            block->rows.back().rowClass = RowClass::kDpEvent;
          }
          for (const auto& [has, sap, side] :
               {std::tuple{t.hasDsap, t.dsap, "DSAP"}, std::tuple{t.hasSsap, t.ssap, "SSAP"}}) {
            const std::string_view service = ServiceOfSap(sap);
            if (!t.HasBody() || !has || service.empty()) continue;
            if (!tip.empty()) tip += '\n';
            tip += std::string(side) + " " + std::to_string(sap) + ": " + std::string(service);
          }
        }
        block->tips.push_back(std::move(tip));
        return true;
      });
  readError_ = read.failed() ? read.ErrorText() : std::string();
  return runRow - first < block->rows.size() ? block : nullptr;
}

const RowTexts* RecordTableModel::Row(std::uint64_t runRow) const {
  const Block* block = BlockFor(runRow);
  return block != nullptr ? &block->rows[runRow - block->first] : nullptr;
}

QString RecordTableModel::UnreadText() const {
  return QStringLiteral("record could not be read: %1")
      .arg(readError_.empty() ? QStringLiteral("the run's files end before it (changed on disk?)")
                              : QString::fromStdString(readError_));
}

QString RecordTableModel::RowTip(std::uint64_t runRow) const {
  const Block* block = BlockFor(runRow);
  return block != nullptr ? QString::fromStdString(block->tips[runRow - block->first]) : QString();
}

int RecordTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : shownRows_;
}

int RecordTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kTableColumns;
}

QVariant RecordTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= shownRows_) return QVariant();
  const std::uint64_t runRow = RunRowOf(index.row());
  switch (role) {
    case Qt::DisplayRole: {
      const RowTexts* row = Row(runRow);
      // Never a blank row: one that cannot be read says why.
      if (row == nullptr) return index.column() == kColData ? QVariant(UnreadText()) : QVariant();
      const std::string_view text = row->Column(index.column());
      return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }
    case Qt::TextAlignmentRole:
      return static_cast<int>(Qt::AlignVCenter |
                              (kTableColumnLayouts[static_cast<std::size_t>(index.column())].number
                                   ? Qt::AlignRight
                                   : Qt::AlignLeft));
    case Qt::ToolTipRole: {
      const QString tip = RowTip(runRow);
      return tip.isEmpty() ? QVariant() : QVariant(tip);
    }
    case kRowClassRole: {
      const RowTexts* row = Row(runRow);
      return static_cast<int>(row != nullptr ? row->rowClass : RowClass::kEvent);
    }
    case kRunRowRole:
      return QVariant::fromValue<qulonglong>(runRow);
    default:
      return QVariant();
  }
}

QVariant RecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kTableColumns) return QVariant();
  const ColumnLayout& layout = kTableColumnLayouts[static_cast<std::size_t>(section)];
  if (role == Qt::DisplayRole)
    return QString::fromUtf8(layout.heading.data(), layout.heading.size());
  if (role == Qt::ToolTipRole) return QString::fromUtf8(layout.tip.data(), layout.tip.size());
  if (role == Qt::TextAlignmentRole) {
    return static_cast<int>(Qt::AlignVCenter | (layout.number ? Qt::AlignRight : Qt::AlignLeft));
  }
  return QVariant();
}

}  // namespace fdc::ui
