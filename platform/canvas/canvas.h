// A canvas over a Qt widget: it watches the widget's paint events and asks
// its registered ICanvas2Events handler to erase and then paint the area to
// redraw, with a device context (a QPainter on the widget) valid for the
// length of the calls. Geometry is in pixels of the widget's client area;
// colours are 0x00BBGGRR values.
#pragma once

#include <QObject>
#include <QPainter>
#include <QPointer>
#include <QWidget>
#include <cstdint>

#include "com/types.h"

struct CanvasRect {
    LONG Left = 0, Top = 0, Right = 0, Bottom = 0;  // Right and Bottom lie outside
};

class Canvas;

// What a canvas calls. The handler may clear the flags to refuse the
// canvas's normal erase (filling with the host's background, for a host
// that fills its background automatically) and the normal painting (the
// host's own paint handler, which runs after the handler's painting).
struct ICanvas2Events {
    virtual void EraseBackground(Canvas& canvas, const CanvasRect& clippingRectangle,
                                 bool& allowNormalErase) = 0;
    virtual void Paint(Canvas& canvas, const CanvasRect& clippingRectangle,
                       bool& allowNormalPainting) = 0;

  protected:
    ~ICanvas2Events() = default;
};

class Canvas : public QObject {
  public:
    // A canvas for the window host; it lives no longer than host.
    explicit Canvas(QWidget* host);
    ~Canvas() override;
    void SetEventHandler(ICanvas2Events* handler) { handler_ = handler; }

    // The handle of the window being painted, and the window itself.
    LONG hwnd() const;
    QWidget* Window() const { return host_; }
    // The painter of the paint in progress; null outside erase and paint.
    QPainter* DeviceContext() const { return painter_; }
    // The area is erased and painted again.
    void InvalidateRect(const CanvasRect& r);

    // Fills r on dc with colour; opacity 0 (nothing) to 255 (solid).
    static void FillRect(QPainter* dc, const CanvasRect& r, std::uint32_t colour, int opacity);
    static std::uint32_t ColorFromComponents(int red, int green, int blue, int alpha);
    static CanvasRect MakeRect(LONG left, LONG top, LONG right, LONG bottom) {
        return CanvasRect{left, top, right, bottom};
    }
    // Afterwards Left <= Right and Top <= Bottom.
    static void NormalizeRect(CanvasRect& r);
    // A line of one pixel's width from (x1, y1) to (x2, y2) on dc.
    static void DrawLine(QPainter* dc, float x1, float y1, float x2, float y2,
                         std::uint32_t colour);
    // The client rectangle of a window: (0, 0, width, height).
    static CanvasRect ClientRect(const QWidget* window);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QPointer<QWidget> host_;
    ICanvas2Events* handler_ = nullptr;
    QPainter* painter_ = nullptr;
};
