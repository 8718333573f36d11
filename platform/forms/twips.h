// Window measures, colours and handles as the forms give them: twips (15 to a pixel
// at 96 dots per inch) and 32-bit 0x00BBGGRR colour values.
#pragma once

#include <QColor>
#include <QWidget>
#include <cmath>
#include <cstdint>

constexpr int kTwipsPerPixel = 15;

inline int TwipsToPixels(double twips) {
    return static_cast<int>(std::nearbyint(twips / kTwipsPerPixel));
}
inline int PixelsToTwips(int pixels) {
    return pixels * kTwipsPerPixel;
}

// Places a control at a rectangle given in twips.
inline void PlaceInTwips(QWidget* w, double left, double top, double width, double height) {
    w->setGeometry(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                   TwipsToPixels(height));
}

// The 32-bit handle of a window, as the sound API and the canvas pass it:
// the window system's id of the widget or of its native parent, 0 before it
// is shown. Asking never turns the widget into a native window of its own.
inline long WindowHandle(const QWidget* w) {
    return static_cast<long>(w->effectiveWinId() & 0x7FFFFFFF);
}

// 0x00BBGGRR from its components.
constexpr std::uint32_t RgbColor(int red, int green, int blue) {
    return std::uint32_t(red & 0xFF) | std::uint32_t(green & 0xFF) << 8 |
           std::uint32_t(blue & 0xFF) << 16;
}
inline QColor ColorFromBgr(std::uint32_t bgr) {
    return QColor(int(bgr & 0xFF), int(bgr >> 8 & 0xFF), int(bgr >> 16 & 0xFF));
}
