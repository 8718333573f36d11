// The canvas over a widget: it asks its handler to erase and paint, and
// honours the handler's answer about its own erase and painting.
#include <gtest/gtest.h>

#include <QImage>

#include "canvas/canvas.h"

namespace {

// A host whose own paint handler leaves a mark in the top-left corner.
class Host : public QWidget {
  public:
    int ownPaints = 0;

  protected:
    void paintEvent(QPaintEvent*) override {
        ++ownPaints;
        QPainter(this).fillRect(0, 0, 2, 2, Qt::red);
    }
};

struct Handler : ICanvas2Events {
    bool allowErase = true, allowPaint = true;
    std::vector<std::string> calls;
    void EraseBackground(Canvas& c, const CanvasRect&, bool& allow) override {
        calls.push_back("erase");
        Canvas::FillRect(c.DeviceContext(), Canvas::MakeRect(0, 0, 20, 20), 0, 255);  // black
        allow = allowErase;
    }
    void Paint(Canvas& c, const CanvasRect& clip, bool& allow) override {
        calls.push_back("paint " + std::to_string(clip.Right) + "x" + std::to_string(clip.Bottom));
        Canvas::DrawLine(c.DeviceContext(), 5, 5, 15, 5, 0x00FF00);
        allow = allowPaint;
    }
};

QRgb At(QWidget& w, int x, int y) {
    return w.grab().toImage().pixel(x, y);
}

}  // namespace

TEST(Canvas, PaintsThroughItsHandlerAndHonoursItsFlags) {
    Host host;
    host.resize(20, 20);
    Canvas canvas(&host);
    Handler handler;
    canvas.SetEventHandler(&handler);

    // Refused: only the handler draws.
    handler.allowErase = handler.allowPaint = false;
    host.setAutoFillBackground(true);
    QPalette p = host.palette();
    p.setColor(host.backgroundRole(), Qt::blue);
    host.setPalette(p);
    EXPECT_EQ(At(host, 10, 10), qRgb(0, 0, 0));
    EXPECT_EQ(At(host, 10, 5), qRgb(0, 255, 0));
    EXPECT_EQ(host.ownPaints, 0);
    EXPECT_EQ(handler.calls.at(0), "erase");
    EXPECT_EQ(handler.calls.at(1), "paint 20x20");

    // Allowed: the host's background after the handler's erase, and the
    // host's own painting after the handler's.
    handler.allowErase = handler.allowPaint = true;
    EXPECT_EQ(At(host, 10, 10), qRgb(0, 0, 255));
    EXPECT_EQ(At(host, 10, 5), qRgb(0, 255, 0));
    EXPECT_EQ(At(host, 0, 0), qRgb(255, 0, 0));
    EXPECT_GT(host.ownPaints, 0);

    // A host that does not fill its background has no normal erase.
    host.setAutoFillBackground(false);
    EXPECT_EQ(At(host, 10, 10), qRgb(0, 0, 0));
}
