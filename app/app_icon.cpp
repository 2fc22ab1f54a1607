#include "app/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace tilvane {

QImage drawAppIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    // The atlas sheet.
    QPainterPath sheet;
    sheet.addRoundedRect(QRectF(3, 3, 58, 58), 7, 7);
    p.fillPath(sheet, QColor(0x24, 0x33, 0x4a));
    p.setPen(QPen(QColor(0x10, 0x18, 0x26), 2));
    p.drawPath(sheet);

    // Four packed sprites of different sizes, first-fit from the top left.
    const struct {
        QRectF rect;
        QColor colour;
    } sprites[] = {
        {{9, 9, 26, 26}, QColor(0xf2, 0xa1, 0x2c)},
        {{38, 9, 17, 17}, QColor(0x3f, 0xb8, 0xaf)},
        {{38, 29, 17, 26}, QColor(0xe0, 0x4f, 0x5f)},
        {{9, 38, 26, 17}, QColor(0x7b, 0xc9, 0x4b)},
    };
    for (const auto& sprite : sprites) {
        p.setPen(Qt::NoPen);
        p.setBrush(sprite.colour);
        p.drawRoundedRect(sprite.rect, 3, 3);
    }
    // A star on the large sprite, so the icon reads as "images", not a chart.
    QPainterPath star;
    const QPointF centre(22, 22);
    for (int i = 0; i < 10; ++i) {
        const double radius = (i % 2 == 0) ? 10.0 : 4.2;
        const double angle = -M_PI / 2 + i * M_PI / 5;
        const QPointF point(centre.x() + radius * std::cos(angle),
                            centre.y() + radius * std::sin(angle));
        if (i == 0) {
            star.moveTo(point);
        } else {
            star.lineTo(point);
        }
    }
    star.closeSubpath();
    p.fillPath(star, QColor(0xff, 0xf4, 0xd6));

    // The packer's dashed cut lines between the sprites.
    QPen cut(QColor(0xff, 0xff, 0xff, 150), 1.2, Qt::DashLine);
    p.setPen(cut);
    p.drawLine(QPointF(36.5, 7), QPointF(36.5, 57));
    p.drawLine(QPointF(7, 36.5), QPointF(36.5, 36.5));
    p.end();
    return image;
}

QIcon appIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addPixmap(QPixmap::fromImage(drawAppIcon(size)));
    }
    return icon;
}

}  // namespace tilvane
