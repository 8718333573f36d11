// The check box of one tick: a QCheckBox that draws itself as a plain
// square (filled when on) rather than through the widget style, so that a
// window of many rows of them shows and repaints quickly.
#pragma once

#include <QCheckBox>

class TickBox : public QCheckBox {
  public:
    explicit TickBox(QWidget* parent) : QCheckBox(parent) {}

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& at) const override { return rect().contains(at); }
};
