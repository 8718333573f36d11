#include "ui/tick_box.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace {
// The square's side, in pixels, and its place: centred in the box's height,
// at the left, where a check box's indicator stands.
constexpr int kSide = 13, kLeft = 1;
// How far the pointer moves before a press becomes a drag.
constexpr int kDragStart = 3;
}  // namespace

void TickBox::SetVelocity(int velocity) {
    velocity = std::clamp(velocity, 1, 127);
    if (velocity == velocity_) return;
    velocity_ = velocity;
    setToolTip(velocity_ == 127 ? QString() : QStringLiteral("Velocity %1").arg(velocity_));
    update();
}

void TickBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // Narrow boxes (long loops) draw a smaller square.
    const int side = std::max(5, std::min(kSide, width() - 2));
    const QRect square(kLeft, (height() - side) / 2, side, side);
    const QPalette& pal = palette();
    QColor ground = isEnabled() ? pal.color(QPalette::Base) : pal.color(QPalette::Window);
    if (shaded_) ground = ground.darker(115);
    p.fillRect(square, ground);
    if (isChecked()) {
        // Full velocity in the text colour; softer hits fade toward the base.
        QColor fill = pal.color(QPalette::Text);
        fill.setAlphaF(0.2 + 0.8 * (velocity_ - 1) / 126.0);
        const int inset = side >= 9 ? 3 : 1;
        p.fillRect(square.adjusted(inset, inset, 1 - inset, 1 - inset), fill);
    }
    p.setPen(hasFocus() ? pal.color(QPalette::Highlight) : pal.color(QPalette::Mid));
    p.drawRect(square.adjusted(0, 0, -1, -1));
}

void TickBox::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    dragging_ = false;
    pressY_ = int(event->position().y());
    pressVelocity_ = velocity_;
    QCheckBox::mousePressEvent(event);
}

void TickBox::mouseMoveEvent(QMouseEvent* event) {
    const int dy = pressY_ - int(event->position().y());
    if (pressed_ && isChecked() && !dragging_ && std::abs(dy) >= kDragStart) dragging_ = true;
    if (!dragging_) {
        QCheckBox::mouseMoveEvent(event);
        return;
    }
    setDown(false);
    const int v = std::clamp(pressVelocity_ + dy, 1, 127);
    if (v != velocity_) {
        SetVelocity(v);
        if (onVelocityDrag) onVelocityDrag(v);
    }
}

void TickBox::mouseReleaseEvent(QMouseEvent* event) {
    const bool dragged = dragging_;
    pressed_ = dragging_ = false;
    if (dragged) {
        setDown(false);  // a drag sets the velocity; the tick stays on
        event->accept();
        return;
    }
    QCheckBox::mouseReleaseEvent(event);
}
