// The record details pane: the tree and the hex pane, selecting each other.
#include "ui/details/details_pane.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTextBlock>
#include <QTreeWidget>
#include <utility>

#include "common/file_paths.h"
#include "ui/details/hex_dump.h"

namespace fdc::ui {

namespace {

constexpr int kBeginRole = Qt::UserRole;
constexpr int kEndRole = Qt::UserRole + 1;
constexpr int kLinkRole = Qt::UserRole + 2;

QString Q(const std::string& text) { return QString::fromStdString(text); }

void AddItems(const std::vector<DetailItem>& items, QTreeWidgetItem* parent, QTreeWidget* tree) {
  for (const DetailItem& item : items) {
    auto* node = parent != nullptr ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
    node->setText(0, Q(item.text));
    if (item.bytes) {
      node->setData(0, kBeginRole, item.bytes->begin);
      node->setData(0, kEndRole, item.bytes->end);
    }
    if (item.link) {
      node->setData(0, kLinkRole, static_cast<qulonglong>(*item.link));
      QFont font = node->font(0);
      font.setUnderline(true);
      node->setFont(0, font);
      node->setForeground(0, tree->palette().link());
      node->setToolTip(0, QStringLiteral("Double-click or press Enter to go to record %1")
                              .arg(*item.link));
    }
    AddItems(item.children, node, tree);
  }
}

// The path of child indices from the top to `item`.
std::vector<int> PathOf(const QTreeWidgetItem* item) {
  std::vector<int> path;
  for (; item != nullptr; item = item->parent()) {
    const QTreeWidgetItem* parent = item->parent();
    path.insert(path.begin(), parent != nullptr
                                  ? parent->indexOfChild(const_cast<QTreeWidgetItem*>(item))
                                  : item->treeWidget()->indexOfTopLevelItem(
                                        const_cast<QTreeWidgetItem*>(item)));
  }
  return path;
}

QTreeWidgetItem* ItemOfPath(QTreeWidget* tree, const std::vector<int>& path) {
  QTreeWidgetItem* item = nullptr;
  for (const int i : path) {
    item = item == nullptr ? tree->topLevelItem(i) : item->child(i);
    if (item == nullptr) return nullptr;
  }
  return item;
}

}  // namespace

DetailsPane::DetailsPane(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("detailsPane"));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* splitter = new QSplitter(Qt::Horizontal);
  splitter->setChildrenCollapsible(false);
  layout->addWidget(splitter);

  tree_ = new QTreeWidget;
  tree_->setObjectName(QStringLiteral("detailsTree"));
  tree_->setHeaderHidden(true);
  tree_->setColumnCount(1);
  tree_->setUniformRowHeights(true);
  tree_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  tree_->header()->setStretchLastSection(false);
  splitter->addWidget(tree_);

  hex_ = new QPlainTextEdit;
  hex_->setObjectName(QStringLiteral("detailsHex"));
  hex_->setReadOnly(true);
  hex_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  hex_->setLineWrapMode(QPlainTextEdit::NoWrap);
  hex_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  splitter->addWidget(hex_);
  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 2);

  auto* copyText = new QAction(QStringLiteral("&Copy"), tree_);
  copyText->setShortcut(QKeySequence::Copy);
  copyText->setShortcutContext(Qt::WidgetShortcut);
  copyText->setStatusTip(QStringLiteral("Copy the selected item and those under it as text"));
  connect(copyText, &QAction::triggered, this,
          [this] { QApplication::clipboard()->setText(SelectedText()); });
  tree_->addAction(copyText);
  tree_->setContextMenuPolicy(Qt::ActionsContextMenu);

  auto* copyHex = new QAction(QStringLiteral("&Copy as Hex"), hex_);
  copyHex->setShortcut(QKeySequence::Copy);
  copyHex->setShortcutContext(Qt::WidgetShortcut);
  copyHex->setStatusTip(QStringLiteral("Copy the highlighted bytes (all without a highlight)"));
  connect(copyHex, &QAction::triggered, this,
          [this] { QApplication::clipboard()->setText(SelectedHex()); });
  hex_->addAction(copyHex);
  hex_->setContextMenuPolicy(Qt::ActionsContextMenu);

  connect(tree_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current) { OnCurrentItemChanged(current); });
  connect(tree_, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
    const QVariant link = item->data(0, kLinkRole);
    if (link.isValid()) emit RecordRequested(static_cast<quint32>(link.toULongLong()));
  });
  connect(hex_, &QPlainTextEdit::cursorPositionChanged, this, &DetailsPane::OnHexCursorMoved);
}

void DetailsPane::SetRun(const DumpRequest* request, const RunIndex* index) {
  request_ = request;
  index_ = index;
  readings_ = {};
  gsd_.reset();
  ShowRecord(0);
}

void DetailsPane::SetHealthFigures(const BusFigures* figures,
                                   std::shared_ptr<const dp::GsdLibrary> gsd) {
  gsd_ = figures != nullptr ? std::move(gsd) : nullptr;
  readings_ =
      figures != nullptr
          ? DpReadings{&figures->dp, static_cast<std::uint32_t>(figures->run.records), gsd_.get()}
          : DpReadings{};
  Rebuild();
}

void DetailsPane::ShowRecord(std::uint32_t ref) {
  if (ref == ref_ && ref != 0 && !items_.empty()) return;
  ref_ = ref;
  Rebuild();
}

void DetailsPane::Rebuild() {
  const std::vector<int> selected = PathOf(tree_->currentItem());
  items_.clear();
  bytes_.clear();
  if (ref_ != 0 && request_ != nullptr && index_ != nullptr) {
    RecordContext context;
    const Result read = ReadRecordContext(*request_, *index_, ref_, context);
    if (read.ok()) {
      const std::vector<CaptureFileInfo> files = index_->Files();
      const std::string file = context.record.File < files.size()
                                   ? std::string(FileNameOf(files[context.record.File].name))
                                   : std::string();
      items_ = RecordDetails(context, file, readings_);
      bytes_ = RecordFileBytes(context.record);
    } else {
      DetailItem failed;
      failed.text = "Record " + std::to_string(ref_) + " could not be read: " +
                    (read.failed() ? read.ErrorText() : std::string("the run ends before it"));
      items_.push_back(std::move(failed));
    }
  }
  movingCursor_ = true;
  tree_->clear();
  AddItems(items_, nullptr, tree_);
  for (int i = 0; i < tree_->topLevelItemCount(); ++i) tree_->topLevelItem(i)->setExpanded(true);
  hex_->setPlainText(Q(HexDumpText(bytes_)));
  movingCursor_ = false;
  highlight_.clear();
  hex_->setExtraSelections({});
  // The item selected before stays selected when the new record has it.
  if (QTreeWidgetItem* again = ItemOfPath(tree_, selected)) tree_->setCurrentItem(again);
}

void DetailsPane::OnCurrentItemChanged(QTreeWidgetItem* item) {
  if (item == nullptr || !item->data(0, kBeginRole).isValid()) {
    HighlightBytes(0, 0);
    return;
  }
  HighlightBytes(item->data(0, kBeginRole).toInt(), item->data(0, kEndRole).toInt());
}

void DetailsPane::HighlightBytes(int begin, int end) {
  QList<QTextEdit::ExtraSelection> selections;
  highlight_.clear();
  if (end > begin) {
    highlight_ = {begin, end};
    QTextCharFormat format;
    format.setBackground(palette().highlight());
    format.setForeground(palette().highlightedText());
    QTextDocument* document = hex_->document();
    auto select = [&](int line, int from, int to) {
      const QTextBlock block = document->findBlockByNumber(line);
      if (!block.isValid()) return;
      QTextCursor cursor(block);
      cursor.setPosition(block.position() + from);
      cursor.setPosition(block.position() + to, QTextCursor::KeepAnchor);
      selections.append({cursor, format});
    };
    // One stretch per line, in the hex columns and in the ASCII ones.
    for (int first = begin; first < end;) {
      const HexPlace start = HexPlaceOf(first);
      const int last = std::min(end, (start.line + 1) * kHexBytesPerLine) - 1;
      const HexPlace stop = HexPlaceOf(last);
      select(start.line, start.hexColumn, stop.hexColumn + 2);
      select(start.line, start.asciiColumn, stop.asciiColumn + 1);
      first = last + 1;
    }
    movingCursor_ = true;
    QTextCursor cursor(document->findBlockByNumber(HexPlaceOf(begin).line));
    hex_->setTextCursor(cursor);
    hex_->ensureCursorVisible();
    movingCursor_ = false;
  }
  hex_->setExtraSelections(selections);
}

void DetailsPane::OnHexCursorMoved() {
  if (movingCursor_) return;
  const QTextCursor cursor = hex_->textCursor();
  const std::optional<int> offset = HexByteAt(cursor.blockNumber(), cursor.positionInBlock(),
                                              static_cast<int>(bytes_.size()));
  if (offset) SelectByte(*offset);
}

void DetailsPane::SelectByte(int offset) {
  const std::vector<int> path = InnermostItemAt(items_, offset);
  if (QTreeWidgetItem* item = ItemOfPath(tree_, path)) {
    tree_->setCurrentItem(item);
    tree_->scrollToItem(item);
  }
}

QString DetailsPane::SelectedText() const {
  const DetailItem* item = ItemAt(items_, PathOf(tree_->currentItem()));
  if (item == nullptr) {
    std::string all;
    for (const DetailItem& section : items_) all += DetailsText(section);
    return Q(all);
  }
  return Q(DetailsText(*item));
}

QString DetailsPane::SelectedHex() const {
  const int begin = highlight_.empty() ? 0 : highlight_[0];
  const int end = highlight_.empty() ? static_cast<int>(bytes_.size()) : highlight_[1];
  return Q(HexBytesText(bytes_, begin, end));
}

}  // namespace fdc::ui
