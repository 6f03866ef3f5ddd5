#include "app/Pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace {

void DrawControllerFace(QPainter& p, const QRectF& area) {
    // A rounded housing with a display window and two status dots: a controller seen from the
    // front.
    const qreal w = area.width();
    const qreal h = area.height();
    QLinearGradient body(area.topLeft(), area.bottomLeft());
    body.setColorAt(0, QColor(0x3A, 0x6E, 0xB4));
    body.setColorAt(1, QColor(0x12, 0x2E, 0x5C));
    p.setPen(QPen(QColor(0x0B, 0x1D, 0x3A), qMax<qreal>(1, w / 40)));
    p.setBrush(body);
    p.drawRoundedRect(area.adjusted(w * 0.04, h * 0.04, -w * 0.04, -h * 0.04), w * 0.12, w * 0.12);

    const QRectF display(area.left() + w * 0.16, area.top() + h * 0.18, w * 0.68, h * 0.34);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x9B, 0xE5, 0x6A));
    p.drawRect(display);
    p.setPen(QPen(QColor(0x1C, 0x4A, 0x12), qMax<qreal>(1, h / 30)));
    QPainterPath wave;
    wave.moveTo(display.left() + display.width() * 0.08, display.center().y());
    for (int i = 1; i <= 6; ++i) {
        const qreal x = display.left() + display.width() * (0.08 + 0.14 * i);
        const qreal y = display.center().y() + ((i % 2) ? -1 : 1) * display.height() * 0.28;
        wave.lineTo(x, y);
    }
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);

    p.setPen(Qt::NoPen);
    const qreal r = w * 0.07;
    p.setBrush(QColor(0xFF, 0xD2, 0x3C));
    p.drawEllipse(QPointF(area.left() + w * 0.32, area.top() + h * 0.72), r, r);
    p.setBrush(QColor(0xF0, 0x4A, 0x3A));
    p.drawEllipse(QPointF(area.left() + w * 0.68, area.top() + h * 0.72), r, r);
}

}  // namespace

QImage MakeLogo() {
    QImage image(110, 90, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    DrawControllerFace(p, QRectF(0, 0, 110, 90));
    return image;
}

QImage MakeWindowIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    DrawControllerFace(p, QRectF(0, 2, 32, 28));
    return image;
}

QImage MakeDialogGlyph(bool yes) {
    QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    if (yes) {
        p.setPen(QPen(QColor(0x1E, 0x8C, 0x32), 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(3, 8.5), QPointF(6.5, 12), QPointF(13, 4)}));
    } else {
        p.setPen(QPen(QColor(0xC8, 0x28, 0x28), 2.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4, 4), QPointF(12, 12));
        p.drawLine(QPointF(12, 4), QPointF(4, 12));
    }
    return image;
}
