// CChildView: the main window's empty client area.
#pragma once

#include <QFrame>

class CChildView : public QFrame {
  Q_OBJECT

 public:
  explicit CChildView(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};
