// The live list's grid: cell geometry, painting with its legend, clicks and tooltips.
#include "ui/health/live_list.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QToolTip>
#include <algorithm>

namespace fdc::ui {

namespace {

constexpr int kRows = static_cast<int>(kLiveListAddresses / kLiveListColumns);
constexpr int kColumns = static_cast<int>(kLiveListColumns);
constexpr int kMinCellWidth = 24;
constexpr int kMinCellHeight = 18;
constexpr int kFaultFrame = 3;  // pixels of the red frame, inside the cell
constexpr int kLegendGap = 6;

struct LegendEntry {
  LiveRole role;
  bool faulty;
  const char* text;
};

constexpr std::array<LegendEntry, 5> kLegend = {{
    {LiveRole::kMaster, false, "master"},
    {LiveRole::kSlave, false, "slave"},
    {LiveRole::kSilent, false, "silent"},
    {LiveRole::kNotSeen, false, "not seen"},
    {LiveRole::kSlave, true, "faults"},
}};

void PaintCell(QPainter& painter, const QRect& rect, LiveRole role, bool faulty,
               const QString& text) {
  painter.fillRect(rect, LiveList::RoleColor(role));
  painter.setPen(QColor(0xff, 0xff, 0xff));
  painter.drawRect(rect.adjusted(0, 0, -1, -1));
  if (faulty) {
    const QRect inner = rect.adjusted(1, 1, -1, -1);
    for (int i = 0; i < kFaultFrame; ++i) {
      painter.setPen(LiveList::FaultColor());
      painter.drawRect(inner.adjusted(i, i, -1 - i, -1 - i));
    }
  }
  if (text.isEmpty()) return;
  QFont font = painter.font();
  font.setBold(faulty);
  painter.setFont(font);
  painter.setPen(role == LiveRole::kNotSeen ? QColor(0xb8, 0xb8, 0xb8) : QColor(0x20, 0x20, 0x20));
  painter.drawText(rect, Qt::AlignCenter, text);
}

}  // namespace

LiveList::LiveList(QWidget* parent) : QWidget(parent) {
  setMouseTracking(false);
  setFocusPolicy(Qt::StrongFocus);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void LiveList::SetCells(const std::array<LiveCell, kLiveListAddresses>& cells) {
  cells_ = cells;
  update();
}

void LiveList::Clear() { SetCells({}); }

const LiveCell& LiveList::Cell(int address) const {
  static const LiveCell kNone;
  if (address < 0 || address >= static_cast<int>(cells_.size())) return kNone;
  return cells_[static_cast<std::size_t>(address)];
}

QColor LiveList::RoleColor(LiveRole role) {
  switch (role) {
    case LiveRole::kMaster:
      return QColor(0x6f, 0xa8, 0xdc);
    case LiveRole::kSlave:
      return QColor(0x93, 0xc4, 0x7d);
    case LiveRole::kSilent:
      return QColor(0xa6, 0xa6, 0xa6);
    case LiveRole::kNotSeen:
      break;
  }
  return QColor(0xf2, 0xf2, 0xf2);
}

QColor LiveList::FaultColor() { return QColor(0xd0, 0x1f, 0x1f); }

QSize LiveList::CellSize() const {
  const int cellWidth = std::max(kMinCellWidth, width() / kColumns);
  const int cellHeight = std::max(kMinCellHeight, std::min(cellWidth * 2 / 3, 28));
  return {cellWidth, cellHeight};
}

int LiveList::GridHeight() const { return CellSize().height() * kRows; }

int LiveList::heightForWidth(int width) const {
  const int cellWidth = std::max(kMinCellWidth, width / kColumns);
  const int cellHeight = std::max(kMinCellHeight, std::min(cellWidth * 2 / 3, 28));
  return cellHeight * kRows + kLegendGap + fontMetrics().height() + 4;
}

QSize LiveList::sizeHint() const {
  const int width = 30 * kColumns;
  return {width, heightForWidth(width)};
}

QSize LiveList::minimumSizeHint() const {
  const int width = kMinCellWidth * kColumns;
  return {width, heightForWidth(width)};
}

QRect LiveList::CellRect(int address) const {
  if (address < 0 || address >= static_cast<int>(kLiveListAddresses)) return QRect();
  const QSize cell = CellSize();
  return QRect((address % kColumns) * cell.width(), (address / kColumns) * cell.height(),
               cell.width(), cell.height());
}

int LiveList::AddressAt(const QPoint& point) const {
  const QSize cell = CellSize();
  if (point.x() < 0 || point.y() < 0) return -1;
  const int column = point.x() / cell.width();
  const int row = point.y() / cell.height();
  if (column >= kColumns || row >= kRows) return -1;
  return row * kColumns + column;
}

void LiveList::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  for (int address = 0; address < static_cast<int>(cells_.size()); ++address) {
    const LiveCell& cell = cells_[static_cast<std::size_t>(address)];
    PaintCell(painter, CellRect(address), cell.role, cell.faulty, QString::number(address));
  }
  if (hasFocus()) {
    QPen pen(palette().color(QPalette::Highlight));
    pen.setWidth(2);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(CellRect(current_).adjusted(1, 1, -1, -1));
  }
  PaintLegend(painter, GridHeight() + kLegendGap);
}

void LiveList::keyPressEvent(QKeyEvent* event) {
  int next = current_;
  switch (event->key()) {
    case Qt::Key_Left:
      next = current_ - 1;
      break;
    case Qt::Key_Right:
      next = current_ + 1;
      break;
    case Qt::Key_Up:
      next = current_ - kColumns;
      break;
    case Qt::Key_Down:
      next = current_ + kColumns;
      break;
    case Qt::Key_Home:
      next = 0;
      break;
    case Qt::Key_End:
      next = static_cast<int>(kLiveListAddresses) - 1;
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
      if (Cell(current_).role != LiveRole::kNotSeen) emit StationClicked(current_);
      return;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  if (next >= 0 && next < static_cast<int>(kLiveListAddresses)) current_ = next;
  update();
}

void LiveList::PaintLegend(QPainter& painter, int top) const {
  const int box = fontMetrics().height();
  int x = 0;
  for (const LegendEntry& entry : kLegend) {
    PaintCell(painter, QRect(x, top, box + 4, box + 2), entry.role, entry.faulty, QString());
    x += box + 8;
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    const QString text = QString::fromLatin1(entry.text);
    painter.drawText(QRect(x, top, fontMetrics().horizontalAdvance(text) + 2, box + 2),
                     Qt::AlignLeft | Qt::AlignVCenter, text);
    x += fontMetrics().horizontalAdvance(text) + 14;
  }
}

void LiveList::resizeEvent(QResizeEvent* event) {
  // Layouts and splitters do not ask for the height at a width, so the grid claims it itself:
  // all eight rows and the legend stay in sight.
  setMinimumHeight(heightForWidth(width()));
  QWidget::resizeEvent(event);
}

void LiveList::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton ? AddressAt(event->position().toPoint()) : -1;
  QWidget::mousePressEvent(event);
}

void LiveList::mouseReleaseEvent(QMouseEvent* event) {
  const int address = AddressAt(event->position().toPoint());
  // A click is a press and a release on the same cell; dragging off it cancels.
  if (event->button() == Qt::LeftButton && address >= 0 && address == pressed_ &&
      Cell(address).role != LiveRole::kNotSeen) {
    emit StationClicked(address);
  }
  pressed_ = -1;
  QWidget::mouseReleaseEvent(event);
}

bool LiveList::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const int address = AddressAt(help->pos());
    const LiveCell& cell = Cell(address);
    if (address >= 0 && !cell.toolTip.empty()) {
      QToolTip::showText(help->globalPos(), QString::fromStdString(cell.toolTip), this,
                         CellRect(address));
    } else {
      QToolTip::hideText();
      event->ignore();
    }
    return true;
  }
  return QWidget::event(event);
}

}  // namespace fdc::ui
