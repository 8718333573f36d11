#include "ui/app_icon.h"

#include <QPainter>

#include "support/program_name.h"

QImage DrawAppIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    // Drawn on the 128-unit grid of the scalable icon.
    p.scale(size / 128.0, size / 128.0);
    p.setBrush(QColor(0x26, 0x31, 0x3d));
    p.drawRoundedRect(QRectF(4, 4, 120, 120), 20, 20);
    for (int i = 0; i < 4; ++i) {
        p.setBrush(i == 0 ? QColor(0xff, 0xcc, 0x33) : QColor(0x4b, 0x5a, 0x69));
        p.drawEllipse(QPointF(22 + 28 * i, 24), 6, 6);
    }
    // Rows of four ticks; the lit ones in the accent colour.
    static const bool kOn[3][4] = {
        {false, false, true, false}, {false, true, false, true}, {true, false, true, false}};
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 4; ++col) {
            p.setBrush(kOn[row][col] ? QColor(0x39, 0xc0, 0xa0) : QColor(0x4b, 0x5a, 0x69));
            p.drawRoundedRect(QRectF(12 + 28 * col, 44 + 26 * row, 20, 20), 4, 4);
        }
    return image;
}

QIcon AppIcon() {
    QIcon drawn;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        drawn.addPixmap(QPixmap::fromImage(DrawAppIcon(size)));
    return QIcon::fromTheme(QString::fromLatin1(kDesktopFileName), drawn);
}
