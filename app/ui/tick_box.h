// The check box of one tick: a QCheckBox that draws itself as a plain
// square (filled when on) rather than through the widget style, so that a
// window of many rows of them shows and repaints quickly. A tick that is
// on shows its velocity as the fill's strength; dragging up or down on it
// changes the velocity (a point a pixel) instead of toggling it.
#pragma once

#include <QCheckBox>
#include <functional>

class TickBox : public QCheckBox {
  public:
    explicit TickBox(QWidget* parent) : QCheckBox(parent) {}

    int Velocity() const { return velocity_; }
    // A box of every other beat is drawn on a darker ground.
    void SetShaded(bool shaded) {
        if (shaded != shaded_) {
            shaded_ = shaded;
            update();
        }
    }
    bool Shaded() const { return shaded_; }
    // Shows velocity (1 to 127); raises nothing.
    void SetVelocity(int velocity);
    // Called while a drag changes the velocity, with the new one.
    std::function<void(int)> onVelocityDrag;

  protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& at) const override { return rect().contains(at); }
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    int velocity_ = 127;
    int pressY_ = 0, pressVelocity_ = 127;
    bool pressed_ = false, dragging_ = false;
    bool shaded_ = false;
};
