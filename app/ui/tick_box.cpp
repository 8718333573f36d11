#include "ui/tick_box.h"

#include <QPainter>

namespace {
// The square's side, in pixels, and its place: centred in the box's height,
// at the left, where a check box's indicator stands.
constexpr int kSide = 13, kLeft = 1;
}  // namespace

void TickBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QRect square(kLeft, (height() - kSide) / 2, kSide, kSide);
    const QPalette& pal = palette();
    p.fillRect(square, isEnabled() ? pal.color(QPalette::Base) : pal.color(QPalette::Window));
    if (isChecked()) p.fillRect(square.adjusted(3, 3, -2, -2), pal.color(QPalette::Text));
    p.setPen(hasFocus() ? pal.color(QPalette::Highlight) : pal.color(QPalette::Mid));
    p.drawRect(square.adjusted(0, 0, -1, -1));
}
