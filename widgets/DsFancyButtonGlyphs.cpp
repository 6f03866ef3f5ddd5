#include "widgets/DsFancyButtonGlyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace {

// All pictures are drawn on a 20 x 20 grid and scaled; they keep a margin of at least one unit
// so that the bottom-left pixel stays transparent.
const QColor Green(0x2E, 0x8B, 0x3A);
const QColor Red(0xC8, 0x28, 0x28);
const QColor Blue(0x28, 0x5A, 0xC8);
const QColor Amber(0xE0, 0x9A, 0x1E);
const QColor Ink(0x40, 0x40, 0x40);

void Arrow(QPainter& p, QPointF from, QPointF to, const QColor& c) {
    p.setPen(QPen(c, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(from, to);
    const QPointF d = (to - from) / std::max(1.0, QLineF(from, to).length());
    const QPointF n(-d.y(), d.x());
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPolygon(QPolygonF{to + d * 2.5, to - d * 2.5 + n * 3.5, to - d * 2.5 - n * 3.5});
}

void Plug(QPainter& p, double x, bool facingRight, const QColor& c) {
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(QRectF(x, 6, 5, 8), 1.5, 1.5);
    const double pin = facingRight ? x + 5 : x - 3;
    p.drawRect(QRectF(pin, 7.5, 3, 1.5));
    p.drawRect(QRectF(pin, 11, 3, 1.5));
}

void Sheet(QPainter& p) {
    p.setPen(QPen(Ink, 1.2));
    p.setBrush(Qt::white);
    p.drawPolygon(QPolygonF{{4, 2}, {12.5, 2}, {16, 5.5}, {16, 18}, {4, 18}});
}

void Draw(TButtonGlyph glyph, QPainter& p) {
    switch (glyph) {
        case TButtonGlyph::Connect:
            Plug(p, 2.5, true, Green);
            Plug(p, 12.5, false, Green);
            p.setPen(QPen(Green, 1.5));
            p.drawLine(QPointF(1, 10), QPointF(2.5, 10));
            p.drawLine(QPointF(17.5, 10), QPointF(19, 10));
            return;
        case TButtonGlyph::Disconnect:
            Plug(p, 1.5, true, Ink);
            Plug(p, 13.5, false, Ink);
            p.setPen(QPen(Red, 1.8, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(8.5, 4), QPointF(11.5, 16));
            return;
        case TButtonGlyph::Test:
            p.setPen(QPen(Blue, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(Qt::NoBrush);
            p.drawPolyline(
                QPolygonF{{1.5, 11}, {5, 11}, {7, 4}, {10, 17}, {12.5, 8}, {14, 11}, {18.5, 11}});
            return;
        case TButtonGlyph::Exit:
            p.setPen(QPen(Red, 2.2, Qt::SolidLine, Qt::RoundCap));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(3, 4, 14, 14), 120 * 16, -240 * 16);
            p.drawLine(QPointF(10, 2), QPointF(10, 10));
            return;
        case TButtonGlyph::Clear:
            p.setPen(QPen(Ink, 1.2));
            p.setBrush(QColor(0xF0, 0xA0, 0xA0));
            p.drawPolygon(QPolygonF{{3, 13}, {11, 5}, {17, 11}, {11.5, 16.5}, {6.5, 16.5}});
            p.setPen(QPen(Ink, 1.2));
            p.drawLine(QPointF(7, 9), QPointF(13, 15));
            p.drawLine(QPointF(6.5, 17.5), QPointF(18, 17.5));
            return;
        case TButtonGlyph::Read:
            p.setPen(QPen(Ink, 1.6));
            p.drawPolyline(QPolygonF{{2.5, 12}, {2.5, 17.5}, {17.5, 17.5}, {17.5, 12}});
            Arrow(p, QPointF(10, 2), QPointF(10, 11), Green);
            return;
        case TButtonGlyph::Write:
            p.setPen(QPen(Ink, 1.6));
            p.drawPolyline(QPolygonF{{2.5, 12}, {2.5, 17.5}, {17.5, 17.5}, {17.5, 12}});
            Arrow(p, QPointF(10, 14), QPointF(10, 5), Amber);
            return;
        case TButtonGlyph::Open:
            p.setPen(QPen(QColor(0x8A, 0x60, 0x10), 1.0));
            p.setBrush(Amber);
            p.drawPolygon(QPolygonF{{2, 4}, {7, 4}, {9, 6}, {17, 6}, {17, 16.5}, {2, 16.5}});
            p.setBrush(QColor(0xF6, 0xC8, 0x5A));
            p.drawPolygon(QPolygonF{{4, 9}, {19, 9}, {17, 16.5}, {2, 16.5}});
            return;
        case TButtonGlyph::Save:
            p.setPen(Qt::NoPen);
            p.setBrush(Blue);
            p.drawPolygon(QPolygonF{{2, 2}, {15.5, 2}, {18, 4.5}, {18, 18}, {2, 18}});
            p.setBrush(Qt::white);
            p.drawRect(QRectF(5, 2.5, 9, 5.5));
            p.drawRect(QRectF(4.5, 11, 11, 6));
            p.setBrush(Blue);
            p.drawRect(QRectF(11, 3.5, 2, 3.5));
            return;
        case TButtonGlyph::FileWrite:
            Sheet(p);
            Arrow(p, QPointF(10, 5), QPointF(10, 13), Blue);
            return;
        case TButtonGlyph::Suffix:
            p.setPen(QPen(QColor(0x8A, 0x60, 0x10), 1.2));
            p.setBrush(QColor(0xF6, 0xD8, 0x7A));
            p.drawPolygon(QPolygonF{{2, 10}, {8, 4}, {18, 4}, {18, 16}, {8, 16}});
            p.setBrush(Qt::white);
            p.drawEllipse(QPointF(7.5, 10), 1.6, 1.6);
            p.setPen(QPen(Ink, 1.2));
            p.drawLine(QPointF(11, 8.5), QPointF(16, 8.5));
            p.drawLine(QPointF(11, 11.5), QPointF(16, 11.5));
            return;
        case TButtonGlyph::BoardSuffix:
            // A circuit board with a chip and its legs.
            p.setPen(QPen(QColor(0x1E, 0x5A, 0x2A), 1.0));
            p.setBrush(QColor(0x3C, 0x9A, 0x4A));
            p.drawRoundedRect(QRectF(2, 3, 16, 14), 1.5, 1.5);
            p.setPen(QPen(QColor(0xD8, 0xC0, 0x60), 1.0));
            for (double y : {6.0, 9.0, 12.0, 15.0}) {
                p.drawLine(QPointF(5.5, y - 0.5), QPointF(7, y - 0.5));
                p.drawLine(QPointF(13, y - 0.5), QPointF(14.5, y - 0.5));
            }
            p.setPen(Qt::NoPen);
            p.setBrush(Ink);
            p.drawRect(QRectF(7, 4.5, 6, 11));
            p.setBrush(Qt::white);
            p.drawEllipse(QPointF(8.5, 6), 0.7, 0.7);
            return;
        case TButtonGlyph::Hour:
            p.setPen(QPen(Ink, 1.4));
            p.setBrush(Qt::white);
            p.drawEllipse(QRectF(2, 2, 16, 16));
            p.setPen(QPen(Blue, 1.8, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(10, 10), QPointF(10, 5));
            p.drawLine(QPointF(10, 10), QPointF(13.5, 12));
            return;
    }
}

}  // namespace

QImage MakeButtonGlyph(TButtonGlyph glyph, int size) {
    if (size <= 0)
        return {};
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.scale(size / 20.0, size / 20.0);
        Draw(glyph, p);
    }
    return image.convertToFormat(QImage::Format_ARGB32);
}
