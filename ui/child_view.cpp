// The empty view: a sunken client edge over the window colour, and nothing drawn on it.
#include "ui/child_view.h"

#include <QPalette>

CChildView::CChildView(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("view"));
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setBackgroundRole(QPalette::Base);
  setAutoFillBackground(true);
  setFocusPolicy(Qt::StrongFocus);
}

void CChildView::paintEvent(QPaintEvent* event) { QFrame::paintEvent(event); }
