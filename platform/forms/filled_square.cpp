#include "forms/filled_square.h"

#include <QPainter>

#include "forms/twips.h"

FilledSquare::FilledSquare(std::uint32_t fillColor, QWidget* parent)
    : QWidget(parent), fillColor_(fillColor) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void FilledSquare::SetFillColor(std::uint32_t bgr) {
    if (bgr == fillColor_) return;
    fillColor_ = bgr;
    update();
}

void FilledSquare::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), ColorFromBgr(fillColor_));
}
