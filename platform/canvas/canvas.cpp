#include "canvas/canvas.h"

#include <QPaintEvent>
#include <utility>

#include "forms/twips.h"

Canvas::Canvas(QWidget* host) : QObject(nullptr), host_(host) {
    host_->setAttribute(Qt::WA_OpaquePaintEvent);  // the handler erases
    host_->installEventFilter(this);
}

Canvas::~Canvas() {
    if (host_) host_->removeEventFilter(this);
}

LONG Canvas::hwnd() const {
    return host_ ? static_cast<LONG>(WindowHandle(host_)) : 0;
}

void Canvas::InvalidateRect(const CanvasRect& r) {
    if (host_ && r.Right > r.Left && r.Bottom > r.Top)
        host_->update(QRect(int(r.Left), int(r.Top), int(r.Right - r.Left), int(r.Bottom - r.Top)));
}

bool Canvas::eventFilter(QObject* watched, QEvent* event) {
    if (watched != host_ || event->type() != QEvent::Paint || !handler_) return false;
    const QRect area = static_cast<QPaintEvent*>(event)->rect();
    const CanvasRect clip{area.left(), area.top(), area.left() + area.width(),
                          area.top() + area.height()};
    QPainter painter(host_);
    painter.setClipRect(area);
    painter_ = &painter;
    struct Reset {
        QPainter*& p;
        ~Reset() { p = nullptr; }
    } reset{painter_};
    bool allowErase = true, allowPaint = true;
    handler_->EraseBackground(*this, clip, allowErase);
    // The normal erase fills with the host's background, when the host asks
    // for its background to be filled at all.
    if (allowErase && host_->autoFillBackground())
        painter.fillRect(area, host_->palette().color(host_->backgroundRole()));
    handler_->Paint(*this, clip, allowPaint);
    // With normal painting allowed the host's own paint handler runs as well,
    // after this painter has ended.
    return !allowPaint;
}

void Canvas::FillRect(QPainter* dc, const CanvasRect& r, std::uint32_t colour, int opacity) {
    if (!dc || r.Right <= r.Left || r.Bottom <= r.Top) return;
    QColor c = ColorFromBgr(colour);
    c.setAlpha(opacity < 0 ? 0 : opacity > 255 ? 255 : opacity);
    dc->fillRect(QRect(int(r.Left), int(r.Top), int(r.Right - r.Left), int(r.Bottom - r.Top)), c);
}

std::uint32_t Canvas::ColorFromComponents(int red, int green, int blue, int /*alpha*/) {
    return RgbColor(red, green, blue);
}

void Canvas::NormalizeRect(CanvasRect& r) {
    if (r.Left > r.Right) std::swap(r.Left, r.Right);
    if (r.Top > r.Bottom) std::swap(r.Top, r.Bottom);
}

void Canvas::DrawLine(QPainter* dc, float x1, float y1, float x2, float y2, std::uint32_t colour) {
    if (!dc) return;
    dc->setRenderHint(QPainter::Antialiasing, false);
    dc->setPen(QPen(ColorFromBgr(colour), 1));
    dc->drawLine(QPointF(x1, y1), QPointF(x2, y2));
}

CanvasRect Canvas::ClientRect(const QWidget* window) {
    return window ? CanvasRect{0, 0, window->width(), window->height()} : CanvasRect{};
}
